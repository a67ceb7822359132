// The COM array helpers: element counts and the accessor over UNKNOWN, DISPATCH and VARIANT arrays.
#include "support/fake_com.h"

#include <Kernel/com/com>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct FakeDispatch : fake::Fake<IDispatch> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// A one-dimensional array, destroyed at the end of the test unless handed over.
struct Array {
    Array(VARTYPE type, LONG lower_bound, ULONG count) : get(SafeArrayCreateVector(type, lower_bound, count)) {}
    ~Array()
    {
        if (get) {
            EXPECT_EQ(SafeArrayDestroy(get), S_OK);
        }
    }
    // At the array's own index; the array adds a reference of its own.
    void put(LONG index, void* element) { EXPECT_EQ(SafeArrayPutElement(get, &index, element), S_OK); }
    SAFEARRAY* get;
};

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
    Array three(VT_UNKNOWN, 5, 3), empty(VT_UNKNOWN, 0, 0);
    EXPECT_EQ(get_safearray_size(three.get, 1), 3u);
    EXPECT_EQ(get_safearray_size(empty.get, 1), 0u);
    EXPECT_EQ(failure_of([&] { get_safearray_size(three.get, 2); }), std::make_tuple(DISP_E_BADINDEX, 25, L"Call failed"));
    EXPECT_EQ(std::get<0>(failure_of([&] { get_safearray_size(nullptr, 1); })), E_INVALIDARG);
}

TEST(ObjectSafeArrayAccessor, ReadsUnknownAndDispatchArraysFromTheirFirstElement)
{
    auto first = fake::hold<fake::Unknown>("first");
    auto dispatch = fake::hold<FakeDispatch>("dispatch");
    Array unknowns(VT_UNKNOWN, 1, 2), dispatches(VT_DISPATCH, -3, 1);
    unknowns.put(1, first->unknown()); // position 0; position 1 stays null
    dispatches.put(-3, static_cast<IDispatch*>(dispatch.get()));

    CObjectSafeArrayAccessor elements(unknowns.get, false);
    {
        ATL::CComPtr<IUnknown> element = elements[0];
        EXPECT_EQ(element.p, first->unknown());
        EXPECT_EQ(first->references(), 3u); // ours, the array's, the element's
        EXPECT_EQ(elements[1].p, nullptr);
    }
    elements.Attach(dispatches.get, false); // leaves the first array
    EXPECT_EQ(elements[0].p, static_cast<IUnknown*>(static_cast<IDispatch*>(dispatch.get())));
    EXPECT_EQ(elements.Detach(), S_OK);
    EXPECT_EQ(elements.array(), nullptr);
}

TEST(ObjectSafeArrayAccessor, ReadsVariantArraysOfInterfacesOnly)
{
    auto object = fake::hold<fake::Unknown>("object");
    Array variants(VT_VARIANT, 0, 3);
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_UNKNOWN;
    element.punkVal = object->unknown();
    variants.put(0, &element);
    element.vt = VT_I4;
    variants.put(1, &element); // position 2 stays VT_EMPTY

    CObjectSafeArrayAccessor elements(variants.get, false);
    EXPECT_EQ(elements[0].p, object->unknown());
    for (const int position : {1, 2})
        EXPECT_EQ(failure_of([&] { elements[position]; }), std::make_tuple(E_FAIL, 164, L"Invalid element array type."));
}

TEST(ObjectSafeArrayAccessor, RefusesOtherArraysAndHoldsNothingAfterwards)
{
    Array strings(VT_BSTR, 0, 1);
    CObjectSafeArrayAccessor elements;
    EXPECT_EQ(failure_of([&] { elements.Attach(strings.get, true); }), std::make_tuple(E_INVALIDARG, 110, L"Invalid array type."));
    EXPECT_EQ(elements.array(), nullptr);
    EXPECT_EQ(std::get<1>(failure_of([&] { elements.Attach(nullptr, false); })), 104);
    EXPECT_EQ(elements.array(), nullptr);
}

TEST(ObjectSafeArrayAccessor, KeepsTheArrayAccessedAndDestroysItOnlyWhenOwning)
{
    auto object = fake::hold<fake::Unknown>("object");
    Array borrowed(VT_UNKNOWN, 0, 1), handed_over(VT_UNKNOWN, 0, 1);
    borrowed.put(0, object->unknown());
    handed_over.put(0, object->unknown());
    {
        CObjectSafeArrayAccessor elements(borrowed.get, false);
        EXPECT_EQ(SafeArrayDestroy(borrowed.get), DISP_E_ARRAYISLOCKED);
    }
    EXPECT_EQ(object->references(), 3u); // both arrays still hold it
    { CObjectSafeArrayAccessor elements(std::exchange(handed_over.get, nullptr), true); }
    EXPECT_EQ(object->references(), 2u); // the handed-over array went with its element
}

} // namespace
