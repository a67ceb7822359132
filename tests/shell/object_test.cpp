// Object: the scalar, text and GUID readers (what each accepts and what it refuses with which
// message), and what an Object owns.
#include "shell/object_values.h"

#include <type_traits>

namespace shell_test {
namespace {

// Every accepted value reads as expected; every refused one fails with `message`.
template <class T>
void check_reader(const std::vector<std::pair<Object, T>>& accepted, const std::vector<Object>& refused,
                  std::wstring_view message)
{
    for (const auto& [value, expected] : accepted) {
        SCOPED_TRACE("reading " + describe(value));
        EXPECT_EQ(value.template get<T>(), expected);
    }
    for (const Object& value : refused)
        expect_refused<T>(value, message);
}

// Storage for the by-reference values of the tables: a number for the numeric types, a (null) string.
LONGLONG referenced = 5;
BSTR referenced_text = nullptr;

TEST(ObjectRead, IntegersFromTheirOwnTypesOnly)
{
    check_reader<unsigned char>({{ui1(0), 0}, {ui1(255), 255}},
                                {i1(5), reference_to(VT_UI1, &referenced), array_of(VT_UI1, 1), empty()},
                                L"Object is not UI1");
    check_reader<unsigned short>({{ui2(65535), 65535}}, {i2(5), ui1(5), int_(5), reference_to(VT_UI2, &referenced)},
                                 L"Object is not UI2");
    // Booleans read as one or zero, whatever the raw flag.
    check_reader<int>({{boolean(VARIANT_TRUE), 1}, {boolean(VARIANT_FALSE), 0}, {boolean(1), 1}, {i4(-7), -7}},
                      {i2(5), int_(5), i8(5), reference_to(VT_I4, &referenced), array_of(VT_I4, 1), null()},
                      L"Object is neither I4 nor BOOL");
    check_reader<unsigned int>({{uint_(4'000'000'000u), 4'000'000'000u}, {ui4(4'000'000'000u), 4'000'000'000u}},
                               {i4(5), int_(5), ui2(5), ui8(5), reference_to(VT_UI4, &referenced)},
                               L"Object is neither UINT nor UI4");
    // I4 and UI8 are converted.
    constexpr auto lowest = std::numeric_limits<LONGLONG>::min();
    check_reader<__int64>({{i8(lowest), lowest}, {i4(-5), -5}, {ui8(42), 42}},
                          {int_(5), ui4(5), i2(5), r8(5), bstr(L"5"), reference_to(VT_I8, &referenced)},
                          L"Object is neither I4 nor I8");
    // UI8 beyond the signed range fails as a failed conversion does, never as a negative count.
    EXPECT_EQ(refusal_of([] { (void)ui8(ULONGLONG{1} << 63).get<__int64>(); }).hresult, DISP_E_OVERFLOW);
    EXPECT_EQ(ui8(std::numeric_limits<LONGLONG>::max()).get<__int64>(), std::numeric_limits<LONGLONG>::max());
    constexpr auto highest = std::numeric_limits<ULONGLONG>::max();
    check_reader<unsigned __int64>({{ui8(highest), highest}}, {i8(5), ui4(5), uint_(5)}, L"Object is not UI8");
}

TEST(ObjectRead, DoubleTakesR8AndTheRawOleDateAndTextStopsAtTheFirstNul)
{
    check_reader<double>({{r8(0.1), 0.1}, {r8(-1e300), -1e300}, {date(45000.25), 45000.25}},
                         {r4(0.5f), i4(5), cy(15000), decimal(15, 1), reference_to(VT_R8, &referenced)},
                         L"Object is neither R8 nor DATE");
    // A null string is empty.
    check_reader<std::wstring>({{bstr(L"abc"), L"abc"}, {bstr(L"ab\0cd"sv), L"ab"}, {bstr(L""), L""}, {null_bstr(), L""}},
                               {i4(5), reference_to(VT_BSTR, &referenced_text), strings({L"a"}), empty(), null()},
                               L"Object is not BSTR");
}

constexpr GUID sample = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};

TEST(ObjectRead, GuidFromTextWithoutBracesOrFromTheDotNetGuidRecord)
{
    EXPECT_TRUE(IsEqualGUID(bstr(L"6B29FC40-CA47-1067-B31D-00DD010662DA").get<GUID>(), sample));
    // The library adds the braces; what the parser takes besides is the automation layer's test.
    for (const wchar_t* text : {L"{6B29FC40-CA47-1067-B31D-00DD010662DA}", L"6B29FC40+CA47-1067-B31D-00DD010662DA"})
        expect_refused<GUID>(bstr(text), L"Object is not UUID");
    // Not text at all: the text reader's refusal.
    expect_refused<GUID>(i4(5), L"Object is not BSTR");
    expect_refused<GUID>(empty(), L"Object is not BSTR");

    auto guid_type = fake::hold<FakeRecordInfo>(dotnet_guid, L"Guid");
    guid_type->data = sample;
    auto point_type = fake::hold<FakeRecordInfo>(sample, L"Point");
    EXPECT_TRUE(IsEqualGUID(record(guid_type.get()).get<GUID>(), sample));
    expect_refused<GUID>(record(point_type.get()), L"Object is not VT_GUID");
}

// A _variant_t stands wherever an Object is wanted; an Object is no bool unless asked.
static_assert(std::is_convertible_v<_variant_t&&, Object>);
static_assert(!std::is_convertible_v<Object, bool>);

TEST(ObjectValue, HoldsOneReferenceToAnObjectValue)
{
    auto object = fake::hold<fake::Unknown>();
    {
        const Object value = unknown(object.get());
        EXPECT_EQ(object->references(), 2u);
        Object copy = value;
        EXPECT_EQ(object->references(), 3u);
        copy = empty();
        EXPECT_EQ(object->references(), 2u);
    }
    EXPECT_EQ(object->references(), 1u);
}

} // namespace
} // namespace shell_test
