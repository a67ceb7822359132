// The collector's cache of the pools it hands out: one weak slot per pool kind and one mutex, held
// across the component calls that build a pool, so that concurrent getters build it once.
#pragma once

#include <memory>
#include <mutex>
#include <tuple>

namespace collector::shell::detail {

template <class... Impls>
class pool_cache_t {
public:
    // The pool of kind `Impl` that a live handle still shares, else a new one from `make`, which then
    // stays cached while any handle to it lives. A failure of `make` leaves the slot as it was.
    template <class Impl, class Make>
    std::shared_ptr<Impl> get(Make&& make)
    {
        const std::scoped_lock lock(mutex_);
        auto& slot = std::get<std::weak_ptr<Impl>>(slots_);
        if (auto live = slot.lock())
            return live;
        std::shared_ptr<Impl> made = std::forward<Make>(make)();
        slot = made;
        return made;
    }

private:
    std::tuple<std::weak_ptr<Impls>...> slots_;
    std::mutex mutex_;
};

} // namespace collector::shell::detail
