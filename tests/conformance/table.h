// The conformance table: rows of words, quoted strings and brackets, one row per line, and the VARIANT
// values they write. Lines starting with '#' are comments; a line "== Name" names the test suite of the
// rows after it. A row is read when its test runs, so that a malformed row fails its own test.
//
// Values are read and printed without the layer's conversions (only its allocation and SAFEARRAY element
// access), so that a conversion fault cannot hide itself:
//
//   EMPTY  NULL  I4 -5  UI8 0xFFFFFFFFFFFFFFFF  R8 0.1  R8 ~45000.77  DATE 45000+13.5s  CY 1234.5678
//   DECIMAL -1.50  BOOL TRUE  ERROR 0x80020004  BSTR "a\0b"  BSTR null  UNKNOWN null  UNKNOWN fake
//   VT 0x7f (any vt, empty payload)  BYREF I4 77  BYREF VARIANT I2 9  BYREF null I4
//   ARRAY I4 [1, 2]  ARRAY I4 [1, 2]@-1  ARRAY VARIANT [I4 1, BSTR "x"]  ARRAY BSTR null (no SAFEARRAY)
//
// '~' before a real or a date compares it within 1e-6 (about a tenth of a second as a DATE); `fake` is
// the row's fake object; "\0" to "\9" in a string stand for the control characters of those codes.
#pragma once

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <memory>
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

struct Row {
    int line = 0;
    std::string suite;
    std::string name; // unique within its suite, letters, digits and '_'
    std::string text; // as written
};

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

// Reads a row front to back: words, single brackets, commas and semicolons, and quoted strings. A copy
// reads the same words again from where it was made.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) { skip_space(); }

    bool done() const noexcept { return at_ == text_.size(); }
    bool next_quoted() const { return !done() && text_[at_] == '"'; }
    // The next word without consuming it; empty when a quoted string or nothing follows.
    std::string_view peek() const
    {
        if (done() || next_quoted())
            return {};
        const bool single = std::string_view("[],;").find(text_[at_]) != std::string_view::npos;
        return text_.substr(at_, single ? 1 : text_.find_first_of(" \t[],;\"", at_) - at_);
    }
    // True when the next word is `word` (consumed then).
    bool accept(std::string_view word)
    {
        if (word.empty() || peek() != word)
            return false;
        at_ += word.size();
        skip_space();
        return true;
    }
    void expect(std::string_view word) { if (!accept(word)) throw error("expected '" + std::string(word) + "'"); }
    std::string word()
    {
        const std::string word(peek());
        return accept(word) ? word : throw error("a word expected");
    }
    std::string quoted(); // decoded, without its quotes
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
        return hr && accept(peek()) ? hr : std::nullopt;
    }
    HRESULT hresult() { const auto hr = accept_hresult(); return hr ? *hr : throw error("an HRESULT name expected"); }
    void finish() const { if (!done()) throw error("unexpected words at the end of the row"); }
    // What is wrong, and where in the row.
    ParseError error(const std::string& why) const
    {
        return ParseError((done() ? "at the end" : "at '" + std::string(text_.substr(at_)) + "'") + ": " + why);
    }

private:
    void skip_space() { at_ = std::min(text_.find_first_not_of(" \t\r", at_), text_.size()); }

    std::string_view text_;
    std::size_t at_ = 0;
};

// "{6B29FC40-CA47-1067-B31D-00DD010662DA}" read here, independently of IIDFromString.
GUID parse_guid(Cursor& cursor);

// "I4", "BSTR|BYREF", "ARRAY|I4", "0x7f".
VARTYPE parse_vartype(const std::string& word);
std::string vartype_name(VARTYPE vt);

// A VARIANT that owns what it holds, including the target of a BYREF value.
struct Value : VARIANT {
    Value() noexcept;
    ~Value();

    bool approx = false; // its number was written with '~'
    std::unique_ptr<Value> target; // what a BYREF value points to
};

// Reads one value, or one element of an array of `vt` (the payload only, or a whole value for VARIANT
// arrays), into `out`, which must be empty; `fake` is what the word `fake` stands for.
// Throws ParseError for words that are no value, std::runtime_error when a layer call fails.
void read_value(Cursor& cursor, IUnknown* fake, Value& out, VARTYPE vt = VT_VARIANT);

// The address of the payload: what BYREF pointers and SafeArrayGetElement take for most types.
void* payload_address(VARIANT& v) noexcept;
// What SafeArrayPutElement takes for an element of an array of `vt` held in `element`.
void* element_argument(VARIANT& element, VARTYPE vt) noexcept;
// A non-owning VARIANT that shows the element stored at `p` in an array of `vt`.
VARIANT view_of(VARTYPE vt, const void* p);

// The words that would read back as `v`, for failure messages.
std::string describe(const VARIANT& v);

// Reads the expected value (an element of an array of `element` type) and checks `actual` against it:
// type and value alike, strings by content and NULL-ness, arrays element by element, DECIMALs by
// value, reals exactly or within 1e-6 where the table writes '~'.
void expect_value(const VARIANT& actual, Cursor& cursor, IUnknown* fake, VARTYPE element = VT_VARIANT);

// OLECHAR text from the table's bytes, each byte one character, and back (ASCII; anything else escaped).
std::basic_string<OLECHAR> widen(const std::string& text);
std::string narrow(const OLECHAR* text, std::size_t length);
inline std::string text_of(BSTR string) { return narrow(string, SysStringLen(string)); }
// A new BSTR holding `text` widened; throws std::runtime_error when the allocation fails.
BSTR allocate(const std::string& text);

} // namespace conformance
