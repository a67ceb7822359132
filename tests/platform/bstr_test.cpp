// BSTR allocation: lengths, terminators, embedded NULs and reallocation.
#include "platform/core_fakes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using core_test::view;

TEST(Bstr, KeepsAByteLengthPrefixATerminatorAndEmbeddedNuls)
{
    BSTR blank = SysAllocStringLen(nullptr, 5);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(blank) - sizeof prefix, sizeof prefix);
    EXPECT_EQ(prefix, 5 * sizeof(OLECHAR));
    EXPECT_EQ(SysStringLen(blank), 5u);
    EXPECT_EQ(blank[5], L'\0');

    BSTR with_nuls = SysAllocStringLen(L"a\0b\0c", 5);
    EXPECT_EQ(view(with_nuls), std::wstring_view(L"a\0b\0c", 5));
    BSTR up_to_nul = SysAllocString(with_nuls);
    EXPECT_EQ(view(up_to_nul), L"a");

    BSTR bytes = SysAllocStringByteLen("abc", 3); // not a whole number of characters
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 3 / sizeof(OLECHAR));
    EXPECT_EQ(std::memcmp(bytes, "abc", 4), 0);

    for (BSTR text : {blank, with_nuls, up_to_nul, bytes})
        SysFreeString(text);
    for (BSTR empty : {SysAllocStringLen(nullptr, 0), SysAllocString(L"")}) {
        ASSERT_NE(empty, nullptr);
        EXPECT_EQ(SysStringLen(empty), 0u);
        SysFreeString(empty);
    }
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr); // more bytes than the prefix counts
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
