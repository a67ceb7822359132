// Values as the program shows them: a snapshot of a field's Object, taken on the thread that received
// it, then shown as text in the table and the listings or as JSON.
#pragma once

#include <collector/shell.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

namespace collector::cli {

// A field whose value refers to another record: that record's class and key.
struct reference_t {
    std::string class_name;
    std::string key;

    friend bool operator==(const reference_t&, const reference_t&) = default;
    friend auto operator<=>(const reference_t&, const reference_t&) = default;
};

// Empty, a number, a text, a date or a reference; a type without a reader of its own keeps the
// library's one-line dump as its text. The variant's order sorts a column: empty values first, then
// the values of one type by their natural order.
using value_t =
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, shell::TimePoint, reference_t>;

value_t to_value(const shell::Object& object);
std::string format_value(const value_t& value);
nlohmann::ordered_json to_json(const value_t& value);

std::string guid_text(const GUID& id);

// One named value of a key or a record.
struct field_t {
    std::string name;
    value_t value;
};
using fields_t = std::vector<field_t>;

// A key as one text: its value when it has one field, NAME=VALUE,... otherwise; the form that the
// command line takes back.
std::string key_text(const fields_t& key);
// Fields as one JSON object, in their order.
nlohmann::ordered_json to_json(const fields_t& fields);

} // namespace collector::cli
