// Runs programs for the command-line tests: a child with its output read as it comes, which the test
// can interrupt and which is ended when the test lets go of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cli_test {

struct outcome_t {
    int exit_code;
    std::string out;
    std::string err;
};

class child_process_t {
public:
    // Starts `program` (a file in the test program's own folder) with `arguments`; its standard output
    // and error are read into memory.
    child_process_t(const std::string& program, const std::vector<std::string>& arguments);
    // Ends the process if it still runs, and waits for it.
    ~child_process_t();
    child_process_t(const child_process_t&) = delete;
    child_process_t& operator=(const child_process_t&) = delete;

    std::int64_t id() const;
    // The standard output read so far. Here and in the outcome, lines end with LF on every platform.
    std::string output() const;
    // Waits until the output holds `text`, for `timeout` at most; false when it did not come.
    bool wait_for_output(const std::string& text, std::chrono::seconds timeout) const;
    // Sends Ctrl-C (SIGINT); where that cannot be sent to another process, returns false.
    bool interrupt();
    // Ends the process without warning.
    void kill();
    // Waits for the end and returns what the process left.
    outcome_t wait();

private:
    struct impl_t;
    std::unique_ptr<impl_t> impl_;
};

// Runs the program to its end.
outcome_t run(const std::string& program, const std::vector<std::string>& arguments);

// The process id of the test itself.
std::int64_t own_process_id();

} // namespace cli_test
