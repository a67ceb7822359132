// OLE Automation dates: a DATE counts days from 12/30/1899; its fraction is the time of day. Before
// that day the sign applies to the day only: -1.25 is 12/29/1899 6:00 AM, the fraction measured forward.
#pragma once

#include <windows.h>

#include <chrono>

namespace platform::dates {

inline constexpr std::chrono::sys_days epoch{std::chrono::year{1899} / 12 / 30};
inline constexpr int seconds_per_day = 86400;

// The exclusive bounds of a DATE: 1/1/100 is -657434 and 12/31/9999 is 2958465.
inline constexpr double lowest_exclusive = -657435.0;
inline constexpr double highest_exclusive = 2958466.0;
inline constexpr int first_year = 100;
inline constexpr int last_year = 9999;

inline bool in_range(DATE value) { return value > lowest_exclusive && value < highest_exclusive; }

inline long serial_of(std::chrono::year_month_day day) { return (std::chrono::sys_days{day} - epoch).count(); }

inline std::chrono::year_month_day day_of(long serial) { return epoch + std::chrono::days{serial}; }

// Combines a day number and a time of day the way DATE stores them.
inline DATE compose(long serial, int second_of_day)
{
    const double fraction = static_cast<double>(second_of_day) / seconds_per_day;
    return serial < 0 ? serial - fraction : serial + fraction;
}

} // namespace platform::dates
