// The COM call frame of the library: the QueryInterface wrapper, throw sites with their error
// information, the exception barrier, the GUID formatter and the pool cache.
#include "shell/site.h"

#include "pch.h"
#include "PoolCache.h"

#include "support/fake_com.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace shell_test {
namespace {

using namespace collector::shell::detail;
using Ostra_Lux_Collector_Interfaces::IID_ITask;
using Ostra_Lux_Collector_Interfaces::ITask;

struct Plain : fake::Fake<IEnumVARIANT> {
    Plain() : Fake("plain") {}
    HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT*, ULONG*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }
};

TEST(QueryInterfaceWrapper, NullSourceGivesAnEmptyPointerAndAnsweredInterfaceIsOwned)
{
    const CComQIPtrStrong<IEnumVARIANT, &IID_IEnumVARIANT> empty(nullptr);
    EXPECT_EQ(empty.p, nullptr);

    auto plain = fake::hold<Plain>();
    {
        const CComQIPtrStrong<IEnumVARIANT, &IID_IEnumVARIANT> held(plain->unknown());
        EXPECT_EQ(held.p, static_cast<IEnumVARIANT*>(plain.get()));
        EXPECT_EQ(plain->references(), 2u);
    }
    EXPECT_EQ(plain->references(), 1u);
}

TEST(QueryInterfaceWrapper, RefusedInterfaceThrowsAtTheWrapper)
{
    auto plain = fake::hold<Plain>();
    try {
        CComQIPtrStrong<ITask, &IID_ITask> task(plain->unknown());
        ADD_FAILURE() << "an interface the object lacks was accepted";
    } catch (const CHResultException& e) {
        EXPECT_EQ(e.message(), L"Unable to QueryInterface");
        EXPECT_EQ(e.get_hresult(), E_NOINTERFACE);
        const seen_site site = site_of(e);
        EXPECT_EQ(site.file, "Monitor/Collector/Collector.Shell/pch.h");
        EXPECT_EQ(site.line, 25);
        EXPECT_NE(site.function.find("CComQIPtrStrong"), std::string::npos);
    }
    EXPECT_EQ(plain->references(), 1u);
}

TEST(ThrowSite, CarriesSignatureFileLineAndTheNestedException)
{
    try {
        try {
            throw std::runtime_error("inner");
        } catch (...) {
            throw_condition(L"outer", COLLECTOR_NESTED_THROW_SITE);
        }
    } catch (const COstraException& e) {
        EXPECT_EQ(e.message(), L"outer");
        const seen_site site = site_of(e);
        EXPECT_EQ(site.file, "tests/shell/frame_test.cpp");
        EXPECT_NE(site.function.find("ThrowSite_CarriesSignatureFileLineAndTheNestedException"), std::string::npos);
        EXPECT_GT(site.line, 0);
        const std::exception_ptr* nested = boost::get_error_info<nested_exception_info>(e);
        ASSERT_NE(nested, nullptr);
        EXPECT_THROW(std::rethrow_exception(*nested), std::runtime_error);
    }
    // Outside a handler nothing is nested.
    try {
        throw_condition(L"plain", COLLECTOR_THROW_SITE);
    } catch (const COstraException& e) {
        EXPECT_EQ(boost::get_error_info<nested_exception_info>(e), nullptr);
    }
}

TEST(ThrowSite, NullHandleNamesItsClass)
{
    const std::shared_ptr<int> empty;
    try {
        require(empty, L"Task", COLLECTOR_THROW_SITE);
        ADD_FAILURE() << "an empty handle passed";
    } catch (const COstraException& e) {
        EXPECT_EQ(e.message(), L"Task is null");
        EXPECT_EQ(e.source(), L"");
    }
    const auto set = std::make_shared<int>(5);
    EXPECT_EQ(&require(set, L"Task", COLLECTOR_THROW_SITE), set.get());
}

// Error information that the barrier must put on the thread, or leave there.
CComPtr<IErrorInfo> error_info(const wchar_t* description)
{
    CComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    CComPtr<IErrorInfo> info;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    return info;
}

