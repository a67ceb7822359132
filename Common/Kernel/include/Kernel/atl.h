// Routes the failures of the ATL wrappers (CComSafeArray, CComBSTR, ...) to the kernel's thrower, so
// that they arrive as CHResultException like every other failed HRESULT. Include it before any ATL
// header: once an ATL header came first, ATL's own thrower serves the whole translation unit. The
// kernel's headers that use ATL include it.
#pragma once

#include "failure.h"

#if !defined(_ATL_CUSTOM_THROW)
#define _ATL_CUSTOM_THROW
#endif

[[noreturn]] inline void WINAPI AtlThrow(HRESULT hr)
{
    __exclude__AtlThrowImpl(hr);
}
