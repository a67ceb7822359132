#include "conformance/values.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace conformance {
namespace {

// ---- Numbers as the table writes them ------------------------------------------------------------

struct Magnitude {
    bool negative;
    unsigned long long value;
    bool hex;
};

Magnitude read_integer(const std::string& text)
{
    const bool negative = !text.empty() && text[0] == '-';
    const char* digits = text.c_str() + (negative ? 1 : 0);
    char* end = nullptr;
    errno = 0;
    const auto value = std::strtoull(digits, &end, 0);
    if (*digits == '\0' || *digits == '-' || *digits == '+' || *end != '\0' || errno == ERANGE)
        throw ParseError("'" + text + "' is not an integer");
    return {negative, value, std::strncmp(digits, "0x", 2) == 0};
}

// A signed value of `bits` bits; hex digits may also spell the bit pattern (ERROR 0x80020005).
long long signed_value(const std::string& text, int bits)
{
    const auto [negative, value, hex] = read_integer(text);
    const unsigned long long top = 1ull << (bits - 1);
    if (negative && value <= top)
        return value == top ? -static_cast<long long>(top - 1) - 1 : -static_cast<long long>(value);
    if (!negative && value < top)
        return static_cast<long long>(value);
    if (!negative && hex && (bits == 64 || value < (top << 1)))
        return static_cast<long long>(value - (top << 1) * (bits < 64));
    throw ParseError("'" + text + "' does not fit " + std::to_string(bits) + " signed bits");
}

unsigned long long unsigned_value(const std::string& text, int bits)
{
    const auto [negative, value, hex] = read_integer(text);
    if (negative || (bits < 64 && value >> bits != 0))
        throw ParseError("'" + text + "' does not fit " + std::to_string(bits) + " unsigned bits");
    return value;
}

template <class Real>
Real real_value(const std::string& text, Real (*convert)(const char*, char**))
{
    char* end = nullptr;
    const Real value = convert(text.c_str(), &end);
    if (text.empty() || *end != '\0')
        throw ParseError("'" + text + "' is not a number");
    return value;
}

double strtod_adapter(const char* text, char** end) { return std::strtod(text, end); }
float strtof_adapter(const char* text, char** end) { return std::strtof(text, end); }

// "45000+13.5s": a day number plus seconds, computed as day + seconds / 86400.
double date_value(const std::string& text)
{
    if (text.size() > 1 && text.back() == 's') {
        const auto split = text.find_last_of("+-");
        if (split != std::string::npos && split > 0 && std::isdigit(static_cast<unsigned char>(text[split - 1])))
            return real_value(text.substr(0, split), strtod_adapter) +
                   real_value(text.substr(split, text.size() - split - 1), strtod_adapter) / 86400.0;
    }
    return real_value(text, strtod_adapter);
}

// Decimal text into sign, digits and the number of digits after the point.
struct DecimalText {
    bool negative = false;
    std::string digits;
    int scale = 0;
};

DecimalText read_decimal(const std::string& text)
{
    DecimalText decimal;
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        decimal.negative = text[at++] == '-';
    bool point = false;
    for (; at < text.size(); ++at) {
        if (text[at] == '.' && !point) {
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(text[at]))) {
            decimal.digits += text[at];
            decimal.scale += point ? 1 : 0;
        } else {
            break;
        }
    }
    if (decimal.digits.empty() || at != text.size())
        throw ParseError("'" + text + "' is not a decimal number");
    return decimal;
}

LONGLONG currency_value(const std::string& text)
{
    auto decimal = read_decimal(text);
    if (decimal.scale > 4)
        throw ParseError("'" + text + "' has more than 4 decimals");
    decimal.digits.append(4 - decimal.scale, '0');
    unsigned long long units = 0;
    for (const char digit : decimal.digits) {
        if (units > (std::numeric_limits<unsigned long long>::max() - 9) / 10)
            throw ParseError("'" + text + "' does not fit a currency");
        units = units * 10 + static_cast<unsigned>(digit - '0');
    }
    const unsigned long long limit = 1ull << 63;
    if (units > limit || (units == limit && !decimal.negative))
        throw ParseError("'" + text + "' does not fit a currency");
    return decimal.negative ? static_cast<LONGLONG>(0 - units) : static_cast<LONGLONG>(units);
}

// A 96-bit unsigned mantissa, least significant word first.
struct Mantissa {
    ULONG words[3] = {};

