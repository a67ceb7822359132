// VarCmp and VarBstrCmp.
#include <windows.h>

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr LCID en_us = LOCALE_USER_DEFAULT;

// One side of a comparison, described so that a table can hold it; Operand::make builds the VARIANT.
struct Operand {
    VARTYPE vt;
    LONGLONG integer = 0;
    double real = 0;
    const wchar_t* text = nullptr;
    DECIMAL dec{};
};

Operand of(VARTYPE vt) { return {vt}; }
Operand i4(LONG v) { return {VT_I4, v}; }
Operand i8(LONGLONG v) { return {VT_I8, v}; }
Operand r8(double v) { return {VT_R8, 0, v}; }
Operand r4(double v) { return {VT_R4, 0, v}; }
Operand date(double v) { return {VT_DATE, 0, v}; }
Operand cy(LONGLONG scaled) { return {VT_CY, scaled}; }
Operand boolean(bool v) { return {VT_BOOL, v ? VARIANT_TRUE : VARIANT_FALSE}; }
Operand text(const wchar_t* v) { return {VT_BSTR, 0, 0, v}; }
Operand dec(ULONGLONG low, ULONG high, BYTE scale, bool negative = false)
{
    Operand o{VT_DECIMAL};
    o.dec.Lo64 = low;
    o.dec.Hi32 = high;
    o.dec.scale = scale;
    o.dec.sign = negative ? DECIMAL_NEG : 0;
    return o;
}

// Owns the VARIANT built from an Operand; only a BSTR needs freeing.
class Built {
public:
    explicit Built(const Operand& o)
    {
        if (o.vt == VT_DECIMAL)
            v_.decVal = o.dec;
        v_.vt = o.vt;
        switch (o.vt & VT_TYPEMASK) {
        case VT_BSTR: v_.bstrVal = o.text ? SysAllocString(o.text) : nullptr; break;
        case VT_R8: v_.dblVal = o.real; break;
        case VT_DATE: v_.date = o.real; break;
        case VT_R4: v_.fltVal = static_cast<float>(o.real); break;
        case VT_CY: v_.cyVal.int64 = o.integer; break;
        case VT_DECIMAL: break;
        default: v_.llVal = o.integer; break;
        }
    }
    ~Built()
    {
        if (v_.vt == VT_BSTR)
            SysFreeString(v_.bstrVal);
    }
    Built(const Built&) = delete;
    Built& operator=(const Built&) = delete;
    VARIANT* get() { return &v_; }

private:
    VARIANT v_{};
};

struct Comparison {
    const char* what;
    Operand left, right;
    HRESULT expected;
};

void expect_all(std::initializer_list<Comparison> rows)
{
    for (const auto& row : rows) {
        Built left(row.left), right(row.right);
        EXPECT_EQ(VarCmp(left.get(), right.get(), en_us, 0), row.expected) << row.what;
    }
}

const HRESULT lt = VARCMP_LT, eq = VARCMP_EQ, gt = VARCMP_GT;

// The conformance table holds the common comparisons; these are the operand orders and values it lacks.
TEST(VarCmp, RefusesTypesBeforeLookingAtValues)
{
    expect_all({
        {"UI2 right", i4(1), of(VT_UI2), DISP_E_TYPEMISMATCH},
        {"null against error", of(VT_NULL), of(VT_ERROR), DISP_E_TYPEMISMATCH},
        {"reserved flag", {VT_I4 | VT_RESERVED, 5}, i4(5), eq},
        {"INT left", {VT_INT, 5}, i4(5), eq},
    });
}

TEST(VarCmp, TextIsGreaterThanAnyNumberAndEqualToEmptyOnlyWhenEmpty)
{
    expect_all({
        {"text vs date", text(L"1"), date(45000), gt},
        {"text vs bool", text(L""), boolean(true), gt},
        {"'abc' vs 'abd'", text(L"abc"), text(L"abd"), lt},
    });
}

TEST(VarCmp, NumbersCompareInTheirCommonType)
{
    expect_all({
        {"I4 vs R4 as R4", i4(16777217), r4(16777216.0), eq},
        {"empty above -1", of(VT_EMPTY), r8(-0.5), gt},
        {"UI1 is unsigned", {VT_UI1, 255}, {VT_I2, -1}, gt},
        {"CY vs I4 equal", cy(-20000), i4(-2), eq},
        {"CY vs I8 beyond CY", cy(std::numeric_limits<LONGLONG>::max()), i8(std::numeric_limits<LONGLONG>::max()), lt},
        {"CY vs I8 below CY", cy(std::numeric_limits<LONGLONG>::min()), i8(std::numeric_limits<LONGLONG>::min()), gt},
    });
}

