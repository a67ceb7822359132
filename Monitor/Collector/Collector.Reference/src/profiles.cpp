// The profile class: a profile is a standalone record (IObject) made from a name, the name of what it
// configures, its text, and the settings of the deployment data, each as a field of its own. The
// caller's context is passed through and not kept.
#include "properties.h"
#include "records.h"
#include "services.h"

#include <atlsafe.h>

namespace collector::reference::detail {
namespace {

// {2B8E7C14-5D3A-4F69-A0C2-7E15B94D3A86}
constexpr GUID profile_class_id = {0x2B8E7C14, 0x5D3A, 0x4F69, {0xA0, 0xC2, 0x7E, 0x15, 0xB9, 0x4D, 0x3A, 0x86}};

const wchar_t* const own_fields[] = {L"Name", L"Target", L"Text"};

// The settings of the deployment data, in the order of their names; a failed read is passed on.
Fields settings_of(IDeploymentData* data)
{
    Fields fields;
    if (!data)
        return fields;
    SAFEARRAY* raw = nullptr;
    if (const HRESULT hr = data->GetNames(&raw); FAILED(hr))
        fail(hr, L"The names of the deployment data cannot be read");
    ATL::CComSafeArray<BSTR> names;
    if (FAILED(names.Attach(raw))) {
        SafeArrayDestroy(raw);
        fail(E_INVALIDARG, L"The names of the deployment data are not texts");
    }
    for (LONG i = names.GetLowerBound(); i <= names.GetUpperBound(); ++i) {
        const std::wstring name = text_of(names.GetAt(i));
        for (const wchar_t* own : own_fields)
            if (name == own)
                fail(E_INVALIDARG, L"The deployment data names " + name + L", a field of the profile itself");
        _variant_t value;
        if (const HRESULT hr = data->GetValue(names.GetAt(i), &value); FAILED(hr))
            fail(hr, L"The deployment data value " + name + L" cannot be read");
        fields.emplace_back(name, std::move(value));
    }
    return fields;
}

class ATL_NO_VTABLE profile_factory_t : public object_t, public IProfileFactory {
public:
    BEGIN_COM_MAP(profile_factory_t)
        COM_INTERFACE_ENTRY(IProfileFactory)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init() {}

    HRESULT STDMETHODCALLTYPE CreateProfile(BSTR first, BSTR second, BSTR third, IDeploymentData* data, void*,
                                            IUnknown** profile) override
    {
        return guarded(L"IProfileFactory::CreateProfile", IID_IProfileFactory, [&] {
            require_out(profile);
            *profile = nullptr;
            if (text_of(first).empty())
                fail(E_INVALIDARG, L"A profile needs a name");
            Fields fields{{own_fields[0], _variant_t(text_of(first).c_str())},
                          {own_fields[1], _variant_t(text_of(second).c_str())},
                          {own_fields[2], _variant_t(text_of(third).c_str())}};
            for (auto& setting : settings_of(data))
                fields.push_back(std::move(setting));
            auto record = std::make_shared<const record_data_t>(record_data_t{profile_class_id, std::move(fields), {}});
            return hand_out(make_object(std::move(record), {}), profile);
        });
    }
};

class ATL_NO_VTABLE profile_class_t : public object_t, public IClassFactory {
public:
    BEGIN_COM_MAP(profile_class_t)
        COM_INTERFACE_ENTRY(IClassFactory)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init() {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return guarded(L"IClassFactory::CreateInstance", IID_IClassFactory, [&] {
            require_out(object);
            *object = nullptr;
            if (outer)
                fail(CLASS_E_NOAGGREGATION, L"The profile factory cannot be aggregated");
            return make<profile_factory_t>()->QueryInterface(iid, object);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

CComPtr<IClassFactory> make_profile_class(const std::shared_ptr<world_t>&)
{
    return CComPtr<IClassFactory>(make<profile_class_t>());
}

}  // namespace collector::reference::detail
