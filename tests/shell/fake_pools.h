// Fake pools of a collector: one fake serves as host pool and user pool, its entries as hosts and
// users; a resource pool with its resources. Each hands out copies and counts what tests count.
#pragma once

#include "shell/record_fakes.h"

namespace shell_test {

// The first of `items` that `match` accepts, in `out`; `missing` without an object when none does.
template <class Items, class Match>
HRESULT first_of(const Items& items, Match match, HRESULT missing, IUnknown** out)
{
    *out = nullptr;
    for (const auto& item : items)
        if (match(*item))
            return item->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
    return missing;
}

// A host and a user at once: a host is local, a user the current one, when `current` is set.
class FakeEntry : public fake::Fake<IHost, IUser> {
public:
    FakeEntry(std::uint32_t n, std::wstring name, std::optional<std::wstring> password = {}, bool current = false)
        : Fake("entry"), id(numbered_guid(n)), entry_name(std::move(name)), password(std::move(password)),
          current(current)
    {
    }

    GUID id;
    std::wstring entry_name;
    std::optional<std::wstring> password;
    bool current;
    // What GetName answers when it fails.
    HRESULT name_result = S_OK;
    std::vector<std::string> calls;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override
    {
        return *out = FAILED(name_result) ? nullptr : copy_of(entry_name), name_result;
    }
    HRESULT STDMETHODCALLTYPE SetName(BSTR name) override { return entry_name = text_of(name), S_OK; }
    HRESULT STDMETHODCALLTYPE IsLocal(VARIANT_BOOL* out) override { return *out = flag(current), S_OK; }
    HRESULT STDMETHODCALLTYPE HasPassword(VARIANT_BOOL* out) override
    {
        calls.emplace_back("HasPassword");
        return *out = flag(password.has_value()), S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPassword(BSTR* out) override
    {
        calls.emplace_back("GetPassword");
        return *out = copy_of(password.value_or(L"")), S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsCurrent(VARIANT_BOOL* out) override { return *out = flag(current), S_OK; }

private:
    static VARIANT_BOOL flag(bool on) { return on ? VARIANT_TRUE : VARIANT_FALSE; }
};

// A host pool and a user pool over one list of entries, in the component's order. An id the pool
// lacks answers `missing` without an object (S_OK: success without one).
class FakeEntryPool : public fake::Fake<IHostPool, IUserPool> {
public:
    FakeEntryPool() : Fake("entry pool") {}

    std::vector<fake::Held<FakeEntry>> entries;
    HRESULT missing = E_INVALIDARG;
    // Each creation of a user with a password: its name and password.
    std::vector<std::wstring> created;

    FakeEntry& add(FakeEntry* entry) { return *entries.emplace_back(entry); }

    HRESULT STDMETHODCALLTYPE GetHost(GUID id, IUnknown** out) override { return find(id, out); }
    HRESULT STDMETHODCALLTYPE GetUser(GUID id, IUnknown** out) override { return find(id, out); }
    HRESULT STDMETHODCALLTYPE Create(BSTR name, BSTR password, IUnknown** out) override
    {
        created.push_back(text_of(name) + L" " + text_of(password));
        const auto n = static_cast<std::uint32_t>(100 + entries.size());
        return find(add(fake::make<FakeEntry>(n, text_of(name), text_of(password))).id, out);
    }
    HRESULT STDMETHODCALLTYPE Create(BSTR, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateDefault(BSTR, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateDefault(BSTR, BSTR, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrent(IUnknown** out) override
    {
        return first_of(entries, [](const FakeEntry& entry) { return entry.current; }, missing, out);
    }
    HRESULT STDMETHODCALLTYPE GetHosts(IUnknown** out) override { return list(out); }
    HRESULT STDMETHODCALLTYPE GetUsers(IUnknown** out) override { return list(out); }

private:
    HRESULT find(GUID id, IUnknown** out)
    {
        return first_of(entries, [&](const FakeEntry& entry) { return IsEqualGUID(entry.id, id); }, missing, out);
    }
    HRESULT list(IUnknown** out)
    {
        std::vector<_variant_t> elements;
        for (const auto& entry : entries)
            elements.emplace_back(entry->unknown());
        return enumerate(std::move(elements), out);
    }
};

// Deploys by noting the target and the bag's names.
class FakeResource : public fake::Fake<IResource> {
public:
    explicit FakeResource(std::wstring name) : Fake("resource"), resource_name(std::move(name)) {}

    std::wstring resource_name;
    IDeploymentTarget* target = nullptr;
    std::vector<std::wstring> deployed;

    HRESULT STDMETHODCALLTYPE GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return *out = copy_of(resource_name), S_OK; }
    HRESULT STDMETHODCALLTYPE GetResource(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Deploy(IDeploymentTarget* to, IDeploymentData* data, VARIANT* result) override
    {
        target = to;
        deployed = names_of(data);
        return *result = v4(42).Detach(), S_OK;
    }
};

// Its resources in order, added and found by name; the names that Find was given. A name it lacks
// answers `missing`.
class FakeResourcePool : public fake::Fake<IResourcePool> {
public:
    FakeResourcePool() : Fake("resource pool") {}

    std::vector<fake::Held<FakeResource>> resources;
    HRESULT missing = E_INVALIDARG;
    bool add_gives_nothing = false;
    std::vector<std::wstring> found;

    HRESULT STDMETHODCALLTYPE Add(BSTR name, VARIANT, IUnknown** out) override
    {
        if (!add_gives_nothing)
            resources.emplace_back(fake::make<FakeResource>(text_of(name)));
        return find(name, out), S_OK;
    }
    HRESULT STDMETHODCALLTYPE Find(BSTR name, IUnknown** out) override
    {
        return found.push_back(text_of(name)), find(name, out);
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Merge(BSTR, EMergeMode) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown**) override { return E_NOTIMPL; }

private:
    HRESULT find(BSTR name, IUnknown** out)
    {
        return first_of(resources, [&](const auto& r) { return r.resource_name == text_of(name); }, missing, out);
    }
};

} // namespace shell_test
