// The thread's last-error value, as kernel32 keeps it.
#include <windows.h>

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError() { return last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { last_error = dwErrCode; }

// Windows tells debuggers apart from SetLastError here; the value kept is the same.
void WINAPI RestoreLastError(DWORD dwErrCode) { last_error = dwErrCode; }
