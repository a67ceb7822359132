#include "resource_text.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>
#include <system_error>

namespace collector::reference::detail {
namespace {

struct type_name_t {
    VARTYPE type;
    const char* name;
};
constexpr type_name_t type_names[] = {
    {VT_EMPTY, "empty"}, {VT_BOOL, "bool"}, {VT_I4, "i4"}, {VT_I8, "i8"}, {VT_R8, "r8"}, {VT_BSTR, "text"},
};

void append_escaped(std::string& out, const wchar_t* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else {
                char hex[16];
                std::snprintf(hex, sizeof hex, "\\u{%X}", static_cast<unsigned>(c));
                out += hex;
            }
        }
    }
}

std::string value_text_of(const VARIANT& value)
{
    char number[64];
    switch (value.vt) {
    case VT_BOOL: return value.boolVal ? "true" : "false";
    case VT_I4: return std::to_string(value.lVal);
    case VT_I8: return std::to_string(value.llVal);
    case VT_R8: {
        const auto end = std::to_chars(number, number + sizeof number, value.dblVal).ptr;
        return std::string(number, end);
    }
    case VT_BSTR: {
        std::string out;
        append_escaped(out, value.bstrVal, SysStringLen(value.bstrVal));
        return out;
    }
    default: return {};
    }
}

// A VT_BSTR value of the whole text, embedded NUL characters included.
_variant_t text_value(const std::wstring& text)
{
    _variant_t value;
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value.bstrVal)
        fail(E_OUTOFMEMORY, L"Out of memory");
    value.vt = VT_BSTR;
    return value;
}

// Reads one line of the text; each failure names the line.
class line_reader_t {
public:
    explicit line_reader_t(int number) : number_(number) {}

    [[noreturn]] void reject(const std::string& why) const
    {
        fail(invalid_resource_text, L"Line " + std::to_wstring(number_) + L" of the resources: " +
                               std::wstring(why.begin(), why.end()));
    }

    std::wstring unescape(const std::string& text) const
    {
        std::wstring out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20 || c >= 0x7F)
                reject("a character that is not written as an escape");
            if (c != '\\') {
                out += static_cast<wchar_t>(c);
                continue;
            }
            if (++i == text.size())
                reject("a backslash ends the text");
            switch (text[i]) {
            case '\\': out += L'\\'; break;
            case 't': out += L'\t'; break;
            case 'n': out += L'\n'; break;
            case 'r': out += L'\r'; break;
            case 'u': out += code_unit(text, i); break;
            default: reject("an unknown escape");
            }
        }
        return out;
    }

    _variant_t value(const std::string& type, const std::string& text) const
    {
        if (type == "empty" && text.empty())
            return _variant_t();
        if (type == "bool" && (text == "true" || text == "false"))
            return _variant_t(text == "true");
        if (type == "i4")
            return _variant_t(static_cast<LONG>(number<std::int32_t>(text)));
        if (type == "i8")
            return _variant_t(static_cast<LONGLONG>(number<std::int64_t>(text)));
        if (type == "r8")
            return _variant_t(number<double>(text));
        if (type == "text")
            return text_value(unescape(text));
        reject("the value does not match its type \"" + type + "\"");
    }

private:
    // "\u{hex}" at text[at] == 'u'; moves `at` to the closing brace.
    wchar_t code_unit(const std::string& text, std::size_t& at) const
    {
        const std::size_t close = text.find('}', at);
        if (at + 1 >= text.size() || text[at + 1] != '{' || close == std::string::npos)
            reject("a \\u escape without braces");
        std::uint32_t code = 0;
        const char* first = text.data() + at + 2;
        const char* last = text.data() + close;
        const auto [end, error] = std::from_chars(first, last, code, 16);
        if (error != std::errc() || end != last || first == last ||
            code > static_cast<std::uint32_t>(std::numeric_limits<wchar_t>::max()))
            reject("a \\u escape that is not a character");
        at = close;
        return static_cast<wchar_t>(code);
    }

    template <class Number>
    Number number(const std::string& text) const
    {
        Number result{};
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
        if (error != std::errc() || end != text.data() + text.size() || text.empty())
            reject("\"" + text + "\" is not a number of its type");
        return result;
    }

    int number_;
};

std::vector<std::string> split_tabs(const std::string& line)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        parts.push_back(line.substr(start, tab - start));
    parts.push_back(line.substr(start));
    return parts;
}

}  // namespace

bool is_storable(VARTYPE type)
{
    for (const auto& known : type_names)
        if (known.type == type)
            return true;
    return false;
}

std::string format_resources(const std::vector<resource_entry_t>& entries)
{
    std::string text;
    for (const auto& [name, value] : entries) {
        append_escaped(text, name.data(), name.size());
        for (const auto& known : type_names)
            if (known.type == value.vt)
                text += std::string("\t") + known.name + "\t";
        text += value_text_of(value) + "\n";
    }
    return text;
}

std::vector<resource_entry_t> parse_resources(const std::string& text)
{
    std::vector<resource_entry_t> entries;
    std::set<std::wstring> names;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const line_reader_t reader(number);
        const auto parts = split_tabs(line);
        if (parts.size() != 3)
            reader.reject("a line holds a name, a type and a value, separated by tabs");
        resource_entry_t entry{reader.unescape(parts[0]), reader.value(parts[1], parts[2])};
        if (entry.name.empty())
            reader.reject("a resource needs a name");
        if (!names.insert(entry.name).second)
            reader.reject("the name is given twice");
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string read_text_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code error;
        const bool missing = !std::filesystem::exists(path, error);
        fail(missing ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) : E_ACCESSDENIED,
             L"The file " + path.wstring() + (missing ? L" does not exist" : L" cannot be read"));
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_text_file(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush())
        fail(unwritable_resource_file, L"The file " + path.wstring() + L" cannot be written");
}

}  // namespace collector::reference::detail