    bool multiply_add(ULONG factor, ULONG addend)
    {
        unsigned long long carry = addend;
        for (auto& word : words) {
            const unsigned long long product = static_cast<unsigned long long>(word) * factor + carry;
            word = static_cast<ULONG>(product);
            carry = product >> 32;
        }
        return carry == 0;
    }
    ULONG divide(ULONG divisor)
    {
        unsigned long long remainder = 0;
        for (int i = 2; i >= 0; --i) {
            const unsigned long long part = (remainder << 32) | words[i];
            words[i] = static_cast<ULONG>(part / divisor);
            remainder = part % divisor;
        }
        return static_cast<ULONG>(remainder);
    }
    bool zero() const { return words[0] == 0 && words[1] == 0 && words[2] == 0; }
};

DECIMAL decimal_value(const std::string& text)
{
    const auto parsed = read_decimal(text);
    Mantissa mantissa;
    for (const char digit : parsed.digits)
        if (!mantissa.multiply_add(10, static_cast<ULONG>(digit - '0')))
            throw ParseError("'" + text + "' does not fit 96 bits");
    if (parsed.scale > 28)
        throw ParseError("'" + text + "' has more than 28 decimals");
    DECIMAL decimal{};
    decimal.scale = static_cast<BYTE>(parsed.scale);
    decimal.sign = parsed.negative ? DECIMAL_NEG : 0;
    decimal.Lo32 = mantissa.words[0];
    decimal.Mid32 = mantissa.words[1];
    decimal.Hi32 = mantissa.words[2];
    return decimal;
}

// The mantissa and scale of a DECIMAL with trailing zeros removed, so that 1.50 equals 1.5.
struct NormalDecimal {
    Mantissa mantissa;
    int scale;
    bool negative;
};

NormalDecimal normalized(const DECIMAL& decimal)
{
    NormalDecimal normal{{{decimal.Lo32, decimal.Mid32, decimal.Hi32}}, decimal.scale, decimal.sign == DECIMAL_NEG};
    while (normal.scale > 0) {
        Mantissa shorter = normal.mantissa;
        if (shorter.divide(10) != 0)
            break;
        normal.mantissa = shorter;
        --normal.scale;
    }
    if (normal.mantissa.zero())
        normal = {{}, 0, false};
    return normal;
}

std::string decimal_text(const DECIMAL& decimal)
{
    Mantissa mantissa{{decimal.Lo32, decimal.Mid32, decimal.Hi32}};
    std::string digits;
    do
        digits.insert(digits.begin(), static_cast<char>('0' + mantissa.divide(10)));
    while (!mantissa.zero());
    if (decimal.scale > 0) {
        if (digits.size() <= decimal.scale)
            digits.insert(0, decimal.scale - digits.size() + 1, '0');
        digits.insert(digits.size() - decimal.scale, ".");
    }
    return (decimal.sign == DECIMAL_NEG ? "-" : "") + digits;
}

std::string currency_text(LONGLONG units)
{
    const bool negative = units < 0;
    const unsigned long long magnitude = negative ? 0 - static_cast<unsigned long long>(units) : units;
    char text[40];
    std::snprintf(text, sizeof text, "%s%llu.%04llu", negative ? "-" : "", magnitude / 10000, magnitude % 10000);
    return text;
}

std::string real_text(double value, int digits)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

// ---- Element access ---------------------------------------------------------------------------------

std::size_t payload_size(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL: return 0;
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_DECIMAL: return sizeof(DECIMAL);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(void*);
    default: return 8;
    }
}

// A non-owning VARIANT that shows the value stored at `p` as type `vt`.
VARIANT view_of(VARTYPE vt, const void* p)
{
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    if (vt == VT_VARIANT)
        return *static_cast<const VARIANT*>(p);
    std::memcpy(payload_address(v), p, payload_size(vt));
    v.vt = vt;
    return v;
}

template <class Visit>
bool each_element(SAFEARRAY* array, Visit visit)
{
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return false;
    for (LONG index = lower; index <= upper; ++index) {
        void* element = nullptr;
        if (FAILED(SafeArrayPtrOfIndex(array, &index, &element)) || !visit(index, element))
            return false;
    }
    return true;
}