TEST(VarCmp, DecimalsCompareExactly)
{
    constexpr ULONGLONG all_ones = ~0ULL;
    expect_all({
        {"1.5 vs 1.50", dec(15, 0, 1), dec(150, 0, 2), eq},
        {"max vs max - 1", dec(all_ones, 0xFFFFFFFF, 0), dec(all_ones - 1, 0xFFFFFFFF, 0), gt},
        {"1e-28 vs 0", dec(1, 0, 28), i4(0), gt},
        {"-1e-28 vs 0", dec(1, 0, 28, true), i4(0), lt},
        {"-0 vs 0", dec(0, 0, 0, true), dec(0, 0, 3), eq},
        {"-2 vs -1", dec(2, 0, 0, true), dec(1, 0, 0, true), lt},
        {"2^63 vs I8 max", dec(1ULL << 63, 0, 0), i8(std::numeric_limits<LONGLONG>::max()), gt},
        {"-2^63 vs I8 min", dec(1ULL << 63, 0, 0, true), i8(std::numeric_limits<LONGLONG>::min()), eq},
        {"1.0001 vs CY", dec(10001, 0, 4), cy(10001), eq},
        {"2.5 vs R8", dec(25, 0, 1), r8(2.5), eq},
        {"max vs 1e30", dec(all_ones, 0xFFFFFFFF, 0), r8(1e30), lt},
    });
}

struct TextOrder {
    const wchar_t* left;
    const wchar_t* right;
    HRESULT expected;
};

BSTR bstr(const wchar_t* text) { return text ? SysAllocString(text) : nullptr; }

void expect_text_order(LCID lcid, std::initializer_list<TextOrder> rows, ULONG flags = 0)
{
    for (const auto& row : rows) {
        BSTR left = bstr(row.left);
        BSTR right = bstr(row.right);
        EXPECT_EQ(VarBstrCmp(left, right, lcid, flags), row.expected)
            << testing::PrintToString(row.left) << " vs " << testing::PrintToString(row.right);
        SysFreeString(left);
        SysFreeString(right);
    }
}

TEST(VarBstrCmp, EmptyAndNullAreEqualAndFirst)
{
    expect_text_order(en_us, {{L"\x1", L"", gt}});
    expect_text_order(0, {{nullptr, L"", eq}, {nullptr, L"a", lt}, {L"\x1", L"", gt}});
}

TEST(VarBstrCmp, LinguisticOrderIgnoresCaseFirstThenPutsLowerCaseFirst)
{
    expect_text_order(en_us, {{L"ABC", L"abd", lt}, {L"_", L"a", lt}, {L"9", L"a", lt}, {L"Abc", L"Abc", eq}});
}

TEST(VarBstrCmp, EmbeddedNulsCount)
{
    const wchar_t with_nul[] = {L'a', 0, L'b'};
    BSTR longer = SysAllocStringLen(with_nul, 3);
    BSTR shorter = SysAllocString(L"a");
    for (const LCID lcid : {en_us, LCID{0}}) {
        EXPECT_EQ(VarBstrCmp(longer, shorter, lcid, 0), gt) << lcid;
        EXPECT_EQ(VarBstrCmp(longer, longer, lcid, 0), eq) << lcid;
    }
    SysFreeString(longer);
    SysFreeString(shorter);
}

#if !defined(_WIN32)
// Orders that Windows' tables settle and this layer approximates.
TEST(VarBstrCmp, HyphensWeighLessThanLetters)
{
    expect_text_order(en_us, {{L"co-op", L"coop", gt}, {L"co-op", L"cop", lt}, {L"it's", L"its", gt}});
}

TEST(VarBstrCmp, IgnoreCaseFlagMakesCaseIrrelevant)
{
    constexpr ULONG norm_ignorecase = 0x1;
    expect_text_order(en_us, {{L"abc", L"ABD", lt}, {L"abC", L"ABc", eq}}, norm_ignorecase);
}

TEST(VarCmp, NaNIsGreaterThanAnything)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expect_all({{"NaN left", r8(nan), i4(0), gt}, {"NaN right", i4(0), r8(nan), gt}, {"NaN both", r8(nan), r8(nan), gt}});
}

// Wine 8.0 converts with the shortest digits that read back, 16 for 1/3.
TEST(VarCmp, DoublesMeetDecimalsThroughTheirFifteenDigits)
{
    expect_all({{"0.1", dec(1, 0, 1), r8(0.1), eq}, {"0.1f", dec(1, 0, 1), r4(0.1), eq}, {"1/3", dec(333333333333333, 0, 15), r8(1.0 / 3), eq}});
}
#endif

} // namespace
