#include "Terminal.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <sys/ioctl.h>
#  include <unistd.h>
#endif

namespace collector::cli {

namespace {

// Written by the signal handler, so lock-free.
std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr int stop_signals[] = {SIGINT, SIGTERM};

extern "C" void on_stop_signal(int signal)
{
    stop_flag.store(true);
    // The next one ends the program.
    std::signal(signal, SIG_DFL);
}

} // namespace

bool output_is_terminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

window_size_t window_size()
{
    constexpr window_size_t fallback{80, 24};
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return fallback;
    return {static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1),
            static_cast<std::size_t>(info.srWindow.Bottom - info.srWindow.Top + 1)};
#else
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return fallback;
    return {size.ws_col, size.ws_row};
#endif
}

stop_request_t::stop_request_t()
{
    stop_flag.store(false);
    for (const int signal : stop_signals)
        std::signal(signal, on_stop_signal);
}

stop_request_t::~stop_request_t()
{
    for (const int signal : stop_signals)
        std::signal(signal, SIG_DFL);
}

bool stop_request_t::requested() const noexcept
{
    return stop_flag.load();
}

void stop_request_t::wait_for(std::chrono::milliseconds period) const
{
    // A handler may not wake a condition variable, so the flag is polled in short steps.
    constexpr std::chrono::milliseconds step{20};
    for (auto waited = std::chrono::milliseconds::zero(); waited < period && !requested(); waited += step)
        std::this_thread::sleep_for(step);
}

} // namespace collector::cli
