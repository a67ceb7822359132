// Error information: the per-thread slot. (The object CreateErrorInfo makes is read back by the
// reference collector's tests, through the descriptions its failures leave.)
#include "support/fake_error_info.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

// The slot holds a reference to what was set last, and hands it over to the one GetErrorInfo that takes it.
// (Another thread's slot is empty: see below.)
TEST(ErrorInfoSlot, HandsItsObjectOverOnce)
{
    auto a = fake::hold<fake::ErrorInfo>("A"), b = fake::hold<fake::ErrorInfo>("B");
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    IErrorInfo* out = reinterpret_cast<IErrorInfo*>(&out); // not null, so that a call which leaves it shows
    EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(SetErrorInfo(0, a.get()), S_OK);
    EXPECT_EQ(a->references(), 2u);
    ASSERT_EQ(SetErrorInfo(0, b.get()), S_OK);
    EXPECT_EQ(std::tuple(a->references(), b->references()), std::tuple(1u, 2u));
    EXPECT_EQ(GetErrorInfo(1, &out), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    ASSERT_EQ(GetErrorInfo(0, &out), S_OK);
    EXPECT_EQ(out, b.get());
    out->Release();
    EXPECT_EQ(b->references(), 1u);
    EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);
    ASSERT_EQ(SetErrorInfo(0, a.get()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(a->references(), 1u);
    EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);
}

TEST(ErrorInfoSlot, BelongsToOneThreadAndIsReleasedWhenItEnds)
{
    auto mine = fake::hold<fake::ErrorInfo>("mine");
    auto theirs = fake::hold<fake::ErrorInfo>("theirs");
    EXPECT_EQ(SetErrorInfo(1, mine.get()), E_INVALIDARG);
    ASSERT_EQ(SetErrorInfo(0, mine.get()), S_OK);
    std::vector<HRESULT> seen;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            IErrorInfo* out = nullptr;
            if (t == 0)
                seen.push_back(GetErrorInfo(0, &out));
            for (int i = 0; i < 100; ++i)
                SetErrorInfo(0, theirs.get()); // the last one is left in the slot when the thread ends
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(seen, std::vector<HRESULT>{S_FALSE});
    EXPECT_EQ(theirs->references(), 1u);
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK); // releases mine (the ledger)
}
