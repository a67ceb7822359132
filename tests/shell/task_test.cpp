// Task: empty handles, the followed table and the two Deploy forms, methods, Run, and state changes
// for a listener and for watchers.
#include "shell/fake_collection.h"
#include "shell/fake_tasks.h"
#include "shell/site.h"

#include <collector/shell.h>

#include <Kernel/exception.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

class FakeController : public fake::Fake<IDataCollectionServiceController> {
public:
    FakeController() : Fake("controller") {}
};

class UnreadableDescription : public fake::Fake<IStateDescription> {
public:
    UnreadableDescription() : Fake("unreadable description") {}
    HRESULT STDMETHODCALLTYPE GetText(BSTR* out) override { return *out = nullptr, E_FAIL; }
};

class Recorder : public ITaskListener {
public:
    std::vector<std::wstring> heard;
    void StateChanged(GUID task, ETaskState state, std::wstring_view text) override
    {
        heard.push_back(std::to_wstring(task.Data1) + L" " + std::wstring(ETaskStateToString(state)) + L" " + std::wstring(text));
    }
    void Event1(GUID first, GUID second) override { heard.push_back(L"1: " + std::to_wstring(first.Data1 * 10 + second.Data1)); }
    void Event2(GUID first, GUID second) override { heard.push_back(L"2: " + std::to_wstring(first.Data1 * 10 + second.Data1)); }
};

class TaskTest : public testing::Test {
protected:
    Collections made;
    fake::Held<FakeTask> component = fake::hold<FakeTask>(made);
    Task task{component->unknown(), made.classes->unknown()};

    std::vector<HRESULT> change(ETaskState state, IStateDescription* description)
    {
        return component->events.fire([&](ITaskEvents* sink) { return sink->StateChanged(numbered_guid(7), state, description); });
    }
};

template <class E = COstraException, class Action>
std::wstring message_of(Action&& action)
{
    const auto e = caught<E>(action);
    return e ? e->message() : L"";
}

TEST(TaskStates, NamesOfTheEnumerationAndUnknownOutsideIt)
{
    const wchar_t* const names[] = {L"Unknown", L"Initial",  L"Ready",   L"Running", L"Limping",
                                    L"Suspended", L"Stopping", L"Stopped", L"Error",   L"Unknown"};
    for (int value = -1; value <= 8; ++value)
        EXPECT_EQ(ETaskStateToString(static_cast<ETaskState>(value)), names[value + 1]) << value;
    EXPECT_EQ(ETaskStateToString(static_cast<ETaskState>(-2)), L"Unknown");
}

TEST_F(TaskTest, TheImplementationNeedsATaskObject)
{
    EXPECT_EQ(message_of([&] { Task(nullptr, made.classes->unknown()); }), L"ITask is null");
    const auto refused = caught<CHResultException>([&] { Task(made.classes->unknown(), nullptr); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message(), L"Unable to QueryInterface");
    EXPECT_EQ(refused->get_hresult(), E_NOINTERFACE);
}

TEST_F(TaskTest, AnEmptyHandleThrowsAtItsOwnSiteOrAnswersFromTheCallerSide)
{
    const Task kept = std::move(task);
    ASSERT_TRUE(kept);
    ASSERT_FALSE(task);
    const std::function<void()> throwing[] = {
        [&] { task.GetId(); },
        [&] { task.GetState(); },
        [&] { task.GetHostId(); },
        [&] { task.GetUserId(); },
        [&] { task.SwitchUser({}); },
        [&] { task.Run(); },
        [&] { task.Run(nullptr); },
        [&] { task.Stop(); },
        [&] { task.Remove({}); },
        [&] { task.Deploy(L"Process", true); },
        [&] { task.Deploy(L"Process", DeploymentData{}); },
        [&] { task.Follow(L"Process"); },
        [&] { task.SetProperty(L"p", {}); },
        [&] { task.FindProperty(L"p"); },
        [&] { task.GetMethod(L"m"); },
        [&] { task.GetMethod(L"Process", L"m"); },
        [&] { task.Subscribe(nullptr); },
        [&] { task.WatchOnStateChanged({}); },
    };
    std::vector<int> lines;
    for (const auto& operation : throwing) {
        const auto e = caught<COstraException>(operation);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"Task is null");
        EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/Task.cpp");
        EXPECT_NE(site_of(*e).function.find("collector::shell::Task::"), std::string::npos) << site_of(*e).function;
        lines.push_back(site_of(*e).line);
    }
    // Each operation throws from its own line.
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());

    EXPECT_EQ(task.begin(), task.end());
    EXPECT_FALSE(task.Unfollow(L"Process"));
    task.UnfollowAll();
    task.SetScope(L"nowhere");
    EXPECT_EQ(task.GetScope(), L"");
    task.Unsubscribe();
}

