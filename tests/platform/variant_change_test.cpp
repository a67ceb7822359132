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
constexpr double pi = 3.14159265358979323846;

struct Plain : fake::Fake<IUnknown> {
    using Fake::Fake;
};

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

TEST(VariantChangeTypeMatrix, NumbersBecomeEnUsText)
{
    check({
        {of(VT_I1, -5), VT_BSTR, ok, "-5"},
        {of(VT_I2, -32768), VT_BSTR, ok, "-32768"},
        {of(VT_I8, std::numeric_limits<LONGLONG>::min()), VT_BSTR, ok, "-9223372036854775808"},
        {u8(std::numeric_limits<ULONGLONG>::max()), VT_BSTR, ok, "18446744073709551615"},
        {of(VT_UINT, 4000000000), VT_BSTR, ok, "4000000000"},
        // R8: 15 significant digits; exponent form from 1E+15 up, and below once the fixed form would
        // need more than 15 digits after the point.
        {real(VT_R8, 0.1), VT_BSTR, ok, "0.1"},
        {real(VT_R8, 0.1 + 0.2), VT_BSTR, ok, "0.3"},
        {real(VT_R8, pi), VT_BSTR, ok, "3.14159265358979"},
        {real(VT_R8, 1e14), VT_BSTR, ok, "100000000000000"},
        {real(VT_R8, 1e15), VT_BSTR, ok, "1E+15"},
        {real(VT_R8, 123456789012345678.0), VT_BSTR, ok, "1.23456789012346E+17"},
        {real(VT_R8, -1.5), VT_BSTR, ok, "-1.5"},
        {real(VT_R8, -0.0), VT_BSTR, ok, "0"},
        {real(VT_R8, 5.6789e-12), VT_BSTR, ok, "5.6789E-12"},
        {real(VT_R8, 1e-300), VT_BSTR, ok, "1E-300"},
        // R4: 7 significant digits, the same switch at 7.
        {real(VT_R4, 0.1), VT_BSTR, ok, "0.1"},
        {real(VT_R4, 3.14159265), VT_BSTR, ok, "3.141593"},
        {real(VT_R4, 16777216.0), VT_BSTR, ok, "1.677722E+07"},
        {real(VT_R4, 1e20), VT_BSTR, ok, "1E+20"},
        {real(VT_R4, 1.5e-7), VT_BSTR, ok, "1.5E-07"},
        // CY and DECIMAL print exactly, without trailing zeros.
        {currency(12345678), VT_BSTR, ok, "1234.5678"},
        {currency(-10000), VT_BSTR, ok, "-1"},
        {currency(1), VT_BSTR, ok, "0.0001"},
        {currency(std::numeric_limits<LONGLONG>::max()), VT_BSTR, ok, "922337203685477.5807"},
        {currency(std::numeric_limits<LONGLONG>::min()), VT_BSTR, ok, "-922337203685477.5808"},
        {decimal(false, 4, 0, 15000), VT_BSTR, ok, "1.5"},
        {decimal(true, 28, 0, 1), VT_BSTR, ok, "-0.0000000000000000000000000001"},
        {decimal(false, 0, 0xFFFFFFFF, ~0ULL), VT_BSTR, ok, "79228162514264337593543950335"},
        // BOOL prints its raw value unless asked for words.
        {of(VT_BOOL, VARIANT_TRUE), VT_BSTR, ok, "-1"},
        {of(VT_BOOL, 1), VT_BSTR, ok, "1"},
        {of(VT_BOOL, VARIANT_TRUE), VT_BSTR, ok, "True", VARIANT_ALPHABOOL},
        {of(VT_BOOL, VARIANT_FALSE), VT_BSTR, ok, "False", VARIANT_LOCALBOOL},
        {of(VT_EMPTY, 0), VT_BSTR, ok, ""},
        {text(nullptr), VT_BSTR, ok, ""},
        {of(VT_NULL, 0), VT_BSTR, mismatch, ""},
        {of(VT_ERROR, 0), VT_BSTR, mismatch, ""},
    });
}

