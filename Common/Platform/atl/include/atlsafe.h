// The ATL subset: CComSafeArray<T>, an owned SAFEARRAY of T.
//
// The array stays locked while the object holds it, so that element references stay valid and
// nobody destroys it underneath; Detach unlocks it. Element ownership follows the element type:
// BSTRs and VARIANTs are copied on SetAt/Add unless bCopy is FALSE (then the array takes them over),
// interfaces are AddRef'd, and the array frees what it holds when it is destroyed or shrunk.
//
// The VARTYPE comes from T (CHAR VT_I1, BYTE VT_UI1, SHORT VT_I2, USHORT VT_UI2, INT/LONG VT_I4,
// UINT/ULONG VT_UI4, LONGLONG VT_I8, ULONGLONG VT_UI8, FLOAT VT_R4, DOUBLE VT_R8, CY VT_CY,
// DECIMAL VT_DECIMAL, BSTR VT_BSTR, VARIANT VT_VARIANT, IUnknown* VT_UNKNOWN, IDispatch* VT_DISPATCH);
// DATE and VARIANT_BOOL share their C++ type with DOUBLE and SHORT and are named explicitly:
// CComSafeArray<DATE, VT_DATE>, CComSafeArray<VARIANT_BOOL, VT_BOOL>.
//
// GetAt and the bound queries throw through AtlThrow; the other members return HRESULTs. An index
// outside the bounds gives E_INVALIDARG.
#pragma once

#include <atlbase.h>

#include <cstring>
#include <type_traits>
#include <utility>

namespace ATL {

template <VARTYPE vt>
struct _ATL_AutomationTypeOf {
    static constexpr VARTYPE type = vt;
};

// Specialised for the fundamental types rather than the Windows typedefs, which name the same C++
// type in different ways on different hosts (LONG is `long` on Windows and `int` elsewhere).
template <typename T>
struct _ATL_AutomationType;
template <>
struct _ATL_AutomationType<char> : _ATL_AutomationTypeOf<VT_I1> {};
template <>
struct _ATL_AutomationType<unsigned char> : _ATL_AutomationTypeOf<VT_UI1> {};
template <>
struct _ATL_AutomationType<short> : _ATL_AutomationTypeOf<VT_I2> {};
template <>
struct _ATL_AutomationType<unsigned short> : _ATL_AutomationTypeOf<VT_UI2> {};
template <>
struct _ATL_AutomationType<int> : _ATL_AutomationTypeOf<VT_I4> {};
template <>
struct _ATL_AutomationType<unsigned int> : _ATL_AutomationTypeOf<VT_UI4> {};
template <>
struct _ATL_AutomationType<long> : _ATL_AutomationTypeOf<sizeof(long) == 4 ? VT_I4 : VT_I8> {};
template <>
struct _ATL_AutomationType<unsigned long> : _ATL_AutomationTypeOf<sizeof(long) == 4 ? VT_UI4 : VT_UI8> {};
template <>
struct _ATL_AutomationType<long long> : _ATL_AutomationTypeOf<VT_I8> {};
template <>
struct _ATL_AutomationType<unsigned long long> : _ATL_AutomationTypeOf<VT_UI8> {};
template <>
struct _ATL_AutomationType<float> : _ATL_AutomationTypeOf<VT_R4> {};
template <>
struct _ATL_AutomationType<double> : _ATL_AutomationTypeOf<VT_R8> {};
template <>
struct _ATL_AutomationType<CY> : _ATL_AutomationTypeOf<VT_CY> {};
template <>
struct _ATL_AutomationType<DECIMAL> : _ATL_AutomationTypeOf<VT_DECIMAL> {};
template <>
struct _ATL_AutomationType<BSTR> : _ATL_AutomationTypeOf<VT_BSTR> {};
template <>
struct _ATL_AutomationType<VARIANT> : _ATL_AutomationTypeOf<VT_VARIANT> {};
template <>
struct _ATL_AutomationType<IUnknown*> : _ATL_AutomationTypeOf<VT_UNKNOWN> {};
template <>
struct _ATL_AutomationType<IDispatch*> : _ATL_AutomationTypeOf<VT_DISPATCH> {};

template <typename T, VARTYPE _vartype = _ATL_AutomationType<T>::type>
class CComSafeArray {
public:
    CComSafeArray() noexcept : m_psa(nullptr) {}
    explicit CComSafeArray(ULONG ulCount, LONG lLBound = 0) : m_psa(nullptr) { Check(Create(ulCount, lLBound)); }
    explicit CComSafeArray(const SAFEARRAYBOUND& bound) : m_psa(nullptr) { Check(Create(&bound)); }
    CComSafeArray(const SAFEARRAYBOUND* pBound, UINT uDims = 1) : m_psa(nullptr) { Check(Create(pBound, uDims)); }
    // Copies: the source stays its owner's.
    CComSafeArray(const CComSafeArray& saSrc) : m_psa(nullptr) { Check(CopyFrom(saSrc.m_psa)); }
    CComSafeArray(const SAFEARRAY& saSrc) : m_psa(nullptr) { Check(CopyFrom(&saSrc)); }
    CComSafeArray(const SAFEARRAY* psaSrc) : m_psa(nullptr) { Check(CopyFrom(psaSrc)); }
    CComSafeArray(CComSafeArray&& saSrc) noexcept : m_psa(std::exchange(saSrc.m_psa, nullptr)) {}
    ~CComSafeArray()
    {
        [[maybe_unused]] const HRESULT hr = Destroy();
        ATLASSERT(SUCCEEDED(hr));
    }

