// Collection events over a fake component: who holds the listener place, the calls of a composition
// update, failures inside one, state changes, watchers, the sink's log, and updates on component
// threads while the program subscribes and registers watchers.
#include "shell/record_fakes.h"

#include <Kernel/interruption.h>
#include <Kernel/logger.h>

#include <filesystem>
#include <fstream>

namespace shell_test {
namespace {

using Calls = std::vector<std::wstring>;

// Writes every call down: "set", "+1" (added), "~1" (updated), "-1" (removed), "Running text".
struct Journal : ICollectionListener {
    bool take_whole = false;
    std::function<void(int)> on_record; // runs before a record call is written down
    Calls calls;
    GUID state_id{};

    bool Updated(const RecordsSet&) override { return calls.push_back(L"set"), take_whole; }
    void RecordAdded(Record record) override { note(L"+", record[L"id"].get<int>()); }
    void RecordUpdated(Record record) override { note(L"~", record[L"id"].get<int>()); }
    void RecordRemoved(Key key) override { note(L"-", key[L"id"].get<int>()); }
    void StateChanged(GUID id, ECollectionState state, std::wstring_view text) override
    {
        state_id = id;
        calls.push_back(std::wstring(ECollectionStateToString(state)) + L" " + std::wstring(text));
    }

    void note(const wchar_t* kind, int id)
    {
        if (on_record)
            on_record(id);
        calls.push_back(kind + std::to_wstring(id));
    }
};

const std::vector<HRESULT> success{S_OK};
using Changes = std::vector<std::pair<LONG, LONG>>; // (kind, record number)

class CollectionEvents : public CollectionTest {
protected:
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    std::atomic<int> disposals{0};

