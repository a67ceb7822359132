// SAFEARRAY management: descriptors as oleaut32 lays them out, bounds, locks, element ownership.
#include "platform/core_fakes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

using core_test::Unknown;

namespace {

struct Destroy {
    void operator()(SAFEARRAY* array) const { EXPECT_EQ(SafeArrayDestroy(array), S_OK); }
};
using Array = std::unique_ptr<SAFEARRAY, Destroy>;

Array vector_of(VARTYPE vt, ULONG count, LONG lower_bound = 0)
{
    return Array(SafeArrayCreateVector(vt, lower_bound, count));
}

std::ptrdiff_t offset_of(SAFEARRAY* array, std::initializer_list<LONG> indices, HRESULT* result = nullptr)
{
    void* element = nullptr;
    const HRESULT hr = SafeArrayPtrOfIndex(array, const_cast<LONG*>(indices.begin()), &element);
    if (result)
        *result = hr;
    return FAILED(hr) ? -1 : static_cast<char*>(element) - static_cast<char*>(array->pvData);
}

std::wstring_view view(BSTR bstr) { return {bstr, SysStringLen(bstr)}; }

} // namespace

TEST(SafeArrayCreate, DescribesEachElementTypeAsOleautDoes)
{
    struct Case {
        VARTYPE vt;
        USHORT features;
        ULONG element_size;
    };
    const Case cases[] = {
        {VT_UI1, FADF_HAVEVARTYPE, 1},         {VT_I2, FADF_HAVEVARTYPE, 2},
        {VT_BOOL, FADF_HAVEVARTYPE, 2},        {VT_I4, FADF_HAVEVARTYPE, 4},
        {VT_R4, FADF_HAVEVARTYPE, 4},          {VT_ERROR, FADF_HAVEVARTYPE, 4},
        {VT_R8, FADF_HAVEVARTYPE, 8},          {VT_CY, FADF_HAVEVARTYPE, 8},
        {VT_DATE, FADF_HAVEVARTYPE, 8},        {VT_I8, FADF_HAVEVARTYPE, 8},
        {VT_DECIMAL, FADF_HAVEVARTYPE, 16},    {VT_BSTR, 0x0180, sizeof(BSTR)},
        {VT_UNKNOWN, 0x0240, sizeof(void*)},   {VT_DISPATCH, 0x0440, sizeof(void*)},
        {VT_VARIANT, 0x0880, sizeof(VARIANT)},
    };
    for (const Case& c : cases) {
        SAFEARRAYBOUND bound{3, 1};
        Array array(SafeArrayCreate(c.vt, 1, &bound));
        ASSERT_NE(array, nullptr) << "vt " << c.vt;
        EXPECT_EQ(array->fFeatures, c.features) << "vt " << c.vt;
        EXPECT_EQ(array->cbElements, c.element_size) << "vt " << c.vt;
        EXPECT_EQ(array->cLocks, 0u);
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(array.get(), &vt), S_OK);
        EXPECT_EQ(vt, c.vt);
        // The element type sits right before the descriptor, where oleaut32 keeps it.
        if (c.features & FADF_HAVEVARTYPE) {
            EXPECT_EQ(reinterpret_cast<const DWORD*>(array.get())[-1], c.vt);
        }

        Array vector = vector_of(c.vt, 3);
        EXPECT_EQ(vector->fFeatures, c.features | FADF_CREATEVECTOR) << "vt " << c.vt;
    }

    GUID iid{};
    EXPECT_EQ(SafeArrayGetIID(vector_of(VT_DISPATCH, 1).get(), &iid), S_OK);
    EXPECT_EQ(iid, IID_IDispatch);
    EXPECT_EQ(SafeArrayGetIID(vector_of(VT_UNKNOWN, 1).get(), &iid), S_OK);
    EXPECT_EQ(iid, IID_IUnknown);
    EXPECT_EQ(SafeArrayGetIID(vector_of(VT_I4, 1).get(), &iid), E_INVALIDARG);
}

