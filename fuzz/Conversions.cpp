#include "Conversions.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace collector::fuzz {

namespace {

// What a failed conversion must leave in the destination.
constexpr LONG untouched_mark = 0x5EED;

// The bytes of an integer or currency value; 0 for any other type.
std::size_t exact_size(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return 4;
    case VT_I8: case VT_UI8: case VT_CY: return 8;
    default: return 0;
    }
}

bool is_integer(VARTYPE vt) { return vt != VT_CY && exact_size(vt) != 0; }

// The largest double whose 15-digit text does not round up past DBL_MAX.
constexpr double largest_r8_text = 1.79769313486231e308;

bool has_readable_text(const VARIANT& value)
{
    switch (value.vt) {
    case VT_R4: return std::isfinite(value.fltVal);
    case VT_R8: return std::isfinite(value.dblVal) && std::fabs(value.dblVal) <= largest_r8_text;
    case VT_DATE: return value.date < end_of_readable_dates;
    // A scale beyond 28 or a sign other than DECIMAL_NEG makes no number.
    case VT_DECIMAL: return value.decVal.scale <= 28 && (value.decVal.sign & ~DECIMAL_NEG) == 0;
    default: return exact_size(value.vt) != 0;
    }
}

bool close(double a, double b, double relative, double absolute)
{
    return std::fabs(a - b) <= std::max(std::fabs(a), std::fabs(b)) * relative + absolute;
}

// The value read back from its own text equals the value, as far as the text names it.
bool same_value(const VARIANT& value, const VARIANT& back)
{
    switch (value.vt) {
    // A float's 7-digit text names it to within one unit of the 7th digit.
    case VT_R4: return close(value.fltVal, back.fltVal, 1e-6, std::numeric_limits<float>::denorm_min());
    case VT_R8: return close(value.dblVal, back.dblVal, 1e-14, 1e-320);
    // Texts of whole seconds, and decimals with any scale: compared through their texts.
    case VT_DATE: case VT_DECIMAL: return true;
    default: return std::memcmp(&value.llVal, &back.llVal, exact_size(value.vt)) == 0;
    }
}

} // namespace

std::optional<DATE> date_of_text(const std::wstring& text)
{
    DATE date = 0;
    if (FAILED(VarDateFromStr(text.c_str(), LOCALE_USER_DEFAULT, 0, &date)))
        return std::nullopt;
    return date;
}

bool same_date_text(const std::wstring& text, const std::wstring& back)
{
    const std::optional<DATE> a = date_of_text(text), b = date_of_text(back);
    return text == back || (a && b && *a == *b);
}

HRESULT change_type(const VARIANT& source, VARTYPE vt, USHORT flags, owned_variant_t& out)
{
    out.vt = VT_I4;
    out.lVal = untouched_mark;
    const HRESULT hr = VariantChangeType(&out, &source, flags, vt);
    if (FAILED(hr)) {
        check(out.vt == VT_I4 && out.lVal == untouched_mark, "a failed conversion leaves the destination as it was");
        VariantInit(&out);
    } else {
        check(out.vt == vt, "a successful conversion gives the type asked for");
    }
    return hr;
}

std::optional<std::wstring> text_of(const VARIANT& value)
{
    owned_variant_t text;
    if (FAILED(change_type(value, VT_BSTR, 0, text)))
        return std::nullopt;
    check(text.bstrVal != nullptr, "a conversion to text gives a string");
    return std::wstring(text.bstrVal, SysStringLen(text.bstrVal));
}

void check_text_round_trip(const VARIANT& value)
{
    if (!has_readable_text(value))
        return;
    const std::optional<std::wstring> text = text_of(value);
    // A date outside the years 100 to 9999 has no text.
    if (!text) {
        check(value.vt == VT_DATE, "every number has a text");
        return;
    }
    owned_variant_t source;
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    owned_variant_t back;
    check(SUCCEEDED(change_type(source, value.vt, 0, back)), "the text of a value reads back as its type");
    check(same_value(value, back), "the text of a value reads back as the same value");
    // A float's 7 digits can name a value that another float's 7 digits name too.
    const std::optional<std::wstring> back_text = text_of(back);
    if (value.vt == VT_DATE)
        check(back_text && same_date_text(*text, *back_text), "a date read from its own text has that text");
    else if (value.vt != VT_R4)
        check(back_text == text, "a value read from its own text has that text");
}

void check_integer_round_trip(const VARIANT& source, const VARIANT& converted)
{
    if (!is_integer(source.vt) || !is_integer(converted.vt))
        return;
    owned_variant_t back;
    check(SUCCEEDED(change_type(converted, source.vt, 0, back)), "an integer converted to another converts back");
    check(std::memcmp(&source.llVal, &back.llVal, exact_size(source.vt)) == 0,
          "an integer converted to another converts back to itself");
}

} // namespace collector::fuzz
