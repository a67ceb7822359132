// VARIANT lifetime: what VariantClear releases, what VariantCopy and VariantCopyInd duplicate.
#include "platform/core_fakes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string_view>

using core_test::Text;
using core_test::Unknown;

namespace {

VARIANT make(VARTYPE vt)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = 0;
    return v;
}

VARIANT holding(BSTR text)
{
    VARIANT v = make(VT_BSTR);
    v.bstrVal = text;
    return v;
}

VARIANT holding(IUnknown* object, VARTYPE vt = VT_UNKNOWN)
{
    VARIANT v = make(vt);
    v.punkVal = object;
    return v;
}

VARIANT holding(SAFEARRAY* array, VARTYPE element)
{
    VARIANT v = make(VT_ARRAY | element);
    v.parray = array;
    return v;
}

VARIANT reference(VARTYPE vt, void* target)
{
    VARIANT v = make(vt | VT_BYREF);
    v.byref = target;
    return v;
}

std::wstring_view view(BSTR bstr) { return {bstr, SysStringLen(bstr)}; }

} // namespace

TEST(VariantClear, ReleasesWhatTheVariantOwnsAndNothingItPointsAt)
{
    auto object = fake::hold<Unknown>("object");
    object->AddRef();
    VARIANT by_value = holding(object.get());
    EXPECT_EQ(VariantClear(&by_value), S_OK);
    EXPECT_EQ(by_value.vt, VT_EMPTY);
    EXPECT_EQ(object->references(), 1u);

    IUnknown* pointer = object.get();
    VARIANT by_reference = reference(VT_UNKNOWN, &pointer);
    EXPECT_EQ(VariantClear(&by_reference), S_OK);
    EXPECT_EQ(object->references(), 1u);

    Text text(L"kept");
    BSTR borrowed = text.get();
    VARIANT string_reference = reference(VT_BSTR, &borrowed);
    EXPECT_EQ(VariantClear(&string_reference), S_OK);
    EXPECT_EQ(view(text.get()), L"kept"); // still readable: the sanitizer build would see a free

    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
    VARIANT array_reference = reference(VT_ARRAY | VT_I4, &array);
    EXPECT_EQ(VariantClear(&array_reference), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK); // still the caller's to destroy

    VARIANT owned_text = holding(SysAllocString(L"freed"));
    EXPECT_EQ(VariantClear(&owned_text), S_OK);
    EXPECT_EQ(owned_text.vt, VT_EMPTY);
}

TEST(VariantClear, RejectsTypesAVariantCannotHold)
{
    for (VARTYPE vt : {VARTYPE(0x7f), VARTYPE(15), VARTYPE(VT_VECTOR | VT_I4), VARTYPE(VT_BYREF | VT_EMPTY),
                       VARTYPE(VT_ARRAY | VT_NULL), VARTYPE(VT_CLSID), VARTYPE(VT_LPWSTR)}) {
        VARIANT v = make(vt);
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << "vt " << vt;
        EXPECT_EQ(v.vt, vt);
        VARIANT target = make(VT_I4);
        EXPECT_EQ(VariantCopy(&target, &v), DISP_E_BADVARTYPE) << "vt " << vt;
        EXPECT_EQ(target.vt, VT_I4);
    }
}

TEST(VariantClear, ALockedArrayIsReportedButTheVariantIsEmptiedAnyway)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    VARIANT v = holding(array, VT_I4);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(VariantCopy, DuplicatesStringsExactlyAndNullAsEmpty)
{
    VARIANT source = holding(SysAllocStringByteLen("odd", 3)); // not a whole number of characters
    VARIANT copy = holding(SysAllocString(L"replaced"));         // cleared by the copy
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(SysStringByteLen(copy.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(copy.bstrVal, "odd", 3), 0);
    VariantClear(&copy);
    VariantClear(&source);

    VARIANT null_text = holding(BSTR{});
    ASSERT_EQ(VariantCopy(&copy, &null_text), S_OK);
    ASSERT_NE(copy.bstrVal, nullptr);
    EXPECT_EQ(SysStringLen(copy.bstrVal), 0u);
    VariantClear(&copy);
}

TEST(VariantCopy, AddRefsInterfacesHeldByValueOnly)
{
    auto object = fake::hold<Unknown>("object");
    auto dispatch = fake::hold<core_test::Dispatch>("dispatch");
    VARIANT copy = make(VT_EMPTY);
    for (VARIANT source : {holding(object.get()), holding(dispatch->unknown(), VT_DISPATCH)}) {
        ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
        EXPECT_EQ(copy.punkVal, source.punkVal);
        EXPECT_EQ(object->references() + dispatch->references(), 3u);
        VariantClear(&copy);
        EXPECT_EQ(object->references() + dispatch->references(), 2u);
    }

    IUnknown* pointer = object.get();
    VARIANT by_reference = reference(VT_UNKNOWN, &pointer);
    ASSERT_EQ(VariantCopy(&copy, &by_reference), S_OK);
    EXPECT_EQ(copy.ppunkVal, &pointer);
    EXPECT_EQ(object->references(), 1u);
}

TEST(VariantCopy, CopiesArraysDeeply)
{
    auto object = fake::hold<Unknown>("element");
    SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    LONG first = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &first, object.get()), S_OK);
    VARIANT source = holding(objects, VT_UNKNOWN);
    VARIANT copy = make(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.parray, objects);
    EXPECT_EQ(object->references(), 3u); // the caller's, the source array's, the copy's
    VariantClear(&copy);
    VariantClear(&source);
    EXPECT_EQ(object->references(), 1u);

    VARIANT no_array = holding(static_cast<SAFEARRAY*>(nullptr), VT_I4);
    ASSERT_EQ(VariantCopy(&copy, &no_array), S_OK);
    EXPECT_EQ(copy.vt, VT_ARRAY | VT_I4);
    EXPECT_EQ(copy.parray, nullptr);
}

