// Roads through tasks: from the collector through its task pool and a task to a followed collection,
// its listener and watchers, records, fields, references, keys and referenced keys; methods of records,
// collections and tasks; and deployment data as the component sees it.
#include "integration/road.h"

#include <map>

namespace integration {
namespace {

using reference::ArrayValue;
using reference::Change;
using reference::ECompositionRecordKind;
using reference::Fields;
using reference::MethodCall;
using reference::MethodOutcome;
using reference::MethodValue;
using reference::RecordReference;
using reference::ReferenceForm;
using reference::XmlValue;

constexpr GUID item_class{0x1A000001, 0, 0, {1}};

// An item keyed by Id, named, referring to its parent item, with tags, an XML document and a method
// that doubles its parameter.
Fields Item(LONG id, const wchar_t* name, LONG parent)
{
    return {{L"Id", _variant_t(id)},
            {L"Name", _variant_t(name)},
            {L"Parent", RecordReference{item_class, {{L"Id", _variant_t(parent)}}, ReferenceForm::Reference}},
            {L"Tags", ArrayValue{{_variant_t(L"red"), _variant_t(name)}}},
            {L"Doc", XmlValue{L"<item/>"}},
            {L"Double", MethodValue{L"doubles Times", [](const MethodCall& call) -> MethodOutcome {
                                        const auto times = call.parameters.find(L"Times");
                                        if (times == call.parameters.end())
                                            return reference::MethodFailure{E_INVALIDARG, L"Times is missing"};
                                        return _variant_t(LONG(times->second) * 2);
                                    }}}};
}

// The records of a collection by Id.
std::map<int, Record> RecordsOf(const Collection& collection)
{
    std::map<int, Record> records;
    for (const Record& record : collection)
        records.emplace(record[L"Id"].get<int>(), record);
    return records;
}

TEST_F(Road, FromTheCollectorToReferencedKeys)
{
    const reference::RecordClass items =
        registration->DefineClass({item_class, L"Item", L"2.0", L"road", false, {L"Id"}});
    items.Apply({Change{ECompositionRecordKind::Added, Item(1, L"root", 1)},
                 Change{ECompositionRecordKind::Added, Item(2, L"leaf", 1)}});
    Journal records, states;
    TaskPool pool = collector->GetTaskPool();
    pool.Subscribe(listener);
    Task task = pool.Deploy(L"road", GUID{}, GUID{}, false);
    EXPECT_TRUE(collector->GetTaskPool().IsExist(task.GetId()));
    EXPECT_EQ(task.GetState(), ETaskState::Ready);
    task.WatchOnStateChanged([&](ETaskState state, std::wstring_view description) {
        states.Write(L"task " + std::wstring(ETaskStateToString(state)) + L" " + std::wstring(description));
    });
    task.Run();
    EXPECT_EQ(task.GetState(), ETaskState::Running);

    Collection followed = task.Deploy(L"Item", true);
    EXPECT_EQ(followed.GetClass().GetVersion(), L"2.0");
    EXPECT_EQ(followed.GetState(), ECollectionState::Ready);
    followed.WatchOnAdded([&](Record record) { records.Write(L"added " + IdOf(record.GetKey())); })
        .WatchOnUpdated([&](Record record) { records.Write(L"updated " + record[L"Name"].get<std::wstring>()); })
        .WatchOnRemoved([&](Key key) { records.Write(L"removed " + IdOf(key)); })
        .WatchOnStateChanged([&](ECollectionState state, std::wstring_view description) {
            states.Write(std::wstring(ECollectionStateToString(state)) + L" " + std::wstring(description));
        });
    // A second collection of the class takes its batches whole.
    Collection whole = task.Deploy(L"Item", false);
    whole.Subscribe(listener);
    followed.Run();
    whole.Run();
    EXPECT_EQ(records.Wait(2), (std::vector<std::wstring>{L"added 1", L"added 2"}));
    EXPECT_TRUE(events.WaitFor(L"batch of Item A1 A2"));

    // Records, fields, references and keys.
    std::map<int, Record> found = RecordsOf(followed);
    ASSERT_EQ(found.size(), 2u);
    const Record& leaf = found.at(2);
    EXPECT_EQ(leaf.ClassName(), L"Item");
    std::vector<std::wstring> names;
    for (const Field& field : leaf)
        names.push_back(field.GetName() + (field.IsMethod() ? L"()" : L""));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Id", L"Name", L"Parent", L"Tags", L"Doc", L"Double()"}));
    EXPECT_EQ(leaf[L"Tags"].get<std::vector<std::wstring>>(), (std::vector<std::wstring>{L"red", L"leaf"}));
    for (const Field& field : leaf) {
        std::wstring xml = L"untouched";
        EXPECT_EQ(field.ToXML(xml), field.GetName() == L"Doc") << field.GetName();
        EXPECT_EQ(xml, field.GetName() == L"Doc" ? L"<item/>" : L"untouched");
    }
    const Reference parent = leaf.FindReference(L"Parent");
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent.ClassName(), L"Item");
    EXPECT_FALSE(parent.GetRecord()) << "a reference that only names its target gave a record";
    EXPECT_TRUE(parent.GetKey() == found.at(1).GetKey());
    for (const wchar_t* name : {L"", L"Parent"}) {
        std::vector<std::wstring> referencing;
        for (auto [key, end] = followed.FindReferencedKeys(found.at(1).GetKey(), name); !(key == end); ++key)
            referencing.push_back(IdOf(*key));
        // The root refers to itself.
        EXPECT_EQ(referencing, (std::vector<std::wstring>{L"1", L"2"})) << name;
    }

