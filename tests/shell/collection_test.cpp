// Collection members over a fake component: the class name, the composition's presence, method
// lookup, the order of a collection's end, and the referenced-key search.
#include "shell/record_fakes.h"

namespace shell_test {
namespace {

// How a class name is cached once per state is the key's test.
TEST_F(CollectionTest, MembersReachTheComponent)
{
    EXPECT_EQ(collection->ClassName(), L"Process");
    std::vector<int> ids;
    for (const Record& record : *collection)
        ids.push_back(record[L"id"].get<int>());
    EXPECT_EQ(ids, (std::vector<int>{1, 2}));

    EXPECT_EQ(collection->GetCompositionSize(), 42);
    auto single = fake::hold<FakeCollection>(false);
    EXPECT_EQ(Collection(single->unknown(), pool->unknown()).GetCompositionSize(), 1);
}

TEST_F(CollectionTest, OnlyAMissingMethodIsReportedWhateverTheComponentAnswersAndPropertiesNeedTheirInterface)
{
    const std::string source = "Monitor/Collector/Collector.Shell/Collection.cpp";
    for (const HRESULT answer : {S_OK, E_FAIL}) {
        component->method_result = answer;
        expect_refusal([&] { collection->GetMethod(L"Kill"); }, L"No such method", 456, source);
    }
    component->refuse(IID_IProperties);
    expect_refusal([&] { collection->SetProperty(L"a", v4(1)); }, L"Call failed", 388, source);
    expect_refusal([&] { collection->FindProperty(L"a"); }, L"Call failed", 399, source);
    // A failure with an object still hands the object to the method, which wants IFieldMethod.
    component->has_method = true;
    EXPECT_EQ(refusal_of([&] { collection->GetMethod(L"Kill"); }).message, L"Unable to QueryInterface");
}

TEST_F(CollectionTest, TheLastHandleUnadvisesBothConnectionsBeforeTheCompositionShutsDown)
{
    collection->Subscribe(nullptr);
    std::vector<std::string> order;
    component->events.on_unadvise = [&] { order.push_back("collection " + std::to_string(component->shutdowns)); };
    component->updates.on_unadvise = [&] { order.push_back("composition " + std::to_string(component->shutdowns)); };
    std::optional<Collection> copy = *collection;
    collection.reset();
    EXPECT_TRUE(order.empty());
    copy.reset();
    EXPECT_EQ(order, (std::vector<std::string>{"collection 0", "composition 0"}));
    EXPECT_EQ(component->shutdowns.load(), 1);
}

TEST(CollectionStates, ValuesWithoutANameAreUnknown)
{
    EXPECT_EQ(ECollectionStateToString(ECollectionState::Limping), L"Limping");
    for (const LONG value : {9, 99, 104, -1})
        EXPECT_EQ(ECollectionStateToString(static_cast<ECollectionState>(value)), L"Unknown") << value;
}

class ReferencedKeys : public CollectionTest {
protected:
    const field_list fields{{L"a", v4(1)}, {L"b", v4(2)}, {L"c", v4(3)}};
    fake::Held<FakeKey> key = fake::hold<FakeKey>(process_class, fields);

    void SetUp() override
    {
        component->index = process.unknown();
        process.referencing = {numbered_key(7), numbered_key(8)};
    }

    // The numbers of the keys found, each checked to resolve its class through the collection's pool.
    std::vector<int> found(std::wstring_view name)
    {
        const auto [first, last] = collection->FindReferencedKeys(Key(key->unknown(), pool.get()), name);
        std::vector<int> ids;
        for (auto it = first; it != last; ++it) {
            EXPECT_EQ(it->ClassName(), L"Process");
            ids.push_back((*it)[L"id"].get<int>());
        }
        return ids;
    }
};

TEST_F(ReferencedKeys, TheTemplateTakesTheFirstValueUnderTheNameOrEveryFieldUnderItsOwn)
{
    EXPECT_EQ(found(L"parent"), (std::vector<int>{7, 8}));
    EXPECT_EQ(process.template_fields, (Fields{{L"parent", 1}}));
    process.template_fields.clear();
    EXPECT_EQ(found(L""), (std::vector<int>{7, 8}));
    EXPECT_EQ(process.template_fields, (Fields{{L"a", 1}, {L"b", 2}, {L"c", 3}}));

    key->fields.clear();
    expect_refusal([&] { found(L"parent"); }, L"null iterator", 0);
}

TEST_F(ReferencedKeys, MissingCapabilitiesAndAnEmptySetGiveAnEmptyRange)
{
    process.has_items = false;
    EXPECT_TRUE(found(L"parent").empty()) << "the keys are not read";
    process.has_items = true;
    component->index.Release();
    EXPECT_TRUE(found(L"parent").empty());
    process.offers_template = false;
    const int index_requests = component->index_requests;
    EXPECT_TRUE(found(L"parent").empty());
    EXPECT_EQ(component->index_requests, index_requests);
}

} // namespace
} // namespace shell_test
