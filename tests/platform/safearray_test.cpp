// SAFEARRAY management: descriptors as oleaut32 lays them out, bounds, locks, element ownership.
#include "platform/fakes.h"

#include <gtest/gtest.h>

using namespace platform_test;

namespace {

// The byte offset of an element from the start of the data, or the failure.
std::ptrdiff_t offset_of(SAFEARRAY* array, std::initializer_list<LONG> indices)
{
    void* element = nullptr;
    const HRESULT hr = SafeArrayPtrOfIndex(array, const_cast<LONG*>(indices.begin()), &element);
    return FAILED(hr) ? hr : static_cast<char*>(element) - static_cast<char*>(array->pvData);
}

} // namespace

// Bounds are stored in reverse (the conformance table checks them); indices follow creation order,
// the first varying fastest.
TEST(SafeArrayBounds, IndicesFollowCreationOrder)
{
    SAFEARRAYBOUND bounds[] = {{2, 1}, {3, 5}};
    Array array(SafeArrayCreate(VT_I4, 2, bounds));
    EXPECT_EQ(offset_of(array.get(), {2, 5}), 4);
    EXPECT_EQ(offset_of(array.get(), {1, 6}), 8);
    EXPECT_EQ(offset_of(array.get(), {2, 7}), 20);
    for (auto outside : {std::initializer_list<LONG>{0, 5}, {3, 5}, {1, 4}, {1, 8}})
        EXPECT_EQ(offset_of(array.get(), outside), DISP_E_BADINDEX);
    EXPECT_EQ(offset_of(vector_of(VT_I2, 3, -2).get(), {0}), 4);
}

// The references a copy of objects takes are the table's (VariantCopy of an array).
TEST(SafeArrayCopy, DuplicatesEveryElementInTheSameShape)
{
    SAFEARRAYBOUND bounds[] = {{2, -1}, {2, 3}};
    Array texts(SafeArrayCreate(VT_BSTR, 2, bounds));
    LONG index[] = {0, 4};
    Text text(SysAllocString(L"copied"));
    ASSERT_EQ(SafeArrayPutElement(texts.get(), index, text.get()), S_OK);
    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(texts.get(), &raw), S_OK);
    Array copy(raw);
    EXPECT_EQ(copy->fFeatures, texts->fFeatures);
    EXPECT_EQ(copy->rgsabound[0].lLbound, 3);
    EXPECT_EQ(copy->rgsabound[1].lLbound, -1);
    const auto* copies = static_cast<BSTR*>(copy->pvData);
    EXPECT_EQ(copies[0], nullptr); // never set: NULL stays NULL
    EXPECT_NE(copies[3], static_cast<BSTR*>(texts->pvData)[3]);
    EXPECT_EQ(view(copies[3]), L"copied");

    Array target(SafeArrayCreate(VT_BSTR, 2, bounds));
    EXPECT_EQ(SafeArrayCopyData(copy.get(), target.get()), S_OK);
    EXPECT_EQ(view(static_cast<BSTR*>(target->pvData)[3]), L"copied");
    EXPECT_EQ(SafeArrayCopyData(copy.get(), vector_of(VT_BSTR, 4).get()), E_INVALIDARG);
}

// One dimension, and the elements it drops, are the table's.
TEST(SafeArrayRedim, ResizesTheLastDimensionKeepingElementsInPlace)
{
    SAFEARRAYBOUND bounds[] = {{2, 0}, {2, 0}};
    Array grid(SafeArrayCreate(VT_I4, 2, bounds));
    LONG corner[] = {1, 1}, added[] = {1, 2}, value = 99;
    ASSERT_EQ(SafeArrayPutElement(grid.get(), corner, &value), S_OK);
    SAFEARRAYBOUND three{3, 0};
    ASSERT_EQ(SafeArrayRedim(grid.get(), &three), S_OK);
    EXPECT_EQ(offset_of(grid.get(), {1, 1}), 12); // in place
    ASSERT_EQ(SafeArrayGetElement(grid.get(), added, &value), S_OK);
    EXPECT_EQ(value, 0); // new elements start zeroed
}
