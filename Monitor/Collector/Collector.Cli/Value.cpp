#include "Value.h"

#include "Text.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <fmt/xchar.h>

#include <chrono>
#include <ctime>

namespace collector::cli {

namespace {

template <class T>
value_t read(const shell::Object& object)
{
    return static_cast<std::conditional_t<std::is_signed_v<T>, std::int64_t, std::uint64_t>>(object.get<T>());
}

std::tm utc_time(shell::TimePoint time)
{
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch());
    return fmt::gmtime(static_cast<std::time_t>(seconds.count()));
}

// The value as text; dates in `date_format`, a reference as CLASS KEY.
struct text_visitor_t {
    fmt::format_string<std::tm> date_format;

    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool flag) const { return flag ? "true" : "false"; }
    std::string operator()(const std::string& text) const { return text; }
    std::string operator()(shell::TimePoint time) const { return fmt::format(date_format, utc_time(time)); }
    std::string operator()(const reference_t& target) const
    {
        return fmt::format("{} {}", target.class_name, target.key);
    }
    std::string operator()(auto number) const { return fmt::format("{}", number); }
};

struct json_visitor_t {
    nlohmann::ordered_json operator()(std::monostate) const { return nullptr; }
    nlohmann::ordered_json operator()(shell::TimePoint time) const
    {
        return text_visitor_t{"{:%Y-%m-%dT%H:%M:%SZ}"}(time);
    }
    nlohmann::ordered_json operator()(const reference_t& target) const
    {
        return {{"class", target.class_name}, {"key", target.key}};
    }
    nlohmann::ordered_json operator()(const auto& plain) const { return plain; }
};

} // namespace

value_t to_value(const shell::Object& object)
{
    switch (object.data().vt) {
    case VT_EMPTY:
    case VT_NULL:
        return std::monostate{};
    case VT_BOOL:
        return object.get<int>() != 0;
    case VT_UI1:
        return read<unsigned char>(object);
    case VT_UI2:
        return read<unsigned short>(object);
    case VT_I4:
        return read<int>(object);
    case VT_UI4:
    case VT_UINT:
        return read<unsigned int>(object);
    case VT_I8:
        return read<__int64>(object);
    case VT_UI8:
        return read<unsigned __int64>(object);
    case VT_R8:
        return object.get<double>();
    case VT_BSTR:
        return narrow(object.get<std::wstring>());
    case VT_DATE:
        return object.get<shell::TimePoint>();
    default:
        return narrow(object.to_string());
    }
}

std::string format_value(const value_t& value)
{
    return std::visit(text_visitor_t{"{:%Y-%m-%d %H:%M:%S}"}, value);
}

nlohmann::ordered_json to_json(const value_t& value)
{
    return std::visit(json_visitor_t{}, value);
}

std::string guid_text(const GUID& id)
{
    return narrow(fmt::format(L"{}", id));
}

std::string key_text(const fields_t& key)
{
    if (key.size() == 1)
        return format_value(key.front().value);
    std::string text;
    for (const auto& field : key)
        text += fmt::format("{}{}={}", text.empty() ? "" : ",", field.name, format_value(field.value));
    return text;
}

nlohmann::ordered_json to_json(const fields_t& fields)
{
    auto object = nlohmann::ordered_json::object();
    for (const auto& field : fields)
        object[field.name] = to_json(field.value);
    return object;
}

} // namespace collector::cli
