// VariantChangeType and VariantChangeTypeEx: the conversions between the plain VARIANT types, numbers
// as en-US text both ways, the UI1-array form of a string, and an object's value property.
//
// The source is first copied by value (through any reference), the conversion builds a new VARIANT from
// that copy, and only a successful result replaces the destination, so that a failure leaves it as it
// was and converting a VARIANT into itself works. Every locale converts as en-US.
#include <oleauto.h>

#include "number_text.h"
#include "utf16_bytes.h"
#include "vartype.h"

#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using namespace platform::convert;
using platform_detail::is_valid_variant_type;

// For the release of what this file created or copied itself: valid and unlocked, it cannot fail.
void expect_released(HRESULT hr)
{
    assert(SUCCEEDED(hr));
    (void)hr;
}

// ---- Reading the source ---------------------------------------------------------------------------

// A source value in the form a numeric conversion starts from.
struct Number {
    enum class Kind { Integer, Real, Exact, Radix } kind = Kind::Integer;
    Int128 integer = 0;        // integer types, BOOL (its raw value) and EMPTY (0)
    double real = 0.0;         // R4, R8, DATE
    int real_digits = 15;      // significant digits of the real's type: 7 for R4
    DecimalValue exact;        // CY, DECIMAL, decimal text
    std::uint64_t radix = 0;   // "&H" and "&O" text
};

bool read_integer(const VARIANT& v, Int128& out)
{
    switch (v.vt) {
    case VT_EMPTY:
        out = 0;
        return true;
    case VT_I1:
        out = static_cast<signed char>(v.cVal);
        return true;
    case VT_UI1:
        out = v.bVal;
        return true;
    case VT_I2:
        out = v.iVal;
        return true;
    case VT_BOOL:
        out = v.boolVal;
        return true;
    case VT_UI2:
        out = v.uiVal;
        return true;
    case VT_I4:
    case VT_INT:
        out = v.lVal;
        return true;
    case VT_UI4:
    case VT_UINT:
        out = v.ulVal;
        return true;
    case VT_I8:
        out = v.llVal;
        return true;
    case VT_UI8:
        out = v.ullVal;
        return true;
    default:
        return false;
    }
}

// The text of a BSTR up to its first NUL, as Windows reads numbers and dates; NULL reads as "".
std::wstring_view text_of(BSTR text) { return text ? std::wstring_view(text) : std::wstring_view(); }

HRESULT read_text_number(BSTR text, Number& out)
{
    ParsedNumber parsed;
    const HRESULT hr = parse_number(text_of(text), parsed);
    if (FAILED(hr))
        return hr;
    out.kind = parsed.is_radix ? Number::Kind::Radix : Number::Kind::Exact;
    out.radix = parsed.radix_bits;
    out.exact = std::move(parsed.value);
    return S_OK;
}

