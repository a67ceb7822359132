// The compiler's COM support for hosts whose compiler has none: the `_com_ptr_t` smart pointer.
//
// Same members and behaviour as the Windows compilers' <comip.h>: construction and assignment from
// another interface type query for this one (a missing interface leaves the pointer NULL, any other
// failure goes through `_com_issue_error`); `operator&` releases before handing out the address;
// comparisons compare object identities (the IUnknown of each side).
//
// There is no registry here: CreateInstance takes a class id or its "{...}" text, and a ProgID
// answers CO_E_CLASSSTRING.
#pragma once

#include <ole2.h>

#include <comutil.h>

#include <compare>
#include <cstddef>

void WINAPI _com_issue_error(HRESULT hr);

// The interface and its id, for `_com_ptr_t<_com_IIID<IFoo, &IID_IFoo>>`.
template <typename _Interface, const IID* _IID>
class _com_IIID {
public:
    typedef _Interface Interface;
    static const IID& GetIID() noexcept { return *_IID; }
};

// The same, with the id read through a function, since `__uuidof` is not a constant expression.
template <typename _Interface, const IID& (*iid_getter)()>
class _com_IIID_getter {
public:
    typedef _Interface Interface;
    static const IID& GetIID() noexcept { return iid_getter(); }
};

template <typename _IIID>
class _com_ptr_t {
public:
    typedef _IIID ThisIIID;
    typedef typename _IIID::Interface Interface;

    static const IID& GetIID() noexcept { return ThisIIID::GetIID(); }

    _com_ptr_t() noexcept : m_pInterface(nullptr) {}
    _com_ptr_t(decltype(nullptr)) noexcept : m_pInterface(nullptr) {}
    // Only 0 is accepted, as the null pointer.
    _com_ptr_t(int null) : m_pInterface(nullptr)
    {
        if (null != 0)
            _com_issue_error(E_POINTER);
    }
    _com_ptr_t(const _com_ptr_t& cp) noexcept : m_pInterface(cp.m_pInterface) { _AddRef(); }
    _com_ptr_t(Interface* pInterface) noexcept : m_pInterface(pInterface) { _AddRef(); }
    // fAddRef false takes over the caller's reference.
    _com_ptr_t(Interface* pInterface, bool fAddRef) noexcept : m_pInterface(pInterface)
    {
        if (fAddRef)
            _AddRef();
    }
    explicit _com_ptr_t(_com_ptr_t* p) : m_pInterface(nullptr)
    {
        if (!p) {
            _com_issue_error(E_POINTER);
        } else {
            m_pInterface = p->m_pInterface;
            _AddRef();
        }
    }
    template <typename _OtherIID>
    _com_ptr_t(const _com_ptr_t<_OtherIID>& p) : m_pInterface(nullptr)
    {
        _Check(_QueryInterface(p.GetInterfacePtr()));
    }
    template <typename _InterfaceType>
    _com_ptr_t(_InterfaceType* p) : m_pInterface(nullptr)
    {
        _Check(_QueryInterface(p));
    }
    // The VT_DISPATCH or VT_UNKNOWN value of varSrc, or what it converts to.
    _com_ptr_t(const _variant_t& varSrc) : m_pInterface(nullptr) { _Check(QueryStdInterfaces(varSrc)); }
    explicit _com_ptr_t(const CLSID& clsid, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL)
        : m_pInterface(nullptr)
    {
        _Check(CreateInstance(clsid, pOuter, dwClsContext));
    }
    explicit _com_ptr_t(LPCWSTR str, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL)
        : m_pInterface(nullptr)
    {
        _Check(CreateInstance(str, pOuter, dwClsContext));
    }
    explicit _com_ptr_t(LPCSTR str, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL)
        : m_pInterface(nullptr)
    {
        _Check(CreateInstance(str, pOuter, dwClsContext));
    }
    _com_ptr_t(LPSTR str) : _com_ptr_t(static_cast<LPCSTR>(str), nullptr) {}
    _com_ptr_t(LPWSTR str) : _com_ptr_t(static_cast<LPCWSTR>(str), nullptr) {}

    ~_com_ptr_t() { _Release(); }

