// OLE dates from fuzzed doubles and texts: VarBstrFromDate, VarDateFromStr and COleDateTime's parts.
//
// A date's text names it to the second, and the text read back names the same moment: in an OLE date
// the fraction is the time of day whatever the sign, so -1.25 is 6:00 on the day before 12/30/1899.
#include "Conversions.h"

#include <atlcomtime.h>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace collector::fuzz;

namespace {

// Outside these, a DATE names no day of the years 100 to 9999.
constexpr double earliest = -657435;
constexpr double latest = 2958466;
constexpr double second = 1.0 / 86400;

// The moment a date names, on a line that runs forward through the negative days too.
double moment(DATE date) { return std::trunc(date) + std::fabs(date - std::trunc(date)); }

// How far apart the moments of two dates lie. A date on day 0 is written as a time of day alone: its
// text does not keep the day that the time rounds into just before midnight.
double gap(DATE date, DATE other)
{
    const double days = std::fabs(moment(date) - moment(other));
    return std::trunc(date) == 0 ? std::min(days, std::fabs(days - 1)) : days;
}

std::optional<std::wstring> text_of_date(DATE date, ULONG flags = 0)
{
    BSTR text = nullptr;
    if (FAILED(VarBstrFromDate(date, LOCALE_USER_DEFAULT, flags, &text)))
        return std::nullopt;
    check(text != nullptr, "a date's text is a string");
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

// A date with a text: the text reads back to the same moment, to the second, and to the same text.
void check_date(DATE date)
{
    const std::optional<std::wstring> text = text_of_date(date);
    check(text.has_value() == (date > earliest && date < latest), "a date has a text exactly inside its range");
    if (!text || date >= end_of_readable_dates)
        return;
    const std::optional<DATE> back = date_of_text(*text);
    check(back.has_value(), "a date's text reads back");
    check(gap(date, *back) <= 0.5 * second + 1e-9, "a date's text names its moment");
    const std::optional<std::wstring> back_text = text_of_date(*back);
    check(back_text && same_date_text(*text, *back_text), "a date read from its own text has that text");

    // COleDateTime splits the same moment into the same parts as the text shows.
    const ATL::COleDateTime split(date);
    if (split.GetStatus() != ATL::COleDateTime::valid)
        return;
    const ATL::COleDateTime joined(split.GetYear(), split.GetMonth(), split.GetDay(), split.GetHour(),
                                   split.GetMinute(), split.GetSecond());
    check(joined.GetStatus() == ATL::COleDateTime::valid, "a date's parts make a valid date");
    check(gap(date, joined.m_dt) <= 0.5 * second + 1e-9, "a date's parts name its moment");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    const DATE date = input.take<DATE>();
    check_date(date);
    constexpr ULONG part_flags[] = {VAR_TIMEVALUEONLY, VAR_DATEVALUEONLY};
    text_of_date(date, input.pick(part_flags));

    // Any text: a date read from it has a text of its own.
    const std::wstring text = input.text(64);
    if (const std::optional<DATE> read = date_of_text(text)) {
        check(*read > earliest && *read < latest, "a date read from text lies inside the range");
        check_date(*read);
    }
    return 0;
}
