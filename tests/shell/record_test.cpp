// Record over fake component records and objects: the empty record, values by name, key and class
// name, methods by name, and the one Dispose when the last holder goes.
#include "shell/record_fakes.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace shell_test {
namespace {

using collector::shell::Key;
using collector::shell::Method;
using collector::shell::Record;

constexpr GUID process_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID profile_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x57}};

class RecordTest : public testing::Test {
protected:
    fake::Held<FakeClassPool> pool = fake::hold<FakeClassPool>();
    FakeClass& process = pool->add(process_class, L"Process");
    fake::Held<FakeRecord> component = fake::hold<FakeRecord>();

    void SetUp() override
    {
        component->key.Attach(fake::make<FakeKey>(process_class, field_list{{L"ProcessId", v4(4)}}));
        component->values = {{L"Name", _variant_t(L"init")}, {L"", _variant_t(L"unnamed")}};
    }

    Record record() { return Record(component->unknown(), pool.get()); }
};

TEST_F(RecordTest, EmptyRecordRefusesEverythingButItsFields)
{
    const Record empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.begin(), empty.end());
    _bstr_t name(L"Name");
    const std::pair<std::function<void()>, int> refusals[] = {
        {[&] { empty[L"Name"]; }, 126},        {[&] { empty[name]; }, 126},
        {[&] { empty.GetKey(); }, 136},        {[&] { empty.ClassName(); }, 143},
        {[&] { empty.IsExist(L"Name"); }, 155}, {[&] { empty.GetMethod(L"Run"); }, 186},
        {[&] { empty.FindReference(L"Parent"); }, 126},
    };
    for (const auto& [action, line] : refusals) {
        const auto e = caught<COstraException>(action);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"Record is null");
        EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/Record.cpp");
        EXPECT_EQ(site_of(*e).line, line);
    }
}

TEST_F(RecordTest, ValuesAreReadByNameInOneCall)
{
    const Record keyed = record();
    EXPECT_EQ(keyed[L"Name"].get<std::wstring>(), L"init");
    EXPECT_TRUE(keyed.IsExist(L"Name"));
    // An unknown name is no error: the component's failure leaves the value empty.
    EXPECT_FALSE(keyed[L"name"]);
    EXPECT_FALSE(keyed.IsExist(L"name"));
    // An empty view is an empty name, an empty _bstr_t a null one.
    EXPECT_EQ(keyed[std::wstring_view()].get<std::wstring>(), L"unnamed");
    _bstr_t null_name;
    EXPECT_FALSE(keyed[null_name]);
}

TEST_F(RecordTest, KeyedRecordGivesItsKeyAndReadsItsClassNameOnce)
{
    const Record keyed = record();
    const Key key = keyed.GetKey();
    EXPECT_EQ(key[L"ProcessId"].get<int>(), 4);
    EXPECT_EQ(keyed.ClassName(), L"Process");
    EXPECT_EQ(Record(keyed).ClassName(), L"Process");
    EXPECT_EQ(key.ClassName(), L"Process"); // the key's own state asks again
    EXPECT_EQ(pool->lookups, 2);
    EXPECT_EQ(process.name_reads, 2);

    // Without a key there is no class, and the component is asked on every call.
    component->key.Release();
    component->key_reads = 0;
    const Record keyless = record();
    EXPECT_FALSE(keyless.GetKey());
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto e = caught<COstraException>([&] { keyless.ClassName(); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"Record has no class");
        EXPECT_EQ(site_of(*e).line, 147);
    }
    EXPECT_EQ(component->key_reads, 3);
}

TEST_F(RecordTest, ObjectBackedRecordHasNoKeyAndItsClassById)
{
    pool->add(profile_class, L"Profile");
    const auto object = fake::hold<FakeRecord>(std::vector<IID>{IID_IRecord, IID_IReference});
    object->class_id = profile_class;
    object->values = {{L"Owner", _variant_t(L"svc")}};
    const Record profile(nullptr, object.get(), pool.get());
    EXPECT_FALSE(profile.GetKey());
    EXPECT_EQ(profile.ClassName(), L"Profile");
    EXPECT_EQ(profile[L"Owner"].get<std::wstring>(), L"svc");
    EXPECT_FALSE(Record(nullptr, nullptr, pool.get()));

    const auto e = caught<CHResultException>([&] { Record(object->unknown(), pool.get()); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), L"Unable to QueryInterface");
}

TEST_F(RecordTest, TheLastFieldOfTheNameDecidesTheMethod)
{
    component->fields = {adopted<FakeField>(L"Run", _variant_t(), field_offers{.method = true}),
                         adopted<FakeField>(L"Name", _variant_t()),
                         adopted<fake::Unknown>("not a field"),
                         v4(7),
                         adopted<FakeField>(std::wstring(L"Stop\0old", 8), _variant_t()),
                         adopted<FakeField>(L"Stop", _variant_t(), field_offers{.method = true}),
                         adopted<FakeField>(L"Twice", _variant_t(), field_offers{.method = true}),
                         adopted<FakeField>(L"Twice", _variant_t())};
    const Record keyed = record();
    // The method reached is the field's: invoking it gets the field's answer.
    EXPECT_THROW(keyed.GetMethod(L"Run")(), CHResultException);
    EXPECT_NO_THROW(keyed.GetMethod(L"Stop"));
    for (const wchar_t* name : {L"Name", L"Twice", L"run", L"Missing"}) {
        const auto e = caught<COstraException>([&] { keyed.GetMethod(name); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"No such method");
        EXPECT_EQ(site_of(*e).line, 205);
    }
}

TEST_F(RecordTest, DisposedOnceWhenTheLastHolderGoes)
{
    component->fields = {adopted<FakeField>(L"Run", _variant_t(), field_offers{.method = true})};
    std::optional<Record> keyed(record());
    std::optional<Record> copy(*keyed);
    std::optional<Method> method(keyed->GetMethod(L"Run"));
    keyed.reset();
    copy.reset();
    EXPECT_EQ(component->disposed, 0);
    method.reset();
    EXPECT_EQ(component->disposed, 1); // its failure is ignored
}

} // namespace
} // namespace shell_test
