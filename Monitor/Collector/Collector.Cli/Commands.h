// The commands of collector-cli. Each runs to its end and returns the program's exit code; a failure of
// the library is thrown.
#pragma once

#include "Options.h"

namespace collector::cli {

class stop_request_t;

int run_watch(const watch_command_t& command, const options_t& options, const stop_request_t& stop);
int run_show(const show_command_t& command, const options_t& options);
int run_record(const record_command_t& command, const options_t& options, const stop_request_t& stop);
int run_call(const call_command_t& command, const options_t& options, const stop_request_t& stop);

} // namespace collector::cli
