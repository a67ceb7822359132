// UTF-16LE bytes and OLECHAR strings. With a 16-bit OLECHAR every unit is copied as it is; with a
// 32-bit one, surrogate pairs stand for one character and unpaired surrogates pass through unchanged.
#include "utf16_bytes.h"

#include <cstdint>

namespace platform::convert {

namespace {

constexpr bool wide_olechar = sizeof(OLECHAR) > 2;

bool is_high_surrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_unit(std::vector<BYTE>& bytes, std::uint32_t unit)
{
    bytes.push_back(static_cast<BYTE>(unit & 0xFF));
    bytes.push_back(static_cast<BYTE>(unit >> 8));
}

} // namespace

std::vector<BYTE> to_utf16_bytes(std::wstring_view text)
{
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * 2);
    for (const OLECHAR c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (wide_olechar && code > 0xFFFF) {
            append_unit(bytes, 0xD800 + ((code - 0x10000) >> 10));
            append_unit(bytes, 0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            append_unit(bytes, code);
        }
    }
    return bytes;
}

std::wstring from_utf16_bytes(const BYTE* bytes, std::size_t count)
{
    std::wstring text;
    const std::size_t units = count / 2;
    text.reserve(units);
    const auto unit_at = [bytes](std::size_t i) { return std::uint32_t(bytes[2 * i]) | std::uint32_t(bytes[2 * i + 1]) << 8; };
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = unit_at(i);
        if (wide_olechar && is_high_surrogate(unit) && i + 1 < units && is_low_surrogate(unit_at(i + 1))) {
            text.push_back(static_cast<OLECHAR>(0x10000 + ((unit - 0xD800) << 10) + (unit_at(i + 1) - 0xDC00)));
            ++i;
        } else {
            text.push_back(static_cast<OLECHAR>(unit));
        }
    }
    return text;
}

} // namespace platform::convert
