// Collection events over a fake component: who holds the listener place, the calls that one
// composition update makes, failures inside an update, state changes, watchers, the sink's log, and
// updates on several component threads while the program subscribes and registers watchers.
#include "shell/fake_collection.h"

#include <collector/shell.h>

#include <Kernel/interruption.h>
#include <Kernel/logger.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace shell_test {
namespace {

using namespace collector::shell;

// Writes every call down: "set", "+1" (added), "~1" (updated), "-1" (removed), "Running text".
class Journal : public ICollectionListener {
public:
    bool take_whole = false;
    // Runs before a record call is written down, with the record's number.
    std::function<void(int)> on_record;
    std::vector<std::wstring> calls;
    GUID state_id{};

    bool Updated(const RecordsSet&) override
    {
        calls.push_back(L"set");
        return take_whole;
    }
    void RecordAdded(Record record) override { note(L"+", record[L"id"].get<int>()); }
    void RecordUpdated(Record record) override { note(L"~", record[L"id"].get<int>()); }
    void RecordRemoved(Key key) override { note(L"-", key[L"id"].get<int>()); }
    void StateChanged(GUID id, ECollectionState state, std::wstring_view text) override
    {
        state_id = id;
        calls.push_back(std::wstring(ECollectionStateToString(state)) + L" " + std::wstring(text));
    }

private:
    void note(const wchar_t* kind, int id)
    {
        if (on_record)
            on_record(id);
        calls.push_back(kind + std::to_wstring(id));
    }
};

using Calls = std::vector<std::wstring>;
using Changes = std::vector<std::pair<LONG, LONG>>;

class CollectionEvents : public testing::Test {
protected:
    fake::Held<FakeCollection> component = fake::hold<FakeCollection>();
    std::optional<Collection> collection{std::in_place, component->unknown(), component->classes->unknown()};
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    int disposals = 0;

