// DeploymentData: the caller's bag of named values and the IDeploymentData object through which the
// component reads it.
#include "pch.h"

#include "DeploymentDataObject.h"

#include <atlsafe.h>

#include <utility>

namespace collector::shell {

namespace detail {

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
        CComSafeArray<BSTR> array(static_cast<ULONG>(values_.size()));
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
