#include "conformance/table.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <ranges>
#include <span>
#include <utility>

namespace conformance {
namespace {

using Named = std::pair<std::string_view, HRESULT>;
#define NAMED(hr) Named(#hr, hr)
constexpr Named hresult_names[] = {
    NAMED(S_OK), NAMED(S_FALSE), NAMED(E_INVALIDARG), NAMED(E_POINTER), NAMED(E_UNEXPECTED), NAMED(E_NOINTERFACE),
    NAMED(E_OUTOFMEMORY), NAMED(DISP_E_TYPEMISMATCH), NAMED(DISP_E_BADVARTYPE), NAMED(DISP_E_OVERFLOW),
    NAMED(DISP_E_BADINDEX), NAMED(DISP_E_ARRAYISLOCKED), NAMED(CO_E_IIDSTRING),
};
#undef NAMED

bool alphanumeric(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// A test name from the row's words after its kind, without the expected outcomes (from "=>" to the next
// ';'): letters and digits kept, "->" spelt "to", a leading minus "neg", '.' after a digit 'p', a string
// without letters or digits "empty" or "symbols", and everything else one '_'.
std::string name_of(std::string_view text)
{
    std::string words;
    bool outcome = false;
    try {
        Cursor cursor(text);
        for (cursor.word(); !cursor.done();) {
            const bool quoted = cursor.next_quoted();
            const auto token = quoted ? cursor.quoted() : cursor.word();
            if (token == "=>" || token == ";")
                outcome = token == "=>";
            if (outcome || token == ";")
                continue;
            if (quoted && std::ranges::none_of(token, alphanumeric))
                words += token.empty() ? " empty" : " symbols";
            else
                words += " " + (token == "->" ? "to" : token);
        }
    } catch (const ParseError&) {
        // named by its words up to the fault, which its test reports
    }
    std::string name;
    for (std::size_t at = 1; at < words.size(); ++at) {
        if (alphanumeric(words[at]))
            name += words[at];
        else if (words[at] == '-' && words[at - 1] == ' ')
            name += "neg";
        else if (words[at] == '.' && std::isdigit(static_cast<unsigned char>(words[at - 1])))
            name += 'p';
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "row" : name.substr(0, 120);
}

std::string_view trimmed(std::string_view line)
{
    const auto first = line.find_first_not_of(" \t\r");
    return first == std::string_view::npos ? "" : line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::vector<Row> read_table(std::string_view table)
{
    std::vector<Row> rows;
    std::map<std::string, int> names_used;
    std::string suite = "Conformance";
    int number = 0;
    for (const auto part : table | std::views::split('\n')) {
        const auto line = trimmed(std::string_view(part.begin(), part.end()));
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        if (line.starts_with("==")) {
            suite = trimmed(line.substr(2));
            continue;
        }
        Row row{number, suite, name_of(line), std::string(line)};
        if (const int seen = ++names_used[suite + "." + row.name]; seen > 1)
            row.name += fmt::format("_{}", seen);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string_view Cursor::peek() const
{
    if (done() || next_quoted())
        return {};
    const bool single = std::string_view("[],;").find(text_[at_]) != std::string_view::npos;
    return text_.substr(at_, single ? 1 : text_.find_first_of(" \t[],;\"", at_) - at_);
}

std::string Cursor::quoted()
{
    if (!next_quoted())
        throw error("a quoted string expected");
    std::string out;
    for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
        const bool escape = text_[at_] == '\\' && at_ + 1 < text_.size();
        const char c = text_[at_ += escape];
        const bool digit = escape && std::isdigit(static_cast<unsigned char>(c));
        if (escape && !digit && c != '\\' && c != '"')
            throw error(fmt::format("unknown escape \\{}", c));
        out += digit ? static_cast<char>(c - '0') : c;
    }
    if (done())
        throw error("unterminated string");
    ++at_;
    skip_space();
    return out;
}

ParseError Cursor::error(const std::string& why) const
{
    return ParseError(fmt::format("{}: {}", done() ? "at the end" : fmt::format("at '{}'", text_.substr(at_)), why));
}

std::optional<HRESULT> hresult_named(std::string_view word)
{
    const auto* found = std::ranges::find(hresult_names, word, &Named::first);
    return found == std::end(hresult_names) ? std::nullopt : std::optional(found->second);
}

std::string hresult_name(HRESULT hr)
{
    const auto* found = std::ranges::find(hresult_names, hr, &Named::second);
    if (found == std::end(hresult_names))
        return fmt::format("0x{:08X}", static_cast<unsigned>(hr));
    return std::string(found->first);
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
    std::ranges::copy(std::span(parts).subspan(3), guid.Data4);
    return guid;
}

} // namespace conformance
