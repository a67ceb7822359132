// The ATL subset: the client-side smart types `CComPtr`, `CComQIPtr` and `CComBSTR`.
//
// Differences from Microsoft's ATL, all of them additions or narrowings that code written for ATL
// does not notice:
// - `operator->` returns `T*` (ATL returns a type that hides AddRef/Release, a cast that sanitizers
//   reject);
// - `CComQIPtr<T>` takes the interface id from `__uuidof(T)` when no id pointer is given, since
//   `&__uuidof(T)` is not a constant expression with the GCC compilers;
// - `CComBSTR` holds wide text only, and compares code unit by code unit (NULL equals "").
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <atlexcept.h>

#include <memory>
#include <type_traits>
#include <utility>

namespace ATL {

// The reference-counting core of CComPtr: owns one reference to `p`.
template <class T>
class CComPtrBase {
public:
    typedef T _PtrClass;

    ~CComPtrBase()
    {
        if (p)
            p->Release();
    }

    operator T*() const noexcept { return p; }
    T& operator*() const
    {
        ATLASSERT(p != nullptr);
        return *p;
    }
    // The address of the pointer, for an [out] parameter; it must be empty, or its reference leaks.
    T** operator&() noexcept
    {
        ATLASSERT(p == nullptr);
        return &p;
    }
    T* operator->() const noexcept
    {
        ATLASSERT(p != nullptr);
        return p;
    }
    bool operator!() const noexcept { return p == nullptr; }
    bool operator<(T* pT) const noexcept { return p < pT; }
    bool operator==(T* pT) const noexcept { return p == pT; }

    // Releases the reference and leaves the pointer empty.
    void Release() noexcept
    {
        if (T* old = p) {
            p = nullptr;
            old->Release();
        }
    }
    // Whether pOther is the same object (same IUnknown identity).
    bool IsEqualObject(IUnknown* pOther) noexcept
    {
        if (!p || !pOther)
            return !p && !pOther;
        IUnknown* mine = Identity(p);
        IUnknown* theirs = Identity(pOther);
        return mine && mine == theirs;
    }
    // Takes over the caller's reference, releasing the current one.
    void Attach(T* p2) noexcept
    {
        if (p) {
            ATLASSERT(p != p2);
            p->Release();
        }
        p = p2;
    }
    // Hands the reference to the caller.
    T* Detach() noexcept
    {
        T* pt = p;
        p = nullptr;
        return pt;
    }
    // A new reference for the caller.
    HRESULT CopyTo(T** ppT) noexcept
    {
        if (!ppT)
            return E_POINTER;
        *ppT = p;
        if (p)
            p->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) const noexcept
    {
        ATLASSERT(pp != nullptr);
        if (!p)
            return E_POINTER;
        return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
    HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) noexcept
    {
        ATLASSERT(p == nullptr);
        return ::CoCreateInstance(rclsid, pUnkOuter, dwClsContext, __uuidof(T), reinterpret_cast<void**>(&p));
    }

    T* p;

protected:
    CComPtrBase() noexcept : p(nullptr) {}
    CComPtrBase(T* lp) noexcept : p(lp)
    {
        if (p)
            p->AddRef();
    }
    void Swap(CComPtrBase& other) noexcept { std::swap(p, other.p); }

private:
    // The identity of an object, for comparison only: the reference taken to learn it is given back.
    template <class I>
    static IUnknown* Identity(I* object) noexcept
    {
        IUnknown* identity = nullptr;
        if (FAILED(object->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity))))
            return nullptr;
        identity->Release();
        return identity;
    }
};

template <class T>
class CComPtr : public CComPtrBase<T> {
public:
    CComPtr() noexcept = default;
    CComPtr(T* lp) noexcept : CComPtrBase<T>(lp) {}
    CComPtr(const CComPtr& lp) noexcept : CComPtrBase<T>(lp.p) {}
    // The source is left empty.
    CComPtr(CComPtr&& lp) noexcept { this->Swap(lp); }

    T* operator=(T* lp) noexcept
    {
        if (this->p != lp)
            CComPtr(lp).Swap(*this);
        return *this;
    }
    T* operator=(const CComPtr& lp) noexcept { return *this = lp.p; }
    T* operator=(CComPtr&& lp) noexcept
    {
        if (this != std::addressof(lp))
            CComPtr(std::move(lp)).Swap(*this);
        return *this;
    }
    // Another interface of lp's object, or empty when it has none.
    template <typename Q>
    T* operator=(const CComPtr<Q>& lp) noexcept
    {
        T* queried = nullptr;
        if (lp.p && FAILED(lp.p->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&queried))))
            queried = nullptr;
        CComPtr fresh;
        fresh.p = queried;
        fresh.Swap(*this);
        return *this;
    }
};

