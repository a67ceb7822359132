// The data types have the Windows x64 sizes and values on every host.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(Layout, TypesHaveWindowsWidths)
{
    static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4 && sizeof(HRESULT) == 4);
    static_assert(sizeof(unsigned __int64) == 8 && sizeof(__int64) == 8);
    static_assert(sizeof(GUID) == 16 && sizeof(DECIMAL) == 16 && sizeof(CY) == 8);
    static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, llVal) == 8 && offsetof(VARIANT, pRecInfo) == 16);
    static_assert(offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo64) == 8);
    static_assert(E_FAIL == static_cast<HRESULT>(0x80004005) && E_INVALIDARG == static_cast<HRESULT>(0x80070057));
    static_assert(FAILED(E_UNEXPECTED) && SUCCEEDED(S_FALSE));
    EXPECT_EQ(static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)), 0x80070005u); // a function on Windows
}

TEST(LastError, IsPerThread)
{
    // Both threads set theirs, then read it once the other has set its own. They wait by spinning:
    // waiting through the system, as thread creation and joining do, may touch the last error.
    std::atomic<int> set{0};
    auto set_then_read = [&set](DWORD mine) {
        SetLastError(mine);
        ++set;
        while (set < 2) {
        }
        return GetLastError();
    };
    DWORD seen_by_other = 0;
    std::thread other([&] { seen_by_other = set_then_read(ERROR_INVALID_HANDLE); });
    EXPECT_EQ(set_then_read(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    other.join();
    EXPECT_EQ(seen_by_other, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    RestoreLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}
