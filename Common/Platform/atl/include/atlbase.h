// The ATL subset: thread models, critical sections and the client types of <atlcomcli.h>.
//
// This project's own, written for the compilers that have no ATL (GCC on Linux with the portable
// layer, mingw-w64 for Windows). Reference counts are atomic in the multi-threaded models; critical
// sections are recursive, as Windows critical sections are.
//
// Objects default to the multi-threaded model (CComObjectThreadModel); define _ATL_SINGLE_THREADED or
// _ATL_APARTMENT_THREADED for the single-threaded one. Define _ATL_NO_AUTOMATIC_NAMESPACE to keep the
// names in namespace ATL only.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <atlexcept.h>
#include <atlcomcli.h>

#include <atomic>
#include <mutex>

namespace ATL {

class CComCriticalSection {
public:
    HRESULT Lock()
    {
        m_sec.lock();
        return S_OK;
    }
    HRESULT Unlock() noexcept
    {
        m_sec.unlock();
        return S_OK;
    }
    // The section is ready on construction; Init and Term exist for code written against ATL.
    HRESULT Init() noexcept { return S_OK; }
    HRESULT Term() noexcept { return S_OK; }

private:
    std::recursive_mutex m_sec;
};

class CComAutoCriticalSection : public CComCriticalSection {};
class CComAutoDeleteCriticalSection : public CComCriticalSection {};

class CComFakeCriticalSection {
public:
    HRESULT Lock() noexcept { return S_OK; }
    HRESULT Unlock() noexcept { return S_OK; }
    HRESULT Init() noexcept { return S_OK; }
    HRESULT Term() noexcept { return S_OK; }
};

// Holds a critical section locked for a scope.
template <class TLock>
class CComCritSecLock {
public:
    explicit CComCritSecLock(TLock& cs, bool bInitialLock = true) : m_cs(cs), m_bLocked(false)
    {
        if (bInitialLock)
            Lock();
    }
    CComCritSecLock(const CComCritSecLock&) = delete;
    CComCritSecLock& operator=(const CComCritSecLock&) = delete;
    ~CComCritSecLock()
    {
        if (m_bLocked)
            Unlock();
    }

    HRESULT Lock()
    {
        ATLASSERT(!m_bLocked);
        const HRESULT hr = m_cs.Lock();
        m_bLocked = SUCCEEDED(hr);
        return hr;
    }
    void Unlock() noexcept
    {
        ATLASSERT(m_bLocked);
        m_cs.Unlock();
        m_bLocked = false;
    }

private:
    TLock& m_cs;
    bool m_bLocked;
};

class CComSingleThreadModel {
public:
    static ULONG WINAPI Increment(LPLONG p) noexcept { return static_cast<ULONG>(++*p); }
    static ULONG WINAPI Decrement(LPLONG p) noexcept { return static_cast<ULONG>(--*p); }

    typedef CComFakeCriticalSection AutoCriticalSection;
    typedef CComFakeCriticalSection AutoDeleteCriticalSection;
    typedef CComFakeCriticalSection CriticalSection;
    typedef CComSingleThreadModel ThreadModelNoCS;
};

// Atomic counts, no locking.
class CComMultiThreadModelNoCS {
public:
    static ULONG WINAPI Increment(LPLONG p) noexcept { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_add(1) + 1); }
    static ULONG WINAPI Decrement(LPLONG p) noexcept { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_sub(1) - 1); }

    typedef CComFakeCriticalSection AutoCriticalSection;
    typedef CComFakeCriticalSection AutoDeleteCriticalSection;
    typedef CComFakeCriticalSection CriticalSection;
    typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

// Atomic counts and real critical sections.
class CComMultiThreadModel {
public:
    static ULONG WINAPI Increment(LPLONG p) noexcept { return CComMultiThreadModelNoCS::Increment(p); }
    static ULONG WINAPI Decrement(LPLONG p) noexcept { return CComMultiThreadModelNoCS::Decrement(p); }

    typedef CComAutoCriticalSection AutoCriticalSection;
    typedef CComAutoDeleteCriticalSection AutoDeleteCriticalSection;
    typedef CComCriticalSection CriticalSection;
    typedef CComMultiThreadModelNoCS ThreadModelNoCS;
};

#if defined(_ATL_SINGLE_THREADED) || defined(_ATL_APARTMENT_THREADED)
typedef CComSingleThreadModel CComObjectThreadModel;
#else
typedef CComMultiThreadModel CComObjectThreadModel;
#endif
typedef CComMultiThreadModel CComGlobalsThreadModel;

} // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
