// DatabaseStorage: the settings that Connect() passes (defaults, the instance path split, flags as
// VARIANT_BOOL), the nine-argument form that leaves them alone, one storage per collector while a
// handle lives, and the storage events.
#include "shell/fake_collector.h"
#include "shell/site.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

using Texts = std::vector<std::optional<std::wstring>>;
using Numbers = std::vector<LONG>;
const std::nullopt_t null = std::nullopt;

class Storage : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    Collector collector{ECollectorSource::Rest};
    FakeCollector& component = *served.last.load();

    FakeCollector::Connection connected(DatabaseStorage storage)
    {
        storage.Connect();
        return component.connections.back();
    }
};

TEST_F(Storage, ConnectWithoutSettingsPassesNullTextsFalseFlagsAndModeZero)
{
    const DatabaseStorage storage = collector.GetDatabaseStorage();
    EXPECT_TRUE(component.calls.empty()); // the getter asks the component for nothing
    const FakeCollector::Connection made = connected(storage);
    EXPECT_EQ(made.texts, (Texts{null, null, null, null, null}));
    EXPECT_EQ(made.numbers, (Numbers{VARIANT_FALSE, VARIANT_FALSE, 0, VARIANT_FALSE}));
}

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
    DatabaseStorage storage = collector.GetDatabaseStorage();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.path)));
        storage.SetInstancePath(row.path);
        EXPECT_EQ(connected(storage).texts, (Texts{row.server, row.instance, null, null, null}));
    }
}

TEST_F(Storage, ChainedSettingsAreSharedByEveryHandleUntilTheLastGoes)
{
    {
        DatabaseStorage first = collector.GetDatabaseStorage();
        first.SetInstancePath(L"db01\\main").SetDbName(L"metrics").UseSqlAuth(true).SetUser(L"sa");
        first.SetPassword(L"pw").UseMultiSubnetFailover(true).SetEncryptionMode(7).TrustServerCertificate(true);
        const Texts texts{L"db01", L"main", L"metrics", L"sa", L"pw"};
        const Numbers numbers{-1, -1, 7, -1};
        const FakeCollector::Connection made = connected(collector.GetDatabaseStorage());
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
    EXPECT_EQ(connected(collector.GetDatabaseStorage()).texts, (Texts{null, null, null, null, null}));
}

TEST_F(Storage, DisconnectStateAndFailuresReachTheStorageInterface)
{
    DatabaseStorage storage = collector.GetDatabaseStorage();
    component.storage_state = EDatabaseStorageState::Connected;
    EXPECT_EQ(storage.GetState(), EDatabaseStorageState::Connected);
    storage.Disconnect();
    EXPECT_EQ(component.calls["Disconnect"], 1);

    component.result = E_ACCESSDENIED;
    component.error_description = L"login failed";
    component.support_error_info(IID_IDatabaseStorage);
    const auto e = caught<CHResultException>([&] { storage.Connect(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->get_hresult(), E_ACCESSDENIED);
    EXPECT_NE(e->error_info(), nullptr);
    SetErrorInfo(0, nullptr);
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
        DatabaseStorage storage = collector.GetDatabaseStorage();
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
