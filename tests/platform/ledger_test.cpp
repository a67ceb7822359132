// The leak listener's proof that a leaked or over-released fake fails its test: every reference count
// that the other tests leave to the ledger depends on it.
#include "support/fake_com.h"
#include "support/leak_listener.h"

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing::HasSubstr;

namespace {

// The failures that `check` reports, caught instead of failing the running test.
template <class Check>
std::vector<std::string> failures_of(Check check)
{
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        check();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.emplace_back(results.GetTestPartResult(i).message());
    return messages;
}

} // namespace

TEST(LeakListener, FailsTheTestThatLeaksChangesACountOrOverReleasesAFake)
{
    auto older = fake::hold<fake::Unknown>("older");
    fake::LeakListener listener;
    const auto& test = *testing::UnitTest::GetInstance()->current_test_info();
    listener.OnTestStart(test);
    IUnknown* leaked = fake::make<fake::Unknown>("leaked-on-purpose");
    leaked->AddRef();
    older->AddRef();
    {
        auto held = fake::hold<fake::Unknown>("over-released");
        held->Release(); // somebody else's extra Release destroys it under the holder
    }

    const auto failures = failures_of([&] { listener.OnTestEnd(test); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_THAT(failures[0], HasSubstr("fake 'leaked-on-purpose' is still alive with 2 reference(s)"));
    EXPECT_THAT(failures[0], HasSubstr("fake 'older' reference count changed from 1 to 2"));
    EXPECT_THAT(failures[0], HasSubstr("fake 'over-released' was destroyed while a holder still owned a reference"));

    // Reported once: the next test does not inherit the leak.
    older->Release();
    listener.OnTestStart(test);
    EXPECT_THAT(failures_of([&] { listener.OnTestEnd(test); }), testing::IsEmpty());
    leaked->Release();
    leaked->Release();
}
