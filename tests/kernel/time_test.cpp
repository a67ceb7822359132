// DMTF and ISO 8601 texts, OLE dates and time points.
#include <Kernel/chrono>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace {

using namespace std::chrono;
using ostra::lux::kernel::offset_minutes;
using ostra::lux::kernel::ticks;
using ostra::lux::kernel::timepoint;
using ostra::lux::kernel::timepointoffset;

timepoint at(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0, std::int64_t fraction_ticks = 0)
{
    return timepoint(sys_days(year(y) / month(mo) / day(d))) + hours(h) + minutes(mi) + seconds(s) +
           ticks(fraction_ticks);
}

// A parser's answer: the value, or the HRESULT and source text of its exception.
template <class Parser>
std::optional<timepointoffset> parsed(Parser parse, std::wstring_view text)
{
    try {
        return parse(text);
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), E_INVALIDARG) << ostra::lux::kernel::to_utf8(text);
        EXPECT_EQ(e.source(), text);
        return std::nullopt;
    }
}

struct accepted {
    const wchar_t* text;
    timepointoffset expected;
};

TEST(Dmtf, AcceptsDateTimesWithTheirOffsets)
{
    const accepted rows[] = {
        {L"20230315101530.123456+060", {at(2023, 3, 15, 10, 15, 30, 1234560), offset_minutes(60)}},
        {L"20230315101530.123456-300", {at(2023, 3, 15, 10, 15, 30, 1234560), offset_minutes(-300)}},
        {L"20230315101530.******+000", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"20240229235959.999999+999", {at(2024, 2, 29, 23, 59, 59, 9999990), offset_minutes(999)}},
        {L"00010101000000.000000-000", {at(1, 1, 1), offset_minutes(0)}},
    };
    for (const auto& row : rows) {
        const auto result = parsed(dmtf_to_timepointoffset, row.text);
        ASSERT_TRUE(result) << ostra::lux::kernel::to_utf8(row.text);
        EXPECT_EQ(*result, row.expected) << ostra::lux::kernel::to_utf8(row.text);
    }
    // The UTC time is the written time less the offset.
    EXPECT_EQ(dmtf_to_timepointoffset(L"20230315101530.000000+060").utc(), at(2023, 3, 15, 9, 15, 30));
}

TEST(Dmtf, RejectsMalformedDateTimes)
{
    const wchar_t embedded_nul[] = L"20230315101530.123456+060\0x";
    const std::wstring_view rejected[] = {
        L"",
        L"2023031510153.123456+060",    // a digit short
        L"20230315101530.123456+06",    // offset of two digits
        L"20230315101530.123456+0600",  // trailing digit
        L"20230315101530.123456*060",   // no sign
        L"20230315101530,123456+060",   // comma for the point
        L"2023031510153a.123456+060",
        L"20230315101530.12**56+060",   // partly unknown microseconds
        L"20230230101530.000000+000",   // 30 February
        L"20231315101530.000000+000",   // month 13
        L"20230015101530.000000+000",   // month 0
        L"20230315241530.000000+000",   // hour 24
        L"20230315106030.000000+000",   // minute 60
        L"20230315101560.000000+000",   // second 60
        L"00000001020304.500000:000",   // an interval
        L"\uFF12\uFF10\uFF12\uFF13\uFF10\uFF13\uFF11\uFF15101530.000000+000", // full-width digits
        {embedded_nul, sizeof embedded_nul / sizeof embedded_nul[0] - 1},
    };
    for (const auto text : rejected)
        EXPECT_FALSE(parsed(dmtf_to_timepointoffset, text)) << ostra::lux::kernel::to_utf8(text);
}

TEST(Dmtf, Intervals)
{
    EXPECT_EQ(dmtf_to_duration(L"00000001020304.500000:000"), days(1) + hours(2) + minutes(3) + milliseconds(4500));
    EXPECT_EQ(dmtf_to_duration(L"10675198235959.******:000"), days(10675198) + hours(23) + minutes(59) + seconds(59));
    EXPECT_THROW(dmtf_to_duration(L"10675199000000.000000:000"), CHResultException); // beyond 64-bit ticks
    for (const wchar_t* text : {L"00000001240000.000000:000", L"00000001020304.500000:001",
                                L"00000001020304.500000+000", L"0000001020304.500000:000"})
        EXPECT_THROW(dmtf_to_duration(text), CHResultException) << ostra::lux::kernel::to_utf8(text);
}

TEST(Iso8601, AcceptsExtendedAndBasicFormsWithOffsets)
{
    const accepted rows[] = {
        {L"2023-03-15T10:15:30Z", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"2023-03-15T10:15:30.1234567+01:00", {at(2023, 3, 15, 10, 15, 30, 1234567), offset_minutes(60)}},
        {L"2023-03-15T10:15:30.123456789-05:30", {at(2023, 3, 15, 10, 15, 30, 1234567), offset_minutes(-330)}},
        {L"2023-03-15T10:15:30.5-00:00", {at(2023, 3, 15, 10, 15, 30, 5000000), offset_minutes(0)}},
        {L"2023-03-15 10:15:30,25+0100", {at(2023, 3, 15, 10, 15, 30, 2500000), offset_minutes(60)}},
        {L"2023-03-15T10:15+02", {at(2023, 3, 15, 10, 15), offset_minutes(120)}},
        {L"2023-03-15t10:15:30z", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"2023-03-15T10:15:30", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"2023-03-15", {at(2023, 3, 15), offset_minutes(0)}},
        {L"20230315T101530Z", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"20230315T1015-0800", {at(2023, 3, 15, 10, 15), offset_minutes(-480)}},
        {L"20230315", {at(2023, 3, 15), offset_minutes(0)}},
        {L"2023-03-15T24:00:00Z", {at(2023, 3, 16), offset_minutes(0)}},
        {L"2024-02-29T23:59:59.9999999+14:00", {at(2024, 2, 29, 23, 59, 59, 9999999), offset_minutes(840)}},
    };
    for (const auto& row : rows) {
        const auto result = parsed(iso8601_to_timepointoffset, row.text);
        ASSERT_TRUE(result) << ostra::lux::kernel::to_utf8(row.text);
        EXPECT_EQ(*result, row.expected) << ostra::lux::kernel::to_utf8(row.text);
    }
}

