// Wide-text conversions and the ordinal comparison, written once for 16-bit and 32-bit wchar_t.
#include <Kernel/string.h>

#include <array>
#include <cstdint>
#include <type_traits>

namespace ostra::lux::kernel {
namespace {

constexpr char32_t replacement_character = 0xFFFD;

constexpr bool is_high_surrogate(char32_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t c) noexcept { return c >= 0xDC00 && c <= 0xDFFF; }

// Reads the text one code point at a time, whatever the width of wchar_t.
class code_points {
public:
    explicit code_points(std::wstring_view text) noexcept : text_(text) {}

    bool next(char32_t& point) noexcept
    {
        if (position_ == text_.size())
            return false;
        char32_t c = static_cast<std::make_unsigned_t<wchar_t>>(text_[position_++]);
        if (is_high_surrogate(c) && position_ < text_.size()) {
            const char32_t low = static_cast<std::make_unsigned_t<wchar_t>>(text_[position_]);
            if (is_low_surrogate(low)) {
                ++position_;
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            }
        }
        point = (is_high_surrogate(c) || is_low_surrogate(c) || c > 0x10FFFF) ? replacement_character : c;
        return true;
    }

private:
    std::wstring_view text_;
    std::size_t position_ = 0;
};

// Yields the UTF-16 code units of a wide text, so that the order of comparisons does not depend on
// the width of wchar_t.
class utf16_units {
public:
    explicit utf16_units(std::wstring_view text) noexcept : points_(text) {}

    bool next(char16_t& unit) noexcept
    {
        if (pending_ != 0) {
            unit = pending_;
            pending_ = 0;
            return true;
        }
        char32_t point = 0;
        if (!points_.next(point))
            return false;
        if (point < 0x10000) {
            unit = static_cast<char16_t>(point);
        } else {
            point -= 0x10000;
            unit = static_cast<char16_t>(0xD800 + (point >> 10));
            pending_ = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        }
        return true;
    }

private:
    code_points points_;
    char16_t pending_ = 0;
};

// One range of the simple upper-case mapping: either every letter of the range moves by `delta`, or
// (alternating) upper and lower letters alternate and the lower one is the upper one plus 1.
struct case_range {
    char16_t first;
    char16_t last;
    int delta;
    bool alternating;
};

constexpr std::array<case_range, 22> lower_ranges{{
    {0x0061, 0x007A, -0x20, false}, // Basic Latin
    {0x00E0, 0x00F6, -0x20, false}, // Latin-1, without the division sign
    {0x00F8, 0x00FE, -0x20, false},
    {0x00FF, 0x00FF, 0x0178 - 0x00FF, false},
    {0x0100, 0x012F, 0, true}, // Latin Extended-A
    {0x0132, 0x0137, 0, true},
    {0x0139, 0x0148, 0, true},
    {0x014A, 0x0177, 0, true},
    {0x0179, 0x017E, 0, true},
    {0x03AC, 0x03AC, 0x0386 - 0x03AC, false}, // Greek
    {0x03AD, 0x03AF, -0x25, false},
    {0x03B1, 0x03C1, -0x20, false},
    {0x03C2, 0x03C2, 0x03A3 - 0x03C2, false},
    {0x03C3, 0x03CB, -0x20, false},
    {0x03CC, 0x03CC, 0x038C - 0x03CC, false},
    {0x03CD, 0x03CE, -0x3F, false},
    {0x0430, 0x044F, -0x20, false}, // Cyrillic
    {0x0450, 0x045F, -0x50, false},
    {0x0460, 0x0481, 0, true},
    {0x048A, 0x04BF, 0, true},
    {0x0561, 0x0586, -0x30, false}, // Armenian
    {0xFF41, 0xFF5A, -0x20, false}, // Full-width Latin
}};

char16_t to_upper(char16_t unit) noexcept
{
    for (const case_range& range : lower_ranges) {
        if (unit < range.first || unit > range.last)
            continue;
        if (range.alternating)
            return (unit - range.first) % 2 == 1 ? static_cast<char16_t>(unit - 1) : unit;
        return static_cast<char16_t>(unit + range.delta);
    }
    return unit;
}

void append_utf8(std::string& out, char32_t point)
{
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

} // namespace

std::string to_utf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    code_points points(text);
    for (char32_t point = 0; points.next(point);)
        append_utf8(out, point);
    return out;
}

namespace detail {

int CompareStringOrdinal(safe_wstring_view left, safe_wstring_view right, bool ignore_case) noexcept
{
    utf16_units a(left), b(right);
    for (;;) {
        char16_t x = 0, y = 0;
        const bool more_a = a.next(x);
        const bool more_b = b.next(y);
        if (!more_a || !more_b)
            return static_cast<int>(more_a) - static_cast<int>(more_b);
        if (ignore_case) {
            x = to_upper(x);
            y = to_upper(y);
        }
        if (x != y)
            return static_cast<int>(x) - static_cast<int>(y);
    }
}

} // namespace detail
} // namespace ostra::lux::kernel
