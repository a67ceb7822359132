// The library's shared internal header: the COM call frame that every source file uses. Including it
// installs the kernel's raiser of failed COM calls during the file's static initialisation, so that it
// is in place before any exported operation runs, and routes the ATL wrappers' failures to the kernel.
#pragma once

#include <Kernel/atl.h> // before any ATL header
#include <Kernel/failure.h>

#include "ThrowSite.h"

#include <collector/interfaces.h>
#include <atlbase.h>
#include <comdef.h>

namespace collector::shell::detail {

// An owning pointer to an interface that the library requires at a boundary: a null source leaves it
// empty; a source that refuses the interface throws "Unable to QueryInterface" with the HRESULT.
template <class Interface, const IID* piid>
class CComQIPtrStrong : public CComPtr<Interface> {
public:
    explicit CComQIPtrStrong(IUnknown* source)
    {
        if (const HRESULT hr = source ? source->QueryInterface(*piid, reinterpret_cast<void**>(&this->p)) : S_OK; FAILED(hr))
            throw_at_site(CHResultException(L"Unable to QueryInterface", {}, hr, nullptr, false), COLLECTOR_THROW_SITE_AT(25));
    }
};

// Calls one operation of a component object. A failed HRESULT is raised with the object and the id of
// the operation's interface (with the object's error information when it offers it for that
// interface); any success, S_FALSE included, is given back.
template <class Interface, class... Params, class... Args>
HRESULT call(std::type_identity_t<Interface>* object, HRESULT (Interface::*operation)(Params...), Args&&... args)
{
    const HRESULT hr = (object->*operation)(std::forward<Args>(args)...);
    if (FAILED(hr))
        _com_issue_errorex(hr, object, __uuidof(Interface));
    return hr;
}

// The component's copy of a name: exactly the characters of the view, an empty BSTR for an empty view.
inline _bstr_t make_bstr(std::wstring_view text)
{
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!bstr)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(bstr, false);
}

// The result checker at `site`; the result of the call it judges is assigned to it.
inline __exclude__result_checker_t checked_at(const throw_site_t& site) noexcept
{
    return __exclude__result_checker_t(site.function, site.file, site.line);
}

// `object`'s interface I, or null when it refuses, whatever the reason.
template <class I>
CComPtr<I> answered(IUnknown* object)
{
    CComPtr<I> result;
    if (!object || FAILED(object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&result))))
        return nullptr;
    return result;
}

// Asks `source` for an interface that the operation needs: a refusal is judged by the result checker
// at `site`; a null pointer returned with success raises E_POINTER.
template <class Interface>
CComPtr<Interface> query_required(IUnknown* source, const throw_site_t& site)
{
    CComPtr<Interface> result;
    checked_at(site) = source->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(&result));
    if (!result)
        _com_issue_error(E_POINTER);
    return result;
}

// The implementation of a handle that may be empty; an empty one throws "<class> is null".
template <class Impl>
Impl& require(const std::shared_ptr<Impl>& impl, std::wstring_view class_name, const throw_site_t& site)
{
    if (!impl)
        throw_condition(tstring(class_name) + L" is null", site);
    return *impl;
}

// The barrier itself: runs `body(context)` and turns what it throws into an HRESULT. A COstraException
// or _com_error also sets the thread's error information from the COM error it carries; anything else
// gives E_UNEXPECTED. The catching happens inside the library, whose runtime knows the exception.
COLLECTOR_SHELL_API HRESULT RunBehindBarrier(void (*body)(void*), void* context) noexcept;

// The barrier between the body of a COM method that the library implements and the component:
// S_OK when the body completes, the HRESULT of what it throws otherwise. Nothing crosses it.
template <class Body>
HRESULT ExceptionToHResult(Body&& body) noexcept
{
    using body_t = std::remove_reference_t<Body>;
    return RunBehindBarrier([](void* context) { (*static_cast<body_t*>(context))(); },
                            const_cast<void*>(static_cast<const void*>(std::addressof(body))));
}

} // namespace collector::shell::detail

namespace {
[[maybe_unused]] const bool com_raiser_installed = (_set_com_error_handler(&__exclude__com_raise_error), true);
}