// A CComPtr that queries for T whenever it receives another interface. piid defaults to __uuidof(T).
template <class T, const IID* piid = nullptr>
class CComQIPtr : public CComPtr<T> {
public:
    static const IID& GetIID() noexcept
    {
        if constexpr (piid != nullptr)
            return *piid;
        else
            return __uuidof(T);
    }

    CComQIPtr() noexcept = default;
    CComQIPtr(decltype(nullptr)) noexcept {}
    // For CComQIPtr<IUnknown>, this queries for the object's identity.
    CComQIPtr(T* lp) noexcept
    {
        if constexpr (std::is_same_v<T, IUnknown>) {
            Query(lp);
        } else {
            this->p = lp;
            if (lp)
                lp->AddRef();
        }
    }
    CComQIPtr(const CComQIPtr& lp) noexcept : CComPtr<T>(lp.p) {}
    CComQIPtr(CComQIPtr&& lp) noexcept : CComPtr<T>(std::move(lp)) {}
    CComQIPtr(IUnknown* lp) noexcept
        requires(!std::is_same_v<T, IUnknown>)
    {
        Query(lp);
    }

    T* operator=(decltype(nullptr)) noexcept
    {
        this->Release();
        return nullptr;
    }
    T* operator=(T* lp) noexcept
    {
        if (this->p != lp)
            CComQIPtr(lp).Swap(*this);
        return *this;
    }
    T* operator=(const CComQIPtr& lp) noexcept { return *this = lp.p; }
    T* operator=(CComQIPtr&& lp) noexcept
    {
        if (this != std::addressof(lp))
            CComQIPtr(std::move(lp)).Swap(*this);
        return *this;
    }
    T* operator=(IUnknown* lp) noexcept
        requires(!std::is_same_v<T, IUnknown>)
    {
        CComQIPtr(lp).Swap(*this);
        return *this;
    }

private:
    // Takes lp's T interface; stays empty when lp is NULL or lacks it.
    void Query(IUnknown* lp) noexcept
    {
        if (lp && FAILED(lp->QueryInterface(GetIID(), reinterpret_cast<void**>(&this->p))))
            this->p = nullptr;
    }
};

// An owned BSTR. Allocation failures go through AtlThrow(E_OUTOFMEMORY).
class CComBSTR {
public:
    CComBSTR() noexcept : m_str(nullptr) {}
    CComBSTR(decltype(nullptr)) noexcept : m_str(nullptr) {}
    // nSize characters, uninitialised; 0 gives NULL.
    explicit CComBSTR(int nSize) : m_str(Allocate(nullptr, nSize)) {}
    // The first nSize characters of sz (uninitialised when sz is NULL).
    CComBSTR(int nSize, LPCOLESTR sz) : m_str(Allocate(sz, nSize)) {}
    CComBSTR(LPCOLESTR pSrc) : m_str(Checked(::SysAllocString(pSrc), pSrc != nullptr)) {}
    // The "{...}" text of a GUID.
    explicit CComBSTR(REFGUID guid) : m_str(nullptr)
    {
        OLECHAR text[64];
        if (::StringFromGUID2(guid, text, 64) == 0)
            AtlThrow(E_INVALIDARG);
        m_str = Checked(::SysAllocString(text), true);
    }
    CComBSTR(const CComBSTR& src) : m_str(src.Copy()) {}
    CComBSTR(CComBSTR&& src) noexcept : m_str(src.m_str) { src.m_str = nullptr; }
    ~CComBSTR() { ::SysFreeString(m_str); }

    CComBSTR& operator=(const CComBSTR& src)
    {
        if (m_str != src.m_str)
            Attach(src.Copy());
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& src) noexcept
    {
        if (this != std::addressof(src))
            Attach(src.Detach());
        return *this;
    }
    CComBSTR& operator=(LPCOLESTR pSrc)
    {
        if (pSrc != m_str)
            Attach(Checked(::SysAllocString(pSrc), pSrc != nullptr));
        return *this;
    }

