// VarCmp and VarBstrCmp.
//
// VarCmp settles, in this order: types it refuses (DISP_E_BADVARTYPE), types it cannot order
// (DISP_E_TYPEMISMATCH), VT_ERROR, VT_NULL, text, and finally numbers, which it compares in the one
// type that holds both sides.
#include "decimal_order.h"

#include <windows.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

// CompareString's flag for a comparison that ignores case; only VarBstrCmp reads it.
constexpr ULONG ignore_case = 0x00000001;

template <typename T>
HRESULT order_of(const T& left, const T& right)
{
    return left < right ? VARCMP_LT : right < left ? VARCMP_GT : VARCMP_EQ;
}

// ---- Text -----------------------------------------------------------------------------------------

using Text = std::basic_string_view<OLECHAR>;

bool is_ascii_upper(OLECHAR c) { return c >= L'A' && c <= L'Z'; }
bool is_ascii_lower(OLECHAR c) { return c >= L'a' && c <= L'z'; }
bool is_ascii_digit(OLECHAR c) { return c >= L'0' && c <= L'9'; }

// Hyphens and apostrophes weigh nothing at first, so that "co-op" sorts next to "coop".
bool is_ignorable(OLECHAR c) { return c == L'-' || c == L'\''; }

// The linguistic order for ASCII: symbols, then digits, then letters without regard to case. Other
// characters follow in code-unit order.
std::uint32_t primary_weight(OLECHAR c)
{
    const auto unit = static_cast<std::uint32_t>(c);
    if (is_ascii_lower(c) || is_ascii_upper(c))
        return 0x300 + (unit | 0x20);
    if (is_ascii_digit(c))
        return 0x200 + unit;
    return unit < 0x80 ? 0x100 + unit : 0x400 + unit;
}

// The levels of the comparison, most significant first: letters and digits, then case with lower
// case first, then the number of ignored characters.
struct SortKey {
    std::vector<std::uint32_t> primary;
    std::vector<bool> upper;
    std::size_t ignored = 0;
};

SortKey sort_key(Text text, bool with_case)
{
    SortKey key;
    for (const OLECHAR c : text) {
        if (is_ignorable(c)) {
            ++key.ignored;
            continue;
        }
        key.primary.push_back(primary_weight(c));
        if (with_case)
            key.upper.push_back(is_ascii_upper(c));
    }
    return key;
}

HRESULT linguistic_order(Text left, Text right, bool with_case)
{
    const SortKey a = sort_key(left, with_case);
    const SortKey b = sort_key(right, with_case);
    const HRESULT by_key = order_of(std::tie(a.primary, a.upper, a.ignored), std::tie(b.primary, b.upper, b.ignored));
    // Distinct strings with equal keys differ in where their ignored characters stand.
    return by_key != VARCMP_EQ || !with_case ? by_key : order_of(left, right);
}

Text text_of(BSTR text) { return Text(text, SysStringLen(text)); }

// ---- Numbers --------------------------------------------------------------------------------------

bool is_decimal(VARTYPE vt) { return vt == VT_DECIMAL; }
bool is_single(VARTYPE vt) { return vt == VT_R4; }
bool is_double(VARTYPE vt) { return vt == VT_R8 || vt == VT_DATE; }
bool is_currency(VARTYPE vt) { return vt == VT_CY; }

// The integer value of EMPTY (0), BOOL (-1 for TRUE), UI1, I2, I4, INT and I8.
LONGLONG integer_of(const VARIANT& v, VARTYPE vt)
{
    switch (vt) {
    case VT_BOOL: return v.boolVal;
    case VT_UI1: return v.bVal;
    case VT_I2: return v.iVal;
    case VT_I4:
    case VT_INT: return v.lVal;
    case VT_I8: return v.llVal;
    default: return 0;
    }
}

double double_of(const VARIANT& v, VARTYPE vt)
{
    switch (vt) {
    case VT_R4: return v.fltVal;
    case VT_R8: return v.dblVal;
    case VT_DATE: return v.date;
    case VT_CY: return static_cast<double>(v.cyVal.int64) / platform::decimal::currency_scale;
    case VT_DECIMAL: return platform::decimal::to_double(v.decVal);
    default: return static_cast<double>(integer_of(v, vt));
    }
}

std::optional<float> single_of(const VARIANT& v, VARTYPE vt)
{
    const double value = double_of(v, vt);
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(value);
}

std::optional<LONGLONG> currency_of(const VARIANT& v, VARTYPE vt)
{
    if (vt == VT_CY)
        return v.cyVal.int64;
    constexpr LONGLONG limit = std::numeric_limits<LONGLONG>::max() / platform::decimal::currency_scale;
    const LONGLONG value = integer_of(v, vt);
    if (value > limit || value < -limit)
        return std::nullopt;
    return value * platform::decimal::currency_scale;
}

