// The COM runtime: apartments, the class registry, activation and task memory.
#include "support/fake_class_factory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// Plain constants: without INITGUID, the Windows headers' DEFINE_GUID only declares.
const CLSID CLSID_Widget = {0x1A2B3C4D, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};
const CLSID CLSID_Gadget = {0x1A2B3C4D, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0B}};

IUnknown* new_widget() { return fake::make<fake::Unknown>("widget")->unknown(); }

fake::Held<fake::FakeClassFactory> widget_factory(std::string name = "widget factory")
{
    return fake::hold<fake::FakeClassFactory>(std::move(name), new_widget);
}

HRESULT register_class(IUnknown* factory, DWORD* cookie, REFCLSID clsid = CLSID_Widget)
{
    return CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, cookie);
}

// Creates an instance and lets it go; the HRESULT of the creation, which must leave NULL when it fails.
HRESULT try_create(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER, REFIID iid = IID_IUnknown)
{
    void* object = reinterpret_cast<void*>(1);
    const HRESULT hr = CoCreateInstance(clsid, nullptr, context, iid, &object);
    if (SUCCEEDED(hr))
        static_cast<IUnknown*>(object)->Release();
    else
        EXPECT_EQ(object, nullptr) << "a failed creation must leave *ppv NULL";
    return hr;
}

} // namespace

TEST(CoInitializeEx, CountsInitialisationsOfOneModel)
{
    std::thread([] { // starts outside any apartment
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE); // one still open
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_OK);
        CoUninitialize();
    }).join();
}

TEST(CoCreateInstance, NeedsAnApartmentOrTheProcessMultithreadedOne)
{
    std::thread([] {
        EXPECT_EQ(try_create(CLSID_Widget), CO_E_NOTINITIALIZED);
        auto factory = widget_factory();
        DWORD cookie = 0;
        EXPECT_EQ(register_class(factory.get(), &cookie), CO_E_NOTINITIALIZED); // and holds nothing (the ledger)
    }).join();
    fake::Apartment multithreaded(COINIT_MULTITHREADED);
    fake::ServedClass served(CLSID_Widget, new_widget);
    // A thread that never initialised COM belongs to the multithreaded apartment while it exists.
    std::thread([] { EXPECT_EQ(try_create(CLSID_Widget), S_OK); }).join();
    EXPECT_EQ(served.factory().instances_created(), 1);
}