    CComSafeArray& operator=(const CComSafeArray& saSrc)
    {
        if (this != &saSrc)
            Check(CopyFrom(saSrc.m_psa));
        return *this;
    }
    CComSafeArray& operator=(const SAFEARRAY& saSrc)
    {
        Check(CopyFrom(&saSrc));
        return *this;
    }
    CComSafeArray& operator=(CComSafeArray&& saSrc) noexcept
    {
        std::swap(m_psa, saSrc.m_psa);
        return *this;
    }

    // A one-dimensional array of ulCount zeroed elements; the object must be empty.
    HRESULT Create(ULONG ulCount = 0, LONG lLBound = 0)
    {
        SAFEARRAYBOUND bound = {ulCount, lLBound};
        return Create(&bound);
    }
    HRESULT Create(const SAFEARRAYBOUND* pBound, UINT uDims = 1)
    {
        if (m_psa)
            return E_UNEXPECTED;
        if (!pBound || uDims == 0)
            return E_INVALIDARG;
        SAFEARRAY* created = ::SafeArrayCreate(_vartype, uDims, const_cast<SAFEARRAYBOUND*>(pBound));
        if (!created)
            return E_OUTOFMEMORY;
        return Hold(created);
    }
    HRESULT Destroy()
    {
        if (!m_psa)
            return S_OK;
        HRESULT hr = ::SafeArrayUnlock(m_psa);
        if (FAILED(hr))
            return hr;
        hr = ::SafeArrayDestroy(m_psa);
        if (FAILED(hr)) {
            // Someone else still holds it locked: keep it, and keep our lock.
            [[maybe_unused]] const HRESULT relock = ::SafeArrayLock(m_psa);
            ATLASSERT(SUCCEEDED(relock));
            return hr;
        }
        m_psa = nullptr;
        return S_OK;
    }
    // Takes over psaSrc, which must hold elements of this type; the current array is destroyed.
    HRESULT Attach(const SAFEARRAY* psaSrc)
    {
        SAFEARRAY* source = const_cast<SAFEARRAY*>(psaSrc);
        const HRESULT hr = CheckType(source);
        if (FAILED(hr))
            return hr;
        return Replace(source);
    }
    // Hands the array to the caller, unlocked.
    SAFEARRAY* Detach()
    {
        if (m_psa && FAILED(::SafeArrayUnlock(m_psa)))
            return nullptr;
        return std::exchange(m_psa, nullptr);
    }
    HRESULT CopyFrom(const SAFEARRAY* psaSrc)
    {
        SAFEARRAY* source = const_cast<SAFEARRAY*>(psaSrc);
        HRESULT hr = CheckType(source);
        if (FAILED(hr))
            return hr;
        SAFEARRAY* copy = nullptr;
        hr = ::SafeArrayCopy(source, &copy);
        if (FAILED(hr))
            return hr;
        return Replace(copy);
    }
    HRESULT CopyTo(LPSAFEARRAY* ppArray) const
    {
        if (!ppArray)
            return E_POINTER;
        return ::SafeArrayCopy(m_psa, ppArray);
    }