    unsigned int Length() const noexcept { return ::SysStringLen(m_str); }
    unsigned int ByteLength() const noexcept { return ::SysStringByteLen(m_str); }
    operator BSTR() const noexcept { return m_str; }
    // The address of the BSTR, for an [out] parameter; it must be empty, or the string leaks.
    BSTR* operator&() noexcept
    {
        ATLASSERT(m_str == nullptr);
        return &m_str;
    }
    bool operator!() const noexcept { return m_str == nullptr; }

    // A new copy of the string (embedded NULs kept), which the caller frees.
    BSTR Copy() const
    {
        if (!m_str)
            return nullptr;
        return Checked(::SysAllocStringByteLen(reinterpret_cast<const char*>(m_str), ByteLength()), true);
    }
    HRESULT CopyTo(BSTR* pbstr) const noexcept
    {
        if (!pbstr)
            return E_POINTER;
        *pbstr = m_str ? ::SysAllocStringByteLen(reinterpret_cast<const char*>(m_str), ByteLength()) : nullptr;
        return (m_str && !*pbstr) ? E_OUTOFMEMORY : S_OK;
    }
    // Takes over src, freeing the current string.
    void Attach(BSTR src) noexcept
    {
        if (m_str != src) {
            ::SysFreeString(m_str);
            m_str = src;
        }
    }
    BSTR Detach() noexcept
    {
        BSTR s = m_str;
        m_str = nullptr;
        return s;
    }
    void Empty() noexcept { Attach(nullptr); }

    HRESULT Append(LPCOLESTR lpsz, int nLen) noexcept
    {
        if (nLen < 0)
            return E_INVALIDARG;
        if (!lpsz || nLen == 0)
            return S_OK;
        const UINT length = Length();
        BSTR joined = ::SysAllocStringLen(nullptr, length + static_cast<UINT>(nLen));
        if (!joined)
            return E_OUTOFMEMORY;
        for (UINT i = 0; i < length; ++i)
            joined[i] = m_str[i];
        for (int i = 0; i < nLen; ++i)
            joined[length + static_cast<UINT>(i)] = lpsz[i];
        Attach(joined);
        return S_OK;
    }
    HRESULT Append(LPCOLESTR lpsz) noexcept { return Append(lpsz, lpsz ? static_cast<int>(TextLength(lpsz)) : 0); }
    HRESULT Append(const CComBSTR& bstrSrc) noexcept { return AppendBSTR(bstrSrc.m_str); }
    HRESULT AppendBSTR(BSTR p) noexcept { return Append(p, static_cast<int>(::SysStringLen(p))); }
    CComBSTR& operator+=(const CComBSTR& bstrSrc)
    {
        Check(Append(bstrSrc));
        return *this;
    }
    CComBSTR& operator+=(LPCOLESTR pszSrc)
    {
        Check(Append(pszSrc));
        return *this;
    }

    bool operator==(const CComBSTR& other) const noexcept { return Compare(m_str, Length(), other.m_str, other.Length()) == 0; }
    bool operator==(LPCOLESTR pszSrc) const noexcept
    {
        return Compare(m_str, Length(), pszSrc, pszSrc ? TextLength(pszSrc) : 0) == 0;
    }
    bool operator==(decltype(nullptr)) const noexcept { return m_str == nullptr; }
    bool operator<(const CComBSTR& other) const noexcept { return Compare(m_str, Length(), other.m_str, other.Length()) < 0; }

    BSTR m_str;

private:
    static void Check(HRESULT hr)
    {
        if (FAILED(hr))
            AtlThrow(hr);
    }
    static BSTR Checked(BSTR allocated, bool expected)
    {
        if (!allocated && expected)
            AtlThrow(E_OUTOFMEMORY);
        return allocated;
    }
    static BSTR Allocate(LPCOLESTR sz, int nSize)
    {
        if (nSize < 0)
            AtlThrow(E_INVALIDARG);
        if (nSize == 0 && !sz)
            return nullptr;
        return Checked(::SysAllocStringLen(sz, static_cast<UINT>(nSize)), true);
    }
    static UINT TextLength(LPCOLESTR text) noexcept
    {
        UINT length = 0;
        while (text[length] != 0)
            ++length;
        return length;
    }
    // Code-unit order over the full lengths; NULL counts as "".
    static int Compare(LPCOLESTR a, UINT la, LPCOLESTR b, UINT lb) noexcept
    {
        for (UINT i = 0; i < la && i < lb; ++i) {
            if (a[i] != b[i])
                return a[i] < b[i] ? -1 : 1;
        }
        return la < lb ? -1 : (la == lb ? 0 : 1);
    }
};

} // namespace ATL
