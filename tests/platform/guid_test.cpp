// GUIDs to and from their registry text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr GUID untouched = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD, 0xDD}};

} // namespace

// The conformance table reads and writes the common GUIDs; here the class-id flavour of the error, a
// separator wrong in the last place, and leading zeros in every field, both ways.
TEST(GuidText, ReadsBackWhatItWritesAndNamesTheKindOfIdItRejects)
{
    IID iid = untouched;
    EXPECT_EQ(IIDFromString(L"{6B29FC40-CA47-1067-B31D+00DD010662DA}", &iid), CO_E_IIDSTRING);
    EXPECT_EQ(CLSIDFromString(L"{6B29FC40-CA47-1067-B31D-00DD010662DZ}", &iid), CO_E_CLASSSTRING);

    wchar_t text[39];
    const GUID small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
    ASSERT_EQ(StringFromGUID2(small, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{00000001-0002-0003-0001-020304050607}");
    GUID parsed = untouched;
    EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, small);
}
