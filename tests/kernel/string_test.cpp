// Ordinal comparison and UTF-8 conversion behave the same whatever the width of wchar_t.
#include <Kernel/string.h>

#include <gtest/gtest.h>

#include <tuple>

namespace {

using ostra::lux::kernel::safe_wstring_view;
using ostra::lux::kernel::detail::CompareStringOrdinal;

int sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareStringOrdinal, OrdersByUtf16UnitsAfterOptionalUpperCasing)
{
    const wchar_t embedded_nul[] = {L'a', L'\0', L'b'};
    // Left, right, whether case is ignored, and the sign of their order.
    const std::tuple<safe_wstring_view, safe_wstring_view, bool, int> cases[] = {
        {L"host", L"host", false, 0},
        {L"HOST", L"host", true, 0},
        {L"HOST", L"host", false, -1},          // 'H' sorts before 'h'
        {L"a", L"B", true, -1},                 // compared as 'A' and 'B'
        {L"a", L"B", false, 1},                 // 'a' after 'B' when case counts
        {L"ab", L"abc", true, -1},              // a prefix sorts first
        {L"abd", L"abc", true, 1},
        {L"", nullptr, true, 0},                // a null text is empty
        {nullptr, L"x", true, -1},
        {{embedded_nul, 3}, L"a", false, 1},    // the length counts, not the first NUL
        {L"\u00C4RGER", L"\u00E4rger", true, 0}, // Latin-1
        {L"\u0178", L"\u00FF", true, 0},        // Ÿ and ÿ lie outside one block
        {L"\u017D", L"\u017E", true, 0},        // Latin Extended-A pair
        {L"\u041F\u0420\u0418", L"\u043F\u0440\u0438", true, 0}, // Cyrillic
        {L"\u03A3", L"\u03C2", true, 0},        // final sigma
        {L"stra\u00DFe", L"STRASSE", true, 1},  // no expansion of ß
        {L"\U00010000", L"\uFF21", false, -1},  // surrogate D800 sorts before FF21 in UTF-16
    };
    for (const auto& [left, right, ignore_case, expected_sign] : cases) {
        SCOPED_TRACE(ostra::lux::kernel::to_utf8(left) + " vs " + ostra::lux::kernel::to_utf8(right));
        EXPECT_EQ(sign(CompareStringOrdinal(left, right, ignore_case)), expected_sign);
        EXPECT_EQ(sign(CompareStringOrdinal(right, left, ignore_case)), -expected_sign);
    }
}

TEST(ToUtf8, EncodesEveryPlaneAndReplacesBrokenSurrogates)
{
    EXPECT_EQ(ostra::lux::kernel::to_utf8(L"a\u00E9\u20AC\U0001F600"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const std::wstring lone{static_cast<wchar_t>(0xD800), L'x'};
    EXPECT_EQ(ostra::lux::kernel::to_utf8(lone), "\xEF\xBF\xBDx");
    EXPECT_EQ(ostra::lux::kernel::to_utf8(L""), "");
}

} // namespace
