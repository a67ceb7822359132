// The compiler's COM support for hosts whose compiler has none: `_bstr_t` and `_variant_t`.
//
// Windows compilers bring their own <comutil.h>; this one offers the same classes, members and
// behaviour, so that code compiled here compiles there unchanged. Every failure goes through
// `_com_issue_error` (see <comdef.h>), which calls the module's installed error handler.
//
// Narrow text (`const char*`) is UTF-8 on this host; on Windows it is the ANSI code page.
//
// On this host `LONG` is `int` and `LONGLONG` is `long`, so the overloads follow the C++ types:
// `int`/`LONG` values make VT_I4 and `unsigned int`/`ULONG` values VT_UI4 (Windows has separate
// `int` -> VT_INT overloads, which behave the same in every conversion), and 64-bit integers VT_I8 or
// VT_UI8 whether they are `long` or `long long`.
#pragma once

#include <oleauto.h>

#include <atomic>
#include <cstring>
#include <type_traits>

// Symbols that the `platform` library defines for every module.
#define _COM_SUPPORT_API __attribute__((visibility("default")))

class _com_error;
class _bstr_t;
class _variant_t;

void WINAPI _com_issue_error(HRESULT hr);

namespace _com_util {
inline void CheckError(HRESULT hr)
{
    if (FAILED(hr))
        _com_issue_error(hr);
}

// UTF-8 to a new BSTR (NULL for NULL); free it with SysFreeString.
_COM_SUPPORT_API BSTR WINAPI ConvertStringToBSTR(const char* pSrc);
// A wide string to new UTF-8 text (NULL for NULL); free it with delete[].
_COM_SUPPORT_API char* WINAPI ConvertBSTRToString(BSTR pSrc);

// A new BSTR holding s (NULL for NULL).
inline BSTR AllocString(const wchar_t* s)
{
    BSTR b = ::SysAllocString(s);
    if (!b && s)
        _com_issue_error(E_OUTOFMEMORY);
    return b;
}

// A copy of a BSTR that keeps its exact length, embedded NULs included; NULL stays NULL.
inline BSTR CopyBSTR(BSTR source)
{
    if (!source)
        return nullptr;
    BSTR copy = ::SysAllocStringByteLen(reinterpret_cast<const char*>(source), ::SysStringByteLen(source));
    if (!copy)
        _com_issue_error(E_OUTOFMEMORY);
    return copy;
}
} // namespace _com_util

// A reference-counted BSTR: copies share one string; the narrow form is converted once, on demand.
class _bstr_t {
public:
    _bstr_t() noexcept : m_Data(nullptr) {}
    _bstr_t(const _bstr_t& s) noexcept : m_Data(s.m_Data) { _AddRef(); }
    _bstr_t(const char* s) : m_Data(Data_t::Own(_com_util::ConvertStringToBSTR(s))) {}
    _bstr_t(const wchar_t* s) : m_Data(Data_t::Own(_com_util::AllocString(s))) {}
    _bstr_t(const _variant_t& var);
    // fCopy false takes ownership of bstr.
    _bstr_t(BSTR bstr, bool fCopy) : m_Data(Data_t::Own(fCopy ? _com_util::CopyBSTR(bstr) : bstr)) {}
    ~_bstr_t() { _Free(); }

    _bstr_t& operator=(const _bstr_t& s) noexcept
    {
        if (this != &s) {
            _bstr_t(s).swap(*this);
        }
        return *this;
    }
    _bstr_t& operator=(const char* s)
    {
        _bstr_t(s).swap(*this);
        return *this;
    }
    _bstr_t& operator=(const wchar_t* s)
    {
        _bstr_t(s).swap(*this);
        return *this;
    }
    _bstr_t& operator=(const _variant_t& var);

    _bstr_t& operator+=(const _bstr_t& s)
    {
        Data_t* joined = Data_t::Concat(*this, s);
        _Free();
        m_Data = joined;
        return *this;
    }
    _bstr_t operator+(const _bstr_t& s) const
    {
        _bstr_t b(*this);
        b += s;
        return b;
    }
    friend _bstr_t operator+(const char* s1, const _bstr_t& s2) { return _bstr_t(s1) + s2; }
    friend _bstr_t operator+(const wchar_t* s1, const _bstr_t& s2) { return _bstr_t(s1) + s2; }

