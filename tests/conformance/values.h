// VARIANTs read from the table's words, and compared and printed without the layer's conversions
// (only its allocation and SAFEARRAY element access), so that a conversion fault cannot hide itself.
//
//   EMPTY  NULL  I4 -5  UI8 0xFFFFFFFFFFFFFFFF  R8 0.1  R8 ~45000.77  DATE 45000+13.5s  CY 1234.5678
//   DECIMAL -1.50  BOOL TRUE  ERROR 0x80020004  BSTR "a\0b"  BSTR null  UNKNOWN null  UNKNOWN fake
//   VT 0x7f (any vt, empty payload)  BYREF I4 77  BYREF VARIANT I2 9  BYREF null I4
//   ARRAY I4 [1, 2]  ARRAY I4 [1, 2]@-1  ARRAY VARIANT [I4 1, BSTR "x"]  ARRAY BSTR null (no SAFEARRAY)
//
// '~' before a number compares within 1e-6 (about a tenth of a second as a DATE); `fake` is the
// row's fake object.
#pragma once

#include "conformance/table.h"

#include <windows.h>

#include <memory>
#include <string>

namespace conformance {

// "I4", "BSTR|BYREF", "ARRAY|I4", "0x7f".
VARTYPE parse_vartype(const std::string& word);
std::string vartype_name(VARTYPE vt);

// A VARIANT that owns what it holds, including the target of a BYREF value.
class Value {
public:
    Value() noexcept;
    ~Value();
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    VARIANT* get() noexcept { return &value_; }
    VARIANT& operator*() noexcept { return value_; }
    const VARIANT& operator*() const noexcept { return value_; }

    bool approx = false; // some number in it was written with '~'
    std::unique_ptr<Value> target; // what a BYREF value points to
private:
    VARIANT value_;
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

// OLECHAR text from the table's bytes, and back (ASCII; anything else escaped).
std::basic_string<OLECHAR> widen(const std::string& text);
std::string narrow(const OLECHAR* text, std::size_t length);
// A new BSTR holding `text`; throws std::runtime_error when the allocation fails.
BSTR allocate(const std::string& text);

} // namespace conformance
