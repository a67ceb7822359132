// TaskPool: one pool per collector while a handle lives, what the three Deploy forms hand to the
// component, lookups, removal without exceptions, enumeration and events.
#include "shell/fake_collector.h"
#include "shell/fake_tasks.h"
#include "shell/site.h"

#include <collector/shell.h>

#include <Kernel/exception.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

class TaskPoolTest : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    Collector collector{ECollectorSource::Rest};
    FakeCollector& root = *served.last.load();
    Collections made;
    fake::Held<FakeTaskPool> component = fake::hold<FakeTaskPool>(made);
    std::optional<TaskPool> pool = served_pool();

    TaskPool served_pool()
    {
        root.task_pool = component->unknown();
        root.class_pool = made.classes->unknown();
        return collector.GetTaskPool();
    }
};

TEST_F(TaskPoolTest, TheCollectorHandsOutOnePoolWhileAHandleLivesAndANewOneAfterwards)
{
    {
        const TaskPool second = collector.GetTaskPool();
        pool.reset();
        EXPECT_FALSE(collector.GetTaskPool().IsExist(numbered_guid(7)));
        EXPECT_EQ(root.calls["GetTaskPool"], 1);
        EXPECT_EQ(root.calls["GetClassPool"], 1);
    }
    EXPECT_FALSE(collector.GetTaskPool().IsExist(numbered_guid(7)));
    EXPECT_EQ(root.calls["GetTaskPool"], 2);
    EXPECT_EQ(root.calls["GetClassPool"], 2);
}

TEST_F(TaskPoolTest, DeployFormsHandTheirArgumentsToTheComponent)
{
    EXPECT_EQ(pool->Deploy(L"nightly", numbered_guid(1), numbered_guid(2), true).GetId(), numbered_guid(7));
    EXPECT_EQ(component->last.name, L"nightly");
    EXPECT_EQ(component->last.first, numbered_guid(1));
    EXPECT_EQ(component->last.second, numbered_guid(2));
    EXPECT_EQ(component->last.flag, 1);
    EXPECT_EQ(component->last.text.vt, VT_EMPTY);

    pool->Deploy(L"hourly", numbered_guid(3), numbered_guid(4), L"<every minutes='60'/>", false);
    EXPECT_EQ(component->last.name, L"hourly");
    EXPECT_EQ(component->last.second, numbered_guid(4));
    EXPECT_EQ(component->last.flag, 0);
    EXPECT_EQ(component->last.text, _variant_t(L"<every minutes='60'/>"));

    pool->Deploy(L"weekly", numbered_guid(5), numbered_guid(6), DeploymentData{{L"day", _variant_t(L"Sunday")}});
    EXPECT_EQ(component->last.flag, 0);
    EXPECT_TRUE(component->last.data);
    // A bag that holds no object passes none.
    DeploymentData moved;
    DeploymentData taken(std::move(moved));
    pool->Deploy(L"weekly", numbered_guid(5), numbered_guid(6), std::move(moved));
    EXPECT_FALSE(component->last.data);
}

TEST_F(TaskPoolTest, LookupsGiveSeparateTasksAndFailuresOfRemoveAreAnAnswer)
{
    Task first = (*pool)[numbered_guid(7)];
    const Task second = (*pool)[numbered_guid(7)];
    first.SetScope(L"mine");
    EXPECT_EQ(second.GetScope(), L"");

    EXPECT_FALSE(pool->IsExist(numbered_guid(7)));
    component->exists = VARIANT_TRUE;
    EXPECT_TRUE(pool->IsExist(numbered_guid(7)));
    EXPECT_TRUE(pool->Remove(numbered_guid(7)));

    component->no_task = true;
    const auto null = caught<COstraException>([&] { (void)(*pool)[numbered_guid(8)]; });
    ASSERT_TRUE(null);
    EXPECT_EQ(null->message(), L"ITask is null");
    EXPECT_EQ(site_of(*null).file, "Monitor/Collector/Collector.Shell/Task.cpp");

    component->result = E_INVALIDARG;
    EXPECT_FALSE(pool->Remove(numbered_guid(8)));
    const auto failed = caught<CHResultException>([&] { pool->IsExist(numbered_guid(8)); });
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->get_hresult(), E_INVALIDARG);
}

TEST_F(TaskPoolTest, EnumerationWalksTheTasksAndTheirCollectionsReachTheClassPool)
{
    int tasks = 0;
    for (auto it = pool->begin(); it != pool->end(); ++it) {
        EXPECT_EQ(it->GetId(), numbered_guid(7));
        // The task's collections read their class names through the pool's class pool.
        EXPECT_EQ(it->Deploy(L"Process", true).ClassName(), L"Process");
        ++tasks;
    }
    EXPECT_EQ(tasks, 2);
    EXPECT_EQ(component->requested, (std::vector<ULONG>{1, 1, 1}));
}

class PoolRecorder : public ITaskPoolListener {
public:
    std::vector<std::pair<int, GUID>> heard;
    void Event1(GUID task) override { heard.emplace_back(1, task); }
    void Event2(GUID task) override { heard.emplace_back(2, task); }
};

TEST_F(TaskPoolTest, EventsReachTheListenerUntilUnsubscribe)
{
    const auto listener = std::make_shared<PoolRecorder>();
    pool->Subscribe(listener);
    component->events.fire([](ITaskPoolEvents* sink) { return sink->Event1(numbered_guid(1)); });
    component->events.fire([](ITaskPoolEvents* sink) { return sink->Event2(numbered_guid(2)); });
    pool->Unsubscribe();
    EXPECT_TRUE(component->events.fire([](ITaskPoolEvents* sink) { return sink->Event1(numbered_guid(3)); }).empty());
    EXPECT_EQ(listener->heard, (std::vector<std::pair<int, GUID>>{{1, numbered_guid(1)}, {2, numbered_guid(2)}}));
}

} // namespace
} // namespace shell_test
