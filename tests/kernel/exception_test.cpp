// Exception types, get_hresult, the raiser of failed COM calls, the result checker and interruption.
#include "support/fake_error_info.h"

#include <Kernel/failure.h>
#include <Kernel/interruption.h>

#include <comdef.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace {

using ostra::lux::kernel::exception_init;

// A catch of any base catches each exception; a failed call is the only one caught as CHResultException.
template <class Base, class... Derived>
constexpr bool caught_as = (std::is_convertible_v<const Derived*, const Base*> && ...);
static_assert(caught_as<COstraException, CHResultException, CInterruptedException>);
static_assert(caught_as<std::exception, CHResultException, COstraException, CInterruptedException>);
static_assert(caught_as<boost::exception, CHResultException, COstraException, CInterruptedException>);
static_assert(!caught_as<CHResultException, COstraException> && !caught_as<CHResultException, CInterruptedException>);

TEST(Exceptions, ReasonAndWhat)
{
    const COstraException plain(exception_init, L"Collection not found", L"Processes", 1);
    EXPECT_EQ(plain.reason(), L"Collection not found");
    EXPECT_STREQ(plain.what(), "Collection not found: Processes");

    const CHResultException failed(L"Unable to QueryInterface \u00E9", L"", E_NOINTERFACE, nullptr, false);
    EXPECT_EQ(static_cast<const COstraException&>(failed).reason(), L"Unable to QueryInterface \u00E9 (0x80004002)");
    EXPECT_STREQ(failed.what(), "Unable to QueryInterface \xC3\xA9 (0x80004002)");
}

TEST(Exceptions, HResultExceptionOwnsItsErrorInfoReference)
{
    auto info = fake::hold<fake::ErrorInfo>("info", L"described");
    {
        const CHResultException shared(L"m", L"", E_FAIL, info.get(), true);
        const CHResultException copy = shared;
        EXPECT_EQ(info->references(), 3u);
        EXPECT_EQ(copy.error_info(), info.get());
    }
    info->AddRef(); // without add_ref, the exception takes this reference over
    { const CHResultException adopted(L"m", L"", E_FAIL, info.get(), false); } // and gives it back (the ledger)
}

TEST(GetHResult, MapsEachKindOfException)
{
    EXPECT_EQ(get_hresult(CHResultException(L"m", L"", S_FALSE, nullptr, false)), S_FALSE);
    EXPECT_EQ(get_hresult(COstraException(exception_init, L"m", L"", 1)), E_FAIL);
    EXPECT_EQ(get_hresult(CInterruptedException()), E_ABORT);
    EXPECT_EQ(get_hresult(std::bad_alloc()), E_OUTOFMEMORY);
    EXPECT_EQ(get_hresult(std::out_of_range("x")), static_cast<HRESULT>(0x8000000BL)); // E_BOUNDS
    EXPECT_EQ(get_hresult(std::invalid_argument("x")), E_INVALIDARG);
    EXPECT_EQ(get_hresult(std::runtime_error("x")), E_UNEXPECTED);
    EXPECT_EQ(get_hresult(COstraException(exception_init, L"m", L"", 1) << com_error_info(_com_error(E_ACCESSDENIED))),
              E_ACCESSDENIED);
}

// Installs the kernel's raiser for one test and puts the throwing default back afterwards.
class Raiser : public testing::Test {
protected:
    Raiser() { _set_com_error_handler(__exclude__com_raise_error); }
    ~Raiser() override { _set_com_error_handler(_com_raise_error); }
};

