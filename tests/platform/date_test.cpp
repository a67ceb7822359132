// VarBstrFromDate and VarDateFromStr in en-US, beyond the conformance table's rows: the current year,
// the flags of VarDateFromStr, and every day read back from its text.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <utility>

namespace {

constexpr LCID en_us = LOCALE_USER_DEFAULT;
constexpr double seconds_per_day = 86400.0;

std::wstring format(DATE value)
{
    BSTR text = nullptr;
    const HRESULT hr = VarBstrFromDate(value, en_us, 0, &text);
    EXPECT_EQ(hr, S_OK) << value;
    std::wstring result(text ? text : L"", SysStringLen(text));
    SysFreeString(text);
    return result;
}

// mingw-w64 declares the text parameter without const, so the call goes through a copy.
HRESULT parse(std::wstring text, DATE* value, ULONG flags = 0)
{
    return VarDateFromStr(text.data(), en_us, flags, value);
}

// A day of the calendar counted from 12/30/1899, the way a DATE counts it.
double serial(int year, unsigned month, unsigned day)
{
    using namespace std::chrono;
    return (sys_days{std::chrono::year{year} / month / day} - sys_days{1899y / 12 / 30}).count();
}

int this_year()
{
    const std::time_t now = std::time(nullptr);
    return std::localtime(&now)->tm_year + 1900;
}

TEST(VarDateFromStr, MissingYearIsTheCurrentOneAndMissingDayTheFirst)
{
    const int year = this_year();
    const std::pair<const wchar_t*, DATE> rows[] = {
        {L"3/15", serial(year, 3, 15)},      {L"15/3", serial(year, 3, 15)}, {L"March 15", serial(year, 3, 15)},
        {L"March 2023", serial(2023, 3, 1)}, {L"3/2023", serial(2023, 3, 1)}, {L"2023/3", serial(2023, 3, 1)},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(testing::PrintToString(text));
        DATE value = -1e9;
        EXPECT_EQ(parse(text, &value), S_OK);
        EXPECT_NEAR(value, expected, 1e-9);
    }
}

TEST(VarDateFromStr, FlagsDropTheDateOrTheTime)
{
    DATE value = 0;
    ASSERT_EQ(parse(L"3/15/2023 6:30 PM", &value, VAR_TIMEVALUEONLY), S_OK);
    EXPECT_NEAR(value, 18.5 / 24, 1e-9);
    ASSERT_EQ(parse(L"3/15/2023 6:30 PM", &value, VAR_DATEVALUEONLY), S_OK);
    EXPECT_EQ(value, 45000);
}

// Every date the text names reads back as the same day and second, from 1/1/100 to 12/31/9999.
TEST(DateText, ReadsBackWhatItWrites)
{
    for (double day = -657434; day <= 2958465; day += 4999) {
        for (const double second : {0.0, 1.0, 43199.0, 43200.0, 86399.0}) {
            const DATE value = day < 0 ? day - second / seconds_per_day : day + second / seconds_per_day;
            const std::wstring text = format(value);
            DATE back = 0;
            ASSERT_EQ(parse(text, &back), S_OK) << testing::PrintToString(text);
            EXPECT_NEAR(back, value, 0.5 / seconds_per_day) << testing::PrintToString(text);
        }
    }
}

} // namespace
