#include "conformance/values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <type_traits>

namespace conformance {
namespace {

// How the table writes a type's payload.
enum class Form { none, signed_integer, unsigned_integer, boolean, real, date, currency, decimal, string, object, other };

struct Type {
    const char* name;
    VARTYPE vt;
    Form form;
    std::size_t size; // of the payload in a VARIANT or an array element
};

using enum Form;
constexpr Type types[] = {
    {"EMPTY", VT_EMPTY, none, 0}, {"NULL", VT_NULL, none, 0}, {"I1", VT_I1, signed_integer, 1},
    {"UI1", VT_UI1, unsigned_integer, 1}, {"I2", VT_I2, signed_integer, 2}, {"UI2", VT_UI2, unsigned_integer, 2},
    {"BOOL", VT_BOOL, boolean, 2}, {"I4", VT_I4, signed_integer, 4}, {"UI4", VT_UI4, unsigned_integer, 4},
    {"INT", VT_INT, signed_integer, 4}, {"UINT", VT_UINT, unsigned_integer, 4}, {"ERROR", VT_ERROR, signed_integer, 4},
    {"I8", VT_I8, signed_integer, 8}, {"UI8", VT_UI8, unsigned_integer, 8}, {"R4", VT_R4, real, 4},
    {"R8", VT_R8, real, 8}, {"DATE", VT_DATE, date, 8}, {"CY", VT_CY, currency, 8},
    {"DECIMAL", VT_DECIMAL, decimal, sizeof(DECIMAL)}, {"BSTR", VT_BSTR, string, sizeof(BSTR)},
    {"UNKNOWN", VT_UNKNOWN, object, sizeof(IUnknown*)}, {"DISPATCH", VT_DISPATCH, object, sizeof(IDispatch*)},
    {"VARIANT", VT_VARIANT, other, sizeof(VARIANT)}, {"RECORD", VT_RECORD, other, 0}, {"CLSID", VT_CLSID, other, 0},
    {"VECTOR", VT_VECTOR, other, 0}, {"ARRAY", VT_ARRAY, other, 0}, {"BYREF", VT_BYREF, other, 0},
};

// Types the table has no name for print in hex and compare by an 8-byte payload.
constexpr Type unnamed = {nullptr, 0, other, 8};

const Type& type_of(VARTYPE vt)
{
    const auto* found = std::find_if(std::begin(types), std::end(types), [vt](const Type& t) { return t.vt == vt; });
    return found == std::end(types) ? unnamed : *found;
}

// ---- Numbers as the table writes them ------------------------------------------------------------

// An integer of the type's width; hex digits may also spell a signed type's bit pattern (ERROR 0x80020005).
long long integer_value(const std::string& text, const Type& type)
{
    if (type.form == boolean && (text == "TRUE" || text == "FALSE"))
        return text == "TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
    const bool negative = text[0] == '-';
    const char* digits = text.c_str() + (negative ? 1 : 0);
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(digits, &end, 0);
    const unsigned bits = static_cast<unsigned>(type.size * 8);
    const unsigned long long largest = bits == 64 ? ~0ull : (1ull << bits) - 1;
    const unsigned long long top = 1ull << (bits - 1);
    const bool hex = std::strncmp(digits, "0x", 2) == 0;
    const bool fits = type.form == unsigned_integer ? !negative && value <= largest
                      : negative                          ? value <= top
                                                          : value < top || (hex && value <= largest);
    if (!std::isdigit(static_cast<unsigned char>(*digits)) || *end != '\0' || errno == ERANGE || !fits)
        throw ParseError("'" + text + "' is no " + type.name);
    return negative ? static_cast<long long>(0 - value) : static_cast<long long>(value);
}

template <class Real = double>
Real real_value(const std::string& text)
{
    char* end = nullptr;
    Real value;
    if constexpr (std::is_same_v<Real, float>)
        value = std::strtof(text.c_str(), &end);
    else
        value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0')
        throw ParseError("'" + text + "' is not a number");
    return value;
}

// "45000+13.5s": a day number plus seconds, computed as day + seconds / 86400.
double date_value(const std::string& text)
{
    const auto split = text.find_last_of("+-");
    if (text.size() < 2 || text.back() != 's' || split == std::string::npos || split == 0)
        return real_value(text);
    return real_value(text.substr(0, split)) + real_value(text.substr(split, text.size() - split - 1)) / 86400.0;
}

// Wide enough for a DECIMAL's 96-bit mantissa and its arithmetic (a GCC extension, as both builds use GCC).
using Wide = unsigned __int128;

// Decimal text as a mantissa, a sign and the number of digits after the point.
struct Decimal {
    Wide mantissa = 0;
    bool negative = false;
    int scale = 0;

