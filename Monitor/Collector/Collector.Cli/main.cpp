// collector-cli: watches a collector's records live and inspects its tasks, pools and records, through
// the library, against the reference collector that it registers in its own apartment.
#include "Commands.h"
#include "Options.h"
#include "Terminal.h"
#include "Text.h"

#include <collector/reference.h>
#include <collector/shell.h>

#include <Kernel/exception.h>
#include <Kernel/logger.h>

#include <boost/exception/get_error_info.hpp>
#include <fmt/format.h>
#include <fmt/xchar.h>

#include <cstdio>
#include <exception>

namespace collector::cli {

namespace {

// Initialises COM for the calling thread, in the multi-threaded apartment that the library's event
// sinks are written for.
class com_apartment_t {
public:
    com_apartment_t()
    {
        if (const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED); FAILED(hr))
            throw CHResultException(L"CoInitializeEx failed", {}, hr, nullptr, false);
    }
    ~com_apartment_t() { CoUninitialize(); }
    com_apartment_t(const com_apartment_t&) = delete;
    com_apartment_t& operator=(const com_apartment_t&) = delete;
};

template <class... Functions>
struct overloaded : Functions... {
    using Functions::operator()...;
};
// Clang 14 does not deduce an aggregate's template arguments by itself.
template <class... Functions>
overloaded(Functions...) -> overloaded<Functions...>;

// One failure on standard error: its message, then what the library knows of it, one item a line.
void report(const std::exception& failure, std::string_view prefix)
{
    const auto* condition = dynamic_cast<const COstraException*>(&failure);
    fmt::print(stderr, "{}{}\n", prefix, condition ? narrow(condition->reason()) : failure.what());
    if (!condition)
        return;
    // A failed call names the component that reported it; a condition, what it is about.
    const bool failed_call = dynamic_cast<const CHResultException*>(condition) != nullptr;
    if (!condition->source().empty())
        fmt::print(stderr, "  {}: {}\n", failed_call ? "from" : "about", narrow(condition->source()));
    if (const auto* dump = boost::get_error_info<value_dump_info>(*condition))
        fmt::print(stderr, "  value: {}\n", narrow(*dump));
    const auto* file = boost::get_error_info<boost::throw_file>(*condition);
    const auto* line = boost::get_error_info<boost::throw_line>(*condition);
    if (file && line)
        fmt::print(stderr, "  thrown at {}:{}\n", *file, *line);
    if (const auto* nested = boost::get_error_info<nested_exception_info>(*condition); nested && *nested)
        try {
            std::rethrow_exception(*nested);
        } catch (const std::exception& cause) {
            report(cause, "  caused by: ");
        } catch (...) {
        }
}

int run(const options_t& options)
{
    if (options.log_level)
        COstraLogger::instance().set_level(*options.log_level);
    COstraLogger::instance().to_stderr();

    com_apartment_t apartment;
    const reference::Registration registration;
    const stop_request_t stop;
    return std::visit(overloaded{
                          [&](const watch_command_t& command) { return run_watch(command, options, stop); },
                          [&](const show_command_t& command) { return run_show(command, options); },
                          [&](const record_command_t& command) { return run_record(command, options, stop); },
                          [&](const call_command_t& command) { return run_call(command, options, stop); },
                      },
                      options.command);
}

} // namespace

} // namespace collector::cli

int main(int argc, char** argv)
{
    using namespace collector::cli;
    const parsed_t parsed = parse_command_line(argc, argv);
    if (const int* code = std::get_if<int>(&parsed))
        return *code;
    try {
        return run(std::get<options_t>(parsed));
    } catch (const std::exception& failure) {
        report(failure, "collector-cli: ");
    } catch (...) {
        fmt::print(stderr, "collector-cli: unknown failure\n");
    }
    return exit_failure;
}