TEST(VariantCopy, CopiesADecimalWhole)
{
    VARIANT source;
    source.decVal.Hi32 = 7;
    source.decVal.Lo64 = 0x1234567890ull;
    source.decVal.scale = 4;
    source.decVal.sign = DECIMAL_NEG;
    source.vt = VT_DECIMAL;
    VARIANT copy = make(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.vt, VT_DECIMAL);
    EXPECT_EQ(copy.decVal.Hi32, 7u);
    EXPECT_EQ(copy.decVal.Lo64, 0x1234567890ull);
    EXPECT_EQ(copy.decVal.signscale, source.decVal.signscale);
}

TEST(VariantCopy, CopiesRecordsThroughTheirRecordInfo)
{
    auto record_info = fake::hold<core_test::PairRecord>("record info");
    VARIANT source = make(VT_RECORD);
    source.pRecInfo = record_info.get();
    source.pvRecord = record_info->RecordCreate();
    static_cast<core_test::Pair*>(source.pvRecord)->text = SysAllocString(L"field");
    source.pRecInfo->AddRef();

    VARIANT copy = make(VT_EMPTY);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.pvRecord, source.pvRecord);
    EXPECT_EQ(view(static_cast<core_test::Pair*>(copy.pvRecord)->text), L"field");
    EXPECT_EQ(record_info->references(), 3u);
    VariantClear(&copy);
    EXPECT_EQ(record_info->references(), 2u);
    VariantClear(&source);
}

TEST(VariantCopyInd, DereferencesEveryKindOfReference)
{
    LONG number = 77;
    DOUBLE real = 2.5;
    CHAR small = -5;
    VARIANT_BOOL flag = VARIANT_TRUE;
    DECIMAL decimal{};
    decimal.Lo64 = 15;
    decimal.scale = 1;
    Text text(L"shared");
    BSTR text_pointer = text.get();
    VARIANT inner = make(VT_I2);
    inner.iVal = 9;
    VARIANT inner_reference = reference(VT_I4, &number);
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);

    struct Case {
        VARIANT source;
        VARTYPE expected_vt;
        std::function<bool(const VARIANT&)> holds_value;
    };
    const Case cases[] = {
        {reference(VT_I4, &number), VT_I4, [](const VARIANT& v) { return v.lVal == 77; }},
        {reference(VT_R8, &real), VT_R8, [](const VARIANT& v) { return v.dblVal == 2.5; }},
        {reference(VT_I1, &small), VT_I1, [](const VARIANT& v) { return v.cVal == -5; }},
        {reference(VT_BOOL, &flag), VT_BOOL, [](const VARIANT& v) { return v.boolVal == VARIANT_TRUE; }},
        {reference(VT_DECIMAL, &decimal), VT_DECIMAL,
         [](const VARIANT& v) { return v.decVal.Lo64 == 15 && v.decVal.scale == 1; }},
        {reference(VT_BSTR, &text_pointer), VT_BSTR,
         [&](const VARIANT& v) { return v.bstrVal != text.get() && view(v.bstrVal) == L"shared"; }},
        {reference(VT_ARRAY | VT_I4, &array), VT_ARRAY | VT_I4,
         [&](const VARIANT& v) { return v.parray != array && v.parray->rgsabound[0].cElements == 1; }},
        {reference(VT_VARIANT, &inner), VT_I2, [](const VARIANT& v) { return v.iVal == 9; }},
        // A reference inside the referenced VARIANT is followed as well.
        {reference(VT_VARIANT, &inner_reference), VT_I4, [](const VARIANT& v) { return v.lVal == 77; }},
    };
    for (const Case& c : cases) {
        VARIANT copy = make(VT_EMPTY);
        ASSERT_EQ(VariantCopyInd(&copy, &c.source), S_OK) << "vt " << c.source.vt;
        EXPECT_EQ(copy.vt, c.expected_vt) << "vt " << c.source.vt;
        EXPECT_TRUE(c.holds_value(copy)) << "vt " << c.source.vt;
        VariantClear(&copy);
    }
    SafeArrayDestroy(array);
}

TEST(VariantCopyInd, RefusesNestedVariantReferencesAndNullPointers)
{
    VARIANT innermost = make(VT_I4);
    VARIANT middle = reference(VT_VARIANT, &innermost);
    VARIANT outer = reference(VT_VARIANT, &middle);
    VARIANT copy = make(VT_I2);
    EXPECT_EQ(VariantCopyInd(&copy, &outer), E_INVALIDARG);
    EXPECT_EQ(copy.vt, VT_I2);

    VARIANT dangling = reference(VT_I4, nullptr);
    EXPECT_EQ(VariantCopyInd(&copy, &dangling), E_INVALIDARG);
}

TEST(VariantCopyInd, WorksInPlace)
{
    Text text(L"in place");
    BSTR pointer = text.get();
    VARIANT v = reference(VT_BSTR, &pointer);
    ASSERT_EQ(VariantCopyInd(&v, &v), S_OK);
    EXPECT_EQ(v.vt, VT_BSTR);
    EXPECT_NE(v.bstrVal, text.get());
    EXPECT_EQ(view(v.bstrVal), L"in place");
    VariantClear(&v);
}
