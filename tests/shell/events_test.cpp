// Event connections and the simple sinks: what Subscribe and Unsubscribe do to the component's
// connection point, which listener an event reaches, how a failed connection is reported and kept for
// a later try, what a throwing listener gives back to the component, and how the collector's end
// releases its connection.
#include "shell/fake_collector.h"
#include "shell/site.h"

#include "EventListener.h"
#include "SimpleSinks.h"

#include "support/fake_events.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace shell_test {
namespace {

using collector::shell::Collector;
using collector::shell::ECollectorSource;
using collector::shell::ICollectorListener;
using namespace collector::shell::detail;

// Remembers every value it was given.
class RecordingListener : public ICollectorListener {
public:
    void Event1(LONG value) override { values.push_back(value); }
    std::vector<LONG> values;
};

std::vector<HRESULT> fire(fake::ConnectionPoint<ICollectorEvents>& point, LONG value)
{
    return point.fire([value](ICollectorEvents* sink) { return sink->Event1(value); });
}

class CollectorEvents : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    std::optional<Collector> collector{std::in_place, ECollectorSource::Rest};
    FakeCollector& component = *served.last.load();
    fake::ConnectionPoint<ICollectorEvents>& point = component.events;
};

TEST_F(CollectorEvents, NothingIsConnectedBeforeSubscribe)
{
    EXPECT_EQ(point.advise_calls(), 0);
    collector->Unsubscribe();
    collector->Unsubscribe();
    EXPECT_EQ(point.unadvise_calls(), 0);
}

TEST_F(CollectorEvents, SecondSubscribeReplacesTheListenerOverTheSameConnection)
{
    const auto first = std::make_shared<RecordingListener>();
    const auto second = std::make_shared<RecordingListener>();
    collector->Subscribe(first);
    EXPECT_EQ(fire(point, 1), std::vector<HRESULT>{S_OK});
    collector->Subscribe(second);
    EXPECT_EQ(point.advise_calls(), 1);
    EXPECT_EQ(fire(point, 2), std::vector<HRESULT>{S_OK});
    EXPECT_EQ(first->values, std::vector<LONG>{1});
    EXPECT_EQ(second->values, std::vector<LONG>{2});
    collector->Unsubscribe();
}

TEST_F(CollectorEvents, WithoutALiveListenerEventsSucceedAndReachNobody)
{
    collector->Subscribe(nullptr);
    EXPECT_EQ(point.cookies().size(), 1u);
    EXPECT_EQ(fire(point, 1), std::vector<HRESULT>{S_OK});

    // Released by its owner without Unsubscribe.
    auto listener = std::make_shared<RecordingListener>();
    const std::weak_ptr<RecordingListener> watch = listener;
    collector->Subscribe(listener);
    listener.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(fire(point, 2), std::vector<HRESULT>{S_OK});
    collector->Unsubscribe();
}

TEST_F(CollectorEvents, UnsubscribeEndsTheConnectionOnceAndResubscribeAdvisesTheSameSinkAgain)
{
    const auto listener = std::make_shared<RecordingListener>();
    collector->Subscribe(listener);
    const std::vector<DWORD> first_cookies = point.cookies();
    ASSERT_EQ(first_cookies.size(), 1u);
    const CComPtr<IUnknown> first_sink = point.last_offered();

    collector->Unsubscribe();
    collector->Unsubscribe();
    EXPECT_EQ(point.unadvise_calls(), 1);
    EXPECT_TRUE(point.cookies().empty());
    // A delivery reaching the sink after Unsubscribe (the component may still hold it) goes nowhere.
    EXPECT_EQ(CComQIPtr<ICollectorEvents>(first_sink)->Event1(3), S_OK);

    collector->Subscribe(listener);
    const std::vector<DWORD> second_cookies = point.cookies();
    ASSERT_EQ(second_cookies.size(), 1u);
    EXPECT_NE(second_cookies[0], first_cookies[0]);
    EXPECT_EQ(point.last_offered().p, first_sink.p);
    fire(point, 4);
    EXPECT_EQ(listener->values, std::vector<LONG>{4});
    collector->Unsubscribe();
}

TEST_F(CollectorEvents, UnsubscribeIgnoresTheComponentsRefusal)
{
    collector->Subscribe(std::make_shared<RecordingListener>());
    point.unadvise_result = E_FAIL;
    EXPECT_NO_THROW(collector->Unsubscribe());
    // The cookie is forgotten all the same: the next Subscribe connects anew.
    collector->Subscribe(nullptr);
    EXPECT_EQ(point.advise_calls(), 2);
    point.unadvise_result = S_OK;
    collector->Unsubscribe();
    point.drop(); // the connection that the component kept
}

