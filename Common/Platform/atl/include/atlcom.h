// The ATL subset: COM objects. A class derives from CComObjectRootEx<ThreadModel> and its
// interfaces, lists them in an interface map, and is instantiated as CComObjectNoLock<Class> or
// CComObject<Class>, which supply IUnknown:
//
//     class ATL_NO_VTABLE CThing : public CComObjectRootEx<CComMultiThreadModel>, public IThing {
//     public:
//         BEGIN_COM_MAP(CThing)
//             COM_INTERFACE_ENTRY(IThing)
//         END_COM_MAP()
//     };
//
// QueryInterface answers IUnknown with the first entry of the map, each listed interface with the
// matching entry, and anything else with E_NOINTERFACE. The object deletes itself when its count
// returns to zero, after calling FinalRelease. There is no module object: CComObject does not lock
// a module, and aggregation is not supported.
#pragma once

#include <atlbase.h>

#include <limits>
#include <new>

namespace ATL {

// One interface of the map: its id, and the cast from the map's class to that interface.
struct _ATL_INTMAP_ENTRY {
    const IID* piid;
    void* (*cast)(void* pThis);
};

class CComObjectRootBase {
public:
    // Hooks that a class may redefine; CComObject::CreateInstance calls them around construction.
    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}
    void InternalFinalConstructAddRef() noexcept {}
    void InternalFinalConstructRelease() noexcept {}
    void SetVoid(void*) noexcept {}

    // QueryInterface over a map whose last entry has a NULL id; pThis is the map's class.
    static HRESULT WINAPI InternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* pEntries, REFIID iid,
                                                 void** ppvObject) noexcept
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        const _ATL_INTMAP_ENTRY* found = IsEqualGUID(iid, __uuidof(IUnknown)) ? pEntries : nullptr;
        for (const _ATL_INTMAP_ENTRY* entry = pEntries; !found && entry->piid; ++entry) {
            if (IsEqualGUID(iid, *entry->piid))
                found = entry;
        }
        if (!found)
            return E_NOINTERFACE;
        auto* unknown = static_cast<IUnknown*>(found->cast(pThis));
        unknown->AddRef();
        *ppvObject = unknown;
        return S_OK;
    }

    LONG m_dwRef = 0;
};

template <class ThreadModel>
class CComObjectRootEx;

// Holds an object's critical section locked for a scope.
template <class ThreadModel>
class CComObjectLockT {
public:
    explicit CComObjectLockT(CComObjectRootEx<ThreadModel>* p) : m_p(p)
    {
        if (m_p)
            m_p->Lock();
    }
    CComObjectLockT(const CComObjectLockT&) = delete;
    CComObjectLockT& operator=(const CComObjectLockT&) = delete;
    ~CComObjectLockT()
    {
        if (m_p)
            m_p->Unlock();
    }

private:
    CComObjectRootEx<ThreadModel>* m_p;
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    typedef ThreadModel _ThreadModel;
    typedef typename ThreadModel::AutoCriticalSection _CritSec;
    typedef typename ThreadModel::AutoDeleteCriticalSection _AutoDelCritSec;
    typedef CComObjectLockT<ThreadModel> ObjectLock;