    operator const wchar_t*() const noexcept { return m_Data ? m_Data->m_wstr : nullptr; }
    operator wchar_t*() const noexcept { return m_Data ? m_Data->m_wstr : nullptr; }
    operator const char*() const { return m_Data ? m_Data->GetString() : nullptr; }
    operator char*() const { return m_Data ? m_Data->GetString() : nullptr; }

    bool operator!() const noexcept { return !m_Data || !m_Data->m_wstr; }
    bool operator==(const _bstr_t& str) const noexcept { return _Compare(str) == 0; }
    bool operator!=(const _bstr_t& str) const noexcept { return _Compare(str) != 0; }
    bool operator<(const _bstr_t& str) const noexcept { return _Compare(str) < 0; }
    bool operator>(const _bstr_t& str) const noexcept { return _Compare(str) > 0; }
    bool operator<=(const _bstr_t& str) const noexcept { return _Compare(str) <= 0; }
    bool operator>=(const _bstr_t& str) const noexcept { return _Compare(str) >= 0; }

    // A new BSTR that the caller frees, or with fCopy false the shared one, still owned here.
    BSTR copy(bool fCopy = true) const
    {
        if (!m_Data)
            return nullptr;
        return fCopy ? _com_util::CopyBSTR(m_Data->m_wstr) : m_Data->m_wstr;
    }
    unsigned int length() const noexcept { return m_Data ? ::SysStringLen(m_Data->m_wstr) : 0; }

    // Replaces the text with a copy of s.
    void Assign(BSTR s)
    {
        if (!s || !m_Data || s != m_Data->m_wstr)
            _bstr_t(s, true).swap(*this);
    }
    // The shared BSTR itself: writing through it changes every copy.
    BSTR& GetBSTR()
    {
        if (!m_Data)
            m_Data = Data_t::Own(nullptr);
        return m_Data->m_wstr;
    }
    // Frees the text and hands out the address of an empty BSTR slot, for an [out] parameter.
    BSTR* GetAddress()
    {
        Attach(nullptr);
        return &m_Data->m_wstr;
    }
    void Attach(BSTR s)
    {
        _bstr_t(s, false).swap(*this);
    }
    // Hands the BSTR to the caller; only an unshared string can be detached. noexcept as in the Windows
    // header: detaching a shared string issues E_POINTER, and a handler that throws ends the program.
    BSTR Detach() noexcept
    {
        if (!m_Data || m_Data->m_RefCount.load() != 1) {
            _com_issue_error(E_POINTER);
            return nullptr;
        }
        BSTR b = m_Data->m_wstr;
        m_Data->m_wstr = nullptr;
        _Free();
        return b;
    }

private:
    class Data_t {
    public:
        explicit Data_t(BSTR owned) noexcept : m_wstr(owned) {}
        Data_t(const Data_t&) = delete;
        Data_t& operator=(const Data_t&) = delete;
        ~Data_t()
        {
            ::SysFreeString(m_wstr);
            delete[] m_str.load();
        }

        // A new block owning b; b is freed if the block cannot be allocated.
        static Data_t* Own(BSTR b)
        {
            try {
                return new Data_t(b);
            } catch (...) {
                ::SysFreeString(b);
                throw;
            }
        }
        static Data_t* Concat(const _bstr_t& s1, const _bstr_t& s2)
        {
            const unsigned int l1 = s1.length();
            const unsigned int l2 = s2.length();
            BSTR joined = ::SysAllocStringLen(nullptr, l1 + l2);
            if (!joined) {
                _com_issue_error(E_OUTOFMEMORY);
                return Own(nullptr);
            }
            if (l1)
                std::memcpy(joined, static_cast<const wchar_t*>(s1), l1 * sizeof(OLECHAR));
            if (l2)
                std::memcpy(joined + l1, static_cast<const wchar_t*>(s2), l2 * sizeof(OLECHAR));
            return Own(joined);
        }

        // The narrow form, converted once; two threads racing keep the first conversion.
        char* GetString() const
        {
            char* cached = m_str.load(std::memory_order_acquire);
            if (cached || !m_wstr)
                return cached;
            char* fresh = _com_util::ConvertBSTRToString(m_wstr);
            if (!m_str.compare_exchange_strong(cached, fresh, std::memory_order_acq_rel)) {
                delete[] fresh;
                return cached;
            }
            return fresh;
        }

