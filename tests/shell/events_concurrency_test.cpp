// Events fired from several component threads while the program subscribes, unsubscribes, replaces
// and releases listeners: no listener is called once its last owner has let it go (a delivery that
// had already taken it may finish), none is kept alive by the library, and every event succeeds.
#include "shell/fake_collector.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace shell_test {
namespace {

using collector::shell::Collector;
using collector::shell::ECollectorSource;
using collector::shell::ICollectorListener;

enum life : int { unborn, alive, dead };

// Keeps its life in a slot that outlives it, so that a call after its end is seen.
class CountingListener : public ICollectorListener {
public:
    CountingListener(std::atomic<int>& life, std::atomic<int>& late_calls) : life_(life), late_calls_(late_calls)
    {
        life_ = alive;
    }
    ~CountingListener() override { life_ = dead; }

    void Event1(LONG) override
    {
        if (life_.load() != alive)
            ++late_calls_;
        ++calls_;
    }

    // Waits, up to a generous limit, until a component thread has reached this listener.
    bool reached() const
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (calls_.load() == 0) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

private:
    std::atomic<int>& life_;
    std::atomic<int>& late_calls_;
    std::atomic<int> calls_{0};
};

TEST(EventConcurrency, ListenersComeAndGoWhileComponentThreadsFire)
{
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    Collector collector(ECollectorSource::Rest);
    fake::ConnectionPoint<ICollectorEvents>& point = served.last.load()->events;

    constexpr int listener_count = 150;
    std::array<std::atomic<int>, listener_count> lives{};
    std::atomic<int> late_calls{0};
    std::atomic<int> failed_events{0};
    std::atomic<bool> done{false};

    std::vector<std::thread> component_threads;
    for (LONG thread = 0; thread < 3; ++thread) {
        component_threads.emplace_back([&, thread] {
            while (!done.load()) {
                for (const HRESULT hr : point.fire([&](ICollectorEvents* sink) { return sink->Event1(thread); }))
                    failed_events += hr != S_OK;
            }
        });
    }

    // Each listener receives at least one event, then leaves one of three ways: unsubscribed and
    // released, released while still subscribed, or replaced by the next one and released after.
    std::shared_ptr<CountingListener> replaced;
    bool all_reached = true;
    for (int i = 0; i < listener_count && all_reached; ++i) {
        auto listener = std::make_shared<CountingListener>(lives[i], late_calls);
        collector.Subscribe(listener);
        replaced.reset();
        all_reached = listener->reached();
        switch (i % 3) {
        case 0:
            collector.Unsubscribe();
            break;
        case 1:
            break;
        case 2:
            replaced = listener;
            break;
        }
        listener.reset();
    }
    replaced.reset();
    collector.Subscribe(nullptr);
    done = true;
    for (std::thread& thread : component_threads)
        thread.join();
    collector.Unsubscribe();

    ASSERT_TRUE(all_reached) << "the component threads stopped reaching the listeners";
    EXPECT_EQ(late_calls.load(), 0);
    EXPECT_EQ(failed_events.load(), 0);
    for (int i = 0; i < listener_count; ++i)
        EXPECT_EQ(lives[i].load(), dead) << "listener " << i << " outlived its owner";
    EXPECT_TRUE(point.fire([](ICollectorEvents* sink) { return sink->Event1(0); }).empty());
}

} // namespace
} // namespace shell_test
