// Collector::CreateProfile: what reaches the profile factory, the record it gives back (or none), and
// where creation, the factory and its result fail.
#include "shell/record_fakes.h"
#include "shell/site.h"

#include "support/fake_class_factory.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace shell_test {
namespace {

using namespace collector::shell;

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
    const auto refused = caught<CHResultException>(create);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->get_hresult(), E_ACCESSDENIED);

    factory->result = S_OK;
    factory->profile = fake::hold<fake::Unknown>("not an object")->unknown(); // kept alive by the factory
    const auto wrong = caught<CHResultException>(create);
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->message(), L"Unable to QueryInterface");
    factory->profile.Release();

    factory->refuse(IID_IProfileFactory);
    const auto no_factory = caught<CHResultException>(create);
    ASSERT_TRUE(no_factory);
    EXPECT_EQ(no_factory->get_hresult(), E_NOINTERFACE);
    EXPECT_EQ(site_of(*no_factory).file, "Monitor/Collector/Collector.Shell/Collector.cpp");
    EXPECT_NE(site_of(*no_factory).function.find("CreateProfile"), std::string::npos);

    served.reset();
    const auto unregistered = caught<CHResultException>(create);
    ASSERT_TRUE(unregistered);
    EXPECT_EQ(unregistered->get_hresult(), REGDB_E_CLASSNOTREG);
}

} // namespace
} // namespace shell_test
