// Resources and profiles: names that the pool lacks, deployments that hand the component a target and
// a bag, and what reaches the profile factory and comes back from it.
#include "shell/fake_collector.h"
#include "shell/fake_pools.h"

#include "support/fake_class_factory.h"

namespace shell_test {
namespace {

class FakeTarget : public fake::Fake<IDeploymentTarget> {
public:
    FakeTarget() : Fake("target") {}

    HRESULT STDMETHODCALLTYPE GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return *out = copy_of(L"t"), S_OK; }
    HRESULT STDMETHODCALLTYPE GetType(EDeploymentTarget*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Deploy(VARIANT, IDeploymentData*, VARIANT*) override { return E_NOTIMPL; }
};

class Resources : public ServedCollectorTest {
protected:
    fake::Held<FakeResourcePool> fake_pool = fake::hold<FakeResourcePool>();
    fake::Held<FakeTarget> fake_target = fake::hold<FakeTarget>();

    void SetUp() override { component.resource_pool = fake_pool->unknown(); }
};

TEST_F(Resources, NamesThePoolLacksGiveEmptyResourcesThatThrowWhenRead)
{
    ResourcePool pool = collector->GetResourcePool();
    pool.Add(L"disk", Object(v4(5)));
    EXPECT_TRUE(pool[L"disk"]);
    EXPECT_FALSE(pool[L"absent"]); // the pool fails
    fake_pool->missing = S_OK;
    EXPECT_FALSE(pool[L"absent"]); // the pool succeeds without an object
    EXPECT_FALSE(pool[std::wstring_view(L"disk\0", 5)]);
    EXPECT_EQ(fake_pool->found.back(), std::wstring(L"disk\0", 5));
    fake_pool->add_gives_nothing = true;
    EXPECT_FALSE(pool.Add(L"nothing", Object()));
    const auto e = caught<COstraException>([&] { (void)pool[L"absent"].GetName(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), L"Resource is null");
    EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/Resource.cpp");
}

TEST_F(Resources, DeployHandsTheTargetAndTheBagToTheResource)
{
    const Resource disk = collector->GetResourcePool().Add(L"disk", Object());
    FakeResource& resource = *fake_pool->resources.back();
    const DeploymentTarget target(fake_target->unknown());
    EXPECT_EQ(disk.Deploy(target, DeploymentData()).get<int>(), 42);
    EXPECT_EQ(resource.deployed, std::vector<std::wstring>{L"t"}); // a bag without names
    disk.Deploy(target, DeploymentData{{L"b", v4(1)}, {L"a", v4(2)}});
    EXPECT_EQ(resource.deployed, (std::vector<std::wstring>{L"t", L"a", L"b"}));
    EXPECT_EQ(caught<COstraException>([&] { disk.Deploy(DeploymentTarget(), DeploymentData()); }).value().message(),
              L"DeploymentTarget is null");
}

class FakeProfileFactory : public fake::Fake<IProfileFactory> {
public:
    FakeProfileFactory() : Fake("profile factory") {}

    // What CreateProfile hands out (null: no object).
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
        if (profile) {
            profile.p->AddRef();
            *out = profile.p;
        }
        return S_OK;
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

} // namespace
} // namespace shell_test
