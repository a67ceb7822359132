#include "interval.h"

#include <Kernel/exception.h>

#include <cmath>
#include <optional>

using namespace std::chrono;
using ostra::lux::kernel::offset_minutes;
using ostra::lux::kernel::ticks;
using ostra::lux::kernel::timepoint;
using ostra::lux::kernel::timepointoffset;

namespace {

constexpr ticks one_day = duration_cast<ticks>(days(1));
constexpr sys_days ole_epoch = sys_days(year(1899) / December / 30);
constexpr sys_days filetime_epoch = sys_days(year(1601) / January / 1);
constexpr double first_ole_date = -657434.0;   // 0100-01-01
constexpr double last_ole_date = 2958466.0;    // 10000-01-01, excluded

[[noreturn]] void reject(const wchar_t* message, std::wstring_view text)
{
    ostra::lux::kernel::throw_at(CHResultException(message, tstring(text), E_INVALIDARG, nullptr, false),
                                 KERNEL_FUNCSIG, __FILE__, __LINE__);
}

// Reads a text from left to right; every read either consumes what it asked for or nothing.
class cursor {
public:
    explicit cursor(std::wstring_view text) noexcept : text_(text) {}

    bool at_end() const noexcept { return position_ == text_.size(); }

    bool accept(wchar_t c) noexcept
    {
        if (at_end() || text_[position_] != c)
            return false;
        ++position_;
        return true;
    }

    bool accept_any(std::wstring_view choices, wchar_t& seen) noexcept
    {
        if (at_end() || choices.find(text_[position_]) == std::wstring_view::npos)
            return false;
        seen = text_[position_++];
        return true;
    }

    // Exactly `count` decimal digits.
    std::optional<int> digits(std::size_t count) noexcept
    {
        if (text_.size() - position_ < count)
            return std::nullopt;
        int value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const wchar_t c = text_[position_ + i];
            if (c < L'0' || c > L'9')
                return std::nullopt;
            value = value * 10 + (c - L'0');
        }
        position_ += count;
        return value;
    }

    // One or more digits of a decimal fraction, as ticks (digits past the seventh are dropped).
    std::optional<ticks> fraction() noexcept
    {
        std::int64_t value = 0;
        int used = 0;
        const std::size_t start = position_;
        for (; !at_end() && text_[position_] >= L'0' && text_[position_] <= L'9'; ++position_) {
            if (used < 7) {
                value = value * 10 + (text_[position_] - L'0');
                ++used;
            }
        }
        if (position_ == start)
            return std::nullopt;
        for (; used < 7; ++used)
            value *= 10;
        return ticks(value);
    }

private:
    std::wstring_view text_;
    std::size_t position_ = 0;
};

std::optional<sys_days> civil_date(int y, int m, int d) noexcept
{
    const year_month_day date = year(y) / month(static_cast<unsigned>(m)) / day(static_cast<unsigned>(d));
    if (!date.ok())
        return std::nullopt;
    return sys_days(date);
}

std::optional<ticks> time_of_day(int h, int m, int s) noexcept
{
    if (h > 23 || m > 59 || s > 59)
        return std::nullopt;
    return duration_cast<ticks>(hours(h) + minutes(m) + seconds(s));
}

// HHMMSS.mmmmmm, shared by the DMTF date-time and interval forms.
std::optional<ticks> dmtf_clock(cursor& in) noexcept
{
    const auto h = in.digits(2), m = in.digits(2), s = in.digits(2);
    if (!h || !m || !s || !in.accept(L'.'))
        return std::nullopt;
    const auto clock = time_of_day(*h, *m, *s);
    if (!clock)
        return std::nullopt;
    if (const auto micro = in.digits(6))
        return *clock + duration_cast<ticks>(microseconds(*micro));
    for (int i = 0; i < 6; ++i)
        if (!in.accept(L'*'))
            return std::nullopt;
    return clock;
}

std::optional<timepointoffset> parse_dmtf(std::wstring_view text) noexcept
{
    cursor in(text);
    const auto y = in.digits(4), mo = in.digits(2), d = in.digits(2);
    if (!y || !mo || !d)
        return std::nullopt;
    const auto date = civil_date(*y, *mo, *d);
    const auto clock = dmtf_clock(in);
    wchar_t sign = 0;
    if (!date || !clock || !in.accept_any(L"+-", sign))
        return std::nullopt;
    const auto offset = in.digits(3);
    if (!offset || !in.at_end())
        return std::nullopt;
    return timepointoffset{timepoint(*date) + *clock, offset_minutes(sign == L'-' ? -*offset : *offset)};
}

std::optional<ostra::lux::kernel::detail::dmtf_interval> read_dmtf_interval(std::wstring_view text) noexcept
{
    cursor in(text);
    const auto d = in.digits(8);
    if (!d)
        return std::nullopt;
    const auto clock = dmtf_clock(in);
    if (!clock || !in.accept(L':') || in.digits(3) != 0 || !in.at_end())
        return std::nullopt;
    return ostra::lux::kernel::detail::dmtf_interval{*d, *clock};
}

