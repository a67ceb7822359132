// Fake host and user pools of a collector: entries with scripted names, passwords and failures, looked
// up by id, created and walked as the component does.
#pragma once

#include "shell/object_values.h"
#include "shell/site.h"

#include "support/fake_com.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <cstdint>
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

} // namespace shell_test
