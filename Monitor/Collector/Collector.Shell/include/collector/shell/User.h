// User: one set of credentials with which the collector reaches monitored systems.
#pragma once

#include "EnumIterator.h"
#include "Export.h"

#include <Kernel/string.h>

#include <objbase.h>

#include <memory>
#include <optional>

namespace collector::shell {

class COLLECTOR_SHELL_API User {
public:
    // The empty user: every member but operator bool throws "User is null".
    User() noexcept = default;

    explicit operator bool() const noexcept { return static_cast<bool>(impl_); }

    GUID GetId() const;
    // A null name reads as empty.
    tstring GetName() const;
    // Empty when the user has no password; the password is not read then.
    std::optional<tstring> GetPassword() const;
    // Whether this is the account the collector itself runs as.
    bool IsCurrent() const;

    struct impl_t;

private:
    friend class UserPool;
    friend class EnumIterator<User>;

    // Throws "Unable to QueryInterface" when `user` is not a user; a null one makes a handle that is
    // set but throws "User is null" from every member.
    explicit User(IUnknown* user);

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
