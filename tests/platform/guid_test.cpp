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
    struct Case {
        const wchar_t* text;
        HRESULT expected;
    };
    const Case cases[] = {
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DA}", S_OK},
        {L"{6b29fc40-ca47-1067-b31d-00dd010662da}", S_OK},
        // Not 38 characters: refused before anything is written.
        {L"6B29FC40-CA47-1067-B31D-00DD010662DA", E_INVALIDARG},
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DA", E_INVALIDARG},
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DA}x", E_INVALIDARG},
        {L"{}", E_INVALIDARG},
        {L"", E_INVALIDARG},
        // 38 characters, malformed.
        {L"{6B29FC40-CA47-1067-B31D-00DD010662DG}", CO_E_IIDSTRING},
        {L"(6B29FC40-CA47-1067-B31D-00DD010662DA}", CO_E_IIDSTRING},
        {L"{6B29FC40+CA47-1067-B31D-00DD010662DA}", CO_E_IIDSTRING},
        {L"{6B29FC40-CA47-1067-B31D+00DD010662DA}", CO_E_IIDSTRING},
    };
    for (const Case& c : cases) {
        IID iid = untouched;
        EXPECT_EQ(IIDFromString(c.text, &iid), c.expected) << c.text;
        if (c.expected == S_OK) {
            EXPECT_EQ(iid, sample);
        } else if (c.expected == E_INVALIDARG) {
            EXPECT_EQ(iid, untouched);
        }
    }

    IID iid = untouched;
    EXPECT_EQ(IIDFromString(nullptr, &iid), S_OK);
    EXPECT_EQ(iid, GUID_NULL);
}

TEST(CLSIDFromString, ReportsMalformedTextAsAClassStringError)
{
    CLSID clsid = untouched;
    EXPECT_EQ(CLSIDFromString(L"{6B29FC40-CA47-1067-B31D-00DD010662DA}", &clsid), S_OK);
    EXPECT_EQ(clsid, sample);
    EXPECT_EQ(CLSIDFromString(L"{6B29FC40-CA47-1067-B31D-00DD010662DZ}", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(L"Some.ProgId", &clsid), CO_E_CLASSSTRING);
}

TEST(StringFromGUID2, WritesUpperCaseWithBracesAndCountsTheNul)
{
    wchar_t text[39];
    EXPECT_EQ(StringFromGUID2(sample, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(StringFromGUID2(sample, text, 38), 0);

    // Round trip through the text, for a GUID whose fields have leading zeros.
    const GUID small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
    ASSERT_EQ(StringFromGUID2(small, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{00000001-0002-0003-0001-020304050607}");
    GUID parsed = untouched;
    EXPECT_EQ(IIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, small);
}
