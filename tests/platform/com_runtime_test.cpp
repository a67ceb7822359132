// The COM runtime: apartments, the class registry, activation and task memory.
#include "platform/core_fakes.h"
#include "support/fake_class_factory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using core_test::Unknown;

namespace {

DEFINE_GUID(CLSID_Widget, 0x1A2B3C4D, 0x0001, 0x0002, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A);
DEFINE_GUID(CLSID_Gadget, 0x1A2B3C4D, 0x0001, 0x0002, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0B);

fake::Held<fake::FakeClassFactory> widget_factory(std::string name = "widget factory")
{
    return fake::hold<fake::FakeClassFactory>(std::move(name), [] { return fake::make<Unknown>("widget")->unknown(); });
}

HRESULT register_widget(IUnknown* factory, DWORD* cookie)
{
    return CoRegisterClassObject(CLSID_Widget, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, cookie);
}

HRESULT create(REFCLSID clsid, DWORD context, IUnknown** out)
{
    return CoCreateInstance(clsid, nullptr, context, IID_IUnknown, reinterpret_cast<void**>(out));
}

// Creates a widget and lets it go; the HRESULT of the creation.
HRESULT try_create(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER)
{
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    const HRESULT hr = create(clsid, context, &object);
    if (SUCCEEDED(hr))
        object->Release();
    else
        EXPECT_EQ(object, nullptr) << "a failed creation must leave *ppv NULL";
    return hr;
}

// Runs `body` on a thread of its own, so that it starts outside any apartment.
template <typename Body>
void on_new_thread(Body body)
{
    std::thread(body).join();
}

} // namespace

TEST(CoInitializeEx, CountsInitialisationsOfOneModel)
{
    on_new_thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE); // one still open
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize(); // one too many: ignored
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(CoCreateInstance, NeedsAnApartmentOrTheProcessMultithreadedOne)
{
    on_new_thread([] {
        EXPECT_EQ(try_create(CLSID_Widget), CO_E_NOTINITIALIZED);
        auto factory = widget_factory();
        DWORD cookie = 0;
        EXPECT_EQ(register_widget(factory.get(), &cookie), CO_E_NOTINITIALIZED);
        EXPECT_EQ(factory->references(), 1u);
    });

    fake::Apartment multithreaded(COINIT_MULTITHREADED);
    fake::ServedClass served(CLSID_Widget, [] { return fake::make<Unknown>("widget")->unknown(); });
    // A thread that never initialised COM belongs to the multithreaded apartment while it exists.
    on_new_thread([] { EXPECT_EQ(try_create(CLSID_Widget), S_OK); });
    EXPECT_EQ(served.factory().instances_created(), 1);
}

