// RecordsSet over fake composition sets: the class name, which only a found class gives, and the walk
// over changes in the component's order, which refuses kinds it does not know.
#include "shell/record_fakes.h"

#include <collector/shell.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace shell_test {
namespace {

using collector::shell::ERecordEventKind;
using collector::shell::RecordEvent;
using collector::shell::RecordsSet;

constexpr GUID process_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID unknown_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x58}};

class RecordsSetTest : public testing::Test {
protected:
    fake::Held<FakeClassPool> pool = fake::hold<FakeClassPool>();
    fake::Held<FakeCompositionSet> component = fake::hold<FakeCompositionSet>(unknown_class);
    std::vector<fake::Held<FakeRecord>> records;

    // A change of `kind` about a new record whose key is (ProcessId, id).
    void change(LONG kind, LONG id)
    {
        records.push_back(fake::hold<FakeRecord>());
        records.back()->key.Attach(fake::make<FakeKey>(process_class, field_list{{L"ProcessId", v4(id)}}));
        component->changes.push_back(adopted<FakeChange>(kind, _variant_t(records.back()->unknown())));
    }

    RecordsSet set() { return RecordsSet(component->unknown(), pool.get()); }
};

TEST_F(RecordsSetTest, UnknownClassStillWalksEveryChangeInOrder)
{
    change(0, 1);
    change(2, 2);
    change(1, 3);
    change(0, 4);
    const RecordsSet changes = set();
    EXPECT_EQ(changes.ClassName(), std::nullopt);

    std::vector<std::pair<ERecordEventKind, int>> seen;
    for (auto it = changes.begin(); it != changes.end(); ++it)
        seen.emplace_back(it->kind, it->record.GetKey()[L"ProcessId"].get<int>());
    EXPECT_EQ(seen, (std::vector<std::pair<ERecordEventKind, int>>{{ERecordEventKind::Added, 1},
                                                                   {ERecordEventKind::Removed, 2},
                                                                   {ERecordEventKind::Updated, 3},
                                                                   {ERecordEventKind::Added, 4}}));
    // Each event's record went with its event, and told the component so once.
    for (const auto& record : records)
        EXPECT_EQ(record->disposed, 1);
}

TEST_F(RecordsSetTest, OnlyAClassFoundWithSOkNamesTheSet)
{
    component->class_id = process_class;
    pool->add(process_class, L"Process");
    const RecordsSet changes = set();
    EXPECT_EQ(changes.ClassName(), L"Process");
    pool->found = S_FALSE;
    EXPECT_EQ(changes.ClassName(), std::nullopt);
    EXPECT_EQ(pool->lookups, 2);
    EXPECT_EQ(changes.begin(), changes.end());
}

TEST_F(RecordsSetTest, UnknownKindsAndItemsThatAreNotRecordsStopTheWalk)
{
    change(1, 1);
    change(3, 2);
    const RecordsSet changes = set();
    auto it = changes.begin();
    EXPECT_EQ(it->kind, ERecordEventKind::Updated);
    const auto e = caught<CHResultException>([&] { ++it; });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), L"Invalid kind 3");
    EXPECT_EQ(e->get_hresult(), E_INVALIDARG);
    EXPECT_EQ(site_of(*e).file, "");

    auto plain = fake::hold<fake::Unknown>("plain");
    component->changes = {adopted<FakeChange>(0, _variant_t(plain->unknown()))};
    const auto refused = caught<CHResultException>([&] { set().begin(); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->message(), L"Unable to QueryInterface");
}

} // namespace
} // namespace shell_test
