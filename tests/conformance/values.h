// VARIANTs built from the table's literals, and compared and printed without the layer's conversions
// (only its allocation and SAFEARRAY element access), so that a conversion fault cannot hide itself.
#pragma once

#include "conformance/table.h"

#include <windows.h>

#include <memory>
#include <string>

namespace conformance {

// Fills the payload of `v` for a scalar of type `vt` written as `text` and sets v.vt; throws
// ParseError when the text does not fit the type. Not for BSTR, UNKNOWN or DISPATCH.
void set_payload(VARIANT& v, VARTYPE vt, const std::string& text);

// What a `fake` literal stands for in the running row.
struct Context {
    IUnknown* fake = nullptr;
};

// A VARIANT that owns what it holds, including the target of a BYREF literal.
class OwnedVariant {
public:
    OwnedVariant() noexcept;
    ~OwnedVariant();
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;

    VARIANT* get() noexcept { return &value_; }
    const VARIANT& operator*() const noexcept { return value_; }
    // Where a BYREF literal's value lives.
    VARIANT& target();

private:
    VARIANT value_;
    std::unique_ptr<VARIANT> target_;
};

// Builds `literal` into `out` (which must be empty); throws std::runtime_error when a layer call fails.
void build(const Literal& literal, Context& context, OwnedVariant& out);

// The address of the payload: what BYREF pointers and SafeArrayPutElement take for most types.
void* payload_address(VARIANT& v) noexcept;

// What SafeArrayPutElement takes for an element of an array of `vt` held in `element`.
void* element_argument(VARIANT& element, VARTYPE vt) noexcept;

// Equality of type and value: strings by content and NULL-ness, arrays element by element, DECIMALs
// by value, reals exactly or within 1e-6 when `approx`.
bool same(const VARIANT& actual, const VARIANT& expected, bool approx = false);

// The literal that would build `v`, for failure messages.
std::string describe(const VARIANT& v);

// OLECHAR text from the table's bytes, and back (ASCII; anything else escaped).
std::basic_string<OLECHAR> widen(const std::string& text);
std::string narrow(const OLECHAR* text, std::size_t length);

} // namespace conformance