HRESULT read_number(const VARIANT& v, Number& out)
{
    if (read_integer(v, out.integer)) {
        out.kind = Number::Kind::Integer;
        return S_OK;
    }
    const auto real = [&out](double value, int digits) {
        out.kind = Number::Kind::Real;
        out.real = value;
        out.real_digits = digits;
        return S_OK;
    };
    switch (v.vt) {
    case VT_R4:
        return real(v.fltVal, 7);
    case VT_R8:
        return real(v.dblVal, 15);
    case VT_DATE:
        return real(v.date, 15);
    case VT_CY:
        out.kind = Number::Kind::Exact;
        out.exact = from_currency(v.cyVal);
        return S_OK;
    case VT_DECIMAL:
        if (!is_valid_decimal(v.decVal))
            return E_INVALIDARG;
        out.kind = Number::Kind::Exact;
        out.exact = from_decimal(v.decVal);
        return S_OK;
    case VT_BSTR:
        return read_text_number(v.bstrVal, out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// The value as a double, for the R8, R4, DATE and BOOL targets.
HRESULT real_value(const Number& n, double& out)
{
    switch (n.kind) {
    case Number::Kind::Integer:
        out = static_cast<double>(n.integer);
        return S_OK;
    case Number::Kind::Real:
        out = n.real;
        return S_OK;
    case Number::Kind::Exact:
        return to_real(n.exact, out);
    case Number::Kind::Radix:
        // A hex or octal literal reaches the floating-point types only while it is a positive I4.
        if (n.radix > static_cast<std::uint64_t>(std::numeric_limits<LONG>::max()))
            return DISP_E_OVERFLOW;
        out = static_cast<double>(n.radix);
        return S_OK;
    }
    return E_UNEXPECTED;
}

// ---- Integer targets ------------------------------------------------------------------------------

struct IntegerType {
    int bytes = 0;
    bool is_signed = false;

    Int128 min() const { return is_signed ? -(Int128(1) << (8 * bytes - 1)) : 0; }
    Int128 max() const { return (Int128(1) << (8 * bytes - (is_signed ? 1 : 0))) - 1; }
};

bool integer_type(VARTYPE vt, IntegerType& out)
{
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        out = {1, vt == VT_I1};
        return true;
    case VT_I2:
    case VT_UI2:
        out = {2, vt == VT_I2};
        return true;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        out = {4, vt == VT_I4 || vt == VT_INT};
        return true;
    case VT_I8:
    case VT_UI8:
        out = {8, vt == VT_I8};
        return true;
    default:
        return false;
    }
}

// Stores the low `bytes` of `bits` as the value of an integer VARIANT.
void store_integer(VARTYPE vt, int bytes, std::uint64_t bits, VARIANT& out)
{
    out.vt = vt;
    switch (bytes) {
    case 1:
        out.bVal = static_cast<BYTE>(bits);
        break;
    case 2:
        out.uiVal = static_cast<USHORT>(bits);
        break;
    case 4:
        out.ulVal = static_cast<ULONG>(bits);
        break;
    default:
        out.ullVal = bits;
        break;
    }
}

// Signed and unsigned integers of one width, and BOOL into any integer, convert by reinterpreting the
// bits, with no range check: UI4 0xFFFFFFFF becomes I4 -1, BOOL TRUE becomes UI1 255.
bool converts_by_bits(VARTYPE source, const IntegerType& target)
{
    IntegerType from;
    return source == VT_BOOL || (integer_type(source, from) && from.bytes == target.bytes);
}

// Rounds half to even, then checks the rounded value against the target's range.
HRESULT round_real(double value, const IntegerType& target, Int128& out)
{
    const double rounded = std::nearbyint(value); // ties to even in the default rounding mode
    const int value_bits = 8 * target.bytes - (target.is_signed ? 1 : 0);
    const double upper = std::ldexp(1.0, value_bits);
    const double lower = target.is_signed ? -upper : 0.0;
    if (!(rounded >= lower && rounded < upper))
        return DISP_E_OVERFLOW;
    out = static_cast<Int128>(rounded);
    return S_OK;
}

HRESULT to_integer_value(const VARIANT& src, const Number& n, const IntegerType& target, Int128& out)
{
    switch (n.kind) {
    case Number::Kind::Integer:
        out = n.integer;
        return S_OK;
    case Number::Kind::Real:
        return round_real(n.real, target, out);
    case Number::Kind::Exact:
        // Windows truncates a negative CY towards zero and then takes one more off for I8.
        if (src.vt == VT_CY && src.cyVal.int64 < 0 && target.bytes == 8 && target.is_signed) {
            out = src.cyVal.int64 / 10000 - 1;
            return S_OK;
        }
        return to_integer(n.exact, target.min(), target.max(), out);
    case Number::Kind::Radix:
        // A literal that fits the target's width gives its bits: "&HFFFFFFFF" is I4 -1.
        if (target.bytes < 8 && (n.radix >> (8 * target.bytes)) != 0)
            return DISP_E_OVERFLOW;
        out = static_cast<Int128>(n.radix);
        return S_OK;
    }
    return E_UNEXPECTED;
}

HRESULT to_integer_target(const VARIANT& src, const Number& n, VARTYPE vt, const IntegerType& target,
                          VARIANT& out)
{
    Int128 value = 0;
    const HRESULT hr = to_integer_value(src, n, target, value);
    if (FAILED(hr))
        return hr;
    const bool bits_only = converts_by_bits(src.vt, target) || n.kind == Number::Kind::Radix;
    if (!bits_only && (value < target.min() || value > target.max()))
        return DISP_E_OVERFLOW;
    store_integer(vt, target.bytes, static_cast<std::uint64_t>(value), out);
    return S_OK;
}

// ---- Other numeric targets ------------------------------------------------------------------------

// The range of DATE, in days from 1899-12-30: the years 100 to 9999. Integers and R8 are held to it;
// R4, CY and DECIMAL become whatever day they name, as oleaut32 converts them.
constexpr double min_date = -657435.0;
constexpr double max_date = 2958466.0;

bool checks_date_range(VARTYPE source) { return source != VT_R4 && source != VT_CY && source != VT_DECIMAL; }

HRESULT to_real_target(const VARIANT& src, const Number& n, VARTYPE vt, VARIANT& out)
{
    double value = 0.0;
    const HRESULT hr = real_value(n, value);
    if (FAILED(hr))
        return hr;
    if (vt == VT_R4) {
        if (value > FLT_MAX || value < -FLT_MAX)
            return DISP_E_OVERFLOW;
        out.fltVal = n.kind == Number::Kind::Integer ? static_cast<float>(n.integer) : static_cast<float>(value);
    } else if (vt == VT_DATE) {
        if (checks_date_range(src.vt) && !(value > min_date && value < max_date))
            return DISP_E_OVERFLOW;
        out.date = value;
    } else {
        out.dblVal = value;
    }
    out.vt = vt;
    return S_OK;
}

// An integer becomes CY while its magnitude stays below 922337203685477: Windows refuses that value
// and its negative although they fit.
constexpr LONGLONG currency_integer_limit = std::numeric_limits<LONGLONG>::max() / 10000;

HRESULT to_currency_target(const Number& n, VARIANT& out)
{
    CY value{};
    switch (n.kind) {
    case Number::Kind::Integer:
        if (n.integer >= currency_integer_limit || n.integer <= -currency_integer_limit)
            return DISP_E_OVERFLOW;
        value.int64 = static_cast<LONGLONG>(n.integer) * 10000;
        break;
    case Number::Kind::Real: {
        const double units = std::nearbyint(n.real * 10000.0);
        const double limit = std::ldexp(1.0, 63);
        if (!(units >= -limit && units < limit))
            return DISP_E_OVERFLOW;
        value.int64 = static_cast<LONGLONG>(units);
        break;
    }
    case Number::Kind::Exact: {
        const HRESULT hr = to_currency(n.exact, value);
        if (FAILED(hr))
            return hr;
        break;
    }
    case Number::Kind::Radix:
        return DISP_E_OVERFLOW;
    }
    out.vt = VT_CY;
    out.cyVal = value;
    return S_OK;
}

HRESULT to_decimal_target(const VARIANT& src, const Number& n, VARIANT& out)
{
    DECIMAL value{};
    HRESULT hr = S_OK;
    if (src.vt == VT_CY) {
        // A CY keeps its four decimal places.
        const LONGLONG units = src.cyVal.int64;
        value.scale = 4;
        value.sign = units < 0 ? DECIMAL_NEG : 0;
        value.Lo64 = units < 0 ? 0 - static_cast<ULONGLONG>(units) : static_cast<ULONGLONG>(units);
    } else if (n.kind == Number::Kind::Integer) {
        hr = to_decimal(from_integer(n.integer), value);
    } else if (n.kind == Number::Kind::Real) {
        // A double carries 15 significant digits (a float 7), and Windows keeps just those.
        hr = std::isfinite(n.real) ? to_decimal(from_real(n.real, n.real_digits), value) : DISP_E_OVERFLOW;
    } else if (n.kind == Number::Kind::Radix) {
        hr = to_decimal(from_integer(static_cast<Int128>(n.radix)), value);
    } else {
        hr = to_decimal(n.exact, value);
    }
    if (FAILED(hr))
        return hr;
    out.decVal = value; // overlays vt: set it afterwards
    out.vt = VT_DECIMAL;
    return S_OK;
}

// ---- BOOL and text --------------------------------------------------------------------------------

const std::wstring_view true_text = L"True";
const std::wstring_view false_text = L"False";

bool equals_ignoring_case(std::wstring_view a, std::wstring_view b)
{
    const auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

HRESULT to_bool_target(const Number& n, VARIANT& out)
{
    bool value = false;
    if (n.kind == Number::Kind::Integer) {
        value = n.integer != 0;
    } else if (n.kind == Number::Kind::Exact) {
        value = !n.exact.is_zero();
    } else {
        double real = 0.0;
        const HRESULT hr = real_value(n, real);
        if (FAILED(hr))
            return hr;
        value = real != 0.0 || std::isnan(real);
    }
    out.vt = VT_BOOL;
    out.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// "True" and "False" (in any case) convert to BOOL before any reading as a number.
bool read_bool_word(const VARIANT& src, VARIANT& out)
{
    if (src.vt != VT_BSTR)
        return false;
    const std::wstring_view text = text_of(src.bstrVal);
    const bool is_true = equals_ignoring_case(text, true_text);
    if (!is_true && !equals_ignoring_case(text, false_text))
        return false;
    out.vt = VT_BOOL;
    out.boolVal = is_true ? VARIANT_TRUE : VARIANT_FALSE;
    return true;
}

HRESULT make_bstr(std::wstring_view text, VARIANT& out)
{
    const BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value)
        return E_OUTOFMEMORY;
    out.vt = VT_BSTR;
    out.bstrVal = value;
    return S_OK;
}

HRESULT format_value(const VARIANT& src, USHORT flags, std::wstring& text)
{
    Int128 integer = 0;
    switch (src.vt) {
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
            text = src.boolVal ? true_text : false_text;
            return S_OK;
        }
        break;
    case VT_R4:
        text = format_real(src.fltVal, 7);
        return S_OK;
    case VT_R8:
        text = format_real(src.dblVal, 15);
        return S_OK;
    case VT_CY:
        text = format_fixed(from_currency(src.cyVal));
        return S_OK;
    case VT_DECIMAL:
        if (!is_valid_decimal(src.decVal))
            return E_INVALIDARG;
        text = format_fixed(from_decimal(src.decVal));
        return S_OK;
    case VT_EMPTY:
        text.clear();
        return S_OK;
    default:
        break;
    }
    if (!read_integer(src, integer))
        return DISP_E_TYPEMISMATCH;
    text = format_fixed(from_integer(integer));
    return S_OK;
}

HRESULT to_text_target(const VARIANT& src, LCID lcid, USHORT flags, VARIANT& out)
{
    if (src.vt == VT_DATE) {
        BSTR text = nullptr;
        const HRESULT hr = VarBstrFromDate(src.date, lcid, 0, &text);
        if (FAILED(hr))
            return hr;
        out.vt = VT_BSTR;
        out.bstrVal = text;
        return S_OK;
    }
    std::wstring text;
    const HRESULT hr = format_value(src, flags, text);
    return FAILED(hr) ? hr : make_bstr(text, out);
}

HRESULT to_date_from_text(const VARIANT& src, LCID lcid, VARIANT& out)
{
    // NULL reads as "", which no date is.
    DATE value = 0.0;
    const HRESULT hr = VarDateFromStr(src.bstrVal ? src.bstrVal : L"", lcid, 0, &value);
    if (FAILED(hr))
        return hr;
    out.vt = VT_DATE;
    out.date = value;
    return S_OK;
}

// ---- Plain conversions ----------------------------------------------------------------------------

HRESULT convert_number(const VARIANT& src, VARTYPE vt, VARIANT& out)
{
    Number n;
    const HRESULT hr = read_number(src, n);
    if (FAILED(hr))
        return hr;
    IntegerType integer;
    if (integer_type(vt, integer))
        return to_integer_target(src, n, vt, integer, out);
    switch (vt) {
    case VT_R4:
    case VT_R8:
    case VT_DATE:
        return to_real_target(src, n, vt, out);
    case VT_CY:
        return to_currency_target(n, out);
    case VT_DECIMAL:
        return to_decimal_target(src, n, out);
    case VT_BOOL:
        return to_bool_target(n, out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// A conversion between two plain types (numbers, BOOL, CY, DATE, DECIMAL, BSTR, EMPTY).
HRESULT convert_plain(const VARIANT& src, VARTYPE vt, LCID lcid, USHORT flags, VARIANT& out)
{
    if (vt == VT_BSTR)
        return to_text_target(src, lcid, flags, out);
    if (src.vt == VT_BSTR && vt == VT_DATE)
        return to_date_from_text(src, lcid, out);
    if (vt == VT_BOOL && read_bool_word(src, out))
        return S_OK;
    return convert_number(src, vt, out);
}

// ---- Arrays and objects ---------------------------------------------------------------------------

HRESULT text_from_byte_array(SAFEARRAY* array, VARIANT& out)
{
    if (!array || SafeArrayGetDim(array) != 1)
        return E_INVALIDARG;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr))
        return hr;
    const std::wstring text = from_utf16_bytes(static_cast<const BYTE*>(data), array->rgsabound[0].cElements);
    hr = SafeArrayUnaccessData(array);
    return FAILED(hr) ? hr : make_bstr(text, out);
}

HRESULT byte_array_from_text(BSTR text, VARIANT& out)
{
    // Every character counts here, embedded NULs included.
    const std::vector<BYTE> bytes =
        to_utf16_bytes(text ? std::wstring_view(text, SysStringLen(text)) : std::wstring_view());
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array)
        return E_OUTOFMEMORY;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (SUCCEEDED(hr)) {
        // The empty text's vector has no storage: memcpy must not be given its null pointer.
        if (!bytes.empty())
            std::memcpy(data, bytes.data(), bytes.size());
        hr = SafeArrayUnaccessData(array);
    }
    if (FAILED(hr)) {
        expect_released(SafeArrayDestroy(array));
        return hr;
    }
    out.vt = VT_ARRAY | VT_UI1;
    out.parray = array;
    return S_OK;
}

// Arrays convert only between a UI1 array and the string its bytes hold.
HRESULT convert_array(const VARIANT& src, VARTYPE vt, VARIANT& out)
{
    if (src.vt == (VT_ARRAY | VT_UI1) && vt == VT_BSTR)
        return text_from_byte_array(src.parray, out);
    if (src.vt == VT_BSTR && vt == (VT_ARRAY | VT_UI1))
        return byte_array_from_text(src.bstrVal, out);
    return DISP_E_TYPEMISMATCH;
}

// VT_UNKNOWN and VT_DISPATCH convert into each other through QueryInterface.
HRESULT convert_object(const VARIANT& src, VARTYPE vt, VARIANT& out)
{
    if (src.vt != VT_UNKNOWN && src.vt != VT_DISPATCH)
        return DISP_E_TYPEMISMATCH;
    void* object = nullptr;
    if (src.punkVal) {
        const HRESULT hr = src.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &object);
        if (hr == E_NOINTERFACE)
            return DISP_E_TYPEMISMATCH;
        if (FAILED(hr))
            return hr;
    }
    out.vt = vt;
    if (vt == VT_DISPATCH)
        out.pdispVal = static_cast<IDispatch*>(object);
    else
        out.punkVal = static_cast<IUnknown*>(object);
    return S_OK;
}

// An object converts to a plain type through its value property, unless the caller forbids it.
HRESULT convert_value_property(const VARIANT& src, VARTYPE vt, LCID lcid, USHORT flags, VARIANT& out)
{
    if (!src.pdispVal)
        return DISP_E_BADVARTYPE;
    if (flags & VARIANT_NOVALUEPROP)
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = src.pdispVal->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &no_arguments, &value,
                                      nullptr, nullptr);
    if (FAILED(hr))
        return hr;
    // A value that is an object again, or a reference, is not followed further.
    hr = (value.vt == VT_DISPATCH || (value.vt & ~VT_TYPEMASK)) ? DISP_E_TYPEMISMATCH
                                                                : convert_plain(value, vt, lcid, flags, out);
    const HRESULT cleared = VariantClear(&value);
    if (FAILED(cleared) && SUCCEEDED(hr)) {
        expect_released(VariantClear(&out));
        return cleared;
    }
    return hr;
}