    // One update of (kind, record) changes; the results of every advised sink.
    std::vector<HRESULT> update(const Changes& changes, std::optional<std::size_t> fail_at = {})
    {
        auto set = fake::hold<FakeSet>(changes, fail_at);
        const auto results = component->composition->updates.fire(
            [&](ICompositionEvents* sink) { return sink->Updated(GUID{}, set.get()); });
        disposals = set->disposals;
        return results;
    }
    std::vector<HRESULT> added(LONG id)
    {
        auto record = fake::hold<FakeRecord>(id);
        return component->events.fire([&](ICollectionEvents* sink) { return sink->RecordAdded(GUID{}, record.get()); });
    }
};

const std::vector<HRESULT> one_success{S_OK};

TEST_F(CollectionEvents, TheFirstSubscriberKeepsThePlaceUntilUnsubscribe)
{
    const auto other = std::make_shared<Journal>();
    collection->Subscribe(journal);
    collection->Subscribe(other);
    added(1);
    collection->Unsubscribe();
    collection->Subscribe(other);
    added(2);
    EXPECT_EQ(journal->calls, Calls{L"+1"});
    EXPECT_EQ(other->calls, Calls{L"+2"});
    EXPECT_EQ(component->events.advise_calls.load(), 2);
    collection->Unsubscribe();

    // An empty listener, and one released by its owner, keep the place too.
    collection->Subscribe(nullptr);
    collection->Subscribe(journal);
    EXPECT_EQ(added(3), one_success);
    collection->Unsubscribe();
    auto released = std::make_shared<Journal>();
    collection->Subscribe(released);
    released.reset();
    collection->Subscribe(journal);
    added(4);
    EXPECT_EQ(journal->calls, Calls{L"+1"});
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, WatchersAndAListenerCompeteForThePlace)
{
    std::vector<int> watched;
    const auto watch = [&](Record record) { watched.push_back(record[L"id"].get<int>()); };
    collection->Subscribe(journal);
    collection->WatchOnAdded(watch);
    added(1);
    collection->Unsubscribe();
    collection->WatchOnAdded(watch).Subscribe(journal);
    added(2);
    EXPECT_EQ(journal->calls, Calls{L"+1"});
    EXPECT_EQ(watched, std::vector<int>{2});
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, AnUpdateIsDeliveredChangeByChangeBetweenItsStates)
{
    const Changes changes{{0, 1}, {1, 2}, {2, 3}, {5, 4}, {0, 5}};
    const Calls records{L"+1", L"~2", L"-3", L"+5"};
    for (const bool announces : {false, true}) {
        component->composition->announces = announces;
        journal->calls.clear();
        collection->Subscribe(journal);
        EXPECT_EQ(update(changes), one_success);
        Calls expected{L"set"};
        if (announces)
            expected.push_back(L"UpdateStarted ");
        expected.push_back(L"BulkUpdateStarted ");
        expected.insert(expected.end(), records.begin(), records.end());
        expected.push_back(L"BulkUpdateFinished ");
        if (announces)
            expected.push_back(L"UpdateFinished ");
        EXPECT_EQ(journal->calls, expected) << announces;
        EXPECT_TRUE(IsEqualGUID(journal->state_id, component->id));
        EXPECT_EQ(disposals, 1);
        collection->Unsubscribe();
    }

    // A listener that takes the update whole hears nothing else of it.
    journal->calls.clear();
    journal->take_whole = true;
    collection->Subscribe(journal);
    EXPECT_EQ(update(changes), one_success);
    EXPECT_EQ(journal->calls, Calls{L"set"});
    EXPECT_EQ(disposals, 1);
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, AFailedDeliveryIsSkippedButAFailedEnumerationEndsTheUpdate)
{
    collection->Subscribe(journal);
    journal->on_record = [](int id) {
        if (id == 2)
            throw _com_error(E_FAIL);
    };
    EXPECT_EQ(update({{0, 1}, {0, 2}, {1, 3}}), one_success);
    EXPECT_EQ(journal->calls, (Calls{L"set", L"BulkUpdateStarted ", L"+1", L"~3", L"BulkUpdateFinished "}));

    journal->calls.clear();
    EXPECT_EQ(update({{0, 1}, {0, 3}}, 1), std::vector<HRESULT>{E_FAIL});
    EXPECT_EQ(journal->calls, (Calls{L"set", L"BulkUpdateStarted ", L"+1"}));
    EXPECT_EQ(disposals, 0);
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, StatesReachTheListenerWithTheSubscribedIdAndTheirText)
{
    collection->Subscribe(journal);
    auto description = fake::hold<FakeDescription>(L"busy");
    const GUID other_id = {0xBAD, 0, 0, {}};
    auto& point = component->events;
    point.fire([&](ICollectionEvents* s) { return s->StateChanged(other_id, ECollectionState::Running, description.get()); });
    point.fire([&](ICollectionEvents* s) { return s->StateChanged(other_id, ECollectionState::Stopped, nullptr); });
    point.fire([&](ICollectionEvents* s) { return s->UpdateStarted(other_id); });
    point.fire([&](ICollectionEvents* s) { return s->UpdateFinished(other_id); });
    EXPECT_EQ(point.fire([](ICollectionEvents* s) { return s->Reserved(); }), one_success);
    EXPECT_EQ(journal->calls, (Calls{L"Running busy", L"Stopped ", L"UpdateStarted ", L"UpdateFinished "}));
    EXPECT_TRUE(IsEqualGUID(journal->state_id, component->id));
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, WatchersHearTheirEventsAndAnInterruptedOneLeaves)
{
    std::vector<std::wstring> heard;
    collection->WatchAnyRecord([&](Record r) { heard.push_back(L"any " + std::to_wstring(r[L"id"].get<int>())); })
        .WatchOnAdded([&](Record) {
            heard.push_back(L"leaving");
            throw CInterruptedException();
        })
        .WatchOnRemoved([&](Key k) { heard.push_back(L"removed " + std::to_wstring(k[L"id"].get<int>())); })
        .WatchOnStateChanged([&](ECollectionState, std::wstring_view) { heard.push_back(L"state"); });
    EXPECT_EQ(added(1), one_success);
    EXPECT_EQ(update({{0, 2}, {1, 3}, {2, 4}}), one_success);
    EXPECT_EQ(heard, (std::vector<std::wstring>{L"any 1", L"leaving", L"state", L"any 2", L"any 3", L"removed 4",
                                                L"state"}));

    // Another exception ends the round and becomes the event's result.
    collection->WatchOnAdded([](Record) { throw std::runtime_error("watcher failed"); });
    heard.clear();
    EXPECT_EQ(added(5), std::vector<HRESULT>{E_UNEXPECTED});
    EXPECT_EQ(heard, std::vector<std::wstring>{L"any 5"});

    // Unsubscribe drops every watcher; the next registration starts afresh.
    collection->Unsubscribe();
    collection->WatchOnRemoved([&](Key) { heard.push_back(L"new"); });
    heard.clear();
    added(6);
    update({{2, 7}});
    EXPECT_EQ(heard, std::vector<std::wstring>{L"new"});
    collection->Unsubscribe();
}

// The sink's log goes to a file of the test's own; the logger is left as it was found.
class CollectionLog : public CollectionEvents {
protected:
    CollectionLog() { COstraLogger::instance().to_file(path_); }
    ~CollectionLog() override
    {
        COstraLogger::instance().set_level(2);
        COstraLogger::instance().to_stderr();
        std::filesystem::remove(path_);
    }
    std::string written() const
    {
        std::ostringstream text;
        text << std::ifstream(path_, std::ios::binary).rdbuf();
        return text.str();
    }

