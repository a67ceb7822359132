// The collector's pools: one pool per kind while a handle lives, hosts and users with their empty
// handles, what EnsureHost and EnsureUser take for a match, and the database storage: the settings
// that Connect() passes (defaults, the instance path split, flags as VARIANT_BOOL), the nine-argument
// form that leaves them alone, and the storage events.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"

namespace shell_test {
namespace {

class Pools : public ServedCollectorTest {
protected:
    fake::Held<FakeEntryPool> entries = fake::hold<FakeEntryPool>();
    fake::Held<FakeResourcePool> resources = fake::hold<FakeResourcePool>();

    void SetUp() override
    {
        component.host_pool = component.user_pool = entries->unknown();
        component.resource_pool = resources->unknown();
    }
};

TEST_F(Pools, APoolIsSharedWhileAHandleLivesAndAskedForAgainOnceAllAreGone)
{
    struct Getter {
        const char* call;
        std::function<std::function<void()>(const Collector&)> get; // a pool handle, used by the function
    };
    const Getter getters[] = {
        {"GetHostPool", [](const Collector& c) { return [pool = c.GetHostPool()] { (void)pool.IsExist({}); }; }},
        {"GetUserPool", [](const Collector& c) { return [pool = c.GetUserPool()] { (void)pool.begin(); }; }},
        {"GetResourcePool", [](const Collector& c) { return [pool = c.GetResourcePool()] { (void)pool[L"x"]; }; }},
    };
    for (const Getter& getter : getters) {
        SCOPED_TRACE(getter.call);
        {
            const auto first = getter.get(*collector);
            getter.get(*collector)();
            EXPECT_EQ(component.calls[getter.call], 1);
        }
        getter.get(*collector)();
        EXPECT_EQ(component.calls[getter.call], 2);
    }

    // A failed getter caches nothing; a pool outlives its collector.
    component.result = E_ACCESSDENIED;
    EXPECT_EQ(caught<CHResultException>([&] { (void)collector->GetHostPool(); }).value().get_hresult(), E_ACCESSDENIED);
    component.result = S_OK;
    entries->add(fake::make<FakeEntry>(1, L"alpha"));
    const HostPool hosts = collector->GetHostPool();
    collector.reset();
    EXPECT_EQ(hosts[numbered_guid(1)].GetName(), L"alpha");
}

TEST_F(Pools, EmptyHandlesAndHandlesOfNoObjectThrowTheirNullMessage)
{
    entries->missing = S_OK; // success without an object
    const Host no_host = collector->GetHostPool()[numbered_guid(9)];
    const User no_user = collector->GetUserPool()[numbered_guid(9)];
    EXPECT_TRUE(no_host);
    EXPECT_FALSE(Host());
    const std::pair<const wchar_t*, std::function<void()>> rows[] = {
        {L"Host is null", [] { (void)Host().GetName(); }}, {L"Host is null", [&] { no_host.SetName(L"x"); }},
        {L"User is null", [] { (void)User().GetId(); }},   {L"User is null", [&] { (void)no_user.GetPassword(); }},
    };
    for (const auto& [message, call] : rows)
        EXPECT_EQ(caught<COstraException>(call).value().message(), message);
}

TEST_F(Pools, EnsureHostTakesTheFirstNameEqualIgnoringCaseElseCreatesOne)
{
    HostPool pool = collector->GetHostPool();
    EXPECT_EQ(pool.EnsureHost(L"Alpha").GetName(), L"Alpha"); // an empty pool
    entries->add(fake::make<FakeEntry>(1, L"beta"));
    entries->add(fake::make<FakeEntry>(2, L"BETA"));
    EXPECT_TRUE(IsEqualGUID(pool.EnsureHost(L"Beta").GetId(), numbered_guid(1)));
    EXPECT_EQ(pool.EnsureHost(L"betas").GetName(), L"betas");
    EXPECT_EQ(entries->created, (std::vector<std::wstring>{L"Create Alpha ", L"Create betas "}));

    // An unknown id is no host, whether the pool fails or succeeds without an object.
    EXPECT_TRUE(pool.IsExist(numbered_guid(1)));
    EXPECT_FALSE(pool.IsExist(numbered_guid(9)));
    entries->missing = S_OK;
    EXPECT_FALSE(pool.IsExist(numbered_guid(9)));
}

TEST_F(Pools, EnsureUserSkipsTheCurrentUserOtherOrMissingPasswordsAndUnreadableUsers)
{
    entries->add(fake::make<FakeEntry>(1, L"admin", L"secret", true));
    entries->add(fake::make<FakeEntry>(2, L"admin", L"Secret"));
    entries->add(fake::make<FakeEntry>(3, L"admin", std::nullopt));
    entries->add(fake::make<FakeEntry>(4, L"admin", L"secret")).name_result = E_ACCESSDENIED;
    entries->add(fake::make<FakeEntry>(5, L"ADMIN", L"secret"));
    entries->add(fake::make<FakeEntry>(6, L"admin", L"secret"));
    UserPool pool = collector->GetUserPool();
    EXPECT_TRUE(IsEqualGUID(pool.EnsureUser(L"Admin", L"secret").GetId(), numbered_guid(5)));
    EXPECT_TRUE(entries->created.empty());
    EXPECT_EQ(pool.EnsureUser(L"admin", L"SECRET").GetPassword(), std::optional<std::wstring>(L"SECRET"));
    EXPECT_EQ(entries->created, std::vector<std::wstring>{L"Create admin SECRET"});
    EXPECT_TRUE(IsEqualGUID(pool.GetCurrent().GetId(), numbered_guid(1)));

    // A password is read only when the user has one.
    entries->entries[2]->calls.clear();
    EXPECT_EQ(pool[numbered_guid(3)].GetPassword(), std::nullopt);
    EXPECT_EQ(entries->entries[2]->calls, std::vector<std::string>{"HasPassword"});
}

using Texts = std::vector<std::optional<std::wstring>>;
using Numbers = std::vector<LONG>;
const std::nullopt_t null = std::nullopt;

class Storage : public ServedCollectorTest {
protected:

