// Class, Key and Field over fake component objects: the class descriptor, the empty key, lookups by
// exact name, equality and order, the class name read once per key state, and what a field gives.
#include "shell/record_fakes.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <string>

namespace shell_test {
namespace {

using collector::shell::Field;
using collector::shell::Key;

constexpr GUID process_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID thread_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};

class KeyTest : public testing::Test {
protected:
    fake::Held<FakeClassPool> pool = fake::hold<FakeClassPool>();
    FakeClass& process = pool->add(process_class, L"Process");

    Key key_of(const field_list& fields, GUID cls = process_class)
    {
        const auto component = fake::hold<FakeKey>(cls, fields);
        return Key(component->unknown(), pool.get());
    }
};

TEST_F(KeyTest, ClassDescribesItself)
{
    const auto cls = key_of({}).GetClass();
    EXPECT_TRUE(IsEqualGUID(cls.GetId(), process_class));
    EXPECT_EQ(cls.GetName(), L"Process");
    EXPECT_EQ(cls.GetVersion(), L"2.1");
    EXPECT_EQ(cls.GetScope(), L""); // a null BSTR
    EXPECT_TRUE(cls.IsSingleton());
}

TEST_F(KeyTest, EmptyKeyHasNoFieldsAndNoClass)
{
    const Key empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.begin(), empty.end());
    EXPECT_FALSE(empty.IsExist(L"id"));
    EXPECT_FALSE(empty[L"id"]);
    EXPECT_FALSE(empty.FindReference(L"id"));
    for (const auto& [action, line] : {std::pair<std::function<void()>, int>{[&] { empty.GetClass(); }, 47},
                                       {[&] { empty.ClassName(); }, 54}}) {
        const auto e = caught<COstraException>(action);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"Key is null");
        EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/Key.cpp");
        EXPECT_EQ(site_of(*e).line, line);
    }
}

TEST_F(KeyTest, LookupMatchesWholeNamesCaseSensitivelyAndTakesTheFirst)
{
    const Key key = key_of({{L"ID", v4(1)}, {L"id", v4(2)}, {L"id", v4(3)}});
    EXPECT_EQ(key[L"id"].get<int>(), 2);
    EXPECT_EQ(key[L"ID"].get<int>(), 1);
    EXPECT_TRUE(key.IsExist(L"id"));
    for (const wchar_t* absent : {L"Id", L"i", L"id ", L""}) {
        EXPECT_FALSE(key.IsExist(absent)) << testing::PrintToString(std::wstring(absent));
        EXPECT_FALSE(key[absent]);
    }
}

struct order_row {
    const char* what;
    field_list left;
    field_list right;
    bool equal;
    bool less;
    bool greater;
};

TEST_F(KeyTest, KeysCompareFieldByFieldWhateverTheirClass)
{
    const _variant_t none;
    const order_row rows[] = {
        {"both empty", {}, {}, true, false, false},
        {"empty before any field", {}, {{L"a", v4(1)}}, false, true, false},
        {"same fields", {{L"a", v4(1)}, {L"b", L"x"}}, {{L"a", v4(1)}, {L"b", L"x"}}, true, false, false},
        {"proper prefix first", {{L"a", v4(1)}}, {{L"a", v4(1)}, {L"b", v4(0)}}, false, true, false},
        {"upper case first", {{L"ID", v4(1)}}, {{L"id", v4(1)}}, false, true, false},
        {"shorter name first", {{L"i", v4(9)}}, {{L"id", v4(1)}}, false, true, false},
        {"UTF-16 code units", {{L"\U00010000", v4(1)}}, {{L"\uFF21", v4(1)}}, false, true, false},
        {"name before value", {{L"b", v4(1)}}, {{L"a", v4(2)}}, false, false, true},
        {"empty value first", {{L"a", none}}, {{L"a", v4(0)}}, false, true, false},
        {"values by number", {{L"a", v4(2)}}, {{L"a", v4(10)}}, false, true, false},
        {"same value, other type", {{L"a", v4(2)}}, {{L"a", 2.0}}, false, false, false},
    };
    for (const order_row& row : rows) {
        SCOPED_TRACE(row.what);
        const Key left = key_of(row.left);
        const Key right = key_of(row.right, thread_class);
        EXPECT_EQ(left == right, row.equal);
        EXPECT_EQ(right == left, row.equal);
        EXPECT_EQ(left < right, row.less);
        EXPECT_EQ(right < left, row.greater);
    }
}

TEST_F(KeyTest, ClassNameIsReadOncePerStateAndOnlyOnceKnown)
{
    const Key key = key_of({{L"id", v4(1)}});
    const Key copy = key.GetKey();
    EXPECT_EQ(key.ClassName(), L"Process");
    EXPECT_EQ(copy.ClassName(), L"Process");
    EXPECT_EQ(Key(key).ClassName(), L"Process");
    EXPECT_EQ(pool->lookups, 1);
    EXPECT_EQ(process.name_reads, 1);

    // An unknown class fails in the pool, each time: nothing was cached.
    const Key stranger = key_of({}, thread_class);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto e = caught<CHResultException>([&] { stranger.ClassName(); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->get_hresult(), E_INVALIDARG);
    }
    EXPECT_EQ(pool->lookups, 3);
}

TEST_F(KeyTest, FieldsGiveNameValueMethodAndXml)
{
    const auto component = fake::hold<FakeKey>(process_class, field_list{});
    component->fields = {adopted<FakeField>(L"Name", _variant_t(L"init"), field_offers{.xml = true}),
                         adopted<FakeField>(L"Run", _variant_t(), field_offers{.method = true}),
                         adopted<FakeField>(L"name", _variant_t(L"init"))};
    auto& xml_field = *static_cast<FakeField*>(static_cast<IField*>(component->fields[0].punkVal));
    const Key key(component->unknown(), pool.get());
    auto it = key.begin();
    const Field name = *it;
    const Field run = *++it;
    const Field lower = *++it;

    EXPECT_EQ(name.GetName(), L"Name");
    EXPECT_EQ(name.GetValue().get<std::wstring>(), L"init");
    EXPECT_FALSE(name.IsMethod());
    EXPECT_TRUE(run.IsMethod());
    EXPECT_TRUE(name == name);
    EXPECT_FALSE(name == lower); // same value, names differ in case
    EXPECT_FALSE(name == run);

    std::wstring xml = L"kept";
    EXPECT_FALSE(run.ToXML(xml)); // no XML form
    xml_field.xml = _variant_t(L"<name/>");
    xml_field.xml_result = E_FAIL;
    EXPECT_FALSE(name.ToXML(xml));
    xml_field.xml_result = S_OK;
    xml_field.xml = _variant_t(v4(5));
    EXPECT_FALSE(name.ToXML(xml));
    EXPECT_EQ(xml, L"kept");
    xml_field.xml = _variant_t(L"<name/>");
    EXPECT_TRUE(name.ToXML(xml));
    EXPECT_EQ(xml, L"<name/>");
}

} // namespace
} // namespace shell_test
