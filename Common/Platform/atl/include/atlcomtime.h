// The ATL subset: COleDateTime and COleDateTimeSpan, an OLE Automation DATE and a span of days.
//
// A DATE counts days from 1899-12-30 00:00; its fraction is the time of day, which for days before
// that date counts forward from midnight (-1.25 is 1899-12-29 06:00). Arithmetic and ordering use a
// continuous count of days, so they stay correct across the sign change. Dates run from 100-01-01 to
// 9999-12-31; others, and failed conversions, have the status `invalid`. Parts are read to the
// nearest second.
//
// Differences from Microsoft's ATL: Format returns std::wstring (this subset has no CString), and
// ParseDateTime and Format(pFormat) take wide text whatever the UNICODE setting. On Windows,
// <windows.h> defines a GetCurrentTime() macro: #undef it to call COleDateTime::GetCurrentTime.
#pragma once

#include <atlbase.h>

#include <cmath>
#include <compare>
#include <ctime>
#include <cwchar>
#include <string>

#pragma push_macro("GetCurrentTime")
#undef GetCurrentTime

namespace ATL {

namespace _AtlDate {

constexpr double kMinDate = -657434.0; // 100-01-01
constexpr double kMaxDate = 2958465.0; // 9999-12-31
constexpr long long kSecondsPerDay = 86400;
constexpr int kValid = 0;
constexpr int kInvalid = 1;
constexpr int kNull = 2;

// Whether dt is a date of years 100 to 9999 (NaN is not).
inline bool IsValid(double dt) noexcept
{
    return dt > kMinDate - 1 && dt < kMaxDate + 1;
}

// The day number (DATE's integer part) of a proleptic Gregorian date.
constexpr long long DaysFromCivil(long long year, int month, int day) noexcept
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long year_of_era = year - era * 400;
    const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    // 719468 days from 0000-03-01 to 1970-01-01, then 25569 from 1899-12-30 to 1970-01-01.
    return era * 146097 + day_of_era - 719468 + 25569;
}

struct Civil {
    int year;
    int month;
    int day;
};

constexpr Civil CivilFromDays(long long days) noexcept
{
    const long long z = days - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long day_of_era = z - era * 146097;
    const long long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long shifted_month = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    return {static_cast<int>(year_of_era + era * 400 + (month <= 2)), month, day};
}

constexpr bool IsLeapYear(int year) noexcept
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int DaysInMonth(int year, int month) noexcept
{
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// The parts of a date, the time rounded to the nearest second.
struct Parts {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int day_of_week; // 1 = Sunday
    int day_of_year; // 1 = January 1
};

inline bool Split(double dt, Parts& parts) noexcept
{
    if (!IsValid(dt))
        return false;
    const double whole = std::trunc(dt);
    long long days = static_cast<long long>(whole);
    // Half a second rounds up, as in VarBstrFromDate; allowing one unit in the last place of dt keeps
    // "day + 0.5 s", stored a hair below the half second, from rounding down.
    const double ulp = std::nextafter(std::fabs(dt), HUGE_VAL) - std::fabs(dt);
    long long seconds =
        static_cast<long long>(std::floor((std::fabs(dt - whole) + ulp) * kSecondsPerDay + 0.5));
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++days;
    }
    const Civil civil = CivilFromDays(days);
    parts.year = civil.year;
    parts.month = civil.month;
    parts.day = civil.day;
    parts.hour = static_cast<int>(seconds / 3600);
    parts.minute = static_cast<int>(seconds / 60 % 60);
    parts.second = static_cast<int>(seconds % 60);
    // Day 0 was a Saturday.
    parts.day_of_week = static_cast<int>(((days % 7 + 7) % 7 + 6) % 7 + 1);
    parts.day_of_year = static_cast<int>(days - DaysFromCivil(civil.year, 1, 1) + 1);
    return true;
}

// The DATE of the given parts; day 0 is the last day of the previous month.
inline bool Combine(int year, int month, int day, int hour, int minute, int second, double& dt) noexcept
{
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 0 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return false;
    if (day > DaysInMonth(year, month))
        return false;
    const long long days = DaysFromCivil(year, month, 1) + day - 1;
    const double time = static_cast<double>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    const double combined = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
    if (!IsValid(combined))
        return false;
    dt = combined;
    return true;
}

// DATE to a continuous count of days, and back.
inline double ToLinear(double dt) noexcept
{
    if (dt >= 0)
        return dt;
    const double day = std::ceil(dt);
    return day + (day - dt);
}
inline double FromLinear(double linear) noexcept
{
    if (linear >= 0)
        return linear;
    const double day = std::floor(linear);
    return day - (linear - day);
}

// The status of a result computed from two values: invalid before null, null before valid.
inline int CombineStatus(int a, int b) noexcept
{
    const auto bad = [](int status) { return status != kValid && status != kNull; };
    if (bad(a) || bad(b))
        return kInvalid;
    return (a == kNull || b == kNull) ? kNull : kValid;
}

} // namespace _AtlDate

