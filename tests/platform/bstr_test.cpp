// BSTR allocation: lengths, terminators, embedded NULs and reallocation.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

std::uint32_t length_prefix(BSTR bstr)
{
    std::uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const char*>(bstr) - sizeof bytes, sizeof bytes);
    return bytes;
}

std::wstring_view view(BSTR bstr) { return {bstr, SysStringLen(bstr)}; }

} // namespace

TEST(Bstr, LengthIsPrefixedInBytesAndTheTextIsTerminated)
{
    BSTR uninitialised = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(uninitialised, nullptr);
    EXPECT_EQ(SysStringLen(uninitialised), 5u);
    EXPECT_EQ(length_prefix(uninitialised), 5 * sizeof(OLECHAR));
    EXPECT_EQ(uninitialised[5], L'\0');
    SysFreeString(uninitialised);

    BSTR cut = SysAllocStringLen(L"hello", 3);
    EXPECT_EQ(view(cut), L"hel");
    EXPECT_EQ(cut[3], L'\0');
    SysFreeString(cut);

    for (BSTR empty : {SysAllocStringLen(nullptr, 0), SysAllocString(L"")}) {
        ASSERT_NE(empty, nullptr);
        EXPECT_EQ(SysStringLen(empty), 0u);
        EXPECT_EQ(empty[0], L'\0');
        SysFreeString(empty);
    }
}

TEST(Bstr, NullPointersAreHarmless)
{
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysReAllocString(nullptr, L"x"), FALSE);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr); // more bytes than the prefix can count
}

TEST(Bstr, EmbeddedNulsCountInTheLengthButStopSysAllocString)
{
    BSTR with_nuls = SysAllocStringLen(L"a\0b\0c", 5);
    EXPECT_EQ(SysStringLen(with_nuls), 5u);
    EXPECT_EQ(view(with_nuls), std::wstring_view(L"a\0b\0c", 5));
    BSTR up_to_nul = SysAllocString(with_nuls);
    EXPECT_EQ(view(up_to_nul), L"a");
    SysFreeString(up_to_nul);
    SysFreeString(with_nuls);
}

TEST(Bstr, ByteLengthsNeedNotBeWholeCharacters)
{
    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 3 / sizeof(OLECHAR));
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes), 4), std::string_view("abc\0", 4));
    SysFreeString(bytes);
}

TEST(Bstr, ReallocationReplacesTheStringEvenFromItsOwnText)
{
    BSTR text = nullptr;
    ASSERT_EQ(SysReAllocString(&text, L"hello world"), TRUE);
    EXPECT_EQ(view(text), L"hello world");

    // The new text may lie inside the old string.
    ASSERT_EQ(SysReAllocStringLen(&text, text + 6, 5), TRUE);
    EXPECT_EQ(view(text), L"world");

    // Without new text, the old one is kept as far as it reaches.
    ASSERT_EQ(SysReAllocStringLen(&text, nullptr, 3), TRUE);
    EXPECT_EQ(view(text), L"wor");
    EXPECT_EQ(text[3], L'\0');
    SysFreeString(text);
}
