// VariantChangeType: the conversion matrix between the plain types, text both ways, the rounding and
// range rules, and what happens to the destination when a conversion fails or works in place.
#include "support/fake_com.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// ---- Sources, and a rendering of results that does not go through the code under test ---------------

// A plain source value. Integer-like types (I1..UI8, BOOL, ERROR, CY units) keep theirs in `integer`,
// which the VARIANT stores whole in llVal: its low bytes are the narrower member on a little-endian host.
struct Source {
    VARTYPE vt = VT_EMPTY;
    LONGLONG integer = 0;
    double real = 0.0;
    const wchar_t* text = nullptr;
    DECIMAL decimal{};
};

Source of(VARTYPE vt, LONGLONG value) { return {vt, value}; }
Source real(VARTYPE vt, double value) { return {vt, 0, value}; }
Source text(const wchar_t* value) { return {VT_BSTR, 0, 0.0, value}; }
Source u8(ULONGLONG value) { return of(VT_UI8, static_cast<LONGLONG>(value)); }
Source currency(LONGLONG units) { return of(VT_CY, units); }

Source decimal(bool negative, BYTE scale, ULONG hi, ULONGLONG lo)
{
    Source s{VT_DECIMAL};
    s.decimal.scale = scale;
    s.decimal.sign = negative ? DECIMAL_NEG : 0;
    s.decimal.Hi32 = hi;
    s.decimal.Lo64 = lo;
    return s;
}

// A VARIANT cleared at the end of the scope.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    explicit Var(const Source& s)
    {
        VariantInit(this);
        if (s.vt == VT_DECIMAL)
            decVal = s.decimal;
        else if (s.vt == VT_BSTR)
            bstrVal = s.text ? SysAllocString(s.text) : nullptr;
        else if (s.vt == VT_R4)
            fltVal = static_cast<float>(s.real);
        else if (s.vt == VT_R8 || s.vt == VT_DATE)
            dblVal = s.real;
        else
            llVal = s.integer;
        vt = s.vt;
    }
    ~Var() { EXPECT_EQ(VariantClear(this), S_OK); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

template <class T>
std::string shortest(T value)
{
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string narrow(BSTR text)
{
    if (!text)
        return "<null>";
    std::string out;
    for (UINT i = 0; i < SysStringLen(text); ++i)
        out += static_cast<char>(text[i]);
    return out;
}

// The value of a result: integers in decimal (BOOL as its raw value), reals in their shortest exact
// form, CY as its count of 1/10000 units, DECIMAL as "mantissa/scale" with its sign.
std::string render(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I1: return std::to_string(static_cast<signed char>(v.cVal));
    case VT_UI1: return std::to_string(v.bVal);
    case VT_I2: case VT_BOOL: return std::to_string(v.iVal);
    case VT_UI2: return std::to_string(v.uiVal);
    case VT_I4: case VT_INT: return std::to_string(v.lVal);
    case VT_UI4: case VT_UINT: return std::to_string(v.ulVal);
    case VT_I8: case VT_CY: return std::to_string(v.llVal);
    case VT_UI8: return std::to_string(v.ullVal);
    case VT_ERROR: return std::to_string(v.scode);
    case VT_R4: return shortest(v.fltVal);
    case VT_R8: case VT_DATE: return shortest(v.dblVal);
    case VT_BSTR: return narrow(v.bstrVal);
    case VT_DECIMAL:
        return (v.decVal.sign ? "-" : "") + std::to_string(v.decVal.Hi32) + ":" + std::to_string(v.decVal.Lo64) +
               "/" + std::to_string(v.decVal.scale);
    default: return "";
    }
}

struct Case {
    Source source;
    VARTYPE target;
    HRESULT expected_hr;
    std::string expected; // render() of the result; unused on failure
    USHORT flags = 0;
};

void check(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        Var source(c.source);
        Var result;
        SCOPED_TRACE("source " + render(source) + " (vt " + std::to_string(source.vt) + ") to vt " +
                     std::to_string(c.target));
        ASSERT_EQ(VariantChangeType(&result, &source, c.flags, c.target), c.expected_hr);
        if (c.expected_hr == DISP_E_BADVARTYPE)
            source.vt = VT_EMPTY; // nothing to release, and VariantClear would refuse the type
        if (FAILED(c.expected_hr))
            continue;
        EXPECT_EQ(result.vt, c.target);
        EXPECT_EQ(render(result), c.expected);
    }
}

