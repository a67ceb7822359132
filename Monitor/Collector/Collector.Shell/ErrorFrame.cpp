// The COM error path of the library: raising a failed component operation with the component's error
// information, and turning exceptions back into HRESULTs at the boundary of the library's own COM
// methods.
#include "pch.h"

#include <collector/shell/Guid.h>

#include <boost/exception/get_error_info.hpp>

namespace collector::shell {

const GUID EMPTY_GUID = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace detail {
namespace {

// The component's error information for a failed call through `iid`, taken only when the object says
// that it keeps error information for that interface.
IErrorInfo* error_info_for(IUnknown* object, REFIID iid)
{
    if (!object)
        return nullptr;
    CComPtr<ISupportErrorInfo> support;
    if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) || !support ||
        support->InterfaceSupportsErrorInfo(iid) != S_OK)
        return nullptr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK)
        return nullptr;
    return info;
}

// Hands the COM error's information (possibly none, which clears it) to the thread's error slot.
void restore_error_info(const _com_error& error)
{
    CComPtr<IErrorInfo> info;
    info.Attach(error.ErrorInfo());
    SetErrorInfo(0, info);
}

} // namespace

HRESULT RunBehindBarrier(void (*body)(void*), void* context) noexcept
{
    try {
        body(context);
        return S_OK;
    } catch (const COstraException& e) {
        if (const _com_error* error = boost::get_error_info<com_error_info>(e))
            restore_error_info(*error);
        return get_hresult(e);
    } catch (const _com_error& e) {
        restore_error_info(e);
        return e.Error();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace detail
} // namespace collector::shell

void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid)
{
    __exclude__com_raise_error(hr, collector::shell::detail::error_info_for(object, iid));
}
