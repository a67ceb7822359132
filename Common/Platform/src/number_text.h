// Numbers as the en-US text that VariantChangeType reads and writes.
#pragma once

#include "decimal_value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::convert {

// A number read from text: decimal digits, or the unsigned bits of an "&H" or "&O" literal.
struct ParsedNumber {
    bool is_radix = false;
    std::uint64_t radix_bits = 0;
    DecimalValue value;
};

// Reads a whole string: white space around the number, a leading or trailing sign, parentheses for a
// negative value, a "$", "," as a thousands separator after the first digit, "." and an exponent; or
// "&H" hex and "&O" octal digits. DISP_E_TYPEMISMATCH when the text is not a number, DISP_E_OVERFLOW
// for a hex or octal literal wider than 64 bits.
HRESULT parse_number(std::wstring_view text, ParsedNumber& out);

// Fixed notation, no grouping, no trailing zeros after the point: "-1234.5678", "0.0001", "0".
std::wstring format_fixed(const DecimalValue& value);

// A double rounded to `significant_digits` (15 for R8, 7 for R4), in fixed notation while that needs
// fewer digits than the exponent form would allow, else as "1.5E+20" / "5.6789E-12".
std::wstring format_real(double value, int significant_digits);

} // namespace platform::convert