bool is_plain_type(VARTYPE vt)
{
    IntegerType integer;
    switch (vt) {
    case VT_EMPTY:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
    case VT_DECIMAL:
        return true;
    default:
        return integer_type(vt, integer);
    }
}

// Converts the by-value `value` into `out`. A value of the target type is moved, leaving `value` empty.
HRESULT convert(VARIANT& value, VARTYPE vt, LCID lcid, USHORT flags, VARIANT& out)
{
    if (value.vt == vt) {
        std::memcpy(&out, &value, sizeof out);
        VariantInit(&value);
        return S_OK;
    }
    if ((value.vt | vt) & VT_ARRAY)
        return convert_array(value, vt, out);
    switch (vt) {
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return convert_object(value, vt, out);
    case VT_EMPTY:
    case VT_NULL:
        // Any plain value may be dropped; NULL and ERROR may not.
        if (!is_plain_type(value.vt))
            return DISP_E_TYPEMISMATCH;
        out.vt = vt;
        return S_OK;
    default:
        break;
    }
    if (!is_plain_type(vt))
        return DISP_E_TYPEMISMATCH;
    if (value.vt == VT_DISPATCH)
        return convert_value_property(value, vt, lcid, flags, out);
    return convert_plain(value, vt, lcid, flags, out);
}

