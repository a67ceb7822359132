// Exact decimal numbers for VariantChangeType. Text, CY and DECIMAL values pass through this form, so
// that every conversion between them rounds once, on decimal digits, half to even.
#pragma once

#include <oleauto.h>

#include <string>

namespace platform::convert {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// The number (-1)^negative × digits × 10^exponent. `digits` holds ASCII digits with neither leading nor
// trailing zeros; it is empty for zero, which is never negative.
struct DecimalValue {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool is_zero() const { return digits.empty(); }
};

// Builds a DecimalValue from digits in any form (leading or trailing zeros allowed).
DecimalValue make_decimal_value(bool negative, std::string digits, int exponent);

DecimalValue from_integer(Int128 value);
DecimalValue from_currency(CY value);
// A DECIMAL whose scale is at most 28.
DecimalValue from_decimal(const DECIMAL& value);
// A finite double, rounded to `significant_digits` digits as printf's %e would round it.
DecimalValue from_real(double value, int significant_digits);

// `value` rounded half to even to at most `scale` digits after the point.
DecimalValue round_to_scale(const DecimalValue& value, int scale);

// These round as round_to_scale does and answer DISP_E_OVERFLOW when the rounded value does not fit.
HRESULT to_integer(const DecimalValue& value, Int128 min, Int128 max, Int128& out);
HRESULT to_currency(const DecimalValue& value, CY& out);
HRESULT to_decimal(const DecimalValue& value, DECIMAL& out);
// The nearest double; DISP_E_OVERFLOW beyond its range, zero below it.
HRESULT to_real(const DecimalValue& value, double& out);

// Scale and sign of a DECIMAL are within their documented ranges.
bool is_valid_decimal(const DECIMAL& value);

} // namespace platform::convert
