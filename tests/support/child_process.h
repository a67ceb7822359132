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
        : path_(path_of(program)), command_line_(path_.wstring())
    {
        for (const auto& argument : arguments)
            command_line_ += L" " + std::wstring(argument.begin(), argument.end());
        pipe_t out, err;
        const bool started = spawn(arguments, out, err);
        out_.thread = read(out_.text, out);
        err_.thread = read(err_.text, err);
        if (!started)
            throw std::runtime_error("cannot start " + path_.string());
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

    // Waits for the end and returns what the process left; Windows programs end their lines with CR LF.
    outcome_t wait()
    {
        out_.thread = {}; // joins the reader, which ends when the child's end of the pipe closes
        err_.thread = {};
        if (!exit_code_)
            exit_code_ = wait_for_exit();
        std::erase(out_.text, '\r');
        std::erase(err_.text, '\r');
        return {*exit_code_, out_.text, err_.text};
    }

#if defined(_WIN32)
    LONG id() const { return static_cast<LONG>(process_.dwProcessId); }
    static LONG own_id() { return static_cast<LONG>(GetCurrentProcessId()); }
    // Ctrl-C cannot be sent to another process here.
    bool interrupt() { return false; }
    void kill() { TerminateProcess(process_.hProcess, 1); }

private:
    using pipe_t = HANDLE;

    static std::filesystem::path path_of(const std::string& program)
    {
        wchar_t own[MAX_PATH];
        GetModuleFileNameW(nullptr, own, MAX_PATH);
        return std::filesystem::path(own).parent_path() / (program + ".exe");
    }
    static void close_pipe(pipe_t pipe) { CloseHandle(pipe); }
    static long read_some(pipe_t pipe, char* buffer, DWORD size)
    {
        DWORD read = 0;
        return ReadFile(pipe, buffer, size, &read, nullptr) ? static_cast<long>(read) : 0;
    }
    // Starts the child with its output and error into pipes, whose reading ends it does not inherit; the
    // tests' arguments hold no quotes, so quoting each is enough.
    bool spawn(const std::vector<std::string>& arguments, pipe_t& out_read, pipe_t& err_read)
    {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE out_write, err_write;
        if (!CreatePipe(&out_read, &out_write, &inherited, 0) || !CreatePipe(&err_read, &err_write, &inherited, 0))
            throw std::runtime_error("CreatePipe failed");
        SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
        std::wstring quoted = L"\"" + path_.wstring() + L"\"";
        for (const auto& argument : arguments)
            quoted += L" \"" + std::wstring(argument.begin(), argument.end()) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out_write;
        startup.hStdError = err_write;
        const BOOL started = CreateProcessW(path_.wstring().c_str(), quoted.data(), nullptr, nullptr, TRUE, 0,
                                            nullptr, nullptr, &startup, &process_);
        CloseHandle(out_write);
        CloseHandle(err_write);
        return started;
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
    LONG id() const { return pid_; }
    static LONG own_id() { return getpid(); }
    bool interrupt() { return ::kill(pid_, SIGINT) == 0; }
    void kill() { ::kill(pid_, SIGKILL); }

private:
    using pipe_t = int;

    static std::filesystem::path path_of(const std::string& program)
    {
        return std::filesystem::read_symlink("/proc/self/exe").parent_path() / program;
    }
    static void close_pipe(pipe_t pipe) { ::close(pipe); }
    static long read_some(pipe_t pipe, char* buffer, std::size_t size) { return ::read(pipe, buffer, size); }
    // Starts the child with its output and error into pipes. They close on exec, so that no other child
    // keeps them open; dup2 makes the child's ends stay.
    bool spawn(const std::vector<std::string>& arguments, pipe_t& out_read, pipe_t& err_read)
    {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        std::vector<std::string> words{path_.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_read = out[0];
        err_read = err[0];
        return failed == 0;
    }
    int wait_for_exit()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t pid_ = -1;
#endif

    // A thread that appends what comes through the pipe to `text` until the writer closes it.
    std::jthread read(std::string& text, pipe_t pipe)
    {
        return std::jthread([this, &text, pipe] {
            char buffer[4096];
            for (long count; (count = read_some(pipe, buffer, sizeof buffer)) > 0;) {
                const std::lock_guard lock(mutex_);
                text.append(buffer, static_cast<std::size_t>(count));
                grown_.notify_all();
            }
            close_pipe(pipe);
        });
    }

    struct reader_t {
        std::string text;
        std::jthread thread;
    };

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
