#include "conformance/table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace conformance {
namespace {

#define NAMED(hr) std::pair<const char*, HRESULT>(#hr, hr)
constexpr std::pair<const char*, HRESULT> hresult_names[] = {
    NAMED(S_OK), NAMED(S_FALSE), NAMED(E_INVALIDARG), NAMED(E_POINTER), NAMED(E_UNEXPECTED), NAMED(E_NOINTERFACE),
    NAMED(E_OUTOFMEMORY), NAMED(DISP_E_TYPEMISMATCH), NAMED(DISP_E_BADVARTYPE), NAMED(DISP_E_OVERFLOW),
    NAMED(DISP_E_BADINDEX), NAMED(DISP_E_ARRAYISLOCKED), NAMED(CO_E_IIDSTRING),
};
#undef NAMED

ParseError at_line(int line, const std::string& why) { return ParseError("line " + std::to_string(line) + ": " + why); }

// Reads a quoted string starting at text[at] == '"'; returns the position after the closing quote.
// "\0" to "\9" stand for the control characters of those codes.
std::size_t read_quoted(std::string_view text, std::size_t at, int line, std::string& out)
{
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] != '\\' || at + 1 == text.size()) {
            out += text[at];
            continue;
        }
        const char c = text[++at];
        const bool digit = c >= '0' && c <= '9';
        if (!digit && c != '\\' && c != '"')
            throw at_line(line, "unknown escape \\" + std::string(1, c));
        out += digit ? static_cast<char>(c - '0') : c;
    }
    if (at == text.size())
        throw at_line(line, "unterminated string");
    return at + 1;
}

std::vector<Token> tokenize(std::string_view text, int line)
{
    std::vector<Token> tokens;
    for (std::size_t at = 0; at < text.size();) {
        if (std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        } else if (text[at] == '"') {
            at = read_quoted(text, at, line, tokens.emplace_back(Token{"", true}).text);
        } else {
            const auto separator = std::string_view("[],;").find(text[at]) != std::string_view::npos;
            const auto end = separator ? at + 1 : std::min(text.find_first_of(" \t[],;\"", at), text.size());
            tokens.push_back({std::string(text.substr(at, end - at)), false});
            at = end;
        }
    }
    return tokens;
}

// A test name from the row's words, without the expected outcomes (from "=>" to the next ';'):
// letters and digits kept, a sign spelt out, '.' between digits as 'p', "->" as "to", everything
// else one '_'.
std::string name_of(const std::vector<Token>& tokens)
{
    std::string name;
    auto separate = [&] {
        if (!name.empty() && name.back() != '_')
            name += '_';
    };
    bool outcome = false;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const auto& text = tokens[i].text;
        if (text == "=>" || text == ";")
            outcome = text == "=>";
        if (outcome || text == ";")
            continue;
        separate();
        const auto alphanumeric = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
        const bool symbols = tokens[i].quoted && std::none_of(text.begin(), text.end(), alphanumeric);
        if (symbols || text == "->") {
            name += !symbols ? "to" : text.empty() ? "empty" : "symbols";
            continue;
        }
        for (std::size_t k = 0; k < text.size(); ++k) {
            const auto c = static_cast<unsigned char>(text[k]);
            if (std::isalnum(c))
                name += static_cast<char>(c);
            else if (c == '-' && k == 0)
                name += "neg";
            else if (c == '.' && k > 0 && std::isdigit(static_cast<unsigned char>(text[k - 1])))
                name += 'p';
            else
                separate();
        }
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "row" : name.substr(0, 120);
}

std::string trimmed(std::string_view line)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = line.find_last_not_of(" \t\r");
    return std::string(line.substr(first, last - first + 1));
}

} // namespace

std::vector<Row> read_table(std::string_view table)
{
    std::vector<Row> rows;
    std::map<std::string, int> names_used;
    std::string suite = "Conformance";
    int line_number = 0;
    std::size_t at = 0;
    while (at <= table.size()) {
        const auto end = std::min(table.find('\n', at), table.size());
        const auto line = trimmed(table.substr(at, end - at));
        at = end + 1;
        ++line_number;
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("==", 0) == 0) {
            suite = trimmed(std::string_view(line).substr(2));
            continue;
        }
        Row row{line_number, suite, {}, line, tokenize(line, line_number)};
        row.name = name_of(row.tokens);
        const int seen = ++names_used[suite + "." + row.name];
        if (seen > 1)
            row.name += "_" + std::to_string(seen);
        rows.push_back(std::move(row));
    }
    return rows;
}

// ---- Cursor ---------------------------------------------------------------------------------------

ParseError Cursor::error(const std::string& why) const
{
    return ParseError((done() ? "at the end" : "at '" + (*tokens_)[next_].text + "'") + ": " + why);
}

long long Cursor::number()
{
    const auto text = word();
    char* end = nullptr;
    const bool negative = text[0] == '-';
    const auto magnitude = std::strtoull(text.c_str() + negative, &end, 0);
    if (*end != '\0')
        throw ParseError("'" + text + "' is no number");
    return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

std::optional<HRESULT> hresult_named(const std::string& word)
{
    for (const auto& [text, value] : hresult_names)
        if (word == text)
            return value;
    return std::nullopt;
}

std::string hresult_name(HRESULT hr)
{
    for (const auto& [text, value] : hresult_names)
        if (hr == value)
            return text;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
    return hex;
}

GUID parse_guid(Cursor& cursor)
{
    const auto text = cursor.word();
    unsigned parts[11] = {};
    int consumed = 0;
    const int fields = std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &parts[0], &parts[1],
                                   &parts[2], &parts[3], &parts[4], &parts[5], &parts[6], &parts[7], &parts[8],
                                   &parts[9], &parts[10], &consumed);
    if (fields != 11 || text.size() != 38 || consumed != 38)
        throw ParseError("a GUID {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} expected, not '" + text + "'");
    GUID guid{parts[0], static_cast<unsigned short>(parts[1]), static_cast<unsigned short>(parts[2]), {}};
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<unsigned char>(parts[3 + i]);
    return guid;
}

} // namespace conformance