        // Code-unit order; a NULL string sorts before every other, a prefix before its extensions.
        int Compare(const Data_t& other) const noexcept
        {
            if (!m_wstr)
                return other.m_wstr ? -1 : 0;
            if (!other.m_wstr)
                return 1;
            const unsigned int l1 = ::SysStringLen(m_wstr);
            const unsigned int l2 = ::SysStringLen(other.m_wstr);
            for (unsigned int i = 0; i < l1 && i < l2; ++i) {
                if (m_wstr[i] != other.m_wstr[i])
                    return m_wstr[i] < other.m_wstr[i] ? -1 : 1;
            }
            return l1 < l2 ? -1 : (l1 == l2 ? 0 : 1);
        }

        BSTR m_wstr;
        mutable std::atomic<char*> m_str{nullptr};
        std::atomic<unsigned long> m_RefCount{1};
    };

    void swap(_bstr_t& other) noexcept
    {
        Data_t* mine = m_Data;
        m_Data = other.m_Data;
        other.m_Data = mine;
    }
    void _AddRef() noexcept
    {
        if (m_Data)
            m_Data->m_RefCount.fetch_add(1, std::memory_order_relaxed);
    }
    void _Free() noexcept
    {
        if (m_Data && m_Data->m_RefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete m_Data;
        m_Data = nullptr;
    }
    int _Compare(const _bstr_t& str) const noexcept
    {
        if (m_Data == str.m_Data)
            return 0;
        if (!m_Data)
            return -1;
        if (!str.m_Data)
            return 1;
        return m_Data->Compare(*str.m_Data);
    }

    Data_t* m_Data;
};

// A VARIANT that clears itself; extractors convert through VariantChangeType. (`operator VARIANT()`
// of the Windows header is left out: VARIANT is the base class, so the language never calls it.)
class _variant_t : public ::tagVARIANT {
public:
    _variant_t() noexcept { _Init(); }
    _variant_t(const VARIANT& varSrc) { _CopyFrom(&varSrc); }
    _variant_t(const VARIANT* pSrc) { _CopyFrom(pSrc); }
    _variant_t(const _variant_t& varSrc) : ::tagVARIANT() { _CopyFrom(&varSrc); }
    // fCopy false takes the value over and leaves varSrc VT_EMPTY.
    _variant_t(VARIANT& varSrc, bool fCopy)
    {
        if (fCopy) {
            _CopyFrom(&varSrc);
        } else {
            std::memcpy(static_cast<VARIANT*>(this), &varSrc, sizeof(VARIANT));
            varSrc.vt = VT_EMPTY;
        }
    }
    // VT_I2, or VT_BOOL for any non-zero value as VARIANT_TRUE.
    _variant_t(short sSrc, VARTYPE vtSrc = VT_I2)
    {
        _Init();
        if (vtSrc == VT_BOOL)
            _Store(VT_BOOL, [&] { boolVal = _Bool(sSrc != 0); });
        else if (vtSrc == VT_I2)
            _Store(VT_I2, [&] { iVal = sSrc; });
        else
            _com_issue_error(E_INVALIDARG);
    }
    // VT_I4, VT_ERROR, or VT_BOOL for any non-zero value as VARIANT_TRUE.
    _variant_t(LONG lSrc, VARTYPE vtSrc = VT_I4)
    {
        _Init();
        if (vtSrc == VT_BOOL)
            _Store(VT_BOOL, [&] { boolVal = _Bool(lSrc != 0); });
        else if (vtSrc == VT_I4 || vtSrc == VT_ERROR)
            _Store(vtSrc, [&] { lVal = lSrc; });
        else
            _com_issue_error(E_INVALIDARG);
    }
    _variant_t(float fltSrc) noexcept { _Init(VT_R4, [&] { fltVal = fltSrc; }); }
    // VT_R8, or VT_DATE.
    _variant_t(double dblSrc, VARTYPE vtSrc = VT_R8)
    {
        _Init();
        if (vtSrc == VT_R8 || vtSrc == VT_DATE)
            _Store(vtSrc, [&] { dblVal = dblSrc; });
        else
            _com_issue_error(E_INVALIDARG);
    }
    _variant_t(const CY& cySrc) noexcept { _Init(VT_CY, [&] { cyVal = cySrc; }); }
    _variant_t(const _bstr_t& bstrSrc) { _Init(VT_BSTR, [&] { bstrVal = _com_util::CopyBSTR(static_cast<wchar_t*>(bstrSrc)); }); }
    _variant_t(const wchar_t* pSrc) { _Init(VT_BSTR, [&] { bstrVal = _com_util::AllocString(pSrc); }); }
    _variant_t(const char* pSrc) { _Init(VT_BSTR, [&] { bstrVal = _com_util::ConvertStringToBSTR(pSrc); }); }
    _variant_t(IDispatch* pSrc, bool fAddRef = true) noexcept { _Init(VT_DISPATCH, [&] { _Hold(pdispVal, pSrc, fAddRef); }); }
    _variant_t(bool boolSrc) noexcept { _Init(VT_BOOL, [&] { boolVal = _Bool(boolSrc); }); }
    _variant_t(IUnknown* pSrc, bool fAddRef = true) noexcept { _Init(VT_UNKNOWN, [&] { _Hold(punkVal, pSrc, fAddRef); }); }
    _variant_t(const DECIMAL& decSrc) noexcept { _Init(VT_DECIMAL, [&] { _StoreDecimal(decSrc); }); }
    _variant_t(BYTE bSrc) noexcept { _Init(VT_UI1, [&] { bVal = bSrc; }); }
    _variant_t(char cSrc) noexcept { _Init(VT_I1, [&] { cVal = cSrc; }); }
    _variant_t(unsigned short usSrc) noexcept { _Init(VT_UI2, [&] { uiVal = usSrc; }); }
    _variant_t(ULONG ulSrc) noexcept { _Init(VT_UI4, [&] { ulVal = ulSrc; }); }
    _variant_t(long i8Src) noexcept { _Init(VT_I8, [&] { llVal = i8Src; }); }
    _variant_t(unsigned long ui8Src) noexcept { _Init(VT_UI8, [&] { ullVal = ui8Src; }); }
    _variant_t(long long i8Src) noexcept { _Init(VT_I8, [&] { llVal = i8Src; }); }
    _variant_t(unsigned long long ui8Src) noexcept { _Init(VT_UI8, [&] { ullVal = ui8Src; }); }
    ~_variant_t() { ::VariantClear(this); }

