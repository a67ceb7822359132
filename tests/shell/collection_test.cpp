// Collection members over a fake component: pass-through operations, the cached class name, the
// composition's presence, method lookup, the end of a collection, and the referenced-key search.
#include "shell/fake_collection.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <optional>

namespace shell_test {
namespace {

using namespace collector::shell;

std::vector<int> ids_of(EnumIterator<Record> first)
{
    std::vector<int> ids;
    for (; first != EnumIterator<Record>(); ++first)
        ids.push_back((*first)[L"id"].get<int>());
    return ids;
}

class CollectionTest : public testing::Test {
protected:
    fake::Held<FakeCollection> component = fake::hold<FakeCollection>();
    FakeClass& cls = *component->classes->cls;
    std::optional<Collection> collection{std::in_place, component->unknown(), component->classes->unknown()};
};

TEST_F(CollectionTest, MembersReachTheComponentAndTheClassNameIsReadOnce)
{
    EXPECT_TRUE(IsEqualGUID(collection->GetId(), component->id));
    EXPECT_EQ(collection->GetName(), L"processes");
    EXPECT_EQ(collection->GetState(), ECollectionState::Limping);
    EXPECT_EQ(collection->GetCompositionSize(), 42);
    collection->Run();
    collection->Stop();
    collection->Reset();
    EXPECT_EQ(ids_of(collection->begin()), (std::vector<int>{1, 2}));

    collection->SetProperty(L"", _variant_t(1L));
    collection->FindProperty(L"depth");
    EXPECT_EQ(component->property_names, (std::vector<std::wstring>{L"", L"depth"}));

    EXPECT_EQ(collection->ClassName(), L"Process");
    cls.class_name = L"Renamed";
    const Collection copy = *collection;
    EXPECT_EQ(copy.ClassName(), L"Process");
    EXPECT_EQ(cls.name_reads.load(), 1);
    EXPECT_EQ(collection->GetClass().GetName(), L"Renamed");
}

TEST(Collection, WithoutCompositionHasSizeOneAndSubscribesTheCollectionAlone)
{
    auto component = fake::hold<FakeCollection>(false);
    Collection collection(component->unknown(), component->classes->unknown());
    EXPECT_EQ(collection.GetCompositionSize(), 1);
    collection.Subscribe(nullptr);
    EXPECT_EQ(component->events.advise_calls.load(), 1);
    collection.Unsubscribe();
}

TEST_F(CollectionTest, OnlyAMissingMethodIsReportedWhateverTheComponentAnswers)
{
    for (const HRESULT answer : {S_OK, E_FAIL}) {
        component->method_result = answer;
        const auto e = caught<COstraException>([&] { collection->GetMethod(L"Kill"); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), L"No such method");
        EXPECT_EQ(site_of(*e).file, "Monitor/Collector/Collector.Shell/Collection.cpp");
    }
    // A failure with an object still hands the object to the method, which wants IFieldMethod.
    component->has_method = true;
    const auto e = caught<CHResultException>([&] { collection->GetMethod(L"Kill"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), L"Unable to QueryInterface");
}

TEST_F(CollectionTest, EndUnadvisesBothConnectionsBeforeTheCompositionShutsDown)
{
    collection->Subscribe(nullptr);
    FakeComposition& composition = *component->composition;
    std::vector<std::string> order;
    component->events.on_unadvise = [&] { order.push_back("collection"); };
    composition.updates.on_unadvise = [&] { order.push_back("composition"); };
    std::optional<Collection> copy = *collection;
    collection.reset();
    EXPECT_TRUE(order.empty()) << "a copy still shares the implementation";
    copy.reset();
    EXPECT_EQ(order, (std::vector<std::string>{"collection", "composition"}));
    EXPECT_EQ(composition.shutdowns.load(), 1);
}

TEST(CollectionStates, EveryStateHasItsNameAndOtherValuesAreUnknown)
{
    const std::pair<LONG, std::wstring_view> rows[] = {
        {0, L"Initial"},          {1, L"Ready"},          {2, L"Starting"},          {3, L"Running"},
        {4, L"Limping"},          {5, L"Suspended"},      {6, L"Stopping"},          {7, L"Stopped"},
        {8, L"Error"},            {100, L"UpdateStarted"}, {101, L"UpdateFinished"}, {102, L"BulkUpdateStarted"},
        {103, L"BulkUpdateFinished"}, {9, L"Unknown"},  {99, L"Unknown"},          {104, L"Unknown"},
        {-1, L"Unknown"},
    };
    for (const auto& [value, name] : rows)
        EXPECT_EQ(ECollectionStateToString(static_cast<ECollectionState>(value)), name) << value;
}

// The referenced-key search: what the template receives and what comes back.
class ReferencedKeys : public CollectionTest {
protected:
    fake::Held<FakeKey> key =
        fake::hold<FakeKey>(std::vector<std::pair<std::wstring, LONG>>{{L"a", 1}, {L"b", 2}, {L"c", 3}});

    std::vector<int> found(std::wstring_view name, IUnknown* searched)
    {
        const auto [first, last] = collection->FindReferencedKeys(Key(searched, component->classes.get()), name);
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
    EXPECT_EQ(found(L"parent", key->unknown()), (std::vector<int>{7, 8}));
    EXPECT_EQ(cls.template_fields, (std::vector<std::pair<std::wstring, LONG>>{{L"parent", 1}}));
    cls.template_fields.clear();
    EXPECT_EQ(found(L"", key->unknown()), (std::vector<int>{7, 8}));
    EXPECT_EQ(cls.template_fields, (std::vector<std::pair<std::wstring, LONG>>{{L"a", 1}, {L"b", 2}, {L"c", 3}}));

    auto fieldless = fake::hold<FakeKey>();
    const auto e = caught<COstraException>([&] { found(L"parent", fieldless->unknown()); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), L"null iterator");
}

TEST_F(ReferencedKeys, MissingCapabilitiesAndAnEmptySetGiveAnEmptyRange)
{
    cls.has_items = false;
    EXPECT_TRUE(found(L"parent", key->unknown()).empty()) << "the enumerator is not read";
    cls.has_items = true;
    component->offers_index = false;
    EXPECT_TRUE(found(L"parent", key->unknown()).empty());
    cls.template_fields.clear();
    cls.offers_template = false;
    component->offers_index = true;
    const int index_requests = component->index_requests;
    EXPECT_TRUE(found(L"parent", key->unknown()).empty());
    EXPECT_TRUE(cls.template_fields.empty());
    EXPECT_EQ(component->index_requests, index_requests);
}

} // namespace
} // namespace shell_test
