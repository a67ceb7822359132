#include "decimal_order.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform::decimal {
namespace {

constexpr int finest_scale = 28;
constexpr std::uint32_t billion = 1000000000;

void multiply(Scaled& value, std::uint32_t factor)
{
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : value.limbs) {
        const std::uint64_t product = std::uint64_t{limb} * factor + carry;
        limb = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
}

std::uint64_t power_of_ten(int exponent)
{
    std::uint64_t power = 1;
    while (exponent-- > 0)
        power *= 10;
    return power;
}

// magnitude * 10^exponent; the callers keep the product below 2^224.
Scaled make(bool negative, std::uint64_t low, std::uint32_t high, int exponent)
{
    Scaled value;
    value.limbs[0] = static_cast<std::uint32_t>(low);
    value.limbs[1] = static_cast<std::uint32_t>(low >> 32);
    value.limbs[2] = high;
    for (; exponent >= 9; exponent -= 9)
        multiply(value, billion);
    multiply(value, static_cast<std::uint32_t>(power_of_ten(exponent)));
    // Zero has no sign, so that -0 and 0 compare equal.
    value.negative = negative && (low != 0 || high != 0);
    return value;
}

bool magnitude_less(const Scaled& left, const Scaled& right)
{
    for (std::size_t i = left.limbs.size(); i-- > 0;)
        if (left.limbs[i] != right.limbs[i])
            return left.limbs[i] < right.limbs[i];
    return false;
}

std::uint64_t magnitude_of(LONGLONG value)
{
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

// Divides by 10^exponent, rounding half away from zero; the result is 0 once the divisor exceeds
// any 64-bit value.
std::uint64_t round_down_by(std::uint64_t value, int exponent)
{
    if (exponent > 19)
        return 0;
    const std::uint64_t divisor = power_of_ten(exponent);
    return value / divisor + (value % divisor >= divisor - divisor / 2 ? 1 : 0);
}

} // namespace

bool operator<(const Scaled& left, const Scaled& right)
{
    if (left.negative != right.negative)
        return left.negative;
    return left.negative ? magnitude_less(right, left) : magnitude_less(left, right);
}

std::optional<Scaled> from_decimal(const DECIMAL& value)
{
    if (value.scale > finest_scale)
        return std::nullopt;
    return make(value.sign & DECIMAL_NEG, value.Lo64, value.Hi32, finest_scale - value.scale);
}

Scaled from_currency(LONGLONG value) { return make(value < 0, magnitude_of(value), 0, finest_scale - 4); }

Scaled from_integer(LONGLONG value) { return make(value < 0, magnitude_of(value), 0, finest_scale); }

std::optional<Scaled> from_double(double value, int significant_digits)
{
    constexpr double decimal_limit = 79228162514264337593543950336.0; // 2^96
    if (!std::isfinite(value) || std::fabs(value) >= decimal_limit)
        return std::nullopt;

    // "%.*e" gives the rounded significant digits and the decimal exponent: "1.23450000000000e-05".
    char text[32];
    std::snprintf(text, sizeof text, "%.*e", significant_digits - 1, std::fabs(value));
    std::uint64_t digits = 0;
    const char* p = text;
    for (; *p != 'e'; ++p)
        if (*p != '.')
            digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    const int exponent = std::atoi(p + 1) - (significant_digits - 1) + finest_scale;

    if (exponent < 0)
        return make(value < 0, round_down_by(digits, -exponent), 0, 0);
    return make(value < 0, digits, 0, exponent);
}

double to_double(const DECIMAL& value)
{
    const double magnitude = std::ldexp(static_cast<double>(value.Hi32), 64) + static_cast<double>(value.Lo64);
    const double unsigned_value = magnitude / std::pow(10.0, value.scale);
    return value.sign & DECIMAL_NEG ? -unsigned_value : unsigned_value;
}

} // namespace platform::decimal
