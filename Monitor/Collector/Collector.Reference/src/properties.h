// Named properties (IProperties) of the collector, a task and a collection: any name, any value.
#pragma once

#include "base.h"

#include <map>
#include <mutex>

namespace collector::reference::detail {

// A base that implements IProperties; list IProperties in the class's map. A property never set fails
// with DISP_E_UNKNOWNNAME.
class ATL_NO_VTABLE properties_t : public IProperties {
public:
    HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY** names) override;
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT value) override;

private:
    std::mutex mutex_;
    std::map<std::wstring, _variant_t> values_;
};

// The text of a BSTR argument (null is empty).
inline std::wstring text_of(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// A SAFEARRAY of BSTR, lower bound 0, for an out-parameter.
HRESULT copy_names(const std::vector<std::wstring>& names, SAFEARRAY** out);

} // namespace collector::reference::detail
