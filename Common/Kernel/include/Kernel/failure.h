// The failure hooks: the result checker that judges the result of a call, the raiser installed for
// failed COM calls, and the thrower of the ATL wrappers. Each throws a CHResultException.
#pragma once

#include "exception.h"

#include <cstddef>
#include <string_view>
#include <type_traits>

// Built on the stack right after a call, with the site of that call and an optional message; the
// call's result is then assigned to it, and a result that signals failure is thrown as a
// CHResultException located at the site. A successful result is given back.
//
//     KERNEL_RESULT_CHECKER(L"") = ::CoCreateInstance(...);
//
// The last-error value is read when the checker is built, so that a BOOL, DWORD or pointer result can
// be reported with the error that the call left.
class KERNEL_API __exclude__result_checker_t {
public:
    __exclude__result_checker_t(const char* function, const char* file, int line,
                                std::wstring_view message = {}) noexcept;
    __exclude__result_checker_t(const __exclude__result_checker_t&) = delete;
    virtual ~__exclude__result_checker_t();

    // A null pointer fails with the last error (E_FAIL when there is none).
    virtual const void* operator=(const void* result);
    // A Win32 error code: anything but ERROR_SUCCESS fails.
    virtual DWORD operator=(DWORD result);
#if defined(_WIN32)
    // A BOOL: zero fails with the last error (E_FAIL when there is none).
    virtual int operator=(int result);
#else
    // HRESULT is int on this host, so an int is taken as an HRESULT.
    static_assert(std::is_same_v<HRESULT, int>);
#endif
    // A negative HRESULT fails.
    virtual HRESULT operator=(HRESULT result);

private:
    [[noreturn]] void fail(HRESULT hr) const;
    HRESULT from_last_error() const noexcept;

    DWORD last_error_;
    const char* function_;
    const char* file_;
    int line_;
    const wchar_t* message_;
    std::size_t message_length_;
};

// A result checker at the current site.
#define KERNEL_RESULT_CHECKER(message) __exclude__result_checker_t(KERNEL_FUNCSIG, __FILE__, __LINE__, message)

// The raiser of failed COM calls, installed with _set_com_error_handler. It takes over the reference to
// `info` (which may be null) and throws a CHResultException carrying the HRESULT, the description of
// the error information as its message and the matching _com_error as com_error_info.
[[noreturn]] KERNEL_API void WINAPI __exclude__com_raise_error(HRESULT hr, IErrorInfo* info);

// What the ATL array and string wrappers throw on failure: a CHResultException with that HRESULT.
[[noreturn]] KERNEL_API void WINAPI __exclude__AtlThrowImpl(HRESULT hr);
