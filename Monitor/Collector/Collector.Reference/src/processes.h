// The processes of this machine as the live record class sees them, read straight from the system:
// /proc elsewhere than Windows, the process snapshot and process queries on Windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace collector::reference {

// One visible process. Fields that the caller may not query (another user's process) stay at their
// defaults: an empty text, zero.
struct process_t {
    LONG id = 0;
    LONG parent_id = 0;
    std::wstring name;          // the executable's file name, without its folder
    std::wstring command_line;  // the arguments joined by single spaces
    LONG thread_count = 0;
    ULONGLONG resident_bytes = 0;
    DATE start_time = 0;        // UTC
    std::wstring user_name;

    bool operator==(const process_t&) const = default;
};

// Why a call on the system failed: the HRESULT and a text for the error information.
struct process_failure_t {
    HRESULT hr = S_OK;
    std::wstring text;
};

// Every process visible to this one, in no particular order. Processes that end while they are read
// are left out.
std::vector<process_t> ReadProcesses();

// Ends process `id` at once. E_ACCESSDENIED when the caller may not signal it, E_INVALIDARG when no
// such process runs; S_OK (and an empty text) otherwise.
process_failure_t TerminateProcessById(LONG id);

std::wstring LocalHostName();
std::wstring CurrentUserName();

}  // namespace collector::reference
