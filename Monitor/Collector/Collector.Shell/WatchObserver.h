// The registered watchers of a watch observer: plain functions that a listener of the library's own
// calls at each event, through the kernel's observer. A watcher leaves by throwing
// CInterruptedException from its function; no other exception is caught here.
#pragma once

#include <Kernel/exception.h>
#include <Kernel/observer.h>

#include <memory>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace collector::shell::detail {

// Watcher: derives from IOstraSubscriber and std::enable_shared_from_this<Watcher>.
template <class Watcher>
class watchers_t {
public:
    // The set keeps the watcher alive; the observer only calls it.
    void add(const std::shared_ptr<Watcher>& watcher)
    {
        observer_.subscribe(watcher);
        const std::scoped_lock lock(mutex_);
        watchers_.insert(watcher);
    }

    // Calls `visit(Watcher&)` on every watcher, with no lock of ours held (the kernel's observer
    // takes care of its own list).
    template <class Visit>
    void notify(const Visit& visit)
    {
        observer_.notify([&](IOstraSubscriber& subscriber) {
            auto& watcher = static_cast<Watcher&>(subscriber);
            try {
                visit(watcher);
            } catch (const CInterruptedException&) {
                remove(watcher);
            }
            return false;
        });
    }

private:
    void remove(Watcher& watcher)
    {
        const std::shared_ptr<Watcher> leaving = watcher.shared_from_this();
        leaving->unsubscribe_from_all(false);
        const std::scoped_lock lock(mutex_);
        watchers_.erase(leaving);
    }

    COstraBaseObserver observer_;
    std::unordered_set<std::shared_ptr<Watcher>> watchers_;
    std::mutex mutex_;
};

} // namespace collector::shell::detail
