// VARIANTs beyond the conformance table's rows: what VariantCopy and VariantCopyInd duplicate, what
// VariantChangeType does to its destination, UTF-16 byte arrays, objects through their value property,
// and invalid DECIMALs.
#include "platform/fakes.h"
#include "support/fake_record_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace platform_test;

namespace {

VARIANT make(VARTYPE vt, void* pointer = nullptr)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.byref = pointer; // the pointer member every non-scalar shares
    return v;
}

VARIANT reference(VARTYPE vt, void* target) { return make(vt | VT_BYREF, target); }

// A record type of one LONG. A copy made with RecordCreateCopy lives in the fake, so that nothing is
// allocated whichever way the runtime copies a record (RecordCreateCopy, or GetSize and RecordCopy).
struct FakeRecordType : fake::RecordInfo {
    FakeRecordType() : RecordInfo("record type") {}
    LONG copied = 0;

    HRESULT STDMETHODCALLTYPE RecordCopy(PVOID from, PVOID to) override
    {
        *static_cast<LONG*>(to) = *static_cast<LONG*>(from);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RecordCreateCopy(PVOID from, PVOID* to) override
    {
        *to = &copied;
        return RecordCopy(from, *to);
    }
    HRESULT STDMETHODCALLTYPE GetSize(ULONG* size) override
    {
        *size = sizeof(LONG);
        return S_OK;
    }
};

// An object whose value property is a fixed I4.
struct Valued : FakeDispatch {
    using FakeDispatch::FakeDispatch;
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

// The table's destinations hold a string; here an object, which a call that succeeds must release (the
// ledger fails the test if it outlives it). The source is a string of odd bytes, which the table has not.
TEST(Variant, SuccessReleasesTheDestinationAndCopiesOddByteStrings)
{
    Var odd;
    odd.vt = VT_BSTR;
    odd.bstrVal = SysAllocStringByteLen("odd", 3);
    const std::function<HRESULT(VARIANT*)> calls[] = {
        [&](VARIANT* destination) { return VariantCopy(destination, &odd); },
        [&](VARIANT* destination) { return VariantChangeType(destination, &odd, 0, VT_BSTR); },
    };
    for (const auto& call : calls) {
        Var destination;
        destination.vt = VT_UNKNOWN;
        destination.punkVal = fake::make<fake::Unknown>("previous destination value");
        ASSERT_EQ(call(&destination), S_OK);
        EXPECT_NE(destination.bstrVal, odd.bstrVal);
        EXPECT_EQ(SysStringByteLen(destination.bstrVal), 3u);
    }
}

TEST(VariantCopy, RecordsAreCopiedAndEachCopyHoldsItsTypeOnce)
{
    auto type = fake::hold<FakeRecordType>();
    LONG data = 42;
    VARIANT record = make(VT_RECORD, &data);
    record.pRecInfo = type.get();
    VARIANT by_reference = record;
    by_reference.vt |= VT_BYREF; // a by-reference record names its data and type the same way
    const std::function<HRESULT(VARIANT*)> copies[] = {
        [&](VARIANT* copy) { return VariantCopy(copy, &record); },
        [&](VARIANT* copy) { return VariantCopyInd(copy, &record); },
        [&](VARIANT* copy) { return VariantCopyInd(copy, &by_reference); },
    };
    for (const auto& copy_into : copies) {
        VARIANT copy = make(VT_EMPTY);
        ASSERT_EQ(copy_into(&copy), S_OK);
        EXPECT_EQ(copy.vt, VT_RECORD);
        EXPECT_EQ(copy.pRecInfo, type.get());
        EXPECT_NE(copy.pvRecord, &data);
        EXPECT_EQ(*static_cast<LONG*>(copy.pvRecord), 42);
        EXPECT_EQ(type->references(), 2u);
        EXPECT_EQ(VariantClear(&copy), S_OK);
        EXPECT_EQ(type->references(), 1u);
    }
}

// Referenced numbers, and a reference inside a referenced VARIANT, are the table's (VariantChangeType reads
// a reference through VariantCopyInd). A DECIMAL stays here: the table's lives in a VARIANT, whose type
// field would hide a copy that forgets to set its own.
TEST(VariantCopyInd, DereferencesDecimalsAndStringsAndRefusesTwoLevelsOfVariant)
{
    LONG number = 77;
    DECIMAL decimal{};
    decimal.Lo64 = 15;
    decimal.scale = 1;
    Text text(SysAllocString(L"shared"));
    BSTR text_pointer = text.get();
    VARIANT inner_reference = reference(VT_I4, &number);

    // Not const: mingw-w64 declares VariantCopyInd's source without const.
    VARIANT to_decimal = reference(VT_DECIMAL, &decimal), to_text = reference(VT_BSTR, &text_pointer);
    Var copy;
    ASSERT_EQ(VariantCopyInd(&copy, &to_decimal), S_OK);
    EXPECT_EQ(copy.vt, VT_DECIMAL); // a DECIMAL fills the VARIANT, its type field included
    EXPECT_EQ(copy.decVal.Lo64, 15u);
    EXPECT_EQ(copy.decVal.scale, 1);
    ASSERT_EQ(VariantCopyInd(&copy, &to_text), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text.get());
    EXPECT_EQ(view(copy.bstrVal), L"shared");

    Var in_place;
    static_cast<VARIANT&>(in_place) = reference(VT_BSTR, &text_pointer);
    ASSERT_EQ(VariantCopyInd(&in_place, &in_place), S_OK);
    EXPECT_EQ(view(in_place.bstrVal), L"shared");

    // A VARIANT reference to a VARIANT reference is refused, once the destination has been let go of.
    // (A NULL reference is not tried: the system's oleaut32 reads through it.)
    VARIANT middle = reference(VT_VARIANT, &inner_reference);
    VARIANT target = make(VT_BSTR, SysAllocString(L"let go of"));
    VARIANT refused = reference(VT_VARIANT, &middle);
    EXPECT_EQ(VariantCopyInd(&target, &refused), E_INVALIDARG);
    EXPECT_EQ(target.vt, VT_EMPTY);
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
    EXPECT_EQ(view(textual.bstrVal), expected);

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
