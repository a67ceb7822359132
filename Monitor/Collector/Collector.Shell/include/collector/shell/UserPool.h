// UserPool: the collector's credentials, looked up by id, created, walked and ensured by name and
// password.
#pragma once

#include "EnumIterator.h"
#include "Export.h"
#include "User.h"

#include <objbase.h>

#include <memory>
#include <string_view>

namespace collector::shell {

class COLLECTOR_SHELL_API UserPool {
public:
    User operator[](GUID id) const;
    User Create(std::wstring_view name, std::wstring_view password);
    // A user that the collector marks as its default; what that means is the collector's business.
    User CreateDefault(std::wstring_view name, std::wstring_view password);
    // The account the collector itself runs as.
    User GetCurrent() const;

    EnumIterator<User> begin() const;
    EnumIterator<User> end() const { return {}; }

    // The first user, in the collector's order, that is not the current account, whose name equals
    // `name` ignoring case (ordinal comparison) and whose password equals `password` exactly; a new
    // user when there is none. A user that cannot be read (one of the library's exceptions) does not
    // match; a _com_error leaves.
    User EnsureUser(std::wstring_view name, std::wstring_view password);

    struct impl_t;

private:
    friend class Collector;

    // Throws "Unable to QueryInterface" when `pool` is not a user pool.
    explicit UserPool(IUnknown* pool);
    explicit UserPool(std::shared_ptr<impl_t> impl) noexcept : impl_(std::move(impl)) {}

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
