// Exact ordering of DECIMAL values, and of CY, integers and doubles against them.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>

namespace platform::decimal {

inline constexpr LONGLONG currency_scale = 10000;

// A double becomes a DECIMAL through the digits it prints with: R8 0.1 equals DECIMAL 0.1.
inline constexpr int double_digits = 15;
inline constexpr int single_digits = 7;

// A signed magnitude counted in units of 1e-28, the finest DECIMAL step. 224 bits hold the largest
// DECIMAL (96 bits) times 10^28 (93 bits), so every DECIMAL, CY and LONGLONG is held exactly.
struct Scaled {
    bool negative = false;
    std::array<std::uint32_t, 7> limbs{}; // least significant first
};

bool operator<(const Scaled& left, const Scaled& right);

// Empty when the scale is beyond 28, which no valid DECIMAL has.
std::optional<Scaled> from_decimal(const DECIMAL& value);
Scaled from_currency(LONGLONG value);
Scaled from_integer(LONGLONG value);
// Empty for NaN, infinities and magnitudes beyond the DECIMAL range.
std::optional<Scaled> from_double(double value, int significant_digits);

double to_double(const DECIMAL& value);

} // namespace platform::decimal
