// A class factory that serves fakes, and the registration of a class with CoRegisterClassObject for
// the length of a scope: how tests put a fake component class where CoCreateInstance finds it.
//
//     fake::ServedClass served(CLSID_Thing, [] { return fake::make<FakeThing>("thing")->unknown(); });
//     ... CoCreateInstance(CLSID_Thing, nullptr, CLSCTX_INPROC_SERVER, IID_IThing, &p) ...
//
// COM must be initialised on the thread (fake::Apartment) while a class is registered.
#pragma once

#include "support/fake_com.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace fake {

// CoInitializeEx for the life of a scope.
class Apartment {
public:
    explicit Apartment(DWORD model = COINIT_MULTITHREADED) : result_(CoInitializeEx(nullptr, model))
    {
        if (FAILED(result_))
            throw std::runtime_error("CoInitializeEx failed: " + testing::PrintToString(result_));
    }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

private:
    HRESULT result_;
};

class FakeClassFactory : public Fake<IClassFactory> {
public:
    // `make` returns a new object holding one reference, or null to script E_OUTOFMEMORY.
    using Maker = std::function<IUnknown*()>;

    FakeClassFactory(std::string name, Maker make) : Fake(std::move(name)), make_(std::move(make)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        IUnknown* object = make_();
        if (object == nullptr)
            return E_OUTOFMEMORY;
        ++created_;
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    int instances_created() const noexcept { return created_.load(); }

private:
    Maker make_;
    std::atomic<int> created_{0};
};

// CoRegisterClassObject on construction (throws when it fails), CoRevokeClassObject on destruction.
class ClassRegistration {
public:
    ClassRegistration(REFCLSID clsid, IUnknown* factory, DWORD context = CLSCTX_INPROC_SERVER,
                      DWORD flags = REGCLS_MULTIPLEUSE)
    {
        const HRESULT result = CoRegisterClassObject(clsid, factory, context, flags, &cookie_);
        if (FAILED(result))
            throw std::runtime_error("CoRegisterClassObject failed: " + testing::PrintToString(result));
    }
    ~ClassRegistration()
    {
        if (cookie_ != 0) {
            EXPECT_EQ(CoRevokeClassObject(cookie_), S_OK);
        }
    }
    ClassRegistration(ClassRegistration&& other) noexcept : cookie_(std::exchange(other.cookie_, 0)) {}
    ClassRegistration& operator=(ClassRegistration&&) = delete;

    DWORD cookie() const noexcept { return cookie_; }

private:
    DWORD cookie_ = 0;
};

// A fake factory registered for `clsid` while this lives.
class ServedClass {
public:
    ServedClass(REFCLSID clsid, FakeClassFactory::Maker make, DWORD context = CLSCTX_INPROC_SERVER,
                std::string name = "FakeClassFactory")
        : factory_(hold<FakeClassFactory>(std::move(name), std::move(make))),
          registration_(clsid, factory_->unknown(), context)
    {
    }

    FakeClassFactory& factory() const noexcept { return *factory_; }

private:
    Held<FakeClassFactory> factory_;
    ClassRegistration registration_;
};

} // namespace fake