TEST(SafeArrayCreate, RefusesWhatCannotBeAnArray)
{
    SAFEARRAYBOUND bound{3, 0};
    for (VARTYPE vt : {VARTYPE(VT_EMPTY), VARTYPE(VT_NULL), VARTYPE(VT_RECORD), VARTYPE(VT_I4 | VT_ARRAY),
                       VARTYPE(VT_I4 | VT_BYREF), VARTYPE(0x7f)})
        EXPECT_EQ(SafeArrayCreate(vt, 1, &bound), nullptr) << "vt " << vt;
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_RECORD, 0, 1), nullptr);

    Array empty = vector_of(VT_BSTR, 0);
    ASSERT_NE(empty, nullptr);
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(empty.get(), 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
}

TEST(SafeArrayBounds, AreStoredInReverseWhileIndicesFollowCreationOrder)
{
    SAFEARRAYBOUND bounds[] = {{2, 1}, {3, 5}};
    Array array(SafeArrayCreate(VT_I4, 2, bounds));
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->rgsabound[0].cElements, 3u);
    EXPECT_EQ(array->rgsabound[0].lLbound, 5);
    EXPECT_EQ(array->rgsabound[1].cElements, 2u);

    LONG lower = 0, upper = 0;
    EXPECT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 2);
    EXPECT_EQ(SafeArrayGetLBound(array.get(), 2, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 2, &upper), S_OK);
    EXPECT_EQ(lower, 5);
    EXPECT_EQ(upper, 7);
    EXPECT_EQ(SafeArrayGetLBound(array.get(), 0, &lower), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 3, &upper), DISP_E_BADINDEX);

    // The first index varies fastest.
    EXPECT_EQ(offset_of(array.get(), {1, 5}), 0);
    EXPECT_EQ(offset_of(array.get(), {2, 5}), 4);
    EXPECT_EQ(offset_of(array.get(), {1, 6}), 8);
    EXPECT_EQ(offset_of(array.get(), {2, 7}), 20);
    for (auto indices : {std::initializer_list<LONG>{0, 5}, {3, 5}, {1, 4}, {1, 8}}) {
        HRESULT hr = S_OK;
        offset_of(array.get(), indices, &hr);
        EXPECT_EQ(hr, DISP_E_BADINDEX);
    }

    Array negative = vector_of(VT_I2, 3, -2);
    EXPECT_EQ(offset_of(negative.get(), {-2}), 0);
    EXPECT_EQ(offset_of(negative.get(), {0}), 4);
    LONG past = 1;
    SHORT value = 1;
    EXPECT_EQ(SafeArrayPutElement(negative.get(), &past, &value), DISP_E_BADINDEX);
}

TEST(SafeArrayLock, CountsLocksAndProtectsTheArray)
{
    Array array = vector_of(VT_I4, 2);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array.get(), &data), S_OK);
    EXPECT_EQ(data, array->pvData);
    ASSERT_EQ(SafeArrayLock(array.get()), S_OK);
    EXPECT_EQ(array->cLocks, 2u);

    SAFEARRAYBOUND bigger{4, 0};
    EXPECT_EQ(SafeArrayDestroy(array.get()), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayRedim(array.get(), &bigger), DISP_E_ARRAYISLOCKED);

    EXPECT_EQ(SafeArrayUnlock(array.get()), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array.get()), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array.get()), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayRedim(array.get(), &bigger), S_OK);
}

TEST(SafeArrayElements, StringsAreCopiedInAndOut)
{
    Array array = vector_of(VT_BSTR, 2);
    core_test::Text text(L"text");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, text.get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, text.get()), S_OK); // replaces and frees the first copy
    BSTR stored = static_cast<BSTR*>(array->pvData)[0];
    EXPECT_NE(stored, text.get());
    EXPECT_EQ(view(stored), L"text");

    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &out), S_OK);
    EXPECT_NE(out, stored);
    EXPECT_EQ(view(out), L"text");
    SysFreeString(out);

    index = 1;
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, nullptr), S_OK);
    ASSERT_NE(static_cast<BSTR*>(array->pvData)[1], nullptr); // a NULL BSTR is stored as ""
    EXPECT_EQ(SysStringLen(static_cast<BSTR*>(array->pvData)[1]), 0u);
}

