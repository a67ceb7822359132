// The command line of collector-cli: what the user asked for, as parsed by CLI11.
#pragma once

#include <collector/shell.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace collector::cli {

// The class that `watch` follows by default: this machine's processes.
inline constexpr std::wstring_view default_class = L"Process";

// `watch [CLASS]`: follows a collection and shows its records as they change.
struct watch_command_t {
    std::wstring class_name;
    // The field that orders the table; the key when empty.
    std::wstring sort_field;
    bool json = false;
    // Stops by itself after this many seconds; runs until interrupted without.
    std::optional<double> seconds;
};

// `show tasks|hosts|users|resources|classes`.
struct show_command_t {
    std::string listing;
};

// `record CLASS KEY`: one record with its fields, references and methods.
struct record_command_t {
    std::wstring class_name;
    std::wstring key;
    bool json = false;
};

// `call CLASS KEY METHOD [NAME=VALUE ...]`.
struct call_command_t {
    std::wstring class_name;
    std::wstring key;
    std::wstring method;
    std::vector<std::pair<std::wstring, std::wstring>> arguments;
};

using command_t = std::variant<watch_command_t, show_command_t, record_command_t, call_command_t>;

struct options_t {
    shell::ECollectorSource source = shell::ECollectorSource::Wmi;
    // The library's log level (0 trace to 6 off); its default when not given.
    std::optional<int> log_level;
    // How long `record` and `call` wait for the record to appear in its collection.
    double wait_seconds = 5;
    command_t command;
};

// What parsing ended with: options to run, or an exit code when the command line was fully answered
// (help, version) or wrong; messages are already written.
using parsed_t = std::variant<options_t, int>;

// Exit codes of the program.
inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;

parsed_t parse_command_line(int argc, const char* const* argv);

} // namespace collector::cli