    void shift(unsigned digit)
    {
        mantissa = mantissa * 10 + digit;
        if (mantissa >> 96 != 0)
            throw ParseError("a number beyond 96 bits");
    }
};

Decimal decimal_value(const std::string& text)
{
    Decimal decimal;
    std::size_t at = text[0] == '-' ? 1 : 0;
    decimal.negative = at == 1;
    const auto point = text.find('.');
    if (at == text.size() || text.find_first_not_of("0123456789.", at) != std::string::npos ||
        text.find('.', point + 1) != std::string::npos)
        throw ParseError("'" + text + "' is not a decimal number");
    for (; at < text.size(); ++at)
        if (text[at] != '.')
            decimal.shift(static_cast<unsigned>(text[at] - '0'));
    decimal.scale = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
    if (decimal.scale > 28)
        throw ParseError("'" + text + "' has more than 28 decimals");
    return decimal;
}

LONGLONG currency_value(const std::string& text)
{
    auto decimal = decimal_value(text);
    if (decimal.scale > 4)
        throw ParseError("'" + text + "' has more than 4 decimals");
    for (; decimal.scale < 4; ++decimal.scale)
        decimal.shift(0);
    const Wide limit = Wide(1) << 63;
    if (decimal.mantissa > limit || (decimal.mantissa == limit && !decimal.negative))
        throw ParseError("'" + text + "' does not fit a currency");
    const auto units = static_cast<unsigned long long>(decimal.mantissa);
    return static_cast<LONGLONG>(decimal.negative ? 0 - units : units);
}

void set_number(VARIANT& v, const Type& type, const std::string& text)
{
    switch (type.form) {
    case signed_integer:
    case unsigned_integer:
    case boolean: {
        const long long value = integer_value(text, type); // the low bytes first, as both builds store it
        std::memcpy(&v.llVal, &value, type.size);
        break;
    }
    case real:
        if (type.vt == VT_R4)
            v.fltVal = real_value<float>(text);
        else
            v.dblVal = real_value(text);
        break;
    case date: v.date = date_value(text); break;
    case currency: v.cyVal.int64 = currency_value(text); break;
    case decimal: {
        const auto decimal = decimal_value(text);
        v.decVal.scale = static_cast<BYTE>(decimal.scale);
        v.decVal.sign = decimal.negative ? DECIMAL_NEG : 0;
        v.decVal.Lo32 = static_cast<ULONG>(decimal.mantissa);
        v.decVal.Mid32 = static_cast<ULONG>(decimal.mantissa >> 32);
        v.decVal.Hi32 = static_cast<ULONG>(decimal.mantissa >> 64);
        break;
    }
    default: throw ParseError("type " + vartype_name(type.vt) + " takes no number");
    }
}

// ---- Printing ---------------------------------------------------------------------------------------

// Without trailing zeros after the point, so that equal values print alike (1.50 and 1.5).
std::string decimal_text(const DECIMAL& decimal)
{
    Wide mantissa = decimal.Lo32 | Wide(decimal.Mid32) << 32 | Wide(decimal.Hi32) << 64;
    std::string digits;
    do
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mantissa % 10)));
    while ((mantissa /= 10) != 0);
    if (decimal.scale > 0) {
        if (digits.size() <= decimal.scale)
            digits.insert(0, decimal.scale - digits.size() + 1, '0');
        digits.insert(digits.size() - decimal.scale, ".");
        digits.erase(digits.find_last_not_of('0') + 1);
        if (digits.back() == '.')
            digits.pop_back();
    }
    return (decimal.sign == DECIMAL_NEG && digits != "0" ? "-" : "") + digits;
}

