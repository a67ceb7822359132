// The COM object behind a DeploymentData: the bag of named values as the component reads it, through
// IDeploymentData.
#pragma once

#include "pch.h"

#include <collector/shell/DeploymentData.h>

#include <Kernel/string.h>

#include <atlcom.h>

#include <map>
#include <string>
#include <string_view>

namespace collector::shell::detail {

using Ostra_Lux_Collector_Interfaces::IDeploymentData;

// Names in UTF-16 code-unit order on every host, whatever the width of wchar_t. The ordinal
// comparison reads unpaired surrogates as U+FFFD; the raw units then keep such names apart, so that
// every distinct name is a distinct entry.
struct name_order_t {
    using is_transparent = void;

    bool operator()(std::wstring_view left, std::wstring_view right) const noexcept
    {
        const int order = ostra::lux::kernel::detail::CompareStringOrdinal(left, right, false);
        return order != 0 ? order < 0 : left < right;
    }
};

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

// Lets the deploying operations reach the object of a bag.
struct deployment_data_access {
    static deployment_data_t* object(const DeploymentData& data) noexcept { return data.object_; }
};

// The IDeploymentData to hand to the component for `data`, with a reference of its own; null for a
// moved-from bag.
inline CComPtr<IDeploymentData> deployment_data_of(const DeploymentData& data)
{
    deployment_data_t* const object = deployment_data_access::object(data);
    if (!object)
        return {};
    return query_required<IDeploymentData>(object->GetUnknown(), COLLECTOR_THROW_SITE);
}

} // namespace collector::shell::detail
