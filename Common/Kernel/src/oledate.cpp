#include "interval.h"

#include <Kernel/chrono>

using ostra::lux::kernel::ticks;

namespace {

constexpr double ticks_per_day = static_cast<double>(std::chrono::duration_cast<ticks>(std::chrono::days(1)).count());

} // namespace

COleDateTimeEx dmtf_to_oledatetime(std::wstring_view text, bool to_utc)
{
    const auto parsed = dmtf_to_timepointoffset(text);
    if (to_utc)
        return COleDateTimeEx(ATL::COleDateTime(to_oledate(parsed.utc())), {});
    return COleDateTimeEx(ATL::COleDateTime(to_oledate(parsed.time)), parsed.offset);
}

ATL::COleDateTimeSpan dmtf_to_oletimespan(std::wstring_view text)
{
    const auto interval = ostra::lux::kernel::detail::parse_dmtf_interval(text);
    return ATL::COleDateTimeSpan(static_cast<double>(interval.days) +
                                 static_cast<double>(interval.time_of_day.count()) / ticks_per_day);
}
