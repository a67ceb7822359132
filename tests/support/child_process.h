// Child processes for the tests: a program of the test program's own folder, started with arguments, its
// standard output and error read as they come. The test may wait for a text, interrupt the child or end
// it; a child still running when the test lets go of it is ended and waited for.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fake {

// The program of the tests' folder that waits, a minute at most, until it is ended.
inline const std::string waiting_program = "cli_test_child";

// What a child left: its exit code and its output, with LF line ends on every platform.
struct outcome_t {
    int exit_code;
    std::string out;
    std::string err;
};

class child_process_t {
public:
    child_process_t(const std::string& program, const std::vector<std::string>& arguments = {})
    {
#if defined(_WIN32)
        wchar_t own[MAX_PATH];
        GetModuleFileNameW(nullptr, own, MAX_PATH);
        path_ = std::filesystem::path(own).parent_path() / (program + ".exe");
#else
        path_ = std::filesystem::read_symlink("/proc/self/exe").parent_path() / program;
#endif
        command_line_ = path_.wstring();
        for (const auto& argument : arguments)
            command_line_ += L" " + std::wstring(argument.begin(), argument.end());
        start(arguments);
    }
    ~child_process_t()
    {
        if (!exit_code_) {
            kill();
            wait();
        }
    }
    child_process_t(const child_process_t&) = delete;
    child_process_t& operator=(const child_process_t&) = delete;

    // The name that process lists show, and the command line with its arguments joined by single spaces.
    std::wstring name() const { return path_.filename().wstring(); }
    const std::wstring& command_line() const { return command_line_; }

    // Waits until the standard output holds `text`, for `timeout` at most; the failure shows the output.
    testing::AssertionResult wait_for_output(const std::string& text, std::chrono::seconds timeout) const
    {
        std::unique_lock lock(mutex_);
        if (grown_.wait_for(lock, timeout, [&] { return out_.text.find(text) != std::string::npos; }))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "no " << text << " in the output:\n" << out_.text;
    }

    // Waits for the end and returns what the process left.
    outcome_t wait()
    {
        for (reader_t* reader : {&out_, &err_})
            if (reader->thread.joinable())
                reader->thread.join();
        if (!exit_code_)
            exit_code_ = wait_for_exit();
        return {*exit_code_, with_lf_lines(out_.text), with_lf_lines(err_.text)};
    }

#if defined(_WIN32)
    LONG id() const { return static_cast<LONG>(process_.dwProcessId); }
    static LONG own_id() { return static_cast<LONG>(GetCurrentProcessId()); }
    // Ctrl-C cannot be sent to another process here.
    bool interrupt() { return false; }
    void kill() { TerminateProcess(process_.hProcess, 1); }
#else
    LONG id() const { return pid_; }
    static LONG own_id() { return getpid(); }
    bool interrupt() { return ::kill(pid_, SIGINT) == 0; }
    void kill() { ::kill(pid_, SIGKILL); }
#endif

private:
    // The text that a thread appends from a pipe until the writer closes it.
    struct reader_t {
        std::string text;
        std::jthread thread;
    };

#if defined(_WIN32)
    using pipe_t = HANDLE;

    void start(const std::vector<std::string>& arguments)
    {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE out_read, out_write, err_read, err_write;
        if (!CreatePipe(&out_read, &out_write, &inherited, 0) || !CreatePipe(&err_read, &err_write, &inherited, 0))
            throw std::runtime_error("CreatePipe failed");
        SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
        // The tests' arguments hold no quotes, so quoting each is enough.
        std::wstring quoted = L"\"" + path_.wstring() + L"\"";
        for (const auto& argument : arguments)
            quoted += L" \"" + std::wstring(argument.begin(), argument.end()) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out_write;
        startup.hStdError = err_write;
        const BOOL started = CreateProcessW(path_.wstring().c_str(), quoted.data(), nullptr, nullptr, TRUE,
                                            0, nullptr, nullptr, &startup, &process_);
        CloseHandle(out_write);
        CloseHandle(err_write);
        read(out_, out_read);
        read(err_, err_read);
        if (!started)
            throw std::runtime_error("CreateProcess failed");
    }
    int wait_for_exit()
    {
        WaitForSingleObject(process_.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        return static_cast<int>(code);
    }

    PROCESS_INFORMATION process_{};
#else
    using pipe_t = int;

    // The pipes close on exec, so that no other child keeps them open; dup2 makes the child's ends stay.
    void start(const std::vector<std::string>& arguments)
    {
        int out_pipe[2];
        int err_pipe[2];
        if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
        std::string path = path_.string();
        std::vector<std::string> copies(arguments);
        std::vector<char*> argv{path.data()};
        for (auto& argument : copies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int failed = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out_pipe[1]);
        ::close(err_pipe[1]);
        read(out_, out_pipe[0]);
        read(err_, err_pipe[0]);
        if (failed)
            throw std::runtime_error("posix_spawn failed: " + path);
    }
    int wait_for_exit()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t pid_ = -1;
#endif

    void read(reader_t& reader, pipe_t pipe)
    {
        reader.thread = std::jthread([this, &reader, pipe] {
            char buffer[4096];
            for (;;) {
#if defined(_WIN32)
                DWORD read = 0;
                if (!ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) || read == 0)
                    break;
#else
                const ssize_t read = ::read(pipe, buffer, sizeof buffer);
                if (read <= 0)
                    break;
#endif
                const std::lock_guard lock(mutex_);
                reader.text.append(buffer, static_cast<std::size_t>(read));
                grown_.notify_all();
            }
#if defined(_WIN32)
            CloseHandle(pipe);
#else
            ::close(pipe);
#endif
        });
    }

    // Windows programs end their text lines with CR LF.
    static std::string with_lf_lines(std::string text)
    {
        for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", end))
            text.erase(end, 1);
        return text;
    }

    std::filesystem::path path_;
    std::wstring command_line_;
    mutable std::mutex mutex_;
    mutable std::condition_variable grown_;
    reader_t out_;
    reader_t err_;
    std::optional<int> exit_code_;
};

// Runs the program to its end.
inline outcome_t run(const std::string& program, const std::vector<std::string>& arguments)
{
    return child_process_t(program, arguments).wait();
}

} // namespace fake
