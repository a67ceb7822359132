// Exact decimal numbers: construction from the binary types, rounding, and the checked way back.
#include "decimal_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace platform::convert {

namespace {

constexpr int max_decimal_scale = 28;
constexpr UInt128 max_decimal_mantissa = (UInt128(1) << 96) - 1;

std::string digits_of(UInt128 magnitude)
{
    std::string digits;
    for (; magnitude != 0; magnitude /= 10)
        digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    std::reverse(digits.begin(), digits.end());
    return digits;
}

UInt128 magnitude_of(Int128 value) { return value < 0 ? UInt128(0) - UInt128(value) : UInt128(value); }

// The magnitude of an integral value (exponent >= 0), or false when it exceeds `limit`.
bool integral_magnitude(const DecimalValue& value, UInt128 limit, UInt128& out)
{
    out = 0;
    for (const char c : value.digits) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (out > (limit - digit) / 10)
            return false;
        out = out * 10 + digit;
    }
    for (int i = 0; i < value.exponent && out != 0; ++i) {
        if (out > limit / 10)
            return false;
        out *= 10;
    }
    return true;
}

// Adds one unit in the last place of a digit string, growing it on a carry out of the first digit.
void increment(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

bool is_odd_digit(char c) { return (c - '0') % 2 != 0; }

} // namespace

DecimalValue make_decimal_value(bool negative, std::string digits, int exponent)
{
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return {};
    const auto last = digits.find_last_not_of('0');
    exponent += static_cast<int>(digits.size() - 1 - last);
    digits = digits.substr(first, last + 1 - first);
    return {negative, std::move(digits), exponent};
}

DecimalValue from_integer(Int128 value) { return make_decimal_value(value < 0, digits_of(magnitude_of(value)), 0); }

DecimalValue from_currency(CY value)
{
    return make_decimal_value(value.int64 < 0, digits_of(magnitude_of(value.int64)), -4);
}

DecimalValue from_decimal(const DECIMAL& value)
{
    const UInt128 mantissa = (UInt128(value.Hi32) << 64) | value.Lo64;
    return make_decimal_value((value.sign & DECIMAL_NEG) != 0, digits_of(mantissa), -value.scale);
}

DecimalValue from_real(double value, int significant_digits)
{
    // "d.ddde+XX": to_chars rounds exactly, whatever the C locale says the decimal point is.
    char text[64];
    const auto printed =
        std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific, significant_digits - 1);
    const std::string_view view(text, static_cast<std::size_t>(printed.ptr - text));
    const auto e = view.find('e');
    std::string digits;
    for (const char c : view.substr(0, e))
        if (c != '.')
            digits.push_back(c);
    const std::string_view power = view.substr(e + 1);
    int exponent = 0;
    std::from_chars(power.data() + 1, power.data() + power.size(), exponent);
    if (power.front() == '-')
        exponent = -exponent;
    return make_decimal_value(value < 0, std::move(digits), exponent - (significant_digits - 1));
}

DecimalValue round_to_scale(const DecimalValue& value, int scale)
{
    if (value.exponent >= -scale)
        return value;
    const std::size_t dropped = static_cast<std::size_t>(-scale - value.exponent);
    const std::size_t count = value.digits.size();
    if (dropped > count) // below a tenth of the last kept place: rounds to zero
        return {};
    std::string kept = value.digits.substr(0, count - dropped);
    const char first_dropped = value.digits[count - dropped];
    // Digits never end in zero, so anything after the first dropped digit makes the rest non-zero.
    const bool more_after = dropped > 1;
    const bool kept_odd = !kept.empty() && is_odd_digit(kept.back());
    if (first_dropped > '5' || (first_dropped == '5' && (more_after || kept_odd)))
        increment(kept);
    return make_decimal_value(value.negative, std::move(kept), -scale);
}

HRESULT to_integer(const DecimalValue& value, Int128 min, Int128 max, Int128& out)
{
    const DecimalValue rounded = round_to_scale(value, 0);
    const UInt128 limit = rounded.negative ? (min < 0 ? magnitude_of(min) : 0) : (max > 0 ? UInt128(max) : 0);
    UInt128 magnitude = 0;
    if (!integral_magnitude(rounded, limit, magnitude))
        return DISP_E_OVERFLOW;
    out = rounded.negative ? -Int128(magnitude) : Int128(magnitude);
    return S_OK;
}

HRESULT to_currency(const DecimalValue& value, CY& out)
{
    DecimalValue units = value;
    if (!units.is_zero())
        units.exponent += 4;
    Int128 result = 0;
    const HRESULT hr =
        to_integer(units, std::numeric_limits<LONGLONG>::min(), std::numeric_limits<LONGLONG>::max(), result);
    if (SUCCEEDED(hr))
        out.int64 = static_cast<LONGLONG>(result);
    return hr;
}

HRESULT to_decimal(const DecimalValue& value, DECIMAL& out)
{
    // The finest scale that keeps the mantissa within 96 bits, each attempt rounding the exact value once.
    for (int scale = std::clamp(-value.exponent, 0, max_decimal_scale); scale >= 0; --scale) {
        const DecimalValue rounded = round_to_scale(value, scale);
        const int used = rounded.is_zero() ? 0 : std::min(scale, std::max(0, -rounded.exponent));
        DecimalValue mantissa{false, rounded.digits, rounded.exponent + used};
        UInt128 bits = 0;
        if (!integral_magnitude(mantissa, max_decimal_mantissa, bits))
            continue;
        out.wReserved = 0;
        out.scale = static_cast<BYTE>(used);
        out.sign = rounded.negative ? DECIMAL_NEG : 0;
        out.Hi32 = static_cast<ULONG>(bits >> 64);
        out.Lo64 = static_cast<ULONGLONG>(bits);
        return S_OK;
    }
    return DISP_E_OVERFLOW;
}

HRESULT to_real(const DecimalValue& value, double& out)
{
    if (value.is_zero()) {
        out = 0.0;
        return S_OK;
    }
    const std::string text = value.digits + 'e' + std::to_string(value.exponent);
    double magnitude = 0.0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (parsed.ec == std::errc::result_out_of_range) {
        // Out of range upwards is an overflow; downwards the nearest double is zero.
        if (value.exponent + static_cast<int>(value.digits.size()) > 0)
            return DISP_E_OVERFLOW;
        magnitude = 0.0;
    }
    out = value.negative ? -magnitude : magnitude;
    return S_OK;
}

bool is_valid_decimal(const DECIMAL& value)
{
    return value.scale <= max_decimal_scale && (value.sign & ~DECIMAL_NEG) == 0;
}

} // namespace platform::convert