class COleDateTimeSpan {
public:
    enum DateTimeSpanStatus { valid = 0, invalid = 1, null = 2 };

    COleDateTimeSpan() noexcept : m_span(0), m_status(valid) {}
    COleDateTimeSpan(double dblSpanSrc) noexcept : m_span(dblSpanSrc), m_status(valid) { CheckRange(); }
    COleDateTimeSpan(LONG lDays, int nHours, int nMins, int nSecs) noexcept
    {
        SetDateTimeSpan(lDays, nHours, nMins, nSecs);
    }

    void SetDateTimeSpan(LONG lDays, int nHours, int nMins, int nSecs) noexcept
    {
        m_span = lDays + nHours / 24.0 + nMins / 1440.0 + nSecs / static_cast<double>(_AtlDate::kSecondsPerDay);
        m_status = valid;
        CheckRange();
    }
    DateTimeSpanStatus GetStatus() const noexcept { return m_status; }
    void SetStatus(DateTimeSpanStatus status) noexcept { m_status = status; }

    // Whole units, truncated toward zero, of the span rounded to the second; 0 unless valid.
    double GetTotalDays() const noexcept { return static_cast<double>(Seconds() / _AtlDate::kSecondsPerDay); }
    double GetTotalHours() const noexcept { return static_cast<double>(Seconds() / 3600); }
    double GetTotalMinutes() const noexcept { return static_cast<double>(Seconds() / 60); }
    double GetTotalSeconds() const noexcept { return static_cast<double>(Seconds()); }
    // The parts, each with the span's sign: days, then hours (-23..23), minutes and seconds (-59..59).
    LONG GetDays() const noexcept { return static_cast<LONG>(Seconds() / _AtlDate::kSecondsPerDay); }
    LONG GetHours() const noexcept { return static_cast<LONG>(Seconds() % _AtlDate::kSecondsPerDay / 3600); }
    LONG GetMinutes() const noexcept { return static_cast<LONG>(Seconds() % 3600 / 60); }
    LONG GetSeconds() const noexcept { return static_cast<LONG>(Seconds() % 60); }

    operator double() const noexcept { return m_span; }
    COleDateTimeSpan& operator=(double dblSpanSrc) noexcept { return *this = COleDateTimeSpan(dblSpanSrc); }

    COleDateTimeSpan operator+(const COleDateTimeSpan& other) const noexcept
    {
        return Result(m_span + other.m_span, _AtlDate::CombineStatus(m_status, other.m_status));
    }
    COleDateTimeSpan operator-(const COleDateTimeSpan& other) const noexcept { return *this + -other; }
    COleDateTimeSpan operator-() const noexcept { return Result(-m_span, m_status); }
    COleDateTimeSpan operator*(double factor) const noexcept { return Result(m_span * factor, m_status); }
    COleDateTimeSpan operator/(double divisor) const noexcept { return Result(m_span / divisor, m_status); }
    COleDateTimeSpan& operator+=(const COleDateTimeSpan& other) noexcept { return *this = *this + other; }
    COleDateTimeSpan& operator-=(const COleDateTimeSpan& other) noexcept { return *this = *this - other; }
    COleDateTimeSpan& operator*=(double factor) noexcept { return *this = *this * factor; }
    COleDateTimeSpan& operator/=(double divisor) noexcept { return *this = *this / divisor; }

    // Equal when both are valid with the same length, or both null; ordered only when both are valid.
    bool operator==(const COleDateTimeSpan& other) const noexcept
    {
        return m_status == other.m_status && (m_status == null || (m_status == valid && m_span == other.m_span));
    }
    std::partial_ordering operator<=>(const COleDateTimeSpan& other) const noexcept
    {
        if (m_status != valid || other.m_status != valid)
            return std::partial_ordering::unordered;
        return m_span <=> other.m_span;
    }

    double m_span;
    DateTimeSpanStatus m_status;

private:
    // The longest span between two valid dates.
    static constexpr double kMaxSpan = _AtlDate::kMaxDate - _AtlDate::kMinDate + 1;