// A failure of the connection steps is thrown from Subscribe at line 30 of the connection header.
TEST_F(CollectorEvents, FailedConnectionThrowsAndTheNextSubscribeTriesAgain)
{
    struct Row {
        const char* name;
        std::function<void(FakeCollector&)> break_it;
        std::function<void(FakeCollector&)> mend_it;
        HRESULT expected;
    };
    const Row rows[] = {
        {"no container", [](FakeCollector& c) { c.refuse(IID_IConnectionPointContainer); }, nullptr, E_NOINTERFACE},
        {"no point", [](FakeCollector& c) { c.find_result = CONNECT_E_NOCONNECTION; },
         [](FakeCollector& c) { c.find_result = S_OK; }, CONNECT_E_NOCONNECTION},
        {"advise refused", [](FakeCollector& c) { c.events.advise_result = CONNECT_E_ADVISELIMIT; },
         [](FakeCollector& c) { c.events.advise_result = S_OK; }, CONNECT_E_ADVISELIMIT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Collector fresh(ECollectorSource::Rest);
        FakeCollector& broken = *served.last.load();
        row.break_it(broken);
        const auto listener = std::make_shared<RecordingListener>();
        try {
            fresh.Subscribe(listener);
            ADD_FAILURE() << "the failure was not reported";
        } catch (const CHResultException& e) {
            EXPECT_EQ(e.get_hresult(), row.expected);
            const seen_site site = site_of(e);
            EXPECT_EQ(site.file, "Monitor/Collector/Collector.Shell/EventListener.h");
            EXPECT_EQ(site.line, 30);
            EXPECT_NE(site.function.find("connect"), std::string::npos) << site.function;
        }
        EXPECT_TRUE(broken.events.cookies().empty());
        if (!row.mend_it)
            continue; // the object cannot be mended; nothing was advised, nothing to end
        row.mend_it(broken);
        fresh.Subscribe(listener);
        fire(broken.events, 9);
        EXPECT_EQ(listener->values, std::vector<LONG>{9});
    }
}

TEST_F(CollectorEvents, ListenerStaysInstalledInTheSinkAfterARefusedAdvise)
{
    point.advise_result = CONNECT_E_CANNOTCONNECT;
    const auto listener = std::make_shared<RecordingListener>();
    EXPECT_THROW(collector->Subscribe(listener), CHResultException);
    const CComQIPtr<ICollectorEvents> refused_sink(point.last_offered());
    ASSERT_TRUE(refused_sink);
    EXPECT_EQ(refused_sink->Event1(5), S_OK);
    EXPECT_EQ(listener->values, std::vector<LONG>{5});
}

// Failures of the QueryInterface step come from a sink that refuses IUnknown; the null source from an
// owner that has none.
class refusing_sink_t : public collector_sink_t {
public:
    HRESULT _InternalQueryInterface(REFIID iid, void** out) noexcept
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return collector_sink_t::_InternalQueryInterface(iid, out);
    }
};

TEST(EventConnection, TheTwoCheckedStepsReportTheirOwnLines)
{
    auto source = fake::hold<fake::EventSource>();
    auto& point = source->offer<ICollectorEvents>("events");
    const auto listener = std::make_shared<RecordingListener>();

    EventListener<refusing_sink_t> refusing(source->unknown(), IID_ICollectorEvents);
    try {
        refusing.connect(listener);
        ADD_FAILURE() << "a sink without IUnknown was advised";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), E_NOINTERFACE);
        EXPECT_EQ(site_of(e).line, 29);
        EXPECT_EQ(site_of(e).file, "Monitor/Collector/Collector.Shell/EventListener.h");
    }
    EXPECT_EQ(point.advise_calls(), 0);

    EventListener<collector_sink_t> sourceless(nullptr, IID_ICollectorEvents);
    try {
        sourceless.connect(listener);
        ADD_FAILURE() << "a connection without source was made";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), E_INVALIDARG);
        EXPECT_EQ(site_of(e).line, 30);
    }
    EXPECT_NO_THROW(sourceless.disconnect());
}

// What a throwing listener gives back to the component, on the thread that delivered the event.
class ThrowingListener : public ICollectorListener {
public:
    explicit ThrowingListener(std::function<void()> throw_it) : throw_it_(std::move(throw_it)) {}
    void Event1(LONG) override { throw_it_(); }

private:
    std::function<void()> throw_it_;
};

CComPtr<IErrorInfo> error_info(const wchar_t* description)
{
    CComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    CComPtr<IErrorInfo> info;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    return info;
}

CComPtr<IErrorInfo> thread_error_info()
{
    CComPtr<IErrorInfo> info;
    GetErrorInfo(0, &info);
    return info;
}

TEST_F(CollectorEvents, ListenerExceptionsBecomeTheEventsResult)
{
    const CComPtr<IErrorInfo> denied = error_info(L"denied");
    const auto com_failure =
        std::make_shared<ThrowingListener>([&] { throw _com_error(E_ACCESSDENIED, denied, true); });
    collector->Subscribe(com_failure);
    EXPECT_EQ(fire(point, 1), std::vector<HRESULT>{E_ACCESSDENIED});
    EXPECT_EQ(thread_error_info().p, denied.p);

    const CComPtr<IErrorInfo> earlier = error_info(L"earlier");
    SetErrorInfo(0, earlier);
    const auto plain_failure = std::make_shared<ThrowingListener>([] { throw std::runtime_error("listener failed"); });
    collector->Subscribe(plain_failure);
    EXPECT_EQ(fire(point, 2), std::vector<HRESULT>{static_cast<HRESULT>(0x8000FFFF)});
    EXPECT_EQ(thread_error_info().p, earlier.p);
    SetErrorInfo(0, nullptr);
    collector->Unsubscribe();
}

