// The ATL subset: `CAtlException`, `AtlThrow` and `ATLASSERT`.
//
// The ATL classes report failures that they cannot return as an HRESULT through `AtlThrow(hr)`.
// By default `AtlThrow` calls `AtlThrowImpl`, which throws `CAtlException`. A project that wants
// another exception defines `_ATL_CUSTOM_THROW` and declares its own `AtlThrow(HRESULT)` (a function
// in the global or ATL namespace, or a macro) before including any ATL header; it should not return.
#pragma once

#include <windows.h>

#include <cassert>

#ifndef ATLASSERT
#define ATLASSERT(expr) assert(expr)
#endif

// `class ATL_NO_VTABLE CFoo`: a Microsoft compiler optimisation for abstract classes; nothing here.
#ifndef ATL_NO_VTABLE
#define ATL_NO_VTABLE
#endif

namespace ATL {

class CAtlException {
public:
    CAtlException() noexcept : m_hr(E_FAIL) {}
    CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }

    HRESULT m_hr;
};

#if !defined(_ATL_CUSTOM_THROW)
[[noreturn]] inline void WINAPI AtlThrowImpl(HRESULT hr)
{
    throw CAtlException(hr);
}
#if !defined(AtlThrow)
[[noreturn]] inline void WINAPI AtlThrow(HRESULT hr)
{
    AtlThrowImpl(hr);
}
#endif
#endif

} // namespace ATL