    operator short() const { return _Extract(VT_I2, [](const VARIANT& v) { return v.iVal; }); }
    operator LONG() const { return _Extract(VT_I4, [](const VARIANT& v) { return v.lVal; }); }
    operator float() const { return _Extract(VT_R4, [](const VARIANT& v) { return v.fltVal; }); }
    operator double() const { return _Extract(VT_R8, [](const VARIANT& v) { return v.dblVal; }); }
    operator CY() const { return _Extract(VT_CY, [](const VARIANT& v) { return v.cyVal; }); }
    operator _bstr_t() const;
    // The interface extractors hand out a new reference.
    operator IDispatch*() const { return _Extract(VT_DISPATCH, [](const VARIANT& v) { return _AddRefed(v.pdispVal); }); }
    operator bool() const { return _Extract(VT_BOOL, [](const VARIANT& v) { return v.boolVal != VARIANT_FALSE; }); }
    operator IUnknown*() const { return _Extract(VT_UNKNOWN, [](const VARIANT& v) { return _AddRefed(v.punkVal); }); }
    operator DECIMAL() const { return _Extract(VT_DECIMAL, [](const VARIANT& v) { return v.decVal; }); }
    operator BYTE() const { return _Extract(VT_UI1, [](const VARIANT& v) { return v.bVal; }); }
    operator char() const { return _Extract(VT_I1, [](const VARIANT& v) { return v.cVal; }); }
    operator unsigned short() const { return _Extract(VT_UI2, [](const VARIANT& v) { return v.uiVal; }); }
    operator ULONG() const { return _Extract(VT_UI4, [](const VARIANT& v) { return v.ulVal; }); }
    operator long() const { return static_cast<long>(_Extract(VT_I8, [](const VARIANT& v) { return v.llVal; })); }
    operator unsigned long() const { return _Extract(VT_UI8, [](const VARIANT& v) { return v.ullVal; }); }
    operator long long() const { return _Extract(VT_I8, [](const VARIANT& v) { return v.llVal; }); }
    operator unsigned long long() const { return _Extract(VT_UI8, [](const VARIANT& v) { return v.ullVal; }); }