constexpr HRESULT ok = S_OK;
constexpr HRESULT overflow = DISP_E_OVERFLOW;
constexpr HRESULT mismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT bad_type = DISP_E_BADVARTYPE;

// An object whose value property is a fixed I4.
struct Valued : fake::Fake<IDispatch> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || params->cArgs != 0 || !result)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = 1500;
        return S_OK;
    }
};

} // namespace

// The conformance table holds the common conversions, and checks for every one of them that a failure
// leaves the destination alone and that the source comes out unchanged. These are the rows it lacks.
TEST(VariantChangeTypeMatrix, NumbersBecomeEnUsText)
{
    check({
        // Exponent form once the fixed form would need more than 15 (R8) or 7 (R4) digits after the point.
        {real(VT_R8, 5.6789e-12), VT_BSTR, ok, "5.6789E-12"},
        {real(VT_R4, 1.5e-7), VT_BSTR, ok, "1.5E-07"},
        {currency(std::numeric_limits<LONGLONG>::min()), VT_BSTR, ok, "-922337203685477.5808"},
        {decimal(true, 28, 0, 1), VT_BSTR, ok, "-0.0000000000000000000000000001"},
    });
}

TEST(VariantChangeTypeMatrix, IntegersRoundHalfToEvenAndCheckTheRoundedValue)
{
    check({
        {of(VT_I4, -1), VT_UI2, overflow, ""},
        {u8(1ULL << 32), VT_UI4, overflow, ""},
        {real(VT_R8, std::numeric_limits<double>::infinity()), VT_I4, overflow, ""},
        {real(VT_DATE, 1.5), VT_INT, ok, "2"},
        // CY: half to even, except that I8 truncates a negative value and takes one more off.
        {currency(-25000), VT_I2, ok, "-2"},
        {currency(35000), VT_UI1, ok, "4"},
        {currency(-10000), VT_I4, ok, "-1"},
        {currency(-4000), VT_UI4, ok, "0"},
        {decimal(false, 1, 0, 25), VT_I4, ok, "2"},
        {decimal(true, 1, 0, 35), VT_I1, ok, "-4"},
        {decimal(false, 0, 1, 0), VT_UI8, overflow, ""},
    });
}

TEST(VariantChangeTypeMatrix, TextIsReadAsEnUsNumbers)
{
    check({
        {text(L"+7"), VT_I2, ok, "7"},
        {text(L"1e2"), VT_UI1, ok, "100"},
        {text(L"0.1"), VT_R8, ok, "0.1"},
        {text(L"-0.25"), VT_R4, ok, "-0.25"},
        {text(L"-1"), VT_UI4, overflow, ""},
        {text(L"1e400"), VT_R8, overflow, ""},
        {text(L"1.23455"), VT_CY, ok, "12346"},
        {text(L"79228162514264337593543950335"), VT_DECIMAL, ok, "4294967295:18446744073709551615/0"},
        {text(L"79228162514264337593543950336"), VT_DECIMAL, overflow, ""},
        // Hex literals: their bits for an integer of at least their width.
        {text(L"&H100"), VT_UI1, overflow, ""},
        {text(L"&H1FFFFFFFFFFFFFFFF"), VT_UI8, overflow, ""},
        // BOOL reads its words before numbers.
        {text(L"True"), VT_BOOL, ok, "-1"},
        {text(L"false"), VT_BOOL, ok, "0"},
        {text(L"2"), VT_BOOL, ok, "-1"},
        {text(L"0.0"), VT_BOOL, ok, "0"},
        {text(L"NaN"), VT_I4, mismatch, ""},
        {text(L"INF"), VT_I4, mismatch, ""},
        {text(L"12abc"), VT_R8, mismatch, ""},
        {text(L"1 2"), VT_R8, mismatch, ""},
        {text(L"True"), VT_R8, mismatch, ""},
    });
    for (const wchar_t* garbage : {L"(5", L"--5", L".", L"&H", L"&HG"})
        check({{text(garbage), VT_I4, mismatch, ""}, {text(garbage), VT_R8, mismatch, ""}});
}

