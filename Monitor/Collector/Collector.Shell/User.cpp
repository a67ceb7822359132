// User: the id, name, password and currency of one set of the collector's credentials.
#include "pch.h"

#include "RecordImpl.h"
#include "Iterator.imp"

#include <collector/shell/User.h>

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(User);

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct User::impl_t {
    detail::CComQIPtrStrong<IUser, &IID_IUser> user;

    explicit impl_t(IUnknown* object) : user(object) {}
};

namespace {

// The user behind a handle. A handle made from a null object has no user either, and reads as empty.
IUser* user_of(const std::shared_ptr<User::impl_t>& impl, const detail::throw_site_t& site)
{
    IUser* const user = impl ? impl->user.p : nullptr;
    if (!user)
        detail::throw_condition(L"User is null", site);
    return user;
}

bool flag_of(IUser* user, HRESULT (IUser::*operation)(VARIANT_BOOL*))
{
    VARIANT_BOOL flag = VARIANT_FALSE;
    detail::call(user, operation, &flag);
    return flag != VARIANT_FALSE;
}

} // namespace

User::User(IUnknown* user) : impl_(std::make_shared<impl_t>(user)) {}

GUID User::GetId() const
{
    GUID id{};
    detail::call(user_of(impl_, COLLECTOR_THROW_SITE_AT(30)), &IUser::GetId, &id);
    return id;
}

tstring User::GetName() const
{
    return detail::read_text(user_of(impl_, COLLECTOR_THROW_SITE_AT(37)), &IUser::GetName);
}

std::optional<tstring> User::GetPassword() const
{
    IUser* const user = user_of(impl_, COLLECTOR_THROW_SITE_AT(44));
    if (!flag_of(user, &IUser::HasPassword))
        return std::nullopt;
    return detail::read_text(user, &IUser::GetPassword);
}

bool User::IsCurrent() const { return flag_of(user_of(impl_, COLLECTOR_THROW_SITE_AT(54)), &IUser::IsCurrent); }

} // namespace collector::shell