    template <typename _OtherIID>
    _com_ptr_t& operator=(const _com_ptr_t<_OtherIID>& p)
    {
        _Check(_QueryInterface(p.GetInterfacePtr()));
        return *this;
    }
    template <typename _InterfaceType>
    _com_ptr_t& operator=(_InterfaceType* p)
    {
        _Check(_QueryInterface(p));
        return *this;
    }
    _com_ptr_t& operator=(Interface* pInterface) noexcept
    {
        if (m_pInterface != pInterface) {
            Interface* old = m_pInterface;
            m_pInterface = pInterface;
            _AddRef();
            if (old)
                old->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(const _com_ptr_t& cp) noexcept { return operator=(cp.m_pInterface); }
    _com_ptr_t& operator=(int null)
    {
        if (null != 0)
            _com_issue_error(E_POINTER);
        return operator=(static_cast<Interface*>(nullptr));
    }
    _com_ptr_t& operator=(long long null)
    {
        if (null != 0)
            _com_issue_error(E_POINTER);
        return operator=(static_cast<Interface*>(nullptr));
    }
    _com_ptr_t& operator=(const _variant_t& varSrc)
    {
        _Check(QueryStdInterfaces(varSrc));
        return *this;
    }

    // Takes over the caller's reference.
    void Attach(Interface* pInterface) noexcept
    {
        _Release();
        m_pInterface = pInterface;
    }
    // noexcept as in the Windows header: attaching NULL with fAddRef issues E_POINTER.
    void Attach(Interface* pInterface, bool fAddRef) noexcept
    {
        _Release();
        m_pInterface = pInterface;
        if (fAddRef) {
            if (!pInterface)
                _com_issue_error(E_POINTER);
            else
                pInterface->AddRef();
        }
    }
    // Hands the reference to the caller.
    Interface* Detach() noexcept
    {
        Interface* const old = m_pInterface;
        m_pInterface = nullptr;
        return old;
    }

    operator Interface*() const noexcept { return m_pInterface; }
    operator Interface&() const { return *operator->(); }
    Interface& operator*() const { return *operator->(); }
    // Releases the current interface and hands out the slot, for an [out] parameter.
    Interface** operator&() noexcept
    {
        _Release();
        m_pInterface = nullptr;
        return &m_pInterface;
    }
    Interface* operator->() const
    {
        if (!m_pInterface)
            _com_issue_error(E_POINTER);
        return m_pInterface;
    }
    operator bool() const noexcept { return m_pInterface != nullptr; }

    template <typename _OtherIID>
    bool operator==(const _com_ptr_t<_OtherIID>& p) const
    {
        return _CompareUnknown(p.GetInterfacePtr()) == 0;
    }
    template <typename _InterfaceType>
    bool operator==(_InterfaceType* p) const
    {
        return _CompareUnknown(p) == 0;
    }
    bool operator==(Interface* p) const { return m_pInterface == p || _CompareUnknown(p) == 0; }
    bool operator==(const _com_ptr_t& p) const { return operator==(p.m_pInterface); }
    bool operator==(decltype(nullptr)) const noexcept { return !m_pInterface; }
    bool operator==(int null) const
    {
        if (null != 0)
            _com_issue_error(E_POINTER);
        return !m_pInterface;
    }
    bool operator==(long long null) const
    {
        if (null != 0)
            _com_issue_error(E_POINTER);
        return !m_pInterface;
    }
    template <typename _OtherIID>
    std::strong_ordering operator<=>(const _com_ptr_t<_OtherIID>& p) const
    {
        return _CompareUnknown(p.GetInterfacePtr());
    }
    template <typename _InterfaceType>
    std::strong_ordering operator<=>(_InterfaceType* p) const
    {
        return _CompareUnknown(p);
    }

    void Release()
    {
        if (!m_pInterface) {
            _com_issue_error(E_POINTER);
        } else {
            m_pInterface->Release();
            m_pInterface = nullptr;
        }
    }
    void AddRef()
    {
        if (!m_pInterface)
            _com_issue_error(E_POINTER);
        else
            m_pInterface->AddRef();
    }
    Interface* GetInterfacePtr() const noexcept { return m_pInterface; }
    Interface*& GetInterfacePtr() noexcept { return m_pInterface; }

    // A new instance of the class; out-of-process contexts are run and queried in two steps.
    HRESULT CreateInstance(const CLSID& rclsid, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) noexcept
    {
        _Release();
        m_pInterface = nullptr;
        HRESULT hr;
        if (dwClsContext & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) {
            IUnknown* unknown = nullptr;
            hr = CoCreateInstance(rclsid, pOuter, dwClsContext, __uuidof(IUnknown), reinterpret_cast<void**>(&unknown));
            if (SUCCEEDED(hr)) {
                hr = OleRun(unknown);
                if (SUCCEEDED(hr))
                    hr = unknown->QueryInterface(GetIID(), reinterpret_cast<void**>(&m_pInterface));
                unknown->Release();
            }
        } else {
            hr = CoCreateInstance(rclsid, pOuter, dwClsContext, GetIID(), reinterpret_cast<void**>(&m_pInterface));
        }
        if (FAILED(hr))
            m_pInterface = nullptr;
        return hr;
    }
    HRESULT CreateInstance(LPCWSTR clsidString, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL) noexcept
    {
        if (!clsidString)
            return E_INVALIDARG;
        if (clsidString[0] != L'{')
            return CO_E_CLASSSTRING;
        CLSID clsid;
        HRESULT hr = CLSIDFromString(clsidString, &clsid);
        return FAILED(hr) ? hr : CreateInstance(clsid, pOuter, dwClsContext);
    }
    HRESULT CreateInstance(LPCSTR clsidStringA, IUnknown* pOuter = nullptr, DWORD dwClsContext = CLSCTX_ALL)
    {
        if (!clsidStringA)
            return E_INVALIDARG;
        _bstr_t wide(clsidStringA);
        return CreateInstance(static_cast<const wchar_t*>(wide), pOuter, dwClsContext);
    }

    template <typename _InterfaceType>
    HRESULT QueryInterface(const IID& iid, _InterfaceType*& p) noexcept
    {
        if (!m_pInterface)
            return E_POINTER;
        return m_pInterface->QueryInterface(iid, reinterpret_cast<void**>(&p));
    }
    template <typename _InterfaceType>
    HRESULT QueryInterface(const IID& iid, _InterfaceType** p) noexcept
    {
        return QueryInterface(iid, *p);
    }

private:
    void _Release() noexcept
    {
        if (m_pInterface)
            m_pInterface->Release();
    }
    void _AddRef() noexcept
    {
        if (m_pInterface)
            m_pInterface->AddRef();
    }
    // A missing interface leaves the pointer NULL; any other failure is an error.
    static void _Check(HRESULT hr)
    {
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
    }
    // Replaces the pointer with p's interface of this type; NULL p answers E_NOINTERFACE.
    template <typename _InterfaceType>
    HRESULT _QueryInterface(_InterfaceType* p) noexcept
    {
        if (!p) {
            operator=(static_cast<Interface*>(nullptr));
            return E_NOINTERFACE;
        }
        Interface* queried = nullptr;
        HRESULT hr = p->QueryInterface(GetIID(), reinterpret_cast<void**>(&queried));
        Attach(SUCCEEDED(hr) ? queried : nullptr);
        return hr;
    }
    HRESULT QueryStdInterfaces(const _variant_t& varSrc) noexcept
    {
        if (varSrc.vt == VT_DISPATCH)
            return _QueryInterface(varSrc.pdispVal);
        if (varSrc.vt == VT_UNKNOWN)
            return _QueryInterface(varSrc.punkVal);
        HRESULT hr = _QueryConverted(varSrc, VT_DISPATCH);
        if (hr == E_NOINTERFACE)
            hr = _QueryConverted(varSrc, VT_UNKNOWN);
        return hr;
    }
    // Queries the object that varSrc converts to as `type` (VT_DISPATCH or VT_UNKNOWN).
    HRESULT _QueryConverted(const _variant_t& varSrc, VARTYPE type) noexcept
    {
        VARIANT converted;
        VariantInit(&converted);
        HRESULT hr = VariantChangeType(&converted, &varSrc, 0, type);
        if (FAILED(hr))
            return hr;
        IUnknown* object = type == VT_DISPATCH ? static_cast<IUnknown*>(converted.pdispVal) : converted.punkVal;
        hr = _QueryInterface(object);
        if (object)
            object->Release();
        return hr;
    }
    // The address of p's object identity; the reference taken to learn it is given back at once.
    template <typename _InterfaceType>
    static IUnknown* _Identity(_InterfaceType* p)
    {
        if (!p)
            return nullptr;
        IUnknown* identity = nullptr;
        HRESULT hr = p->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity));
        if (FAILED(hr)) {
            _com_issue_error(hr);
            return nullptr;
        }
        identity->Release();
        return identity;
    }
    template <typename _InterfaceType>
    std::strong_ordering _CompareUnknown(_InterfaceType* p) const
    {
        return std::compare_three_way{}(_Identity(m_pInterface), _Identity(p));
    }

    Interface* m_pInterface;
};
