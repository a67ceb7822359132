// Tasks and the task pool: empty handles, the followed table and the two Deploy forms, watchers, and
// the pool that the collector hands out.
#include "shell/fake_collector.h"
#include "shell/fake_tasks.h"

#include <algorithm>

namespace shell_test {
namespace {

class TaskTest : public testing::Test {
protected:
    Collections made;
    fake::Held<FakeTask> component = fake::hold<FakeTask>(made);
    Task task{component->unknown(), made.classes->unknown()};
};

TEST(TaskStates, NamesOfTheEnumerationAndUnknownOutsideIt)
{
    const wchar_t* const names[] = {L"Unknown",   L"Initial",  L"Ready",   L"Running", L"Limping",
                                    L"Suspended", L"Stopping", L"Stopped", L"Error",   L"Unknown"};
    for (int value = -1; value <= 8; ++value)
        EXPECT_EQ(ETaskStateToString(static_cast<ETaskState>(value)), names[value + 1]) << value;
}

TEST_F(TaskTest, AnEmptyHandleThrowsAtItsOwnSiteOrAnswersFromTheCallerSide)
{
    const Task kept = std::move(task);
    ASSERT_FALSE(task);
    const std::function<void()> throwing[] = {
        [&] { task.GetId(); },       [&] { task.GetState(); },          [&] { task.GetHostId(); },
        [&] { task.GetUserId(); },   [&] { task.SwitchUser({}); },      [&] { task.Run(); },
        [&] { task.Run(nullptr); },  [&] { task.Stop(); },              [&] { task.Remove({}); },
        [&] { task.Follow(L"P"); },  [&] { task.Deploy(L"P", true); },  [&] { task.Deploy(L"P", DeploymentData{}); },
        [&] { task.GetMethod(L"m"); }, [&] { task.GetMethod(L"P", L"m"); }, [&] { task.SetProperty(L"p", {}); },
        [&] { task.FindProperty(L"p"); }, [&] { task.Subscribe(nullptr); }, [&] { task.WatchOnStateChanged({}); },
    };
    std::vector<int> lines;
    for (const auto& operation : throwing) {
        const refusal_t e = refusal_of(operation);
        EXPECT_EQ(e.message, L"Task is null");
        EXPECT_EQ(e.site.file, "Monitor/Collector/Collector.Shell/Task.cpp");
        EXPECT_NE(e.site.function.find("collector::shell::Task::"), std::string::npos) << e.site.function;
        lines.push_back(e.site.line);
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end()) << "two operations share a throw site";

    EXPECT_EQ(task.begin(), task.end());
    EXPECT_FALSE(task.Unfollow(L"P"));
    task.UnfollowAll();
    task.SetScope(L"nowhere");
    EXPECT_EQ(task.GetScope(), L"");
    task.Unsubscribe();
}

// The controller travels as VT_UNKNOWN with a reference of its own, which the ledger checks is given
// back; no controller is VT_UNKNOWN with a null pointer, not VT_EMPTY.
TEST_F(TaskTest, RunHandsTheControllerOverAsAnUnknown)
{
    const auto controller = fake::hold<fake::Fake<IDataCollectionServiceController>>("controller");
    task.Run(CComPtr<IDataCollectionServiceController>(controller.get()));
    EXPECT_EQ(component->run_type, VT_UNKNOWN);
    EXPECT_EQ(component->run_object, controller->unknown());
    task.Run();
    EXPECT_EQ(component->run_type, VT_UNKNOWN);
    EXPECT_EQ(component->run_object, nullptr);
}

TEST_F(TaskTest, FollowSearchesTheTaskOncePerExactClassName)
{
    component->add(L"Process");
    component->add(L"process");
    EXPECT_EQ(task.Follow(L"Process").GetId(), numbered_guid(1));
    EXPECT_EQ(task.Follow(L"Process").GetId(), numbered_guid(1));
    EXPECT_EQ(component->searches, 1);
    // Names that differ in case are other keys, found by another search.
    EXPECT_EQ(task.Follow(L"process").GetId(), numbered_guid(2));
    EXPECT_EQ(refusal_of([&] { task.Follow(L"PROCESS"); }).source, L"PROCESS");
    EXPECT_EQ(component->searches, 3);

    // What Unfollow answers is the integration tests'; here, that a follow searches again after it.
    EXPECT_TRUE(task.Unfollow(L"Process"));
    task.Follow(L"Process");
    task.UnfollowAll();
    task.Follow(L"process");
    EXPECT_EQ(component->searches, 5);
}

TEST_F(TaskTest, DeployFormsDifferOnAClassThatIsFollowedAlready)
{
    EXPECT_EQ(task.Deploy(L"Process", true).GetId(), numbered_guid(1));
    // The new collection comes back; the one followed before stays followed.
    EXPECT_EQ(task.Deploy(L"Process", true).GetId(), numbered_guid(2));
    EXPECT_EQ(task.Follow(L"Process").GetId(), numbered_guid(1));
    // With data, the one followed before comes back instead.
    EXPECT_EQ(task.Deploy(L"Process", DeploymentData{}).GetId(), numbered_guid(1));
    EXPECT_EQ(task.Deploy(L"Thread", DeploymentData{{L"depth", _variant_t(2L)}}).GetId(), numbered_guid(4));
    EXPECT_TRUE(component->target_data);
    EXPECT_EQ(task.Follow(L"Thread").GetId(), numbered_guid(4));
    EXPECT_EQ(component->searches, 0);
    // Without follow nothing is followed: the task, which lists no collection, is searched in vain.
    task.Deploy(L"Service", false);
    expect_refusal([&] { task.Follow(L"Service"); }, L"Collection not found", 0);
}

TEST_F(TaskTest, ConditionsThatTheLibraryDetects)
{
    for (const _variant_t& result : {_variant_t(5L), _variant_t(static_cast<IUnknown*>(nullptr))}) {
        component->target_result = result;
        expect_refusal([&] { task.Deploy(L"Process", DeploymentData{}); }, L"Unexpected result", 0);
    }
    expect_refusal([&] { task.GetMethod(L"Kill"); }, L"No such method", 0, "Monitor/Collector/Collector.Shell/Task.cpp");
}

// How an interrupted watcher leaves is the collection events' test: both owners share the watchers.
TEST_F(TaskTest, WatchersHearStateChangesUntilTheTaskUnsubscribesOrAListenerSubscribes)
{
    std::vector<std::wstring> heard;
    const auto watcher = [&](const wchar_t* name) {
        return [&heard, name](ETaskState state, std::wstring_view text) {
            heard.push_back(name + (L" " + std::wstring(ETaskStateToString(state))) + L" " + std::wstring(text));
        };
    };
    const auto change = [&](ETaskState state, IStateDescription* description = nullptr) {
        return component->events.fire(
            [&](ITaskEvents* sink) { return sink->StateChanged(numbered_guid(7), state, description); });
    };
    task.WatchOnStateChanged(watcher(L"a")).WatchOnStateChanged(watcher(L"b"));
    const auto description = fake::hold<FakeCollection>();
    description->text = L"warming up";
    EXPECT_EQ(change(ETaskState::Running, description.get()), std::vector<HRESULT>{S_OK});
    change(ETaskState::Stopped);
    EXPECT_EQ(heard, (std::vector<std::wstring>{L"a Running warming up", L"b Running warming up", L"a Stopped ",
                                                L"b Stopped "}));

    // Unsubscribe drops every watcher; the next one starts afresh.
    task.Unsubscribe();
    task.WatchOnStateChanged(watcher(L"c"));
    change(ETaskState::Ready);
    EXPECT_EQ(heard.back(), L"c Ready ");
    EXPECT_EQ(heard.size(), 5u);

    // A listener takes the place of the watchers, of those added after it too.
    struct Listener : ITaskListener {
        std::vector<ETaskState> states;
        void StateChanged(GUID, ETaskState state, std::wstring_view) override { states.push_back(state); }
        void Event1(GUID, GUID) override {}
        void Event2(GUID, GUID) override {}
    };
    const auto listener = std::make_shared<Listener>();
    task.Subscribe(listener);
    task.WatchOnStateChanged(watcher(L"d"));
    change(ETaskState::Running);
    EXPECT_EQ(listener->states, std::vector<ETaskState>{ETaskState::Running});
    EXPECT_EQ(heard.size(), 5u);
}

class TaskPoolTest : public ServedCollectorTest {
protected:
    Collections made;
    fake::Held<FakeTaskPool> tasks = fake::hold<FakeTaskPool>(made);
    std::optional<TaskPool> pool = served_pool();

