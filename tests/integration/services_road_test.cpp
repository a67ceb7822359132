// Roads that need no task: hosts and users, resources and their file, the database storage, profiles,
// and failures scripted in the component arriving as the library's exceptions.
#include "integration/road.h"

#include <filesystem>

namespace integration {
namespace {

// Windows error codes that the host build's headers do not all name.
constexpr HRESULT name_taken = HRESULT_FROM_WIN32(183);    // ERROR_ALREADY_EXISTS

// The names of a pool's items or of a record's fields, in order.
template <class Handle>
std::vector<std::wstring> NamesOf(const Handle& items)
{
    std::vector<std::wstring> names;
    for (const auto& item : items)
        names.push_back(item.GetName());
    return names;
}

// What a match is for EnsureHost and EnsureUser is the library's concern; here its pools meet the
// component's: the local host and the current user, creation, order and refusals.
TEST_F(Road, HostsAndUsersAreFoundCreatedAndEnsured)
{
    constexpr GUID absent_id{0x1234, 0, 0, {}};
    HostPool hosts = collector->GetHostPool();
    const Host local = *hosts.begin();
    EXPECT_TRUE(local.IsLocal());
    EXPECT_EQ(hosts.EnsureHost(local.GetName()).GetId(), local.GetId());
    const Host alpha = hosts.Create(L"alpha");
    EXPECT_FALSE(alpha.IsLocal());
    EXPECT_TRUE(hosts.IsExist(alpha.GetId()));
    EXPECT_FALSE(hosts.IsExist(absent_id));
    alpha.SetName(L"Beta");
    EXPECT_EQ(hosts[alpha.GetId()].GetName(), L"Beta");
    hosts.CreateDefault(L"first");
    EXPECT_EQ(NamesOf(collector->GetHostPool()), (std::vector<std::wstring>{L"first", local.GetName(), L"Beta"}));
    EXPECT_EQ(FailureOf([&] { alpha.SetName(L""); }), Refused(E_INVALIDARG, L"A host needs a name"));
    EXPECT_EQ(FailureOf([&] { hosts[absent_id]; }), Refused(E_INVALIDARG, L"No host has that id"));

    UserPool users = collector->GetUserPool();
    const User current = users.GetCurrent();
    EXPECT_TRUE(current.IsCurrent());
    EXPECT_FALSE(current.GetPassword().has_value());
    // The current account never matches: ensuring it by name makes credentials of that name.
    const User service = users.EnsureUser(current.GetName(), L"secret");
    EXPECT_NE(service.GetId(), current.GetId());
    EXPECT_FALSE(service.IsCurrent());
    EXPECT_EQ(service.GetPassword(), std::optional<std::wstring>(L"secret"));
    const User blank = users.CreateDefault(L"blank", L"");
    EXPECT_EQ(blank.GetPassword(), std::optional<std::wstring>(L""));
    EXPECT_EQ(users[blank.GetId()].GetName(), L"blank");
    EXPECT_EQ(NamesOf(users), (std::vector<std::wstring>{L"blank", current.GetName(), current.GetName()}));
    EXPECT_EQ(FailureOf([&] { users.CreateDefault(L"", L""); }), Refused(E_INVALIDARG, L"A user needs a name"));
    EXPECT_EQ(FailureOf([&] { users[absent_id]; }), Refused(E_INVALIDARG, L"No user has that id"));
}

TEST_F(Road, ResourcesTravelThroughTheirFileWithTheirEvents)
{
    // Named after the clock, so that builds running side by side use files of their own.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("integration-resources-" + std::to_string(stamp) + ".txt");
    ResourcePool pool = collector->GetResourcePool();
    pool.Subscribe(listener);

    pool.Add(L"count", _variant_t(LONG(5)));
    pool.Add(L"label", _variant_t(L"tab\there"));
    const Resource flag = pool.Add(L"flag", _variant_t(true));
    EXPECT_FALSE(pool[L"absent"]);
    EXPECT_EQ(FailureOf([&] { pool.Add(L"count", _variant_t(LONG(6))); }),
              Refused(name_taken, L"A resource named count exists"));
    EXPECT_EQ(FailureOf([&] { pool.Add(L"when", _variant_t(45000.0, VT_DATE)); }),
              Refused(DISP_E_TYPEMISMATCH, L"A resource holds nothing, a boolean, an integer, a double or a text"));
    EXPECT_EQ(FailureOf([&] { pool.Remove(L"absent"); }), Refused(E_INVALIDARG, L"No resource is named absent"));

    pool.Save(file.wstring());
    pool.Remove(L"count");
    pool.Add(L"extra", _variant_t(1.5));
    pool.Merge(file.wstring(), EMergeMode::KeepExisting);
    EXPECT_EQ(pool[L"flag"].GetId(), flag.GetId()) << "KeepExisting replaced a resource";
    EXPECT_EQ(pool[L"count"].GetResource().get<int>(), 5);
    pool.Merge(file.wstring(), EMergeMode::Overwrite);
    EXPECT_NE(pool[L"flag"].GetId(), flag.GetId()) << "Overwrite kept the old resource";
    EXPECT_EQ(FailureOf([&] { pool.Merge(file.wstring(), static_cast<EMergeMode>(9)); }),
              Refused(E_INVALIDARG, L"Unknown merge mode 9"));
    pool.Load(file.wstring());
    EXPECT_EQ(NamesOf(pool), (std::vector<std::wstring>{L"count", L"label", L"flag"}));
    EXPECT_EQ(pool[L"label"].GetResource().get<std::wstring>(), L"tab\there");
    std::filesystem::remove(file);

    pool.SetProperty(L"Owner", _variant_t(L"ops"));
    EXPECT_EQ(std::wstring(_bstr_t(pool.GetProperty(L"Owner"))), L"ops");
    // A merge removes the names it replaces, then adds; a load removes everything first.
    const std::vector<std::wstring> expected = {
        L"added count",   L"added label",   L"added flag",    L"removed count", L"added extra",   L"added count",
        L"removed label", L"removed flag",  L"removed count", L"added count",   L"added label",   L"added flag",
        L"removed extra", L"removed count", L"removed label", L"removed flag",  L"added count",   L"added label",
        L"added flag"};
    EXPECT_EQ(events.Wait(expected.size()), expected);
    pool.Unsubscribe();
}

TEST_F(Road, StorageConnectsAndAnnouncesItsStates)
{
    DatabaseStorage storage = collector->GetDatabaseStorage();
    storage.Subscribe(listener);

    storage.SetInstancePath(L"db.example\\SQL_1$").SetDbName(L"collect").UseSqlAuth(true).SetUser(L"sa");
    storage.SetPassword(L"pw").SetEncryptionMode(2).TrustServerCertificate(true).UseMultiSubnetFailover(true);
    storage.Connect();
    EXPECT_EQ(collector->GetDatabaseStorage().GetState(), EDatabaseStorageState::Connected);
    storage.Disconnect();
    EXPECT_EQ(storage.GetState(), EDatabaseStorageState::Disconnected);
    storage.Connect(L"db", L"", L"other", false, L"", L"", false, 1, false);
    EXPECT_EQ(storage.GetState(), EDatabaseStorageState::Connected);
    EXPECT_EQ(events.Wait(5), (std::vector<std::wstring>{L"state 1", L"state 2", L"state 0", L"state 1", L"state 2"}));
    storage.Unsubscribe();
}

TEST_F(Road, ProfilesCarryTheirTextsAndDeploymentData)
{
    int context = 0;
    const Record profile = Collector::CreateProfile(L"nightly", L"host-7", L"<scan/>",
                                                    DeploymentData{{L"Mode", _variant_t(L"full")},
                                                                   {L"Port", _variant_t(LONG(8080))}},
                                                    &context);
    ASSERT_TRUE(profile);
    EXPECT_EQ(NamesOf(profile), (std::vector<std::wstring>{L"Name", L"Target", L"Text", L"Mode", L"Port"}));
    EXPECT_EQ(profile[L"Name"].get<std::wstring>(), L"nightly");
    EXPECT_EQ(profile[L"Target"].get<std::wstring>(), L"host-7");
    EXPECT_EQ(profile[L"Text"].get<std::wstring>(), L"<scan/>");
    EXPECT_EQ(profile[L"Port"].get<int>(), 8080);
    EXPECT_FALSE(profile.IsExist(L"Context"));
    EXPECT_FALSE(profile.GetKey());

    const Record bare = Collector::CreateProfile(L"bare", L"", L"", DeploymentData{}, nullptr);
    EXPECT_EQ(bare[L"Target"].get<std::wstring>(), L"");
    EXPECT_EQ(FailureOf([] { Collector::CreateProfile(L"", L"t", L"x", DeploymentData{}, nullptr); }),
              Refused(E_INVALIDARG, L"A profile needs a name"));
    EXPECT_EQ(FailureOf([] {
                  Collector::CreateProfile(L"p", L"t", L"x", DeploymentData{{L"Text", _variant_t(LONG(1))}}, nullptr);
              }),
              Refused(E_INVALIDARG, L"The deployment data names Text, a field of the profile itself"));
}

// A failure scripted for one call of one operation arrives as the library's exception with the
// component's description, once: the next call of the same operation succeeds. The user and resource
// pools' refusals arrive the same way in their own roads.
TEST_F(Road, ScriptedFailuresArriveAsTheLibrarysExceptions)
{
    HostPool hosts = collector->GetHostPool();
    const struct {
        const wchar_t* operation;
        std::function<void()> call;
    } roads[] = {
        {L"ICollector::Start", [&] { collector->Start(); }},
        {L"IProperties::SetProperty", [&] { collector->SetProperty(L"Site", _variant_t(LONG(1))); }},
        {L"IHostPool::Create", [&] { hosts.Create(L"h"); }},
        {L"IDatabaseStorage::Connect",
         [&] { collector->GetDatabaseStorage().SetInstancePath(L"db").SetDbName(L"collect").Connect(); }},
    };
    for (const auto& road : roads) {
        const std::wstring description = std::wstring(L"scripted refusal of ") + road.operation;
        registration->FailCall(road.operation, 1, E_ACCESSDENIED, description);
        EXPECT_EQ(FailureOf(road.call), Refused(E_ACCESSDENIED, description));
        EXPECT_EQ(FailureOf(road.call), Failure()) << road.operation << " failed twice";
    }

    // The second call from now fails, not the first.
    registration->FailCall(L"IHostPool::Create", 2, E_OUTOFMEMORY, L"second");
    EXPECT_EQ(FailureOf([&] { hosts.Create(L"one"); }), Failure());
    EXPECT_EQ(std::get<1>(FailureOf([&] { hosts.Create(L"two"); })), L"second");
    EXPECT_EQ(NamesOf(hosts).size(), 3u);
}

} // namespace
} // namespace integration