TEST(VariantChangeTypeMatrix, IntegersRoundHalfToEvenAndCheckTheRoundedValue)
{
    check({
        // Same-width signed and unsigned types exchange bits; other widths check the range.
        {of(VT_I4, -1), VT_UINT, ok, "4294967295"},
        {of(VT_UI4, 0xFFFFFFFF), VT_INT, ok, "-1"},
        {u8(1ULL << 63), VT_I8, ok, "-9223372036854775808"},
        {of(VT_I8, -1), VT_UI8, ok, "18446744073709551615"},
        {of(VT_I1, -1), VT_UI1, ok, "255"},
        {of(VT_UI2, 0xFFFF), VT_I2, ok, "-1"},
        {of(VT_I4, -1), VT_UI8, overflow, ""},
        {of(VT_I4, -1), VT_UI2, overflow, ""},
        {of(VT_I4, 256), VT_UI1, overflow, ""},
        {u8(1ULL << 32), VT_UI4, overflow, ""},
        {of(VT_I4, 255), VT_UI1, ok, "255"},
        {of(VT_BOOL, VARIANT_TRUE), VT_UI1, ok, "255"},
        {of(VT_BOOL, VARIANT_TRUE), VT_I4, ok, "-1"},
        {of(VT_EMPTY, 0), VT_UI8, ok, "0"},
        // Reals: ties go to the even neighbour; the rounded value must fit.
        {real(VT_R8, 0.5), VT_UI1, ok, "0"},
        {real(VT_R8, 1.5), VT_UI1, ok, "2"},
        {real(VT_R8, 2.5), VT_UI1, ok, "2"},
        {real(VT_R8, 254.5), VT_UI1, ok, "254"},
        {real(VT_R8, -0.5), VT_UI1, ok, "0"},
        {real(VT_R8, 255.4), VT_UI1, ok, "255"},
        {real(VT_R8, 255.5), VT_UI1, overflow, ""},
        {real(VT_R8, -0.51), VT_UI1, overflow, ""},
        {real(VT_R8, -3.5), VT_I4, ok, "-4"},
        {real(VT_R8, 2147483647.5), VT_I4, overflow, ""},
        {real(VT_R8, -2147483648.5), VT_I4, ok, "-2147483648"},
        {real(VT_R8, 9.3e18), VT_I8, overflow, ""},
        {real(VT_R8, std::numeric_limits<double>::infinity()), VT_I4, overflow, ""},
        {real(VT_R4, 2.5), VT_I2, ok, "2"},
        {real(VT_DATE, 1.5), VT_INT, ok, "2"},
        // CY: half to even, except that I8 truncates a negative value and takes one more off.
        {currency(25000), VT_I4, ok, "2"},
        {currency(-25000), VT_I2, ok, "-2"},
        {currency(35000), VT_UI1, ok, "4"},
        {currency(-10000), VT_I4, ok, "-1"},
        {currency(-10000), VT_I8, ok, "-2"},
        {currency(-1), VT_I8, ok, "-1"},
        {currency(25000), VT_I8, ok, "2"},
        {currency(-4000), VT_UI4, ok, "0"},
        {decimal(false, 1, 0, 25), VT_I4, ok, "2"},
        {decimal(true, 1, 0, 35), VT_I1, ok, "-4"},
        {decimal(false, 0, 1, 0), VT_UI8, overflow, ""},
    });
}