    void CheckRange() noexcept
    {
        if (!(std::fabs(m_span) < kMaxSpan))
            m_status = invalid;
    }
    long long Seconds() const noexcept
    {
        return m_status == valid ? std::llround(m_span * _AtlDate::kSecondsPerDay) : 0;
    }
    static COleDateTimeSpan Result(double span, int status) noexcept
    {
        COleDateTimeSpan result;
        if (status == valid)
            result = span;
        else
            result.m_status = static_cast<DateTimeSpanStatus>(status);
        return result;
    }
};

class COleDateTime {
public:
    enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };

    // The local time now.
    static COleDateTime WINAPI GetCurrentTime() { return COleDateTime(std::time(nullptr)); }

    COleDateTime() noexcept : m_dt(0), m_status(valid) {}
    COleDateTime(DATE dtSrc) noexcept { *this = dtSrc; }
    // The VARIANT converted to VT_DATE; invalid when it does not convert.
    COleDateTime(const VARIANT& varSrc) noexcept { *this = varSrc; }
    // A time_t, as local time.
    COleDateTime(time_t timeSrc) noexcept { *this = timeSrc; }
    COleDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) noexcept : m_dt(0), m_status(valid)
    {
        SetDateTime(nYear, nMonth, nDay, nHour, nMin, nSec);
    }

    COleDateTime& operator=(DATE dtSrc) noexcept
    {
        m_dt = dtSrc;
        m_status = _AtlDate::IsValid(dtSrc) ? valid : invalid;
        return *this;
    }
    COleDateTime& operator=(const VARIANT& varSrc) noexcept
    {
        VARIANT converted;
        ::VariantInit(&converted);
        // const_cast: some headers declare the source without const.
        if (SUCCEEDED(::VariantChangeType(&converted, const_cast<VARIANT*>(&varSrc), 0, VT_DATE)))
            return *this = converted.date;
        return SetInvalid();
    }
    COleDateTime& operator=(time_t timeSrc) noexcept
    {
        std::tm local{};
#if defined(_WIN32)
        const bool converted = ::localtime_s(&local, &timeSrc) == 0;
#else
        const bool converted = ::localtime_r(&timeSrc, &local) != nullptr;
#endif
        if (!converted)
            return SetInvalid();
        // A leap second reads as the second before it.
        const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
        SetInvalid();
        SetDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, second);
        return *this;
    }

    DateTimeStatus GetStatus() const noexcept { return m_status; }
    void SetStatus(DateTimeStatus status) noexcept { m_status = status; }
    operator DATE() const noexcept { return m_dt; }

    // The parts; `error` (-1) unless the date is valid.
    int GetYear() const noexcept { return Part(&_AtlDate::Parts::year); }
    int GetMonth() const noexcept { return Part(&_AtlDate::Parts::month); }
    int GetDay() const noexcept { return Part(&_AtlDate::Parts::day); }
    int GetHour() const noexcept { return Part(&_AtlDate::Parts::hour); }
    int GetMinute() const noexcept { return Part(&_AtlDate::Parts::minute); }
    int GetSecond() const noexcept { return Part(&_AtlDate::Parts::second); }
    int GetDayOfWeek() const noexcept { return Part(&_AtlDate::Parts::day_of_week); }
    int GetDayOfYear() const noexcept { return Part(&_AtlDate::Parts::day_of_year); }

    // 0 when the parts make a valid date (years 100-9999, day 0 meaning the last day of the
    // previous month); else 1, the status becomes invalid and the value is kept.
    int SetDateTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) noexcept
    {
        DATE combined = 0;
        if (_AtlDate::Combine(nYear, nMonth, nDay, nHour, nMin, nSec, combined)) {
            m_dt = combined;
            m_status = valid;
        } else {
            m_status = invalid;
        }
        return m_status;
    }
    int SetDate(int nYear, int nMonth, int nDay) noexcept { return SetDateTime(nYear, nMonth, nDay, 0, 0, 0); }
    // The time of day 0 (1899-12-30).
    int SetTime(int nHour, int nMin, int nSec) noexcept { return SetDateTime(1899, 12, 30, nHour, nMin, nSec); }

    // Reads a date and/or time with VarDateFromStr. Text that is not a date makes the object invalid
    // and returns false; other failures go through AtlThrow.
    bool ParseDateTime(LPCOLESTR lpszDate, DWORD dwFlags = 0, LCID lcid = LOCALE_USER_DEFAULT)
    {
        if (!lpszDate) {
            SetInvalid();
            return false;
        }
        DATE parsed = 0;
        const HRESULT hr = ::VarDateFromStr(const_cast<LPOLESTR>(lpszDate), lcid, dwFlags, &parsed);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) {
            SetInvalid();
            return false;
        }
        if (FAILED(hr))
            AtlThrow(hr);
        *this = parsed;
        return m_status == valid;
    }

    // The text of VarBstrFromDate ("3/15/2023 6:00:00 PM" in en-US); "" when null.
    std::wstring Format(DWORD dwFlags = 0, LCID lcid = LOCALE_USER_DEFAULT) const
    {
        if (m_status != valid)
            return StatusText();
        CComBSTR text;
        const HRESULT hr = ::VarBstrFromDate(m_dt, lcid, dwFlags, &text);
        if (FAILED(hr))
            AtlThrow(hr);
        return std::wstring(text.m_str, text.Length());
    }
    // The text of wcsftime for pFormat.
    std::wstring Format(LPCOLESTR pFormat) const
    {
        if (!pFormat)
            AtlThrow(E_INVALIDARG);
        _AtlDate::Parts parts{};
        if (m_status != valid || !_AtlDate::Split(m_dt, parts))
            return StatusText();
        std::tm tm{};
        tm.tm_year = parts.year - 1900;
        tm.tm_mon = parts.month - 1;
        tm.tm_mday = parts.day;
        tm.tm_hour = parts.hour;
        tm.tm_min = parts.minute;
        tm.tm_sec = parts.second;
        tm.tm_wday = parts.day_of_week - 1;
        tm.tm_yday = parts.day_of_year - 1;
        tm.tm_isdst = -1;
        // wcsftime answers 0 both for a buffer too small and for an empty result.
        for (std::size_t size = 64; size <= 64 * 1024; size *= 2) {
            std::wstring text(size, L'\0');
            const std::size_t written = std::wcsftime(text.data(), size, pFormat, &tm);
            if (written > 0 || pFormat[0] == 0) {
                text.resize(written);
                return text;
            }
        }
        return std::wstring();
    }

    COleDateTime operator+(const COleDateTimeSpan& dateSpan) const noexcept
    {
        const int status = _AtlDate::CombineStatus(m_status, dateSpan.m_status);
        if (status != valid)
            return WithStatus(status);
        return COleDateTime(_AtlDate::FromLinear(_AtlDate::ToLinear(m_dt) + dateSpan.m_span));
    }
    COleDateTime operator-(const COleDateTimeSpan& dateSpan) const noexcept { return *this + -dateSpan; }
    COleDateTime& operator+=(const COleDateTimeSpan& dateSpan) noexcept { return *this = *this + dateSpan; }
    COleDateTime& operator-=(const COleDateTimeSpan& dateSpan) noexcept { return *this = *this - dateSpan; }
    COleDateTimeSpan operator-(const COleDateTime& date) const noexcept
    {
        const int status = _AtlDate::CombineStatus(m_status, date.m_status);
        COleDateTimeSpan span(_AtlDate::ToLinear(m_dt) - _AtlDate::ToLinear(date.m_dt));
        if (status != valid) {
            span.m_span = 0;
            span.SetStatus(static_cast<COleDateTimeSpan::DateTimeSpanStatus>(status));
        }
        return span;
    }

    // Equal when both are valid at the same moment, or both null; ordered only when both are valid.
    bool operator==(const COleDateTime& date) const noexcept
    {
        return m_status == date.m_status &&
               (m_status == null || (m_status == valid && _AtlDate::ToLinear(m_dt) == _AtlDate::ToLinear(date.m_dt)));
    }
    std::partial_ordering operator<=>(const COleDateTime& date) const noexcept
    {
        if (m_status != valid || date.m_status != valid)
            return std::partial_ordering::unordered;
        return _AtlDate::ToLinear(m_dt) <=> _AtlDate::ToLinear(date.m_dt);
    }

    DATE m_dt;
    DateTimeStatus m_status;

private:
    int Part(int _AtlDate::Parts::*part) const noexcept
    {
        _AtlDate::Parts parts{};
        return m_status == valid && _AtlDate::Split(m_dt, parts) ? parts.*part : error;
    }
    COleDateTime& SetInvalid() noexcept
    {
        m_dt = 0;
        m_status = invalid;
        return *this;
    }
    static COleDateTime WithStatus(int status) noexcept
    {
        COleDateTime result;
        result.m_status = static_cast<DateTimeStatus>(status);
        return result;
    }
    std::wstring StatusText() const { return m_status == null ? std::wstring() : std::wstring(L"Invalid DateTime"); }
};

} // namespace ATL

#pragma pop_macro("GetCurrentTime")
