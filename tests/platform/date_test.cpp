// VarBstrFromDate and VarDateFromStr in en-US.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>

namespace {

constexpr LCID en_us = LOCALE_USER_DEFAULT;
constexpr double seconds_per_day = 86400.0;

std::wstring format(DATE value, ULONG flags = 0)
{
    BSTR text = nullptr;
    const HRESULT hr = VarBstrFromDate(value, en_us, flags, &text);
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

// The conformance table holds the common dates; here a half hour past midnight, a leap day's last
// minute, and the flags that keep only the date or the time.
TEST(VarBstrFromDate, FormatsAsMonthDayYearAndTwelveHourTime)
{
    EXPECT_EQ(format(45000 + 0.5 / 24), L"3/15/2023 12:30:00 AM");
    EXPECT_EQ(format(serial(2024, 2, 29) + 0.999), L"2/29/2024 11:58:34 PM");
    EXPECT_EQ(format(45000.75, VAR_DATEVALUEONLY), L"3/15/2023");
    EXPECT_EQ(format(45000.75, VAR_TIMEVALUEONLY), L"6:00:00 PM");
}

TEST(VarBstrFromDate, RejectsDatesOutsideYears100To9999)
{
    BSTR text = nullptr;
    for (const DATE value : {-657435.5, 1e12})
        EXPECT_EQ(VarBstrFromDate(value, en_us, 0, &text), E_INVALIDARG) << value;
    EXPECT_EQ(text, nullptr);
}

struct Parsed {
    const wchar_t* text;
    DATE value;
};

void expect_parses(const Parsed& row)
{
    DATE value = -1e9;
    EXPECT_EQ(parse(row.text, &value), S_OK) << testing::PrintToString(row.text);
    EXPECT_NEAR(value, row.value, 1e-9) << testing::PrintToString(row.text);
}

TEST(VarDateFromStr, ReadsMonthNamesWeekdaysAndTimes)
{
    const double half_past_six_pm = 18.5 / 24;
    // Forms the conformance table does not read: padding, a lower-case month, the time first, a weekday.
    const Parsed rows[] = {
        {L"  3/15/2023  ", 45000},
        {L"15 mar 2023", 45000},
        {L"15-Mar-2023", 45000},
        {L"3/15/2023 Wed", 45000},
        {L"12:05 AM", 5 * 60 / seconds_per_day},
        {L"13:00 PM", 13.0 / 24}, // a marker after a 24-hour hour changes nothing
        {L"3/15/2023 6 PM", 45000.75},
        {L"18:30 3/15/2023", 45000 + half_past_six_pm},
        {L"12/29/1899 6:00 AM", -1.25}, // before day 0 the time still runs forward
    };
    for (const auto& row : rows)
        expect_parses(row);
}

void expect_mismatch(const wchar_t* text)
{
    DATE value = 0;
    EXPECT_EQ(parse(text, &value), DISP_E_TYPEMISMATCH) << testing::PrintToString(text);
}

TEST(VarDateFromStr, TextThatIsNoDateIsATypeMismatch)
{
    for (const wchar_t* text :
         {L"12/31/99999", L"1/1/99999999999999999999", L"2023-257-1", L"1/257/2023", L"18:60", L"18:", L"1:2:3:4",
          L"3/15/2023 1:00 2:00", L"  ", L"March", L"Sept 5 2023", L"PM", L"3/15/", L"/3/15", L"1/2/3/4",
          L"3/15/2023 x"})
        expect_mismatch(text);
}

TEST(VarDateFromStr, MissingYearIsTheCurrentOneAndMissingDayTheFirst)
{
    const int year = this_year();
    expect_parses({L"3/15", serial(year, 3, 15)});
    expect_parses({L"15/3", serial(year, 3, 15)});
    expect_parses({L"March 15", serial(year, 3, 15)});
    expect_parses({L"March 2023", serial(2023, 3, 1)});
    expect_parses({L"3/2023", serial(2023, 3, 1)});
    expect_parses({L"2023/3", serial(2023, 3, 1)});
}

#if !defined(_WIN32)
// Wine 8.0 reads "1:2:3 p" only some of the time, and "March April 2023" as March 4.
TEST(VarDateFromStr, SingleLetterMarkerIsReadAndTwoMonthNamesAreNot)
{
    expect_parses({L"1:2:3 p", (13 * 3600 + 2 * 60 + 3) / seconds_per_day});
    expect_mismatch(L"March April 2023");
}

// Where the pivot of two-digit years lies differs between Windows versions; this layer keeps 49/50.
TEST(VarDateFromStr, TwoDigitYearsPivotAtFifty)
{
    expect_parses({L"1/1/00", serial(2000, 1, 1)});
    expect_parses({L"12/31/49", serial(2049, 12, 31)});
    expect_parses({L"1/1/50", serial(1950, 1, 1)});
    expect_parses({L"Jan 1 99", serial(1999, 1, 1)});
}
#endif

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
