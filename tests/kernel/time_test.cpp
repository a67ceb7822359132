// DMTF and ISO 8601 texts, OLE dates and time points.
#include <Kernel/chrono>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace {

using namespace std::chrono;
using ostra::lux::kernel::offset_minutes;
using ostra::lux::kernel::ticks;
using ostra::lux::kernel::timepoint;
using ostra::lux::kernel::timepointoffset;
using ostra::lux::kernel::to_utf8;

timepoint at(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0, std::int64_t tick = 0)
{
    return timepoint(sys_days(year(y) / month(mo) / day(d))) + hours(h) + minutes(mi) + seconds(s) + ticks(tick);
}

// The parser's value, or nothing when it rejected the text as it should (E_INVALIDARG, text as source).
template <class Parser>
auto parsed(Parser parse, std::wstring_view text) -> std::optional<decltype(parse(text))>
{
    try {
        return parse(text);
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), E_INVALIDARG) << to_utf8(text);
        EXPECT_EQ(e.source(), text);
        return std::nullopt;
    }
}

template <class Value, class Parser>
void expect_accepted(Parser parse, std::initializer_list<std::pair<const wchar_t*, Value>> rows)
{
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(parsed(parse, text), expected) << to_utf8(text);
}

template <class Parser>
void expect_rejected(Parser parse, std::initializer_list<std::wstring_view> texts)
{
    for (const auto text : texts)
        EXPECT_FALSE(parsed(parse, text)) << to_utf8(text);
}

TEST(Dmtf, DateTimesWithTheirOffsets)
{
    expect_accepted<timepointoffset>(dmtf_to_timepointoffset, {
        {L"20230315101530.123456+060", {at(2023, 3, 15, 10, 15, 30, 1234560), offset_minutes(60)}},
        {L"20230315101530.123456-300", {at(2023, 3, 15, 10, 15, 30, 1234560), offset_minutes(-300)}},
        {L"20230315101530.******+000", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"20240229235959.999999+999", {at(2024, 2, 29, 23, 59, 59, 9999990), offset_minutes(999)}},
    });
    EXPECT_EQ(dmtf_to_timepointoffset(L"20230315101530.000000+060").utc(), at(2023, 3, 15, 9, 15, 30));

    const wchar_t embedded_nul[] = L"20230315101530.123456+060\0x";
    expect_rejected(dmtf_to_timepointoffset, {
        L"", L"2023031510153.123456+060", L"20230315101530.123456+06", L"20230315101530.123456+0600",
        L"20230315101530.123456*060", L"20230315101530,123456+060", L"20230315101530.12**56+060",
        L"20230230101530.000000+000", L"20231315101530.000000+000", L"20230315241530.000000+000",
        L"20230315106030.000000+000", L"20230315101560.000000+000", L"00000001020304.500000:000",
        L"\uFF12\uFF10\uFF12\uFF13\uFF10\uFF13\uFF11\uFF15101530.000000+000", // full-width digits
        {embedded_nul, std::size(embedded_nul) - 1},
    });
}

TEST(Dmtf, Intervals)
{
    expect_accepted<ticks>(dmtf_to_duration, {
        {L"00000001020304.500000:000", days(1) + hours(2) + minutes(3) + milliseconds(4500)},
        {L"10675198235959.******:000", days(10675198) + hours(23) + minutes(59) + seconds(59)},
    });
    expect_rejected(dmtf_to_duration, {
        L"10675199000000.000000:000", // beyond 64-bit ticks
        L"00000001240000.000000:000", L"00000001020304.500000:001", L"00000001020304.500000+000",
    });
}