bool same_shape(SAFEARRAY* actual, SAFEARRAY* expected)
{
    if (SafeArrayGetDim(actual) != SafeArrayGetDim(expected))
        return false;
    VARTYPE a = 0, e = 0;
    if (FAILED(SafeArrayGetVartype(actual, &a)) || FAILED(SafeArrayGetVartype(expected, &e)) || a != e)
        return false;
    for (UINT dim = 1; dim <= SafeArrayGetDim(actual); ++dim) {
        LONG al = 0, au = 0, el = 0, eu = 0;
        if (FAILED(SafeArrayGetLBound(actual, dim, &al)) || FAILED(SafeArrayGetUBound(actual, dim, &au)) ||
            FAILED(SafeArrayGetLBound(expected, dim, &el)) || FAILED(SafeArrayGetUBound(expected, dim, &eu)) ||
            al != el || au != eu)
            return false;
    }
    return true;
}

bool same_arrays(SAFEARRAY* actual, SAFEARRAY* expected, VARTYPE vt, bool approx)
{
    if (actual == nullptr || expected == nullptr)
        return actual == expected;
    if (!same_shape(actual, expected))
        return false;
    return each_element(actual, [&](LONG index, void* element) {
        void* other = nullptr;
        return SUCCEEDED(SafeArrayPtrOfIndex(expected, &index, &other)) &&
               same(view_of(vt, element), view_of(vt, other), approx);
    });
}

bool same_reals(double actual, double expected, bool approx)
{
    return approx ? std::fabs(actual - expected) < 1e-6 : actual == expected;
}

bool same_strings(BSTR actual, BSTR expected)
{
    if (actual == nullptr || expected == nullptr)
        return actual == expected;
    const UINT length = SysStringLen(actual);
    return length == SysStringLen(expected) && std::memcmp(actual, expected, length * sizeof(OLECHAR)) == 0;
}

bool same_decimals(const DECIMAL& actual, const DECIMAL& expected)
{
    const auto a = normalized(actual), e = normalized(expected);
    return a.scale == e.scale && a.negative == e.negative &&
           std::memcmp(a.mantissa.words, e.mantissa.words, sizeof a.mantissa.words) == 0;
}

std::string describe_array(const VARIANT& v)
{
    const VARTYPE vt = v.vt & VT_TYPEMASK;
    std::string text = "ARRAY " + vartype_name(vt);
    if (v.parray == nullptr)
        return text + " null";
    if (SafeArrayGetDim(v.parray) != 1)
        return text + " of " + std::to_string(SafeArrayGetDim(v.parray)) + " dimensions";
    text += " [";
    const bool listed = each_element(v.parray, [&](LONG, void* element) {
        if (text.back() != '[')
            text += ", ";
        const auto element_text = describe(view_of(vt, element));
        text += vt == VT_VARIANT ? element_text : element_text.substr(element_text.find(' ') + 1);
        return true;
    });
    LONG lower = 0;
    const bool bounded = SUCCEEDED(SafeArrayGetLBound(v.parray, 1, &lower));
    return text + (listed ? "]" : " ...unreadable]") + (bounded && lower != 0 ? "@" + std::to_string(lower) : "");
}

std::string describe_scalar(const VARIANT& v)
{
    const std::string name = vartype_name(v.vt) + " ";
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: return vartype_name(v.vt);
    case VT_I1: return name + std::to_string(v.cVal);
    case VT_UI1: return name + std::to_string(v.bVal);
    case VT_I2: return name + std::to_string(v.iVal);
    case VT_UI2: return name + std::to_string(v.uiVal);
    case VT_BOOL: return name + std::to_string(v.boolVal);
    case VT_I4: return name + std::to_string(v.lVal);
    case VT_INT: return name + std::to_string(v.intVal);
    case VT_UI4: return name + std::to_string(v.ulVal);
    case VT_UINT: return name + std::to_string(v.uintVal);
    case VT_ERROR: return name + hresult_name(v.scode);
    case VT_I8: return name + std::to_string(v.llVal);
    case VT_UI8: return name + std::to_string(v.ullVal);
    case VT_R4: return name + real_text(v.fltVal, 9);
    case VT_R8: return name + real_text(v.dblVal, 17);
    case VT_DATE: return name + real_text(v.date, 17);
    case VT_CY: return name + currency_text(v.cyVal.int64);
    case VT_DECIMAL: return name + decimal_text(v.decVal);
    case VT_BSTR:
        return name + (v.bstrVal ? "\"" + narrow(v.bstrVal, SysStringLen(v.bstrVal)) + "\"" : std::string("null"));
    case VT_UNKNOWN:
    case VT_DISPATCH: return name + (v.punkVal ? "object" : "null");
    default: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "VT 0x%x", static_cast<unsigned>(v.vt));
        return hex;
    }
    }
}

} // namespace