    const std::filesystem::path path_ = std::filesystem::temp_directory_path() /
        ("collection_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".log");
};

TEST_F(CollectionLog, FailedDeliveriesAreLoggedAtLevelThreeKeepingTheLastError)
{
    struct Row {
        std::function<void()> fail;
        HRESULT result;
        std::string logged;
    };
    const Row rows[] = {
        {[] { throw CHResultException(L"refused", {}, E_ACCESSDENIED, nullptr, false); }, E_ACCESSDENIED,
         "collection_sink_t::RecordAdded"},
        {[] { throw _com_error(E_FAIL); }, E_FAIL, "Unspecified error"},
        {[] { throw 7; }, E_UNEXPECTED, "Unknown error"},
    };
    collection->Subscribe(journal);
    for (const Row& row : rows) {
        journal->on_record = [&](int) { row.fail(); };
        for (const int level : {4, 3}) {
            COstraLogger::instance().set_level(level);
            SetLastError(ERROR_INVALID_HANDLE);
            EXPECT_EQ(added(1), std::vector<HRESULT>{row.result});
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            EXPECT_EQ(written().find(row.logged) != std::string::npos, level == 3) << row.logged << level;
        }
    }
    EXPECT_NE(written().find("Collection.cpp"), std::string::npos);
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, OnlyAFailedDeliveryMeetsTheThreadsInterruptionPoint)
{
    collection->Subscribe(journal);
    const auto handle = ostra::lux::kernel::this_thread_interruption_handle();
    handle.request();
    EXPECT_EQ(added(1), one_success);
    EXPECT_TRUE(handle.requested());
    journal->on_record = [](int) { throw _com_error(E_FAIL); };
    EXPECT_EQ(added(2), std::vector<HRESULT>{E_ABORT}) << "the interruption replaces the failure";
    EXPECT_FALSE(handle.requested());
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, UpdatesOnComponentThreadsWhileTheProgramSubscribesAndWatches)
{
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::atomic<int> watched{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            while (!done)
                for (const HRESULT hr : update({{0, 1}, {1, 2}, {2, 3}}))
                    failures += hr != S_OK;
        });
    const auto counting = std::make_shared<Journal>();
    for (int round = 0; round < 200; ++round) {
        collection->WatchAnyRecord([&](Record) { ++watched; });
        collection->WatchOnStateChanged([](ECollectionState, std::wstring_view) {});
        collection->Unsubscribe();
        if (round % 2)
            collection->Subscribe(std::make_shared<Journal>()); // released at once: the place stays taken
        collection->Unsubscribe();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    collection->WatchAnyRecord([&](Record) { ++watched; });
    while (watched == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    done = true;
    for (std::thread& thread : threads)
        thread.join();
    collection->Unsubscribe();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(watched.load(), 0);
}

} // namespace
} // namespace shell_test
