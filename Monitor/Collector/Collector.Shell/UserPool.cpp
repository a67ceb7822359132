// UserPool: lookups, creation, iteration and EnsureUser over the collector's credentials.
#include "pch.h"

#include "HandedOut.h"
#include "Iterator.imp"

#include <collector/shell/UserPool.h>

#include <Kernel/string.h>

#include <exception>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct UserPool::impl_t {
    detail::CComQIPtrStrong<IUserPool, &IID_IUserPool> pool;

    explicit impl_t(IUnknown* object) : pool(object) {}
};

namespace {

// Whether `user` holds these credentials. The current account never does: it is not handed to tasks.
bool holds(const User& user, std::wstring_view name, std::wstring_view password)
{
    if (user.IsCurrent() || ostra::lux::kernel::detail::CompareStringOrdinal(user.GetName(), name, true) != 0)
        return false;
    const std::optional<tstring> stored = user.GetPassword();
    return stored && *stored == password;
}

} // namespace

UserPool::UserPool(IUnknown* pool) : impl_(std::make_shared<impl_t>(pool)) {}

User UserPool::operator[](GUID id) const { return User(detail::handed_out(impl_->pool.p, &IUserPool::GetUser, id)); }

User UserPool::Create(std::wstring_view name, std::wstring_view password)
{
    return User(detail::handed_out(impl_->pool.p, &IUserPool::Create, detail::make_bstr(name),
                                   detail::make_bstr(password)));
}

User UserPool::CreateDefault(std::wstring_view name, std::wstring_view password)
{
    return User(detail::handed_out(impl_->pool.p, &IUserPool::CreateDefault, detail::make_bstr(name),
                                   detail::make_bstr(password)));
}

User UserPool::GetCurrent() const { return User(detail::handed_out(impl_->pool.p, &IUserPool::GetCurrent)); }

EnumIterator<User> UserPool::begin() const
{
    return EnumIterator<User>(detail::handed_out(impl_->pool.p, &IUserPool::GetUsers),
                              EnumIterator<User>::default_ctor());
}

User UserPool::EnsureUser(std::wstring_view name, std::wstring_view password)
{
    for (auto user = begin(); user != end(); ++user) {
        try {
            if (holds(*user, name, password))
                return *user;
        } catch (const std::exception&) {
            // A user that cannot be examined is not the one asked for.
        }
    }
    return Create(name, password);
}

} // namespace collector::shell