TEST_F(TaskTest, FollowSearchesTheTaskOncePerExactClassName)
{
    component->add(L"Process");
    component->add(L"process");
    EXPECT_EQ(task.Follow(L"Process").GetId(), numbered_guid(1));
    EXPECT_EQ(task.Follow(L"Process").GetId(), numbered_guid(1));
    EXPECT_EQ(component->calls["GetCollections"], 1);

    // Names that differ in case are other keys, found by another search.
    EXPECT_EQ(task.Follow(L"process").GetId(), numbered_guid(2));
    EXPECT_EQ(component->calls["GetCollections"], 2);
    const auto missing = caught<COstraException>([&] { task.Follow(L"PROCESS"); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->message(), L"Collection not found");
    EXPECT_EQ(missing->source(), L"PROCESS");

    EXPECT_TRUE(task.Unfollow(L"Process"));
    EXPECT_FALSE(task.Unfollow(L"Process"));
    task.Follow(L"Process");
    task.UnfollowAll();
    task.Follow(L"process");
    EXPECT_EQ(component->calls["GetCollections"], 5);
}

TEST_F(TaskTest, DeployFormsDifferOnAClassThatIsFollowedAlready)
{
    EXPECT_EQ(task.Deploy(L"Process", true).GetId(), numbered_guid(1));
    // The new collection is returned; the one followed before stays followed.
    EXPECT_EQ(task.Deploy(L"Process", true).GetId(), numbered_guid(2));
    EXPECT_EQ(task.Follow(L"Process").GetId(), numbered_guid(1));
    // With data the one followed before is returned instead.
    EXPECT_EQ(task.Deploy(L"Process", DeploymentData{}).GetId(), numbered_guid(1));
    EXPECT_EQ(task.Deploy(L"Thread", DeploymentData{{L"depth", _variant_t(2L)}}).GetId(), numbered_guid(4));
    EXPECT_TRUE(component->target_data);
    EXPECT_EQ(component->target_argument.vt, VT_BSTR);
    EXPECT_EQ(task.Follow(L"Thread").GetId(), numbered_guid(4));
    EXPECT_EQ(component->calls["GetCollections"], 0);

    // Without follow nothing is followed: the task (which lists no collection) is searched in vain.
    task.Deploy(L"Service", false);
    EXPECT_EQ(message_of([&] { task.Follow(L"Service"); }), L"Collection not found");
    EXPECT_EQ(component->calls["Deploy"], 3);
}

TEST_F(TaskTest, DeployWithDataNeedsAnObjectBackAndTheDeploymentTarget)
{
    for (const _variant_t& result : {_variant_t(5L), _variant_t(static_cast<IUnknown*>(nullptr))}) {
        component->target_result = result;
        EXPECT_EQ(message_of([&] { task.Deploy(L"Process", DeploymentData{}); }), L"Unexpected result");
    }
    component->refuse(IID_IDeploymentTarget);
    const auto refused = caught<CHResultException>([&] { task.Deploy(L"Process", DeploymentData{}); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->get_hresult(), E_NOINTERFACE);
}

TEST_F(TaskTest, MissingMethodsAreReportedByNameWhateverTheComponentAnswers)
{
    for (const HRESULT answer : {S_OK, DISP_E_UNKNOWNNAME}) {
        component->method_result = answer;
        const auto e = caught<COstraException>([&] { task.GetMethod(L"Refresh"); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"No such method");
        EXPECT_EQ(dynamic_cast<const CHResultException*>(&*e), nullptr);
    }
    // A collection's method: the collection is followed on the way.
    component->add(L"Process");
    EXPECT_EQ(message_of([&] { task.GetMethod(L"Process", L"Refresh"); }), L"No such method");
    EXPECT_EQ(message_of([&] { task.GetMethod(L"Thread", L"Refresh"); }), L"Collection not found");
    task.Follow(L"Process");
    EXPECT_EQ(component->calls["GetCollections"], 2);
}

TEST_F(TaskTest, OperationsPassThroughToTheComponent)
{
    task.Run();
    EXPECT_EQ(component->run_argument.vt, VT_UNKNOWN);
    EXPECT_EQ(component->run_argument.punkVal, nullptr);
    const auto controller = fake::hold<FakeController>();
    task.Run(CComPtr<IDataCollectionServiceController>(controller.get()));
    EXPECT_EQ(component->run_argument.punkVal, controller->unknown());
    component->run_argument.Clear();
    EXPECT_EQ(controller->references(), 1u);

    EXPECT_EQ(task.SwitchUser(numbered_guid(3)), numbered_guid(4));
    task.SetProperty(L"interval", _variant_t(30L));
    EXPECT_EQ(task.FindProperty(L"interval"), _variant_t(30L));

    component->add(L"Process");
    component->add(L"Thread");
    std::vector<GUID> ids;
    for (auto it = task.begin(); it != task.end(); ++it)
        ids.push_back(it->GetId());
    EXPECT_EQ(ids, (std::vector<GUID>{numbered_guid(1), numbered_guid(2)}));

    const Task copy = task;
    task.SetScope(L"night shift");
    EXPECT_EQ(copy.GetScope(), L"night shift");
}

TEST_F(TaskTest, TheListenerHearsStateChangesWithTheirTextAndBothOtherEvents)
{
    const auto listener = std::make_shared<Recorder>();
    task.Subscribe(listener);
    const auto description = fake::hold<FakeDescription>(L"warming up");
    EXPECT_EQ(change(ETaskState::Running, description.get()), std::vector<HRESULT>{S_OK});
    change(ETaskState::Stopped, nullptr);
    component->events.fire([](ITaskEvents* sink) { return sink->Event1(numbered_guid(1), numbered_guid(2)); });
    component->events.fire([](ITaskEvents* sink) { return sink->Event2(numbered_guid(3), numbered_guid(4)); });
    EXPECT_EQ(listener->heard, (std::vector<std::wstring>{L"7 Running warming up", L"7 Stopped ", L"1: 12", L"2: 34"}));

    // A description that cannot be read is the event's failure, and nobody hears of it.
    const auto unreadable = fake::hold<UnreadableDescription>();
    EXPECT_EQ(change(ETaskState::Error, unreadable.get()), std::vector<HRESULT>{E_FAIL});
    EXPECT_EQ(listener->heard.size(), 4u);
}

TEST_F(TaskTest, WatchersHearStateChangesUntilTheyInterruptOrTheTaskUnsubscribes)
{
    std::vector<std::wstring> heard;
    task.WatchOnStateChanged([&](ETaskState state, std::wstring_view text) {
            heard.push_back(L"a " + std::wstring(ETaskStateToString(state)) + L" " + std::wstring(text));
        })
        .WatchOnStateChanged([&](ETaskState, std::wstring_view) {
            heard.push_back(L"b");
            throw CInterruptedException();
        });
    const auto description = fake::hold<FakeDescription>(L"go");
    EXPECT_EQ(change(ETaskState::Running, description.get()), std::vector<HRESULT>{S_OK});
    change(ETaskState::Stopped, nullptr);
    EXPECT_EQ(heard, (std::vector<std::wstring>{L"a Running go", L"b", L"a Stopped "}));

    // A listener subscribed afterwards takes the events; a watcher added meanwhile hears nothing.
    const auto listener = std::make_shared<Recorder>();
    task.Subscribe(listener);
    task.WatchOnStateChanged([&](ETaskState, std::wstring_view) { heard.push_back(L"c"); });
    change(ETaskState::Ready, nullptr);
    EXPECT_EQ(heard.size(), 3u);
    EXPECT_EQ(listener->heard.size(), 1u);

    // Unsubscribe drops every watcher; the next one starts afresh on the same sink.
    task.Unsubscribe();
    EXPECT_TRUE(component->events.cookies().empty());
    task.WatchOnStateChanged([&](ETaskState, std::wstring_view) { heard.push_back(L"d"); });
    change(ETaskState::Ready, nullptr);
    EXPECT_EQ(heard.back(), L"d");
    EXPECT_EQ(heard.size(), 4u);
    EXPECT_EQ(component->events.advise_calls.load(), 2);
}

} // namespace
} // namespace shell_test