// ---- Building -------------------------------------------------------------------------------------

void set_payload(VARIANT& v, VARTYPE vt, const std::string& text)
{
    std::memset(&v, 0, sizeof v);
    switch (vt) {
    case VT_I1: v.cVal = static_cast<CHAR>(signed_value(text, 8)); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(unsigned_value(text, 8)); break;
    case VT_I2: v.iVal = static_cast<SHORT>(signed_value(text, 16)); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(unsigned_value(text, 16)); break;
    case VT_BOOL:
        v.boolVal = text == "TRUE" ? VARIANT_TRUE : text == "FALSE" ? VARIANT_FALSE
                                                                    : static_cast<VARIANT_BOOL>(signed_value(text, 16));
        break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR: v.lVal = static_cast<LONG>(signed_value(text, 32)); break;
    case VT_UI4:
    case VT_UINT: v.ulVal = static_cast<ULONG>(unsigned_value(text, 32)); break;
    case VT_I8: v.llVal = signed_value(text, 64); break;
    case VT_UI8: v.ullVal = unsigned_value(text, 64); break;
    case VT_R4: v.fltVal = real_value(text, strtof_adapter); break;
    case VT_R8: v.dblVal = real_value(text, strtod_adapter); break;
    case VT_DATE: v.date = date_value(text); break;
    case VT_CY: v.cyVal.int64 = currency_value(text); break;
    case VT_DECIMAL: v.decVal = decimal_value(text); break;
    case VT_EMPTY:
    case VT_NULL: break;
    default: throw ParseError("type " + vartype_name(vt) + " takes no number");
    }
    v.vt = vt;
}

void* payload_address(VARIANT& v) noexcept
{
    return v.vt == VT_DECIMAL ? static_cast<void*>(&v.decVal) : static_cast<void*>(&v.llVal);
}

void* element_argument(VARIANT& element, VARTYPE vt) noexcept
{
    switch (vt) {
    case VT_VARIANT: return &element;
    case VT_BSTR: return element.bstrVal;
    case VT_UNKNOWN:
    case VT_DISPATCH: return element.punkVal;
    default: return payload_address(element);
    }
}

// Zeroed first: VariantInit sets only the type, and null literals rely on a zero payload.
OwnedVariant::OwnedVariant() noexcept
{
    std::memset(&value_, 0, sizeof value_);
    VariantInit(&value_);
}

OwnedVariant::~OwnedVariant()
{
    const VARTYPE base = value_.vt & VT_TYPEMASK;
    const bool known = base <= VT_DECIMAL || (base >= VT_I1 && base <= VT_UINT);
    // BYREF values own nothing (their target is cleared below); invalid types hold no payload.
    if ((value_.vt & (VT_BYREF | VT_VECTOR | VT_RESERVED)) || !known)
        value_.vt = VT_EMPTY;
    EXPECT_EQ(VariantClear(&value_), S_OK) << "clearing " << describe(value_);
    if (target_) {
        EXPECT_EQ(VariantClear(target_.get()), S_OK);
    }
}

VARIANT& OwnedVariant::target()
{
    if (!target_) {
        target_ = std::make_unique<VARIANT>(); // zeroed
        VariantInit(target_.get());
    }
    return *target_;
}

