// The observer and its subscribers: order, leaving during a notification, and concurrent use.
#include <Kernel/observer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

struct Subscriber : IOstraSubscriber {
    explicit Subscriber(std::string name, std::atomic<int>* destroyed = nullptr)
        : name(std::move(name)), destroyed(destroyed)
    {
    }
    ~Subscriber() override
    {
        if (destroyed)
            ++*destroyed;
    }
    std::string name;
    std::atomic<int>* destroyed;
};

// Names of the subscribers visited by one round; `act` runs on each before it is recorded.
std::string round_of(COstraBaseObserver& observer, const std::function<bool(Subscriber&)>& act = {})
{
    std::string visited;
    observer.notify([&](IOstraSubscriber& s) {
        auto& subscriber = static_cast<Subscriber&>(s);
        visited += subscriber.name;
        return act ? act(subscriber) : false;
    });
    return visited;
}

TEST(Observer, VisitsInSubscriptionOrderUntilAVisitStops)
{
    COstraBaseObserver observer;
    auto a = std::make_shared<Subscriber>("a"), b = std::make_shared<Subscriber>("b");
    auto c = std::make_shared<Subscriber>("c");
    observer.subscribe(a);
    observer.subscribe(b);
    observer.subscribe(c);
    observer.subscribe(a); // already there: stays first, visited once
    EXPECT_EQ(round_of(observer), "abc");
    EXPECT_EQ(round_of(observer, [](Subscriber& s) { return s.name == "b"; }), "ab");
    EXPECT_TRUE(observer.notify([](IOstraSubscriber&) { return true; }));
    EXPECT_FALSE(COstraBaseObserver().notify([](IOstraSubscriber&) { return true; }));
}

TEST(Observer, SubscriberLeavesFromInsideItsOwnVisit)
{
    std::atomic<int> destroyed = 0;
    COstraBaseObserver observer;
    observer.subscribe(std::make_shared<Subscriber>("a", &destroyed)); // the observer holds the only reference
    observer.subscribe(std::make_shared<Subscriber>("b"));
    const auto leave_a = [](Subscriber& s) {
        if (s.name == "a")
            s.unsubscribe_from_all(false);
        return false;
    };
    EXPECT_EQ(round_of(observer, leave_a), "ab"); // the round goes on after a leaves
    EXPECT_EQ(destroyed, 1);                      // released once the round let go of it
    EXPECT_EQ(round_of(observer), "b");
}

TEST(Observer, LaterSubscribersThatLeaveOrJoinDuringARound)
{
    COstraBaseObserver observer;
    auto a = std::make_shared<Subscriber>("a"), b = std::make_shared<Subscriber>("b");
    auto late = std::make_shared<Subscriber>("l");
    observer.subscribe(a);
    observer.subscribe(b);
    const auto on_a = [&](Subscriber& s) {
        if (s.name == "a") {
            b->unsubscribe_from_all(false);
            observer.subscribe(late);
        }
        return false;
    };
    EXPECT_EQ(round_of(observer, on_a), "a"); // b left before its turn, late joined after the start
    EXPECT_EQ(round_of(observer), "al");
}

TEST(Observer, LeavingCoversEveryObserverJoinedAndSurvivesDestroyedOnes)
{
    auto shared = std::make_shared<Subscriber>("s");
    COstraBaseObserver first, second;
    first.subscribe(shared);
    second.subscribe(shared);
    {
        COstraBaseObserver gone;
        gone.subscribe(shared);
    }
    shared->unsubscribe_from_all(true);
    EXPECT_EQ(round_of(first), "");
    EXPECT_EQ(round_of(second), "");
    EXPECT_EQ(shared.use_count(), 1);
    first.subscribe(shared); // may join again
    EXPECT_EQ(round_of(first), "s");
}

TEST(Observer, ExceptionFromAVisitEndsTheRoundCleanly)
{
    COstraBaseObserver observer;
    auto a = std::make_shared<Subscriber>("a"), b = std::make_shared<Subscriber>("b");
    observer.subscribe(a);
    observer.subscribe(b);
    std::string visited;
    EXPECT_THROW(observer.notify([&](IOstraSubscriber& s) -> bool {
        visited += static_cast<Subscriber&>(s).name;
        throw std::runtime_error("watcher failed");
    }),
                 std::runtime_error);
    EXPECT_EQ(visited, "a");
    // The round is over: waiting from another thread does not wait for it.
    auto leaving = std::async(std::launch::async, [&] { a->unsubscribe_from_all(true); });
    EXPECT_EQ(leaving.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(Observer, WaitingLeaveIsNeverFollowedByAVisit)
{
    COstraBaseObserver observer;
    auto watched = std::make_shared<Subscriber>("w");
    observer.subscribe(watched);
    std::atomic<bool> left = false, stop = false, visited_after_leaving = false;
    std::atomic<int> visits = 0;
    std::thread notifier([&] {
        while (!stop) {
            observer.notify([&](IOstraSubscriber&) {
                ++visits;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                if (left)
                    visited_after_leaving = true;
                return false;
            });
        }
    });
    while (visits < 3)
        std::this_thread::yield();
    watched->unsubscribe_from_all(true);
    left = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    notifier.join();
    EXPECT_FALSE(visited_after_leaving);
}

TEST(Observer, ConcurrentNotifyJoinAndLeave)
{
    COstraBaseObserver observer;
    std::atomic<int> destroyed = 0;
    constexpr int churners = 3, rounds = 200;
    std::atomic<bool> stop = false;
    std::atomic<long> visits = 0;
    std::vector<std::thread> threads;
    for (int n = 0; n < 2; ++n)
        threads.emplace_back([&] {
            while (!stop)
                observer.notify([&](IOstraSubscriber& s) {
                    ++visits;
                    if (static_cast<Subscriber&>(s).name == "self-leaving")
                        s.unsubscribe_from_all(false);
                    return false;
                });
        });
    std::vector<std::thread> churn;
    for (int n = 0; n < churners; ++n)
        churn.emplace_back([&, n] {
            for (int i = 0; i < rounds; ++i) {
                auto subscriber = std::make_shared<Subscriber>(i % 2 ? "self-leaving" : "plain", &destroyed);
                observer.subscribe(subscriber);
                if (i % 2 == 0)
                    subscriber->unsubscribe_from_all(n == 0);
            }
        });
    for (auto& thread : churn)
        thread.join();
    // Self-leaving subscribers still waiting for a visit leave when one comes.
    while (destroyed < churners * rounds)
        std::this_thread::yield();
    stop = true;
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(destroyed, churners * rounds);
    EXPECT_GT(visits, 0);
}

} // namespace
