// HostPool: the collector's monitored hosts, looked up by id, created, walked and ensured by name.
#pragma once

#include "EnumIterator.h"
#include "Export.h"
#include "Host.h"

#include <objbase.h>

#include <memory>
#include <string_view>

namespace collector::shell {

class COLLECTOR_SHELL_API HostPool {
public:
    Host operator[](GUID id) const;
    // Whether the collector holds a host with this id; a failed lookup is false, never an exception.
    bool IsExist(GUID id) const;
    Host Create(std::wstring_view name);
    // A host that the collector marks as its default; what that means is the collector's business.
    Host CreateDefault(std::wstring_view name);

    EnumIterator<Host> begin() const;
    EnumIterator<Host> end() const { return {}; }

    // The first host, in the collector's order, whose name equals `name` ignoring case (ordinal
    // comparison); a new host of that name when there is none.
    Host EnsureHost(std::wstring_view name);

    struct impl_t;

private:
    friend class Collector;

    // Throws "Unable to QueryInterface" when `pool` is not a host pool.
    explicit HostPool(IUnknown* pool);
    explicit HostPool(std::shared_ptr<impl_t> impl) noexcept : impl_(std::move(impl)) {}

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