    // Elements in dimension uDim (0 is the first); 0 for an empty object.
    ULONG GetCount(UINT uDim = 0) const
    {
        if (!m_psa)
            return 0;
        return static_cast<ULONG>(GetUpperBound(uDim) - GetLowerBound(uDim) + 1);
    }
    LONG GetLowerBound(UINT uDim = 0) const { return Bound(&::SafeArrayGetLBound, uDim); }
    LONG GetUpperBound(UINT uDim = 0) const { return Bound(&::SafeArrayGetUBound, uDim); }
    UINT GetDimensions() const { return m_psa ? ::SafeArrayGetDim(m_psa) : 0; }
    VARTYPE GetType() const
    {
        VARTYPE vt = VT_EMPTY;
        Check(::SafeArrayGetVartype(m_psa, &vt));
        return vt;
    }
    bool IsSizable() const { return m_psa && (m_psa->fFeatures & FADF_FIXEDSIZE) == 0; }
    LPSAFEARRAY* GetSafeArrayPtr() noexcept { return &m_psa; }
    operator LPSAFEARRAY() const noexcept { return m_psa; }

    // The element itself, in a one-dimensional array.
    T& GetAt(LONG lIndex) const
    {
        T* slot = nullptr;
        Check(Slot(lIndex, slot));
        return *slot;
    }
    template <typename Index>
        requires std::is_integral_v<Index>
    T& operator[](Index nIndex) const
    {
        return GetAt(static_cast<LONG>(nIndex));
    }
    HRESULT SetAt(LONG lIndex, const T& t, BOOL bCopy = TRUE)
    {
        T* slot = nullptr;
        const HRESULT hr = Slot(lIndex, slot);
        return FAILED(hr) ? hr : Store(*slot, t, bCopy);
    }
    // A copy of the element at alIndex: one index per dimension, the right-most dimension first, as
    // SafeArrayGetElement takes them.
    HRESULT MultiDimGetAt(const LONG* alIndex, T& t) const
    {
        return ::SafeArrayGetElement(m_psa, const_cast<LONG*>(alIndex), &t);
    }
    // Stores a copy of t at alIndex (indices ordered as for MultiDimGetAt).
    HRESULT MultiDimSetAt(const LONG* alIndex, const T& t)
    {
        T* slot = nullptr;
        const HRESULT hr = ::SafeArrayPtrOfIndex(m_psa, const_cast<LONG*>(alIndex), reinterpret_cast<void**>(&slot));
        return FAILED(hr) ? hr : Store(*slot, t, TRUE);
    }

    // Appends t, creating the array when there is none.
    HRESULT Add(const T& t, BOOL bCopy = TRUE) { return Add(1, &t, bCopy); }
    HRESULT Add(ULONG ulCount, const T* pT, BOOL bCopy = TRUE)
    {
        if (ulCount && !pT)
            return E_POINTER;
        const ULONG first = GetCount();
        HRESULT hr = m_psa ? Resize(first + ulCount, GetLowerBound()) : Create(ulCount);
        for (ULONG i = 0; SUCCEEDED(hr) && i < ulCount; ++i)
            hr = SetAt(GetLowerBound() + static_cast<LONG>(first + i), pT[i], bCopy);
        return hr;
    }
    // Appends copies of every element of another one-dimensional array of this type.
    HRESULT Add(const SAFEARRAY* psaSrc)
    {
        CComSafeArray source;
        HRESULT hr = source.CopyFrom(psaSrc);
        if (FAILED(hr))
            return hr;
        const ULONG count = source.GetCount();
        T* elements = count ? &source.GetAt(source.GetLowerBound()) : nullptr;
        // The copies are handed over, so that each is owned once.
        hr = Add(count, elements, FALSE);
        if (SUCCEEDED(hr))
            ForgetElements(elements, count);
        return hr;
    }
    // One dimension of ulCount elements from lLBound: added elements start zeroed, removed ones are
    // freed. Creates the array when there is none.
    HRESULT Resize(ULONG ulCount, LONG lLBound = 0)
    {
        SAFEARRAYBOUND bound = {ulCount, lLBound};
        return Resize(&bound);
    }
    HRESULT Resize(const SAFEARRAYBOUND* pBound)
    {
        if (!pBound)
            return E_INVALIDARG;
        if (!m_psa)
            return Create(pBound);
        HRESULT hr = ::SafeArrayUnlock(m_psa);
        if (FAILED(hr))
            return hr;
        hr = ::SafeArrayRedim(m_psa, const_cast<SAFEARRAYBOUND*>(pBound));
        const HRESULT relock = ::SafeArrayLock(m_psa);
        return FAILED(hr) ? hr : relock;
    }