std::string formatted(const char* format, auto... values)
{
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string number_text(const VARIANT& v, const Type& type)
{
    const bool is_signed = type.form != unsigned_integer;
    switch (type.form) {
    case signed_integer:
    case unsigned_integer:
    case boolean:
        if (type.vt == VT_ERROR)
            return hresult_name(v.scode);
        switch (type.size) {
        case 1: return is_signed ? std::to_string(v.cVal) : std::to_string(v.bVal);
        case 2: return is_signed ? std::to_string(v.iVal) : std::to_string(v.uiVal);
        case 4: return is_signed ? std::to_string(v.lVal) : std::to_string(v.ulVal);
        default: return is_signed ? std::to_string(v.llVal) : std::to_string(v.ullVal);
        }
    case real:
        return type.vt == VT_R4 ? formatted("%.9g", static_cast<double>(v.fltVal)) : formatted("%.17g", v.dblVal);
    case date: return formatted("%.17g", v.date);
    case currency: {
        const unsigned long long units = v.cyVal.int64 < 0 ? 0 - static_cast<unsigned long long>(v.cyVal.int64)
                                                           : static_cast<unsigned long long>(v.cyVal.int64);
        return formatted("%s%llu.%04llu", v.cyVal.int64 < 0 ? "-" : "", units / 10000, units % 10000);
    }
    case decimal: return decimal_text(v.decVal);
    case string: return v.bstrVal ? "\"" + narrow(v.bstrVal, SysStringLen(v.bstrVal)) + "\"" : "null";
    case object: return v.punkVal ? formatted("%p", static_cast<void*>(v.punkVal)) : "null";
    default: return "";
    }
}

// ---- Arrays -----------------------------------------------------------------------------------------

std::string describe_array(const VARIANT& v)
{
    const VARTYPE vt = v.vt & VT_TYPEMASK;
    std::string text = "ARRAY " + vartype_name(vt);
    if (v.parray == nullptr)
        return text + " null";
    VARTYPE held = 0;
    if (FAILED(SafeArrayGetVartype(v.parray, &held)) || held != vt)
        text += " holding " + vartype_name(held);
    LONG lower = 0, upper = -1;
    if (SafeArrayGetDim(v.parray) != 1 || FAILED(SafeArrayGetLBound(v.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(v.parray, 1, &upper)))
        return text + " of " + std::to_string(SafeArrayGetDim(v.parray)) + " dimensions";
    text += " [";
    for (LONG index = lower; index <= upper; ++index) {
        void* element = nullptr;
        if (FAILED(SafeArrayPtrOfIndex(v.parray, &index, &element)))
            return text + " ...unreadable]";
        const VARIANT item = view_of(vt, element);
        text += (index == lower ? "" : ", ") + (vt == VT_VARIANT ? describe(item) : number_text(item, type_of(vt)));
    }
    return text + "]" + (lower != 0 ? "@" + std::to_string(lower) : "");
}

// ---- Reading ----------------------------------------------------------------------------------------

void read_payload(Cursor& cursor, VARTYPE vt, IUnknown* fake, Value& out)
{
    VARIANT& v = *out;
    const Type& type = type_of(vt);
    if (type.form == string) {
        if (!cursor.accept("null"))
            v.bstrVal = allocate(cursor.quoted());
    } else if (type.form == object) {
        if (vt == VT_UNKNOWN && cursor.accept("fake"))
            (v.punkVal = fake)->AddRef();
        else
            cursor.expect("null");
    } else if (type.form != none) {
        auto text = cursor.word();
        out.approx = out.approx || text[0] == '~';
        try {
            set_number(v, type, text.substr(text[0] == '~' ? 1 : 0));
        } catch (const ParseError& error) {
            throw cursor.error(error.what());
        }
    }
    v.vt = vt;
}

void read_array(Cursor& cursor, IUnknown* fake, Value& out)
{
    const VARTYPE vt = parse_vartype(cursor.word());
    (*out).vt = VT_ARRAY | vt;
    if (cursor.accept("null"))
        return;
    std::deque<Value> items;
    cursor.expect("[");
    while (!cursor.accept("]")) {
        if (!items.empty())
            cursor.expect(",");
        read_element(cursor, vt, fake, items.emplace_back());
        out.approx = out.approx || items.back().approx;
    }
    const LONG lower = cursor.next_starts_with('@') ? std::stol(cursor.word().substr(1)) : 0;
    SAFEARRAYBOUND bound{static_cast<ULONG>(items.size()), lower};
    (*out).parray = SafeArrayCreate(vt, 1, &bound);
    if ((*out).parray == nullptr)
        throw std::runtime_error("SafeArrayCreate(" + vartype_name(vt) + ") failed");
    for (LONG index = lower; auto& item : items) {
        const HRESULT hr = SafeArrayPutElement((*out).parray, &index, element_argument(*item, vt));
        if (FAILED(hr))
            throw std::runtime_error("SafeArrayPutElement failed: " + hresult_name(hr));
        ++index;
    }
}

void read_reference(Cursor& cursor, IUnknown* fake, Value& out)
{
    if (cursor.accept("null")) {
        (*out).vt = VT_BYREF | parse_vartype(cursor.word());
        return;
    }
    const bool variant = cursor.accept("VARIANT");
    Value& target = out.target();
    read_value(cursor, fake, target);
    out.approx = target.approx;
    (*out).byref = variant ? target.get() : payload_address(*target);
    (*out).vt = VT_BYREF | (variant ? VARTYPE(VT_VARIANT) : (*target).vt);
}

} // namespace

VARTYPE parse_vartype(const std::string& word)
{
    if (word.rfind("0x", 0) == 0)
        return static_cast<VARTYPE>(std::strtoul(word.c_str(), nullptr, 16));
    VARTYPE vt = 0;
    for (std::size_t at = 0; at <= word.size();) {
        const auto end = std::min(word.find('|', at), word.size());
        const auto part = word.substr(at, end - at);
        const auto* found = std::find_if(std::begin(types), std::end(types), [&](const Type& t) { return part == t.name; });
        if (found == std::end(types))
            throw ParseError("unknown type '" + part + "'");
        vt |= found->vt;
        at = end + 1;
    }
    return vt;
}

std::string vartype_name(VARTYPE vt)
{
    std::string name;
    for (const VARTYPE flag : {VARTYPE(VT_ARRAY), VARTYPE(VT_BYREF), VARTYPE(VT_VECTOR)})
        if (vt & flag)
            name += std::string(type_of(flag).name) + "|";
    const Type& type = type_of(vt & VT_TYPEMASK);
    return name + (type.name ? type.name : formatted("0x%x", static_cast<unsigned>(vt & VT_TYPEMASK)));
}

// Zeroed first: VariantInit sets only the type, and null values rely on a zero payload.
Value::Value() noexcept
{
    std::memset(&value_, 0, sizeof value_);
    VariantInit(&value_);
}

Value::~Value()
{
    const VARTYPE base = value_.vt & VT_TYPEMASK;
    const bool known = base <= VT_DECIMAL || (base >= VT_I1 && base <= VT_UINT);
    // BYREF values own nothing (their target clears itself); invalid types and arrays without a
    // SAFEARRAY hold no payload.
    if ((value_.vt & (VT_BYREF | VT_VECTOR | VT_RESERVED)) || !known || ((value_.vt & VT_ARRAY) && !value_.parray))
        value_.vt = VT_EMPTY;
    EXPECT_EQ(VariantClear(&value_), S_OK) << "clearing " << describe(value_);
}

Value& Value::target()
{
    if (!target_)
        target_ = std::make_unique<Value>();
    return *target_;
}

void read_value(Cursor& cursor, IUnknown* fake, Value& out)
{
    const auto head = cursor.word();
    if (head == "BYREF")
        read_reference(cursor, fake, out);
    else if (head == "ARRAY")
        read_array(cursor, fake, out);
    else if (head == "VT")
        (*out).vt = cursor.number_as<VARTYPE>();
    else
        read_payload(cursor, parse_vartype(head), fake, out);
}

void read_element(Cursor& cursor, VARTYPE vt, IUnknown* fake, Value& out)
{
    if (vt == VT_VARIANT)
        read_value(cursor, fake, out);
    else
        read_payload(cursor, vt, fake, out);
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

VARIANT view_of(VARTYPE vt, const void* p)
{
    if (vt == VT_VARIANT)
        return *static_cast<const VARIANT*>(p);
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    v.vt = vt;
    std::memcpy(payload_address(v), p, type_of(vt).size);
    return v;
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
    const Type& type = type_of(v.vt);
    if (type.name == nullptr || type.form == other)
        return formatted("VT 0x%x", static_cast<unsigned>(v.vt));
    const auto payload = number_text(v, type);
    return vartype_name(v.vt) + (payload.empty() ? "" : " " + payload);
}

namespace {

// By the printed form, which tells every two values the table can write apart.
bool same(const VARIANT& actual, const VARIANT& expected, bool approx)
{
    const Form form = type_of(actual.vt).form;
    if (approx && actual.vt == expected.vt && (form == real || form == date)) {
        const double a = actual.vt == VT_R4 ? actual.fltVal : actual.dblVal;
        const double e = expected.vt == VT_R4 ? expected.fltVal : expected.dblVal;
        return std::fabs(a - e) < 1e-6;
    }
    return describe(actual) == describe(expected);
}

} // namespace

void expect_value(const VARIANT& actual, Cursor& cursor, IUnknown* fake, VARTYPE element)
{
    Value expected;
    read_element(cursor, element, fake, expected);
    EXPECT_TRUE(same(actual, *expected, expected.approx)) << "  expected: " << describe(*expected)
                                                            << "\n    actual: " << describe(actual);
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
        if (code >= 0x20 && code < 0x7f && code != '"' && code != '\\')
            out += static_cast<char>(code);
        else
            out += code == 0 ? std::string("\\0") : formatted("\\u{%lx}", code);
    }
    return out;
}

BSTR allocate(const std::string& text)
{
    const auto wide = widen(text);
    const BSTR string = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (string == nullptr)
        throw std::runtime_error("SysAllocStringLen failed");
    return string;
}

} // namespace conformance
