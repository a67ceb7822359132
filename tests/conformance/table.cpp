#include "conformance/table.h"

#include "conformance/values.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace conformance {
namespace {

constexpr std::pair<const char*, VARTYPE> vartype_names[] = {
    {"EMPTY", VT_EMPTY},     {"NULL", VT_NULL},         {"I2", VT_I2},         {"I4", VT_I4},
    {"R4", VT_R4},           {"R8", VT_R8},             {"CY", VT_CY},         {"DATE", VT_DATE},
    {"BSTR", VT_BSTR},       {"DISPATCH", VT_DISPATCH}, {"ERROR", VT_ERROR},   {"BOOL", VT_BOOL},
    {"VARIANT", VT_VARIANT}, {"UNKNOWN", VT_UNKNOWN},   {"DECIMAL", VT_DECIMAL}, {"I1", VT_I1},
    {"UI1", VT_UI1},         {"UI2", VT_UI2},           {"UI4", VT_UI4},       {"I8", VT_I8},
    {"UI8", VT_UI8},         {"INT", VT_INT},           {"UINT", VT_UINT},     {"RECORD", VT_RECORD},
    {"CLSID", VT_CLSID},     {"VECTOR", VT_VECTOR},     {"ARRAY", VT_ARRAY},   {"BYREF", VT_BYREF},
};

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
    switch (c) {
    case '0': return '\0';
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
    const std::string where = done() ? "at the end" : "at '" + tokens_[next_].text + "'";
    throw ParseError("line " + std::to_string(line_) + ", " + where + ": " + why);
}

const Token& Cursor::peek() const
{
    if (done())
        fail("more expected");
    return tokens_[next_];
}

Token Cursor::take()
{
    const Token token = peek();
    ++next_;
    return token;
}

bool Cursor::accept(std::string_view word)
{
    if (done() || tokens_[next_].quoted || tokens_[next_].text != word)
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
    if (peek().quoted)
        fail("a word expected");
    return take().text;
}

std::string Cursor::quoted()
{
    if (!peek().quoted)
        fail("a quoted string expected");
    return take().text;
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
    const bool negative = !text.empty() && text[0] == '-';
    const auto magnitude = std::strtoull(text.c_str() + (negative ? 1 : 0), &end, 0);
    if (text.empty() || *end != '\0') {
        --next_;
        fail("a number expected");
    }
    return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

std::optional<HRESULT> Cursor::accept_hresult()
{
    if (done() || tokens_[next_].quoted)
        return std::nullopt;
    const auto hr = hresult_named(tokens_[next_].text);
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

// ---- Literals -------------------------------------------------------------------------------------

VARTYPE parse_vartype(const std::string& word)
{
    if (word.rfind("0x", 0) == 0)
        return static_cast<VARTYPE>(std::strtoul(word.c_str(), nullptr, 16));
    VARTYPE vt = 0;
    std::size_t at = 0;
    while (at <= word.size()) {
        const auto end = std::min(word.find('|', at), word.size());
        const auto part = word.substr(at, end - at);
        const auto* found = std::find_if(std::begin(vartype_names), std::end(vartype_names),
                                         [&](const auto& entry) { return part == entry.first; });
        if (found == std::end(vartype_names))
            throw ParseError("unknown type '" + part + "'");
        vt |= found->second;
        at = end + 1;
    }
    return vt;
}

std::string vartype_name(VARTYPE vt)
{
    std::string name;
    for (const VARTYPE flag : {VARTYPE(VT_ARRAY), VARTYPE(VT_BYREF), VARTYPE(VT_VECTOR)})
        if (vt & flag)
            name += vartype_name(flag) + "|";
    const VARTYPE base = vt & VT_TYPEMASK;
    for (const auto& [text, value] : vartype_names)
        if (value == base)
            return name + text;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(base));
    return name + hex;
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

namespace {

Literal payload_literal(Cursor& cursor, VARTYPE vt)
{
    Literal literal;
    literal.vt = vt;
    if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (cursor.accept("null")) {
            literal.shape = Literal::Shape::null;
        } else if (vt == VT_UNKNOWN && cursor.accept("fake")) {
            literal.shape = Literal::Shape::fake;
        } else if (vt == VT_BSTR) {
            literal.text = cursor.quoted();
        } else {
            cursor.fail("null or fake expected");
        }
        return literal;
    }
    literal.text = cursor.word();
    if (!literal.text.empty() && literal.text[0] == '~') {
        literal.approx = true;
        literal.text.erase(0, 1);
    }
    try {
        VARIANT scratch;
        set_payload(scratch, vt, literal.text);
    } catch (const ParseError& error) {
        cursor.fail(error.what());
    }
    return literal;
}

Literal array_literal(Cursor& cursor)
{
    Literal array;
    array.vt = parse_vartype(cursor.word());
    if (cursor.accept("null")) {
        array.shape = Literal::Shape::array_null;
        return array;
    }
    array.shape = Literal::Shape::array;
    cursor.expect("[");
    while (!cursor.accept("]")) {
        if (!array.items.empty())
            cursor.expect(",");
        array.items.push_back(parse_element(cursor, array.vt));
    }
    if (!cursor.done() && !cursor.peek().quoted && cursor.peek().text.rfind("@", 0) == 0)
        array.lbound = static_cast<LONG>(std::strtol(cursor.take().text.c_str() + 1, nullptr, 10));
    return array;
}

Literal byref_literal(Cursor& cursor)
{
    Literal reference;
    if (cursor.accept("null")) {
        reference.shape = Literal::Shape::byref_null;
        reference.vt = parse_vartype(cursor.word());
        return reference;
    }
    reference.shape = Literal::Shape::byref;
    if (cursor.accept("VARIANT")) {
        reference.vt = VT_VARIANT;
        reference.items.push_back(parse_literal(cursor));
    } else {
        reference.items.push_back(parse_literal(cursor));
        reference.vt = reference.items.back().vt;
    }
    return reference;
}

} // namespace

Literal parse_literal(Cursor& cursor)
{
    const auto head = cursor.word();
    if (head == "BYREF")
        return byref_literal(cursor);
    if (head == "ARRAY")
        return array_literal(cursor);
    if (head == "VT") {
        Literal raw;
        raw.shape = Literal::Shape::raw;
        raw.vt = static_cast<VARTYPE>(cursor.number());
        return raw;
    }
    VARTYPE vt = 0;
    try {
        vt = parse_vartype(head);
    } catch (const ParseError& error) {
        cursor.fail(error.what());
    }
    if (vt == VT_EMPTY || vt == VT_NULL) {
        Literal plain;
        plain.vt = vt;
        return plain;
    }
    return payload_literal(cursor, vt);
}

Literal parse_element(Cursor& cursor, VARTYPE vt)
{
    return vt == VT_VARIANT ? parse_literal(cursor) : payload_literal(cursor, vt);
}

GUID parse_guid(Cursor& cursor)
{
    const auto text = cursor.word();
    GUID guid{};
    unsigned parts[11] = {};
    int consumed = 0;
    const int fields = std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &parts[0], &parts[1],
                                   &parts[2], &parts[3], &parts[4], &parts[5], &parts[6], &parts[7], &parts[8],
                                   &parts[9], &parts[10], &consumed);
    if (fields != 11 || text.size() != 38 || consumed != 38)
        cursor.fail("a GUID {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} expected");
    guid.Data1 = parts[0];
    guid.Data2 = static_cast<unsigned short>(parts[1]);
    guid.Data3 = static_cast<unsigned short>(parts[2]);
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<unsigned char>(parts[3 + i]);
    return guid;
}

} // namespace conformance
