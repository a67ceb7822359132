// The test support itself: what a fake answers, the leak listener's proof that a leaked or
// over-released fake fails its test, and the fake class factory.
#include "support/fake_class_factory.h"
#include "support/fake_com.h"
#include "support/leak_listener.h"

#include <olectl.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

using testing::HasSubstr;

namespace {

class FakeEnum : public fake::Fake<IEnumVARIANT, fake::SupportsErrorInfo> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }
};

std::optional<ULONG> ledger_count(const std::string& name)
{
    const auto entries = fake::Ledger::instance().snapshot();
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.name == name; });
    return found == entries.end() ? std::nullopt : std::optional<ULONG>(found->references);
}

// The failures that `check` reports, caught instead of failing the running test.
template <class Check>
std::vector<std::string> failures_of(Check check)
{
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        check();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.emplace_back(results.GetTestPartResult(i).message());
    return messages;
}

} // namespace

TEST(FakeQueryInterface, AnswersExactlyTheDeclaredInterfacesWithOneIdentity)
{
    auto object = fake::hold<FakeEnum>("enum");
    struct Row {
        const IID* iid;
        bool answered;
    };
    const Row rows[] = {{&IID_IUnknown, true},   {&IID_IEnumVARIANT, true},     {&IID_ISupportErrorInfo, true},
                        {&IID_IDispatch, false}, {&IID_IConnectionPoint, false}, {&IID_IClassFactory, false}};
    for (const auto& row : rows) {
        void* out = object.get();
        const HRESULT result = object->QueryInterface(*row.iid, &out);
        EXPECT_EQ(result, row.answered ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(out != nullptr, row.answered) << "the out-pointer is null exactly on failure";
        if (out == nullptr)
            continue;
        IUnknown* identity = nullptr;
        ASSERT_EQ(static_cast<IUnknown*>(out)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        EXPECT_EQ(identity, object->unknown());
        EXPECT_EQ(object->references(), 3u);
        identity->Release();
        static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    object->refuse(IID_IEnumVARIANT);
    void* out = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IEnumVARIANT, &out), E_NOINTERFACE);
    EXPECT_EQ(object->references(), 1u);
}

TEST(LeakListener, FailsTheTestThatLeaksAFakeNamingItAndThenForgetsIt)
{
    fake::LeakListener listener;
    const auto& test = *testing::UnitTest::GetInstance()->current_test_info();
    listener.OnTestStart(test);
    IEnumVARIANT* leaked = fake::make<FakeEnum>("leaked-on-purpose");
    leaked->AddRef();

    const auto failures = failures_of([&] { listener.OnTestEnd(test); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0], HasSubstr("fake 'leaked-on-purpose' is still alive with 2 reference(s)"));

    // Reported once: the next scope does not inherit the leak.
    listener.OnTestStart(test);
    EXPECT_THAT(failures_of([&] { listener.OnTestEnd(test); }), testing::IsEmpty());
    EXPECT_EQ(ledger_count("leaked-on-purpose"), std::nullopt);
    leaked->Release();
    leaked->Release();
}

TEST(LeakListener, ReportsAReferenceLeftOnAFakeOlderThanTheTest)
{
    auto suite_object = fake::hold<FakeEnum>("suite-object");
    const auto baseline = fake::Ledger::instance().snapshot();
    suite_object->AddRef();

    const auto failures = failures_of([&] { fake::check_ledger_since(baseline); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0], HasSubstr("fake 'suite-object' reference count changed from 1 to 2"));
    suite_object->Release();
    EXPECT_THAT(failures_of([&] { fake::check_ledger_since(baseline); }), testing::IsEmpty());
}

TEST(LeakListener, ReportsAHolderWhoseFakeWasReleasedByAnother)
{
    const auto baseline = fake::Ledger::instance().snapshot();
    {
        auto held = fake::hold<FakeEnum>("over-released");
        held->Release(); // somebody else's extra Release destroys it under the holder
    }
    const auto failures = failures_of([&] { fake::check_ledger_since(baseline); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0], HasSubstr("fake 'over-released' was destroyed while a holder still owned a reference"));
}

TEST(FakeClassFactory, ServesTheInterfaceAskedForAndRefusesAggregation)
{
    auto factory = fake::hold<fake::FakeClassFactory>("factory", [] { return fake::make<FakeEnum>("served")->unknown(); });

    IEnumVARIANT* served = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IEnumVARIANT, reinterpret_cast<void**>(&served)), S_OK);
    EXPECT_EQ(ledger_count("served"), 1u) << "the factory keeps no reference of its own";
    served->Release();

    void* out = factory.get();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ledger_count("served"), std::nullopt) << "an object that lacks the interface is released";

    EXPECT_EQ(factory->CreateInstance(factory->unknown(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->instances_created(), 2);

    auto failing = fake::hold<fake::FakeClassFactory>("failing", [] { return nullptr; });
    EXPECT_EQ(failing->CreateInstance(nullptr, IID_IUnknown, &out), E_OUTOFMEMORY);
}

TEST(ServedClass, ReachesCoCreateInstanceUntilTheRegistrationEnds)
{
    // {C0FFEE00-0000-4000-8000-00000000FA4E}: a class id no real component uses.
    constexpr CLSID clsid = {0xC0FFEE00, 0x0000, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x4E}};
    const fake::Apartment apartment;
    IEnumVARIANT* created = nullptr;
    {
        const fake::ServedClass served(clsid, [] { return fake::make<FakeEnum>("created")->unknown(); });
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IEnumVARIANT,
                                   reinterpret_cast<void**>(&created)),
                  S_OK);
        EXPECT_EQ(served.factory().instances_created(), 1);
        EXPECT_EQ(ledger_count("created"), 1u);
    }
    created->Release();
    void* none = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &none), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(none, nullptr);
}
