// The COM runtime of a single process: apartments, the class-object registry, activation, task memory.
//
// Apartments are bookkeeping only: every object is in process, so nothing is marshalled. A thread is in
// a single-threaded apartment of its own (COINIT_APARTMENTTHREADED) or in the process's multithreaded
// apartment; a thread that never initialised COM still belongs to the multithreaded apartment while it
// exists, as on Windows. Class objects belong to the apartment that registered them: only its threads
// find them, they are revoked when it closes, and only a thread of that apartment may revoke them.
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace {

using ApartmentId = std::uint64_t;

// What CoInitializeEx recorded for the calling thread.
struct ThreadApartment {
    ULONG initialisations = 0;
    bool multithreaded = false;
    ApartmentId single_threaded_id = 0;
};
thread_local ThreadApartment this_thread;

// One CoRegisterClassObject. It owns one reference to the class object; the reference is released when
// the last lookup that copied the registration lets go of it, never under the registry's lock.
struct Registration {
    Registration(const CLSID& clsid, IUnknown* object, DWORD contexts, DWORD cookie, ApartmentId apartment)
        : clsid(clsid), object(object), contexts(contexts), cookie(cookie), apartment(apartment)
    {
        object->AddRef();
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration() { object->Release(); }

    CLSID clsid;
    IUnknown* object;
    DWORD contexts;
    DWORD cookie;
    ApartmentId apartment;
};
using RegistrationPtr = std::shared_ptr<Registration>;

// Contexts as the registry matches them: a multiple-use local server is an in-process server as well.
DWORD effective_contexts(DWORD contexts, DWORD flags)
{
    if (flags == REGCLS_MULTIPLEUSE && (contexts & CLSCTX_LOCAL_SERVER))
        contexts |= CLSCTX_INPROC_SERVER;
    return contexts;
}

class Runtime {
public:
    HRESULT initialise(bool multithreaded)
    {
        if (this_thread.initialisations > 0) {
            if (this_thread.multithreaded != multithreaded)
                return RPC_E_CHANGED_MODE;
            ++this_thread.initialisations;
            return S_FALSE;
        }
        std::lock_guard lock(mutex_);
        if (multithreaded && mta_threads_++ == 0)
            mta_id_ = next_apartment_id_++;
        this_thread.multithreaded = multithreaded;
        this_thread.single_threaded_id = multithreaded ? 0 : next_apartment_id_++;
        this_thread.initialisations = 1;
        return S_OK;
    }

    void uninitialise()
    {
        if (this_thread.initialisations == 0 || --this_thread.initialisations > 0)
            return;
        std::vector<RegistrationPtr> closed;
        {
            std::lock_guard lock(mutex_);
            std::optional<ApartmentId> closing;
            if (!this_thread.multithreaded)
                closing = this_thread.single_threaded_id;
            else if (--mta_threads_ == 0)
                closing = mta_id_;
            if (closing)
                closed = remove_if([&](const Registration& r) { return r.apartment == *closing; });
        }
        // `closed` goes out of scope here, outside the lock: the class objects are released now.
    }

    HRESULT register_class(const CLSID& clsid, IUnknown* object, DWORD contexts, DWORD flags, DWORD* cookie)
    {
        std::lock_guard lock(mutex_);
        const std::optional<ApartmentId> apartment = current_apartment();
        if (!apartment)
            return CO_E_NOTINITIALIZED;
        // The class object already serving one of these contexts stays: a further multiple-use
        // registration is taken as done, without a cookie or a reference; any other is refused.
        if (lookup(clsid, contexts, *apartment))
            return flags == REGCLS_MULTIPLEUSE ? S_OK : CO_E_OBJISREG;
        const DWORD assigned = next_cookie_++;
        registrations_.push_back(std::make_shared<Registration>(
            clsid, object, effective_contexts(contexts, flags), assigned, *apartment));
        *cookie = assigned;
        return S_OK;
    }

    HRESULT revoke(DWORD cookie)
    {
        RegistrationPtr revoked;
        std::lock_guard lock(mutex_);
        const std::optional<ApartmentId> apartment = current_apartment();
        if (!apartment)
            return CO_E_NOTINITIALIZED;
        const auto found = std::find_if(registrations_.begin(), registrations_.end(),
                                        [&](const RegistrationPtr& r) { return r->cookie == cookie; });
        if (found == registrations_.end())
            return E_INVALIDARG;
        if ((*found)->apartment != *apartment)
            return RPC_E_WRONG_THREAD;
        revoked = std::move(*found);
        registrations_.erase(found);
        // The lock is released before `revoked`, declared first, lets go of the class object.
        return S_OK;
    }

    // The class object that the caller's apartment registered for `clsid` in one of `contexts`.
    HRESULT find(const CLSID& clsid, DWORD contexts, RegistrationPtr& found)
    {
        std::lock_guard lock(mutex_);
        const std::optional<ApartmentId> apartment = current_apartment();
        if (!apartment)
            return CO_E_NOTINITIALIZED;
        found = lookup(clsid, contexts, *apartment);
        return found ? S_OK : REGDB_E_CLASSNOTREG;
    }

private:
    RegistrationPtr lookup(const CLSID& clsid, DWORD contexts, ApartmentId apartment) const
    {
        const auto found = std::find_if(registrations_.begin(), registrations_.end(), [&](const RegistrationPtr& r) {
            return r->clsid == clsid && (r->contexts & contexts) && r->apartment == apartment;
        });
        return found == registrations_.end() ? nullptr : *found;
    }

    // The caller's apartment; the multithreaded one for a thread that has none while the process has it.
    std::optional<ApartmentId> current_apartment() const
    {
        if (this_thread.initialisations > 0)
            return this_thread.multithreaded ? mta_id_ : this_thread.single_threaded_id;
        if (mta_threads_ > 0)
            return mta_id_;
        return std::nullopt;
    }

    template <typename Predicate>
    std::vector<RegistrationPtr> remove_if(Predicate matches)
    {
        std::vector<RegistrationPtr> removed;
        std::erase_if(registrations_, [&](RegistrationPtr& r) {
            if (!matches(*r))
                return false;
            removed.push_back(std::move(r));
            return true;
        });
        return removed;
    }

    std::mutex mutex_;
    std::vector<RegistrationPtr> registrations_;
    DWORD next_cookie_ = 1;
    ApartmentId next_apartment_id_ = 1;
    ApartmentId mta_id_ = 0;
    ULONG mta_threads_ = 0;
};

Runtime& runtime()
{
    // Never destroyed: class objects may still be revoked by the destructors of static objects.
    static Runtime* instance = new Runtime;
    return *instance;
}

} // namespace

HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved)
        return E_INVALIDARG;
    return runtime().initialise(!(dwCoInit & COINIT_APARTMENTTHREADED));
}

HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void STDAPICALLTYPE CoUninitialize() { runtime().uninitialise(); }

HRESULT STDAPICALLTYPE CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                                             LPDWORD lpdwRegister)
{
    if (!lpdwRegister || !pUnk)
        return E_INVALIDARG;
    *lpdwRegister = 0;
    return runtime().register_class(rclsid, pUnk, dwClsContext, flags, lpdwRegister);
}

HRESULT STDAPICALLTYPE CoRevokeClassObject(DWORD dwRegister) { return runtime().revoke(dwRegister); }

HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    RegistrationPtr registration;
    HRESULT hr = runtime().find(rclsid, dwClsContext, registration);
    if (SUCCEEDED(hr))
        hr = registration->object->QueryInterface(riid, ppv);
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb); }

LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    // A zero size frees the block, as IMalloc::Realloc documents, which realloc no longer promises.
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb);
}

void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) { std::free(pv); }

HRESULT STDAPICALLTYPE OleRun(LPUNKNOWN pUnknown)
{
    // In-process objects are running from the moment they exist.
    return pUnknown ? S_OK : E_INVALIDARG;
}
