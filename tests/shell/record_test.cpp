// Record and RecordsSet over fake component records and composition sets: the empty record, values
// by name, key and class name, methods by name, the one Dispose when the last holder goes, and the
// changes of a set in the component's order.
#include "shell/record_fakes.h"

namespace shell_test {
namespace {

class RecordTest : public RecordFamilyTest {
protected:
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
    // Every lookup by name (both operator[] and FindReference) goes through the _bstr_t operator[].
    expect_null_refusals(L"Record", {
        {[&] { empty[L"Name"]; }, 126},          {[&] { empty.GetKey(); }, 136},
        {[&] { empty.ClassName(); }, 143},       {[&] { empty.IsExist(L"Name"); }, 155},
        {[&] { empty.GetMethod(L"Run"); }, 186},
    });
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
    for (int attempt = 0; attempt < 2; ++attempt)
        expect_refusal([&] { keyless.ClassName(); }, L"Record has no class", 147);
    EXPECT_EQ(component->key_reads, 3);
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
    for (const wchar_t* name : {L"Name", L"Twice", L"run", L"Missing"})
        expect_refusal([&] { keyed.GetMethod(name); }, L"No such method", 205);
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

TEST_F(RecordTest, SetWalksItsChangesInOrderWhateverItsClass)
{
    auto changes = fake::hold<FakeCompositionSet>(other_class);
    std::vector<fake::Held<FakeRecord>> records;
    for (const LONG kind : {0, 2, 1, 0})
        changes->add(kind, _variant_t(records.emplace_back(numbered(kind))->unknown()));
    const RecordsSet set(changes->unknown(), pool.get());
    EXPECT_EQ(set.ClassName(), std::nullopt);
    std::vector<std::pair<ERecordEventKind, int>> seen;
    for (auto it = set.begin(); it != set.end(); ++it)
        seen.emplace_back(it->kind, it->record[L"id"].get<int>());
    using enum ERecordEventKind;
    using Seen = std::vector<std::pair<ERecordEventKind, int>>;
    EXPECT_EQ(seen, (Seen{{Added, 0}, {Removed, 2}, {Updated, 1}, {Added, 0}}));
    // Each event's record went with its event, and told the component so once.
    for (const auto& record : records)
        EXPECT_EQ(record->disposed, 1);

    // Only a class found with S_OK names the set; the pool is asked each time.
    changes->class_id = process_class;
    EXPECT_EQ(set.ClassName(), L"Process");
    pool->found = S_FALSE;
    EXPECT_EQ(set.ClassName(), std::nullopt);
    EXPECT_EQ(pool->lookups, 3);
}

TEST_F(RecordTest, SetWalkStopsAtAnUnknownKind)
{
    auto changes = fake::hold<FakeCompositionSet>(process_class);
    EXPECT_EQ(RecordsSet(changes->unknown(), pool.get()).begin(), RecordsSet(changes->unknown(), pool.get()).end());
    changes->add(1, component->unknown());
    changes->add(3, component->unknown());
    auto it = RecordsSet(changes->unknown(), pool.get()).begin();
    EXPECT_EQ(it->kind, ERecordEventKind::Updated);
    const refusal_t e = refusal_of([&] { ++it; });
    EXPECT_EQ(e.message, L"Invalid kind 3");
    EXPECT_EQ(e.hresult, E_INVALIDARG);
    EXPECT_EQ(e.site.file, "");
}

} // namespace
} // namespace shell_test