    // The new count.
    ULONG InternalAddRef() noexcept { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() noexcept { return ThreadModel::Decrement(&m_dwRef); }

    HRESULT _AtlInitialConstruct() noexcept { return m_critsec.Init(); }
    void Lock() { m_critsec.Lock(); }
    void Unlock() noexcept { m_critsec.Unlock(); }

private:
    _AutoDelCritSec m_critsec;
};

typedef CComObjectRootEx<CComObjectThreadModel> CComObjectRoot;

// Keeps the object alive while FinalConstruct hands out and releases references to itself.
#define DECLARE_PROTECT_FINAL_CONSTRUCT()                                           \
    void InternalFinalConstructAddRef() noexcept { this->InternalAddRef(); }       \
    void InternalFinalConstructRelease() noexcept { this->InternalRelease(); }

// The interface map. The pure IUnknown members at its end make the class abstract and its own
// AddRef/Release/QueryInterface unambiguous; CComObject and CComObjectNoLock implement them.
#define BEGIN_COM_MAP(x)                                                                          \
public:                                                                                           \
    typedef x _ComMapClass;                                                                       \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppvObject) noexcept                        \
    {                                                                                             \
        return this->InternalQueryInterface(this, _GetEntries(), iid, ppvObject);                 \
    }                                                                                             \
    IUnknown* _GetRawUnknown() noexcept { return static_cast<IUnknown*>(_GetEntries()->cast(this)); } \
    IUnknown* GetUnknown() noexcept { return _GetRawUnknown(); }                                  \
    static const ::ATL::_ATL_INTMAP_ENTRY* WINAPI _GetEntries() noexcept                          \
    {                                                                                             \
        static const ::ATL::_ATL_INTMAP_ENTRY _entries[] = {

// Interface x, reached by converting the class to x.
#define COM_INTERFACE_ENTRY(x) COM_INTERFACE_ENTRY_IID(__uuidof(x), x)

// The interface with id iid, answered with the class converted to x.
#define COM_INTERFACE_ENTRY_IID(iid, x) \
    {&(iid), [](void* pThis) -> void* { return static_cast<x*>(static_cast<_ComMapClass*>(pThis)); }},

// Interface x, reached through base x2 where the class inherits x along several branches.
#define COM_INTERFACE_ENTRY2(x, x2)                                                             \
    {&__uuidof(x),                                                                              \
     [](void* pThis) -> void* { return static_cast<x*>(static_cast<x2*>(static_cast<_ComMapClass*>(pThis))); }},

#define END_COM_MAP()                                                                             \
    {nullptr, nullptr}                                                                            \
    }                                                                                             \
    ;                                                                                             \
    return _entries;                                                                              \
    }                                                                                             \
    virtual ULONG STDMETHODCALLTYPE AddRef() override = 0;                                        \
    virtual ULONG STDMETHODCALLTYPE Release() override = 0;                                       \
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override = 0;

// The IUnknown of a map class whose reference count alone decides its lifetime.
template <class Base>
class CComObjectNoLock : public Base {
public:
    typedef Base _BaseClass;

    explicit CComObjectNoLock(void* = nullptr) {}
    // The count is pushed far below zero first, so that references taken and dropped during
    // FinalRelease cannot delete the object a second time.
    virtual ~CComObjectNoLock()
    {
        this->m_dwRef = -(std::numeric_limits<LONG>::max() / 2);
        this->FinalRelease();
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG count = this->InternalRelease();
        if (count == 0)
            delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppvObject) override
    {
        return this->_InternalQueryInterface(iid, ppvObject);
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) noexcept
    {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
};

// CComObjectNoLock with the creation sequence of ATL (there is no module count to lock here).
template <class Base>
class CComObject : public CComObjectNoLock<Base> {
public:
    explicit CComObject(void* pv = nullptr) : CComObjectNoLock<Base>(pv) {}

    // A new object with a count of zero, after FinalConstruct succeeded; the caller AddRefs it.
    static HRESULT WINAPI CreateInstance(CComObject<Base>** pp)
    {
        if (!pp)
            return E_POINTER;
        *pp = nullptr;
        auto* object = new (std::nothrow) CComObject<Base>();
        if (!object)
            return E_OUTOFMEMORY;
        object->SetVoid(nullptr);
        object->InternalFinalConstructAddRef();
        HRESULT hr = object->_AtlInitialConstruct();
        if (SUCCEEDED(hr))
            hr = object->FinalConstruct();
        object->InternalFinalConstructRelease();
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        *pp = object;
        return hr;
    }
};

} // namespace ATL
