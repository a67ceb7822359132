#include "conformance/table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace conformance {
namespace {

constexpr std::pair<const char*, HRESULT> hresult_names[] = {
    {"S_OK", S_OK},
    {"S_FALSE", S_FALSE},
    {"E_INVALIDARG", E_INVALIDARG},
    {"E_POINTER", E_POINTER},
    {"E_UNEXPECTED", E_UNEXPECTED},
    {"E_NOINTERFACE", E_NOINTERFACE},
    {"E_OUTOFMEMORY", E_OUTOFMEMORY},
    {"DISP_E_TYPEMISMATCH", DISP_E_TYPEMISMATCH},
    {"DISP_E_BADVARTYPE", DISP_E_BADVARTYPE},
    {"DISP_E_OVERFLOW", DISP_E_OVERFLOW},
    {"DISP_E_BADINDEX", DISP_E_BADINDEX},
    {"DISP_E_ARRAYISLOCKED", DISP_E_ARRAYISLOCKED},
    {"CO_E_IIDSTRING", CO_E_IIDSTRING},
};

bool is_separator(char c) { return c == '[' || c == ']' || c == ',' || c == ';'; }

char escaped(char c, int line)
{
    if (c >= '0' && c <= '9') // "\0" and the control characters up to "\9"
        return static_cast<char>(c - '0');
    switch (c) {
    case '\\': return '\\';
    case '"': return '"';
    default: throw ParseError("line " + std::to_string(line) + ": unknown escape \\" + std::string(1, c));
    }
}

// Reads a quoted string starting at text[at] == '"'; returns the position after the closing quote.
std::size_t read_quoted(std::string_view text, std::size_t at, int line, std::string& out)
{
    for (++at; at < text.size(); ++at) {
        if (text[at] == '"')
            return at + 1;
        if (text[at] == '\\' && at + 1 < text.size())
            out += escaped(text[++at], line);
        else
            out += text[at];
    }
    throw ParseError("line " + std::to_string(line) + ": unterminated string");
}

std::vector<Token> tokenize(std::string_view text, int line)
{
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
        } else if (c == '"') {
            Token token{"", true};
            at = read_quoted(text, at, line, token.text);
            tokens.push_back(std::move(token));
        } else if (is_separator(c)) {
            tokens.push_back({std::string(1, c), false});
            ++at;
        } else {
            const auto start = at;
            while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at])) && !is_separator(text[at]) &&
                   text[at] != '"')
                ++at;
            tokens.push_back({std::string(text.substr(start, at - start)), false});
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
        if (tokens[i].quoted && std::none_of(text.begin(), text.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); })) {
            name += text.empty() ? "empty" : "symbols";
            continue;
        }
        if (text == "->") {
            name += "to";
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

void Cursor::fail(const std::string& why) const
{
    throw ParseError((done() ? "at the end" : "at '" + (*tokens_)[next_].text + "'") + ": " + why);
}

bool Cursor::accept(std::string_view word)
{
    if (done() || (*tokens_)[next_].quoted || (*tokens_)[next_].text != word)
        return false;
    ++next_;
    return true;
}

void Cursor::expect(std::string_view word)
{
    if (!accept(word))
        fail("expected '" + std::string(word) + "'");
}

std::string Cursor::word()
{
    if (done() || next_quoted())
        fail("a word expected");
    return (*tokens_)[next_++].text;
}

std::string Cursor::quoted()
{
    if (!next_quoted())
        fail("a quoted string expected");
    return (*tokens_)[next_++].text;
}

std::optional<std::string> Cursor::string_or_null()
{
    if (accept("null"))
        return std::nullopt;
    return quoted();
}

long long Cursor::number()
{
    const auto text = word();
    char* end = nullptr;
    const bool negative = text[0] == '-';
    const auto magnitude = std::strtoull(text.c_str() + (negative ? 1 : 0), &end, 0);
    if (*end != '\0') {
        --next_;
        fail("a number expected");
    }
    return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

std::optional<HRESULT> Cursor::accept_hresult()
{
    const auto hr = done() || next_quoted() ? std::nullopt : hresult_named((*tokens_)[next_].text);
    if (hr)
        ++next_;
    return hr;
}

HRESULT Cursor::hresult()
{
    const auto hr = accept_hresult();
    if (!hr)
        fail("an HRESULT name expected");
    return *hr;
}

void Cursor::finish() const
{
    if (!done())
        fail("unexpected words at the end of the row");
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
