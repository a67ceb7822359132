// BSTRs and GUID text beyond the conformance table's rows.
#include "platform/fakes.h"

#include <gtest/gtest.h>

using namespace platform_test;

TEST(Bstr, ReallocationMayReadTheStringItReplaces)
{
    BSTR text = nullptr;
    ASSERT_EQ(SysReAllocString(&text, L"hello world"), TRUE);
    ASSERT_EQ(SysReAllocStringLen(&text, text + 6, 5), TRUE);
    EXPECT_EQ(view(text), L"world");
    SysFreeString(text);
    EXPECT_EQ(SysReAllocString(nullptr, L"x"), FALSE);
}

// IIDFromString is the table's, and _com_ptr_t::CreateInstance reads class ids (and names the error of
// one of the wrong length); a malformed class id names its own kind of error.
TEST(GuidText, MalformedClassIdsNameTheirOwnError)
{
    GUID parsed{};
    EXPECT_EQ(CLSIDFromString(L"{6B29FC40-CA47-1067-B31D-00DD010662DZ}", &parsed), CO_E_CLASSSTRING);
}
