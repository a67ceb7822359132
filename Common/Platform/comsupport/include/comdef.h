// The compiler's COM support for hosts whose compiler has none: `_com_error`, the error handler and
// the smart-pointer typedefs.
//
// Failures of the wrappers call `_com_issue_error(hr)`, which calls the handler installed with
// `_set_com_error_handler` (by default `_com_raise_error`, which throws `_com_error`). As with the
// Windows compilers' support library, the handler pointer belongs to the module (each shared library
// and executable has its own). `_com_issue_errorex` is declared here and defined by the library that
// uses it, as the Windows build requires.
#pragma once

#include <ole2.h>
#include <olectl.h>

#include <comutil.h>

#include <cstdio>
#include <cstring>
#include <string>

class _com_error;

void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid);

namespace _com_util {
// The character type of `_com_error::ErrorMessage`: TCHAR, wide when UNICODE is defined.
#if defined(UNICODE)
typedef wchar_t message_char;
#else
typedef char message_char;
#endif

// The system's text for well-known HRESULTs, or NULL.
inline const char* KnownErrorText(HRESULT hr) noexcept
{
    struct Entry {
        HRESULT hr;
        const char* text;
    };
    static constexpr Entry known[] = {
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_ABORT, "Operation aborted"},
        {E_FAIL, "Unspecified error"},
        {E_ACCESSDENIED, "Access is denied."},
        {E_HANDLE, "The handle is invalid."},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
        {E_INVALIDARG, "The parameter is incorrect."},
        {DISP_E_MEMBERNOTFOUND, "Member not found."},
        {DISP_E_PARAMNOTFOUND, "Parameter not found."},
        {DISP_E_TYPEMISMATCH, "Type mismatch."},
        {DISP_E_BADVARTYPE, "Bad variable type."},
        {DISP_E_EXCEPTION, "Exception occurred."},
        {DISP_E_OVERFLOW, "Out of present range."},
        {DISP_E_BADINDEX, "Invalid index."},
        {DISP_E_ARRAYISLOCKED, "Memory is locked."},
        {DISP_E_DIVBYZERO, "Division by zero."},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    };
    for (const Entry& entry : known) {
        if (entry.hr == hr)
            return entry.text;
    }
    return nullptr;
}
} // namespace _com_util

// An HRESULT and, optionally, the IErrorInfo that describes it; copies share the error information.
class _com_error {
public:
    // fAddRef false takes over the caller's reference to perrinfo.
    _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept
        : m_hresult(hr), m_perrinfo(perrinfo)
    {
        if (m_perrinfo && fAddRef)
            m_perrinfo->AddRef();
    }
    _com_error(const _com_error& that) noexcept : m_hresult(that.m_hresult), m_perrinfo(that.m_perrinfo)
    {
        if (m_perrinfo)
            m_perrinfo->AddRef();
    }
    virtual ~_com_error()
    {
        if (m_perrinfo)
            m_perrinfo->Release();
    }
    _com_error& operator=(const _com_error& that) noexcept
    {
        if (this != &that) {
            if (that.m_perrinfo)
                that.m_perrinfo->AddRef();
            if (m_perrinfo)
                m_perrinfo->Release();
            m_hresult = that.m_hresult;
            m_perrinfo = that.m_perrinfo;
            m_message.clear();
        }
        return *this;
    }

    HRESULT Error() const noexcept { return m_hresult; }
    WORD WCode() const noexcept { return HRESULTToWCode(m_hresult); }
    // A new reference, which the caller releases.
    IErrorInfo* ErrorInfo() const noexcept
    {
        if (m_perrinfo)
            m_perrinfo->AddRef();
        return m_perrinfo;
    }
    _bstr_t Description() const { return _Text(&IErrorInfo::GetDescription); }
    DWORD HelpContext() const noexcept
    {
        DWORD context = 0;
        if (m_perrinfo && FAILED(m_perrinfo->GetHelpContext(&context)))
            context = 0;
        return context;
    }
    _bstr_t HelpFile() const { return _Text(&IErrorInfo::GetHelpFile); }
    _bstr_t Source() const { return _Text(&IErrorInfo::GetSource); }
    GUID GUID_() const noexcept
    {
        GUID guid = GUID_NULL;
        if (m_perrinfo && FAILED(m_perrinfo->GetGUID(&guid)))
            guid = GUID_NULL;
        return guid;
    }
    // The system's text for the HRESULT, else "IDispatch error #n" for a dispatch error code, else
    // "Unknown error 0x...".
    const _com_util::message_char* ErrorMessage() const noexcept
    {
        if (m_message.empty())
            m_message = _Message();
        return m_message.c_str();
    }

