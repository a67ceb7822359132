// The observer and its subscribers: order, leaving during a notification, and concurrent use.
#include <Kernel/observer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

struct Subscriber : IOstraSubscriber {
    explicit Subscriber(std::string name, std::atomic<int>* destroyed = nullptr) : name(std::move(name)), destroyed(destroyed) {}
    ~Subscriber() override
    {
        if (destroyed)
            ++*destroyed;
    }
    std::string name;
    std::atomic<int>* destroyed;
};

// Names of the subscribers one round visits; `act` runs on each after it is recorded.
std::string round_of(COstraBaseObserver& observer, const std::function<bool(Subscriber&)>& act = {})
{
    std::string visited;
    observer.notify([&](IOstraSubscriber& s) {
        visited += static_cast<Subscriber&>(s).name;
        return act ? act(static_cast<Subscriber&>(s)) : false;
    });
    return visited;
}

TEST(Observer, VisitsInSubscriptionOrderUntilAVisitStops)
{
    COstraBaseObserver observer;
    auto a = std::make_shared<Subscriber>("a");
    observer.subscribe(a);
    observer.subscribe(std::make_shared<Subscriber>("b"));
    observer.subscribe(std::make_shared<Subscriber>("c"));
    observer.subscribe(a); // already there: stays first, visited once
    EXPECT_EQ(round_of(observer), "abc");
    EXPECT_EQ(round_of(observer, [](Subscriber& s) { return s.name == "b"; }), "ab");
    EXPECT_TRUE(observer.notify([](IOstraSubscriber&) { return true; }));
}

TEST(Observer, SubscribersLeaveAndJoinDuringARound)
{
    std::atomic<int> destroyed = 0;
    COstraBaseObserver observer;
    observer.subscribe(std::make_shared<Subscriber>("a", &destroyed)); // the observer holds the only reference
    auto b = std::make_shared<Subscriber>("b"), c = std::make_shared<Subscriber>("c");
    auto late = std::make_shared<Subscriber>("l");
    observer.subscribe(b);
    observer.subscribe(c);
    const auto act = [&](Subscriber& s) {
        if (s.name == "a")
            s.unsubscribe_from_all(false); // leaves from inside its own visit
        if (s.name == "b") {
            c->unsubscribe_from_all(false); // leaves before its turn
            observer.subscribe(late);       // joins for the next round
        }
        return false;
    };
    EXPECT_EQ(round_of(observer, act), "ab");
    EXPECT_EQ(destroyed, 1); // released once the round let go of it
    EXPECT_EQ(round_of(observer), "bl");
}

TEST(Observer, WaitingLeaveIsNeverFollowedByAVisit)
{
    COstraBaseObserver observer, other;
    auto watched = std::make_shared<Subscriber>("w");
    observer.subscribe(watched);
    other.subscribe(watched);
    {
        COstraBaseObserver gone;
        gone.subscribe(watched);
    }
    std::atomic<bool> left = false, stop = false, visited_after_leaving = false;
    std::atomic<int> visits = 0;
    std::thread notifier([&] {
        while (!stop)
            round_of(observer, [&](Subscriber&) {
                ++visits;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                visited_after_leaving = visited_after_leaving || left;
                return false;
            });
    });
    while (visits < 3)
        std::this_thread::yield();
    watched->unsubscribe_from_all(true);
    left = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    notifier.join();
    EXPECT_FALSE(visited_after_leaving);
    EXPECT_EQ(round_of(other), ""); // every observer joined was left
    EXPECT_EQ(watched.use_count(), 1);
}

TEST(Observer, ConcurrentNotifyJoinAndLeave)
{
    COstraBaseObserver observer;
    constexpr int joiners = 3, rounds = 200;
    std::atomic<int> destroyed = 0;
    std::atomic<bool> stop = false;
    const auto notify = [&] {
        while (!stop)
            round_of(observer, [](Subscriber& s) {
                if (s.name == "self-leaving")
                    s.unsubscribe_from_all(false);
                return false;
            });
    };
    std::thread notifiers[] = {std::thread(notify), std::thread(notify)};
    std::vector<std::thread> churn;
    for (int n = 0; n < joiners; ++n)
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
    while (destroyed < joiners * rounds) // the self-leaving ones go at their next visit
        std::this_thread::yield();
    stop = true;
    for (auto& thread : notifiers)
        thread.join();
    EXPECT_EQ(destroyed, joiners * rounds);
}

} // namespace