    _variant_t& operator=(const VARIANT& varSrc) { return _Assign(&varSrc); }
    _variant_t& operator=(const VARIANT* pSrc) { return _Assign(pSrc); }
    _variant_t& operator=(const _variant_t& varSrc) { return _Assign(&varSrc); }
    // Keeps VT_BOOL as VT_BOOL.
    _variant_t& operator=(short sSrc)
    {
        if (vt == VT_BOOL)
            boolVal = sSrc ? VARIANT_TRUE : VARIANT_FALSE;
        else
            _Set(VT_I2, [&] { iVal = sSrc; });
        return *this;
    }
    // Keeps VT_ERROR and VT_BOOL as they are.
    _variant_t& operator=(LONG lSrc)
    {
        if (vt == VT_BOOL)
            boolVal = lSrc ? VARIANT_TRUE : VARIANT_FALSE;
        else if (vt == VT_ERROR)
            scode = lSrc;
        else
            _Set(VT_I4, [&] { lVal = lSrc; });
        return *this;
    }
    _variant_t& operator=(float fltSrc) { return _Set(VT_R4, [&] { fltVal = fltSrc; }); }
    // Keeps VT_DATE as VT_DATE.
    _variant_t& operator=(double dblSrc)
    {
        if (vt == VT_DATE)
            date = dblSrc;
        else
            _Set(VT_R8, [&] { dblVal = dblSrc; });
        return *this;
    }
    _variant_t& operator=(const CY& cySrc) { return _Set(VT_CY, [&] { cyVal = cySrc; }); }
    // The owning values are built first, so that the old value may be the source.
    _variant_t& operator=(const _bstr_t& bstrSrc) { return _Replace(_variant_t(bstrSrc)); }
    _variant_t& operator=(const wchar_t* pSrc) { return _Replace(_variant_t(pSrc)); }
    _variant_t& operator=(const char* pSrc) { return _Replace(_variant_t(pSrc)); }
    _variant_t& operator=(IDispatch* pSrc) { return _Replace(_variant_t(pSrc)); }
    _variant_t& operator=(bool boolSrc) { return _Set(VT_BOOL, [&] { boolVal = _Bool(boolSrc); }); }
    _variant_t& operator=(IUnknown* pSrc) { return _Replace(_variant_t(pSrc)); }
    _variant_t& operator=(const DECIMAL& decSrc) { return _Set(VT_DECIMAL, [&] { _StoreDecimal(decSrc); }); }
    _variant_t& operator=(BYTE bSrc) { return _Set(VT_UI1, [&] { bVal = bSrc; }); }
    _variant_t& operator=(char cSrc) { return _Set(VT_I1, [&] { cVal = cSrc; }); }
    _variant_t& operator=(unsigned short usSrc) { return _Set(VT_UI2, [&] { uiVal = usSrc; }); }
    _variant_t& operator=(ULONG ulSrc) { return _Set(VT_UI4, [&] { ulVal = ulSrc; }); }
    _variant_t& operator=(long i8Src) { return _Set(VT_I8, [&] { llVal = i8Src; }); }
    _variant_t& operator=(unsigned long ui8Src) { return _Set(VT_UI8, [&] { ullVal = ui8Src; }); }
    _variant_t& operator=(long long i8Src) { return _Set(VT_I8, [&] { llVal = i8Src; }); }
    _variant_t& operator=(unsigned long long ui8Src) { return _Set(VT_UI8, [&] { ullVal = ui8Src; }); }

    // noexcept as in the Windows header: a type that cannot be compared issues E_INVALIDARG.
    bool operator==(const VARIANT& varSrc) const noexcept { return *this == &varSrc; }
    bool operator==(const VARIANT* pSrc) const noexcept;
    bool operator!=(const VARIANT& varSrc) const noexcept { return !(*this == &varSrc); }
    bool operator!=(const VARIANT* pSrc) const noexcept { return !(*this == pSrc); }