TEST_F(Raiser, CarriesTheComErrorAndItsDescription)
{
    auto info = fake::hold<fake::ErrorInfo>("info", L"Task not deployed");
    info->AddRef(); // the reference that the raiser takes over
    try {
        __exclude__com_raise_error(DISP_E_EXCEPTION, info.get());
        ADD_FAILURE() << "nothing was thrown";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.get_hresult(), DISP_E_EXCEPTION);
        EXPECT_EQ(e.message(), L"Task not deployed");
        EXPECT_EQ(e.source(), L"FakeSource");
        EXPECT_EQ(e.error_info(), info.get());
        const _com_error* error = boost::get_error_info<com_error_info>(e);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->Error(), DISP_E_EXCEPTION);
        IErrorInfo* carried = error->ErrorInfo();
        EXPECT_EQ(carried, info.get());
        carried->Release();
    } // the ledger sees every reference the exception held go with it
}

// Its message is pinned by the shell's duration readers.
TEST_F(Raiser, ServesTheCompilerWrappersWithoutErrorInformation)
{
    const auto carried = [](const CHResultException& e) { return boost::get_error_info<com_error_info>(e); };
    EXPECT_THAT([] { _com_issue_error(E_POINTER); },
                testing::Throws<CHResultException>(testing::AllOf(
                    testing::Property(&CHResultException::get_hresult, E_POINTER),
                    testing::Property(&CHResultException::error_info, nullptr),
                    testing::ResultOf(carried, testing::NotNull()))));
}

// What a checker built at the line after `line = __LINE__ + 1` throws for `result`.
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

TEST(ResultChecker, ThrowsFailuresAtItsSiteAndGivesSuccessBack)
{
    for (const HRESULT hr : {E_FAIL, E_INVALIDARG, static_cast<HRESULT>(0x80000000)}) {
        int line = 0;
        const CHResultException e = checker_failure(hr, line, L"::VariantChangeType");
        EXPECT_EQ(e.get_hresult(), hr);
        EXPECT_EQ(e.message(), L"::VariantChangeType");
        EXPECT_STREQ(*boost::get_error_info<boost::throw_file>(e), "tests/kernel/exception_test.cpp");
        EXPECT_EQ(*boost::get_error_info<boost::throw_line>(e), line);
        EXPECT_NE(std::string(*boost::get_error_info<boost::throw_function>(e)).find("checker_failure"),
                  std::string::npos);
    }
    int line = 0;
    EXPECT_EQ(checker_failure(E_FAIL, line).message(), L"Call failed");
    for (const HRESULT hr : {S_OK, S_FALSE})
        EXPECT_EQ(KERNEL_RESULT_CHECKER(L"") = hr, hr);
}

TEST(ResultChecker, ReportsWin32ErrorsAndNullPointers)
{
    int line = 0;
    EXPECT_EQ(checker_failure(static_cast<DWORD>(ERROR_ACCESS_DENIED), line).get_hresult(),
              HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    SetLastError(ERROR_NOT_FOUND); // left by the call, read when the checker is built
    EXPECT_EQ(checker_failure(static_cast<const void*>(nullptr), line).get_hresult(),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(checker_failure(static_cast<const void*>(nullptr), line).get_hresult(), E_FAIL);
    EXPECT_EQ(KERNEL_RESULT_CHECKER(L"") = static_cast<const void*>(&line), &line);
}

// Promises rather than std::atomic waits: mingw's libstdc++ 12 can lose an atomic's wake-up.
TEST(Interruption, RequestFromAnotherThreadIsMetOnceByThatThreadOnly)
{
    std::promise<ostra::lux::kernel::interruption_handle> handed;
    std::promise<void> requested;
    int interruptions = 0;
    std::thread worker([&, asked = requested.get_future()] {
        handed.set_value(ostra::lux::kernel::this_thread_interruption_handle());
        asked.wait();
        for (int point = 0; point < 2; ++point) {
            try {
                interruption_point();
            } catch (const CInterruptedException&) {
                ++interruptions;
            }
        }
    });
    handed.get_future().get().request();
    requested.set_value();
    worker.join();
    EXPECT_EQ(interruptions, 1);
    EXPECT_NO_THROW(interruption_point()); // this thread was never asked
}

} // namespace