    LPSAFEARRAY m_psa;

private:
    static void Check(HRESULT hr)
    {
        if (FAILED(hr))
            AtlThrow(hr);
    }
    LONG Bound(HRESULT(WINAPI* get)(SAFEARRAY*, UINT, LONG*), UINT uDim) const
    {
        LONG bound = 0;
        Check(get(m_psa, uDim + 1, &bound));
        return bound;
    }
    // Locks and keeps psa.
    HRESULT Hold(SAFEARRAY* psa)
    {
        const HRESULT hr = ::SafeArrayLock(psa);
        if (FAILED(hr)) {
            [[maybe_unused]] const HRESULT destroyed = ::SafeArrayDestroy(psa);
            ATLASSERT(SUCCEEDED(destroyed));
            return hr;
        }
        m_psa = psa;
        return S_OK;
    }
    HRESULT Replace(SAFEARRAY* psa)
    {
        const HRESULT hr = Destroy();
        return FAILED(hr) ? hr : Hold(psa);
    }
    // Whether psa holds elements of this type: the same VARTYPE (VT_INT and VT_I4, VT_UINT and VT_UI4
    // being the same storage) and the same element size.
    static HRESULT CheckType(SAFEARRAY* psa)
    {
        if (!psa)
            return E_INVALIDARG;
        VARTYPE vt = VT_EMPTY;
        const HRESULT hr = ::SafeArrayGetVartype(psa, &vt);
        if (FAILED(hr))
            return hr;
        const bool same = vt == _vartype || (Storage(vt) == Storage(_vartype));
        return same && ::SafeArrayGetElemsize(psa) == sizeof(T) ? S_OK : E_INVALIDARG;
    }
    static VARTYPE Storage(VARTYPE vt) noexcept
    {
        return vt == VT_INT ? VARTYPE(VT_I4) : vt == VT_UINT ? VARTYPE(VT_UI4) : vt;
    }
    // The address of element lIndex of a one-dimensional array.
    HRESULT Slot(LONG lIndex, T*& slot) const
    {
        if (!m_psa || ::SafeArrayGetDim(m_psa) != 1)
            return E_INVALIDARG;
        LONG lower = 0;
        LONG upper = 0;
        HRESULT hr = ::SafeArrayGetLBound(m_psa, 1, &lower);
        if (SUCCEEDED(hr))
            hr = ::SafeArrayGetUBound(m_psa, 1, &upper);
        if (FAILED(hr))
            return hr;
        if (lIndex < lower || lIndex > upper)
            return E_INVALIDARG;
        slot = static_cast<T*>(m_psa->pvData) + (lIndex - lower);
        return S_OK;
    }
    // Writes value into slot, freeing what slot held.
    static HRESULT Store(T& slot, const T& value, BOOL bCopy)
    {
        if (&slot == &value)
            return S_OK;
        if constexpr (_vartype == VT_BSTR) {
            BSTR fresh = value;
            if (bCopy && value) {
                fresh = ::SysAllocStringByteLen(reinterpret_cast<const char*>(value), ::SysStringByteLen(value));
                if (!fresh)
                    return E_OUTOFMEMORY;
            }
            if (slot != fresh)
                ::SysFreeString(slot);
            slot = fresh;
        } else if constexpr (_vartype == VT_VARIANT) {
            if (bCopy)
                return ::VariantCopy(&slot, const_cast<VARIANT*>(&value)); // some headers lack the const
            const HRESULT hr = ::VariantClear(&slot);
            if (FAILED(hr))
                return hr;
            std::memcpy(static_cast<void*>(&slot), &value, sizeof(VARIANT));
        } else if constexpr (_vartype == VT_UNKNOWN || _vartype == VT_DISPATCH) {
            if (value)
                value->AddRef();
            if (slot)
                slot->Release();
            slot = value;
        } else {
            slot = value;
        }
        return S_OK;
    }
    // Elements whose ownership has moved elsewhere: cleared without being freed.
    static void ForgetElements(T* elements, ULONG count) noexcept
    {
        if constexpr (_vartype == VT_BSTR || _vartype == VT_VARIANT)
            std::memset(static_cast<void*>(elements), 0, sizeof(T) * count);
    }
};

} // namespace ATL