TEST(VariantChangeTypeMatrix, TextIsReadAsEnUsNumbers)
{
    check({
        {text(L" 12 "), VT_I4, ok, "12"},
        {text(L"+7"), VT_I2, ok, "7"},
        {text(L"1e2"), VT_UI1, ok, "100"},
        {text(L"1.5e0"), VT_I4, ok, "2"},
        {text(L"2.5"), VT_I4, ok, "2"},
        {text(L"1,000"), VT_I4, ok, "1000"},
        {text(L"1,5"), VT_I4, ok, "15"},
        {text(L"$5"), VT_I4, ok, "5"},
        {text(L"(5)"), VT_I4, ok, "-5"},
        {text(L"5-"), VT_I4, ok, "-5"},
        {text(L"0.1"), VT_R8, ok, "0.1"},
        {text(L"-0.25"), VT_R4, ok, "-0.25"},
        {text(L"9223372036854775807"), VT_I8, ok, "9223372036854775807"},
        {text(L"9223372036854775808"), VT_I8, overflow, ""},
        {text(L"18446744073709551616"), VT_UI8, overflow, ""},
        {text(L"-1"), VT_UI4, overflow, ""},
        {text(L"1e400"), VT_R8, overflow, ""},
        {text(L"1.23455"), VT_CY, ok, "12346"},
        {text(L"79228162514264337593543950335"), VT_DECIMAL, ok, "4294967295:18446744073709551615/0"},
        {text(L"79228162514264337593543950336"), VT_DECIMAL, overflow, ""},
        // Hex and octal literals: their bits for an integer of at least their width.
        {text(L"&HFF"), VT_I4, ok, "255"},
        {text(L"&O17"), VT_I4, ok, "15"},
        {text(L"&HFFFFFFFF"), VT_I4, ok, "-1"},
        {text(L"&HFFFFFFFF"), VT_UI4, ok, "4294967295"},
        {text(L"&H100"), VT_UI1, overflow, ""},
        {text(L"&HFFFFFFFF"), VT_R8, overflow, ""},
        {text(L"&HFFFFFFFF"), VT_R4, overflow, ""},
        {text(L"&HFFFFFFFF"), VT_BOOL, overflow, ""},
        {text(L"&HFFFFFFFF"), VT_CY, overflow, ""},
        {text(L"&HFF"), VT_CY, overflow, ""},
        {text(L"&H1FFFFFFFFFFFFFFFF"), VT_UI8, overflow, ""},
        // BOOL reads its words before numbers.
        {text(L"True"), VT_BOOL, ok, "-1"},
        {text(L"false"), VT_BOOL, ok, "0"},
        {text(L"2"), VT_BOOL, ok, "-1"},
        {text(L"0.0"), VT_BOOL, ok, "0"},
    });
    for (const wchar_t* garbage :
         {L"0x10", L"", L"abc", L"12abc", L"1 2", L"True", L"NaN", L"INF", L"(5", L"--5", L".", L"&H", L"&HG"}) {
        check({{text(garbage), VT_I4, mismatch, ""}, {text(garbage), VT_R8, mismatch, ""}});
    }
    check({{text(nullptr), VT_I4, mismatch, ""}});
}