TEST(Iso8601, RejectsMalformedTexts)
{
    const wchar_t* const rejected[] = {
        L"", L"2023", L"2023-03", L"2023-3-15", L"-2023-03-15", L"2023-03-15T", L"2023-03-15T10",
        L"2023-03-15T1015",            // basic time after an extended date
        L"20230315T10:15",             // extended time after a basic date
        L"2023-0315", L"2023-03-15T10:15:30.Z", L"2023-03-15T10:15.5Z",
        L"2023-03-15T25:00:00Z", L"2023-03-15T24:00:01Z", L"2023-03-15T24:00:00.1Z", L"2023-03-15T10:60:00Z",
        L"2023-03-15T10:15:60Z", L"2023-02-29T00:00:00Z", L"2023-03-15T10:15:30+24:00", L"2023-03-15T10:15:30+01:60",
        L"2023-03-15T10:15:30+1", L"2023-03-15T10:15:30+01:", L"2023-03-15T10:15:30Zjunk",
        L"2023-03-15T10:15:30+01:00 ", L"2023-03-15X10:15:30Z", L"2023-03-15T10:15:30+0100:00",
    };
    for (const wchar_t* text : rejected)
        EXPECT_FALSE(parsed(iso8601_to_timepointoffset, text)) << ostra::lux::kernel::to_utf8(text);
}

// An integer must not pass for an OLE date: tick counts are wrapped in `ticks`.
template <class T>
concept converts_to_timepoint = requires(T value) { to_timepoint(value); };
static_assert(converts_to_timepoint<DATE> && converts_to_timepoint<ticks>);
static_assert(!converts_to_timepoint<long long> && !converts_to_timepoint<int>);

TEST(OleDate, ConvertsBothWaysAcrossTheSignChange)
{
    const struct {
        DATE date;
        timepoint time;
    } rows[] = {
        {0.0, at(1899, 12, 30)},
        {45000.5, at(2023, 3, 15, 12)},
        {-1.25, at(1899, 12, 29, 6)},
        {-657434.0, at(100, 1, 1)},
        {2958465.75, at(9999, 12, 31, 18)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(to_timepoint(row.date), row.time) << row.date;
        EXPECT_EQ(to_oledate(row.time), row.date) << row.date;
    }
    for (const DATE bad : {std::numeric_limits<double>::quiet_NaN(), 2958466.0, -657435.0,
                           std::numeric_limits<double>::infinity()})
        EXPECT_THROW(to_timepoint(bad), CHResultException) << bad;
}

TEST(FileTime, CountsFrom1601)
{
    EXPECT_EQ(to_timepoint(ticks(116444736000000000)), at(1970, 1, 1));
    EXPECT_EQ(to_timepoint(ticks(0)), at(1601, 1, 1));
    EXPECT_EQ(to_timepoint(ticks::max()), timepoint(ticks::max()) + (at(1601, 1, 1) - timepoint()));
    EXPECT_THROW(to_timepoint(ticks::min()), CHResultException);
}

TEST(OleDateTimeEx, FromDmtfKeepsOrRemovesTheOffset)
{
    const COleDateTimeEx local = dmtf_to_oledatetime(L"20230315120000.000000+060", false);
    EXPECT_EQ(local.GetStatus(), ATL::COleDateTime::valid);
    EXPECT_EQ(static_cast<DATE>(local), 45000.5);
    EXPECT_EQ(local.GetOffset(), offset_minutes(60));

    const COleDateTimeEx utc = dmtf_to_oledatetime(L"20230315120000.000000+060", true);
    EXPECT_EQ(utc.GetHour(), 11);
    EXPECT_EQ(utc.GetOffset(), offset_minutes(0));

    EXPECT_EQ(dmtf_to_oledatetime(L"00500315120000.000000+000", false).GetStatus(), ATL::COleDateTime::invalid);
    EXPECT_THROW(dmtf_to_oledatetime(L"not a date", false), CHResultException);
}

TEST(OleDateTimeSpan, FromDmtfIntervals)
{
    const ATL::COleDateTimeSpan span = dmtf_to_oletimespan(L"00000001120000.000000:000");
    EXPECT_EQ(span.GetStatus(), ATL::COleDateTimeSpan::valid);
    EXPECT_EQ(static_cast<double>(span), 1.5);
    EXPECT_EQ(dmtf_to_oletimespan(L"99999999000000.000000:000").GetStatus(), ATL::COleDateTimeSpan::invalid);
    EXPECT_THROW(dmtf_to_oletimespan(L"20230315120000.000000+060"), CHResultException);
}

TEST(VariantTimePoint, ConvertsThroughVtDateOrThrowsFromTheHeader)
{
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_R8;
    number.dblVal = 45000.5;
    EXPECT_EQ(to_timepoint(number), at(2023, 3, 15, 12));

    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    try {
        to_timepoint(null);
        ADD_FAILURE() << "VT_NULL converted to a date";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(e.message(), L"::VariantChangeType");
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), "Common/Kernel/include/Kernel/chrono");
    }
}

} // namespace
