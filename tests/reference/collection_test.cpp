// Collections: announced batches through the composition or record by record, field values of every
// kind, the reference index, methods, Dispose, scripted states and the running hook.
#include "reference_fixture.h"

#include <atlsafe.h>

#include <algorithm>
#include <tuple>

namespace reference_test {
namespace {

using CollectionTest = ReferenceTest;

TEST_F(CollectionTest, ChangesArriveAsAnnouncedBatchesOfTheCompositionsSize)
{
    RecordClass items = define_items();
    items.Apply({added(1), added(2), added(3)});
    const CComPtr<ICollection> collection = deploy(L"Item");
    CComPtr<IComposition> composition;
    ASSERT_EQ(collection->GetComposition(2, &composition), S_OK);
    listen(collection, IID_ICollectionEvents);
    listen(composition, IID_ICompositionEvents);

    EXPECT_EQ(collection->Run(), S_OK);
    items.Apply({added(2, {{L"Name", text(L"two")}}), removed(1), added(4)});
    std::vector<std::wstring> expected{L"Collection 2", L"Updated A:1 A:2", L"Updated A:3",
                                       L"Collection 3", L"Updated U:2 R:1", L"Updated A:4"};
    EXPECT_EQ(sink->journal.Wait(6), expected);
    LONG size = 0;
    EXPECT_EQ(composition->GetSize(&size), S_OK);
    EXPECT_EQ(size, 3);
    EXPECT_THROW(items.Apply({removed(1)}), std::invalid_argument);

    stop_listening();
    listen(collection, IID_ICollectionEvents);
    EXPECT_EQ(composition->Shutdown(), S_OK);
    items.Apply({removed(2)}); // no composition: record by record
    expected.insert(expected.end(), {L"UpdateStarted", L"Removed 2", L"UpdateFinished"});
    EXPECT_EQ(sink->journal.Wait(9), expected);
}

TEST_F(CollectionTest, StatesFollowRunStopResetAndScripts)
{
    RecordClass items = define_items();
    std::vector<bool> hook;
    items.OnRunning([&](bool running) { hook.push_back(running); });
    const CComPtr<ICollection> collection = deploy(L"Item");
    listen(collection, IID_ICollectionEvents);
    GUID id{};
    collection->GetId(&id);

    CComPtr<IUnknown> stopped;
    EXPECT_EQ(collection->Run(), S_OK);
    EXPECT_TRUE(registration->SetCollectionState(id, ECollectionState::Limping, L"slow source"));
    EXPECT_EQ(collection->Stop(&stopped), S_OK);
    EXPECT_EQ(collection->Reset(0), S_OK);
    EXPECT_FALSE(registration->SetCollectionState(GUID{}, ECollectionState::Error));
    EXPECT_EQ(sink->journal.Wait(6), (std::vector<std::wstring>{L"Collection 2", L"Collection 3", L"Collection 4 slow source",
                                                         L"Collection 6", L"Collection 7", L"Collection 1"}));
    EXPECT_EQ(hook, (std::vector<bool>{true, false}));
    EXPECT_EQ(stopped, nullptr);

    EXPECT_EQ(collection->Run(), S_OK);
    EXPECT_EQ(task->Remove(id), S_OK);
    EXPECT_EQ(hook.size(), 3u) << "a collection released while running still counts as running";
    items.OnRunning(nullptr); // the sink's connection holds the collection past the test's end
}

// A running collection that ends without Stop, by its last release or by the collector's shutdown,
// still tells its class that it stopped.
TEST_F(CollectionTest, ARunningCollectionThatEndsWithoutStopTellsItsClass)
{
    RecordClass items = define_items();
    std::vector<bool> hook;
    items.OnRunning([&](bool running) { hook.push_back(running); });
    CComPtr<ICollection> released = deploy(L"Item");
    EXPECT_EQ(released->Run(), S_OK);
    released.Release();
    GUID task_id{};
    task->GetId(&task_id);
    task.Release();
    EXPECT_EQ(pool<ITaskPool>(&ICollector::GetTaskPool)->Remove(&task_id), S_OK);
    EXPECT_EQ(hook, (std::vector<bool>{true, false}));

    const CComPtr<ICollection> running = deploy(L"Item");
    EXPECT_EQ(running->Run(), S_OK);
    EXPECT_EQ(collector->Shutdown(), S_OK);
    EXPECT_EQ(hook, (std::vector<bool>{true, false, true, false}));
    ECollectionState state{};
    EXPECT_EQ(running->GetState(&state), S_OK);
    EXPECT_EQ(state, ECollectionState::Stopped);
    items.OnRunning(nullptr);
}

// Two collections of one class started and stopped on two threads: the hook hears every first start
// and last stop in their order, so it alternates and ends hearing that none runs.
TEST_F(CollectionTest, RacingStartsAndStopsReachTheHookInOrder)
{
    RecordClass items = define_items();
    std::mutex mutex;
    std::vector<bool> heard;
    items.OnRunning([&](bool running) {
        // A slow notice that none runs lets a racing start overtake it, unless the notices keep order.
        if (!running)
            std::this_thread::sleep_for(200us);
        const std::lock_guard lock(mutex);
        heard.push_back(running);
    });
    const CComPtr<ICollection> first = deploy(L"Item");
    CComPtr<IUnknown> second;
    ASSERT_EQ(task->Deploy(_bstr_t(L"Item"), &second), S_OK);
    const auto toggle = [](ICollection* collection) {
        for (int i = 0; i < 300; ++i) {
            CComPtr<IUnknown> stopped;
            EXPECT_EQ(collection->Run(), S_OK);
            EXPECT_EQ(collection->Stop(&stopped), S_OK);
        }
    };
    std::thread racer(toggle, first.p);
    toggle(CComQIPtr<ICollection>(second));
    racer.join();
    std::vector<bool> alternating(heard.size() + heard.size() % 2);
    for (std::size_t i = 0; i < alternating.size(); i += 2)
        alternating[i] = true;
    EXPECT_EQ(heard, alternating);
}

// A record with a value of every kind, next to its reference targets.
class FieldValuesTest : public CollectionTest {
protected:
    FieldValuesTest()
    {
        items = define_items();
        const GUID item_class = items.Definition().id;
        auto to = [&](long id, ReferenceForm form) { return RecordReference{item_class, {{L"Id", _variant_t(id)}}, form}; };
        MethodValue add{L"Adds the parameter to the argument", [](const MethodCall& call) -> MethodOutcome {
                            return _variant_t(static_cast<long>(_variant_t(*call.argument)) +
                                              static_cast<long>(call.parameters.at(L"Step")));
                        }};
        items.Apply({added(1), added(2, {{L"Name", text(L"two")},
                                         {L"When", Value(_variant_t(45000.5, VT_DATE))},
                                         {L"Uid", Value(GuidValue(item_class))},
                                         {L"Parent", Value(to(1, ReferenceForm::Reference))},
                                         {L"Self", Value(to(2, ReferenceForm::Record))},
                                         {L"Owner", Value(to(1, ReferenceForm::Object))},
                                         {L"Ghost", Value(to(9, ReferenceForm::Record))},
                                         {L"Siblings", Value(ReferenceArray{{to(1, ReferenceForm::Record),
                                                                             to(9, ReferenceForm::Record)}})},
                                         {L"Add", Value(add)}}),
                     added(3, {{L"Parent", Value(to(1, ReferenceForm::Record))}})});
        collection = deploy(L"Item");
        EXPECT_EQ(collection->Run(), S_OK);
        CComPtr<IUnknown> enumerable;
        EXPECT_EQ(collection->GetEnumerator(&enumerable), S_OK);
        const auto records = elements(enumerable);
        EXPECT_EQ(records.size(), 3u);
        record = CComQIPtr<IRecord>(records.at(1));
    }

