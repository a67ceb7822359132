// VarBstrFromDate: a DATE as en-US text, "M/d/yyyy h:mm:ss AM". Every locale formats as en-US here.
#include "date_serial.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

using namespace platform::dates;

// The fraction below which a DATE counts as midnight and prints without its time.
constexpr double midnight_tolerance = 1e-12;

struct Instant {
    long serial;
    int second_of_day;
};

// Rounds the time to the nearest second, half up. The tolerance of one unit in the last place of the
// input keeps "x + 0.5 s" from rounding down when the sum was stored a hair below the half second.
Instant round_to_second(DATE value)
{
    const double whole = std::trunc(value);
    const double seconds = std::fabs(value - whole) * seconds_per_day;
    const double tolerance = (std::nextafter(std::fabs(value), HUGE_VAL) - std::fabs(value)) * seconds_per_day;
    Instant instant{static_cast<long>(whole), static_cast<int>(std::floor(seconds + 0.5 + tolerance))};
    if (instant.second_of_day >= seconds_per_day) {
        instant.second_of_day -= seconds_per_day;
        ++instant.serial;
    }
    return instant;
}

std::string date_text(long serial)
{
    const auto day = day_of(serial);
    char text[16];
    std::snprintf(text, sizeof text, "%u/%u/%d", static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()), static_cast<int>(day.year()));
    return text;
}

std::string time_text(int second_of_day)
{
    const int hour = second_of_day / 3600;
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, second_of_day / 60 % 60, second_of_day % 60,
                  hour < 12 ? "AM" : "PM");
    return text;
}

BSTR to_bstr(const std::string& ascii)
{
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(ascii.size()));
    if (text)
        for (std::size_t i = 0; i < ascii.size(); ++i)
            text[i] = static_cast<OLECHAR>(ascii[i]);
    return text;
}

} // namespace

HRESULT VarBstrFromDate(DATE dateIn, LCID, ULONG dwFlags, BSTR* pbstrOut)
{
    if (!pbstrOut || !in_range(dateIn))
        return E_INVALIDARG;

    // Day 0 prints as a bare time and a midnight as a bare date, unless a flag asks for one part.
    const bool time_only = dwFlags & VAR_TIMEVALUEONLY;
    const bool date_only = !time_only && (dwFlags & VAR_DATEVALUEONLY);
    const bool at_midnight = std::fabs(dateIn - std::trunc(dateIn)) < midnight_tolerance;
    const bool with_date = !time_only && (date_only || std::trunc(dateIn) != 0);
    const bool with_time = !date_only && (time_only || !with_date || !at_midnight);

    const Instant instant = round_to_second(dateIn);
    std::string text;
    if (with_date)
        text = date_text(instant.serial);
    if (with_date && with_time)
        text += ' ';
    if (with_time)
        text += time_text(instant.second_of_day);

    *pbstrOut = to_bstr(text);
    return *pbstrOut ? S_OK : E_OUTOFMEMORY;
}