std::optional<platform::decimal::Scaled> decimal_of(const VARIANT& v, VARTYPE vt)
{
    using namespace platform::decimal;
    switch (vt) {
    case VT_DECIMAL: return from_decimal(v.decVal);
    case VT_CY: return from_currency(v.cyVal.int64);
    case VT_R4: return from_double(v.fltVal, single_digits);
    case VT_R8:
    case VT_DATE: return from_double(double_of(v, vt), double_digits);
    default: return from_integer(integer_of(v, vt));
    }
}

template <typename T>
HRESULT order_or_doubles(const VARIANT& l, VARTYPE lt, const VARIANT& r, VARTYPE rt, std::optional<T> a,
                         std::optional<T> b)
{
    return a && b ? order_of(*a, *b) : order_of(double_of(l, lt), double_of(r, rt));
}

// The common type is the first of DECIMAL, R4, R8 (or DATE), CY that either side has, else I8; a side
// that does not fit compares as R8. NaN is greater than anything.
HRESULT compare_numbers(const VARIANT& l, VARTYPE lt, const VARIANT& r, VARTYPE rt)
{
    if (std::isnan(double_of(l, lt)) || std::isnan(double_of(r, rt)))
        return VARCMP_GT;
    const auto either = [&](bool (*is)(VARTYPE)) { return is(lt) || is(rt); };
    if (either(is_decimal))
        return order_or_doubles(l, lt, r, rt, decimal_of(l, lt), decimal_of(r, rt));
    if (either(is_single))
        return order_or_doubles(l, lt, r, rt, single_of(l, lt), single_of(r, rt));
    if (either(is_double))
        return order_of(double_of(l, lt), double_of(r, rt));
    if (either(is_currency))
        return order_or_doubles(l, lt, r, rt, currency_of(l, lt), currency_of(r, rt));
    return order_of(integer_of(l, lt), integer_of(r, rt));
}

// ---- Types --------------------------------------------------------------------------------------

bool has_refused_flag(VARTYPE vt) { return (vt & ~(VT_TYPEMASK | VT_RESERVED)) != 0; }

// 15 is the one number below VT_UI8 that names no type.
bool is_known_up_to(VARTYPE vt, VARTYPE highest) { return vt <= highest && vt != 15; }

bool is_unordered(VARTYPE vt)
{
    switch (vt) {
    case VT_I1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_DISPATCH:
    case VT_VARIANT:
    case VT_UNKNOWN: return true;
    default: return false;
    }
}

// Text is greater than any number; against EMPTY it is equal when empty.
HRESULT compare_with_text(const VARIANT& l, VARTYPE lt, const VARIANT& r, VARTYPE rt, LCID lcid, ULONG flags)
{
    if (lt == VT_BSTR && rt == VT_BSTR)
        return VarBstrCmp(l.bstrVal, r.bstrVal, lcid, flags);
    const VARIANT& text = lt == VT_BSTR ? l : r;
    const VARTYPE other = lt == VT_BSTR ? rt : lt;
    if (other == VT_EMPTY && SysStringLen(text.bstrVal) == 0)
        return VARCMP_EQ;
    return lt == VT_BSTR ? VARCMP_GT : VARCMP_LT;
}

} // namespace

HRESULT VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags)
{
    const Text left = text_of(bstrLeft);
    const Text right = text_of(bstrRight);
    if (left.empty() || right.empty())
        return order_of(!left.empty(), !right.empty());
    if (lcid == 0)
        return order_of(left, right);
    return linguistic_order(left, right, !(dwFlags & ignore_case));
}

HRESULT VarCmp(LPVARIANT pvarLeft, LPVARIANT pvarRight, LCID lcid, ULONG dwFlags)
{
    if (!pvarLeft || !pvarRight)
        return E_INVALIDARG;
    if (has_refused_flag(pvarLeft->vt) || has_refused_flag(pvarRight->vt))
        return DISP_E_BADVARTYPE;
    const VARTYPE lt = pvarLeft->vt & VT_TYPEMASK;
    const VARTYPE rt = pvarRight->vt & VT_TYPEMASK;
    // INT is allowed on the left only: on the right, as UINT and UI8, it fails this gate.
    if (!is_known_up_to(lt, VT_INT) || !is_known_up_to(rt, VT_I8))
        return DISP_E_BADVARTYPE;
    if (is_unordered(lt) || is_unordered(rt))
        return DISP_E_TYPEMISMATCH;
    if (lt == VT_ERROR || rt == VT_ERROR)
        return lt == rt ? VARCMP_EQ : DISP_E_TYPEMISMATCH;
    if (lt == VT_NULL || rt == VT_NULL)
        return VARCMP_NULL;
    if (lt == VT_BSTR || rt == VT_BSTR)
        return compare_with_text(*pvarLeft, lt, *pvarRight, rt, lcid, dwFlags);
    return compare_numbers(*pvarLeft, lt, *pvarRight, rt);
}
