// The COM array helpers: element counts and the accessor over UNKNOWN, DISPATCH and VARIANT arrays.
#include "support/fake_com.h"

#include <Kernel/com/com>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr const char* com_header = "Common/Kernel/include/Kernel/com/com";

class FakeObject : public fake::Fake<IUnknown> {
public:
    using Fake::Fake;
};

class FakeDispatch : public fake::Fake<IDispatch> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// A one-dimensional array destroyed at the end of the test unless a test hands it over.
class Array {
public:
    Array(VARTYPE type, LONG lower_bound, ULONG count) : array_(SafeArrayCreateVector(type, lower_bound, count))
    {
        EXPECT_NE(array_, nullptr);
    }
    ~Array()
    {
        if (array_) {
            EXPECT_EQ(SafeArrayDestroy(array_), S_OK);
        }
    }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;

    SAFEARRAY* get() const { return array_; }
    SAFEARRAY* release() { return std::exchange(array_, nullptr); }
    // Stores at the array's own index (lower bound included); the array adds its own reference.
    void put(LONG index, void* element) { ASSERT_EQ(SafeArrayPutElement(array_, &index, element), S_OK); }

private:
    SAFEARRAY* array_;
};

// The HRESULT and throw line of what `action` throws.
std::pair<HRESULT, int> failure_of(const std::function<void()>& action, const char* expected_message = nullptr)
{
    try {
        action();
    } catch (const CHResultException& e) {
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), com_header);
        if (expected_message) {
            EXPECT_EQ(ostra::lux::kernel::to_utf8(e.message()), expected_message);
        }
        return {e.get_hresult(), *boost::get_error_info<boost::throw_line>(e)};
    }
    return {S_OK, 0};
}

TEST(SafeArraySize, CountsOneDimensionWhateverItsLowerBound)
{
    Array three(VT_UNKNOWN, 5, 3), empty(VT_UNKNOWN, 0, 0);
    EXPECT_EQ(get_safearray_size(three.get(), 1), 3u);
    EXPECT_EQ(get_safearray_size(empty.get(), 1), 0u);
    EXPECT_EQ(failure_of([&] { get_safearray_size(three.get(), 2); }), std::make_pair(DISP_E_BADINDEX, 25));
    EXPECT_EQ(failure_of([&] { get_safearray_size(nullptr, 1); }), std::make_pair(E_INVALIDARG, 25));
}

TEST(ObjectSafeArrayAccessor, ReadsUnknownAndDispatchArraysFromTheirFirstElement)
{
    auto first = fake::hold<FakeObject>("first");
    auto dispatch = fake::hold<FakeDispatch>("dispatch");
    Array unknowns(VT_UNKNOWN, 1, 2), dispatches(VT_DISPATCH, -3, 1);
    unknowns.put(1, first->unknown()); // position 0; position 1 stays null
    dispatches.put(-3, static_cast<IDispatch*>(dispatch.get()));

    CObjectSafeArrayAccessor elements(unknowns.get(), false);
    EXPECT_EQ(elements.element_type(), VT_UNKNOWN);
    {
        ATL::CComPtr<IUnknown> element = elements[0];
        EXPECT_EQ(element.p, first->unknown());
        EXPECT_EQ(first->references(), 3u); // ours, the array's, the element's
        EXPECT_EQ(elements[1].p, nullptr);
    }
    EXPECT_EQ(first->references(), 2u);

    elements.Attach(dispatches.get(), false); // leaves the first array
    EXPECT_EQ(elements[0].p, static_cast<IUnknown*>(static_cast<IDispatch*>(dispatch.get())));
    EXPECT_EQ(elements.Detach(), S_OK);
    EXPECT_EQ(elements.array(), nullptr);
}

TEST(ObjectSafeArrayAccessor, ReadsVariantArraysOfInterfacesOnly)
{
    auto object = fake::hold<FakeObject>("object");
    Array variants(VT_VARIANT, 0, 3);
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_UNKNOWN;
    element.punkVal = object->unknown();
    variants.put(0, &element);
    element.vt = VT_I4;
    element.lVal = 7;
    variants.put(1, &element);
    // position 2 stays VT_EMPTY

    CObjectSafeArrayAccessor elements(variants.get(), false);
    EXPECT_EQ(elements[0].p, object->unknown());
    EXPECT_EQ(failure_of([&] { elements[1]; }, "Invalid element array type."), std::make_pair(E_FAIL, 164));
    EXPECT_EQ(failure_of([&] { elements[2]; }, "Invalid element array type."), std::make_pair(E_FAIL, 164));
}

TEST(ObjectSafeArrayAccessor, RefusesOtherArraysAndHoldsNothingAfterwards)
{
    Array strings(VT_BSTR, 0, 1);
    CObjectSafeArrayAccessor elements;
    EXPECT_EQ(failure_of([&] { elements.Attach(strings.get(), true); }, "Invalid array type."),
              std::make_pair(E_INVALIDARG, 110));
    EXPECT_EQ(elements.array(), nullptr);
    EXPECT_EQ(failure_of([&] { elements.Attach(nullptr, false); }), std::make_pair(E_INVALIDARG, 104));
    EXPECT_EQ(elements.array(), nullptr);
}

TEST(ObjectSafeArrayAccessor, KeepsTheArrayAccessedAndDestroysItOnlyWhenOwning)
{
    auto object = fake::hold<FakeObject>("object");
    Array borrowed(VT_UNKNOWN, 0, 1);
    borrowed.put(0, object->unknown());
    {
        CObjectSafeArrayAccessor elements(borrowed.get(), false);
        EXPECT_EQ(SafeArrayDestroy(borrowed.get()), DISP_E_ARRAYISLOCKED);
    }
    EXPECT_EQ(object->references(), 2u); // the borrowed array is still alive

    Array handed_over(VT_UNKNOWN, 0, 1);
    handed_over.put(0, object->unknown());
    EXPECT_EQ(object->references(), 3u);
    { CObjectSafeArrayAccessor elements(handed_over.release(), true); }
    EXPECT_EQ(object->references(), 2u); // destroyed with its element
}

} // namespace
