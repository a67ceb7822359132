// The COM call frame of the library: the QueryInterface wrapper and its throw site, the exception
// barrier and the GUID formatter.
#include "shell/object_values.h"

#include "pch.h"

namespace shell_test {
namespace {

using namespace collector::shell::detail;
using Ostra_Lux_Collector_Interfaces::IID_ITask;
using Ostra_Lux_Collector_Interfaces::ITask;

TEST(QueryInterfaceWrapper, OwnsTheAnsweredInterfaceAndThrowsForARefusedOne)
{
    const CComQIPtrStrong<IUnknown, &IID_IUnknown> empty(nullptr);
    EXPECT_EQ(empty.p, nullptr);

    auto plain = fake::hold<fake::Unknown>();
    {
        const CComQIPtrStrong<IUnknown, &IID_IUnknown> held(plain->unknown());
        EXPECT_EQ(held.p, plain->unknown());
        EXPECT_EQ(plain->references(), 2u);
    }
    const refusal_t refused = refusal_of([&] { CComQIPtrStrong<ITask, &IID_ITask> task(plain->unknown()); });
    EXPECT_EQ(refused.message, L"Unable to QueryInterface");
    EXPECT_EQ(refused.hresult, E_NOINTERFACE);
    EXPECT_EQ(refused.site.file, "Monitor/Collector/Collector.Shell/pch.h");
    EXPECT_EQ(refused.site.line, 25);
}

TEST(Barrier, EachExceptionBecomesItsHResultAndTheThreadsErrorInformationFollowsIt)
{
    const CComPtr<IErrorInfo> info = error_info(L"denied");
    const HRESULT condition = get_hresult(COstraException(ostra::lux::kernel::exception_init, L"condition", {}, 1));
    struct Row {
        const char* what;
        std::function<void()> body;
        IErrorInfo* before;
        HRESULT expected;
        IErrorInfo* after;
    };
    const Row rows[] = {
        {"completed", [] {}, nullptr, S_OK, nullptr},
        {"COM error with information", [&] { throw _com_error(E_ACCESSDENIED, info, true); }, nullptr, E_ACCESSDENIED,
         info},
        // A COM error without information clears what the thread had.
        {"COM error without information", [] { throw _com_error(E_FAIL); }, info, E_FAIL, nullptr},
        {"kernel's COM error",
         [&] {
             info.p->AddRef();
             __exclude__com_raise_error(DISP_E_OVERFLOW, info);
         },
         nullptr, DISP_E_OVERFLOW, info},
        // Anything but a COM error leaves the thread's information as it was.
        {"condition", [] { throw_condition(L"condition", COLLECTOR_THROW_SITE); }, info, condition, info},
        {"standard exception", [] { throw std::runtime_error("listener failed"); }, info, E_UNEXPECTED, info},
        {"anything else", [] { throw 42; }, info, E_UNEXPECTED, info},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetErrorInfo(0, row.before);
        int ran = 0;
        EXPECT_EQ(ExceptionToHResult([&] {
                      ++ran;
                      row.body();
                  }),
                  row.expected);
        EXPECT_EQ(ran, 1);
        CComPtr<IErrorInfo> left;
        GetErrorInfo(0, &left);
        EXPECT_EQ(left.p, row.after);
    }
}

TEST(GuidFormat, BracedUnbracedAndRefused)
{
    const GUID id = {0x6B29FC40, 0xCA47, 0x1067, {0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA}};
    EXPECT_EQ(fmt::format(L"{}", id), L"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(fmt::format(L"{:G}", id), L"{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    EXPECT_EQ(fmt::format(L"id {:U}.", id), L"id 6B29FC40-CA47-1067-B31D-00DD010662DA.");
    EXPECT_EQ(fmt::format(L"{}", collector::shell::EMPTY_GUID), L"{00000000-0000-0000-0000-000000000000}");
    for (const wchar_t* refused : {L"{:X}", L"{:g}", L"{:GU}", L"{:U }"})
        EXPECT_THROW((void)fmt::format(fmt::runtime(refused), id), fmt::format_error) << refused;
}

} // namespace
} // namespace shell_test