    _variant_t value(const wchar_t* name)
    {
        _variant_t read;
        EXPECT_EQ(record->GetValue(_bstr_t(name), &read), S_OK) << name;
        return read;
    }

    RecordClass items;
    CComPtr<ICollection> collection;
    CComPtr<IRecord> record;
};

// Plain values, an absent field, a method field (read as nothing, invoked with parameters and an
// argument), and a disposed record.
TEST_F(FieldValuesTest, PlainValuesAMethodAndDispose)
{
    EXPECT_EQ(std::wstring(_bstr_t(value(L"Name"))), L"two");
    EXPECT_TRUE(value(L"When") == _variant_t(45000.5, VT_DATE));
    EXPECT_EQ(std::wstring(_bstr_t(value(L"Uid"))), L"5A000002-0000-0000-0200-000000000000");
    _variant_t absent(7L); // an out-parameter: what it held is not freed
    EXPECT_EQ(record->GetValue(_bstr_t(L"Nope"), &absent), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(absent.vt, VT_EMPTY);

    CComPtr<IEnumVARIANT> fields;
    ASSERT_EQ(record->GetFields(&fields), S_OK);
    const auto all = elements(fields);
    ASSERT_EQ(all.size(), 10u);
    CComQIPtr<IFieldMethod> add(all.back()); // the fields keep the order in which they were given
    ASSERT_TRUE(add);
    EXPECT_EQ(value(L"Add").vt, VT_EMPTY);
    _variant_t result;
    EXPECT_EQ(add->SetParameter(_bstr_t(L"Step"), _variant_t(2L)), S_OK);
    EXPECT_EQ(add->InvokeWithArgument(_variant_t(40L), &result), S_OK);
    EXPECT_EQ(static_cast<long>(result), 42);

    CComQIPtr<IDisposableObject> disposable(record);
    EXPECT_EQ(disposable->Dispose(), S_OK);
    EXPECT_EQ(record->GetValue(_bstr_t(L"Name"), &absent), CO_E_OBJNOTCONNECTED);
    CComPtr<IKey> key;
    EXPECT_EQ(record->GetKey(&key), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(disposable->Dispose(), S_OK);
}

TEST_F(FieldValuesTest, ReferencesAsRecordsObjectsAndArrays)
{
    CComQIPtr<IRecord> self(value(L"Self").punkVal);
    ASSERT_TRUE(self);
    EXPECT_EQ(RecordingSink::key_of(self), L"2");
    EXPECT_FALSE(CComQIPtr<IReference>(self));

    CComQIPtr<IObject> owner(value(L"Owner").punkVal);
    GUID owner_class{};
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->GetClassId(&owner_class), S_OK);
    EXPECT_TRUE(IsEqualGUID(owner_class, items.Definition().id));

    EXPECT_EQ(value(L"Ghost").vt, VT_EMPTY);

    const _variant_t siblings = value(L"Siblings");
    ASSERT_EQ(siblings.vt, VT_ARRAY | VT_UNKNOWN);
    ATL::CComSafeArray<IUnknown*> array;
    array.Attach(siblings.parray);
    EXPECT_EQ(array.GetCount(), 2u);
    EXPECT_EQ(RecordingSink::key_of(CComQIPtr<IRecord>(array.GetAt(0))), L"1");
    EXPECT_EQ(array.GetAt(1), nullptr);
    array.Detach();
}

TEST_F(FieldValuesTest, TheReferenceIndexFindsTheReferrersOfAKey)
{
    CComPtr<IReferenceIndex> index;
    ASSERT_EQ(collection->GetReferenceIndex(&index), S_OK);
    CComPtr<IClass> cls;
    const CComPtr<IClassPool> classes = pool<IClassPool>(&ICollector::GetClassPool);
    ASSERT_EQ(classes->GetClass(items.Definition().id, &cls), S_OK);

    // By the target's own key fields, and by the name of one reference field.
    const std::tuple<const wchar_t*, long, std::vector<std::wstring>> rows[] = {
        {L"Id", 1, {L"2", L"3"}}, {L"Parent", 1, {L"2", L"3"}}, {L"Self", 2, {L"2"}}, {L"Self", 1, {}}, {L"Id", 3, {}}};
    for (const auto& [name, id, expected] : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)) + " " + std::to_string(id));
        CComPtr<IKeyTemplate> key_template;
        CComPtr<IKey> key;
        CComPtr<IKeySet> found;
        CComPtr<IUnknown> keys;
        VARIANT_BOOL has_items = VARIANT_TRUE;
        ASSERT_EQ(cls->CreateKeyTemplate(&key_template), S_OK);
        EXPECT_EQ(key_template->SetField(_bstr_t(name), _variant_t(id)), S_OK);
        EXPECT_EQ(key_template->GetKey(&key), S_OK);
        EXPECT_EQ(index->FindReferencing(key, &found), S_OK);
        EXPECT_EQ(found->HasItems(&has_items), S_OK);
        EXPECT_EQ(has_items != VARIANT_FALSE, !expected.empty());
        EXPECT_EQ(found->GetEnumerator(&keys), S_OK);
        std::vector<std::wstring> referrers;
        for (const auto& element : elements(keys))
            referrers.push_back(RecordingSink::key_text(CComQIPtr<IKey>(element)));
        EXPECT_EQ(referrers, expected);
    }
    CComPtr<IKeySet> none;
    EXPECT_EQ(index->FindReferencing(nullptr, &none), E_POINTER);
}


