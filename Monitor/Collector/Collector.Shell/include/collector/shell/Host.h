// Host: one monitored host of the collector's host pool.
#pragma once

#include "EnumIterator.h"
#include "Export.h"

#include <Kernel/string.h>

#include <objbase.h>

#include <memory>
#include <string_view>

namespace collector::shell {

class COLLECTOR_SHELL_API Host {
public:
    // The empty host: every member but operator bool throws "Host is null".
    Host() noexcept = default;

    explicit operator bool() const noexcept { return static_cast<bool>(impl_); }

    GUID GetId() const;
    // A null name reads as empty.
    tstring GetName() const;
    // Renames the collector's host; the handle itself does not change.
    void SetName(std::wstring_view name) const;
    // Whether the host is the machine the collector runs on.
    bool IsLocal() const;

    struct impl_t;

private:
    friend class HostPool;
    friend class EnumIterator<Host>;

    // Throws "Unable to QueryInterface" when `host` is not a host; a null one makes a handle that is
    // set but throws "Host is null" from every member.
    explicit Host(IUnknown* host);

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
