// Resources and deployment targets: names that the pool lacks, the texts and values that reach the
// pool, its properties and events, and deployments that hand the component a target and a bag.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"
#include "shell/site.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

class FakeTarget : public fake::Fake<IDeploymentTarget> {
public:
    FakeTarget() : Fake("target") {}

    // The argument and the bag's "mode" value as the last Deploy read them.
    _variant_t argument;
    _variant_t mode;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override
    {
        *out = numbered_guid(3);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return give_text(std::wstring(L"t\0x", 3), out); }
    HRESULT STDMETHODCALLTYPE GetType(EDeploymentTarget* out) override
    {
        *out = EDeploymentTarget::Host;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deploy(VARIANT given, IDeploymentData* data, VARIANT* result) override
    {
        argument = given;
        EXPECT_EQ(data->GetValue(_bstr_t(L"mode"), mode.GetAddress()), S_OK);
        VariantInit(result);
        return S_FALSE;
    }
};

class Resources : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    Collector collector{ECollectorSource::Rest};
    fake::Held<FakeResourcePool> fake_pool = fake::hold<FakeResourcePool>();
    fake::Held<FakeTarget> fake_target = fake::hold<FakeTarget>();

    void SetUp() override { served.last.load()->resource_pool = fake_pool->unknown(); }
};

TEST_F(Resources, NamesThePoolLacksGiveEmptyResourcesThatThrowWhenRead)
{
    ResourcePool pool = collector.GetResourcePool();
    pool.Add(L"disk", Object(_variant_t(5L)));
    EXPECT_TRUE(pool[L"disk"]);
    EXPECT_FALSE(pool[L"absent"]); // the pool fails
    fake_pool->missing = S_OK;
    EXPECT_FALSE(pool[L"absent"]); // the pool succeeds without an object
    EXPECT_FALSE(pool[std::wstring_view(L"disk\0", 5)]);
    fake_pool->add_gives_nothing = true;
    EXPECT_FALSE(pool.Add(L"nothing", Object()));

    const std::vector<std::function<void(const Resource&)>> members = {
        [](const Resource& r) { (void)r.GetId(); },
        [](const Resource& r) { (void)r.GetName(); },
        [](const Resource& r) { (void)r.GetResource(); },
        [&](const Resource& r) { (void)r.Deploy(DeploymentTarget(fake_target->unknown()), DeploymentData()); },
    };
    for (const auto& member : members) {
        const auto e = caught<COstraException>([&] { member(pool[L"absent"]); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"Resource is null");
        EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/Resource.cpp");
    }
    EXPECT_EQ(std::count(fake_pool->calls.begin(), fake_pool->calls.end(), std::wstring(L"Find disk\0", 10)), 1);
}

TEST_F(Resources, PoolOperationsPassTheirTextsAndTheValueUnchanged)
{
    ResourcePool pool = collector.GetResourcePool();
    const Resource disk = pool.Add(L"disk", Object(_variant_t(L"C:")));
    pool.Add(L"", Object());
    pool.Remove(L"old");
    pool.Load(L"in.xml");
    pool.Merge(L"more.xml", EMergeMode::KeepExisting);
    pool.Save(L"");
    EXPECT_EQ(fake_pool->calls, (std::vector<std::wstring>{L"Add disk", L"Add ", L"Remove old", L"Load in.xml",
                                                           L"Merge 1 more.xml", L"Save "}));
    EXPECT_EQ(disk.GetResource().get<std::wstring>(), L"C:");
    EXPECT_EQ(disk.GetName(), L"disk");

    std::vector<std::wstring> names;
    for (const Resource& resource : pool)
        names.push_back(resource.GetName());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"disk", L""}));
}

TEST_F(Resources, PropertiesNeedThePoolsPropertyInterface)
{
    ResourcePool pool = collector.GetResourcePool();
    pool.SetProperty(L"interval", _variant_t(30L));
    EXPECT_EQ(static_cast<long>(pool.GetProperty(L"interval")), 30L);
    EXPECT_THROW(pool.GetProperty(L"absent"), CHResultException);

    fake_pool->refuse(IID_IProperties);
    const auto e = caught<CHResultException>([&] { pool.SetProperty(L"interval", _variant_t(1L)); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->get_hresult(), E_NOINTERFACE);
    EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/ResourcePool.cpp");
    EXPECT_NE(site_of(*e).function.find("ResourcePool::SetProperty"), std::string::npos);
}

TEST_F(Resources, DeployHandsTheTargetAndTheBagToTheResource)
{
    ResourcePool pool = collector.GetResourcePool();
    const Resource disk = pool.Add(L"disk", Object());
    FakeResource& component = *fake_pool->resources.back();
    const DeploymentTarget target(fake_target->unknown());

    EXPECT_EQ(disk.Deploy(target, DeploymentData()).get<int>(), 42);
    EXPECT_EQ(component.deployed, std::vector<std::wstring>{std::wstring(L"t\0x", 3)}); // a bag without names
    disk.Deploy(target, DeploymentData{{L"b", _variant_t(1L)}, {L"a", _variant_t(2L)}});
    EXPECT_EQ(component.deployed, (std::vector<std::wstring>{std::wstring(L"t\0x", 3), L"a", L"b"}));

    const auto e = caught<COstraException>([&] { disk.Deploy(DeploymentTarget(), DeploymentData()); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), L"DeploymentTarget is null");
}

TEST_F(Resources, ATargetDeploysACopyOfTheArgumentWithTheBagAsItStands)
{
    DeploymentTarget target(fake_target->unknown());
    EXPECT_TRUE(IsEqualGUID(target.GetId(), numbered_guid(3)));
    EXPECT_EQ(target.GetName(), std::wstring(L"t\0x", 3));
    EXPECT_EQ(target.GetType(), EDeploymentTarget::Host);

    DeploymentData data{{L"mode", _variant_t(L"fast")}};
    const _variant_t argument(L"cpu");
    EXPECT_FALSE(target.Deploy(argument, std::move(data)));
    EXPECT_EQ(std::wstring(_bstr_t(fake_target->argument)), L"cpu");
    EXPECT_EQ(std::wstring(_bstr_t(fake_target->mode)), L"fast");
    EXPECT_EQ(std::wstring(_bstr_t(argument)), L"cpu"); // the caller's value is untouched

    EXPECT_THROW(DeploymentTarget(fake_pool->unknown()), CHResultException);
    EXPECT_THROW(DeploymentTarget().GetName(), COstraException);
}

class Added : public IResourcePoolListener {
public:
    void Event1(std::wstring_view name) override { seen.emplace_back(name); }
    void Event2(std::wstring_view) override {}
    std::vector<std::wstring> seen;
};

TEST_F(Resources, PoolEventsReachTheListenerUntilTheLastHandleGoes)
{
    const auto added = std::make_shared<Added>();
    const auto fire = [&] {
        return fake_pool->events.fire([](IResourcePoolEvents* sink) { return sink->Event1(_bstr_t(L"disk")); });
    };
    {
        ResourcePool pool = collector.GetResourcePool();
        pool.Subscribe(added);
        EXPECT_EQ(fire(), std::vector<HRESULT>{S_OK});
    }
    EXPECT_TRUE(fire().empty());
    EXPECT_EQ(added->seen, std::vector<std::wstring>{L"disk"});
}

} // namespace
} // namespace shell_test
