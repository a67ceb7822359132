// Resources, deployment targets and profiles: names that the pool lacks, the values that reach the
// pool and its properties, deployments that hand the component a target and a bag, and what reaches
// the profile factory and comes back from it.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"
#include "shell/site.h"

#include "support/fake_class_factory.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

class FakeTarget : public fake::Fake<IDeploymentTarget> {
public:
    FakeTarget() : Fake("target") {}

    // The argument and the bag's "mode" as the last Deploy read them.
    _variant_t argument;
    _variant_t mode;

    HRESULT STDMETHODCALLTYPE GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return *out = copy_of(std::wstring(L"t\0x", 3)), S_OK; }
    HRESULT STDMETHODCALLTYPE GetType(EDeploymentTarget*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Deploy(VARIANT given, IDeploymentData* data, VARIANT*) override
    {
        argument = given;
        return data->GetValue(_bstr_t(L"mode"), mode.GetAddress()) == S_OK ? S_FALSE : E_FAIL;
    }
};

class Resources : public testing::Test {
protected:
    fake::Apartment apartment;
    ServedCollector served{CLSID_RestCollector};
    Collector collector{ECollectorSource::Rest};
    fake::Held<FakeResourcePool> fake_pool = fake::hold<FakeResourcePool>();
    fake::Held<FakeTarget> fake_target = fake::hold<FakeTarget>();
    const std::wstring target_name{L"t\0x", 3};

    void SetUp() override { served.last.load()->resource_pool = fake_pool->unknown(); }
};

TEST_F(Resources, NamesThePoolLacksGiveEmptyResourcesThatThrowWhenRead)
{
    ResourcePool pool = collector.GetResourcePool();
    pool.Add(L"disk", Object(v4(5)));
    EXPECT_TRUE(pool[L"disk"]);
    EXPECT_FALSE(pool[L"absent"]); // the pool fails
    fake_pool->missing = S_OK;
    EXPECT_FALSE(pool[L"absent"]); // the pool succeeds without an object
    EXPECT_FALSE(pool[std::wstring_view(L"disk\0", 5)]);
    EXPECT_EQ(fake_pool->calls.back(), std::wstring(L"Find disk\0", 10));
    fake_pool->add_gives_nothing = true;
    EXPECT_FALSE(pool.Add(L"nothing", Object()));

    const std::function<void(const Resource&)> members[] = {
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
}

TEST_F(Resources, ValuesPropertiesAndTheWalkOfThePool)
{
    ResourcePool pool = collector.GetResourcePool();
    const Resource disk = pool.Add(L"disk", Object(_variant_t(L"C:")));
    pool.Add(L"", Object());
    pool.SetProperty(L"interval", v4(30));
    EXPECT_EQ(static_cast<LONG>(pool.GetProperty(L"interval")), 4);
    EXPECT_EQ(fake_pool->calls[2], L"SetProperty 30 interval");
    EXPECT_EQ(disk.GetResource().get<std::wstring>(), L"C:");
    std::vector<std::wstring> names;
    for (const Resource& resource : pool)
        names.push_back(resource.GetName());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"disk", L""}));

    fake_pool->refuse(IID_IProperties);
    const auto e = caught<CHResultException>([&] { pool.SetProperty(L"interval", v4(1)); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->get_hresult(), E_NOINTERFACE);
    EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/ResourcePool.cpp");
    EXPECT_NE(site_of(*e).function.find("ResourcePool::SetProperty"), std::string::npos);
}

TEST_F(Resources, DeployHandsTheTargetAndTheBagToTheResource)
{
    const Resource disk = collector.GetResourcePool().Add(L"disk", Object());
    FakeResource& component = *fake_pool->resources.back();
    const DeploymentTarget target(fake_target->unknown());
    EXPECT_EQ(disk.Deploy(target, DeploymentData()).get<int>(), 42);
    EXPECT_EQ(component.deployed, std::vector<std::wstring>{target_name}); // a bag without names
    disk.Deploy(target, DeploymentData{{L"b", v4(1)}, {L"a", v4(2)}});
    EXPECT_EQ(component.deployed, (std::vector<std::wstring>{target_name, L"a", L"b"}));
    EXPECT_EQ(caught<COstraException>([&] { disk.Deploy(DeploymentTarget(), DeploymentData()); }).value().message(),
              L"DeploymentTarget is null");
}

