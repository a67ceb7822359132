// The user pool: the account the collector runs as, and the credentials that callers add.
#include "entries.h"
#include "processes.h"
#include "properties.h"
#include "services.h"

#include <optional>

namespace collector::reference::detail {
namespace {

// A user's password is a text of its own: null means none, an empty text is an empty password.
class ATL_NO_VTABLE user_t : public object_t, public IUser {
public:
    BEGIN_COM_MAP(user_t)
        COM_INTERFACE_ENTRY(IUser)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::wstring name, std::optional<std::wstring> password, bool current)
    {
        id_ = new_guid();
        name_ = std::move(name);
        password_ = std::move(password);
        current_ = current;
    }
    GUID id() const { return id_; }

    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        return guarded(L"IUser::GetId", IID_IUser, [&] { return give(id, id_); });
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"IUser::GetName", IID_IUser, [&] { return copy_text(name_, name); });
    }
    HRESULT STDMETHODCALLTYPE HasPassword(VARIANT_BOOL* has) override
    {
        return guarded(L"IUser::HasPassword", IID_IUser, [&] { return copy_flag(password_.has_value(), has); });
    }
    HRESULT STDMETHODCALLTYPE GetPassword(BSTR* password) override
    {
        return guarded(L"IUser::GetPassword", IID_IUser, [&] {
            require_out(password);
            *password = nullptr;
            if (!password_)
                fail(E_ACCESSDENIED, L"The user " + name_ + L" has no password");
            return copy_text(*password_, password);
        });
    }
    HRESULT STDMETHODCALLTYPE IsCurrent(VARIANT_BOOL* current) override
    {
        return guarded(L"IUser::IsCurrent", IID_IUser, [&] { return copy_flag(current_, current); });
    }

private:
    GUID id_{};
    std::wstring name_;
    std::optional<std::wstring> password_;
    bool current_ = false;
};

// Starts with the current account, which has no password here. CreateDefault makes the pool's default
// credentials: they come first when the pool is walked.
class ATL_NO_VTABLE user_pool_t : public object_t, public IUserPool {
public:
    BEGIN_COM_MAP(user_pool_t)
        COM_INTERFACE_ENTRY(IUserPool)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init()
    {
        current_ = keep(make<user_t>(CurrentUserName(), std::nullopt, true));
        users_.add(current_);
    }

    HRESULT STDMETHODCALLTYPE GetUser(GUID id, IUnknown** user) override
    {
        return guarded(L"IUserPool::GetUser", IID_IUserPool, [&] {
            require_out(user);
            *user = nullptr;
            return hand_out(users_.find(id, L"user"), user);
        });
    }
    HRESULT STDMETHODCALLTYPE Create(BSTR name, BSTR password, IUnknown** user) override
    {
        return guarded(L"IUserPool::Create", IID_IUserPool, [&] { return create(name, password, false, user); });
    }
    HRESULT STDMETHODCALLTYPE CreateDefault(BSTR name, BSTR password, IUnknown** user) override
    {
        return guarded(L"IUserPool::CreateDefault", IID_IUserPool, [&] { return create(name, password, true, user); });
    }
    HRESULT STDMETHODCALLTYPE GetCurrent(IUnknown** user) override
    {
        return guarded(L"IUserPool::GetCurrent", IID_IUserPool, [&] { return hand_out(current_, user); });
    }
    HRESULT STDMETHODCALLTYPE GetUsers(IUnknown** users) override
    {
        return guarded(L"IUserPool::GetUsers", IID_IUserPool, [&] { return hand_out(users_.enumerable(), users); });
    }

private:
    // A null password is an empty one: a user made here always has a password.
    HRESULT create(BSTR name, BSTR password, bool as_default, IUnknown** user)
    {
        require_out(user);
        *user = nullptr;
        auto made = keep(make<user_t>(required_name(name, L"A user"), text_of(password), false));
        users_.add(made, as_default);
        return hand_out(made, user);
    }

    entries_t<user_t>::pointer_t current_;
    entries_t<user_t> users_;
};

}  // namespace

CComPtr<IUnknown> make_user_pool(const runtime_ptr&)
{
    return CComPtr<IUnknown>(make<user_pool_t>());
}

}  // namespace collector::reference::detail
