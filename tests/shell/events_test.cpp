// Event connections and the simple sinks: which listener an event reaches, what Subscribe and
// Unsubscribe do to the component's connection point, failed connections, throwing listeners, and the
// release of the connection at the collector's end, and listeners that come and go while component
// threads fire.
#include "shell/fake_collector.h"

#include "EventListener.h"
#include "SimpleSinks.h"

#include <array>

namespace shell_test {
namespace {

using namespace collector::shell::detail;

// Notes every value, then runs `on_event`.
struct Recorder : ICollectorListener {
    void Event1(LONG value) override
    {
        values.push_back(value);
        if (on_event)
            on_event();
    }
    std::vector<LONG> values;
    std::function<void()> on_event;
};

std::vector<HRESULT> fire(fake::ConnectionPoint<ICollectorEvents>& point, LONG value)
{
    return point.fire([value](ICollectorEvents* sink) { return sink->Event1(value); });
}

const std::vector<HRESULT> one_success{S_OK};

// The HRESULT and the line of what `connect` throws (S_OK for anything but a CHResultException).
template <class Connect>
std::pair<HRESULT, int> failure_of(Connect&& connect)
{
    const refusal_t seen = refusal_of(connect);
    EXPECT_EQ(seen.site.file, "Monitor/Collector/Collector.Shell/EventListener.h");
    return {seen.hresult.value_or(S_OK), seen.site.line};
}

template <class Sink, class Events>
struct Connected {
    fake::Held<fake::EventSource> source = fake::hold<fake::EventSource>();
    fake::ConnectionPoint<Events>& point = source->offer<Events>("events");
    EventListener<Sink> connection{source->unknown(), __uuidof(Events)};
};

enum life : int { unborn, alive, dead };

class CollectorEvents : public ServedCollectorTest {
protected:
    fake::ConnectionPoint<ICollectorEvents>& point = component.events;
};

TEST_F(CollectorEvents, OneConnectionDeliversToTheLatestLiveListener)
{
    const auto first = std::make_shared<Recorder>();
    const auto second = std::make_shared<Recorder>();
    collector->Subscribe(first);
    fire(point, 1);
    collector->Subscribe(second);
    EXPECT_EQ(fire(point, 2), one_success);
    EXPECT_EQ(point.advise_calls.load(), 1);
    EXPECT_EQ(first->values, std::vector<LONG>{1});
    EXPECT_EQ(second->values, std::vector<LONG>{2});

    // An empty listener connects and hears nothing; a released one is the race test's below.
    collector->Subscribe(nullptr);
    EXPECT_EQ(fire(point, 3), one_success);
    EXPECT_EQ(point.sinks().size(), 1u);
    collector->Unsubscribe();
}

TEST_F(CollectorEvents, UnsubscribeEndsTheConnectionOnceAndSubscribeAdvisesTheKeptSinkAgain)
{
    collector->Unsubscribe();
    EXPECT_EQ(point.unadvise_calls.load(), 0);

    const auto listener = std::make_shared<Recorder>();
    collector->Subscribe(listener);
    const CComQIPtr<ICollectorEvents> sink(point.last_offered());
    collector->Unsubscribe();
    collector->Unsubscribe();
    EXPECT_EQ(point.unadvise_calls.load(), 1);
    // A late event on the sink that the component still held reaches nobody.
    EXPECT_EQ(sink->Event1(5), S_OK);

    collector->Subscribe(listener);
    EXPECT_EQ(point.advise_calls.load(), 2);
    EXPECT_EQ(point.last_offered().p, static_cast<IUnknown*>(sink.p));
    fire(point, 6);
    EXPECT_EQ(listener->values, std::vector<LONG>{6});

    // A refused Unadvise is not reported, and the connection counts as ended.
    point.unadvise_result = E_FAIL;
    EXPECT_NO_THROW(collector->Unsubscribe());
    collector->Subscribe(listener);
    EXPECT_EQ(point.advise_calls.load(), 3);
    point.unadvise_result = S_OK;
    collector->Unsubscribe();
}

// A refused Advise is the standalone connection's test below.
TEST_F(CollectorEvents, FailedConnectionIsThrownAndKeepsTheListenerForTheNextSubscribe)
{
    component.find_result = CONNECT_E_NOCONNECTION;
    const auto listener = std::make_shared<Recorder>();
    EXPECT_EQ(failure_of([&] { collector->Subscribe(listener); }), std::make_pair(CONNECT_E_NOCONNECTION, 30));
    EXPECT_TRUE(point.sinks().empty());
    component.find_result = S_OK;
    collector->Subscribe(listener);
    fire(point, 7);
    EXPECT_EQ(listener->values, std::vector<LONG>{7});
    collector->Unsubscribe();

    component.refuse(IID_IConnectionPointContainer);
    EXPECT_EQ(failure_of([&] { collector->Subscribe(nullptr); }), std::make_pair(E_NOINTERFACE, 30));
}

// A sink that refuses IUnknown fails the first checked step; an owner without source the second.
class refusing_sink_t : public collector_sink_t {
public:
    HRESULT _InternalQueryInterface(REFIID iid, void** out) noexcept
    {
        if (!IsEqualIID(iid, IID_IUnknown))
            return collector_sink_t::_InternalQueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
};

TEST(EventConnection, EachCheckedStepReportsItsOwnLine)
{
    Connected<refusing_sink_t, ICollectorEvents> refusing;
    const auto listener = std::make_shared<Recorder>();
    EXPECT_EQ(failure_of([&] { refusing.connection.connect(listener); }), std::make_pair(E_NOINTERFACE, 29));
    EXPECT_EQ(refusing.point.advise_calls.load(), 0);
    EventListener<collector_sink_t> sourceless(nullptr, IID_ICollectorEvents);
    EXPECT_EQ(failure_of([&] { sourceless.connect(listener); }), std::make_pair(E_INVALIDARG, 30));
}

// The barrier's own tests cover every kind of exception; here, that the sink is behind one.
TEST_F(CollectorEvents, ListenerExceptionsBecomeTheEventsResult)
{
    const auto listener = std::make_shared<Recorder>();
    listener->on_event = [] { throw _com_error(E_ACCESSDENIED); };
    collector->Subscribe(listener);
    EXPECT_EQ(fire(point, 1), std::vector<HRESULT>{E_ACCESSDENIED});
    collector->Unsubscribe();
}

TEST_F(CollectorEvents, TheCollectorsEndShutsDownThenUnadvisesAndReleasesTheSink)
{
    collector->Subscribe(std::make_shared<Recorder>());
    std::vector<CComPtr<ICollectorEvents>> sinks = point.sinks();
    ASSERT_EQ(sinks.size(), 1u);
    int shutdowns_before_unadvise = -1;
    point.on_unadvise = [&] { shutdowns_before_unadvise = component.calls["Shutdown"]; };

    // The collector holds the component's last reference: the component must outlive the disconnection.
    collector.reset();
    EXPECT_EQ(shutdowns_before_unadvise, 1);
    EXPECT_EQ(sinks[0].Detach()->Release(), 0u) << "the library still holds the sink";
}

// The refused sink keeps its listener; the cookie that the refusal wrote is never unadvised.
TEST(EventConnection, RefusedAdviseKeepsTheListenerInTheSinkAndItsCookieIsNeverUnadvised)
{
    Connected<collector_sink_t, ICollectorEvents> events;
    events.point.advise_result = CONNECT_E_CANNOTCONNECT;
    events.point.refused_cookie = 77;
    const auto listener = std::make_shared<Recorder>();
    EXPECT_EQ(failure_of([&] { events.connection.connect(listener); }), std::make_pair(CONNECT_E_CANNOTCONNECT, 30));
    EXPECT_EQ(CComQIPtr<ICollectorEvents>(events.point.last_offered())->Event1(8), S_OK);
    EXPECT_EQ(listener->values, std::vector<LONG>{8});
    events.connection.disconnect();
    EXPECT_EQ(events.point.unadvise_calls.load(), 0);
    // An advised connection holds its source, and lets go of it with the connection.
    events.point.advise_result = S_OK;
    const ULONG unadvised = events.source->references();
    events.connection.connect(listener);
    EXPECT_EQ(events.source->references(), unadvised + 1);
    events.connection.disconnect();
    EXPECT_EQ(events.source->references(), unadvised);
    EXPECT_EQ(events.point.unadvise_calls.load(), 1);
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

// Events fired from several component threads while the program subscribes, unsubscribes, replaces
// and releases listeners: a listener is never called once its last owner has let it go (a delivery
// that had already taken it may finish first), the library never keeps one alive, and every event
// succeeds. The collection sink's own race, with its watchers, is the collection events' test.
TEST_F(CollectorEvents, ListenersComeAndGoWhileComponentThreadsFire)
{
    constexpr int listener_count = 150;
    std::array<std::atomic<int>, listener_count> lives{};
    std::atomic<int> late_calls{0};
    std::atomic<int> failed_events{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> component_threads;
    for (LONG id = 0; id < 3; ++id) {
        component_threads.emplace_back([&, id] {
            while (!done)
                for (const HRESULT hr : fire(point, id))
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
            kept_pace = fake::eventually([&] { return lives[i - 1] == dead; });
        }
        kept_pace = kept_pace && fake::eventually([&] { return listener->calls > 0; });
        if (i % 3 == 0)
            collector->Unsubscribe();
        if (i % 3 == 2)
            replaced = listener;
        listener.reset();
        kept_pace = kept_pace && (replaced || fake::eventually([&] { return lives[i] == dead; }));
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

struct Names : IResourcePoolListener {
    void Event1(std::wstring_view name) override { seen.push_back(L"+" + std::wstring(name)); }
    void Event2(std::wstring_view name) override { seen.push_back(L"-" + std::wstring(name)); }
    std::vector<std::wstring> seen;
};

struct TaskIds : ITaskPoolListener {
    void Event1(GUID id) override { seen.emplace_back(true, id); }
    void Event2(GUID id) override { seen.emplace_back(false, id); }
    std::vector<std::pair<bool, GUID>> seen;
};

TEST(SimpleSinks, PoolEventsArriveInOrderWithNamesUpToTheFirstNulAndTheirIds)
{
    Connected<resource_pool_sink_t, IResourcePoolEvents> resources;
    const auto names = std::make_shared<Names>();
    resources.connection.connect(names);
    _bstr_t disk(L"disk");
    _bstr_t embedded(SysAllocStringLen(L"a\0b", 3), false);
    for (const BSTR name : {disk.GetBSTR(), static_cast<BSTR>(nullptr), embedded.GetBSTR()})
        resources.point.fire([&](IResourcePoolEvents* sink) { return sink->Event1(name); });
    resources.point.fire([&](IResourcePoolEvents* sink) { return sink->Event2(disk); });
    EXPECT_EQ(names->seen, (std::vector<std::wstring>{L"+disk", L"+", L"+a", L"-disk"}));

    Connected<task_pool_sink_t, ITaskPoolEvents> tasks;
    const auto ids = std::make_shared<TaskIds>();
    tasks.connection.connect(ids);
    const GUID deployed = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    const GUID removed = {0xFEDCBA98, 0x7654, 0x3210, {8, 7, 6, 5, 4, 3, 2, 1}};
    tasks.point.fire([&](ITaskPoolEvents* sink) { return sink->Event1(deployed); });
    tasks.point.fire([&](ITaskPoolEvents* sink) { return sink->Event2(removed); });
    EXPECT_EQ(ids->seen, (std::vector<std::pair<bool, GUID>>{{true, deployed}, {false, removed}}));
}

} // namespace
} // namespace shell_test
