// What the program needs of its terminal and of the operating system: whether the output is a terminal,
// the window's size, and a stop request from Ctrl-C.
#pragma once

#include <chrono>
#include <cstddef>

namespace collector::cli {

// True when standard output is a terminal: only then does the program move the cursor or use colour.
bool output_is_terminal();

struct window_size_t {
    std::size_t columns;
    std::size_t rows;
};

// The terminal's window, or 80 x 24 when it cannot be read.
window_size_t window_size();

// The escape sequence that clears the screen and puts the cursor at its top left corner.
inline constexpr const char* clear_screen = "\x1b[H\x1b[2J";

// While it lives, the first Ctrl-C (or termination request) asks the program to stop instead of
// ending it; a second one ends the program at once, as usual.
class stop_request_t {
public:
    stop_request_t();
    ~stop_request_t();
    stop_request_t(const stop_request_t&) = delete;
    stop_request_t& operator=(const stop_request_t&) = delete;

    bool requested() const noexcept;
    // Sleeps for at most `period`, less when a stop is requested meanwhile.
    void wait_for(std::chrono::milliseconds period) const;
};

} // namespace collector::cli
