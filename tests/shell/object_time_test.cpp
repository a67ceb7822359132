// Object: the time readers, which hand texts to the kernel's parsers (whose own tests cover the
// formats): which reader each type takes, the span's range, and which failures are the library's own
// refusals.
#include "shell/object_values.h"

#include <Kernel/time.h>

namespace shell_test {
namespace {

using namespace std::chrono;
using ostra::lux::kernel::offset_minutes;
using ostra::lux::kernel::ticks;
using ostra::lux::kernel::timepointoffset;

TimePoint at(int y, unsigned mo, unsigned d, int h = 0, int mi = 0)
{
    return TimePoint(sys_days(year(y) / month(mo) / day(d))) + hours(h) + minutes(mi);
}

// A failure that is not a refusal with a dump: a CHResultException with `hr`, thrown from `file` with
// `message` when they are given.
template <class T>
void expect_failure(const Object& value, HRESULT hr, std::string_view file = {}, std::wstring_view message = {})
{
    SCOPED_TRACE("reading " + describe(value));
    const refusal_t e = refusal_of([&] { (void)value.get<T>(); });
    EXPECT_EQ(e.hresult, hr);
    EXPECT_EQ(e.dump, L"");
    EXPECT_TRUE(file.empty() || e.site.file == file) << e.site.file;
    EXPECT_TRUE(message.empty() || e.message == message);
}

TEST(ObjectTimePoint, TicksDmtfInUtcDatesAndConvertedValues)
{
    constexpr LONGLONG unix_epoch_ticks = 116'444'736'000'000'000; // since 1601-01-01
    const std::pair<Object, TimePoint> rows[] = {
        {i8(unix_epoch_ticks + 5), TimePoint(ticks(5))},
        // The time as written minus its offset; the text ends at its first NUL.
        {bstr(L"20230315183000.000000+060\0junk"sv), at(2023, 3, 15, 17, 30)},
        {date(45000.75), at(2023, 3, 15, 18)},
        // Anything else goes through VariantChangeType to a date first.
        {i4(45000), at(2023, 3, 15)},
    };
    for (const auto& [value, expected] : rows)
        EXPECT_EQ(value.get<TimePoint>(), expected) << describe(value);

    // The conversion to a date is judged where the kernel makes it; text is DMTF only.
    expect_failure<TimePoint>(null(), DISP_E_TYPEMISMATCH, "Common/Kernel/include/Kernel/chrono");
    expect_failure<TimePoint>(bstr(L"2023-03-15T18:30:00Z"), E_INVALIDARG);
}

TEST(ObjectTimePointOffset, IsoTextKeepsItsOffset)
{
    EXPECT_EQ(bstr(L"2023-03-15T18:30:00+01:00").get<timepointoffset>(),
              (timepointoffset{at(2023, 3, 15, 18, 30), offset_minutes(60)}));
    // DMTF is not read here; the whole recorded string counts, past an embedded NUL; no other type.
    for (const Object& value : {bstr(L"20230315183000.000000+060"), bstr(L"2023-03-15\0junk"sv), null_bstr(), i4(5),
                                date(45000)})
        expect_failure<timepointoffset>(value, E_INVALIDARG, "Monitor/Collector/Collector.Shell/Object.cpp",
                                        L"Unable to convert object. Invalid date.");
}

TEST(ObjectOleTime, DatesAsTheyAreDmtfAsWrittenAndDaysAsSpansWithinTheWidestSpan)
{
    // A DATE is taken as it is, even beyond year 9999.
    const ATL::COleDateTime late = date(3'000'000).get<ATL::COleDateTime>();
    EXPECT_EQ(late.m_dt, 3'000'000);
    EXPECT_EQ(late.GetStatus(), ATL::COleDateTime::valid);
    // The local time of the text, not UTC.
    const ATL::COleDateTime from_text = bstr(L"20230315183000.000000+060").get<ATL::COleDateTime>();
    EXPECT_NEAR(from_text.m_dt, 45000 + 18.5 / 24, 1e-9);
    EXPECT_EQ(from_text.GetStatus(), ATL::COleDateTime::valid);

    EXPECT_NEAR(bstr(L"00000001020304.000000:000").get<ATL::COleDateTimeSpan>().m_span,
                1 + (2 * 3600 + 3 * 60 + 4) / 86400.0, 1e-9);
    EXPECT_EQ(date(2.25).get<ATL::COleDateTimeSpan>().m_span, 2.25);
    const std::pair<double, ATL::COleDateTimeSpan::DateTimeSpanStatus> rows[] = {
        {3'615'897, ATL::COleDateTimeSpan::valid},     {-3'615'897, ATL::COleDateTimeSpan::valid},
        {3'615'897.5, ATL::COleDateTimeSpan::invalid}, {-3'615'898, ATL::COleDateTimeSpan::invalid},
    };
    for (const auto& [days, status] : rows) {
        const ATL::COleDateTimeSpan span = r8(days).get<ATL::COleDateTimeSpan>();
        EXPECT_EQ(span.GetStatus(), status) << days;
        EXPECT_EQ(span.m_span, days);
    }
}

TEST(ObjectOleTime, EveryFailureBecomesNotCimDatetimeWithTheReadersRefusalNested)
{
    constexpr std::wstring_view message = L"Object is not CIM_DATETIME";
    expect_refused<ATL::COleDateTime>(r8(45000), message, L"Object is not BSTR");
    // A well-formed text naming a year that no OLE date holds.
    expect_refused<ATL::COleDateTime>(bstr(L"00500101000000.000000+000"), message, L"Invalid datetime");
    expect_refused<ATL::COleDateTimeSpan>(i4(1), message, L"Object is neither R8 nor DATE");

    // A malformed text: the parser's own exception is the nested one.
    const refusal_t date = refusal_of([] { (void)bstr(L"2023-03-15").get<ATL::COleDateTime>(); });
    EXPECT_EQ(date.message, message);
    ASSERT_TRUE(date.nested);
    EXPECT_NE(*date.nested, L"Invalid datetime");
    const refusal_t span = refusal_of([] { (void)bstr(L"1 day").get<ATL::COleDateTimeSpan>(); });
    EXPECT_EQ(span.message, message);
    EXPECT_TRUE(span.nested);
}

TEST(ObjectDuration, SecondsAndMinutesReadWhatTheIntegerReadersAccept)
{
    EXPECT_EQ(i8(-5).get<seconds>(), seconds(-5));
    EXPECT_EQ(boolean(VARIANT_TRUE).get<Minutes>(), Minutes(1));

    for (const Object& value : {r8(1), boolean(VARIANT_TRUE)})
        expect_refused<seconds>(value, L"Object is not std::chrono::seconds", L"Object is neither I4 nor I8");
    // A count beyond the signed range fails in the conversion, not as a negative count.
    const refusal_t beyond = refusal_of([] { (void)ui8(1ull << 63).get<seconds>(); });
    EXPECT_EQ(beyond.message, L"Object is not std::chrono::seconds");
    EXPECT_EQ(beyond.nested, L"COM call failed");
    for (const Object& value : {r8(1), i8(5)})
        expect_refused<Minutes>(value, L"Object is not std::chrono::minutes", L"Object is neither I4 nor BOOL");
}

} // namespace
} // namespace shell_test