// A task announces the collections it deploys and removes, and Stopping before Stopped.
TEST_F(CollectionTest, ATaskAnnouncesItsCollectionsAndItsStop)
{
    define_items();
    const CComPtr<ITaskPool> tasks = pool<ITaskPool>(&ICollector::GetTaskPool);
    GUID user{0x50, 0, 0, {}}, other{0x60, 0, 0, {}};
    CComPtr<IUnknown> unknown;
    EXPECT_EQ(tasks->DeployWithText(_bstr_t(L"job"), nullptr, &user, _variant_t(L"interval=5"), 1, &unknown), S_OK);
    task = CComQIPtr<ITask>(unknown);
    listen(task, IID_ITaskEvents);
    GUID previous{};
    EXPECT_EQ(task->SwitchUser(other, &previous), S_OK);
    EXPECT_TRUE(IsEqualGUID(previous, user));

    _variant_t deployed;
    EXPECT_EQ(CComQIPtr<IDeploymentTarget>(task)->Deploy(_variant_t(L"Summary"), nullptr, &deployed), S_OK);
    GUID summary_id{};
    CComQIPtr<ICollection>(deployed.punkVal)->GetId(&summary_id);
    EXPECT_EQ(task->Remove(summary_id), S_OK);
    EXPECT_EQ(task->Stop(), S_OK);
    EXPECT_EQ(sink->journal.Wait(4),
              (std::vector<std::wstring>{L"CollectionDeployed", L"CollectionRemoved", L"Task 5", L"Task 6"}));
}

