// Fake host, user and resource pools of a collector: entries with scripted names, passwords and
// failures, looked up, created and walked as the component does.
#pragma once

#include "shell/object_values.h"
#include "shell/site.h"

#include "support/fake_com.h"

#include <collector/interfaces.h>

#include <atlsafe.h>
#include <comdef.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace shell_test {

using namespace Ostra_Lux_Collector_Interfaces;

inline GUID numbered_guid(std::uint32_t n) { return GUID{n, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}}; }

inline HRESULT give_text(const std::wstring& text, BSTR* out)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

class FakeHost : public fake::Fake<IHost> {
public:
    FakeHost(GUID id, std::wstring name, bool local = false)
        : Fake("host"), id(id), host_name(std::move(name)), local(local)
    {
    }

    GUID id;
    std::wstring host_name;
    bool local;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override
    {
        *out = id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return give_text(host_name, out); }
    HRESULT STDMETHODCALLTYPE SetName(BSTR text) override
    {
        host_name.assign(text, SysStringLen(text));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsLocal(VARIANT_BOOL* out) override
    {
        *out = local ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
};

class FakeUser : public fake::Fake<IUser> {
public:
    FakeUser(GUID id, std::wstring name, std::optional<std::wstring> password, bool current = false)
        : Fake("user"), id(id), user_name(std::move(name)), password(std::move(password)), current(current)
    {
    }

    GUID id;
    std::wstring user_name;
    std::optional<std::wstring> password;
    bool current;
    // What GetName answers; a failure leaves no name.
    HRESULT name_result = S_OK;
    std::vector<std::string> calls;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override
    {
        *out = id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override
    {
        calls.emplace_back("GetName");
        *out = nullptr;
        return FAILED(name_result) ? name_result : give_text(user_name, out);
    }
    HRESULT STDMETHODCALLTYPE HasPassword(VARIANT_BOOL* out) override
    {
        calls.emplace_back("HasPassword");
        *out = password ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPassword(BSTR* out) override
    {
        calls.emplace_back("GetPassword");
        return give_text(password.value_or(L""), out);
    }
    HRESULT STDMETHODCALLTYPE IsCurrent(VARIANT_BOOL* out) override
    {
        calls.emplace_back("IsCurrent");
        *out = current ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
};

// The entries of a pool, in the component's order. An id the pool lacks answers `missing`, with no
// object (S_OK for "success without an object").
template <class Entry>
class Entries {
public:
    std::vector<fake::Held<Entry>> entries;
    HRESULT missing = E_INVALIDARG;
    // The arguments of every creation, in order.
    std::vector<std::vector<std::wstring>> created;

    Entry& add(Entry* entry) { return *entries.emplace_back(entry); }

protected:
    HRESULT find(GUID id, IUnknown** out)
    {
        *out = nullptr;
        for (const auto& entry : entries)
            if (IsEqualGUID(entry->id, id))
                return hand_out(*entry, out);
        return missing;
    }
    HRESULT create(Entry* entry, std::vector<std::wstring> arguments, IUnknown** out)
    {
        created.push_back(std::move(arguments));
        return hand_out(add(entry), out);
    }
    HRESULT enumerate(IUnknown** out)
    {
        std::vector<_variant_t> elements;
        for (const auto& entry : entries)
            elements.emplace_back(entry->unknown());
        *out = fake::make<FakeElements>(std::move(elements), requested_)->unknown();
        return S_OK;
    }

private:
    static HRESULT hand_out(Entry& entry, IUnknown** out)
    {
        entry.AddRef();
        *out = entry.unknown();
        return S_OK;
    }

    std::vector<ULONG> requested_;
};

inline std::wstring text_of(BSTR text) { return std::wstring(text, SysStringLen(text)); }

class FakeHostPool : public fake::Fake<IHostPool>, public Entries<FakeHost> {
public:
    FakeHostPool() : Fake("host pool") {}

    HRESULT STDMETHODCALLTYPE GetHost(GUID id, IUnknown** out) override { return find(id, out); }
    HRESULT STDMETHODCALLTYPE Create(BSTR name, IUnknown** out) override
    {
        return create(fake::make<FakeHost>(numbered_guid(100 + static_cast<std::uint32_t>(entries.size())), text_of(name)), {L"Create", text_of(name)}, out);
    }
    HRESULT STDMETHODCALLTYPE CreateDefault(BSTR name, IUnknown** out) override
    {
        return create(fake::make<FakeHost>(numbered_guid(100 + static_cast<std::uint32_t>(entries.size())), text_of(name)),
                      {L"CreateDefault", text_of(name)}, out);
    }
    HRESULT STDMETHODCALLTYPE GetHosts(IUnknown** out) override { return enumerate(out); }
};

class FakeUserPool : public fake::Fake<IUserPool>, public Entries<FakeUser> {
public:
    FakeUserPool() : Fake("user pool") {}

    HRESULT STDMETHODCALLTYPE GetUser(GUID id, IUnknown** out) override { return find(id, out); }
    HRESULT STDMETHODCALLTYPE Create(BSTR name, BSTR password, IUnknown** out) override
    {
        return create(made(name, password), {L"Create", text_of(name), text_of(password)}, out);
    }
    HRESULT STDMETHODCALLTYPE CreateDefault(BSTR name, BSTR password, IUnknown** out) override
    {
        return create(made(name, password), {L"CreateDefault", text_of(name), text_of(password)}, out);
    }
    HRESULT STDMETHODCALLTYPE GetCurrent(IUnknown** out) override
    {
        for (const auto& user : entries)
            if (user->current)
                return find(user->id, out);
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUsers(IUnknown** out) override { return enumerate(out); }

private:
    FakeUser* made(BSTR name, BSTR password)
    {
        return fake::make<FakeUser>(numbered_guid(100 + static_cast<std::uint32_t>(entries.size())), text_of(name), text_of(password));
    }
};

class FakeResource : public fake::Fake<IResource> {
public:
    FakeResource(std::wstring name, _variant_t value) : Fake("resource"), resource_name(std::move(name)), value(value) {}

    std::wstring resource_name;
    _variant_t value;
    // What the last Deploy was given: the target's name and the names of the bag (null: "none").
    std::vector<std::wstring> deployed;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override
    {
        *out = numbered_guid(7);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return give_text(resource_name, out); }
    HRESULT STDMETHODCALLTYPE GetResource(VARIANT* out) override
    {
        VariantInit(out);
        return VariantCopy(out, &value);
    }
    HRESULT STDMETHODCALLTYPE Deploy(IDeploymentTarget* target, IDeploymentData* data, VARIANT* result) override
    {
        _bstr_t name;
        deployed.assign({target && SUCCEEDED(target->GetName(name.GetAddress())) ? text_of(name) : L"none"});
        if (data) {
            SAFEARRAY* given = nullptr;
            EXPECT_EQ(data->GetNames(&given), S_OK);
            CComSafeArray<BSTR> names;
            names.Attach(given);
            for (ULONG i = 0; i < names.GetCount(); ++i)
                deployed.push_back(text_of(names.GetAt(i)));
        }
        VariantInit(result);
        result->vt = VT_I4;
        result->lVal = 42;
        return S_OK;
    }
};

class FakeResourcePool : public fake::Fake<IResourcePool, IProperties, fake::ConnectionPoints> {
public:
    FakeResourcePool() : Fake("resource pool") {}

    fake::ConnectionPoint<IResourcePoolEvents>& events = offer<IResourcePoolEvents>("resource pool events");
    std::vector<fake::Held<FakeResource>> resources;
    // What Find answers for a name the pool lacks, and whether Add gives no object.
    HRESULT missing = E_INVALIDARG;
    bool add_gives_nothing = false;
    // Each call with its text (and merge mode).
    std::vector<std::wstring> calls;
    std::map<std::wstring, _variant_t> properties;

    HRESULT STDMETHODCALLTYPE Add(BSTR name, VARIANT value, IUnknown** out) override
    {
        calls.push_back(L"Add " + text_of(name));
        *out = nullptr;
        if (add_gives_nothing)
            return S_OK;
        auto& added = resources.emplace_back(fake::make<FakeResource>(text_of(name), _variant_t(value)));
        added->AddRef();
        *out = added->unknown();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override { return noted(L"Remove ", name); }
    HRESULT STDMETHODCALLTYPE Find(BSTR name, IUnknown** out) override
    {
        calls.push_back(L"Find " + text_of(name));
        *out = nullptr;
        for (const auto& resource : resources) {
            if (resource->resource_name == text_of(name)) {
                resource->AddRef();
                *out = resource->unknown();
                return S_OK;
            }
        }
        return missing;
    }
    HRESULT STDMETHODCALLTYPE Load(BSTR path) override { return noted(L"Load ", path); }
    HRESULT STDMETHODCALLTYPE Merge(BSTR path, EMergeMode mode) override
    {
        return noted(L"Merge " + std::to_wstring(static_cast<LONG>(mode)) + L" ", path);
    }
    HRESULT STDMETHODCALLTYPE Save(BSTR path) override { return noted(L"Save ", path); }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override
    {
        std::vector<_variant_t> elements;
        for (const auto& resource : resources)
            elements.emplace_back(resource->unknown());
        *out = fake::make<FakeElements>(std::move(elements), requested)->unknown();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* value) override
    {
        VariantInit(value);
        const auto found = properties.find(text_of(name));
        return found == properties.end() ? DISP_E_UNKNOWNNAME : VariantCopy(value, &found->second);
    }
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT value) override
    {
        properties[text_of(name)] = value;
        return S_OK;
    }

private:
    HRESULT noted(const std::wstring& what, BSTR text)
    {
        calls.push_back(what + text_of(text));
        return S_OK;
    }

    std::vector<ULONG> requested;
};

} // namespace shell_test
