// Symbol export of the library. Everything is hidden by default; COLLECTOR_SHELL_API marks what
// programs may call: dllexport/dllimport on Windows, default visibility elsewhere.
#pragma once

#if defined(_WIN32)
#  if defined(COLLECTOR_SHELL_BUILDING)
#    define COLLECTOR_SHELL_API __declspec(dllexport)
#  else
#    define COLLECTOR_SHELL_API __declspec(dllimport)
#  endif
#else
#  define COLLECTOR_SHELL_API __attribute__((visibility("default")))
#endif
