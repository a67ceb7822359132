// A base for fake COM objects: an atomic reference count, a QueryInterface table built from the
// interfaces the fake declares, and registration in the live-object ledger for as long as it lives.
//
//     class FakeEnum : public fake::Fake<IEnumVARIANT> { ... implement the IEnumVARIANT methods ... };
//     auto held = fake::hold<FakeEnum>("rows");       // owns the one reference a new fake has
//     IEnumVARIANT* raw = fake::make<FakeEnum>("rows"); // the same reference, handed to the caller
//
// A fake leaked by a test, or a reference count a test leaves changed, fails that test (see ledger.h).
#pragma once

#include "support/ledger.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace fake {

// Reference count and ledger registration, apart from any interface.
class FakeObject {
public:
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;

    const std::string& name() const noexcept { return name_; }
    ULONG references() const noexcept { return references_.load(); }
    std::uint64_t ledger_id() const noexcept { return id_; }

protected:
    // A new fake holds one reference: its creator's.
    explicit FakeObject(std::string name) : name_(std::move(name)), id_(Ledger::instance().enter(name_, references_)) {}
    virtual ~FakeObject() { Ledger::instance().leave(id_); }

    ULONG add_reference() noexcept { return ++references_; }
    ULONG release_reference() noexcept
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::string name_;
    std::atomic<ULONG> references_{1};
    std::uint64_t id_;
};

// Makes a fake answer ISupportErrorInfo: S_OK for the interface ids given to `support_error_info`.
class SupportsErrorInfo : public ISupportErrorInfo {
public:
    using fake_interface = ISupportErrorInfo;

    void support_error_info(REFIID iid) { supported_.push_back(iid); }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override
    {
        for (const auto& supported : supported_)
            if (IsEqualIID(supported, iid))
                return S_OK;
        return S_FALSE;
    }

private:
    std::vector<IID> supported_;
};

template <class First, class... Others>
class Fake : public First, public Others..., public FakeObject {
public:
    explicit Fake(std::string name) : FakeObject(std::move(name))
    {
        answer(IID_IUnknown, unknown());
        answer_base<First>();
        (answer_base<Others>(), ...);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        for (const auto& [answered, pointer] : table_) {
            if (IsEqualIID(answered, iid)) {
                add_reference();
                *out = pointer;
                return S_OK;
            }
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_reference(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_reference(); }

    // The object's identity, as QueryInterface(IID_IUnknown) answers it.
    IUnknown* unknown() noexcept { return static_cast<IUnknown*>(static_cast<First*>(this)); }

    // Stops answering `iid`, to script E_NOINTERFACE for an interface the fake implements.
    void refuse(REFIID iid) { std::erase_if(table_, [&](const auto& row) { return IsEqualIID(row.first, iid); }); }

protected:
    ~Fake() override = default;

    // Answers `iid` with `pointer`: for an interface that one of the declared ones derives from,
    // e.g. answer(IID_IDispatch, static_cast<IDispatch*>(static_cast<ICollector*>(this))).
    void answer(REFIID iid, void* pointer) { table_.emplace_back(iid, pointer); }

private:
    // A base class of a fake stands for itself, or for the interface that a mixin names.
    template <class Base>
    void answer_base()
    {
        if constexpr (requires { typename Base::fake_interface; }) {
            using Interface = typename Base::fake_interface;
            answer(__uuidof(Interface), static_cast<Interface*>(static_cast<Base*>(this)));
        } else {
            answer(__uuidof(Base), static_cast<Base*>(this));
        }
    }

    std::vector<std::pair<IID, void*>> table_;
};

// An object with its own identity and no interface of interest.
struct Unknown : Fake<IUnknown> {
    explicit Unknown(std::string name = "unknown") : Fake(std::move(name)) {}
};

// A new fake with one reference, which the caller owns.
template <class T, class... Args>
T* make(Args&&... args)
{
    return new T(std::forward<Args>(args)...);
}

// Owns one reference to a fake and gives it back once. If the fake was destroyed meanwhile (someone
// released a reference that was not theirs), it notes the over-release instead of touching freed memory.
template <class T>
class Held {
public:
    Held() = default;
    explicit Held(T* adopted)
        : object_(adopted, {adopted ? adopted->ledger_id() : 0, adopted ? adopted->name() : ""})
    {
    }

    T* get() const noexcept { return object_.get(); }
    T* operator->() const noexcept { return object_.get(); }
    T& operator*() const noexcept { return *object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    void reset() noexcept { object_.reset(); }

private:
    struct Release {
        std::uint64_t id = 0;
        std::string name;
        void operator()(T* object) const noexcept
        {
            if (Ledger::instance().alive(id))
                object->Release();
            else
                Ledger::instance().note("fake '" + name +
                                        "' was destroyed while a holder still owned a reference (over-released)");
        }
    };

    std::unique_ptr<T, Release> object_;
};

template <class T, class... Args>
Held<T> hold(Args&&... args)
{
    return Held<T>(make<T>(std::forward<Args>(args)...));
}

} // namespace fake
