// The binary contract with a component built elsewhere: each operation sits in its documented slot, and
// a call made through a bare slot number reaches the right operation of an object implemented against
// this header, with its arguments intact.
#include "support/fake_com.h"

#include <collector/interfaces.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace ci = Ostra_Lux_Collector_Interfaces;

constexpr std::ptrdiff_t iunknown_slots = 3;

// Position after the IUnknown slots (1 for the first own operation), 0 for a non-virtual function.
// GCC and Clang follow the Itanium C++ ABI on Linux and on mingw-w64 alike: a pointer to a virtual member
// function holds 1 plus the function's byte offset in the vtable, then the adjustment of `this`.
template <class I, class F>
std::ptrdiff_t position_of(F I::*member)
{
    std::ptrdiff_t offset_and_adjustment[2];
    static_assert(sizeof member == sizeof offset_and_adjustment);
    std::memcpy(offset_and_adjustment, &member, sizeof member);
    const std::ptrdiff_t bits = offset_and_adjustment[0];
    if ((bits & 1) == 0)
        return 0;
    return (bits - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)) - iunknown_slots + 1;
}

// Operation, its slot, and its documented slot.
using slot_row = std::tuple<const char*, std::ptrdiff_t, std::ptrdiff_t>;

#define SLOT(type, operation, documented) slot_row{#type "::" #operation, position_of(&ci::type::operation), documented}

TEST(InterfaceSlots, OperationsSitInTheirDocumentedSlots)
{
    const slot_row rows[] = {
        SLOT(ICollector, GetHostPool, 1), SLOT(ICollector, GetUserPool, 2), SLOT(ICollector, GetResourcePool, 3),
        SLOT(ICollector, GetTaskPool, 4), SLOT(ICollector, GetClassPool, 5), SLOT(ICollector, Restart, 7),
        SLOT(ICollector, Start, 8), SLOT(ICollector, Stop, 9), SLOT(ICollector, Suspend, 10),
        SLOT(ICollector, Terminate, 11), SLOT(ICollector, GetState, 12), SLOT(ICollector, Shutdown, 13),
        SLOT(IProperties, GetProperty, 2), SLOT(IProperties, SetProperty, 3),
        SLOT(ITaskPool, Deploy, 1), SLOT(ITaskPool, DeployWithText, 2), SLOT(ITaskPool, DeployWithData, 4),
        SLOT(ITaskPool, IsExist, 6), SLOT(ITaskPool, GetTask, 7), SLOT(ITaskPool, Remove, 8),
        SLOT(ITaskPool, GetTasks, 9),
        SLOT(ITask, GetId, 1), SLOT(ITask, Deploy, 2), SLOT(ITask, Remove, 3), SLOT(ITask, GetState, 4),
        SLOT(ITask, GetHostId, 5), SLOT(ITask, GetUserId, 6), SLOT(ITask, SwitchUser, 7), SLOT(ITask, Run, 8),
        SLOT(ITask, Stop, 9), SLOT(ITask, GetCollections, 10),
        SLOT(IDeploymentTarget, GetId, 1), SLOT(IDeploymentTarget, GetName, 2), SLOT(IDeploymentTarget, GetType, 3),
        SLOT(IDeploymentTarget, Deploy, 4),
        SLOT(IMethodSource, GetMethod, 2), SLOT(IStateDescription, GetText, 1),
        SLOT(IFieldMethod, Invoke, 2), SLOT(IFieldMethod, InvokeWithArgument, 3),
        SLOT(IFieldMethod, SetParameter, 5), SLOT(IFieldMethod, GetParameter, 6),
        SLOT(IFieldMethod, ClearParameter, 7),
        SLOT(IMethodResultList, GetItems, 1), SLOT(IMethodResultList, HasItems, 2),
        SLOT(IMethodResultItem, GetValue, 1),
        SLOT(IArrayField, GetCount, 1), SLOT(IArrayField, GetEnumerator, 2),
        SLOT(IDeploymentData, GetValue, 1), SLOT(IDeploymentData, GetNames, 2),
        SLOT(IResource, GetId, 1), SLOT(IResource, GetName, 2), SLOT(IResource, GetResource, 3),
        SLOT(IResource, Deploy, 4),
        SLOT(IResourcePool, Add, 1), SLOT(IResourcePool, Remove, 2), SLOT(IResourcePool, Find, 3),
        SLOT(IResourcePool, Load, 4), SLOT(IResourcePool, Merge, 5), SLOT(IResourcePool, Save, 6),
        SLOT(IResourcePool, GetEnumerator, 7),
        SLOT(IProfileFactory, CreateProfile, 1),
        SLOT(ICollectorEvents, Event1, 1), SLOT(IDatabaseStorageEvents, Event1, 1),
        SLOT(IResourcePoolEvents, Event1, 1), SLOT(IResourcePoolEvents, Event2, 2),
        SLOT(ITaskPoolEvents, Event1, 1), SLOT(ITaskPoolEvents, Event2, 2),
        SLOT(ITaskEvents, StateChanged, 1), SLOT(ITaskEvents, Event1, 2), SLOT(ITaskEvents, Event2, 3),
        SLOT(ICollectionEvents, RecordAdded, 1), SLOT(ICollectionEvents, RecordUpdated, 2),
        SLOT(ICollectionEvents, RecordRemoved, 3), SLOT(ICollectionEvents, StateChanged, 4),
        SLOT(ICollectionEvents, UpdateStarted, 5), SLOT(ICollectionEvents, UpdateFinished, 6),
        SLOT(ICollectionEvents, Reserved, 7),
    };
    for (const auto& [operation, actual, documented] : rows)
        EXPECT_EQ(actual, documented) << operation;
}

