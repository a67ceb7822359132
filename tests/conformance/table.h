// The conformance table's text form: rows of words, quoted strings and brackets, one row per line.
// Lines starting with '#' are comments; a line "== Name" names the test suite of the rows after it.
// A row is read when its test runs, so that a malformed row fails its own test.
#pragma once

#include <windows.h>

#include <charconv>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace conformance {

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Token {
    std::string text; // a quoted string arrives decoded, without its quotes
    bool quoted = false;
};

struct Row {
    int line = 0;
    std::string suite;
    std::string name; // unique within its suite, letters, digits and '_'
    std::string text; // as written, for failure messages
    std::vector<Token> tokens;
    std::string problem; // why the row could not be split into tokens
};

// Splits the table into rows.
std::vector<Row> read_table(std::string_view table);

// HRESULT names (S_OK, DISP_E_OVERFLOW, ...) and back; unknown results print in hex.
std::optional<HRESULT> hresult_named(std::string_view word);
std::string hresult_name(HRESULT hr);

// A number of type T as the table writes it: decimal, or 0x and hex digits that spell its bits (an
// ERROR 0x80020004). Nothing when the text is no T, or does not fit one.
template <class T>
std::optional<T> number_from(std::string_view text)
{
    const char* end = text.data() + text.size();
    T value{};
    std::from_chars_result read{};
    if constexpr (std::is_integral_v<T>) {
        if (text.starts_with("0x")) {
            std::make_unsigned_t<T> bits{};
            read = std::from_chars(text.data() + 2, end, bits, 16);
            value = static_cast<T>(bits);
        }
    }
    if (read.ptr == nullptr)
        read = std::from_chars(text.data(), end, value);
    return read.ec == std::errc() && read.ptr == end ? std::optional(value) : std::nullopt;
}

// Reads one row's tokens front to back. A copy reads the same tokens again from where it was made.
class Cursor {
public:
    explicit Cursor(const std::vector<Token>& tokens) : tokens_(&tokens) {}

    bool done() const noexcept { return next_ == tokens_->size(); }
    bool next_quoted() const { return !done() && (*tokens_)[next_].quoted; }
    // The next unquoted word without consuming it; empty when a quoted string or nothing follows.
    std::string_view peek() const { return done() || next_quoted() ? std::string_view() : (*tokens_)[next_].text; }
    // True when the next token is the unquoted word `word` (consumed then).
    bool accept(std::string_view word)
    {
        const bool match = !done() && !next_quoted() && peek() == word;
        next_ += match;
        return match;
    }
    void expect(std::string_view word) { if (!accept(word)) throw error("expected '" + std::string(word) + "'"); }
    std::string word() { return peek().empty() ? throw error("a word expected") : (*tokens_)[next_++].text; }
    std::string quoted() { return next_quoted() ? (*tokens_)[next_++].text : throw error("a quoted string expected"); }
    // "text" or the word null.
    std::optional<std::string> string_or_null() { return accept("null") ? std::nullopt : std::optional(quoted()); }
    template <class T = long long>
    T number()
    {
        const auto text = word();
        const auto value = number_from<T>(text);
        return value ? *value : throw ParseError("'" + text + "' is no number here");
    }
    // `number` after `word`, when the word is next; `fallback` otherwise.
    template <class T>
    T option(std::string_view word, T fallback) { return accept(word) ? number<T>() : fallback; }
    // An HRESULT name, consumed when it is one.
    std::optional<HRESULT> accept_hresult()
    {
        const auto hr = hresult_named(peek());
        next_ += hr.has_value();
        return hr;
    }
    HRESULT hresult() { const auto hr = accept_hresult(); return hr ? *hr : throw error("an HRESULT name expected"); }
    void finish() const { if (!done()) throw error("unexpected words at the end of the row"); }
    // What is wrong, and where in the row.
    ParseError error(const std::string& why) const;

private:
    const std::vector<Token>* tokens_;
    std::size_t next_ = 0;
};

// "{6B29FC40-CA47-1067-B31D-00DD010662DA}" read here, independently of IIDFromString.
GUID parse_guid(Cursor& cursor);

} // namespace conformance
