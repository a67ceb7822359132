// Collector: which component class each source creates, creation failures, and the run-state and
// property operations passed through to the component with their failures raised.
#include "shell/fake_collector.h"

namespace shell_test {
namespace {

class CollectorTest : public testing::Test {
protected:
    fake::Apartment apartment;
};

TEST_F(CollectorTest, EachSourceCreatesItsClassInItsContextAndNamesItWhenThatFails)
{
    const std::tuple<int, bool, const CLSID&, const wchar_t*> rows[] = {
        {0, false, CLSID_ArborHyperVWmiCollector, L"Arbor & HyperV & WMI"},
        {1, false, CLSID_ArborVcfCollector, L"Arbor over VCF"},
        {2, false, CLSID_VMwareCollector, L"VMware"},
        {2, true, CLSID_VMwareStandaloneCollector, L"VMware | standalone"},
        {3, false, CLSID_ArborHyperVWmiCollector, L"Arbor & HyperV & WMI"},
        {4, false, CLSID_ArborHyperVWmiCollector, L"Arbor & HyperV & WMI"},
        {5, false, CLSID_RestCollector, L"REST"},
        {6, false, CLSID_EventsCollector, L"Events"},
        {7, false, CLSID_CirrusCollector, L"Cirrus"},
        {8, false, CLSID_MetricsCollector, L"Metrics"},
        // The standalone flag matters for VMware only.
        {0, true, CLSID_ArborHyperVWmiCollector, L"Arbor & HyperV & WMI"},
        {8, true, CLSID_MetricsCollector, L"Metrics"},
    };
    for (const auto& [source, standalone, clsid, name] : rows) {
        SCOPED_TRACE(testing::Message() << source << standalone);
        const refusal_t e = refusal_of([&] { Collector collector(static_cast<ECollectorSource>(source), standalone); });
        EXPECT_EQ(e.message, std::wstring(L"CoCreateInstance for IID_ICollector (") + name + L")");
        EXPECT_EQ(e.hresult, REGDB_E_CLASSNOTREG);
        EXPECT_EQ(e.site.file, "Monitor/Collector/Collector.Shell/Collector.cpp");
    }

    // Each row's class alone, registered only in the context the library must ask for.
    for (const auto& [source, standalone, clsid, name] : rows) {
        const bool local = IsEqualGUID(clsid, CLSID_VMwareStandaloneCollector);
        const ServedCollector served(clsid, local ? CLSCTX_LOCAL_SERVER : CLSCTX_INPROC_SERVER);
        EXPECT_NO_THROW(Collector(static_cast<ECollectorSource>(source), standalone)) << source << standalone;
        EXPECT_EQ(served.instances_created(), 1) << source << standalone;
    }
    // The standalone class is asked for as a local server only.
    ServedCollector inproc_only{CLSID_VMwareStandaloneCollector, CLSCTX_INPROC_SERVER};
    EXPECT_THROW(Collector(ECollectorSource::VMware, true), CHResultException);
    EXPECT_EQ(inproc_only.instances_created(), 0);
}

using OneCollector = ServedCollectorTest;

TEST_F(OneCollector, RunStateOperationsReachTheComponentAndSuccessCodesPass)
{
    component.result = S_FALSE;
    collector->Start();
    collector->Suspend();
    collector->Restart();
    collector->Stop();
    collector->Terminate();
    component.state = static_cast<ECollectorState>(42);
    EXPECT_EQ(collector->GetState(), static_cast<ECollectorState>(42));
    for (const char* operation : {"Start", "Suspend", "Restart", "Stop", "Terminate", "GetState"})
        EXPECT_EQ(component.calls[operation], 1) << operation;
}

TEST_F(OneCollector, FailuresCarryErrorInformationOnlyWhenOfferedForTheOperationsInterfaceAndLeft)
{
    struct Row {
        const char* what;
        const IID* supported;
        std::function<void(Collector&)> operation;
        bool informed;
        bool refuses_support = false;
        const wchar_t* left = L"not allowed";
    };
    const Row rows[] = {
        {"not offered", nullptr, [](Collector& c) { c.Start(); }, false},
        {"offered", &IID_ICollector, [](Collector& c) { c.Stop(); }, true},
        {"ISupportErrorInfo refused", &IID_ICollector, [](Collector& c) { c.Stop(); }, false, true},
        {"nothing left on the thread", &IID_ICollector, [](Collector& c) { c.Stop(); }, false, false, L""},
        {"property, offered", &IID_IProperties, [](Collector& c) { c.GetProperty(L"missing"); }, true},
        {"property, offered for the collector", &IID_ICollector, [](Collector& c) { c.SetProperty(L"x", {}); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Collector fresh(ECollectorSource::Rest);
        FakeCollector& failing = *served.last.load();
        failing.result = DISP_E_UNKNOWNNAME;
        failing.error_description = row.left;
        if (row.supported)
            failing.support_error_info(*row.supported);
        if (row.refuses_support)
            failing.refuse(IID_ISupportErrorInfo);
        try {
            row.operation(fresh);
            ADD_FAILURE() << "nothing was thrown";
        } catch (const CHResultException& e) {
            EXPECT_EQ(e.get_hresult(), DISP_E_UNKNOWNNAME);
            EXPECT_EQ(e.error_info() != nullptr, row.informed);
            if (row.informed) {
                const _com_error* com_error = boost::get_error_info<com_error_info>(e);
                ASSERT_NE(com_error, nullptr);
                EXPECT_EQ(com_error->Error(), DISP_E_UNKNOWNNAME);
                EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(com_error->Description())), L"not allowed");
            }
        }
        SetErrorInfo(0, nullptr);
    }
}

// An object that answers IProperties with success but no pointer.
class NullPropertiesCollector : public FakeCollector {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return IsEqualIID(iid, IID_IProperties) ? (*out = nullptr, S_OK) : FakeCollector::QueryInterface(iid, out);
    }
};

// A refused IProperties is judged at the caller's site, as the collection's tests pin.
TEST_F(OneCollector, PropertiesAnsweredAsNullRaiseEPointer)
{
    fake::ServedClass served(CLSID_MetricsCollector, [] { return fake::make<NullPropertiesCollector>()->unknown(); });
    Collector nulled(ECollectorSource::Metrics);
    EXPECT_EQ(refusal_of([&] { nulled.GetProperty(L"x"); }).hresult, E_POINTER);
}

TEST_F(CollectorTest, CopiesShareOneComponentObjectThatShutsDownWithTheLastHandle)
{
    ServedCollector served{CLSID_CirrusCollector};
    auto first = std::make_unique<Collector>(ECollectorSource::Cirrus);
    FakeCollector& component = *served.last.load();
    component.AddRef(); // observe it after the library lets go
    {
        Collector copy = *first;
        copy.Start();
        first.reset();
        EXPECT_EQ(component.calls["Shutdown"], 0);
    }
    EXPECT_EQ(component.calls["Shutdown"], 1);
    EXPECT_EQ(component.calls["Start"], 1);
    EXPECT_EQ(served.instances_created(), 1);
    EXPECT_EQ(component.Release(), 0u);
}

} // namespace
} // namespace shell_test
