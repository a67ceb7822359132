// The COM array helpers: element counts and the accessor over UNKNOWN, DISPATCH and VARIANT arrays.
#include "platform/fakes.h"

#include <Kernel/com/com>

#include <comdef.h>
#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace platform_test;

// Puts an element at the array's own index; the array adds a reference of its own.
void put(const Array& array, LONG index, void* element)
{
    EXPECT_EQ(SafeArrayPutElement(array.get(), &index, element), S_OK);
}

// HRESULT and line of the CHResultException that `action` throws from the header, with its message.
std::tuple<HRESULT, int, std::wstring> failure_of(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CHResultException& e) {
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), "Common/Kernel/include/Kernel/com/com");
        return {e.get_hresult(), *boost::get_error_info<boost::throw_line>(e), e.message()};
    }
    return {S_OK, 0, L""};
}

TEST(SafeArraySize, CountsOneDimensionWhateverItsLowerBound)
{
    const Array three = vector_of(VT_UNKNOWN, 3, 5), empty = vector_of(VT_UNKNOWN, 0);
    EXPECT_EQ(get_safearray_size(three.get(), 1), 3u);
    EXPECT_EQ(get_safearray_size(empty.get(), 1), 0u);
    EXPECT_EQ(failure_of([&] { get_safearray_size(three.get(), 2); }), std::make_tuple(DISP_E_BADINDEX, 25, L"Call failed"));
    EXPECT_EQ(std::get<0>(failure_of([&] { get_safearray_size(nullptr, 1); })), E_INVALIDARG);
}

TEST(ObjectSafeArrayAccessor, ReadsUnknownAndDispatchArraysFromTheirFirstElement)
{
    auto first = fake::hold<fake::Unknown>("first");
    auto dispatch = fake::hold<FakeDispatch>("dispatch");
    const Array unknowns = vector_of(VT_UNKNOWN, 2, 1), dispatches = vector_of(VT_DISPATCH, 1, -3);
    put(unknowns, 1, first->unknown()); // position 0; position 1 stays null
    put(dispatches, -3, static_cast<IDispatch*>(dispatch.get()));

    CObjectSafeArrayAccessor elements(unknowns.get(), false);
    {
        ATL::CComPtr<IUnknown> element = elements[0];
        EXPECT_EQ(element.p, first->unknown());
        EXPECT_EQ(first->references(), 3u); // ours, the array's, the element's
        EXPECT_EQ(elements[1].p, nullptr);
    }
    elements.Attach(dispatches.get(), false); // leaves the first array
    EXPECT_EQ(elements[0].p, static_cast<IUnknown*>(static_cast<IDispatch*>(dispatch.get())));
    EXPECT_EQ(elements.Detach(), S_OK);
    EXPECT_EQ(elements.array(), nullptr);
}

TEST(ObjectSafeArrayAccessor, ReadsVariantArraysOfInterfacesOnly)
{
    auto object = fake::hold<fake::Unknown>("object");
    const Array variants = vector_of(VT_VARIANT, 3);
    _variant_t unknown(object->unknown()), number(7L);
    put(variants, 0, &unknown);
    put(variants, 1, &number); // position 2 stays VT_EMPTY

    CObjectSafeArrayAccessor elements(variants.get(), false);
    EXPECT_EQ(elements[0].p, object->unknown());
    for (const int position : {1, 2})
        EXPECT_EQ(failure_of([&] { elements[position]; }), std::make_tuple(E_FAIL, 164, L"Invalid element array type."));
}

TEST(ObjectSafeArrayAccessor, RefusesOtherArraysAndHoldsNothingAfterwards)
{
    const Array strings = vector_of(VT_BSTR, 1);
    CObjectSafeArrayAccessor elements;
    EXPECT_EQ(failure_of([&] { elements.Attach(strings.get(), true); }), std::make_tuple(E_INVALIDARG, 110, L"Invalid array type."));
    EXPECT_EQ(elements.array(), nullptr);
    EXPECT_EQ(std::get<1>(failure_of([&] { elements.Attach(nullptr, false); })), 104);
    EXPECT_EQ(elements.array(), nullptr);
}

TEST(ObjectSafeArrayAccessor, KeepsTheArrayAccessedAndDestroysItOnlyWhenOwning)
{
    auto object = fake::hold<fake::Unknown>("object");
    Array borrowed = vector_of(VT_UNKNOWN, 1), handed_over = vector_of(VT_UNKNOWN, 1);
    put(borrowed, 0, object->unknown());
    put(handed_over, 0, object->unknown());
    {
        CObjectSafeArrayAccessor elements(borrowed.get(), false);
        EXPECT_EQ(SafeArrayDestroy(borrowed.get()), DISP_E_ARRAYISLOCKED);
    }
    EXPECT_EQ(object->references(), 3u); // both arrays still hold it
    { CObjectSafeArrayAccessor elements(handed_over.release(), true); }
    EXPECT_EQ(object->references(), 2u); // the handed-over array went with its element
}

} // namespace
