// The collector's pools: one pool per kind while a handle lives, hosts and users with their empty
// handles, what EnsureHost and EnsureUser take for a match, resources and their deployment, profiles,
// and the database storage: the settings that Connect() passes (defaults, the instance path split,
// flags as VARIANT_BOOL), the nine-argument form that leaves them alone, and the storage events.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"
#include "shell/fake_tasks.h"

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

// Which pool a live handle shares is the task pool's test (one cache serves every kind); here, that a
// failed getter caches nothing and that a pool outlives its collector.
TEST_F(Pools, AFailedGetterCachesNothingAndAPoolOutlivesItsCollector)
{
    component.result = E_ACCESSDENIED;
    EXPECT_EQ(refusal_of([&] { (void)collector->GetHostPool(); }).hresult, E_ACCESSDENIED);
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
    expect_null_refusals(L"Host", {{[] { (void)Host().GetId(); }, 30}, {[&] { (void)no_host.GetName(); }, 37},
                                   {[&] { no_host.SetName(L"x"); }, 44}, {[] { (void)Host().IsLocal(); }, 51}});
    expect_null_refusals(L"User", {{[] { (void)User().GetId(); }, 30}, {[&] { (void)no_user.GetName(); }, 37},
                                   {[&] { (void)no_user.GetPassword(); }, 44}, {[] { (void)User().IsCurrent(); }, 54}});
    // An id that the pool answers without an object is no host; one it fails is the integration tests'.
    EXPECT_FALSE(collector->GetHostPool().IsExist(numbered_guid(9)));
}

TEST_F(Pools, EnsureTakesTheFirstMatchElseCreatesOne)
{
    HostPool hosts = collector->GetHostPool();
    entries->add(fake::make<FakeEntry>(1, L"beta"));
    entries->add(fake::make<FakeEntry>(2, L"BETA"));
    EXPECT_TRUE(IsEqualGUID(hosts.EnsureHost(L"Beta").GetId(), numbered_guid(1)));

    // A user matches by name ignoring case and by password exactly, never the current user, nor one
    // without a password or whose name cannot be read.
    entries->entries.clear();
    entries->add(fake::make<FakeEntry>(1, L"admin", L"secret", true));
    entries->add(fake::make<FakeEntry>(2, L"admin", L"Secret"));
    entries->add(fake::make<FakeEntry>(3, L"admin", std::nullopt));
    entries->add(fake::make<FakeEntry>(4, L"admin", L"secret")).name_result = E_ACCESSDENIED;
    entries->add(fake::make<FakeEntry>(5, L"ADMIN", L"secret"));
    entries->add(fake::make<FakeEntry>(6, L"admin", L"secret"));
    UserPool users = collector->GetUserPool();
    EXPECT_TRUE(IsEqualGUID(users.EnsureUser(L"Admin", L"secret").GetId(), numbered_guid(5)));
    EXPECT_TRUE(entries->created.empty());
    EXPECT_EQ(users.EnsureUser(L"admin", L"SECRET").GetPassword(), std::optional<std::wstring>(L"SECRET"));
    EXPECT_EQ(entries->created, std::vector<std::wstring>{L"admin SECRET"});
    EXPECT_TRUE(IsEqualGUID(users.GetCurrent().GetId(), numbered_guid(1)));

    // A password is read only when the user has one.
    entries->entries[2]->calls.clear();
    EXPECT_EQ(users[numbered_guid(3)].GetPassword(), std::nullopt);
    EXPECT_EQ(entries->entries[2]->calls, std::vector<std::string>{"HasPassword"});
}

TEST_F(Pools, NamesThePoolLacksGiveEmptyResourcesThatThrowWhenRead)
{
    ResourcePool pool = collector->GetResourcePool();
    pool.Add(L"disk", Object(v4(5)));
    resources->missing = S_OK;
    EXPECT_FALSE(pool[L"absent"]); // the pool succeeds without an object
    EXPECT_FALSE(pool[std::wstring_view(L"disk\0", 5)]);
    EXPECT_EQ(resources->found.back(), std::wstring(L"disk\0", 5));
    resources->add_gives_nothing = true;
    EXPECT_FALSE(pool.Add(L"nothing", Object()));
    expect_refusal([&] { (void)pool[L"absent"].GetName(); }, L"Resource is null", 0,
                   "Monitor/Collector/Collector.Shell/Resource.cpp");
}

TEST_F(Pools, DeployHandsTheTargetAndTheBagToTheResource)
{
    const Resource disk = collector->GetResourcePool().Add(L"disk", Object());
    FakeResource& resource = *resources->resources.back();
    Collections made;
    auto task = fake::hold<FakeTask>(made);
    const DeploymentTarget target(task->unknown());
    EXPECT_EQ(disk.Deploy(target, DeploymentData{{L"a", v4(2)}}).get<int>(), 42);
    EXPECT_EQ(resource.target, static_cast<IDeploymentTarget*>(task.get()));
    EXPECT_EQ(resource.deployed, std::vector<std::wstring>{L"a"});
    expect_refusal([&] { disk.Deploy(DeploymentTarget(), DeploymentData()); }, L"DeploymentTarget is null", 0);
}