TEST(VariantChangeTypeMatrix, RealCurrencyDecimalAndDateTargets)
{
    check({
        {of(VT_I4, -7), VT_CY, ok, "-70000"},
        {decimal(false, 5, 0, 123455), VT_CY, ok, "12346"},
        {of(VT_BOOL, VARIANT_TRUE), VT_CY, ok, "-10000"},
        // DECIMAL keeps 15 significant digits of a double and 7 of a float; CY keeps its scale.
        {real(VT_R8, 0.1), VT_DECIMAL, ok, "0:1/1"},
        {real(VT_R4, 0.1), VT_DECIMAL, ok, "0:1/1"},
        {real(VT_R8, -2.5e-3), VT_DECIMAL, ok, "-0:25/4"},
        {real(VT_R8, 1e29), VT_DECIMAL, overflow, ""},
        {currency(15000), VT_DECIMAL, ok, "0:15000/4"},
        {of(VT_I4, -7), VT_DECIMAL, ok, "-0:7/0"},
        {u8(std::numeric_limits<ULONGLONG>::max()), VT_DECIMAL, ok, "0:18446744073709551615/0"},
        {u8(std::numeric_limits<ULONGLONG>::max()), VT_R8, ok, "18446744073709551616"},
        {currency(-15000), VT_R4, ok, "-1.5"},
        {text(nullptr), VT_DATE, mismatch, ""},
        // To BOOL: any non-zero value is TRUE.
        {real(VT_R8, 0.25), VT_BOOL, ok, "-1"},
        {currency(0), VT_BOOL, ok, "0"},
        {decimal(true, 3, 0, 1), VT_BOOL, ok, "-1"},
    });
}

TEST(VariantChangeTypeMatrix, EmptyNullErrorAndInvalidTypes)
{
    check({
        {of(VT_ERROR, 5), VT_ERROR, ok, "5"},
        {of(VT_I4, 5), VT_I4 | VT_ARRAY, mismatch, ""},
        {of(VT_VECTOR | VT_I4, 0), VT_BSTR, bad_type, ""},
    });
}

#if !defined(_WIN32)
// Where Wine 8.0's oleaut32 departs from Windows, the layer follows Windows; the Windows build, which
// runs under Wine 8.0, cannot check these rows.
TEST(VariantChangeTypeMatrix, WindowsResultsWhereWine80Drifts)
{
    check({
        // Wine 8.0 keeps the exponent form here ("1E-05"), where Windows and later Wine do not.
        {real(VT_R8, 1e-5), VT_BSTR, ok, "0.00001"},
        {real(VT_R8, 5.6789e-11), VT_BSTR, ok, "0.000000000056789"},
        // A scale above 28 is invalid: Wine 8.0 prints it all the same, though it refuses it elsewhere.
        {decimal(false, 29, 0, 1), VT_BSTR, E_INVALIDARG, ""},
        // NaN conversions differ between oleaut32 versions; Wine 8.0 answers -1.
        {real(VT_R8, std::nan("")), VT_I2, overflow, ""},
        // Wine 8.0 reads text through a double, which lifts this tie a hair above the half.
        {text(L"1.23445"), VT_CY, ok, "12344"},
        // Wine 8.0 keeps all 29 decimals, a scale that no DECIMAL may have.
        {text(L"0.12345678901234567890123456789"), VT_DECIMAL, ok, "66926059:7888470988696384335/28"},
        // Wine 8.0 divides step by step and lands one unit in the last place away.
        {decimal(false, 28, 0, 1), VT_R8, ok, "1e-28"},
    });
}
#endif

