// Exception types, get_hresult, the result checker and interruption.
#include "error_info_fake.h"

#include <Kernel/failure.h>
#include <Kernel/interruption.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

namespace {

using ostra::lux::kernel::exception_init;

// Which of the four catch clauses a throw reaches.
struct catch_profile {
    bool as_hresult = false;
    bool as_ostra = false;
    bool as_std = false;
    bool as_boost = false;
    friend bool operator==(const catch_profile&, const catch_profile&) = default;
};

template <class Catch>
bool caught_as(const std::function<void()>& thrower)
{
    try {
        thrower();
    } catch (const Catch&) {
        return true;
    } catch (...) {
    }
    return false;
}

catch_profile profile_of(const std::function<void()>& thrower)
{
    return {caught_as<CHResultException>(thrower), caught_as<COstraException>(thrower),
            caught_as<std::exception>(thrower), caught_as<boost::exception>(thrower)};
}

TEST(Exceptions, AreCaughtAsEachOfTheirBases)
{
    EXPECT_EQ(profile_of([] { throw CHResultException(L"m", L"", E_FAIL, nullptr, false); }),
              (catch_profile{true, true, true, true}));
    EXPECT_EQ(profile_of([] { throw COstraException(exception_init, L"m", L"", 1); }),
              (catch_profile{false, true, true, true}));
    EXPECT_EQ(profile_of([] { throw CInterruptedException(); }), (catch_profile{false, true, true, true}));
}

TEST(Exceptions, TextsReasonAndWhat)
{
    const COstraException plain(exception_init, L"Collection not found", L"Processes", 1);
    EXPECT_EQ(plain.reason(), L"Collection not found");
    EXPECT_EQ(plain.source(), L"Processes");
    EXPECT_STREQ(plain.what(), "Collection not found: Processes");
    EXPECT_FALSE(plain.interrupted());

    const CHResultException failed(L"Unable to QueryInterface \u00E9", L"", E_NOINTERFACE, nullptr, false);
    EXPECT_EQ(failed.reason(), L"Unable to QueryInterface \u00E9 (0x80004002)");
    EXPECT_STREQ(failed.what(), "Unable to QueryInterface \xC3\xA9 (0x80004002)");
    // Through the base, the override answers.
    EXPECT_EQ(static_cast<const COstraException&>(failed).reason(), failed.reason());

    EXPECT_TRUE(CInterruptedException().interrupted());
}

TEST(Exceptions, CopiesKeepErrorInformationAndThrowLocation)
{
    try {
        ostra::lux::kernel::throw_at(CHResultException(L"m", L"", E_FAIL, nullptr, false) << value_dump_info(L"VT_I4 5"),
                                     "void f()", "dir/file.cpp", 42);
    } catch (const COstraException& e) {
        const COstraException copy = e;
        ASSERT_NE(boost::get_error_info<value_dump_info>(copy), nullptr);
        EXPECT_EQ(*boost::get_error_info<value_dump_info>(copy), L"VT_I4 5");
        EXPECT_STREQ(*boost::get_error_info<boost::throw_function>(copy), "void f()");
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(copy), "dir/file.cpp");
        EXPECT_EQ(*boost::get_error_info<boost::throw_line>(copy), 42);
    }
}

TEST(Exceptions, HResultExceptionOwnsItsErrorInfoReference)
{
    auto info = fake::hold<kernel_test::FakeErrorInfo>("info", L"described");
    {
        const CHResultException shared(L"m", L"", E_FAIL, info.get(), true);
        EXPECT_EQ(info->references(), 2u);
        const CHResultException copy = shared;
        EXPECT_EQ(info->references(), 3u);
        EXPECT_EQ(copy.error_info(), info.get());
    }
    EXPECT_EQ(info->references(), 1u);
    // Without add_ref the exception takes the caller's reference over.
    info->AddRef();
    { const CHResultException adopted(L"m", L"", E_FAIL, info.get(), false); }
    EXPECT_EQ(info->references(), 1u);
}

