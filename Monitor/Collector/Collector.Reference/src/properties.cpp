#include "properties.h"

namespace collector::reference::detail {

HRESULT copy_names(const std::vector<std::wstring>& names, SAFEARRAY** out)
{
    require_out(out);
    *out = nullptr;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size()));
    if (!array)
        fail(E_OUTOFMEMORY, L"Out of memory");
    for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
        _bstr_t name(names[static_cast<std::size_t>(i)].c_str());
        const HRESULT hr = SafeArrayPutElement(array, &i, name.GetBSTR());
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            fail(hr, L"Unable to fill the array of names");
        }
    }
    *out = array;
    return S_OK;
}

HRESULT properties_t::GetPropertyNames(SAFEARRAY** names)
{
    return guarded(L"IProperties::GetPropertyNames", IID_IProperties, [&] {
        std::vector<std::wstring> copy;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [name, value] : values_)
                copy.push_back(name);
        }
        return copy_names(copy, names);
    });
}

HRESULT properties_t::GetProperty(BSTR name, VARIANT* value)
{
    return guarded(L"IProperties::GetProperty", IID_IProperties, [&] {
        require_out(value);
        VariantInit(value);
        std::lock_guard lock(mutex_);
        auto found = values_.find(text_of(name));
        if (found == values_.end())
            fail(DISP_E_UNKNOWNNAME, L"No property " + text_of(name));
        return VariantCopy(value, &found->second);
    });
}

HRESULT properties_t::SetProperty(BSTR name, VARIANT value)
{
    return guarded(L"IProperties::SetProperty", IID_IProperties, [&] {
        if (text_of(name).empty())
            fail(E_INVALIDARG, L"A property needs a name");
        _variant_t copy(value);
        std::lock_guard lock(mutex_);
        values_[text_of(name)] = std::move(copy);
        return S_OK;
    });
}

} // namespace collector::reference::detail