    // Dispatch exception codes (EXCEPINFO::wCode) and the FACILITY_ITF HRESULTs that carry them.
    static HRESULT WCodeToHRESULT(WORD wCode) noexcept
    {
        return wCode >= 0xFE00 ? WCODE_HRESULT_LAST : WCODE_HRESULT_FIRST + wCode;
    }
    static WORD HRESULTToWCode(HRESULT hr) noexcept
    {
        return (hr >= WCODE_HRESULT_FIRST && hr <= WCODE_HRESULT_LAST) ? static_cast<WORD>(hr - WCODE_HRESULT_FIRST)
                                                                         : 0;
    }

private:
    static constexpr HRESULT WCODE_HRESULT_FIRST = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200);
    static constexpr HRESULT WCODE_HRESULT_LAST = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF + 1, 0) - 1;

    // One text field of the error information; empty when there is none.
    _bstr_t _Text(HRESULT (STDMETHODCALLTYPE IErrorInfo::*get)(BSTR*)) const
    {
        BSTR text = nullptr;
        if (m_perrinfo && FAILED((m_perrinfo->*get)(&text)))
            text = nullptr;
        return _bstr_t(text, false);
    }
    std::basic_string<_com_util::message_char> _Message() const
    {
        char buffer[40];
        const char* text = _com_util::KnownErrorText(m_hresult);
        if (!text) {
            if (WCode() != 0)
                std::snprintf(buffer, sizeof buffer, "IDispatch error #%u", static_cast<unsigned>(WCode()));
            else
                std::snprintf(buffer, sizeof buffer, "Unknown error 0x%X", static_cast<unsigned>(m_hresult));
            text = buffer;
        }
        // The texts are ASCII, so widening them character by character is exact.
        return std::basic_string<_com_util::message_char>(text, text + std::strlen(text));
    }

    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
    mutable std::basic_string<_com_util::message_char> m_message;
};

namespace _com_util {
typedef void(WINAPI* ErrorHandler)(HRESULT hr, IErrorInfo* perrinfo);
} // namespace _com_util

// The default handler: throws `_com_error`, which takes over the reference to perrinfo.
[[noreturn]] inline void WINAPI _com_raise_error(HRESULT hr, IErrorInfo* perrinfo = nullptr)
{
    throw _com_error(hr, perrinfo);
}

namespace _com_util {
// Hidden, so that every module keeps its own handler, as a static support library gives on Windows.
__attribute__((visibility("hidden"))) inline ErrorHandler error_handler = &_com_raise_error;
} // namespace _com_util

inline void WINAPI _set_com_error_handler(void(WINAPI* pHandler)(HRESULT hr, IErrorInfo* perrinfo))
{
    _com_util::error_handler = pHandler;
}

inline void WINAPI _com_issue_error(HRESULT hr)
{
    _com_util::error_handler(hr, nullptr);
}

#include <comip.h>

#if !defined(_COM_SMARTPTR)
#define _COM_SMARTPTR _com_ptr_t
#define _COM_SMARTPTR_LEVEL2 _com_IIID
#endif

// `Interface##Ptr`, a `_com_ptr_t` over Interface with the interface id aIID. The id is handed over
// through a function, since `__uuidof` is not a constant expression here either.
#if !defined(_COM_SMARTPTR_TYPEDEF)
#define _COM_SMARTPTR_TYPEDEF(Interface, aIID)                                  \
    inline const IID& __##Interface##_IID_getter() { return aIID; }             \
    typedef _COM_SMARTPTR<_com_IIID_getter<Interface, __##Interface##_IID_getter>> Interface##Ptr
#endif