TEST(GetHResult, MapsEachKindOfException)
{
    struct row {
        const char* kind;
        std::function<void()> thrower;
        HRESULT expected;
    };
    const row rows[] = {
        {"hresult", [] { throw CHResultException(L"m", L"", E_NOINTERFACE, nullptr, false); }, E_NOINTERFACE},
        {"success code", [] { throw CHResultException(L"m", L"", S_FALSE, nullptr, false); }, S_FALSE},
        {"ostra", [] { throw COstraException(exception_init, L"m", L"", 1); }, E_FAIL},
        {"interrupted", [] { throw CInterruptedException(); }, E_ABORT},
        {"bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"invalid_argument", [] { throw std::invalid_argument("x"); }, E_INVALIDARG},
        {"out_of_range", [] { throw std::out_of_range("x"); }, E_BOUNDS},
        {"runtime_error", [] { throw std::runtime_error("x"); }, E_UNEXPECTED},
    };
    for (const auto& r : rows) {
        try {
            r.thrower();
            ADD_FAILURE() << r.kind << " did not throw";
        } catch (const std::exception& e) {
            EXPECT_EQ(get_hresult(e), r.expected) << r.kind;
        }
    }
}

// The site of the checker built on the line before the assignment in each case below.
template <class Result>
CHResultException checker_failure(Result result, int& line, std::wstring_view message = {})
{
    try {
        line = __LINE__ + 1;
        KERNEL_RESULT_CHECKER(message) = result;
    } catch (const CHResultException& e) {
        return e;
    }
    throw std::logic_error("the checker accepted a failure");
}

TEST(ResultChecker, ThrowsFailedHResultsAtItsSite)
{
    for (const HRESULT hr : {E_FAIL, E_INVALIDARG, E_OUTOFMEMORY, static_cast<HRESULT>(0x80000000)}) {
        int line = 0;
        const CHResultException e = checker_failure(hr, line, L"::VariantChangeType");
        EXPECT_EQ(e.get_hresult(), hr);
        EXPECT_EQ(e.message(), L"::VariantChangeType");
        EXPECT_EQ(e.error_info(), nullptr);
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), "tests/kernel/exception_test.cpp");
        EXPECT_EQ(*boost::get_error_info<boost::throw_line>(e), line);
        EXPECT_NE(std::string(*boost::get_error_info<boost::throw_function>(e)).find("checker_failure"),
                  std::string::npos);
    }
    int line = 0;
    EXPECT_EQ(checker_failure(E_FAIL, line).message(), L"Call failed");
}

TEST(ResultChecker, GivesSuccessBack)
{
    for (const HRESULT hr : {S_OK, S_FALSE, static_cast<HRESULT>(0x7FFFFFFF)})
        EXPECT_EQ(KERNEL_RESULT_CHECKER(L"") = hr, hr);
    EXPECT_EQ(KERNEL_RESULT_CHECKER(L"") = static_cast<DWORD>(ERROR_SUCCESS), static_cast<DWORD>(ERROR_SUCCESS));
    int object = 0;
    EXPECT_EQ(KERNEL_RESULT_CHECKER(L"") = static_cast<const void*>(&object), &object);
}

TEST(ResultChecker, ReportsWin32ErrorsAndNullPointers)
{
    int line = 0;
    EXPECT_EQ(checker_failure(static_cast<DWORD>(ERROR_ACCESS_DENIED), line).get_hresult(),
              HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    // A null pointer reports the last error left by the call, read when the checker is built.
    SetLastError(ERROR_NOT_FOUND);
    EXPECT_EQ(checker_failure(static_cast<const void*>(nullptr), line).get_hresult(),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(checker_failure(static_cast<const void*>(nullptr), line).get_hresult(), E_FAIL);
}

TEST(AtlThrow, ThrowsTheHResult)
{
    HRESULT thrown = S_OK;
    try {
        __exclude__AtlThrowImpl(E_OUTOFMEMORY);
    } catch (const CHResultException& e) {
        thrown = e.get_hresult();
    }
    EXPECT_EQ(thrown, E_OUTOFMEMORY);
}

TEST(Interruption, ThrowsOnceOnTheRequestedThreadOnly)
{
    EXPECT_NO_THROW(interruption_point());
    std::optional<ostra::lux::kernel::interruption_handle> worker_handle;
    std::thread([&] { worker_handle = ostra::lux::kernel::this_thread_interruption_handle(); }).join();
    worker_handle->request(); // the worker is gone: nothing reaches this thread
    EXPECT_NO_THROW(interruption_point());

    bool thrown_first = false, thrown_again = false;
    std::thread worker([&] {
        ostra::lux::kernel::this_thread_interruption_handle().request();
        try {
            interruption_point();
        } catch (const CInterruptedException&) {
            thrown_first = true;
        }
        try {
            interruption_point();
        } catch (const CInterruptedException&) {
            thrown_again = true;
        }
    });
    worker.join();
    EXPECT_TRUE(thrown_first);
    EXPECT_FALSE(thrown_again);
}

TEST(Interruption, RequestFromAnotherThreadIsSeen)
{
    std::atomic<bool> ready = false;
    std::optional<ostra::lux::kernel::interruption_handle> handle;
    bool interrupted = false;
    std::thread worker([&] {
        handle = ostra::lux::kernel::this_thread_interruption_handle();
        ready = true;
        for (;;) {
            try {
                interruption_point();
            } catch (const CInterruptedException&) {
                interrupted = true;
                return;
            }
            std::this_thread::yield();
        }
    });
    while (!ready)
        std::this_thread::yield();
    EXPECT_FALSE(handle->requested());
    handle->request();
    worker.join();
    EXPECT_TRUE(interrupted);
}

} // namespace