TEST(VariantChangeType, SuccessReleasesWhatTheDestinationHeld)
{
    Var dest;
    dest.vt = VT_UNKNOWN;
    dest.punkVal = fake::make<fake::Unknown>("previous destination value");
    Var source(of(VT_I4, 42));
    // The ledger fails this test if the object outlives it.
    ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(dest.bstrVal), "42");
}

// In place, a reference is replaced by the converted value; its target stays as it was.
TEST(VariantChangeType, InPlaceLeavesAReferencesTarget)
{
    LONG number = 77;
    Var by_ref;
    by_ref.vt = VT_I4 | VT_BYREF;
    by_ref.plVal = &number;
    ASSERT_EQ(VariantChangeType(&by_ref, &by_ref, 0, VT_R8), S_OK);
    EXPECT_EQ(by_ref.vt, VT_R8);
    EXPECT_EQ(by_ref.dblVal, 77.0);
    EXPECT_EQ(number, 77);
}

TEST(VariantChangeType, ByteArraysHoldUtf16Text)
{
    // "hi" and U+1F600 as UTF-16LE: a surrogate pair on the wire whatever the size of OLECHAR here.
    const BYTE bytes[] = {'h', 0, 'i', 0, 0x3D, 0xD8, 0x00, 0xDE};
    Var array;
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = SafeArrayCreateVector(VT_UI1, 0, sizeof bytes);
    ASSERT_NE(array.parray, nullptr);
    std::memcpy(array.parray->pvData, bytes, sizeof bytes);

    Var textual;
    ASSERT_EQ(VariantChangeType(&textual, &array, 0, VT_BSTR), S_OK);
    const std::wstring expected = sizeof(OLECHAR) == 2 ? std::wstring{L'h', L'i', wchar_t(0xD83D), wchar_t(0xDE00)}
                                                       : std::wstring{L'h', L'i', wchar_t(0x1F600)};
    EXPECT_EQ(std::wstring(textual.bstrVal, SysStringLen(textual.bstrVal)), expected);

    Var back;
    ASSERT_EQ(VariantChangeType(&back, &textual, 0, VT_ARRAY | VT_UI1), S_OK);
    ASSERT_EQ(back.parray->rgsabound[0].cElements, sizeof bytes);
    EXPECT_EQ(std::memcmp(back.parray->pvData, bytes, sizeof bytes), 0);

    Var copy;
    ASSERT_EQ(VariantChangeType(&copy, &array, 0, VT_ARRAY | VT_UI1), S_OK);
    EXPECT_NE(copy.parray, array.parray);
    EXPECT_EQ(std::memcmp(copy.parray->pvData, bytes, sizeof bytes), 0);
    EXPECT_EQ(VariantChangeType(&copy, &array, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ObjectsConvertThroughTheirValuePropertyAndQueryInterface)
{
    auto object = fake::hold<Valued>("valued object");
    Var source;
    source.vt = VT_DISPATCH;
    source.pdispVal = object.get();
    object->AddRef();

    Var result;
    ASSERT_EQ(VariantChangeType(&result, &source, 0, VT_CY), S_OK);
    EXPECT_EQ(result.cyVal.int64, 15000000);
    EXPECT_EQ(VariantChangeType(&result, &source, VARIANT_NOVALUEPROP, VT_BSTR), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(VariantChangeType(&result, &source, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(result.punkVal, object->unknown());
    EXPECT_EQ(object->references(), 3u);
    ASSERT_EQ(VariantChangeType(&result, &result, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(object.get()));
    EXPECT_EQ(object->references(), 3u);
}