CComPtr<IErrorInfo> take_error_info()
{
    CComPtr<IErrorInfo> info;
    GetErrorInfo(0, &info);
    return info;
}

TEST(Barrier, CompletedBodyIsSuccess)
{
    bool ran = false;
    EXPECT_EQ(ExceptionToHResult([&] { ran = true; }), S_OK);
    EXPECT_TRUE(ran);
}

TEST(Barrier, ComErrorSetsTheThreadErrorInformation)
{
    const CComPtr<IErrorInfo> info = error_info(L"denied");
    EXPECT_EQ(ExceptionToHResult([&] { throw _com_error(E_ACCESSDENIED, info, true); }), E_ACCESSDENIED);
    EXPECT_EQ(take_error_info().p, info.p);

    // A COM error without information clears what the thread had.
    SetErrorInfo(0, info);
    EXPECT_EQ(ExceptionToHResult([] { throw _com_error(E_FAIL); }), E_FAIL);
    EXPECT_EQ(take_error_info().p, nullptr);
}

TEST(Barrier, OstraExceptionGivesItsHResultAndItsComErrorInformation)
{
    const CComPtr<IErrorInfo> info = error_info(L"from the kernel");
    const HRESULT raised = ExceptionToHResult([&] {
        IErrorInfo* handed = info;
        handed->AddRef();
        __exclude__com_raise_error(DISP_E_OVERFLOW, handed);
    });
    EXPECT_EQ(raised, DISP_E_OVERFLOW);
    EXPECT_EQ(take_error_info().p, info.p);

    // Without a COM error the thread's information stays as it was.
    SetErrorInfo(0, info);
    EXPECT_EQ(ExceptionToHResult([] { throw_condition(L"condition", COLLECTOR_THROW_SITE); }),
              get_hresult(COstraException(ostra::lux::kernel::exception_init, L"condition", {}, 1)));
    EXPECT_EQ(take_error_info().p, info.p);
}

TEST(Barrier, AnythingElseIsUnexpectedAndLeavesErrorInformation)
{
    const CComPtr<IErrorInfo> info = error_info(L"kept");
    SetErrorInfo(0, info);
    EXPECT_EQ(ExceptionToHResult([] { throw std::runtime_error("listener failed"); }), E_UNEXPECTED);
    EXPECT_EQ(ExceptionToHResult([] { throw 42; }), E_UNEXPECTED);
    EXPECT_EQ(take_error_info().p, info.p);
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

struct pool_a {
    int serial;
};
struct pool_b {};

TEST(PoolCache, HandsOutTheLivePoolAndBuildsAnotherOnceAllHandlesAreGone)
{
    pool_cache_t<pool_a, pool_b> cache;
    int built = 0;
    const auto make = [&] { return std::make_shared<pool_a>(pool_a{++built}); };

    auto first = cache.get<pool_a>(make);
    auto second = cache.get<pool_a>(make);
    EXPECT_EQ(first, second);
    EXPECT_EQ(built, 1);
    // Each kind has its own slot.
    EXPECT_NE(cache.get<pool_b>([] { return std::make_shared<pool_b>(); }), nullptr);

    first.reset();
    second.reset();
    EXPECT_EQ(cache.get<pool_a>(make)->serial, 2);
}

TEST(PoolCache, FailedBuildLeavesTheSlotAndTheLockUsable)
{
    pool_cache_t<pool_a> cache;
    const auto kept = cache.get<pool_a>([] { return std::make_shared<pool_a>(pool_a{1}); });
    EXPECT_EQ(cache.get<pool_a>([]() -> std::shared_ptr<pool_a> { throw std::runtime_error("never asked"); }), kept);

    pool_cache_t<pool_a> fresh;
    EXPECT_THROW(fresh.get<pool_a>([]() -> std::shared_ptr<pool_a> { throw std::runtime_error("failed"); }),
                 std::runtime_error);
    EXPECT_EQ(fresh.get<pool_a>([] { return std::make_shared<pool_a>(pool_a{7}); })->serial, 7);
}

} // namespace
} // namespace shell_test
