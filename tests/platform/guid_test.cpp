// GUIDs to and from their registry text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr GUID sample = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
constexpr GUID untouched = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD}};

} // namespace

TEST(IIDFromString, ParsesTheRegistryFormOnly)
{
    const std::pair<const wchar_t*, HRESULT> cases[] = {
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DA}", S_OK},
        {L"{6b29fc40-ca47-1067-b31d-00dd010662da}", S_OK},
        {L"6B29FC40-CA47-1067-B31D-00DD010662DA", E_INVALIDARG}, // not 38 characters: nothing written
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DA}x", E_INVALIDARG},
        {L"", E_INVALIDARG},
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DG}", CO_E_IIDSTRING},
        {L"(6B29FC40-CA47-1067-B31D-00DD010662DA}", CO_E_IIDSTRING},
        {L"{6B29FC40-CA47-1067-B31D+00DD010662DA}", CO_E_IIDSTRING},
    };
    for (const auto& [text, expected] : cases) {
        IID iid = untouched;
        EXPECT_EQ(IIDFromString(text, &iid), expected) << text;
        if (expected == S_OK) {
            EXPECT_EQ(iid, sample) << text;
        } else if (expected == E_INVALIDARG) {
            EXPECT_EQ(iid, untouched) << text;
        }
    }
    IID iid = untouched;
    EXPECT_EQ(IIDFromString(nullptr, &iid), S_OK);
    EXPECT_EQ(iid, GUID_NULL);
    EXPECT_EQ(CLSIDFromString(L"{6B29FC40-CA47-1067-B31D-00DD010662DZ}", &iid), CO_E_CLASSSTRING);
}

TEST(StringFromGUID2, WritesUpperCaseWithBracesAndCountsTheNul)
{
    wchar_t text[39];
    EXPECT_EQ(StringFromGUID2(sample, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(StringFromGUID2(sample, text, 38), 0);

    const GUID small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}}; // leading zeros in every field
    ASSERT_EQ(StringFromGUID2(small, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{00000001-0002-0003-0001-020304050607}");
    GUID parsed = untouched;
    EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, small);
}
