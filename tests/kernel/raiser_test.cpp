// The raiser of failed COM calls, installed as the module's COM error handler.
#include "support/fake_error_info.h"

#include <Kernel/failure.h>

#include <comdef.h>
#include <gtest/gtest.h>

namespace {

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
    }
    EXPECT_EQ(info->references(), 1u); // every reference the exception held is gone with it
}

TEST_F(Raiser, ServesTheCompilerWrappersWithoutErrorInformation)
{
    HRESULT raised = S_OK;
    try {
        _com_issue_error(E_POINTER);
    } catch (const CHResultException& e) {
        raised = get_hresult(e);
        EXPECT_EQ(e.error_info(), nullptr);
        EXPECT_EQ(e.message(), L"COM call failed");
        ASSERT_NE(boost::get_error_info<com_error_info>(e), nullptr);
    }
    EXPECT_EQ(raised, E_POINTER);
}

TEST(GetHResult, ReadsTheComErrorOfAnyOstraException)
{
    const COstraException e = COstraException(ostra::lux::kernel::exception_init, L"m", L"", 1)
                              << com_error_info(_com_error(E_ACCESSDENIED));
    EXPECT_EQ(get_hresult(e), E_ACCESSDENIED);
}

} // namespace