TEST(CoCreateInstance, FindsOnlyClassesRegisteredForARequestedContext)
{
    fake::Apartment apartment;
    struct Case {
        DWORD registered;
        DWORD flags;
        DWORD requested;
        HRESULT expected;
    };
    const Case cases[] = {
        {CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, CLSCTX_INPROC_SERVER, S_OK},
        {CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, CLSCTX_ALL, S_OK},
        {CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
        {CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, CLSCTX_LOCAL_SERVER, S_OK},
        {CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        // A multiple-use local server is an in-process server as well.
        {CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, CLSCTX_INPROC_SERVER, S_OK},
        {CLSCTX_INPROC_HANDLER, REGCLS_MULTIPLEUSE, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : cases) {
        auto factory = widget_factory();
        fake::ClassRegistration registration(CLSID_Widget, factory.get(), c.registered, c.flags);
        EXPECT_EQ(try_create(CLSID_Widget, c.requested), c.expected)
            << "registered " << c.registered << " flags " << c.flags << " requested " << c.requested;
        EXPECT_EQ(try_create(CLSID_Gadget, CLSCTX_ALL), REGDB_E_CLASSNOTREG);
    }
}

TEST(CoRegisterClassObject, HoldsTheFactoryUntilTheCookieIsRevokedOnce)
{
    fake::Apartment apartment;
    auto older = widget_factory("older");
    auto newer = widget_factory("newer");
    DWORD first = 0, second = 0;
    ASSERT_EQ(register_widget(older.get(), &first), S_OK);
    EXPECT_EQ(older->references(), 2u);
    ASSERT_EQ(register_widget(newer.get(), &second), S_OK);
    EXPECT_NE(first, second);

    EXPECT_EQ(try_create(CLSID_Widget), S_OK);
    EXPECT_EQ(CoRevokeClassObject(second), S_OK);
    EXPECT_EQ(newer->references(), 1u);
    EXPECT_EQ(CoRevokeClassObject(second), E_INVALIDARG);
    // Registrations are independent: the other one still serves.
    EXPECT_EQ(try_create(CLSID_Widget), S_OK);
    EXPECT_EQ(older->instances_created() + newer->instances_created(), 2);

    EXPECT_EQ(CoRevokeClassObject(first), S_OK);
    EXPECT_EQ(older->references(), 1u);
    EXPECT_EQ(try_create(CLSID_Widget), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRevokeClassObject(0xDEAD), E_INVALIDARG);
}

TEST(CoRegisterClassObject, SingleUseClassObjectsServeOneConnection)
{
    fake::Apartment apartment;
    auto factory = widget_factory();
    fake::ClassRegistration registration(CLSID_Widget, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE);
    EXPECT_EQ(try_create(CLSID_Widget, CLSCTX_LOCAL_SERVER), S_OK);
    EXPECT_EQ(try_create(CLSID_Widget, CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(factory->instances_created(), 1);
}

TEST(CoRegisterClassObject, RegistrationsBelongToTheirApartment)
{
    auto factory = widget_factory();
    DWORD cookie = 0;
    std::atomic<bool> registered{false}, revoked_elsewhere{false};
    HRESULT revoke_from_other_thread = S_OK;
    std::thread owner([&] {
        CoInitialize(nullptr);
        register_widget(factory.get(), &cookie);
        registered = true;
        registered.notify_one();
        revoked_elsewhere.wait(false);
        CoUninitialize(); // closes the apartment, and revokes what it registered
    });
    registered.wait(false);
    {
        fake::Apartment other(COINIT_APARTMENTTHREADED);
        EXPECT_EQ(try_create(CLSID_Widget), S_OK); // visible from every apartment
        revoke_from_other_thread = CoRevokeClassObject(cookie);
    }
    revoked_elsewhere = true;
    revoked_elsewhere.notify_one();
    owner.join();
    EXPECT_EQ(revoke_from_other_thread, RPC_E_WRONG_THREAD);
    EXPECT_EQ(factory->references(), 1u);
    fake::Apartment apartment;
    EXPECT_EQ(try_create(CLSID_Widget), REGDB_E_CLASSNOTREG);
}

TEST(CoCreateInstance, LeavesNullBehindOnEveryFailure)
{
    fake::Apartment apartment;
    fake::ServedClass failing(CLSID_Widget, [] { return static_cast<IUnknown*>(nullptr); });
    EXPECT_EQ(try_create(CLSID_Widget), E_OUTOFMEMORY);

    fake::ServedClass served(CLSID_Gadget, [] { return fake::make<Unknown>("gadget")->unknown(); });
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_Gadget, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoGetClassObject(CLSID_Gadget, CLSCTX_INPROC_SERVER, nullptr, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_Gadget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
}

TEST(CoCreateInstance, CallsTheFactoryWithoutHoldingTheRegistry)
{
    fake::Apartment apartment;
    // The gadget's factory registers and creates other classes while it runs.
    fake::ServedClass widgets(CLSID_Widget, [] { return fake::make<Unknown>("widget")->unknown(); });
    fake::ServedClass gadgets(CLSID_Gadget, [] {
        auto nested = widget_factory("nested");
        fake::ClassRegistration registration(CLSID_Widget, nested.get());
        IUnknown* widget = nullptr;
        EXPECT_EQ(create(CLSID_Widget, CLSCTX_INPROC_SERVER, &widget), S_OK);
        return widget;
    });
    EXPECT_EQ(try_create(CLSID_Gadget), S_OK);
}

TEST(CoCreateInstance, IsSafeFromManyThreads)
{
    fake::Apartment apartment;
    auto factory = widget_factory();
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            fake::Apartment own(COINIT_MULTITHREADED);
            CLSID own_class = CLSID_Widget;
            own_class.Data4[0] = static_cast<BYTE>(t);
            for (int i = 0; i < 100; ++i) {
                DWORD cookie = 0;
                if (FAILED(CoRegisterClassObject(own_class, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                                 &cookie)) ||
                    FAILED(try_create(own_class)) || FAILED(CoRevokeClassObject(cookie)))
                    ++failures;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(factory->instances_created(), 400);
    EXPECT_EQ(factory->references(), 1u);
}

TEST(CoTaskMem, AllocatesReallocatesAndFrees)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(4));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char*>(CoTaskMemRealloc(block, 1000));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "abc");
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr); // frees it
    void* fresh = CoTaskMemRealloc(nullptr, 8);
    EXPECT_NE(fresh, nullptr);
    CoTaskMemFree(fresh);
    CoTaskMemFree(nullptr);
}

TEST(OleRun, RunsAnyObjectAndRefusesNone)
{
    auto object = fake::hold<Unknown>("object");
    EXPECT_EQ(OleRun(object.get()), S_OK);
    EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
}
