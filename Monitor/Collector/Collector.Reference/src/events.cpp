#include "events.h"

namespace collector::reference::detail {

struct event_queue_t::state_t {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> pending;
    bool stopping = false;

    // The thread's loop; the thread shares the state, so that a queue destroyed on its own thread
    // leaves the loop something to finish with.
    static void run(const std::shared_ptr<state_t>& state)
    {
        std::unique_lock lock(state->mutex);
        for (;;) {
            state->changed.wait(lock, [&] { return state->stopping || !state->pending.empty(); });
            if (state->stopping)
                return;
            std::function<void()> delivery = std::move(state->pending.front());
            state->pending.pop_front();
            lock.unlock();
            try {
                delivery();
            } catch (...) {
                // An event whose arguments cannot be made (out of memory) is dropped; the thread goes on.
            }
            delivery = nullptr;
            lock.lock();
        }
    }
};

event_queue_t::event_queue_t() : state_(std::make_shared<state_t>())
{
    thread_ = std::thread([state = state_] { state_t::run(state); });
    worker_ = thread_.get_id();
}

event_queue_t::~event_queue_t()
{
    stop();
}

void event_queue_t::post(std::function<void()> delivery)
{
    std::lock_guard lock(state_->mutex);
    if (state_->stopping)
        return;
    state_->pending.push_back(std::move(delivery));
    state_->changed.notify_all();
}

void event_queue_t::stop()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->pending);
        state_->changed.notify_all();
    }
    dropped.clear();
    std::lock_guard lock(stop_mutex_);
    if (!thread_.joinable())
        return;
    if (worker_ == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

} // namespace collector::reference::detail