// A task sink written against the header, the way the library writes its own.
struct task_events_fake final : fake::Fake<ci::ITaskEvents> {
    using Fake::Fake;

    // Operation, the GUIDs, the state and the description it was called with.
    using call = std::tuple<std::string, GUID, GUID, LONG, void*>;

    HRESULT STDMETHODCALLTYPE StateChanged(GUID task, ci::ETaskState state, ci::IStateDescription* description) override
    {
        calls.push_back({"StateChanged", task, {}, static_cast<LONG>(state), description});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Event1(GUID first, GUID second) override
    {
        calls.push_back({"Event1", first, second, 0, nullptr});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Event2(GUID first, GUID second) override
    {
        calls.push_back({"Event2", first, second, 0, nullptr});
        return S_FALSE;
    }

    std::vector<call> calls;
};

// What a component compiled on its own knows of the sink: slot numbers and the wire types.
template <class Function>
Function slot(IUnknown* object, std::ptrdiff_t position)
{
    void** vtable = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Function>(vtable[iunknown_slots + position - 1]);
}

using guid_state_pointer_fn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, GUID, LONG, void*);
using guid_guid_fn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, GUID, GUID);

TEST(InterfaceSlots, ACallerThatKnowsOnlySlotNumbersReachesAnImplementedSink)
{
    const GUID task = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    const GUID other = {0xF0E0D0C0, 0xB0A0, 0x9080, {7, 6, 5, 4, 3, 2, 1, 0}};
    auto* description = reinterpret_cast<void*>(std::uintptr_t{0x1234});
    auto events = fake::hold<task_events_fake>("task events");

    IUnknown* sink = nullptr;
    ASSERT_EQ(events->unknown()->QueryInterface(ci::IID_ITaskEvents, reinterpret_cast<void**>(&sink)), S_OK);
    EXPECT_EQ(slot<guid_state_pointer_fn>(sink, 1)(sink, task, -1, description), S_OK);
    EXPECT_EQ(slot<guid_guid_fn>(sink, 3)(sink, other, task), S_FALSE);
    sink->Release();

    const std::vector<task_events_fake::call> expected = {
        {"StateChanged", task, {}, -1, description},
        {"Event2", other, task, 0, nullptr},
    };
    EXPECT_EQ(events->calls, expected); // the ledger checks that the sink was released
}

} // namespace