class FakeProfileFactory : public fake::Fake<IProfileFactory> {
public:
    FakeProfileFactory() : Fake("profile factory") {}

    // What CreateProfile hands out (null: no object).
    CComPtr<IUnknown> profile;
    // What the last call was given: the three texts, then the bag's "site" or "no data".
    std::vector<std::wstring> given;
    void* context = nullptr;

    HRESULT STDMETHODCALLTYPE CreateProfile(BSTR first, BSTR second, BSTR third, IDeploymentData* data,
                                            void* passed, IUnknown** out) override
    {
        _variant_t site(L"no data");
        if (data && FAILED(data->GetValue(_bstr_t(L"site"), site.GetAddress())))
            site = L"no site";
        given = {text_of(first), text_of(second), text_of(third), text_of(site.bstrVal)};
        context = passed;
        return profile.CopyTo(out);
    }
};

TEST(Profiles, TextsDataAndContextReachTheFactoryAndItsObjectBecomesTheRecord)
{
    fake::Apartment apartment;
    const refusal_t unserved = refusal_of([] { Collector::CreateProfile(L"", L"", L"", {}, nullptr); });
    EXPECT_EQ(unserved.hresult, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(unserved.site.line, 273);
    EXPECT_EQ(unserved.site.file, "Monitor/Collector/Collector.Shell/Collector.cpp");
    auto factory = fake::hold<FakeProfileFactory>();
    fake::ServedClass served(CLSID_ProfileFactory, [&] { return factory->AddRef(), factory->unknown(); });
    auto object = fake::hold<FakeRecord>(std::vector<IID>{IID_IRecord, IID_IReference});
    object->values[L"name"] = _variant_t(L"weekly");
    factory->profile = object->unknown();

    int context = 0;
    const Record record = Collector::CreateProfile(L"a", L"", std::wstring_view(L"c\0d", 3),
                                                   DeploymentData{{L"site", _variant_t(L"north")}}, &context);
    EXPECT_EQ(factory->given, (std::vector<std::wstring>{L"a", L"", std::wstring(L"c\0d", 3), L"north"}));
    EXPECT_EQ(factory->context, &context);
    ASSERT_TRUE(record);
    EXPECT_EQ(record[L"name"].get<std::wstring>(), L"weekly");

    // A bag without object passes no deployment data; no object back gives the empty record.
    DeploymentData moved;
    DeploymentData taken(std::move(moved));
    factory->profile.Release();
    EXPECT_FALSE(Collector::CreateProfile(L"a", L"b", L"c", moved, nullptr));
    EXPECT_EQ(factory->given.back(), L"no data");
    EXPECT_EQ(factory->context, nullptr);
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
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> rows[] = {
        {L"db01\\main", L"db01", L"main"}, {L"db01", L"db01", L""}, {L"\\main", L"", L"main"},
        {L"db01\\main\\old", L"db01", L"main\\old"}, {L"db01\\", L"db01", L""}, {L"", L"", L""},
    };
    DatabaseStorage storage = collector->GetDatabaseStorage();
    for (const auto& [path, server, instance] : rows) {
        storage.SetInstancePath(path);
        EXPECT_EQ(connected(storage).texts, (Texts{server, instance, null, null, null})) << path;
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
        const FakeCollector::Connection made = connected(collector->GetDatabaseStorage());
        EXPECT_EQ(made.texts, texts);
        EXPECT_EQ(made.numbers, (Numbers{-1, -1, 7, -1}));

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

struct States : IDatabaseStorageListener {
    void Event1(LONG value) override { seen.push_back(value); }
    std::vector<LONG> seen;
};

TEST_F(Storage, StorageEventsReachTheListenerUntilTheLastHandleGoes)
{
    const auto fire = [&](LONG value) {
        return component.storage_events.fire([&](IDatabaseStorageEvents* sink) { return sink->Event1(value); });
    };
    const auto states = std::make_shared<States>();
    {
        DatabaseStorage storage = collector->GetDatabaseStorage();
        storage.Subscribe(states);
        EXPECT_EQ(fire(2), std::vector<HRESULT>{S_OK});
        EXPECT_TRUE(component.events.sinks().empty()); // not the collector's own events
    }
    // The last handle unadvised its sink.
    EXPECT_TRUE(fire(4).empty());
    EXPECT_EQ(states->seen, std::vector<LONG>{2});
}

} // namespace
} // namespace shell_test