TEST(SafeArrayElements, InterfacesAreReferencedOncePerElement)
{
    auto first = fake::hold<Unknown>("first");
    auto second = fake::hold<Unknown>("second");
    {
        Array array = vector_of(VT_UNKNOWN, 2);
        LONG index = 0;
        ASSERT_EQ(SafeArrayPutElement(array.get(), &index, first.get()), S_OK);
        EXPECT_EQ(first->references(), 2u);
        ASSERT_EQ(SafeArrayPutElement(array.get(), &index, second.get()), S_OK);
        EXPECT_EQ(first->references(), 1u);
        EXPECT_EQ(second->references(), 2u);

        IUnknown* out = nullptr;
        ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &out), S_OK);
        EXPECT_EQ(out, second.get());
        EXPECT_EQ(second->references(), 3u);
        out->Release();
    }
    EXPECT_EQ(second->references(), 1u);
}

TEST(SafeArrayElements, VariantsAreCopiedDeeply)
{
    Array array = vector_of(VT_VARIANT, 1);
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_BSTR;
    in.bstrVal = SysAllocString(L"inside");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, &in), S_OK);
    VARIANT out;
    ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_NE(out.bstrVal, in.bstrVal);
    EXPECT_NE(out.bstrVal, static_cast<VARIANT*>(array->pvData)->bstrVal);
    EXPECT_EQ(view(out.bstrVal), L"inside");
    VariantClear(&out);
    VariantClear(&in);
}

TEST(SafeArrayElements, RecordsGoThroughTheirRecordInfo)
{
    auto record_info = fake::hold<core_test::PairRecord>("pair");
    SAFEARRAYBOUND bound{2, 0};
    Array array(SafeArrayCreateEx(VT_RECORD, 1, &bound, record_info.get()));
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->fFeatures, FADF_RECORD);
    EXPECT_EQ(array->cbElements, sizeof(core_test::Pair));
    EXPECT_EQ(record_info->references(), 2u);
    IRecordInfo* kept = nullptr;
    ASSERT_EQ(SafeArrayGetRecordInfo(array.get(), &kept), S_OK);
    EXPECT_EQ(kept, record_info.get());
    kept->Release();

    core_test::Pair in{42, SysAllocString(L"answer")};
    LONG index = 1;
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, &in), S_OK);
    ASSERT_EQ(SafeArrayPutElement(array.get(), &index, &in), S_OK);
    core_test::Pair out{};
    ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &out), S_OK);
    EXPECT_EQ(out.number, 42);
    EXPECT_NE(out.text, in.text);
    EXPECT_EQ(view(out.text), L"answer");
    record_info->RecordClear(&out);
    record_info->RecordClear(&in);

    Array copy;
    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(array.get(), &raw), S_OK);
    copy.reset(raw);
    EXPECT_EQ(record_info->references(), 3u);
    EXPECT_EQ(view(static_cast<core_test::Pair*>(copy->pvData)[1].text), L"answer");
}

TEST(SafeArrayCopy, DuplicatesEveryElementAndKeepsTheShape)
{
    auto object = fake::hold<Unknown>("object");
    SAFEARRAYBOUND bounds[] = {{2, -1}, {2, 3}};
    Array texts(SafeArrayCreate(VT_BSTR, 2, bounds));
    LONG index[] = {0, 4};
    core_test::Text text(L"copied");
    ASSERT_EQ(SafeArrayPutElement(texts.get(), index, text.get()), S_OK);

    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(texts.get(), &raw), S_OK);
    Array copy(raw);
    EXPECT_EQ(copy->fFeatures, texts->fFeatures);
    EXPECT_EQ(copy->rgsabound[0].lLbound, 3);
    EXPECT_EQ(copy->rgsabound[1].lLbound, -1);
    const auto* originals = static_cast<BSTR*>(texts->pvData);
    const auto* copies = static_cast<BSTR*>(copy->pvData);
    EXPECT_EQ(copies[0], nullptr); // never set: NULL stays NULL
    EXPECT_NE(copies[3], originals[3]);
    EXPECT_EQ(view(copies[3]), L"copied");

    Array objects = vector_of(VT_UNKNOWN, 3, 1);
    LONG at = 2;
    ASSERT_EQ(SafeArrayPutElement(objects.get(), &at, object.get()), S_OK);
    ASSERT_EQ(SafeArrayCopy(objects.get(), &raw), S_OK);
    EXPECT_EQ(object->references(), 3u);
    EXPECT_EQ(SafeArrayDestroy(raw), S_OK);
    EXPECT_EQ(object->references(), 2u);

    EXPECT_EQ(SafeArrayCopy(nullptr, &raw), S_OK);
    EXPECT_EQ(raw, nullptr);
}

