// The collector object: its classes, run state and events, bad arguments, and shutdown while events
// are on their way.
#include "reference_fixture.h"

#include <gmock/gmock.h>

#include <functional>
#include <set>

namespace reference_test {
namespace {

TEST(Registration, OffersEveryCollectorClassInItsContextUntilItEnds)
{
    fake::Apartment apartment;
    const std::pair<const CLSID*, DWORD> rows[] = {
        {&CLSID_ArborHyperVWmiCollector, CLSCTX_INPROC_SERVER}, {&CLSID_ArborVcfCollector, CLSCTX_INPROC_SERVER},
        {&CLSID_VMwareCollector, CLSCTX_INPROC_SERVER},         {&CLSID_VMwareStandaloneCollector, CLSCTX_LOCAL_SERVER},
        {&CLSID_RestCollector, CLSCTX_INPROC_SERVER},           {&CLSID_EventsCollector, CLSCTX_INPROC_SERVER},
        {&CLSID_CirrusCollector, CLSCTX_INPROC_SERVER},         {&CLSID_MetricsCollector, CLSCTX_INPROC_SERVER},
    };
    // Creates a collector of the class in the context; a new one is in its initial state.
    const auto create = [](const CLSID& id, DWORD context) {
        CComPtr<ICollector> collector;
        const HRESULT hr = CoCreateInstance(id, nullptr, context, IID_ICollector, reinterpret_cast<void**>(&collector));
        ECollectorState state{};
        EXPECT_TRUE(!collector || (collector->GetState(&state) == S_OK && state == ECollectorState::Initial));
        return hr;
    };
    const long before = Registration::LiveObjects();
    {
        Registration registration;
        for (const auto& row : rows)
            EXPECT_EQ(create(*row.first, row.second), S_OK) << "row " << &row - rows;
        EXPECT_EQ(create(CLSID_VMwareStandaloneCollector, CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
    }
    EXPECT_EQ(create(CLSID_ArborVcfCollector, CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Registration::LiveObjects(), before);
}

TEST(Registration, RefusesARefreshPeriodThatIsNotPositive)
{
    fake::Apartment apartment;
    for (const auto period : {0ms, -5ms}) {
        EXPECT_THAT([&] { Registration registration(Options{period}); },
                    testing::ThrowsMessage<std::invalid_argument>(
                        testing::StrEq("The refresh period of the live record classes must be positive")))
            << period.count() << " ms";
    }
}

using CollectorTest = ReferenceTest;

// A registration on a thread of its own comes and goes: the failure this one scripted stays armed.
TEST_F(CollectorTest, AScriptedFailureOutlivesAnotherRegistration)
{
    registration->FailCall(L"ICollector::Start", 1, E_ACCESSDENIED, L"no start today");
    bool registered = false;
    std::thread([&registered] {
        fake::Apartment apartment(COINIT_APARTMENTTHREADED);
        try {
            Registration other;
            registered = true;
        } catch (const std::runtime_error&) {
        }
    }).join();
    if (!registered)
        GTEST_SKIP() << "this platform registers a class once per process";
    EXPECT_EQ(collector->Start(), E_ACCESSDENIED);
    EXPECT_EQ(last_error(collector, IID_ICollector), L"no start today");
}

TEST_F(CollectorTest, RunStatesAreAnnouncedOnTheComponentThread)
{
    listen(collector, IID_ICollectorEvents);
    EXPECT_EQ(collector->Start(), S_OK);
    EXPECT_EQ(collector->Suspend(), S_OK);
    EXPECT_EQ(collector->Start(), S_OK);
    EXPECT_EQ(collector->Stop(), S_OK);
    EXPECT_EQ(collector->Restart(), S_OK);
    EXPECT_EQ(collector->Restart(), S_OK); // running: stops first
    EXPECT_EQ(collector->Terminate(), S_OK);

    EXPECT_EQ(sink->journal.Wait(8), (std::vector<std::wstring>{L"Collector 1", L"Collector 2", L"Collector 1",
                                                         L"Collector 3", L"Collector 1", L"Collector 3",
                                                         L"Collector 1", L"Collector 4"}));
    const auto threads = sink->journal.Writers();
    EXPECT_EQ(std::set(threads.begin(), threads.end()).size(), 1u) << "the events came on more than one thread";
    EXPECT_EQ(std::ranges::count(threads, std::this_thread::get_id()), 0);

    EXPECT_EQ(collector->Start(), E_ILLEGAL_METHOD_CALL);
    EXPECT_EQ(last_error(collector, IID_ICollector), L"The collector is terminated");
}

TEST_F(CollectorTest, BadArgumentsFailWithTheirCodeAndErrorInformation)
{
    define_items();
    const CComPtr<ICollection> collection = deploy(L"Item");
    const CComPtr<IClassPool> classes = pool<IClassPool>(&ICollector::GetClassPool);
    const CComPtr<ITaskPool> tasks = pool<ITaskPool>(&ICollector::GetTaskPool);
    CComPtr<IUnknown> unknown;
    CComPtr<IClass> cls;
    _variant_t value;
    GUID absent{0xDEAD, 0, 0, {}};

    struct Row {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
        const wchar_t* description;
        IUnknown* object;
        const IID* iid;
    };
    const Row rows[] = {
        {"GetTaskPool(null)", [&] { return collector->GetTaskPool(nullptr); }, E_POINTER, L"Null out-pointer", collector,
         &IID_ICollector},
        {"Deploy(unknown class)", [&] { return task->Deploy(_bstr_t(L"Nope"), &unknown); }, E_INVALIDARG,
         L"Unknown record class: Nope", task, &IID_ITask},
        {"GetClass(unknown id)", [&] { return classes->GetClass(absent, &cls); }, E_INVALIDARG,
         L"No record class has that id", classes, &IID_IClassPool},
        {"GetTask(unknown id)", [&] { return tasks->GetTask(&absent, &unknown); }, E_INVALIDARG, L"No task has that id",
         tasks, &IID_ITaskPool},
        {"Deploy(no name)", [&] { return tasks->Deploy(_bstr_t(L""), &absent, &absent, 0, &unknown); }, E_INVALIDARG,
         L"A task needs a name", tasks, &IID_ITaskPool},
        {"DeployWithText(number)",
         [&] { return tasks->DeployWithText(_bstr_t(L"t"), nullptr, nullptr, _variant_t(1L), 0, &unknown); },
         E_INVALIDARG, L"The configuration is a text", tasks, &IID_ITaskPool},
        {"GetProperty(never set)", [&] { return CComQIPtr<IProperties>(task)->GetProperty(_bstr_t(L"X"), &value); },
         DISP_E_UNKNOWNNAME, L"No property X", task, &IID_IProperties},
        {"Reset(1)", [&] { return collection->Reset(1); }, E_INVALIDARG, L"No reset option is defined", collection,
         &IID_ICollection},
        {"Run(not a controller)", [&] { return task->Run(_variant_t(static_cast<IUnknown*>(collection))); },
         E_NOINTERFACE, L"The controller is not a data collection service controller", task, &IID_ITask},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.call(), row.expected);
        EXPECT_EQ(last_error(row.object, *row.iid), row.description);
    }
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(cls, nullptr);
    EXPECT_EQ(value.vt, VT_EMPTY);
}

TEST_F(CollectorTest, ShutdownWhileEventsAreOnTheirWayStopsTheThreadAndDropsThem)
{
    RecordClass items = define_items();
    const CComPtr<ICollection> collection = deploy(L"Item");
    listen(collection, IID_ICollectionEvents);
    EXPECT_EQ(collection->Run(), S_OK);
    std::thread feeder([&] {
        for (long id = 1; id <= 200; ++id)
            items.Apply({added(id)});
    });
    sink->journal.Wait(10);
    EXPECT_EQ(collector->Shutdown(), S_OK);
    const std::size_t after_shutdown = sink->journal.Wait(0).size();
    feeder.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sink->journal.Wait(0).size(), after_shutdown) << "an event arrived after Shutdown returned";
    EXPECT_EQ(collector->Start(), CO_E_OBJNOTCONNECTED);
}

} // namespace
} // namespace reference_test