    FakeCollector::Connection connected(DatabaseStorage storage)
    {
        storage.Connect();
        return component.connections.back();
    }
};

TEST_F(Storage, TheInstancePathSplitsAtItsFirstBackslash)
{
    struct Row {
        const wchar_t* path;
        const wchar_t* server;
        const wchar_t* instance;
    };
    const Row rows[] = {
        {L"db01\\main", L"db01", L"main"}, {L"db01", L"db01", L""}, {L"\\main", L"", L"main"},
        {L"db01\\main\\old", L"db01", L"main\\old"}, {L"db01\\", L"db01", L""}, {L"", L"", L""},
    };
    DatabaseStorage storage = collector->GetDatabaseStorage();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.path)));
        storage.SetInstancePath(row.path);
        EXPECT_EQ(connected(storage).texts, (Texts{row.server, row.instance, null, null, null}));
    }
}

TEST_F(Storage, ChainedSettingsAreSharedByEveryHandleUntilTheLastGoes)
{
    {
        DatabaseStorage first = collector->GetDatabaseStorage();
        EXPECT_TRUE(component.calls.empty()); // the getter asks the component for nothing
        first.SetInstancePath(L"db01\\main").SetDbName(L"metrics").UseSqlAuth(true).SetUser(L"sa");
        first.SetPassword(L"pw").UseMultiSubnetFailover(true).SetEncryptionMode(7).TrustServerCertificate(true);
        const Texts texts{L"db01", L"main", L"metrics", L"sa", L"pw"};
        const Numbers numbers{-1, -1, 7, -1};
        const FakeCollector::Connection made = connected(collector->GetDatabaseStorage());
        EXPECT_EQ(made.texts, texts);
        EXPECT_EQ(made.numbers, numbers);

        // The nine-argument form uses its own settings and leaves the stored ones.
        first.Connect(L"other", L"", L"db", false, L"u", L"p", true, -3, false);
        EXPECT_EQ(component.connections.back().texts, (Texts{L"other", L"", L"db", L"u", L"p"}));
        EXPECT_EQ(component.connections.back().numbers, (Numbers{0, -1, -3, 0}));
        EXPECT_EQ(connected(first).texts, texts);
        first.UseSqlAuth(false);
        EXPECT_EQ(connected(first).numbers, (Numbers{0, -1, 7, -1}));
    }
    // A fresh storage: settings never made are null texts, false flags and mode 0.
    const FakeCollector::Connection made = connected(collector->GetDatabaseStorage());
    EXPECT_EQ(made.texts, (Texts{null, null, null, null, null}));
    EXPECT_EQ(made.numbers, (Numbers{VARIANT_FALSE, VARIANT_FALSE, 0, VARIANT_FALSE}));
}

class States : public IDatabaseStorageListener {
public:
    void Event1(LONG value) override { seen.push_back(value); }
    std::vector<LONG> seen;
};

TEST_F(Storage, StorageEventsReachTheListenerWhileSubscribed)
{
    const auto fire = [&](LONG value) {
        return component.storage_events.fire([&](IDatabaseStorageEvents* sink) { return sink->Event1(value); });
    };
    const auto states = std::make_shared<States>();
    {
        DatabaseStorage storage = collector->GetDatabaseStorage();
        storage.Subscribe(states);
        EXPECT_EQ(fire(2), std::vector<HRESULT>{S_OK});
        storage.Unsubscribe();
        EXPECT_TRUE(fire(3).empty());
        storage.Subscribe(states);
        EXPECT_TRUE(component.events.sinks().empty()); // not the collector's own events
    }
    // The last handle unadvised its sink.
    EXPECT_TRUE(fire(4).empty());
    EXPECT_EQ(states->seen, std::vector<LONG>{2});
}

} // namespace
} // namespace shell_test