namespace {

void build_string(const std::string& text, VARIANT& v)
{
    const auto wide = widen(text);
    v.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (v.bstrVal == nullptr)
        throw std::runtime_error("SysAllocStringLen failed");
    v.vt = VT_BSTR;
}

SAFEARRAY* build_array(const Literal& literal, Context& context)
{
    SAFEARRAYBOUND bound{static_cast<ULONG>(literal.items.size()), literal.lbound};
    SAFEARRAY* array = SafeArrayCreate(literal.vt, 1, &bound);
    if (array == nullptr)
        throw std::runtime_error("SafeArrayCreate(" + vartype_name(literal.vt) + ") failed");
    for (std::size_t i = 0; i < literal.items.size(); ++i) {
        OwnedVariant element;
        build(literal.items[i], context, element);
        LONG index = literal.lbound + static_cast<LONG>(i);
        const HRESULT hr = SafeArrayPutElement(array, &index, element_argument(*element.get(), literal.vt));
        if (FAILED(hr)) {
            EXPECT_EQ(SafeArrayDestroy(array), S_OK);
            throw std::runtime_error("SafeArrayPutElement failed: " + hresult_name(hr));
        }
    }
    return array;
}

// A temporary that hands its value to `target` (a VARIANT that is not owned by an OwnedVariant).
void build_into(const Literal& literal, Context& context, VARIANT& target)
{
    OwnedVariant built;
    build(literal, context, built);
    target = *built.get();
    built.get()->vt = VT_EMPTY;
}

} // namespace

void build(const Literal& literal, Context& context, OwnedVariant& out)
{
    VARIANT& v = *out.get();
    switch (literal.shape) {
    case Literal::Shape::scalar:
        if (literal.vt == VT_BSTR)
            build_string(literal.text, v);
        else
            set_payload(v, literal.vt, literal.text);
        break;
    case Literal::Shape::null: v.vt = literal.vt; break;
    case Literal::Shape::raw: v.vt = literal.vt; break;
    case Literal::Shape::fake:
        if (context.fake == nullptr)
            throw std::runtime_error("this row has no fake object");
        context.fake->AddRef();
        v.punkVal = context.fake;
        v.vt = VT_UNKNOWN;
        break;
    case Literal::Shape::byref: {
        VARIANT& target = out.target();
        build_into(literal.items.front(), context, target);
        v.byref = literal.vt == VT_VARIANT ? static_cast<void*>(&target) : payload_address(target);
        v.vt = VT_BYREF | literal.vt;
        break;
    }
    case Literal::Shape::byref_null: v.vt = VT_BYREF | literal.vt; break;
    case Literal::Shape::array_null: v.vt = VT_ARRAY | literal.vt; break;
    case Literal::Shape::array:
        v.parray = build_array(literal, context);
        v.vt = VT_ARRAY | literal.vt;
        break;
    }
}

// ---- Comparing and printing -------------------------------------------------------------------------

bool same(const VARIANT& actual, const VARIANT& expected, bool approx)
{
    if (actual.vt != expected.vt)
        return false;
    const VARTYPE base = actual.vt & VT_TYPEMASK;
    if (actual.vt & VT_BYREF) {
        if (actual.byref == nullptr || expected.byref == nullptr)
            return actual.byref == expected.byref;
        return same(view_of(base, actual.byref), view_of(base, expected.byref), approx);
    }
    if (actual.vt & VT_ARRAY)
        return same_arrays(actual.parray, expected.parray, base, approx);
    switch (base) {
    case VT_R4: return same_reals(actual.fltVal, expected.fltVal, approx);
    case VT_R8:
    case VT_DATE: return same_reals(actual.dblVal, expected.dblVal, approx);
    case VT_BSTR: return same_strings(actual.bstrVal, expected.bstrVal);
    case VT_DECIMAL: return same_decimals(actual.decVal, expected.decVal);
    default: return std::memcmp(&actual.llVal, &expected.llVal, payload_size(base)) == 0;
    }
}

std::string describe(const VARIANT& v)
{
    const VARTYPE base = v.vt & VT_TYPEMASK;
    if (v.vt & VT_BYREF) {
        if (v.byref == nullptr)
            return "BYREF null " + vartype_name(base);
        return std::string("BYREF ") + (base == VT_VARIANT ? "VARIANT " : "") + describe(view_of(base, v.byref));
    }
    if (v.vt & VT_ARRAY)
        return describe_array(v);
    return describe_scalar(v);
}

std::basic_string<OLECHAR> widen(const std::string& text)
{
    std::basic_string<OLECHAR> wide;
    for (const char c : text)
        wide += static_cast<OLECHAR>(static_cast<unsigned char>(c));
    return wide;
}

std::string narrow(const OLECHAR* text, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        const auto code = static_cast<unsigned long>(text[i]);
        if (code >= 0x20 && code < 0x7f && code != '"' && code != '\\') {
            out += static_cast<char>(code);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, code == 0 ? "\\0" : "\\u{%lx}", code);
            out += escape;
        }
    }
    return out;
}

} // namespace conformance
