// Class, Key and Field over fake component objects: the empty key, lookups by exact name, equality
// and order, the class name read once per key state, and what a field gives.
#include "shell/record_fakes.h"

namespace shell_test {
namespace {

class KeyTest : public RecordFamilyTest {
protected:
    Key key_of(const field_list& fields, GUID cls = process_class)
    {
        const auto component = fake::hold<FakeKey>(cls, fields);
        return Key(component->unknown(), pool.get());
    }
};

TEST_F(KeyTest, EmptyKeyHasNoFieldsAndNoClass)
{
    const Key empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.begin(), empty.end());
    EXPECT_FALSE(empty.IsExist(L"id"));
    EXPECT_FALSE(empty[L"id"]);
    EXPECT_FALSE(empty.FindReference(L"id"));
    expect_null_refusals(L"Key", {{[&] { empty.GetClass(); }, 47}, {[&] { empty.ClassName(); }, 54}});
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

TEST_F(KeyTest, KeysCompareFieldByFieldWhateverTheirClass)
{
    struct row {
        const char* what;
        field_list left, right;
        bool equal, less, greater;
    };
    const row rows[] = {
        {"both empty", {}, {}, true, false, false},
        {"empty before any field", {}, {{L"a", v4(1)}}, false, true, false},
        {"same fields", {{L"a", v4(1)}, {L"b", L"x"}}, {{L"a", v4(1)}, {L"b", L"x"}}, true, false, false},
        {"proper prefix first", {{L"a", v4(1)}}, {{L"a", v4(1)}, {L"b", v4(0)}}, false, true, false},
        {"upper case first", {{L"ID", v4(1)}}, {{L"id", v4(1)}}, false, true, false},
        {"shorter name first", {{L"i", v4(9)}}, {{L"id", v4(1)}}, false, true, false},
        {"UTF-16 code units", {{L"\U00010000", v4(1)}}, {{L"\uFF21", v4(1)}}, false, true, false},
        {"name before value", {{L"b", v4(1)}}, {{L"a", v4(2)}}, false, false, true},
        // Values compare as Objects do.
        {"value after name", {{L"a", v4(1)}}, {{L"a", v4(2)}}, false, true, false},
    };
    for (const row& row : rows) {
        SCOPED_TRACE(row.what);
        const Key left = key_of(row.left);
        const Key right = key_of(row.right, other_class);
        EXPECT_EQ(left == right, row.equal);
        EXPECT_EQ(right == left, row.equal);
        EXPECT_EQ(left < right, row.less);
        EXPECT_EQ(right < left, row.greater);
    }
}

TEST_F(KeyTest, ClassIsResolvedOncePerStateAndOnlyOnceKnown)
{
    const Key key = key_of({{L"id", v4(1)}});
    EXPECT_EQ(key.ClassName(), L"Process");
    EXPECT_EQ(key.GetKey().ClassName(), L"Process");
    EXPECT_EQ(Key(key).ClassName(), L"Process");
    EXPECT_EQ(pool->lookups, 1);
    EXPECT_EQ(process.name_reads, 1);
    const auto cls = key.GetClass();
    EXPECT_TRUE(IsEqualGUID(cls.GetId(), process_class));
    EXPECT_EQ(cls.GetScope(), L"");
    EXPECT_TRUE(cls.IsSingleton()); // any nonzero VARIANT_BOOL

    // An unknown class fails in the pool, each time: nothing was cached.
    const Key stranger = key_of({}, other_class);
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(refusal_of([&] { stranger.ClassName(); }).hresult, E_INVALIDARG);
    EXPECT_EQ(pool->lookups, 4);
}

TEST_F(KeyTest, FieldsGiveNameValueMethodAndXml)
{
    const auto component = fake::hold<FakeKey>(process_class, field_list{});
    auto* xml_field = fake::make<FakeField>(L"Name", _variant_t(L"init"), field_offers{.xml = true});
    component->fields = {_variant_t(xml_field->unknown(), false),
                         adopted<FakeField>(L"Run", _variant_t(), field_offers{.method = true}),
                         adopted<FakeField>(L"name", _variant_t(L"init"))};
    auto it = Key(component->unknown(), pool.get()).begin();
    const Field name = *it, run = *++it, lower = *++it;
    EXPECT_EQ(name.GetValue().get<std::wstring>(), L"init");
    EXPECT_FALSE(name.IsMethod());
    EXPECT_TRUE(run.IsMethod());
    EXPECT_TRUE(name == name);
    EXPECT_FALSE(name == lower); // same value, names differ in case

    std::wstring xml = L"kept";
    EXPECT_FALSE(run.ToXML(xml)); // no XML form
    for (const auto& [result, text] : {std::pair{E_FAIL, _variant_t(L"<name/>")}, {S_OK, v4(5)}}) {
        xml_field->xml_result = result;
        xml_field->xml = text;
        EXPECT_FALSE(name.ToXML(xml));
    }
    EXPECT_EQ(xml, L"kept");
    xml_field->xml_result = S_OK;
    xml_field->xml = _variant_t(L"<name/>");
    EXPECT_TRUE(name.ToXML(xml));
    EXPECT_EQ(xml, L"<name/>");
}

} // namespace
} // namespace shell_test