    // Methods on a record, on the collection and on the task.
    Method twice = leaf.GetMethod(L"Double");
    twice[L"Times"] = Object(_variant_t(LONG(21)));
    EXPECT_EQ(twice().get<int>(), 42);
    twice[L"Times"] = Object();
    EXPECT_EQ(FailureOf([&] { twice(); }), Refused(E_INVALIDARG, L"Times is missing"));
    EXPECT_EQ(task.GetMethod(L"Item", L"RecordCount")().get<int>(), 2);
    EXPECT_EQ(followed.GetMethod(L"ClassName")().get<std::wstring>(), L"Item");
    EXPECT_EQ(task.GetMethod(L"CollectionCount")().get<int>(), 2);
    Method classes = task.GetMethod(L"ClassNames");
    classes();
    EXPECT_EQ(classes.GetResult(), (std::vector<Object>{Object(_variant_t(L"Item")), Object(_variant_t(L"Item"))}));

    // Changes reach the watchers one by one and the whole-batch listener as one set.
    found.clear();
    items.Apply({Change{ECompositionRecordKind::Updated, Item(1, L"renamed", 1)},
                 Change{ECompositionRecordKind::Removed, {{L"Id", _variant_t(LONG(2))}}},
                 Change{ECompositionRecordKind::Added, Item(3, L"new", 1)}});
    EXPECT_EQ(records.Wait(5), (std::vector<std::wstring>{L"added 1", L"added 2", L"updated renamed", L"removed 2",
                                                          L"added 3"}));
    EXPECT_TRUE(events.WaitFor(L"batch of Item U1 R2 A3"));
    EXPECT_EQ(RecordsOf(followed).size(), 2u);

    // States scripted in the component reach the watchers with their descriptions.
    registration->SetCollectionState(followed.GetId(), ECollectionState::Limping, L"slow source");
    registration->SetTaskState(task.GetId(), ETaskState::Limping, L"one collection limps");
    EXPECT_TRUE(states.WaitFor(L"Limping slow source"));
    EXPECT_TRUE(states.WaitFor(L"task Limping one collection limps"));
    followed.Stop();
    EXPECT_EQ(followed.GetState(), ECollectionState::Stopped);
    task.Stop();
    EXPECT_EQ(task.GetState(), ETaskState::Stopped);
    EXPECT_TRUE(states.WaitFor(L"task Stopped "));

    task.Subscribe(listener);
    task.Remove(whole.GetId());
    EXPECT_TRUE(events.WaitFor(L"collection removed"));
    EXPECT_TRUE(pool.Remove(task.GetId()));
    EXPECT_TRUE(events.WaitFor(L"task removed"));
    const auto lines = events.Wait(0);
    EXPECT_EQ(lines.front(), L"task deployed");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"one by one"), 0);
    followed.Unsubscribe();
    whole.Unsubscribe();
    task.Unsubscribe();
    pool.Unsubscribe();
}

TEST_F(Road, DeploymentDataAndFailuresAsTheComponentSeesThem)
{
    registration->DefineClass({item_class, L"Item", L"2.0", L"road", false, {L"Id"}});
    const Host host = collector->GetHostPool().Create(L"far");
    const User user = collector->GetUserPool().Create(L"svc", L"pw");
    TaskPool pool = collector->GetTaskPool();

    Task configured = pool.Deploy(L"configured", host.GetId(), user.GetId(), L"<config depth='2'/>", false);
    EXPECT_EQ(configured.GetHostId(), host.GetId());
    EXPECT_EQ(configured.GetUserId(), user.GetId());
    EXPECT_EQ(std::wstring(_bstr_t(configured.FindProperty(L"Configuration"))), L"<config depth='2'/>");
    Task settled = pool.Deploy(L"settled", GUID{}, GUID{},
                               DeploymentData{{L"Interval", _variant_t(LONG(30))}, {L"Mode", _variant_t(L"full")}});
    EXPECT_EQ(LONG(settled.FindProperty(L"Interval")), 30);
    EXPECT_EQ(std::wstring(_bstr_t(settled.FindProperty(L"Mode"))), L"full");
    EXPECT_EQ(settled.GetState(), ETaskState::Ready);
    Task running = pool.Deploy(L"running", GUID{}, GUID{}, true);
    EXPECT_EQ(running.GetState(), ETaskState::Running);

    // Which deployment gives which collection is the library's concern; here the component's answers.
    Collection first = settled.Deploy(L"Item", DeploymentData{{L"Depth", _variant_t(LONG(2))}});
    registration->FailCall(L"ICollection::Run", 1, E_OUTOFMEMORY, L"no room to run");
    EXPECT_EQ(FailureOf([&] { first.Run(); }), Refused(E_OUTOFMEMORY, L"no room to run"));
    EXPECT_EQ(first.GetState(), ECollectionState::Ready);
}

} // namespace
} // namespace integration
