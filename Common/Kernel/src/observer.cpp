#include <Kernel/observer.h>

#include <algorithm>
#include <condition_variable>
#include <thread>

namespace ostra::lux::kernel::detail {

struct observer_state {
    std::mutex mutex;
    std::condition_variable idle;
    std::vector<std::shared_ptr<IOstraSubscriber>> subscribers;
    std::vector<std::thread::id> notifying; // one entry per round in progress

    auto find(const IOstraSubscriber* subscriber)
    {
        return std::find_if(subscribers.begin(), subscribers.end(),
                            [subscriber](const auto& candidate) { return candidate.get() == subscriber; });
    }

    bool others_notifying() const
    {
        const auto self = std::this_thread::get_id();
        return std::any_of(notifying.begin(), notifying.end(), [self](auto id) { return id != self; });
    }
};

} // namespace ostra::lux::kernel::detail

using ostra::lux::kernel::detail::observer_state;

namespace {

// Marks a round in progress on the calling thread for as long as it lives.
class notifying_mark {
public:
    explicit notifying_mark(observer_state& state) : state_(state) {}
    ~notifying_mark()
    {
        {
            std::lock_guard lock(state_.mutex);
            state_.notifying.erase(std::find(state_.notifying.begin(), state_.notifying.end(),
                                             std::this_thread::get_id()));
        }
        state_.idle.notify_all();
    }
    notifying_mark(const notifying_mark&) = delete;
    notifying_mark& operator=(const notifying_mark&) = delete;

private:
    observer_state& state_;
};

} // namespace

IOstraSubscriber::~IOstraSubscriber() = default;

void IOstraSubscriber::unsubscribe_from_all(bool wait)
{
    // Released last: an observer may hold the last reference to this subscriber.
    std::vector<std::shared_ptr<IOstraSubscriber>> released;
    std::vector<std::weak_ptr<observer_state>> observers;
    {
        std::lock_guard lock(mutex_);
        observers.swap(observers_);
    }
    for (const auto& weak : observers) {
        const auto state = weak.lock();
        if (!state)
            continue;
        std::unique_lock lock(state->mutex);
        if (const auto it = state->find(this); it != state->subscribers.end()) {
            released.push_back(std::move(*it));
            state->subscribers.erase(it);
        }
        if (wait)
            state->idle.wait(lock, [&] { return !state->others_notifying(); });
    }
}

COstraBaseObserver::COstraBaseObserver() : state_(std::make_shared<observer_state>()) {}

COstraBaseObserver::~COstraBaseObserver() = default;

void COstraBaseObserver::subscribe(std::shared_ptr<IOstraSubscriber> subscriber)
{
    if (!subscriber)
        return;
    IOstraSubscriber& joined = *subscriber;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->find(&joined) != state_->subscribers.end())
            return;
        state_->subscribers.push_back(std::move(subscriber));
    }
    std::lock_guard lock(joined.mutex_);
    joined.observers_.push_back(state_);
}

bool COstraBaseObserver::notify(const std::function<bool(IOstraSubscriber&)>& visit)
{
    std::vector<std::shared_ptr<IOstraSubscriber>> round;
    {
        std::lock_guard lock(state_->mutex);
        round = state_->subscribers;
        state_->notifying.push_back(std::this_thread::get_id());
    }
    notifying_mark mark(*state_);
    for (const auto& subscriber : round) {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->find(subscriber.get()) == state_->subscribers.end())
                continue;
        }
        if (visit(*subscriber))
            return true;
    }
    return false;
}
