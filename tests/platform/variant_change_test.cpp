// VariantChangeType beyond the conformance table's rows: what happens to the destination, references
// converted in place, UTF-16 byte arrays, objects through their value property, and invalid DECIMALs.
#include "support/fake_com.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A VARIANT cleared at the end of the scope.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { EXPECT_EQ(VariantClear(this), S_OK); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
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

TEST(VariantChangeType, SuccessReleasesWhatTheDestinationHeld)
{
    Var dest;
    dest.vt = VT_UNKNOWN;
    dest.punkVal = fake::make<fake::Unknown>("previous destination value");
    Var source;
    source.vt = VT_I4;
    source.lVal = 42;
    // The ledger fails this test if the object outlives it.
    ASSERT_EQ(VariantChangeType(&dest, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::wstring(dest.bstrVal, SysStringLen(dest.bstrVal)), L"42");
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

// ASCII both ways is the table's; here a character beyond 16 bits.
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

#if !defined(_WIN32)
// A scale above 28 makes no DECIMAL; Wine 8.0 prints one all the same, though it refuses it elsewhere.
TEST(VariantChangeType, RefusesADecimalWithAScaleAbove28)
{
    Var invalid;
    std::memset(&invalid.decVal, 0, sizeof invalid.decVal);
    invalid.decVal.scale = 29;
    invalid.decVal.Lo64 = 1;
    invalid.vt = VT_DECIMAL;
    Var text;
    EXPECT_EQ(VariantChangeType(&text, &invalid, 0, VT_BSTR), E_INVALIDARG);
    EXPECT_EQ(text.vt, VT_EMPTY);
}
#endif
