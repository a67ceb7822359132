// Time points at 100 ns resolution, DMTF and ISO 8601 texts, and OLE dates.
//
// DMTF date-time:  yyyymmddHHMMSS.mmmmmmsUUU  (sign s is + or -, UUU the offset from UTC in minutes;
//                  the microseconds may be ****** when unknown, read as 0)
// DMTF interval:   ddddddddHHMMSS.mmmmmm:000
// ISO 8601:        YYYY-MM-DD or YYYYMMDD, optionally followed by T (or a space) and a time hh:mm,
//                  hh:mm:ss or hh:mm:ss.f... (hhmm, hhmmss[.f...] after a basic date; a comma may
//                  stand for the point; 24:00:00 is the end of the day), then optionally Z, ±hh,
//                  ±hh:mm or ±hhmm. A text without offset is taken as UTC. Digits beyond 100 ns are
//                  dropped.
// A text that does not have these forms, or names a date or time that does not exist, is rejected
// with CHResultException E_INVALIDARG, the text as its source.
#pragma once

#include "export.h"

#include <windows.h>

#include <chrono>
#include <concepts>
#include <cstdint>
#include <string_view>

namespace ostra::lux::kernel {

using ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
using timepoint = std::chrono::time_point<std::chrono::system_clock, ticks>;
using offset_minutes = std::chrono::duration<int, std::ratio<60>>;

// A time as written somewhere, with the offset from UTC (positive east) that the text gave.
struct timepointoffset {
    timepoint time;
    offset_minutes offset{};

    timepoint utc() const noexcept { return time - offset; }
    friend bool operator==(const timepointoffset&, const timepointoffset&) = default;
};

} // namespace ostra::lux::kernel

KERNEL_API ostra::lux::kernel::timepointoffset dmtf_to_timepointoffset(std::wstring_view text);
// An interval of more days than a tick count holds (10,675,198) throws CHResultException E_INVALIDARG.
KERNEL_API ostra::lux::kernel::ticks dmtf_to_duration(std::wstring_view text);
KERNEL_API ostra::lux::kernel::timepointoffset iso8601_to_timepointoffset(std::wstring_view text);

// An OLE date (days since 1899-12-30, the fraction being the time of day whatever the sign) as a time
// point; a date outside years 100 to 9999 or not a number throws CHResultException E_INVALIDARG.
KERNEL_API ostra::lux::kernel::timepoint to_timepoint(DATE date);
// A count of 100 ns intervals since 1601-01-01 UTC, as Windows FILETIME values count; a count too
// negative for a time point throws CHResultException E_INVALIDARG.
KERNEL_API ostra::lux::kernel::timepoint to_timepoint(ostra::lux::kernel::ticks since_1601);
// An integer would otherwise be taken as an OLE date: wrap a tick count in `ticks`.
template <std::integral Integer>
ostra::lux::kernel::timepoint to_timepoint(Integer) = delete;

// The OLE date of a time point; the inverse of to_timepoint(DATE), without a range check.
KERNEL_API DATE to_oledate(ostra::lux::kernel::timepoint time) noexcept;
