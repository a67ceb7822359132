// record and call: one record of a collection, found by its key, shown with its references followed
// one level, or one of its methods called.
#include "Commands.h"
#include "Session.h"
#include "Snapshot.h"
#include "Terminal.h"
#include "Text.h"

#include <Kernel/exception.h>

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <chrono>

namespace collector::cli {

namespace {

struct followed_reference_t {
    std::string field;
    reference_t target;
    // Empty when the target is gone or cannot be read.
    std::optional<record_snapshot_t> record;
};

std::chrono::milliseconds wait_time(const options_t& options)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(options.wait_seconds));
}

// The record that a reference field leads to: the reference's own record, or, when the reference
// only names it, the record of that key in the same collection.
std::optional<record_snapshot_t> follow(const shell::Collection& collection, const shell::Record& record,
                                        const std::string& field, const stop_request_t& stop)
{
    const shell::Reference reference = record.FindReference(widen(field));
    shell::Record target = reference.GetRecord();
    if (!target)
        try {
            target = find_record(collection, widen(key_text(read_key(reference.GetKey()))), {}, stop);
        } catch (const COstraException&) {
            return std::nullopt;
        }
    return read_record(target);
}

std::vector<followed_reference_t> follow_references(const shell::Collection& collection, const shell::Record& record,
                                                    const record_snapshot_t& snapshot, const stop_request_t& stop)
{
    std::vector<followed_reference_t> references;
    for (const auto& field : snapshot.fields)
        if (const auto* target = std::get_if<reference_t>(&field.value))
            references.push_back({field.name, *target, follow(collection, record, field.name, stop)});
    return references;
}

// NAME  VALUE lines, the names aligned, each line after `indent`.
std::string field_lines(const fields_t& fields, std::string_view indent)
{
    std::size_t width = 0;
    for (const auto& field : fields)
        width = std::max(width, field.name.size());
    std::string text;
    for (const auto& field : fields) {
        std::string line = fmt::format("{}{:<{}}  {}", indent, field.name, width, format_value(field.value));
        // An empty value leaves no trailing blanks.
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + '\n';
    }
    return text;
}

void print_text(const std::string& class_name, const record_snapshot_t& record,
                const std::vector<followed_reference_t>& references)
{
    fmt::print("{} {}\n{}", class_name, key_text(record.key), field_lines(record.fields, "  "));
    if (!references.empty())
        fmt::print("References\n");
    for (const auto& reference : references) {
        fmt::print("  {} -> {} {}\n", reference.field, reference.target.class_name, reference.target.key);
        if (reference.record)
            fmt::print("{}", field_lines(reference.record->fields, "    "));
    }
    if (!record.methods.empty())
        fmt::print("Methods\n");
    for (const auto& method : record.methods)
        fmt::print("  {}\n", method);
}

void print_json(const std::string& class_name, const record_snapshot_t& record,
                const std::vector<followed_reference_t>& references)
{
    auto followed = nlohmann::ordered_json::object();
    for (const auto& reference : references)
        followed[reference.field] = {{"class", reference.target.class_name},
                                     {"key", reference.target.key},
                                     {"fields", reference.record ? to_json(reference.record->fields) : nullptr}};
    const nlohmann::ordered_json object{{"class", class_name},
                                {"key", to_json(record.key)},
                                {"fields", to_json(record.fields)},
                                {"references", followed},
                                {"methods", record.methods}};
    fmt::print("{}\n", object.dump(2));
}

// A parameter's value from the command line: a whole number as an integer, true or false as a
// boolean, anything else as text.
shell::Object parse_argument(const std::wstring& text)
{
    const std::string narrow_text = narrow(text);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(narrow_text.data(), narrow_text.data() + narrow_text.size(), number);
    if (error == std::errc() && end == narrow_text.data() + narrow_text.size() && !narrow_text.empty()) {
        if (number >= INT32_MIN && number <= INT32_MAX)
            return shell::Object(_variant_t(static_cast<LONG>(number)));
        return shell::Object(_variant_t(static_cast<LONGLONG>(number)));
    }
    if (text == L"true" || text == L"false")
        return shell::Object(_variant_t(text == L"true"));
    return shell::Object(_variant_t(text.c_str()));
}

} // namespace

int run_record(const record_command_t& command, const options_t& options, const stop_request_t& stop)
{
    session_t session(options.source);
    const shell::Collection collection = session.follow(command.class_name);
    const shell::Record record = find_record(collection, command.key, wait_time(options), stop);
    const record_snapshot_t snapshot = read_record(record);
    const auto references = follow_references(collection, record, snapshot, stop);
    const std::string class_name = narrow(record.ClassName());
    session.stop();
    (command.json ? print_json : print_text)(class_name, snapshot, references);
    return exit_success;
}

int run_call(const call_command_t& command, const options_t& options, const stop_request_t& stop)
{
    session_t session(options.source);
    const shell::Collection collection = session.follow(command.class_name);
    const shell::Record record = find_record(collection, command.key, wait_time(options), stop);
    shell::Method method = record.GetMethod(command.method);
    for (const auto& [name, value] : command.arguments)
        method[name] = parse_argument(value);
    method();
    for (const shell::Object& result : method.GetResult())
        fmt::print("{}\n", format_value(to_value(result)));
    session.stop();
    return exit_success;
}

} // namespace collector::cli
