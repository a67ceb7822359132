// The collector's pool getters: one pool per kind while a handle to it lives, a fresh one afterwards,
// failures that leave the cache as it was, and pools that outlive their collector.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"
#include "shell/site.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace shell_test {
namespace {

using namespace collector::shell;

class CollectorPools : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    std::optional<Collector> collector{std::in_place, ECollectorSource::Rest};
    FakeCollector& component = *served.last.load();
    fake::Held<FakeHostPool> hosts = fake::hold<FakeHostPool>();
    fake::Held<FakeUserPool> users = fake::hold<FakeUserPool>();
    fake::Held<FakeResourcePool> resources = fake::hold<FakeResourcePool>();

    void SetUp() override
    {
        component.host_pool = hosts->unknown();
        component.user_pool = users->unknown();
        component.resource_pool = resources->unknown();
    }
};

// One getter: its component call, and an operation that reaches the component through the pool.
struct Getter {
    const char* call;
    std::function<std::function<void()>(const Collector&)> get;
};

TEST_F(CollectorPools, APoolIsSharedWhileAHandleLivesAndBuiltAgainOnceAllAreGone)
{
    const Getter getters[] = {
        {"GetHostPool", [](const Collector& c) { return [pool = c.GetHostPool()] { (void)pool.IsExist({}); }; }},
        {"GetUserPool", [](const Collector& c) { return [pool = c.GetUserPool()] { (void)pool.GetCurrent(); }; }},
        {"GetResourcePool", [](const Collector& c) { return [pool = c.GetResourcePool()] { (void)pool[L"x"]; }; }},
    };
    for (const Getter& getter : getters) {
        SCOPED_TRACE(getter.call);
        {
            const auto first = getter.get(*collector);
            const auto second = getter.get(*collector);
            EXPECT_EQ(component.calls[getter.call], 1);
            second();
        }
        getter.get(*collector)();
        EXPECT_EQ(component.calls[getter.call], 2);
    }
}

TEST_F(CollectorPools, AFailedGetterRaisesAndTheNextCallAsksAgain)
{
    component.result = E_ACCESSDENIED;
    const auto refused = caught<CHResultException>([&] { (void)collector->GetHostPool(); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->get_hresult(), E_ACCESSDENIED);

    // An object that is no host pool is refused while the pool is built.
    component.result = S_OK;
    component.host_pool = users->unknown();
    const auto wrong = caught<CHResultException>([&] { (void)collector->GetHostPool(); });
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->message(), L"Unable to QueryInterface");

    component.host_pool = hosts->unknown();
    EXPECT_FALSE(collector->GetHostPool().IsExist({}));
    EXPECT_EQ(component.calls["GetHostPool"], 3);
}

TEST_F(CollectorPools, APoolOutlivesItsCollector)
{
    hosts->add(fake::make<FakeHost>(numbered_guid(1), L"alpha"));
    const HostPool pool = collector->GetHostPool();
    collector.reset(); // the fake collector ends here
    EXPECT_EQ(pool[numbered_guid(1)].GetName(), L"alpha");
}

} // namespace
} // namespace shell_test
