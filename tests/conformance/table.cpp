#include "conformance/table.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <ranges>
#include <span>
#include <utility>

namespace conformance {
namespace {

using Named = std::pair<std::string_view, HRESULT>;
#define NAMED(hr) Named(#hr, hr)
constexpr Named hresult_names[] = {
    NAMED(S_OK), NAMED(S_FALSE), NAMED(E_INVALIDARG), NAMED(E_POINTER), NAMED(E_UNEXPECTED), NAMED(E_NOINTERFACE),
    NAMED(E_OUTOFMEMORY), NAMED(DISP_E_TYPEMISMATCH), NAMED(DISP_E_BADVARTYPE), NAMED(DISP_E_OVERFLOW),
    NAMED(DISP_E_BADINDEX), NAMED(DISP_E_ARRAYISLOCKED), NAMED(CO_E_IIDSTRING),
};
#undef NAMED

bool alphanumeric(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// A test name from the row's words after its kind, without the expected outcomes (from "=>" to the next
// ';'): letters and digits kept, "->" spelt "to", a leading minus "neg", '.' after a digit 'p', a string
// without letters or digits "empty" or "symbols", and everything else one '_'.
std::string name_of(std::string_view text)
{
    std::string words;
    bool outcome = false;
    try {
        Cursor cursor(text);
        for (cursor.word(); !cursor.done();) {
            const bool quoted = cursor.next_quoted();
            const auto token = quoted ? cursor.quoted() : cursor.word();
            if (token == "=>" || token == ";")
                outcome = token == "=>";
            if (outcome || token == ";")
                continue;
            if (quoted && std::ranges::none_of(token, alphanumeric))
                words += token.empty() ? " empty" : " symbols";
            else
                words += " " + (token == "->" ? "to" : token);
        }
    } catch (const ParseError&) {
        // named by its words up to the fault, which its test reports
    }
    std::string name;
    for (std::size_t at = 1; at < words.size(); ++at) {
        if (alphanumeric(words[at]))
            name += words[at];
        else if (words[at] == '-' && words[at - 1] == ' ')
            name += "neg";
        else if (words[at] == '.' && std::isdigit(static_cast<unsigned char>(words[at - 1])))
            name += 'p';
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    name.erase(name.find_last_not_of('_') + 1);
    return name.empty() ? "row" : name.substr(0, 120);
}

// Wide enough for a DECIMAL's 96-bit mantissa and its arithmetic (a GCC extension, as both builds use GCC).
using Wide = unsigned __int128;

// A payload's text into the VARIANT (false when the text is no such payload), and back.
using Reader = bool (*)(VARIANT&, std::string_view);
using Printer = std::string (*)(const VARIANT&);

// Every payload but a DECIMAL's starts where llVal does; the low bytes first, as both builds store it.
template <class T>
bool read_number(VARIANT& v, std::string_view text)
{
    const auto value = number_from<T>(text);
    if (value)
        std::memcpy(&v.llVal, &*value, sizeof(T));
    return value.has_value();
}

template <class T>
std::string print_number(const VARIANT& v)
{
    T value;
    std::memcpy(&value, &v.llVal, sizeof value);
    return fmt::format("{}", +value); // a CHAR as a number
}

bool read_bool(VARIANT& v, std::string_view text)
{
    return read_number<VARIANT_BOOL>(v, text == "TRUE" ? "-1" : text == "FALSE" ? "0" : text);
}

// "45000+13.5s": a day number plus seconds, computed as day + seconds / 86400.
bool read_date(VARIANT& v, std::string_view text)
{
    const auto split = text.find_last_of("+-");
    if (!text.ends_with('s') || split == std::string_view::npos || split == 0)
        return read_number<DATE>(v, text);
    const auto day = number_from<double>(text.substr(0, split));
    const auto seconds = number_from<double>(text.substr(split + 1, text.size() - split - 2));
    if (day && seconds)
        v.date = *day + (text[split] == '-' ? -*seconds : *seconds) / 86400.0;
    return day && seconds;
}

// Decimal text as a mantissa, a sign and the number of digits after the point.
struct Decimal {
    Wide mantissa = 0;
    bool negative = false;
    std::size_t scale = 0;
};

std::optional<Decimal> decimal_from(std::string_view text, std::size_t most_decimals)
{
    Decimal decimal{0, text.starts_with('-'), 0};
    text.remove_prefix(decimal.negative);
    const auto point = text.find('.');
    if (text.empty() || text.find_first_not_of("0123456789.") != text.npos || text.find('.', point + 1) != text.npos)
        return std::nullopt;
    decimal.scale = point == text.npos ? 0 : text.size() - point - 1;
    for (const char c : text)
        if (c != '.' && (decimal.mantissa = decimal.mantissa * 10 + (c - '0')) >> 96 != 0)
            return std::nullopt;
    return decimal.scale <= most_decimals ? std::optional(decimal) : std::nullopt;
}

bool read_decimal(VARIANT& v, std::string_view text)
{
    const auto decimal = decimal_from(text, 28);
    if (decimal) {
        v.decVal.scale = static_cast<BYTE>(decimal->scale);
        v.decVal.sign = decimal->negative ? DECIMAL_NEG : 0;
        v.decVal.Lo32 = static_cast<ULONG>(decimal->mantissa);
        v.decVal.Mid32 = static_cast<ULONG>(decimal->mantissa >> 32);
        v.decVal.Hi32 = static_cast<ULONG>(decimal->mantissa >> 64);
    }
    return decimal.has_value();
}

// A currency is a count of ten-thousandths in 64 bits.
bool read_currency(VARIANT& v, std::string_view text)
{
    auto decimal = decimal_from(text, 4);
    for (; decimal && decimal->scale < 4; ++decimal->scale)
        decimal->mantissa *= 10;
    if (!decimal || decimal->mantissa > (Wide(1) << 63) - !decimal->negative)
        return false;
    const auto units = static_cast<ULONGLONG>(decimal->mantissa);
    v.cyVal.int64 = static_cast<LONGLONG>(decimal->negative ? 0 - units : units);
    return true;
}

// Without trailing zeros after the point, so that equal values print alike (1.50 and 1.5).
std::string decimal_text(Wide mantissa, std::size_t scale, bool negative)
{
    auto digits = fmt::format("{:0{}}", mantissa, scale + 1);
    digits.insert(digits.size() - scale, ".");
    digits.erase(digits.find_last_not_of('0') + 1);
    if (digits.back() == '.')
        digits.pop_back();
    return (negative && digits != "0" ? "-" : "") + digits;
}

std::string print_currency(const VARIANT& v)
{
    const auto units = static_cast<ULONGLONG>(v.cyVal.int64);
    return decimal_text(v.cyVal.int64 < 0 ? 0 - units : units, 4, v.cyVal.int64 < 0);
}

std::string print_decimal(const VARIANT& v)
{
    const DECIMAL& d = v.decVal;
    return decimal_text(d.Lo32 | Wide(d.Mid32) << 32 | Wide(d.Hi32) << 64, d.scale, d.sign == DECIMAL_NEG);
}

std::string print_nothing(const VARIANT&) { return ""; }
std::string print_error(const VARIANT& v) { return hresult_name(v.scode); }
std::string print_string(const VARIANT& v) { return v.bstrVal ? fmt::format("\"{}\"", text_of(v.bstrVal)) : "null"; }
std::string print_object(const VARIANT& v) { return v.punkVal ? fmt::format("{}", fmt::ptr(v.punkVal)) : "null"; }

struct Type {
    const char* name;
    VARTYPE vt;
    std::size_t size = 0; // of the payload in a VARIANT or an array element
    Reader read = nullptr; // for types written with a number
    Printer print = nullptr; // for types a VARIANT may hold on its own
};

template <class T, Reader read = read_number<T>>
constexpr Type numeric(const char* name, VARTYPE vt)
{
    return {name, vt, sizeof(T), read, print_number<T>};
}

constexpr Type types[] = {
    {"EMPTY", VT_EMPTY, 0, nullptr, print_nothing}, {"NULL", VT_NULL, 0, nullptr, print_nothing},
    numeric<CHAR>("I1", VT_I1), numeric<BYTE>("UI1", VT_UI1), numeric<SHORT>("I2", VT_I2),
    numeric<USHORT>("UI2", VT_UI2), numeric<VARIANT_BOOL, read_bool>("BOOL", VT_BOOL), numeric<LONG>("I4", VT_I4),
    numeric<ULONG>("UI4", VT_UI4), numeric<INT>("INT", VT_INT), numeric<UINT>("UINT", VT_UINT),
    {"ERROR", VT_ERROR, sizeof(SCODE), read_number<SCODE>, print_error}, numeric<LONGLONG>("I8", VT_I8),
    numeric<ULONGLONG>("UI8", VT_UI8), numeric<FLOAT>("R4", VT_R4), numeric<DOUBLE>("R8", VT_R8),
    numeric<DATE, read_date>("DATE", VT_DATE),
    {"CY", VT_CY, sizeof(CY), read_currency, print_currency},
    {"DECIMAL", VT_DECIMAL, sizeof(DECIMAL), read_decimal, print_decimal},
    {"BSTR", VT_BSTR, sizeof(BSTR), nullptr, print_string},
    {"UNKNOWN", VT_UNKNOWN, sizeof(IUnknown*), nullptr, print_object},
    {"DISPATCH", VT_DISPATCH, sizeof(IDispatch*), nullptr, print_object}, {"VARIANT", VT_VARIANT, sizeof(VARIANT)},
    {"RECORD", VT_RECORD}, {"CLSID", VT_CLSID}, {"VECTOR", VT_VECTOR}, {"ARRAY", VT_ARRAY}, {"BYREF", VT_BYREF},
};

// Types the table has no name for print in hex.
constexpr Type unnamed = {nullptr, 0};

const Type& type_of(VARTYPE vt)
{
    const auto* found = std::ranges::find(types, vt, &Type::vt);
    return found == std::end(types) ? unnamed : *found;
}

std::string describe_array(const VARIANT& v)
{
    const VARTYPE vt = v.vt & VT_TYPEMASK;
    auto text = "ARRAY " + vartype_name(vt);
    if (v.parray == nullptr)
        return text + " null";
    VARTYPE held = 0;
    if (FAILED(SafeArrayGetVartype(v.parray, &held)) || held != vt)
        text += " holding " + vartype_name(held);
    LONG lower = 0, upper = -1;
    if (SafeArrayGetDim(v.parray) != 1 || FAILED(SafeArrayGetLBound(v.parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(v.parray, 1, &upper)))
        return fmt::format("{} of {} dimensions", text, SafeArrayGetDim(v.parray));
    text += " [";
    for (LONG index = lower; index <= upper; ++index) {
        void* element = nullptr;
        if (FAILED(SafeArrayPtrOfIndex(v.parray, &index, &element)))
            return text + " ...unreadable]";
        // The payload only, but a whole value in an array of VARIANTs.
        const VARIANT item = view_of(vt, element);
        const Printer print = type_of(vt).print;
        text += (index == lower ? "" : ", ") + (vt == VT_VARIANT ? describe(item) : print ? print(item) : "?");
    }
    return text + "]" + (lower != 0 ? fmt::format("@{}", lower) : "");
}

void read_payload(Cursor& cursor, VARTYPE vt, IUnknown* fake, Value& out)
{
    VARIANT& v = out;
    const Type& type = type_of(vt);
    if (vt == VT_BSTR) {
        v.bstrVal = cursor.accept("null") ? nullptr : allocate(cursor.quoted());
    } else if (vt == VT_UNKNOWN && cursor.accept("fake")) {
        (v.punkVal = fake)->AddRef();
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        cursor.expect("null");
    } else if (type.read != nullptr) {
        const auto word = cursor.word();
        out.approx = word.starts_with('~');
        if (!type.read(v, std::string_view(word).substr(word.starts_with('~'))))
            throw ParseError(fmt::format("'{}' is no {}", word, type.name));
    } else if (type.print == nullptr) {
        throw ParseError(vartype_name(vt) + " takes no value here");
    }
    v.vt = vt;
}

void read_array(Cursor& cursor, IUnknown* fake, Value& out)
{
    const VARTYPE vt = parse_vartype(cursor.word());
    out.vt = VT_ARRAY | vt;
    if (cursor.accept("null"))
        return;
    std::deque<Value> items;
    cursor.expect("[");
    while (!cursor.accept("]")) {
        if (!items.empty())
            cursor.expect(",");
        read_value(cursor, fake, items.emplace_back(), vt);
    }
    const auto lower = cursor.peek().starts_with('@') ? number_from<LONG>(cursor.word().substr(1)) : LONG(0);
    SAFEARRAYBOUND bound{static_cast<ULONG>(items.size()), lower ? *lower : throw ParseError("a lower bound expected")};
    out.parray = SafeArrayCreate(vt, 1, &bound);
    if (out.parray == nullptr)
        throw std::runtime_error("SafeArrayCreate(" + vartype_name(vt) + ") failed");
    for (LONG index = bound.lLbound; auto& item : items) {
        const HRESULT hr = SafeArrayPutElement(out.parray, &index, element_argument(item, vt));
        if (FAILED(hr))
            throw std::runtime_error("SafeArrayPutElement failed: " + hresult_name(hr));
        ++index;
    }
}

void read_reference(Cursor& cursor, IUnknown* fake, Value& out)
{
    if (cursor.accept("null")) {
        out.vt = VT_BYREF | parse_vartype(cursor.word());
        return;
    }
    const bool variant = cursor.accept("VARIANT");
    out.target = std::make_unique<Value>();
    read_value(cursor, fake, *out.target);
    out.byref = variant ? out.target.get() : payload_address(*out.target);
    out.vt = VT_BYREF | (variant ? VARTYPE(VT_VARIANT) : out.target->vt);
}

} // namespace

std::vector<Row> read_table(std::string_view table)
{
    std::vector<Row> rows;
    std::map<std::string, int> names_used;
    std::string suite = "Conformance";
    int number = 0;
    for (const auto part : table | std::views::split('\n')) {
        const std::string_view line(part.begin(), part.end());
        Cursor words(line);
        ++number;
        if (words.done() || words.peek().starts_with('#'))
            continue;
        if (words.accept("==")) {
            suite = words.word();
            continue;
        }
        Row row{number, suite, name_of(line), std::string(line)};
        if (const int seen = ++names_used[suite + "." + row.name]; seen > 1)
            row.name += fmt::format("_{}", seen);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string Cursor::quoted()
{
    if (!next_quoted())
        throw error("a quoted string expected");
    std::string out;
    for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
        const bool escape = text_[at_] == '\\' && at_ + 1 < text_.size();
        const char c = text_[at_ += escape];
        const bool digit = escape && std::isdigit(static_cast<unsigned char>(c));
        if (escape && !digit && c != '\\' && c != '"')
            throw error(fmt::format("unknown escape \\{}", c));
        out += digit ? static_cast<char>(c - '0') : c;
    }
    if (done())
        throw error("unterminated string");
    ++at_;
    skip_space();
    return out;
}

std::optional<HRESULT> hresult_named(std::string_view word)
{
    const auto* found = std::ranges::find(hresult_names, word, &Named::first);
    return found == std::end(hresult_names) ? std::nullopt : std::optional(found->second);
}

std::string hresult_name(HRESULT hr)
{
    const auto* found = std::ranges::find(hresult_names, hr, &Named::second);
    if (found == std::end(hresult_names))
        return fmt::format("0x{:08X}", static_cast<unsigned>(hr));
    return std::string(found->first);
}

GUID parse_guid(Cursor& cursor)
{
    const auto text = cursor.word();
    unsigned parts[11] = {};
    int consumed = 0;
    const int fields = std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &parts[0], &parts[1],
                                   &parts[2], &parts[3], &parts[4], &parts[5], &parts[6], &parts[7], &parts[8],
                                   &parts[9], &parts[10], &consumed);
    if (fields != 11 || text.size() != 38 || consumed != 38)
        throw ParseError("a GUID {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} expected, not '" + text + "'");
    GUID guid{parts[0], static_cast<unsigned short>(parts[1]), static_cast<unsigned short>(parts[2]), {}};
    std::ranges::copy(std::span(parts).subspan(3), guid.Data4);
    return guid;
}

VARTYPE parse_vartype(const std::string& word)
{
    VARTYPE vt = 0;
    for (const auto part : word | std::views::split('|')) {
        const std::string_view name(part.begin(), part.end());
        const auto* found = std::ranges::find(types, name, [](const Type& t) { return std::string_view(t.name); });
        const auto number = name.starts_with("0x") ? number_from<VARTYPE>(name) : std::nullopt;
        if (found == std::end(types) && !number)
            throw ParseError(fmt::format("unknown type '{}'", name));
        vt |= found != std::end(types) ? found->vt : *number;
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
    return name + (type.name ? type.name : fmt::format("{:#x}", vt & VT_TYPEMASK));
}

// Zeroed first: VariantInit sets only the type, and null values rely on a zero payload.
Value::Value() noexcept
{
    std::memset(static_cast<VARIANT*>(this), 0, sizeof(VARIANT));
    VariantInit(this);
}

Value::~Value()
{
    const VARTYPE base = vt & VT_TYPEMASK;
    const bool known = base <= VT_DECIMAL || (base >= VT_I1 && base <= VT_UINT);
    // BYREF values own nothing (their target clears itself); invalid types and arrays without a
    // SAFEARRAY hold no payload.
    if ((vt & (VT_BYREF | VT_VECTOR | VT_RESERVED)) || !known || ((vt & VT_ARRAY) && !parray))
        vt = VT_EMPTY;
    EXPECT_EQ(VariantClear(this), S_OK) << "clearing " << describe(*this);
}

void read_value(Cursor& cursor, IUnknown* fake, Value& out, VARTYPE vt)
{
    if (vt != VT_VARIANT)
        return read_payload(cursor, vt, fake, out);
    const auto head = cursor.word();
    if (head == "BYREF")
        read_reference(cursor, fake, out);
    else if (head == "ARRAY")
        read_array(cursor, fake, out);
    else if (head == "VT")
        out.vt = cursor.number<VARTYPE>();
    else
        read_payload(cursor, parse_vartype(head), fake, out);
}

void* payload_address(VARIANT& v) noexcept { return v.vt == VT_DECIMAL ? static_cast<void*>(&v.decVal) : &v.llVal; }

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
    if ((v.vt & VT_BYREF) && v.byref == nullptr)
        return "BYREF null " + vartype_name(base);
    if (v.vt & VT_BYREF)
        return std::string("BYREF ") + (base == VT_VARIANT ? "VARIANT " : "") + describe(view_of(base, v.byref));
    if (v.vt & VT_ARRAY)
        return describe_array(v);
    const Type& type = type_of(v.vt);
    if (type.print == nullptr)
        return fmt::format("VT {:#x}", v.vt);
    const auto payload = type.print(v);
    return vartype_name(v.vt) + (payload.empty() ? "" : " " + payload);
}

void expect_value(const VARIANT& actual, Cursor& cursor, IUnknown* fake, VARTYPE element)
{
    Value expected;
    read_value(cursor, fake, expected, element);
    const VARIANT& e = expected;
    // By the printed form, which tells every two values the table can write apart; '~' reals by distance.
    const bool approx = expected.approx && actual.vt == e.vt && (e.vt == VT_R4 || e.vt == VT_R8 || e.vt == VT_DATE);
    const auto number = [](const VARIANT& v) { return v.vt == VT_R4 ? v.fltVal : v.dblVal; };
    const bool same = approx ? std::fabs(number(actual) - number(e)) < 1e-6 : describe(actual) == describe(e);
    EXPECT_TRUE(same) << "  expected: " << describe(e) << "\n    actual: " << describe(actual);
}

std::basic_string<OLECHAR> widen(const std::string& text)
{
    std::basic_string<OLECHAR> wide(text.size(), 0);
    std::ranges::transform(text, wide.begin(), [](unsigned char c) { return static_cast<OLECHAR>(c); });
    return wide;
}

std::string narrow(const OLECHAR* text, std::size_t length)
{
    std::string out;
    for (const auto code : std::basic_string_view(text, length)) {
        if (code >= 0x20 && code < 0x7f && code != '"' && code != '\\')
            out += static_cast<char>(code);
        else
            out += code == 0 ? std::string("\\0") : fmt::format("\\u{{{:x}}}", static_cast<unsigned long>(code));
    }
    return out;
}

BSTR allocate(const std::string& text)
{
    const auto wide = widen(text);
    const BSTR string = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return string ? string : throw std::runtime_error("SysAllocStringLen failed");
}

} // namespace conformance
