// DeploymentData: the caller's bag of named values and the IDeploymentData object through which the
// component reads it.
#include "pch.h"

#include "DeploymentDataObject.h"

#include <Kernel/string.h>

#include <atlcom.h>
#include <atlsafe.h>

#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace collector::shell {

namespace detail {

using Ostra_Lux_Collector_Interfaces::IDeploymentData;

// The UTF-16 code units of a name, one at a time, whatever the width of wchar_t: a character beyond
// U+FFFF gives its surrogate pair, anything else (a lone surrogate too) is a unit as it stands.
class utf16_units_t {
public:
    explicit utf16_units_t(std::wstring_view text) noexcept : text_(text) {}

    bool next(char32_t& unit) noexcept
    {
        if (pending_ != 0) {
            unit = std::exchange(pending_, 0);
            return true;
        }
        if (position_ == text_.size())
            return false;
        unit = static_cast<std::make_unsigned_t<wchar_t>>(text_[position_++]);
        if (unit > 0xFFFF && unit <= 0x10FFFF) {
            pending_ = 0xDC00 + (unit & 0x3FF);
            unit = 0xD800 + ((unit - 0x10000) >> 10);
        }
        return true;
    }

private:
    std::wstring_view text_;
    std::size_t position_ = 0;
    char32_t pending_ = 0;
};

// Names in UTF-16 code-unit order, the same in every build. Where wchar_t is 32-bit, two lone
// surrogates and the character they would pair into have the same units; the raw text then keeps
// them apart, so that every distinct name is a distinct entry.
struct name_order_t {
    using is_transparent = void;

    bool operator()(std::wstring_view left, std::wstring_view right) const noexcept
    {
        utf16_units_t lefts(left), rights(right);
        for (;;) {
            char32_t l = 0, r = 0;
            const bool has_left = lefts.next(l), has_right = rights.next(r);
            if (!has_left || !has_right)
                return has_right || (!has_left && left < right);
            if (l != r)
                return l < r;
        }
    }
};

// The bag as the component reads it. Multi-threaded model, but the map is not guarded: the caller
// leaves the bag alone while a deployment that was given it runs.
class ATL_NO_VTABLE deployment_data_t : public CComObjectRootEx<CComMultiThreadModel>, public IDeploymentData {
public:
    BEGIN_COM_MAP(deployment_data_t)
        COM_INTERFACE_ENTRY(IDeploymentData)
    END_COM_MAP()

    // The value under `name`, created VT_EMPTY when absent.
    _variant_t& entry(std::wstring_view name);

    // A copy of the value under the name read up to its first NUL (a null name is the empty one);
    // E_INVALIDARG, with `value` untouched, for a name that is not there.
    HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) override;
    // The names in the bag's order, as a new zero-based array of BSTR that the caller owns.
    HRESULT STDMETHODCALLTYPE GetNames(SAFEARRAY** names) override;

private:
    std::map<std::wstring, _variant_t, name_order_t> values_;
};

// The one place that reaches a bag's object.
struct deployment_data_access {
    static deployment_data_t* object(const DeploymentData& data) noexcept { return data.object_; }
};

CComPtr<IDeploymentData> deployment_data_of(const DeploymentData& data)
{
    deployment_data_t* const object = deployment_data_access::object(data);
    if (!object)
        return {};
    return answered<IDeploymentData>(object->GetUnknown());
}

_variant_t& deployment_data_t::entry(std::wstring_view name)
{
    auto found = values_.find(name);
    if (found == values_.end())
        found = values_.emplace(std::wstring(name), _variant_t()).first;
    return found->second;
}

HRESULT deployment_data_t::GetValue(BSTR name, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    const auto found = values_.find(ostra::lux::kernel::safe_wstring_view(name));
    if (found == values_.end())
        return E_INVALIDARG;
    // `value` is an out parameter whose contents are undefined, so it is overwritten, never cleared.
    return ExceptionToHResult([&] { *value = _variant_t(found->second).Detach(); });
}

HRESULT deployment_data_t::GetNames(SAFEARRAY** names)
{
    if (!names)
        return E_POINTER;
    return ExceptionToHResult([&] {
        CComSafeArray<BSTR> array;
        if (const HRESULT hr = array.Create(static_cast<ULONG>(values_.size())); FAILED(hr))
            AtlThrow(hr);
        LONG index = 0;
        for (const auto& entry : values_) {
            // The slot is found first, so that nothing can fail once the new BSTR is handed over.
            BSTR& slot = array.GetAt(index++);
            slot = make_bstr(entry.first).Detach();
        }
        *names = array.Detach();
    });
}

} // namespace detail

DeploymentData::DeploymentData() : object_(new CComObjectNoLock<detail::deployment_data_t>())
{
    object_->AddRef();
}

DeploymentData::DeploymentData(std::initializer_list<std::pair<std::wstring_view, _variant_t>> values)
    : DeploymentData()
{
    for (const auto& [name, value] : values)
        object_->entry(name) = value;
}

DeploymentData::DeploymentData(DeploymentData&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}

DeploymentData& DeploymentData::operator=(DeploymentData&& other) noexcept
{
    DeploymentData taken(std::move(other));
    std::swap(object_, taken.object_);
    return *this;
}

DeploymentData::~DeploymentData()
{
    if (object_)
        object_->Release();
}

_variant_t& DeploymentData::operator[](std::wstring_view name)
{
    if (!object_)
        detail::throw_condition(L"DeploymentData is null", COLLECTOR_THROW_SITE);
    return object_->entry(name);
}

} // namespace collector::shell
