// BSTR allocation: lengths, terminators, embedded NULs and reallocation.
#include "platform/core_fakes.h"

#include <gtest/gtest.h>

using core_test::view;

// The conformance table checks lengths, the prefix, terminators and embedded NULs; here a byte length
// that is no whole number of characters, a length beyond what the prefix counts, and freeing NULL.
TEST(Bstr, RejectsLengthsThePrefixCannotCount)
{
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringLen(bytes), 3 / sizeof(OLECHAR));
    SysFreeString(bytes);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    SysFreeString(nullptr);
}

TEST(Bstr, ReallocationMayReadTheStringItReplaces)
{
    BSTR text = nullptr;
    ASSERT_EQ(SysReAllocString(&text, L"hello world"), TRUE);
    ASSERT_EQ(SysReAllocStringLen(&text, text + 6, 5), TRUE);
    EXPECT_EQ(view(text), L"world");
    // Without new text, the old one is kept as far as it reaches.
    ASSERT_EQ(SysReAllocStringLen(&text, nullptr, 3), TRUE);
    EXPECT_EQ(view(text), L"wor");
    EXPECT_EQ(text[3], L'\0');
    SysFreeString(text);
    EXPECT_EQ(SysReAllocString(nullptr, L"x"), FALSE);
}