TEST_F(CollectorEvents, TheCollectorsEndShutsDownThenUnadvisesAndReleasesTheSink)
{
    collector->Subscribe(std::make_shared<RecordingListener>());
    std::vector<CComPtr<ICollectorEvents>> sinks = point.sinks();
    ASSERT_EQ(sinks.size(), 1u);
    int shutdowns_seen_at_unadvise = -1;
    point.on_unadvise = [&] { shutdowns_seen_at_unadvise = component.calls["Shutdown"]; };

    // The library holds the only reference to the component besides the connection: the component
    // ends during the collector's end, which must still reach it to unadvise.
    collector.reset();
    EXPECT_EQ(shutdowns_seen_at_unadvise, 1);
    // Every other reference to the sink is gone: this one is the last.
    EXPECT_EQ(sinks[0].Detach()->Release(), 0u);
}

// The other simple sinks deliver their arguments as the listener interfaces give them.
template <class Sink, class Events>
struct connected {
    fake::Held<fake::EventSource> source = fake::hold<fake::EventSource>();
    fake::ConnectionPoint<Events>& point = source->offer<Events>("events");
    EventListener<Sink> connection{source->unknown(), __uuidof(Events)};
};

class ResourceNames : public collector::shell::IResourcePoolListener {
public:
    void Event1(std::wstring_view name) override { added.emplace_back(name); }
    void Event2(std::wstring_view name) override { removed.emplace_back(name); }
    std::vector<std::wstring> added;
    std::vector<std::wstring> removed;
};

TEST(SimpleSinks, ResourcePoolTextsArriveAsViewsUpToTheirFirstNul)
{
    connected<resource_pool_sink_t, IResourcePoolEvents> events;
    const auto listener = std::make_shared<ResourceNames>();
    events.connection.connect(listener);

    _bstr_t disk(L"disk");
    _bstr_t empty(L"");
    _bstr_t embedded(SysAllocStringLen(L"a\0b", 3), false);
    for (BSTR text : {disk.GetBSTR(), empty.GetBSTR(), static_cast<BSTR>(nullptr), embedded.GetBSTR()}) {
        EXPECT_EQ(events.point.fire([&](IResourcePoolEvents* sink) { return sink->Event1(text); }),
                  std::vector<HRESULT>{S_OK});
    }
    events.point.fire([&](IResourcePoolEvents* sink) { return sink->Event2(disk); });
    EXPECT_EQ(listener->added, (std::vector<std::wstring>{L"disk", L"", L"", L"a"}));
    EXPECT_EQ(listener->removed, std::vector<std::wstring>{L"disk"});
}

class TaskIds : public collector::shell::ITaskPoolListener {
public:
    void Event1(GUID id) override { deployed.push_back(id); }
    void Event2(GUID id) override { removed.push_back(id); }
    std::vector<GUID> deployed;
    std::vector<GUID> removed;
};

class StorageStates : public collector::shell::IDatabaseStorageListener {
public:
    void Event1(LONG value) override { values.push_back(value); }
    std::vector<LONG> values;
};

TEST(SimpleSinks, TaskPoolIdsAndStorageValuesPassUnchanged)
{
    connected<task_pool_sink_t, ITaskPoolEvents> pool;
    const auto tasks = std::make_shared<TaskIds>();
    pool.connection.connect(tasks);
    const GUID deployed = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    const GUID removed = {0xFEDCBA98, 0x7654, 0x3210, {8, 7, 6, 5, 4, 3, 2, 1}};
    pool.point.fire([&](ITaskPoolEvents* sink) { return sink->Event1(deployed); });
    pool.point.fire([&](ITaskPoolEvents* sink) { return sink->Event2(removed); });
    ASSERT_EQ(tasks->deployed.size(), 1u);
    ASSERT_EQ(tasks->removed.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(tasks->deployed[0], deployed));
    EXPECT_TRUE(IsEqualGUID(tasks->removed[0], removed));

    connected<database_storage_sink_t, IDatabaseStorageEvents> storage;
    const auto states = std::make_shared<StorageStates>();
    storage.connection.connect(states);
    for (const LONG value : {LONG{2}, LONG{-1}, LONG{0x7FFFFFFF}})
        storage.point.fire([&](IDatabaseStorageEvents* sink) { return sink->Event1(value); });
    EXPECT_EQ(states->values, (std::vector<LONG>{2, -1, 0x7FFFFFFF}));
}

} // namespace
} // namespace shell_test
