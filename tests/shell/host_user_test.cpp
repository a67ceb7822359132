// Hosts and users: empty handles, lookups that find nothing, what EnsureHost and EnsureUser take for a
// match, and the password read only when the user has one.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"
#include "shell/site.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

class HostsAndUsers : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    Collector collector{ECollectorSource::Rest};
    FakeCollector& component = *served.last.load();
    fake::Held<FakeHostPool> hosts = fake::hold<FakeHostPool>();
    fake::Held<FakeUserPool> users = fake::hold<FakeUserPool>();

    void SetUp() override
    {
        component.host_pool = hosts->unknown();
        component.user_pool = users->unknown();
    }

    FakeUser& user(std::uint32_t n, std::wstring name, std::optional<std::wstring> password, bool current = false)
    {
        return users->add(fake::make<FakeUser>(numbered_guid(n), std::move(name), std::move(password), current));
    }
};

TEST_F(HostsAndUsers, EmptyHandlesAndHandlesOfNoObjectThrowTheirNullMessage)
{
    hosts->missing = S_OK; // an unknown id: success without an object
    users->missing = S_OK;
    const Host no_host = collector.GetHostPool()[numbered_guid(9)];
    const User no_user = collector.GetUserPool()[numbered_guid(9)];
    EXPECT_TRUE(no_host);
    EXPECT_FALSE(Host());
    EXPECT_FALSE(User());

    struct Row {
        const char* member;
        const wchar_t* message;
        std::function<void()> call;
    };
    const std::vector<Row> rows = {
        {"Host::GetId", L"Host is null", [] { (void)Host().GetId(); }},
        {"Host::GetName", L"Host is null", [] { (void)Host().GetName(); }},
        {"Host::SetName", L"Host is null", [] { Host().SetName(L"x"); }},
        {"Host::IsLocal", L"Host is null", [] { (void)Host().IsLocal(); }},
        {"Host of no object", L"Host is null", [&] { (void)no_host.GetName(); }},
        {"User::GetId", L"User is null", [] { (void)User().GetId(); }},
        {"User::GetName", L"User is null", [] { (void)User().GetName(); }},
        {"User::GetPassword", L"User is null", [] { (void)User().GetPassword(); }},
        {"User::IsCurrent", L"User is null", [] { (void)User().IsCurrent(); }},
        {"User of no object", L"User is null", [&] { (void)no_user.IsCurrent(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.member);
        const auto e = caught<COstraException>(row.call);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), row.message);
        EXPECT_EQ(dynamic_cast<const CHResultException*>(&*e), nullptr);
    }
}

TEST_F(HostsAndUsers, HostsAreReadRenamedAndLookedUpByIdWithoutRaisingForUnknownOnes)
{
    FakeHost& local = hosts->add(fake::make<FakeHost>(numbered_guid(1), L"here", true));
    HostPool pool = collector.GetHostPool();
    const Host host = pool[numbered_guid(1)];
    EXPECT_TRUE(IsEqualGUID(host.GetId(), numbered_guid(1)));
    EXPECT_TRUE(host.IsLocal());
    host.SetName(std::wstring_view(L"a\0b", 3));
    EXPECT_EQ(local.host_name, std::wstring(L"a\0b", 3));
    EXPECT_EQ(host.GetName(), std::wstring(L"a\0b", 3));

    EXPECT_TRUE(pool.IsExist(numbered_guid(1)));
    EXPECT_FALSE(pool.IsExist(numbered_guid(2))); // a failure
    hosts->missing = S_OK;
    EXPECT_FALSE(pool.IsExist(numbered_guid(2))); // success without an object
    hosts->missing = E_INVALIDARG;
    const auto e = caught<CHResultException>([&] { (void)pool[numbered_guid(2)]; });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->get_hresult(), E_INVALIDARG);
}

TEST_F(HostsAndUsers, EnsureHostTakesTheFirstNameEqualIgnoringCaseElseCreatesOne)
{
    HostPool pool = collector.GetHostPool();
    EXPECT_EQ(pool.EnsureHost(L"Alpha").GetName(), L"Alpha"); // an empty pool
    hosts->add(fake::make<FakeHost>(numbered_guid(1), L"beta"));
    hosts->add(fake::make<FakeHost>(numbered_guid(2), L"BETA"));
    EXPECT_TRUE(IsEqualGUID(pool.EnsureHost(L"Beta").GetId(), numbered_guid(1)));
    EXPECT_EQ(pool.EnsureHost(L"betas").GetName(), L"betas");
    pool.CreateDefault(L"main");
    using Calls = std::vector<std::vector<std::wstring>>;
    EXPECT_EQ(hosts->created, (Calls{{L"Create", L"Alpha"}, {L"Create", L"betas"}, {L"CreateDefault", L"main"}}));
}

TEST_F(HostsAndUsers, EnsureUserSkipsTheCurrentUserWrongOrMissingPasswordsAndUnreadableUsers)
{
    user(1, L"admin", L"secret", true);
    user(2, L"admin", L"Secret");
    user(3, L"admin", std::nullopt);
    user(4, L"admin", L"secret").name_result = E_ACCESSDENIED;
    user(5, L"ADMIN", L"secret");
    user(6, L"admin", L"secret");
    UserPool pool = collector.GetUserPool();
    EXPECT_TRUE(IsEqualGUID(pool.EnsureUser(L"Admin", L"secret").GetId(), numbered_guid(5)));
    EXPECT_TRUE(users->created.empty());

    // The same name with a password that differs in case only is another user.
    const User made = pool.EnsureUser(L"admin", L"SECRET");
    EXPECT_EQ(made.GetPassword(), std::optional<std::wstring>(L"SECRET"));
    EXPECT_EQ(users->created, (std::vector<std::vector<std::wstring>>{{L"Create", L"admin", L"SECRET"}}));
    EXPECT_TRUE(IsEqualGUID(pool.GetCurrent().GetId(), numbered_guid(1)));
}

TEST_F(HostsAndUsers, APasswordIsReadOnlyWhenTheUserHasOne)
{
    FakeUser& none = user(1, L"guest", std::nullopt);
    FakeUser& some = user(2, L"root", L"");
    const UserPool pool = collector.GetUserPool();
    EXPECT_EQ(pool[numbered_guid(1)].GetPassword(), std::nullopt);
    EXPECT_EQ(none.calls, std::vector<std::string>{"HasPassword"});
    EXPECT_EQ(pool[numbered_guid(2)].GetPassword(), std::optional<std::wstring>(L""));
    EXPECT_EQ(some.calls, (std::vector<std::string>{"HasPassword", "GetPassword"}));
}

} // namespace
} // namespace shell_test
