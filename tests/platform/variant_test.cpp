// VARIANT lifetime: what VariantClear releases, what VariantCopy and VariantCopyInd duplicate.
#include "platform/core_fakes.h"
#include "support/fake_record_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using core_test::Text;
using core_test::view;

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

} // namespace

TEST(VariantClear, ReleasesWhatTheVariantOwnsAndNothingItPointsAt)
{
    auto object = fake::hold<fake::Unknown>("object");
    object->AddRef();
    VARIANT owned = make(VT_UNKNOWN, object->unknown());
    EXPECT_EQ(VariantClear(&owned), S_OK);
    EXPECT_EQ(owned.vt, VT_EMPTY);
    EXPECT_EQ(object->references(), 1u);

    IUnknown* pointer = object.get();
    Text text(L"kept");
    BSTR borrowed = text.get();
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
    for (VARIANT v : {reference(VT_UNKNOWN, &pointer), reference(VT_BSTR, &borrowed),
                      reference(VT_ARRAY | VT_I4, &array)})
        EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(object->references(), 1u);
    EXPECT_EQ(view(text.get()), L"kept");     // the sanitizer build sees a use after free
    EXPECT_EQ(SafeArrayDestroy(array), S_OK); // still the caller's
}

// The conformance table copies strings, objects and arrays of them; here a string of odd bytes and a
// destination holding an object that a copy from a reference must release.
TEST(VariantCopy, DuplicatesWhatTheSourceOwns)
{
    VARIANT copy = make(VT_BSTR, SysAllocString(L"replaced")); // cleared by the first copy
    VARIANT odd = make(VT_BSTR, SysAllocStringByteLen("odd", 3));
    ASSERT_EQ(VariantCopy(&copy, &odd), S_OK);
    EXPECT_NE(copy.bstrVal, odd.bstrVal);
    EXPECT_EQ(SysStringByteLen(copy.bstrVal), 3u);
    VariantClear(&odd);

    auto object = fake::hold<fake::Unknown>("object");
    VARIANT by_value = make(VT_UNKNOWN, object->unknown());
    ASSERT_EQ(VariantCopy(&copy, &by_value), S_OK);
    EXPECT_EQ(object->references(), 2u);
    IUnknown* pointer = object.get();
    VARIANT by_reference = reference(VT_UNKNOWN, &pointer);
    ASSERT_EQ(VariantCopy(&copy, &by_reference), S_OK); // releases the copy before
    EXPECT_EQ(object->references(), 1u);
    EXPECT_EQ(VariantClear(&copy), S_OK);
}

// A record type of one LONG. A copy made with RecordCreateCopy lives in the fake, so that nothing is
// allocated whichever way the runtime copies a record (RecordCreateCopy, or GetSize and RecordCopy).
class FakeRecordType : public fake::RecordInfo {
public:
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

TEST(VariantCopyInd, DereferencesOneLevelOfVariantAndEveryValue)
{
    LONG number = 77;
    DECIMAL decimal{};
    decimal.Lo64 = 15;
    decimal.scale = 1;
    Text text(L"shared");
    BSTR text_pointer = text.get();
    VARIANT inner_reference = reference(VT_I4, &number);

    struct Case {
        VARIANT source;
        VARTYPE expected_vt;
        std::function<bool(const VARIANT&)> holds_value;
    };
    // Not const: mingw-w64 declares VariantCopyInd's source without const.
    Case cases[] = {
        {reference(VT_I4, &number), VT_I4, [](const VARIANT& v) { return v.lVal == 77; }},
        {reference(VT_DECIMAL, &decimal), VT_DECIMAL,
         [](const VARIANT& v) { return v.decVal.Lo64 == 15 && v.decVal.scale == 1; }},
        {reference(VT_BSTR, &text_pointer), VT_BSTR,
         [&](const VARIANT& v) { return v.bstrVal != text.get() && view(v.bstrVal) == L"shared"; }},
        // A reference inside the referenced VARIANT is followed as well.
        {reference(VT_VARIANT, &inner_reference), VT_I4, [](const VARIANT& v) { return v.lVal == 77; }},
    };
    for (Case& c : cases) {
        VARIANT copy = make(VT_EMPTY);
        ASSERT_EQ(VariantCopyInd(&copy, &c.source), S_OK) << "vt " << c.source.vt;
        EXPECT_EQ(copy.vt, c.expected_vt) << "vt " << c.source.vt;
        EXPECT_TRUE(c.holds_value(copy)) << "vt " << c.source.vt;
        VariantClear(&copy);
    }

    VARIANT in_place = reference(VT_BSTR, &text_pointer);
    ASSERT_EQ(VariantCopyInd(&in_place, &in_place), S_OK);
    EXPECT_EQ(view(in_place.bstrVal), L"shared");
    VariantClear(&in_place);

    // A VARIANT reference to a VARIANT reference is refused, once the destination has been let go of.
    // (A NULL reference is not tried: the system's oleaut32 reads through it.)
    VARIANT middle = reference(VT_VARIANT, &inner_reference);
    VARIANT target = make(VT_BSTR, SysAllocString(L"let go of"));
    VARIANT refused = reference(VT_VARIANT, &middle);
    EXPECT_EQ(VariantCopyInd(&target, &refused), E_INVALIDARG);
    EXPECT_EQ(target.vt, VT_EMPTY);
}
