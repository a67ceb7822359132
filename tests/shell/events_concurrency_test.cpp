// Events fired from several component threads while the program subscribes, unsubscribes, replaces
// and releases listeners: a listener is never called once its last owner has let it go (a delivery
// that had already taken it may finish first), the library never keeps one alive, and every event
// succeeds.
#include "shell/fake_collector.h"

#include <array>

namespace shell_test {
namespace {

enum life : int { unborn, alive, dead };

// Waits, up to a generous limit, for `condition`.
template <class Condition>
bool eventually(Condition condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Keeps its life in a slot that outlives it, so that a call after its end is seen.
struct CountingListener : ICollectorListener {
    CountingListener(std::atomic<int>& life, std::atomic<int>& late_calls) : life_(life), late_calls_(late_calls)
    {
        life_ = alive;
    }
    ~CountingListener() override { life_ = dead; }

    void Event1(LONG) override
    {
        late_calls_ += life_.load() != alive;
        ++calls;
    }

    std::atomic<int> calls{0};

private:
    std::atomic<int>& life_;
    std::atomic<int>& late_calls_;
};

using EventConcurrency = ServedCollectorTest;

TEST_F(EventConcurrency, ListenersComeAndGoWhileComponentThreadsFire)
{
    fake::ConnectionPoint<ICollectorEvents>& point = component.events;

    constexpr int listener_count = 150;
    std::array<std::atomic<int>, listener_count> lives{};
    std::atomic<int> late_calls{0};
    std::atomic<int> failed_events{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> component_threads;
    for (LONG id = 0; id < 3; ++id) {
        component_threads.emplace_back([&, id] {
            while (!done)
                for (const HRESULT hr : point.fire([id](ICollectorEvents* sink) { return sink->Event1(id); }))
                    failed_events += hr != S_OK;
        });
    }

    // Each listener hears at least one event, then leaves one of three ways: unsubscribed, released
    // while subscribed, or replaced by the next one. Once released it must end, whatever is in flight.
    bool kept_pace = true;
    std::shared_ptr<CountingListener> replaced;
    for (int i = 0; i < listener_count && kept_pace; ++i) {
        auto listener = std::make_shared<CountingListener>(lives[i], late_calls);
        collector->Subscribe(listener);
        if (replaced) {
            replaced.reset();
            kept_pace = eventually([&] { return lives[i - 1] == dead; });
        }
        kept_pace = kept_pace && eventually([&] { return listener->calls > 0; });
        if (i % 3 == 0)
            collector->Unsubscribe();
        if (i % 3 == 2)
            replaced = listener;
        listener.reset();
        kept_pace = kept_pace && (replaced || eventually([&] { return lives[i] == dead; }));
    }
    replaced.reset();
    done = true;
    for (std::thread& thread : component_threads)
        thread.join();
    collector->Unsubscribe();

    EXPECT_TRUE(kept_pace) << "a listener heard nothing, or outlived its owner, for 30 s";
    EXPECT_EQ(late_calls.load(), 0);
    EXPECT_EQ(failed_events.load(), 0);
    for (const std::atomic<int>& life : lives)
        EXPECT_EQ(life.load(), dead);
}

} // namespace
} // namespace shell_test