TEST(CoCreateInstance, FindsOnlyClassesRegisteredForARequestedContext)
{
    fake::Apartment apartment;
    // Context and flags registered, context requested, result.
    const std::tuple<DWORD, DWORD, DWORD, HRESULT> cases[] = {
        {CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
        {CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, CLSCTX_LOCAL_SERVER, S_OK},
        {CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        // A multiple-use local server is an in-process server as well.
        {CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, CLSCTX_INPROC_SERVER, S_OK},
    };
    for (const auto& [registered, flags, requested, expected] : cases) {
        auto factory = widget_factory();
        fake::ClassRegistration registration(CLSID_Widget, factory.get(), registered, flags);
        EXPECT_EQ(try_create(CLSID_Widget, requested), expected)
            << "registered " << registered << " flags " << flags << " requested " << requested;
    }
}

TEST(CoRegisterClassObject, HoldsTheFactoryUntilItsCookieIsRevokedOnce)
{
    fake::Apartment apartment;
    auto widgets = widget_factory("widgets");
    auto gadgets = widget_factory("gadgets");
    DWORD widget_cookie = 0, gadget_cookie = 0;
    ASSERT_EQ(register_class(widgets.get(), &widget_cookie), S_OK);
    ASSERT_EQ(register_class(gadgets.get(), &gadget_cookie, CLSID_Gadget), S_OK);
    EXPECT_NE(widget_cookie, gadget_cookie);
    EXPECT_EQ(widgets->references(), 2u);
    EXPECT_EQ(CoRevokeClassObject(gadget_cookie), S_OK);
    EXPECT_EQ(gadgets->references(), 1u);
    EXPECT_EQ(CoRevokeClassObject(gadget_cookie), E_INVALIDARG);
    EXPECT_EQ(try_create(CLSID_Gadget), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(try_create(CLSID_Widget), S_OK); // registrations are independent: the other still serves
    EXPECT_EQ(CoRevokeClassObject(widget_cookie), S_OK);
}

TEST(CoRegisterClassObject, KeepsTheClassObjectAlreadyServingAContext)
{
    fake::Apartment apartment;
    auto serving = widget_factory("serving");
    fake::ClassRegistration registration(CLSID_Widget, serving.get());
    auto late = widget_factory("late");
    const std::pair<DWORD, HRESULT> cases[] = {
        {REGCLS_MULTIPLEUSE, S_OK}, {REGCLS_SINGLEUSE, CO_E_OBJISREG}, {REGCLS_MULTI_SEPARATE, CO_E_OBJISREG}};
    for (const auto& [flags, expected] : cases) {
        DWORD cookie = 99;
        EXPECT_EQ(CoRegisterClassObject(CLSID_Widget, late.get(), CLSCTX_INPROC_SERVER, flags, &cookie), expected)
            << "flags " << flags;
        EXPECT_EQ(cookie, 0u) << "flags " << flags;
        EXPECT_EQ(late->references(), 1u) << "flags " << flags;
    }
    DWORD untouched = 99;
    EXPECT_EQ(CoRegisterClassObject(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &untouched),
              E_INVALIDARG);
    EXPECT_EQ(untouched, 99u);
    // Another context is another registration.
    fake::ClassRegistration local(CLSID_Widget, late.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE);
    EXPECT_NE(local.cookie(), 0u);
    EXPECT_EQ(late->references(), 2u);
}

TEST(CoRegisterClassObject, RegistrationsBelongToTheirApartment)
{
    auto factory = widget_factory();
    DWORD cookie = 0;
    // Promises rather than std::atomic waits: mingw's libstdc++ 12 can lose an atomic's wake-up.
    std::promise<void> registered, tried;
    std::thread owner([&, done = tried.get_future()] {
        CoInitialize(nullptr);
        register_class(factory.get(), &cookie);
        registered.set_value();
        done.wait();
        CoUninitialize(); // closes the apartment, and revokes what it registered
    });
    registered.get_future().wait();
    {
        fake::Apartment other(COINIT_APARTMENTTHREADED);
        EXPECT_EQ(try_create(CLSID_Widget), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoRevokeClassObject(cookie), RPC_E_WRONG_THREAD);
    }
    tried.set_value();
    owner.join(); // the ledger sees the factory released with the apartment
}

TEST(CoCreateInstance, CallsFactoriesOutsideTheRegistryLockAndLeavesNullOnFailure)
{
    fake::Apartment apartment;
    // The gadget's factory registers and creates another class while it runs.
    fake::ServedClass gadgets(CLSID_Gadget, [] {
        auto nested = widget_factory("nested");
        fake::ClassRegistration registration(CLSID_Widget, nested.get());
        IUnknown* widget = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&widget)),
                  S_OK);
        return widget;
    });
    EXPECT_EQ(try_create(CLSID_Gadget), S_OK);
    EXPECT_EQ(try_create(CLSID_Gadget, CLSCTX_INPROC_SERVER, IID_IDispatch), E_NOINTERFACE);
    fake::ServedClass failing(CLSID_Widget, [] { return static_cast<IUnknown*>(nullptr); });
    EXPECT_EQ(try_create(CLSID_Widget), E_OUTOFMEMORY);
}

TEST(CoCreateInstance, IsSafeFromManyThreads)
{
    fake::Apartment apartment;
    auto factory = widget_factory();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (BYTE t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            fake::Apartment own(COINIT_MULTITHREADED);
            CLSID own_class = CLSID_Widget;
            own_class.Data4[0] = t;
            for (int i = 0; i < 100; ++i) {
                DWORD cookie = 0;
                if (FAILED(register_class(factory.get(), &cookie, own_class)) || FAILED(try_create(own_class)) ||
                    FAILED(CoRevokeClassObject(cookie)))
                    ++failures;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(factory->instances_created(), 400);
}