// The tasks' enumerator: a clone goes on from where it was made; Next and Skip say S_FALSE when they
// run past the end, and Next wants a fetched count for more than one element.
TEST_F(CollectionTest, EnumeratorsStepSkipResetAndClone)
{
    const CComPtr<ITaskPool> tasks = pool<ITaskPool>(&ICollector::GetTaskPool);
    for (const wchar_t* name : {L"a", L"b", L"c"}) {
        CComPtr<IUnknown> deployed;
        EXPECT_EQ(tasks->Deploy(_bstr_t(name), nullptr, nullptr, 0, &deployed), S_OK);
    }
    CComPtr<IUnknown> enumerable;
    ASSERT_EQ(tasks->GetTasks(&enumerable), S_OK);
    CComQIPtr<IEnumVARIANT> tasks_enum(enumerable);
    CComPtr<IEnumVARIANT> clone;
    EXPECT_EQ(tasks_enum->Skip(1), S_OK);
    EXPECT_EQ(tasks_enum->Clone(&clone), S_OK);
    EXPECT_EQ(tasks_enum->Skip(3), S_FALSE);
    EXPECT_EQ(elements(clone).size(), 2u);
    EXPECT_EQ(clone->Reset(), S_OK);
    _variant_t two[2];
    ULONG fetched = 0;
    EXPECT_EQ(clone->Next(2, two, nullptr), E_INVALIDARG);
    EXPECT_EQ(clone->Skip(2), S_OK);
    EXPECT_EQ(clone->Next(2, two, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    _bstr_t name;
    EXPECT_EQ(CComQIPtr<IDeploymentTarget>(two[0].punkVal)->GetName(name.GetAddress()), S_OK);
    EXPECT_EQ(std::wstring(name), L"c");
}

TEST_F(CollectionTest, BatchesFromSeveralThreadsWhileReadersEnumerate)
{
    RecordClass items = define_items();
    const CComPtr<ICollection> collection = deploy(L"Item");
    listen(collection, IID_ICollectionEvents);
    EXPECT_EQ(collection->Run(), S_OK);
    constexpr long per_thread = 50;
    std::vector<std::thread> threads;
    for (long writer = 0; writer < 2; ++writer) {
        threads.emplace_back([&items, writer] {
            for (long i = 0; i < per_thread; ++i)
                items.Apply({added(writer * per_thread + i, {{L"Name", text(L"x")}})});
        });
    }
    threads.emplace_back([&collection] {
        for (int i = 0; i < 50; ++i) {
            CComPtr<IUnknown> records;
            EXPECT_EQ(collection->GetEnumerator(&records), S_OK);
            for (const auto& record : elements(records)) {
                _variant_t name;
                EXPECT_EQ(CComQIPtr<IRecord>(record)->GetValue(_bstr_t(L"Name"), &name), S_OK);
            }
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    // Each batch: UpdateStarted, Added, UpdateFinished; after Starting and Running.
    const auto texts = sink->journal.Wait(2 + 3 * 2 * per_thread);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), L"UpdateStarted"), 2 * per_thread);
    CComPtr<IUnknown> records;
    EXPECT_EQ(collection->GetEnumerator(&records), S_OK);
    EXPECT_EQ(elements(records).size(), static_cast<std::size_t>(2 * per_thread));
}

} // namespace
} // namespace reference_test
