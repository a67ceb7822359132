// The shared base of every object of the component: the live-object count, failures reported as an
// HRESULT with error information, scripted failures, and the creation of objects.
#pragma once

#include <collector/interfaces.h>
#include <collector/reference.h>

#include <atlbase.h>
#include <atlcom.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>

namespace collector::reference::detail {

using namespace Ostra_Lux_Collector_Interfaces;
using ATL::CComMultiThreadModel;
using ATL::CComObject;
using ATL::CComObjectRootEx;
using ATL::CComPtr;
using ATL::CComQIPtr;

// Counts the component's objects alive; every COM class of the component derives from it.
class counted_t {
public:
    counted_t() noexcept { count().fetch_add(1, std::memory_order_relaxed); }
    counted_t(const counted_t&) = delete;
    counted_t& operator=(const counted_t&) = delete;
    ~counted_t() { count().fetch_sub(1, std::memory_order_relaxed); }

    static std::atomic<long>& count() noexcept;
};

// A failure inside an operation: thrown by the operation's body, turned into its HRESULT and error
// information by `guarded`.
struct failure_t {
    HRESULT hr;
    std::wstring description;
};

[[noreturn]] void fail(HRESULT hr, std::wstring description);

// Sets the thread's error information (source, interface id, description) and returns hr.
HRESULT report(HRESULT hr, REFIID iid, std::wstring_view description) noexcept;

// Scripted failures: the n-th call of a named operation fails with a chosen HRESULT and description.
// One table serves the process, whose objects do not know their registration: every call counts, but
// each failure belongs to the registration that armed it (its owner) and goes when that one ends.
class faults_t {
public:
    void arm(const void* owner, std::wstring operation, unsigned occurrence, HRESULT hr, std::wstring description);
    // Counts one call of operation; throws the failure armed for this call, if any.
    void check(std::wstring_view operation);
    // Disarms the failures of one owner (when its registration ends).
    void clear(const void* owner);

private:
    struct armed_t {
        const void* owner;
        unsigned remaining;
        failure_t failure;
    };
    std::mutex mutex_;
    std::multimap<std::wstring, armed_t, std::less<>> armed_;
};

faults_t& faults() noexcept;

// Runs one operation of a COM interface: a scripted failure first, then the body; whatever the body
// throws becomes the returned HRESULT with error information for iid. Nothing crosses the boundary.
template <class Body>
HRESULT guarded(const wchar_t* operation, REFIID iid, Body&& body) noexcept
{
    try {
        faults().check(operation);
        return body();
    } catch (const failure_t& failure) {
        return report(failure.hr, iid, failure.description);
    } catch (const std::bad_alloc&) {
        return report(E_OUTOFMEMORY, iid, L"Out of memory");
    } catch (const ATL::CAtlException& error) {
        return report(error.m_hr, iid, L"ATL failure");
    } catch (const _com_error& error) {
        return report(error.Error(), iid, error.Description().length() ? std::wstring(error.Description())
                                                                          : std::wstring(L"COM error"));
    } catch (...) {
        return report(E_UNEXPECTED, iid, L"Unexpected failure");
    }
}

// Throws E_POINTER for a null out-pointer.
template <class T>
void require_out(T* out)
{
    if (!out)
        fail(E_POINTER, L"Null out-pointer");
}

// The base of every COM class of the component: multi-threaded, counted, and answering
// ISupportErrorInfo for every interface it offers (list ISupportErrorInfo in the class's map).
class ATL_NO_VTABLE object_t : public CComObjectRootEx<CComMultiThreadModel>, public ISupportErrorInfo, counted_t {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override
    {
        CComPtr<IUnknown> answered;
        return SUCCEEDED(QueryInterface(iid, reinterpret_cast<void**>(&answered))) ? S_OK : S_FALSE;
    }
};

// A new object, holding one reference until it is handed on as any of its interfaces.
template <class T>
class made_t {
public:
    explicit made_t(CComObject<T>* object) noexcept : object_(object) {}

    // The object as interface I, without a reference of its own (a CComPtr built from it takes one).
    template <class I>
    operator I*() const noexcept
    {
        if constexpr (std::is_same_v<I, IUnknown>)
            return object_->GetUnknown();
        else
            return static_cast<I*>(object_.p);
    }
    CComObject<T>* operator->() const noexcept { return object_.p; }
    // The reference, to an out-pointer.
    CComObject<T>* Detach() noexcept { return object_.Detach(); }

private:
    CComPtr<CComObject<T>> object_;
};

// A new object of class T, after T::init(args...) ran.
template <class T, class... Args>
made_t<T> make(Args&&... args)
{
    CComObject<T>* raw = nullptr;
    const HRESULT hr = CComObject<T>::CreateInstance(&raw);
    if (FAILED(hr))
        fail(hr, L"Unable to create an object");
    made_t<T> object(raw);
    object->init(std::forward<Args>(args)...);
    return object;
}

// Writes a plain value to an out-parameter.
template <class T, class V>
HRESULT give(T* out, V&& value)
{
    require_out(out);
    *out = std::forward<V>(value);
    return S_OK;
}

// Hands an object to an out-pointer as interface I, with the caller's reference.
template <class I, class T>
HRESULT hand_out(const CComPtr<T>& object, I** out)
{
    require_out(out);
    *out = nullptr;
    if (!object)
        return S_OK;
    return object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(out));
}

// A BSTR copy of text for an out-parameter.
HRESULT copy_text(std::wstring_view text, BSTR* out);

} // namespace collector::reference::detail
