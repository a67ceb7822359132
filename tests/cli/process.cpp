#include "cli/process.h"

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
extern char** environ;
#endif

namespace cli_test {

namespace {

#if defined(_WIN32)
using pipe_t = HANDLE;

std::filesystem::path own_folder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

std::size_t read_some(pipe_t pipe, char* buffer, std::size_t size)
{
    DWORD read = 0;
    return ReadFile(pipe, buffer, static_cast<DWORD>(size), &read, nullptr) ? read : 0;
}

void close_pipe(pipe_t pipe)
{
    CloseHandle(pipe);
}
#else
using pipe_t = int;

std::filesystem::path own_folder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::size_t read_some(pipe_t pipe, char* buffer, std::size_t size)
{
    const ssize_t read = ::read(pipe, buffer, size);
    return read > 0 ? static_cast<std::size_t>(read) : 0;
}

void close_pipe(pipe_t pipe)
{
    ::close(pipe);
}
#endif

// Appends what a pipe delivers to a text until the writer closes it.
class reader_t {
public:
    reader_t(pipe_t pipe, std::mutex& mutex, std::condition_variable& grown)
        : thread_([this, pipe, &mutex, &grown] {
              char buffer[4096];
              while (const std::size_t read = read_some(pipe, buffer, sizeof buffer)) {
                  const std::lock_guard lock(mutex);
                  text_.append(buffer, read);
                  grown.notify_all();
              }
              close_pipe(pipe);
          })
    {
    }
    ~reader_t() { join(); }

    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    // Read under the mutex given at construction.
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::thread thread_;
};

// The text with LF line ends: Windows programs end their text lines with CR LF.
std::string with_lf_lines(std::string text)
{
    for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", end))
        text.erase(end, 1);
    return text;
}

} // namespace

struct child_process_t::impl_t {
#if defined(_WIN32)
    PROCESS_INFORMATION process{};
#else
    pid_t pid = -1;
#endif
    mutable std::mutex mutex;
    mutable std::condition_variable grown;
    std::optional<reader_t> out;
    std::optional<reader_t> err;
    std::optional<int> exit_code;

    void start(const std::filesystem::path& program, const std::vector<std::string>& arguments);
    int wait_for_exit();
};

#if defined(_WIN32)
void child_process_t::impl_t::start(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    if (!CreatePipe(&out_read, &out_write, &inherited, 0) || !CreatePipe(&err_read, &err_write, &inherited, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);

    // The tests' arguments hold no quotes, so quoting each is enough.
    std::wstring command_line = L"\"" + program.wstring() + L"\"";
    for (const auto& argument : arguments)
        command_line += L" \"" + std::wstring(argument.begin(), argument.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    const BOOL started = CreateProcessW(program.wstring().c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(out_write);
    CloseHandle(err_write);
    out.emplace(out_read, mutex, grown);
    err.emplace(err_read, mutex, grown);
    if (!started)
        throw std::runtime_error("CreateProcess failed");
}

int child_process_t::impl_t::wait_for_exit()
{
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::int64_t child_process_t::id() const
{
    return impl_->process.dwProcessId;
}

bool child_process_t::interrupt()
{
    return false;
}

void child_process_t::kill()
{
    TerminateProcess(impl_->process.hProcess, 1);
}

std::int64_t own_process_id()
{
    return GetCurrentProcessId();
}
#else
void child_process_t::impl_t::start(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    for (const int end : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
        posix_spawn_file_actions_addclose(&actions, end);

    std::string path = program.string();
    std::vector<char*> argv{path.data()};
    std::vector<std::string> copies(arguments);
    for (auto& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    out.emplace(out_pipe[0], mutex, grown);
    err.emplace(err_pipe[0], mutex, grown);
    if (failed)
        throw std::runtime_error("posix_spawn failed: " + path);
}

int child_process_t::impl_t::wait_for_exit()
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::int64_t child_process_t::id() const
{
    return impl_->pid;
}

bool child_process_t::interrupt()
{
    return ::kill(impl_->pid, SIGINT) == 0;
}

void child_process_t::kill()
{
    ::kill(impl_->pid, SIGKILL);
}

std::int64_t own_process_id()
{
    return getpid();
}
#endif

child_process_t::child_process_t(const std::string& program, const std::vector<std::string>& arguments)
    : impl_(std::make_unique<impl_t>())
{
    std::filesystem::path path = own_folder() / program;
#if defined(_WIN32)
    path += ".exe";
#endif
    impl_->start(path, arguments);
}

child_process_t::~child_process_t()
{
    if (!impl_->exit_code) {
        kill();
        wait();
    }
}

std::string child_process_t::output() const
{
    const std::lock_guard lock(impl_->mutex);
    return with_lf_lines(impl_->out->text());
}

bool child_process_t::wait_for_output(const std::string& text, std::chrono::seconds timeout) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->grown.wait_for(lock, timeout, [&] { return impl_->out->text().find(text) != std::string::npos; });
}

outcome_t child_process_t::wait()
{
    impl_->out->join();
    impl_->err->join();
    if (!impl_->exit_code)
        impl_->exit_code = impl_->wait_for_exit();
    return {*impl_->exit_code, with_lf_lines(impl_->out->text()), with_lf_lines(impl_->err->text())};
}

outcome_t run(const std::string& program, const std::vector<std::string>& arguments)
{
    return child_process_t(program, arguments).wait();
}

} // namespace cli_test