// Z, ±hh, ±hh:mm or ±hhmm; nothing at all is UTC.
std::optional<offset_minutes> iso_offset(cursor& in) noexcept
{
    if (in.at_end() || in.accept(L'Z') || in.accept(L'z'))
        return offset_minutes(0);
    wchar_t sign = 0;
    if (!in.accept_any(L"+-", sign))
        return std::nullopt;
    const auto h = in.digits(2);
    if (!h)
        return std::nullopt;
    std::optional<int> m = 0;
    if (in.accept(L':') || !in.at_end())
        m = in.digits(2);
    if (!m || *h > 23 || *m > 59)
        return std::nullopt;
    const offset_minutes offset = hours(*h) + minutes(*m);
    return sign == L'-' ? -offset : offset;
}

// hh:mm[:ss[.f]] (extended) or hhmm[ss[.f]] (basic); 24:00:00 stands for the end of the day.
std::optional<ticks> iso_clock(cursor& in, bool extended) noexcept
{
    const auto separator = [&] { return !extended || in.accept(L':'); };
    const auto h = in.digits(2);
    std::optional<int> m;
    if (h && separator())
        m = in.digits(2);
    if (!m)
        return std::nullopt;
    std::optional<int> s = 0;
    ticks fraction(0);
    const bool has_seconds = extended ? in.accept(L':') : (s = in.digits(2)).has_value();
    if (has_seconds) {
        if (extended)
            s = in.digits(2);
        wchar_t point = 0;
        if (s && in.accept_any(L".,", point)) {
            const auto f = in.fraction();
            if (!f)
                return std::nullopt;
            fraction = *f;
        }
    } else {
        s = 0;
    }
    if (!s)
        return std::nullopt;
    if (*h == 24 && *m == 0 && *s == 0 && fraction == ticks(0))
        return duration_cast<ticks>(days(1));
    const auto clock = time_of_day(*h, *m, *s);
    if (!clock)
        return std::nullopt;
    return *clock + fraction;
}

std::optional<timepointoffset> parse_iso8601(std::wstring_view text) noexcept
{
    cursor in(text);
    const auto y = in.digits(4);
    if (!y)
        return std::nullopt;
    const bool extended = in.accept(L'-');
    const auto mo = in.digits(2);
    if (!mo || (extended && !in.accept(L'-')))
        return std::nullopt;
    const auto d = in.digits(2);
    const auto date = d ? civil_date(*y, *mo, *d) : std::nullopt;
    if (!date)
        return std::nullopt;
    ticks clock(0);
    wchar_t designator = 0;
    if (in.accept_any(L"Tt ", designator)) {
        const auto read = iso_clock(in, extended);
        if (!read)
            return std::nullopt;
        clock = *read;
    }
    const auto offset = iso_offset(in);
    if (!offset || !in.at_end())
        return std::nullopt;
    return timepointoffset{timepoint(*date) + clock, *offset};
}

} // namespace

timepointoffset dmtf_to_timepointoffset(std::wstring_view text)
{
    const auto parsed = parse_dmtf(text);
    if (!parsed)
        reject(L"Invalid DMTF date-time", text);
    return *parsed;
}

ostra::lux::kernel::detail::dmtf_interval ostra::lux::kernel::detail::parse_dmtf_interval(std::wstring_view text)
{
    const auto parsed = read_dmtf_interval(text);
    if (!parsed)
        reject(L"Invalid DMTF interval", text);
    return *parsed;
}

ticks dmtf_to_duration(std::wstring_view text)
{
    const auto parsed = ostra::lux::kernel::detail::parse_dmtf_interval(text);
    // Eight digits of days reach past what 64 bits of 100 ns hold (about 29,000 years).
    if (parsed.days >= duration_cast<days>(ticks::max()).count())
        reject(L"DMTF interval out of range", text);
    return duration_cast<ticks>(days(parsed.days)) + parsed.time_of_day;
}

timepointoffset iso8601_to_timepointoffset(std::wstring_view text)
{
    const auto parsed = parse_iso8601(text);
    if (!parsed)
        reject(L"Invalid ISO 8601 date-time", text);
    return *parsed;
}

timepoint to_timepoint(DATE date)
{
    if (!(date >= first_ole_date && date < last_ole_date))
        reject(L"Invalid OLE date", std::to_wstring(date));
    const double whole_days = std::trunc(date);
    const double time_of_day = std::fabs(date - whole_days);
    return timepoint(ole_epoch) + duration_cast<ticks>(days(static_cast<int>(whole_days))) +
           ticks(std::llround(time_of_day * static_cast<double>(one_day.count())));
}

timepoint to_timepoint(ticks since_1601)
{
    // The epoch lies before 1970, so only the most negative counts leave the range of a time point.
    const ticks epoch = timepoint(filetime_epoch).time_since_epoch();
    if (since_1601 < ticks::min() - epoch)
        reject(L"Time out of range", std::to_wstring(since_1601.count()));
    return timepoint(epoch + since_1601);
}

DATE to_oledate(timepoint time) noexcept
{
    const ticks since_epoch = time - timepoint(ole_epoch);
    const auto whole_days = floor<days>(since_epoch);
    const double time_of_day =
        static_cast<double>((since_epoch - whole_days).count()) / static_cast<double>(one_day.count());
    const auto day_count = static_cast<double>(whole_days.count());
    return whole_days.count() < 0 ? day_count - time_of_day : day_count + time_of_day;
}
