// Symbol export of the kernel library. Everything is hidden by default; KERNEL_API marks what other
// modules may call: dllexport/dllimport on Windows, default visibility elsewhere.
#pragma once

#if defined(_WIN32)
#  if defined(KERNEL_BUILDING)
#    define KERNEL_API __declspec(dllexport)
#  else
#    define KERNEL_API __declspec(dllimport)
#  endif
#else
#  define KERNEL_API __attribute__((visibility("default")))
#endif

// The enclosing function's full signature as the compiler spells it; throw sites and log records
// carry it.
#if defined(_MSC_VER)
#  define KERNEL_FUNCSIG __FUNCSIG__
#else
#  define KERNEL_FUNCSIG __PRETTY_FUNCTION__
#endif