    std::vector<HRESULT> update(const Changes& changes, std::optional<std::size_t> fail_at = {})
    {
        auto set = fake::hold<FakeCompositionSet>(process_class);
        set->fail_at = fail_at;
        for (const auto& [kind, number] : changes)
            set->add(kind, _variant_t(numbered(number)->unknown()));
        const auto results =
            component->updates.fire([&](ICompositionEvents* sink) { return sink->Updated(GUID{}, set.get()); });
        disposals = set->disposals.load();
        return results;
    }
    std::vector<HRESULT> added(LONG id)
    {
        auto record = numbered(id);
        return component->events.fire([&](ICollectionEvents* sink) { return sink->RecordAdded(GUID{}, record.get()); });
    }
};

TEST_F(CollectionEvents, TheFirstSubscriberOrWatcherKeepsThePlaceUntilUnsubscribe)
{
    std::vector<int> watched;
    const auto watch = [&](Record record) { watched.push_back(record[L"id"].get<int>()); };
    const auto other = std::make_shared<Journal>();
    collection->Subscribe(journal);
    collection->Subscribe(other);
    collection->WatchOnAdded(watch);
    added(1);
    collection->Unsubscribe();
    collection->WatchOnAdded(watch).Subscribe(other);
    added(2);
    collection->Unsubscribe();
    // An empty listener, and one its owner released, keep the place as well.
    for (const bool empty : {true, false}) {
        auto first = empty ? nullptr : std::make_shared<Journal>();
        collection->Subscribe(first);
        first.reset();
        collection->Subscribe(other);
        EXPECT_EQ(added(3), success);
        collection->Unsubscribe();
    }
    EXPECT_EQ(journal->calls, Calls{L"+1"});
    EXPECT_TRUE(other->calls.empty());
    EXPECT_EQ(watched, std::vector<int>{2});
}

// The collection's connection fails silently (an unreadable id, a refused advise) and the composition's
// part goes on; a failed GetAnnounceUpdates leaves Subscribe, with the listener connected.
TEST_F(CollectionEvents, SubscribeSwallowsTheCollectionsConnectionFailuresOnly)
{
    component->id_result = E_FAIL;
    collection->Subscribe(journal);
    EXPECT_EQ(component->events.advise_calls, 0);
    EXPECT_EQ(component->updates.advise_calls, 1);
    component->id_result = S_OK;
    component->events.advise_result = E_ACCESSDENIED;
    collection->Subscribe(journal);
    EXPECT_EQ(component->events.advise_calls, 1);
    component->events.advise_result = S_OK;
    component->announce_result = E_OUTOFMEMORY;
    EXPECT_EQ(refusal_of([&] { collection->Subscribe(journal); }).hresult, E_OUTOFMEMORY);
    EXPECT_EQ(added(1), success);
    EXPECT_EQ(journal->calls, Calls{L"+1"});
}

TEST_F(CollectionEvents, AnUpdateGoesChangeByChangeBetweenItsStatesUnlessTakenWhole)
{
    const Changes changes{{0, 1}, {1, 2}, {2, 3}, {5, 4}, {0, 5}};
    for (const bool announces : {false, true}) {
        component->announces = announces;
        journal->calls.clear();
        collection->Subscribe(journal);
        EXPECT_EQ(update(changes), success);
        Calls expected{L"set", L"BulkUpdateStarted ", L"+1", L"~2", L"-3", L"+5", L"BulkUpdateFinished "};
        if (announces) {
            expected.insert(expected.begin() + 1, L"UpdateStarted ");
            expected.push_back(L"UpdateFinished ");
        }
        EXPECT_EQ(journal->calls, expected);
        EXPECT_TRUE(IsEqualGUID(journal->state_id, component->id));
        EXPECT_EQ(disposals.load(), 1);
        collection->Unsubscribe();
    }
    journal->calls.clear();
    journal->take_whole = true;
    collection->Subscribe(journal);
    EXPECT_EQ(update(changes), success);
    EXPECT_EQ(journal->calls, Calls{L"set"});
    EXPECT_EQ(disposals.load(), 1);
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, AFailedDeliveryIsSkippedButAFailedEnumerationEndsTheUpdate)
{
    collection->Subscribe(journal);
    journal->on_record = [](int id) {
        if (id == 2)
            throw _com_error(E_FAIL);
    };
    EXPECT_EQ(update({{0, 1}, {0, 2}, {1, 3}}), success);
    EXPECT_EQ(journal->calls, (Calls{L"set", L"BulkUpdateStarted ", L"+1", L"~3", L"BulkUpdateFinished "}));
    journal->calls.clear();
    EXPECT_EQ(update({{0, 1}, {0, 3}}, 1), std::vector<HRESULT>{E_FAIL});
    EXPECT_EQ(journal->calls, (Calls{L"set", L"BulkUpdateStarted ", L"+1"}));
    EXPECT_EQ(disposals.load(), 0);
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, StatesCarryTheSubscribedIdAndTheirText)
{
    collection->Subscribe(journal);
    const GUID other = {0xBAD, 0, 0, {}};
    auto& point = component->events;
    IStateDescription* busy = component.get();
    point.fire([&](ICollectionEvents* s) { return s->StateChanged(other, ECollectionState::Running, busy); });
    point.fire([&](ICollectionEvents* s) { return s->StateChanged(other, ECollectionState::Stopped, nullptr); });
    point.fire([&](ICollectionEvents* s) { return s->UpdateStarted(other); });
    point.fire([&](ICollectionEvents* s) { return s->UpdateFinished(other); });
    EXPECT_EQ(journal->calls, (Calls{L"Running busy", L"Stopped ", L"UpdateStarted ", L"UpdateFinished "}));
    EXPECT_TRUE(IsEqualGUID(journal->state_id, component->id));
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, WatchersHearTheirEventsAndAnInterruptedOneLeaves)
{
    Calls heard;
    const auto hear = [&](const wchar_t* what, const Object& id) { heard.push_back(what + std::to_wstring(id.get<int>())); };
    collection->WatchAnyRecord([&](Record r) { hear(L"any ", r[L"id"]); })
        .WatchOnAdded([&](Record r) {
            hear(L"leaving ", r[L"id"]);
            throw CInterruptedException();
        })
        .WatchOnRemoved([&](Key k) { hear(L"removed ", k[L"id"]); })
        .WatchOnStateChanged([&](ECollectionState, std::wstring_view) { heard.push_back(L"state"); });
    EXPECT_EQ(added(1), success);
    EXPECT_EQ(update({{0, 2}, {1, 3}, {2, 4}}), success);
    EXPECT_EQ(heard, (Calls{L"any 1", L"leaving 1", L"state", L"any 2", L"any 3", L"removed 4", L"state"}));

    // Another exception ends the round and becomes the event's result.
    collection->WatchOnAdded([](Record) { throw std::runtime_error("watcher failed"); });
    collection->WatchOnAdded([&](Record) { heard.push_back(L"never"); });
    heard.clear();
    EXPECT_EQ(added(5), std::vector<HRESULT>{E_UNEXPECTED});
    EXPECT_EQ(heard, Calls{L"any 5"});

    // Unsubscribe drops every watcher; the next registration starts afresh.
    collection->Unsubscribe();
    collection->WatchOnRemoved([&](Key) { heard.push_back(L"new"); });
    heard.clear();
    added(6);
    update({{2, 7}});
    EXPECT_EQ(heard, Calls{L"new"});
    collection->Unsubscribe();
}

TEST_F(CollectionEvents, FailuresAreLoggedAtLevelThreeKeepingTheLastErrorThenMeetTheInterruptionPoint)
{
    const auto path = std::filesystem::temp_directory_path() / "collection_events_test.log";
    COstraLogger& logger = COstraLogger::instance();
    logger.to_file(path);
    const auto written = [&] {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const std::tuple<std::function<void()>, HRESULT, std::string> rows[] = {
        {[] { throw CHResultException(L"refused", {}, E_ACCESSDENIED, nullptr, false); }, E_ACCESSDENIED,
         "collection_sink_t::RecordAdded"},
        {[] { throw _com_error(E_FAIL); }, E_FAIL, _com_error(E_FAIL).ErrorMessage()}, // the system's text
        {[] { throw 7; }, E_UNEXPECTED, "Unknown error"},
    };
    collection->Subscribe(journal);
    for (const auto& [fail, result, logged] : rows) {
        journal->on_record = [&](int) { fail(); };
        for (const int level : {4, 3}) {
            logger.set_level(level);
            SetLastError(ERROR_INVALID_HANDLE);
            EXPECT_EQ(added(1), std::vector<HRESULT>{result});
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
            EXPECT_EQ(written().find(logged) != std::string::npos, level == 3) << logged << level;
        }
    }
    logger.set_level(2);
    logger.to_stderr();
    std::filesystem::remove(path);

    // A pending interruption of the thread is met only by a failed delivery, and replaces its failure.
    const auto handle = ostra::lux::kernel::this_thread_interruption_handle();
    handle.request();
    journal->on_record = {};
    EXPECT_EQ(added(2), success);
    EXPECT_TRUE(handle.requested());
    journal->on_record = [](int) { throw _com_error(E_FAIL); };
    EXPECT_EQ(added(3), std::vector<HRESULT>{E_ABORT});
    EXPECT_FALSE(handle.requested());
    collection->Unsubscribe();
}

// Hears every event on any thread and keeps nothing.
struct Deaf : ICollectionListener {
    void RecordAdded(Record) override {}
    void RecordUpdated(Record) override {}
    void RecordRemoved(Key) override {}
};

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
    for (int round = 0; round < 200; ++round) {
        collection->WatchAnyRecord([&](Record) { ++watched; }).WatchOnStateChanged([](ECollectionState, auto) {});
        collection->Unsubscribe();
        collection->Subscribe(std::make_shared<Deaf>()); // released at once, yet holding the place
        collection->Unsubscribe();
    }
    collection->WatchAnyRecord([&](Record) { ++watched; });
    EXPECT_TRUE(fake::eventually([&] { return watched > 0; })) << "the last watcher heard nothing for 30 s";
    done = true;
    for (std::thread& thread : threads)
        thread.join();
    collection->Unsubscribe();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
} // namespace shell_test
