// The subscriber list behind watchers. An observer keeps its subscribers alive while they are
// subscribed and calls a function on each of them; a subscriber may leave every observer it joined at
// any time, including from inside a notification.
#pragma once

#include "export.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ostra::lux::kernel::detail {
struct observer_state;
}

class KERNEL_API IOstraSubscriber {
public:
    virtual ~IOstraSubscriber();

    // Leaves every observer this subscriber joined. With `wait`, also returns only once no
    // notification of those observers is running on another thread, so that the subscriber is called
    // no more afterwards; the calling thread's own notifications are not waited for. An observer may
    // hold the last reference to the subscriber: the subscriber may be destroyed when this returns.
    void unsubscribe_from_all(bool wait);

protected:
    IOstraSubscriber() = default;
    IOstraSubscriber(const IOstraSubscriber&) = delete;
    IOstraSubscriber& operator=(const IOstraSubscriber&) = delete;

private:
    friend class COstraBaseObserver;

    std::mutex mutex_;
    std::vector<std::weak_ptr<ostra::lux::kernel::detail::observer_state>> observers_;
};

class KERNEL_API COstraBaseObserver {
public:
    COstraBaseObserver();
    ~COstraBaseObserver();
    COstraBaseObserver(const COstraBaseObserver&) = delete;
    COstraBaseObserver& operator=(const COstraBaseObserver&) = delete;

    // Adds a subscriber at the end of the list; one already subscribed stays where it is, and a null
    // pointer is ignored.
    void subscribe(std::shared_ptr<IOstraSubscriber> subscriber);

    // Calls `visit` on each subscriber in subscription order, with no lock held, so that `visit` may
    // subscribe or unsubscribe. The round covers the subscribers present when it starts, less those
    // that leave before their turn. `visit` returns true to end the round early; notify then returns
    // true. Exceptions from `visit` end the round and propagate.
    bool notify(const std::function<bool(IOstraSubscriber&)>& visit);

private:
    std::shared_ptr<ostra::lux::kernel::detail::observer_state> state_;
};