TEST(Iso8601, ExtendedAndBasicFormsWithOffsets)
{
    expect_accepted<timepointoffset>(iso8601_to_timepointoffset, {
        {L"2023-03-15T10:15:30Z", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"2023-03-15T10:15:30.123456789-05:30", {at(2023, 3, 15, 10, 15, 30, 1234567), offset_minutes(-330)}},
        {L"2023-03-15 10:15:30,25+0100", {at(2023, 3, 15, 10, 15, 30, 2500000), offset_minutes(60)}},
        {L"2023-03-15t10:15+02", {at(2023, 3, 15, 10, 15), offset_minutes(120)}},
        {L"2023-03-15T10:15:30", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"2023-03-15", {at(2023, 3, 15), offset_minutes(0)}},
        {L"20230315T101530z", {at(2023, 3, 15, 10, 15, 30), offset_minutes(0)}},
        {L"20230315T1015-0800", {at(2023, 3, 15, 10, 15), offset_minutes(-480)}},
        {L"2023-03-15T24:00:00Z", {at(2023, 3, 16), offset_minutes(0)}},
        {L"2024-02-29T23:59:59.9999999+14:00", {at(2024, 2, 29, 23, 59, 59, 9999999), offset_minutes(840)}},
    });
    expect_rejected(iso8601_to_timepointoffset, {
        L"", L"2023-03", L"2023-3-15", L"-2023-03-15", L"2023-03-15T", L"2023-03-15T10",
        L"2023-03-15T1015", L"20230315T10:15", // time and date of different forms
        L"2023-03-15T10:15:30.Z", L"2023-03-15T10:15.5Z", L"2023-03-15T24:00:00.1Z", L"2023-03-15T10:60:00Z",
        L"2023-02-29T00:00:00Z", L"2023-03-15T10:15:30+24:00", L"2023-03-15T10:15:30+1",
        L"2023-03-15T10:15:30+01:", L"2023-03-15T10:15:30Zjunk", L"2023-03-15X10:15:30Z",
    });
}

// An integer must not pass for an OLE date: tick counts are wrapped in `ticks`.
template <class T>
concept converts_to_timepoint = requires(T value) { to_timepoint(value); };
static_assert(converts_to_timepoint<DATE> && converts_to_timepoint<ticks> && !converts_to_timepoint<long long>);

TEST(OleDate, ConvertsBothWaysAcrossTheSignChangeAndRefusesWhatNoTimePointHolds)
{
    const std::pair<DATE, timepoint> rows[] = {
        {0.0, at(1899, 12, 30)},         {45000.5, at(2023, 3, 15, 12)},        {-1.25, at(1899, 12, 29, 6)},
        {-657434.0, at(100, 1, 1)},      {2958465.75, at(9999, 12, 31, 18)},
    };
    for (const auto& [date, time] : rows) {
        EXPECT_EQ(to_timepoint(date), time) << date;
        EXPECT_EQ(to_oledate(time), date) << date;
    }
    for (const DATE bad : {std::numeric_limits<double>::quiet_NaN(), 2958466.0, -657435.0})
        EXPECT_THROW(to_timepoint(bad), CHResultException) << bad;
    // So is a count of ticks before 1601, the epoch that the shell's time readers pin.
    EXPECT_THROW(to_timepoint(ticks::min()), CHResultException);
}

// The local reading, invalid years, spans and malformed texts are the shell's Object tests' (its time
// readers); here the offset the local reading keeps, the UTC reading, and a span that no span holds.
TEST(OleDateTime, FromDmtfDateTimesAndIntervals)
{
    EXPECT_EQ(dmtf_to_oledatetime(L"20230315120000.000000+060", false).GetOffset(), offset_minutes(60));
    const COleDateTimeEx utc = dmtf_to_oledatetime(L"20230315120000.000000+060", true);
    EXPECT_EQ(utc.GetHour(), 11);
    EXPECT_EQ(utc.GetOffset(), offset_minutes(0));
    EXPECT_EQ(dmtf_to_oletimespan(L"99999999000000.000000:000").GetStatus(), ATL::COleDateTimeSpan::invalid);
}

// The shell's time readers pin the HRESULT and the site of a failed conversion; here its message.
TEST(VariantTimePoint, AFailedConversionNamesTheCall)
{
    VARIANT null{};
    null.vt = VT_NULL;
    EXPECT_THAT([&] { to_timepoint(null); }, testing::Throws<CHResultException>(testing::Property(
                                                 &CHResultException::message, std::wstring(L"::VariantChangeType"))));
}

} // namespace
