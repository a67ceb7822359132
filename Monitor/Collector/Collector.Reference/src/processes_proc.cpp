// The process reader elsewhere than Windows: one directory of /proc per process.
#if !defined(_WIN32)

#include "processes.h"

#include <comutil.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace collector::reference {
namespace {

// Names and arguments are UTF-8 on this side; malformed bytes become U+FFFD.
std::wstring widen(const std::string& text)
{
    const _bstr_t wide(text.c_str());
    return std::wstring(static_cast<const wchar_t*>(wide), wide.length());
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string base_name(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The arguments, stored NUL-separated (each one NUL-ended), joined by single spaces.
std::string joined_arguments(std::string raw)
{
    while (!raw.empty() && raw.back() == '\0')
        raw.pop_back();
    for (char& c : raw)
        if (c == '\0')
            c = ' ';
    return raw;
}

// The executable behind the process, when the caller may see it; else the kernel's short name.
std::string executable_name(const std::string& dir, const std::string& short_name)
{
    char target[4096];
    const ssize_t length = readlink((dir + "/exe").c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof target)
        return short_name;
    std::string path(target, static_cast<std::size_t>(length));
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.resize(path.size() - deleted.size());
    return base_name(path);
}

std::string user_name_of(uid_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

// The system's boot time in seconds since 1970, from which process start times count.
long long boot_time()
{
    std::istringstream in(read_file("/proc/stat"));
    std::string key;
    while (in >> key) {
        if (key == "btime") {
            long long seconds = 0;
            in >> seconds;
            return seconds;
        }
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

DATE date_from_unix(double seconds)
{
    constexpr double unix_epoch_date = 25569.0;  // 1970-01-01 as an OLE date
    return unix_epoch_date + seconds / 86400.0;
}

// Reads /proc/<id>; false when the process ended meanwhile.
bool read_process(const std::string& dir, long long boot, process_t& process)
{
    const std::string stat = read_file(dir + "/stat");
    // "pid (comm) state ppid ...": comm may hold spaces and parentheses, so it ends at the last ')'.
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    long long ppid = 0, ticks_since_boot = 0, rss_pages = 0, threads = 0, skip = 0;
    rest >> state >> ppid;
    for (int field = 5; field < 20; ++field)
        rest >> skip;
    rest >> threads >> skip >> ticks_since_boot >> skip >> rss_pages;
    if (!rest)
        return false;

    struct stat owner {};
    if (::stat(dir.c_str(), &owner) != 0)
        return false;

    process.id = static_cast<LONG>(std::stol(base_name(dir)));
    process.parent_id = static_cast<LONG>(ppid);
    process.name = widen(executable_name(dir, stat.substr(open + 1, close - open - 1)));
    process.command_line = widen(joined_arguments(read_file(dir + "/cmdline")));
    process.thread_count = static_cast<LONG>(threads);
    process.resident_bytes = static_cast<ULONGLONG>(rss_pages) * static_cast<ULONGLONG>(sysconf(_SC_PAGESIZE));
    process.start_time =
        date_from_unix(static_cast<double>(boot) + static_cast<double>(ticks_since_boot) / sysconf(_SC_CLK_TCK));
    process.user_name = widen(user_name_of(owner.st_uid));
    return true;
}

}  // namespace

std::vector<process_t> ReadProcesses()
{
    std::vector<process_t> processes;
    DIR* proc = opendir("/proc");
    if (!proc)
        return processes;
    const long long boot = boot_time();
    while (const dirent* entry = readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        process_t process;
        if (read_process("/proc/" + name, boot, process))
            processes.push_back(std::move(process));
    }
    closedir(proc);
    return processes;
}

process_failure_t TerminateProcessById(LONG id)
{
    if (id > 0 && kill(static_cast<pid_t>(id), SIGKILL) == 0)
        return {};
    const int error = id > 0 ? errno : ESRCH;
    if (error == EPERM)
        return {E_ACCESSDENIED, L"Access is denied to process " + std::to_wstring(id)};
    return {E_INVALIDARG, L"No process has id " + std::to_wstring(id)};
}

std::wstring LocalHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return L"localhost";
    return widen(name);
}

std::wstring CurrentUserName()
{
    return widen(user_name_of(geteuid()));
}

}  // namespace collector::reference

#endif