TEST(VariantChangeTypeMatrix, RealCurrencyDecimalAndDateTargets)
{
    check({
        // I8 to CY stops one short of the largest whole number of currency units.
        {of(VT_I8, 922337203685476), VT_CY, ok, "9223372036854760000"},
        {of(VT_I8, 922337203685477), VT_CY, overflow, ""},
        {of(VT_I8, -922337203685477), VT_CY, overflow, ""},
        {of(VT_I4, -7), VT_CY, ok, "-70000"},
        {real(VT_R8, 1.5), VT_CY, ok, "15000"},
        {real(VT_R8, 1e15), VT_CY, overflow, ""},
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
        {of(VT_EMPTY, 0), VT_DECIMAL, ok, "0:0/0"},
        // Floating-point targets.
        {real(VT_R8, 1e39), VT_R4, overflow, ""},
        {u8(std::numeric_limits<ULONGLONG>::max()), VT_R8, ok, "18446744073709551616"},
        {currency(-15000), VT_R4, ok, "-1.5"},
        {of(VT_BOOL, VARIANT_TRUE), VT_R8, ok, "-1"},
        // DATE: numbers are days, within the years 100 to 9999.
        {of(VT_I4, 45000), VT_DATE, ok, "45000"},
        {real(VT_R8, 45000.25), VT_DATE, ok, "45000.25"},
        {real(VT_R8, -657434), VT_DATE, ok, "-657434"},
        {real(VT_R8, -657435), VT_DATE, overflow, ""},
        {real(VT_R8, 2958465.9), VT_DATE, ok, "2958465.9"},
        {of(VT_I4, 2958466), VT_DATE, overflow, ""},
        {of(VT_BOOL, VARIANT_TRUE), VT_DATE, ok, "-1"},
        {of(VT_EMPTY, 0), VT_DATE, ok, "0"},
        {of(VT_NULL, 0), VT_DATE, mismatch, ""},
        {text(L"2023-03-15"), VT_DATE, ok, "45000"},
        {text(L"abc"), VT_DATE, mismatch, ""},
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
        {of(VT_EMPTY, 0), VT_I4, ok, "0"},
        {of(VT_NULL, 0), VT_I4, mismatch, ""},
        {of(VT_NULL, 0), VT_EMPTY, mismatch, ""},
        {of(VT_NULL, 0), VT_NULL, ok, ""},
        {of(VT_I4, 5), VT_EMPTY, ok, ""},
        {text(L"x"), VT_NULL, ok, ""},
        {of(VT_ERROR, 5), VT_ERROR, ok, "5"},
        {of(VT_ERROR, 5), VT_EMPTY, mismatch, ""},
        {of(VT_ERROR, 5), VT_NULL, mismatch, ""},
        {of(VT_I4, 5), VT_ERROR, mismatch, ""},
        {of(VT_I4, 5), VT_UNKNOWN, mismatch, ""},
        {of(VT_I4, 5), VT_VARIANT, mismatch, ""},
        {of(VT_I4, 5), VT_BSTR | VT_BYREF, mismatch, ""},
        {of(VT_I4, 5), VT_I4 | VT_ARRAY, mismatch, ""},
        {of(VT_I4, 5), 0x7f, bad_type, ""},
        {of(VT_I4, 5), VT_CLSID, bad_type, ""},
        {of(0x7f, 5), VT_BSTR, bad_type, ""},
        {of(VT_VECTOR | VT_I4, 0), VT_BSTR, bad_type, ""},
        {of(VT_UNKNOWN, 0), VT_BSTR, mismatch, ""},
        {of(VT_DISPATCH, 0), VT_BSTR, bad_type, ""},
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

TEST(VariantChangeType, FailureLeavesTheDestinationAndAnInPlaceSourceIntact)
{
    Var dest(text(L"kept"));
    const BSTR before = dest.bstrVal;
    Var source(text(L"12abc"));
    EXPECT_EQ(VariantChangeType(&dest, &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(dest.vt, VT_BSTR);
    EXPECT_EQ(dest.bstrVal, before);
    EXPECT_EQ(narrow(dest.bstrVal), "kept");

    EXPECT_EQ(VariantChangeType(&source, &source, 0, VT_UI1), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(source.vt, VT_BSTR);
    EXPECT_EQ(narrow(source.bstrVal), "12abc");
}

TEST(VariantChangeType, SuccessReleasesWhatTheDestinationHeld)
{
    Var dest;
    dest.vt = VT_UNKNOWN;
    dest.punkVal = fake::make<Plain>("previous destination value");
    Var source(of(VT_I4, 42));
    // The ledger fails this test if the object outlives it.
    ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(dest.bstrVal), "42");
}

TEST(VariantChangeType, ConvertsInPlaceBothWays)
{
    Var v(text(L" 1,234.5 "));
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_R8), S_OK);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, 1234.5);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(v.bstrVal), "1234.5");
}

TEST(VariantChangeType, FollowsReferencesWithoutChangingTheirTargets)
{
    LONG number = 77;
    Var by_ref;
    by_ref.vt = VT_I4 | VT_BYREF;
    by_ref.plVal = &number;
    Var result;
    ASSERT_EQ(VariantChangeType(&result, &by_ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(result.bstrVal), "77");
    ASSERT_EQ(VariantChangeType(&by_ref, &by_ref, 0, VT_R8), S_OK);
    EXPECT_EQ(by_ref.dblVal, 77.0);
    EXPECT_EQ(number, 77);

    Var inner(of(VT_I2, 9));
    Var through_variant;
    through_variant.vt = VT_VARIANT | VT_BYREF;
    through_variant.pvarVal = &inner;
    ASSERT_EQ(VariantChangeType(&result, &through_variant, 0, VT_BSTR), S_OK);
    EXPECT_EQ(narrow(result.bstrVal), "9");

    Var dangling;
    dangling.vt = VT_I4 | VT_BYREF;
    dangling.plVal = nullptr;
    EXPECT_EQ(VariantChangeType(&result, &dangling, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    Var nothing;
    nothing.vt = VT_EMPTY | VT_BYREF;
    nothing.byref = &number;
    EXPECT_EQ(VariantChangeType(&result, &nothing, 0, VT_BSTR), DISP_E_BADVARTYPE);
    nothing.vt = VT_EMPTY;
    EXPECT_EQ(narrow(result.bstrVal), "9");
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

    Var numbers;
    numbers.vt = VT_ARRAY | VT_I4;
    numbers.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_EQ(VariantChangeType(&copy, &numbers, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
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
