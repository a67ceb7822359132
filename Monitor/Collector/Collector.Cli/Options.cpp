#include "Options.h"

#include "Text.h"

#include <CLI/CLI.hpp>

#include <map>

namespace collector::cli {

namespace {

using shell::ECollectorSource;

const std::map<std::string, ECollectorSource> source_names{
    {"arbor", ECollectorSource::Arbor},   {"arbor-vcf", ECollectorSource::ArborOverVcf},
    {"vmware", ECollectorSource::VMware}, {"hyperv", ECollectorSource::HyperV},
    {"wmi", ECollectorSource::Wmi},       {"rest", ECollectorSource::Rest},
    {"events", ECollectorSource::Events}, {"cirrus", ECollectorSource::Cirrus},
    {"metrics", ECollectorSource::Metrics},
};

// The library's levels by name; the numbers are accepted as well.
const std::map<std::string, int> log_level_names{
    {"trace", 0}, {"debug", 1}, {"info", 2}, {"warning", 3}, {"error", 4}, {"critical", 5}, {"off", 6},
};

// A method argument: NAME=VALUE with a name that is not empty.
const CLI::Validator argument_form(
    [](std::string& text) {
        const auto equals = text.find('=');
        return equals == 0 || equals == std::string::npos ? "expected NAME=VALUE, got '" + text + "'" : std::string();
    },
    "NAME=VALUE");

// A duration: a number of seconds above 0.
const CLI::Validator positive_seconds(
    [](std::string& text) {
        double seconds = 0;
        return CLI::detail::lexical_cast(text, seconds) && seconds > 0
                   ? std::string()
                   : "expected a number of seconds above 0, got '" + text + "'";
    },
    "SECONDS");

std::pair<std::wstring, std::wstring> split_argument(const std::string& text)
{
    const auto equals = text.find('=');
    return {widen(text.substr(0, equals)), widen(text.substr(equals + 1))};
}

// The class and key that `record` and `call` take first.
void add_record_address(CLI::App& command, std::string& class_name, std::string& key)
{
    command.add_option("class", class_name, "Record class, e.g. Process")->required();
    command.add_option("key", key, "The record's key: its value, or NAME=VALUE,... for several key fields")
        ->required();
}

} // namespace

parsed_t parse_command_line(int argc, const char* const* argv)
{
    CLI::App app{"Watches a collector's records live and inspects its tasks, pools and records.", "collector-cli"};
    app.set_version_flag("--version", COLLECTOR_CLI_VERSION);
    app.require_subcommand(1);

    options_t options;
    app.add_option("--source", options.source, "Collector source")
        ->transform(CLI::CheckedTransformer(source_names, CLI::ignore_case))
        ->default_str("wmi");
    app.add_option("--log-level", options.log_level, "The library's log level, written to standard error")
        ->transform(CLI::CheckedTransformer(log_level_names, CLI::ignore_case));
    app.add_option("--wait", options.wait_seconds, "Seconds that record and call wait for the record")
        ->check(positive_seconds)
        ->capture_default_str();

    std::string class_name = narrow(default_class);
    std::string key;
    std::string sort_field;
    std::string method;
    std::vector<std::string> arguments;
    bool json = false;
    double seconds = 0;

    auto* watch = app.add_subcommand("watch", "Shows the records of a collection live as they change");
    watch->add_option("class", class_name, "Record class")->capture_default_str();
    watch->add_option("--sort", sort_field, "Field that orders the table (default: the key)");
    watch->add_flag("--json", json, "One JSON object per event instead of the table");
    auto* seconds_option = watch->add_option("--seconds", seconds, "Stop after this many seconds")
                               ->check(positive_seconds);

    show_command_t show_command;
    auto* show = app.add_subcommand("show", "Lists the collector's tasks, hosts, users, resources or classes");
    show->add_option("listing", show_command.listing, "What to list")
        ->required()
        ->check(CLI::IsMember({"tasks", "hosts", "users", "resources", "classes"}));

    auto* record = app.add_subcommand("record", "Shows one record: fields, references and methods");
    add_record_address(*record, class_name, key);
    record->add_flag("--json", json, "The record as one JSON object");

    auto* call = app.add_subcommand("call", "Calls a method of a record and prints its result list");
    add_record_address(*call, class_name, key);
    call->add_option("method", method, "Method name")->required();
    call->add_option("arguments", arguments, "Parameters, each NAME=VALUE")->check(argument_form);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? exit_success : exit_usage;
    }

    if (watch->parsed()) {
        watch_command_t command{widen(class_name), widen(sort_field), json, std::nullopt};
        if (seconds_option->count() > 0)
            command.seconds = seconds;
        options.command = std::move(command);
    } else if (show->parsed()) {
        options.command = show_command;
    } else if (record->parsed()) {
        options.command = record_command_t{widen(class_name), widen(key), json};
    } else {
        call_command_t command{widen(class_name), widen(key), widen(method), {}};
        for (const auto& argument : arguments)
            command.arguments.push_back(split_argument(argument));
        options.command = std::move(command);
    }
    return options;
}

} // namespace collector::cli
