// Object: the string and byte lists, from array fields (whose enumeration may break off or hold
// elements that do not convert) and from arrays of strings; every field, enumerator and element
// is released whatever happens (which the ledger checks at each test's end).
#include "shell/object_values.h"

namespace shell_test {
namespace {

using testing::ElementsAre;

using Texts = std::vector<std::wstring>;
using Bytes = std::vector<unsigned char>;

constexpr std::wstring_view not_texts = L"Object is neither BSTR[] nor IArrayField<BSTR>";
constexpr std::wstring_view not_bytes = L"Object is not IArrayField<BYTE>";

_variant_t text(const wchar_t* value) { return _variant_t(value); }
_variant_t number(LONG value) { return _variant_t(value, VT_I4); }
_variant_t byte(BYTE value) { return _variant_t(value); }

TEST(ObjectTexts, FromAnArrayFieldOneElementAtATimeUpToTheEndOrABreak)
{
    // Elements that are no text are converted (the conversions are the automation layer's).
    const std::vector<_variant_t> mixed{text(L"alpha"), number(5), bstr(L"x\0y"sv).data()};
    const std::vector<_variant_t> abc{text(L"a"), text(L"b"), text(L"c")};
    struct Row {
        const std::vector<_variant_t>& elements;
        std::optional<std::size_t> fail_at;
        HRESULT failure;
        Texts expected;
    };
    const Row rows[] = {
        {mixed, std::nullopt, S_OK, {L"alpha", L"5", L"x"}},
        // A break ends the list where it happened, whatever the failure.
        {abc, 2, RPC_E_DISCONNECTED, {L"a", L"b"}},
        {abc, 0, E_FAIL, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "break at " << row.fail_at.value_or(99) << " with " << std::hex << row.failure);
        auto field = fake::hold<FakeArrayField>(row.elements);
        field->fail_at = row.fail_at;
        field->failure = row.failure;
        EXPECT_EQ(unknown(field->unknown()).get<Texts>(), row.expected);
        EXPECT_THAT(field->calls, ElementsAre("GetEnumerator", "GetCount"));
        // Each element asked for alone, then the end or the break.
        EXPECT_EQ(field->requested, std::vector<ULONG>(row.expected.size() + 1, 1));
    }
}

TEST(ObjectTexts, AnElementWithoutTextAbandonsTheFieldAndReleasesEverything)
{
    auto element = fake::hold<fake::Unknown>("element");
    _variant_t failed_call;
    failed_call.vt = VT_ERROR;
    failed_call.scode = E_FAIL;
    for (const _variant_t& unreadable : {failed_call, _variant_t(static_cast<IUnknown*>(element.get()))}) {
        auto field = fake::hold<FakeArrayField>(std::vector<_variant_t>{text(L"a"), unreadable, text(L"c")});
        expect_refused<Texts>(unknown(field->unknown()), not_texts);
        EXPECT_EQ(field->requested.size(), 2u);
    }
}

TEST(ObjectTexts, ValuesThatOfferNoEnumeration)
{
    auto plain = fake::hold<fake::Unknown>();
    expect_refused<Texts>(unknown(plain->unknown()), not_texts);
    expect_refused<Texts>(unknown(nullptr), not_texts);

    auto refusing = fake::hold<FakeArrayField>(std::vector<_variant_t>{text(L"a")});
    refusing->enumerator_result = E_ACCESSDENIED;
    expect_refused<Texts>(unknown(refusing->unknown()), not_texts);
    auto without = fake::hold<FakeArrayField>(std::vector<_variant_t>{text(L"a")});
    without->null_enumerator = true;
    expect_refused<Texts>(unknown(without->unknown()), not_texts);
    // The count is not asked for a field that gave no enumerator.
    EXPECT_THAT(refusing->calls, ElementsAre("GetEnumerator"));
    EXPECT_THAT(without->calls, ElementsAre("GetEnumerator"));

    for (const Object& value : {array_of(VT_I4, 2), array_of(VT_VARIANT, 1), bstr(L"a"), empty()})
        expect_refused<Texts>(value, not_texts);
}

// The error information that a failed call carries is the collector's test.
TEST(ObjectTexts, FailedCountIsRaised)
{
    auto field = fake::hold<FakeArrayField>(std::vector<_variant_t>{text(L"a")});
    field->count_result = E_ACCESSDENIED;
    EXPECT_EQ(refusal_of([&] { (void)unknown(field->unknown()).get<Texts>(); }).hresult, E_ACCESSDENIED);
}

TEST(ObjectTexts, FromAnArrayOfStringsReadInPlace)
{
    const Object value = strings({L"a", L"", L"x\0y"sv, std::nullopt});
    EXPECT_EQ(value.get<Texts>(), (Texts{L"a", L"", L"x", L""}));
    // Unlocked again and still the object's own.
    EXPECT_EQ(value.data().parray->cLocks, 0u);
    EXPECT_EQ(value.get<Texts>().size(), 4u);
    EXPECT_EQ(strings({}).get<Texts>(), Texts{});
}

TEST(ObjectTexts, ArraysThatAreNotStringsFromZeroFailWithInvalidArgument)
{
    // Declared as strings but holding numbers; and strings counted from 1, read from index 0.
    SAFEARRAYBOUND bound{2, 0};
    SAFEARRAY* numbers = SafeArrayCreate(VT_I4, 1, &bound);
    const Object mislabelled = variant_of(VT_ARRAY | VT_BSTR, [&](VARIANT& x) { x.parray = numbers; });
    for (const Object& value : {mislabelled, strings({L"a", L"b"}, 1)}) {
        SCOPED_TRACE(describe(value));
        EXPECT_EQ(refusal_of([&] { (void)value.get<Texts>(); }).hresult, E_INVALIDARG);
        EXPECT_EQ(value.data().parray->cLocks, 0u);
    }
}

TEST(ObjectBytes, FromAnArrayFieldOnly)
{
    auto field = fake::hold<FakeArrayField>(std::vector<_variant_t>{byte(1), byte(255), number(7), text(L"9")});
    EXPECT_EQ(unknown(field->unknown()).get<Bytes>(), (Bytes{1, 255, 7, 9}));

    field->fail_at = 1;
    EXPECT_EQ(unknown(field->unknown()).get<Bytes>(), (Bytes{1}));

    // An element outside 0..255 abandons the field, also one whose conversion to a byte would wrap (I1 -1).
    for (const _variant_t& outside : {number(256), number(-1), _variant_t('\xFF')}) {
        auto wrapping = fake::hold<FakeArrayField>(std::vector<_variant_t>{byte(1), outside});
        expect_refused<Bytes>(unknown(wrapping->unknown()), not_bytes);
    }
    auto plain = fake::hold<fake::Unknown>();
    for (const Object& value : {array_of(VT_UI1, 3), unknown(plain->unknown()), unknown(nullptr), bstr(L"ab")})
        expect_refused<Bytes>(value, not_bytes);
}

} // namespace
} // namespace shell_test
