// A child process for the tests of the live process class: it waits until it is ended.
#pragma once

#include <windows.h>

#if !defined(_WIN32)
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fake {

// A child that waits until it is ended: `sleep` elsewhere than Windows, a command interpreter that
// reads an input pipe nobody writes to on Windows. Ended and reaped when the test leaves it.
class child_t {
public:
#if defined(_WIN32)
    static constexpr const wchar_t* name = L"cmd.exe";
    static constexpr const wchar_t* command_line = L"cmd.exe /q /k";

    child_t()
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE read_end = nullptr;
        if (!CreatePipe(&read_end, &input_, &inherit, 0))
            return;
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = read_end;
        std::wstring text = command_line;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, text.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = static_cast<LONG>(info.dwProcessId);
        }
        CloseHandle(read_end);
    }
    ~child_t()
    {
        if (process_) {
            TerminateProcess(process_, 1);
            Reap();
            CloseHandle(process_);
        }
        if (input_)
            CloseHandle(input_);
    }
    // Waits for the child's end; true when it ended.
    bool Reap() { return WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0; }
    static LONG OwnId() { return static_cast<LONG>(GetCurrentProcessId()); }

private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
#else
    static constexpr const wchar_t* name = L"sleep";
    static constexpr const wchar_t* command_line = L"sleep 60";

    child_t()
    {
        char program[] = "sleep";
        char seconds[] = "60";
        char* arguments[] = {program, seconds, nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sleep", nullptr, nullptr, arguments, environ) == 0)
            id_ = pid;
    }
    ~child_t()
    {
        if (id_ && !reaped_) {
            kill(id_, SIGKILL);
            Reap();
        }
    }
    bool Reap()
    {
        int status = 0;
        reaped_ = waitpid(id_, &status, 0) == id_;
        return reaped_;
    }
    static LONG OwnId() { return static_cast<LONG>(getpid()); }

private:
    bool reaped_ = false;
#endif
public:
    LONG Id() const { return id_; }

private:
    LONG id_ = 0;
};

} // namespace fake