TEST_F(Resources, ATargetDeploysACopyOfTheArgumentWithTheBagAsItStands)
{
    DeploymentTarget target(fake_target->unknown());
    EXPECT_EQ(target.GetName(), target_name);
    const _variant_t argument(L"cpu");
    EXPECT_FALSE(target.Deploy(argument, DeploymentData{{L"mode", _variant_t(L"fast")}}));
    EXPECT_EQ(std::wstring(_bstr_t(fake_target->argument)), L"cpu");
    EXPECT_EQ(std::wstring(_bstr_t(fake_target->mode)), L"fast");
    EXPECT_EQ(std::wstring(_bstr_t(argument)), L"cpu"); // the caller's value is untouched
    EXPECT_THROW(DeploymentTarget(fake_pool->unknown()), CHResultException);
}

class FakeProfileFactory : public fake::Fake<IProfileFactory> {
public:
    FakeProfileFactory() : Fake("profile factory") {}

    // What CreateProfile answers and hands out (null: no object).
    HRESULT result = S_OK;
    CComPtr<IUnknown> profile;
    // What the last call was given: the three texts, then the bag's names or "no data".
    std::vector<std::wstring> given;
    void* context = nullptr;

    HRESULT STDMETHODCALLTYPE CreateProfile(BSTR first, BSTR second, BSTR third, IDeploymentData* data,
                                            void* passed, IUnknown** out) override
    {
        given = {text(first), text(second), text(third)};
        if (data) {
            _variant_t value;
            given.push_back(SUCCEEDED(data->GetValue(_bstr_t(L"site"), value.GetAddress())) ? text(value.bstrVal)
                                                                                             : L"no site");
        } else {
            given.emplace_back(L"no data");
        }
        context = passed;
        *out = nullptr;
        if (SUCCEEDED(result) && profile) {
            profile.p->AddRef();
            *out = profile.p;
        }
        return result;
    }

private:
    static std::wstring text(BSTR b) { return std::wstring(b, SysStringLen(b)); }
};

class Profiles : public testing::Test {
protected:
    fake::Apartment apartment;
    fake::Held<FakeProfileFactory> factory = fake::hold<FakeProfileFactory>();
    std::optional<fake::ServedClass> served{std::in_place, CLSID_ProfileFactory, [this] {
        factory->AddRef();
        return factory->unknown();
    }};
    int context = 0;
};

TEST_F(Profiles, TextsDataAndContextReachTheFactoryAndItsObjectBecomesTheRecord)
{
    auto object = fake::hold<FakeRecord>(std::vector<IID>{IID_IRecord, IID_IReference});
    object->values[L"name"] = _variant_t(L"weekly");
    factory->profile = object->unknown();

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

TEST_F(Profiles, FailuresOfCreationFactoryAndResultAreRaised)
{
    const auto create = [] { (void)Collector::CreateProfile(L"a", L"b", L"c", DeploymentData(), nullptr); };
    factory->result = E_ACCESSDENIED;
    EXPECT_EQ(caught<CHResultException>(create).value().get_hresult(), E_ACCESSDENIED);

    factory->result = S_OK;
    factory->profile = fake::hold<fake::Unknown>("not an object")->unknown(); // kept alive by the factory
    EXPECT_EQ(caught<CHResultException>(create).value().message(), L"Unable to QueryInterface");
    factory->profile.Release();

    served.reset();
    const auto unregistered = caught<CHResultException>(create);
    ASSERT_TRUE(unregistered);
    EXPECT_EQ(unregistered->get_hresult(), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(site_of(*unregistered).file, "Monitor/Collector/Collector.Shell/Collector.cpp");
    EXPECT_NE(site_of(*unregistered).function.find("CreateProfile"), std::string::npos);
}

} // namespace
} // namespace shell_test