    void Clear() { _com_util::CheckError(::VariantClear(this)); }
    // Takes varSrc's value over and leaves it VT_EMPTY.
    void Attach(VARIANT& varSrc)
    {
        Clear();
        std::memcpy(static_cast<VARIANT*>(this), &varSrc, sizeof(VARIANT));
        varSrc.vt = VT_EMPTY;
    }
    // Hands the value to the caller and leaves this VT_EMPTY.
    VARIANT Detach()
    {
        VARIANT result = *this;
        vt = VT_EMPTY;
        return result;
    }
    VARIANT& GetVARIANT() noexcept { return *this; }
    // Clears the value and hands out the address, for an [out] parameter.
    VARIANT* GetAddress()
    {
        Clear();
        return this;
    }
    // Converts pSrc (this when NULL) to vartype in place.
    void ChangeType(VARTYPE vartype, const _variant_t* pSrc = nullptr)
    {
        if (!pSrc)
            pSrc = this;
        if (pSrc != this || vartype != vt)
            _com_util::CheckError(::VariantChangeType(this, pSrc, 0, vartype));
    }
    void SetString(const char* pSrc) { *this = pSrc; }

private:
    // VT_EMPTY with a zeroed value, so that a value read after a failure that the handler let
    // through is zero rather than indeterminate.
    void _Init() noexcept { std::memset(static_cast<VARIANT*>(this), 0, sizeof(VARIANT)); }
    template <class Store>
    void _Init(VARTYPE type, Store store) noexcept
    {
        _Init();
        _Store(type, store);
    }
    template <class Store>
    void _Store(VARTYPE type, Store store) noexcept
    {
        vt = type;
        store();
    }
    // Replaces the value, clearing the old one unless it has the same type.
    template <class Store>
    _variant_t& _Set(VARTYPE type, Store store)
    {
        if (vt != type) {
            Clear();
            vt = type;
        }
        store();
        return *this;
    }
    _variant_t& _Replace(_variant_t&& fresh)
    {
        Attach(fresh);
        return *this;
    }
    static VARIANT_BOOL _Bool(bool value) noexcept { return value ? VARIANT_TRUE : VARIANT_FALSE; }
    // A DECIMAL overlays vt, which is restored after the copy.
    void _StoreDecimal(const DECIMAL& value) noexcept
    {
        decVal = value;
        vt = VT_DECIMAL;
    }
    template <class I>
    static void _Hold(I*& slot, I* value, bool addRef) noexcept
    {
        slot = value;
        if (addRef)
            _AddRefed(value);
    }
    template <class I>
    static I* _AddRefed(I* p) noexcept
    {
        if (p)
            p->AddRef();
        return p;
    }
    void _CopyFrom(const VARIANT* pSrc)
    {
        _Init();
        if (!pSrc)
            _com_issue_error(E_POINTER);
        else
            _com_util::CheckError(::VariantCopy(this, pSrc));
    }
    _variant_t& _Assign(const VARIANT* pSrc)
    {
        if (!pSrc)
            _com_issue_error(E_POINTER);
        else if (pSrc != this)
            _com_util::CheckError(::VariantCopy(this, pSrc));
        return *this;
    }
    // The value as `type`: read directly when it already has that type, else from a converted copy.
    template <class Read>
    std::invoke_result_t<Read, const VARIANT&> _Extract(VARTYPE type, Read read) const
    {
        if (vt == type)
            return read(*this);
        _variant_t converted;
        converted.ChangeType(type, this);
        return read(converted);
    }
};

inline _variant_t::operator _bstr_t() const
{
    return _Extract(VT_BSTR, [](const VARIANT& v) { return _bstr_t(v.bstrVal, true); });
}

inline bool _variant_t::operator==(const VARIANT* pSrc) const noexcept
{
    if (!pSrc)
        return false;
    if (pSrc == this)
        return true;
    if (vt != pSrc->vt)
        return false;
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_I1:
    case VT_UI1:
        return bVal == pSrc->bVal;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return uiVal == pSrc->uiVal;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
        return ulVal == pSrc->ulVal;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
        return ullVal == pSrc->ullVal;
    case VT_R4:
        return fltVal == pSrc->fltVal;
    case VT_R8:
    case VT_DATE:
        return dblVal == pSrc->dblVal;
    case VT_DECIMAL:
        return std::memcmp(&decVal, &pSrc->decVal, sizeof(DECIMAL)) == 0;
    case VT_BSTR: {
        const UINT bytes = ::SysStringByteLen(bstrVal);
        return bytes == ::SysStringByteLen(pSrc->bstrVal) &&
               (bytes == 0 || std::memcmp(bstrVal, pSrc->bstrVal, bytes) == 0);
    }
    case VT_DISPATCH:
        return pdispVal == pSrc->pdispVal;
    case VT_UNKNOWN:
        return punkVal == pSrc->punkVal;
    default:
        _com_issue_error(E_INVALIDARG);
        return false;
    }
}

inline _bstr_t::_bstr_t(const _variant_t& var) : m_Data(nullptr)
{
    *this = var;
}

inline _bstr_t& _bstr_t::operator=(const _variant_t& var)
{
    return *this = var.operator _bstr_t();
}

// The "parameter not given" value for optional VARIANT arguments: VT_ERROR, DISP_E_PARAMNOTFOUND.
extern _COM_SUPPORT_API _variant_t vtMissing;

typedef _bstr_t bstr_t;
typedef _variant_t variant_t;

// `_com_issue_error` is defined with the error class and the handler.
#include <comdef.h>
