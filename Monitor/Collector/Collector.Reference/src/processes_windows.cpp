// The process reader on Windows: the system's process snapshot, then one query of each process for
// what the snapshot lacks. A process that the caller may not open keeps those fields at their defaults.
#if defined(_WIN32)

#include "processes.h"

// The memory query of kernel32 itself, so that the module needs no import library beyond the defaults.
#define PSAPI_VERSION 2

#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <memory>
#include <string>
#include <vector>

namespace collector::reference {
namespace {

struct handle_closer_t {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using unique_handle_t = std::unique_ptr<void, handle_closer_t>;

unique_handle_t open_process(DWORD access, LONG id)
{
    return unique_handle_t(OpenProcess(access, FALSE, static_cast<DWORD>(id)));
}

DATE date_from_file_time(const FILETIME& time)
{
    // FILETIME counts 100 ns from 1601-01-01, which lies 109205 days before the OLE date's zero.
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks) / 864000000000.0 - 109205.0;
}

// Reads `size` bytes at `address` of another process; false when they are not all readable.
bool read_memory(HANDLE process, const void* address, void* into, SIZE_T size)
{
    SIZE_T read = 0;
    return ReadProcessMemory(process, address, into, size, &read) && read == size;
}

// The process's basic information, asked of ntdll, which every process has loaded.
bool basic_information(HANDLE process, PROCESS_BASIC_INFORMATION& basic)
{
    using query_t = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<query_t>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    return query && query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0;
}

// The command line as the process was given it, from its process parameters.
std::wstring raw_command_line_of(HANDLE process)
{
    PROCESS_BASIC_INFORMATION basic{};
    if (!basic_information(process, basic) || !basic.PebBaseAddress)
        return {};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    if (!read_memory(process, basic.PebBaseAddress, &peb, sizeof peb) ||
        !read_memory(process, peb.ProcessParameters, &parameters, sizeof parameters))
        return {};
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!read_memory(process, parameters.CommandLine.Buffer, text.data(), parameters.CommandLine.Length))
        return {};
    return text;
}

// The process's command line, split as the C runtime splits it and joined by single spaces.
std::wstring command_line_of(HANDLE process)
{
    const std::wstring raw = raw_command_line_of(process);
    int count = 0;
    LPWSTR* arguments = raw.empty() ? nullptr : CommandLineToArgvW(raw.c_str(), &count);
    if (!arguments)
        return raw;
    std::wstring joined;
    for (int i = 0; i < count; ++i)
        joined += (i ? L" " : L"") + std::wstring(arguments[i]);
    LocalFree(arguments);
    return joined;
}

std::wstring user_name_of(HANDLE process)
{
    HANDLE raw_token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw_token))
        return {};
    const unique_handle_t token(raw_token);
    DWORD size = 0;
    GetTokenInformation(raw_token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(raw_token, TokenUser, buffer.data(), size, &size))
        return {};
    wchar_t name[256];
    wchar_t domain[256];
    DWORD name_length = 256, domain_length = 256;
    SID_NAME_USE use;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    if (!LookupAccountSidW(nullptr, user->User.Sid, name, &name_length, domain, &domain_length, &use))
        return {};
    return std::wstring(name, name_length);
}

void query_process(process_t& process)
{
    unique_handle_t handle = open_process(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, process.id);
    if (!handle)
        handle = open_process(PROCESS_QUERY_LIMITED_INFORMATION, process.id);
    if (!handle)
        return;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(handle.get(), &created, &exited, &kernel, &user))
        process.start_time = date_from_file_time(created);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(handle.get(), &memory, sizeof memory))
        process.resident_bytes = memory.WorkingSetSize;
    process.command_line = command_line_of(handle.get());
    process.user_name = user_name_of(handle.get());
}

process_failure_t denied(LONG id)
{
    return {E_ACCESSDENIED, L"Access is denied to process " + std::to_wstring(id)};
}

}  // namespace

std::vector<process_t> ReadProcesses()
{
    std::vector<process_t> processes;
    const HANDLE raw_snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw_snapshot == INVALID_HANDLE_VALUE)
        return processes;
    const unique_handle_t snapshot(raw_snapshot);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        // A process without an image name is still starting (seen under Wine): its command line and start
        // time are not there yet either. It is read whole at the next refresh.
        if (entry.szExeFile[0] == L'\0')
            continue;
        process_t process;
        process.id = static_cast<LONG>(entry.th32ProcessID);
        process.parent_id = static_cast<LONG>(entry.th32ParentProcessID);
        process.name = entry.szExeFile;
        process.thread_count = static_cast<LONG>(entry.cntThreads);
        query_process(process);
        processes.push_back(std::move(process));
    }
    return processes;
}

process_failure_t TerminateProcessById(LONG id)
{
    const process_failure_t missing{E_INVALIDARG, L"No process has id " + std::to_wstring(id)};
    const unique_handle_t handle = open_process(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, id);
    if (!handle)
        return GetLastError() == ERROR_ACCESS_DENIED ? denied(id) : missing;
    // An ended process stays open while anyone holds a handle to it; it is gone all the same.
    DWORD exit_code = 0;
    if (GetExitCodeProcess(handle.get(), &exit_code) && exit_code != STILL_ACTIVE)
        return missing;
    if (!TerminateProcess(handle.get(), 1))
        return GetLastError() == ERROR_ACCESS_DENIED ? denied(id) : missing;
    return {};
}

std::wstring LocalHostName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length))
        return L"localhost";
    return std::wstring(name, length);
}

std::wstring CurrentUserName()
{
    wchar_t name[257];
    DWORD length = 257;
    if (!GetUserNameW(name, &length))
        return {};
    return std::wstring(name, length - 1);  // the length counts the terminating NUL
}

}  // namespace collector::reference

#endif
