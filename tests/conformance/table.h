// The conformance table's text form: rows of words, quoted strings and brackets, one row per line.
// Lines starting with '#' are comments; a line "== Name" names the test suite of the rows after it.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace conformance {

// The table itself (oleaut.cases).
extern const char* const table_text;

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
};

// Splits the table into rows; throws ParseError naming the line of a malformed string.
std::vector<Row> read_table(std::string_view table);

// Reads one row's tokens front to back; every complaint names the row's line.
class Cursor {
public:
    Cursor(const std::vector<Token>& tokens, int line) : tokens_(tokens), line_(line) {}

    bool done() const noexcept { return next_ == tokens_.size(); }
    // True when the next token is the unquoted word `word` (consumed then).
    bool accept(std::string_view word);
    void expect(std::string_view word);
    const Token& peek() const;
    Token take();
    std::string word();        // an unquoted token
    std::string quoted();      // a quoted token
    std::optional<std::string> string_or_null(); // "text" or the word null
    long long number();        // decimal or 0x hex, with a sign
    std::optional<HRESULT> accept_hresult(); // an HRESULT name, consumed when it is one
    HRESULT hresult();                       // an HRESULT name, or a complaint
    void finish() const;       // nothing may follow
    [[noreturn]] void fail(const std::string& why) const;

private:
    const std::vector<Token>& tokens_;
    std::size_t next_ = 0;
    int line_;
};

// ---- Literal values ---------------------------------------------------------------------------------
// A VARIANT as the table writes it:
//   EMPTY  NULL  I4 -5  UI8 0xFFFFFFFFFFFFFFFF  R8 0.1  R8 ~45000.77  DATE 45000+13.5s  CY 1234.5678
//   DECIMAL -1.50  BOOL TRUE  ERROR 0x80020004  BSTR "a\0b"  BSTR null  UNKNOWN null  UNKNOWN fake
//   VT 0x7f (any vt, empty payload)  BYREF I4 77  BYREF VARIANT I2 9  BYREF null I4
//   ARRAY I4 [1, 2]  ARRAY I4 [1, 2]@-1  ARRAY VARIANT [I4 1, BSTR "x"]  ARRAY BSTR null (no SAFEARRAY)
// '~' before a number compares within 1e-6 (about a tenth of a second as a DATE); `fake` is the
// row's fake object.
struct Literal {
    enum class Shape { scalar, null, raw, fake, byref, byref_null, array, array_null };
    Shape shape = Shape::scalar;
    VARTYPE vt = VT_EMPTY; // the payload's type; for arrays the element type; for raw the whole vt
    std::string text;      // the payload as written (a string decoded)
    bool approx = false;
    std::vector<Literal> items; // byref: the target; array: the elements
    LONG lbound = 0;
};

Literal parse_literal(Cursor& cursor);
// One element of an array of `vt`: the payload only, or a whole literal for VARIANT arrays.
Literal parse_element(Cursor& cursor, VARTYPE vt);

// "I4", "BSTR|BYREF", "ARRAY|I4", "0x7f".
VARTYPE parse_vartype(const std::string& word);
std::string vartype_name(VARTYPE vt);

// HRESULT names (S_OK, DISP_E_OVERFLOW, ...); nullopt for anything else.
std::optional<HRESULT> hresult_named(const std::string& word);
std::string hresult_name(HRESULT hr);

// "{6B29FC40-CA47-1067-B31D-00DD010662DA}" read here, independently of IIDFromString.
GUID parse_guid(Cursor& cursor);

} // namespace conformance