TEST(SafeArrayCopyData, ReplacesTheTargetElementsWhenTheShapesMatch)
{
    Array source = vector_of(VT_BSTR, 2, 0);
    Array target = vector_of(VT_BSTR, 2, 10);
    core_test::Text fresh(L"fresh");
    core_test::Text stale(L"stale");
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(source.get(), &index, fresh.get()), S_OK);
    index = 10;
    ASSERT_EQ(SafeArrayPutElement(target.get(), &index, stale.get()), S_OK);
    ASSERT_EQ(SafeArrayCopyData(source.get(), target.get()), S_OK);
    EXPECT_EQ(view(static_cast<BSTR*>(target->pvData)[0]), L"fresh");

    Array longer = vector_of(VT_BSTR, 3);
    EXPECT_EQ(SafeArrayCopyData(source.get(), longer.get()), E_INVALIDARG);
    Array numbers = vector_of(VT_I4, 2);
    EXPECT_EQ(SafeArrayCopyData(source.get(), numbers.get()), E_INVALIDARG);
}

TEST(SafeArrayRedim, ResizesTheLastDimensionKeepingElementsInPlace)
{
    auto object = fake::hold<Unknown>("object");
    Array objects = vector_of(VT_UNKNOWN, 3);
    LONG last = 2;
    ASSERT_EQ(SafeArrayPutElement(objects.get(), &last, object.get()), S_OK);
    SAFEARRAYBOUND shorter{2, 0};
    ASSERT_EQ(SafeArrayRedim(objects.get(), &shorter), S_OK);
    EXPECT_EQ(object->references(), 1u); // the dropped element was released
    SAFEARRAYBOUND longer{5, 1};
    ASSERT_EQ(SafeArrayRedim(objects.get(), &longer), S_OK);
    LONG lower = 0;
    EXPECT_EQ(SafeArrayGetLBound(objects.get(), 1, &lower), S_OK);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(static_cast<IUnknown**>(objects->pvData)[4], nullptr); // new elements start zeroed

    SAFEARRAYBOUND bounds[] = {{2, 0}, {2, 0}};
    Array grid(SafeArrayCreate(VT_I4, 2, bounds));
    LONG corner[] = {1, 1};
    LONG value = 99;
    ASSERT_EQ(SafeArrayPutElement(grid.get(), corner, &value), S_OK);
    SAFEARRAYBOUND three{3, 0};
    ASSERT_EQ(SafeArrayRedim(grid.get(), &three), S_OK);
    LONG out = 0;
    ASSERT_EQ(SafeArrayGetElement(grid.get(), corner, &out), S_OK);
    EXPECT_EQ(out, 99);
    LONG added[] = {1, 2};
    ASSERT_EQ(SafeArrayGetElement(grid.get(), added, &out), S_OK);
    EXPECT_EQ(out, 0);
}

TEST(SafeArray, NullArgumentsAreRefused)
{
    Array array = vector_of(VT_I4, 1);
    LONG index = 0;
    LONG bound = 0;
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(array.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(array.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(nullptr, &index, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(array.get(), nullptr, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(array.get(), &index, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(array.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayRedim(array.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopyData(nullptr, array.get()), E_INVALIDARG);
    EXPECT_EQ(array->cLocks, 0u); // no failed call left a lock behind
}