// ---- Argument checks ------------------------------------------------------------------------------

HRESULT check_types(const VARIANT& src, VARTYPE vt)
{
    if (!is_valid_variant_type(src.vt) || !is_valid_variant_type(vt))
        return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF)
        return DISP_E_TYPEMISMATCH;
    return S_OK;
}

// A reference must point somewhere, also from inside a VT_VARIANT that is itself referenced.
HRESULT check_reference(const VARIANT& src)
{
    if (!(src.vt & VT_BYREF))
        return S_OK;
    if (!src.byref)
        return DISP_E_TYPEMISMATCH;
    if (src.vt != (VT_BYREF | VT_VARIANT))
        return S_OK;
    const VARIANT& inner = *src.pvarVal;
    if (!is_valid_variant_type(inner.vt))
        return DISP_E_BADVARTYPE;
    return inner.vt == (VT_BYREF | VT_VARIANT) ? DISP_E_TYPEMISMATCH : check_reference(inner);
}

} // namespace

HRESULT STDAPICALLTYPE VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                           USHORT wFlags, VARTYPE vt)
{
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    HRESULT hr = check_types(*pvarSrc, vt);
    if (SUCCEEDED(hr))
        hr = check_reference(*pvarSrc);
    if (FAILED(hr))
        return hr;

    VARIANT value;
    VariantInit(&value);
    hr = VariantCopyInd(&value, pvarSrc);
    if (FAILED(hr))
        return hr;
    VARIANT result;
    VariantInit(&result);
    hr = convert(value, vt, lcid, wFlags, result);
    expect_released(VariantClear(&value));
    if (FAILED(hr))
        return hr;

    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        expect_released(VariantClear(&result));
        return hr;
    }
    std::memcpy(pvargDest, &result, sizeof result);
    return S_OK;
}

HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt)
{
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