    TaskPool served_pool()
    {
        component.task_pool = tasks->unknown();
        component.class_pool = made.classes->unknown();
        return collector->GetTaskPool();
    }
};

TEST_F(TaskPoolTest, TheCollectorHandsOutOnePoolWhileAHandleLivesAndANewOneAfterwards)
{
    {
        const TaskPool second = collector->GetTaskPool();
        pool.reset();
        EXPECT_TRUE(collector->GetTaskPool().IsExist(numbered_guid(7)));
        EXPECT_EQ(component.calls["GetTaskPool"], 1);
        EXPECT_EQ(component.calls["GetClassPool"], 1);
    }
    EXPECT_TRUE(collector->GetTaskPool().IsExist(numbered_guid(7)));
    EXPECT_EQ(component.calls["GetTaskPool"], 2);
    EXPECT_EQ(component.calls["GetClassPool"], 2);
}

TEST_F(TaskPoolTest, LookupsGiveSeparateTasksAndRemoveAnswersFailureWithFalse)
{
    Task first = (*pool)[numbered_guid(7)];
    first.SetScope(L"mine");
    EXPECT_EQ((*pool)[numbered_guid(7)].GetScope(), L"");
    tasks->no_task = true;
    expect_refusal([&] { (void)(*pool)[numbered_guid(8)]; }, L"ITask is null", 0);
    tasks->result = E_INVALIDARG;
    EXPECT_FALSE(pool->Remove(numbered_guid(8)));
}

} // namespace
} // namespace shell_test
