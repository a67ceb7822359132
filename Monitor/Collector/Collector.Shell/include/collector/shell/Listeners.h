// The listener interfaces: what a program implements to receive the events of a collector, its pools,
// tasks and collections. The program owns its listener through a std::shared_ptr; the library holds it
// only weakly, so releasing it is enough to stop its events, and the library never deletes one.
// Operations run on the component's threads, several at once; an exception thrown by one goes back
// to the component as the event's HRESULT. Slot orders are part of the library's binary interface.
#pragma once

#include "Export.h"

#include <collector/interfaces.h>

#include <string_view>

namespace collector::shell {

class Record;
class Key;
class RecordsSet;

using ECollectionState = Ostra_Lux_Collector_Interfaces::ECollectionState;
using ETaskState = Ostra_Lux_Collector_Interfaces::ETaskState;

class COLLECTOR_SHELL_API ICollectionListener {
public:
    // A batch of record changes; the default implementation returns false.
    virtual bool Updated(const RecordsSet& changes);
    virtual void RecordAdded(Record record) = 0;
    virtual void RecordUpdated(Record record) = 0;
    virtual void RecordRemoved(Key key) = 0;
    // Does nothing by default.
    virtual void StateChanged(GUID collection_id, ECollectionState state, std::wstring_view description);
    virtual ~ICollectionListener();
};

class COLLECTOR_SHELL_API ITaskListener {
public:
    virtual void StateChanged(GUID task_id, ETaskState state, std::wstring_view description) = 0;
    // The component's two events, each with two identifiers passed on unchanged, in its order; what they
    // mean is the component's (the reference collector: a collection deployed on, and removed from,
    // the task, as (task id, collection id)).
    virtual void Event1(GUID first, GUID second) = 0;
    virtual void Event2(GUID first, GUID second) = 0;
    virtual ~ITaskListener();
};

class COLLECTOR_SHELL_API ICollectorListener {
public:
    // The component's value, passed on unchanged.
    virtual void Event1(LONG value) = 0;
    virtual ~ICollectorListener();
};

class COLLECTOR_SHELL_API IDatabaseStorageListener {
public:
    // The component's value, passed on unchanged.
    virtual void Event1(LONG value) = 0;
    virtual ~IDatabaseStorageListener();
};

class COLLECTOR_SHELL_API IResourcePoolListener {
public:
    // The component's two events, each with a text valid during the call only (the reference
    // collector: the name of a resource added to, and removed from, the pool).
    virtual void Event1(std::wstring_view text) = 0;
    virtual void Event2(std::wstring_view text) = 0;
    virtual ~IResourcePoolListener();
};

class COLLECTOR_SHELL_API ITaskPoolListener {
public:
    // The component's two events, each with an identifier passed on unchanged (the reference collector:
    // a task deployed in, and removed from, the pool).
    virtual void Event1(GUID id) = 0;
    virtual void Event2(GUID id) = 0;
    virtual ~ITaskPoolListener();
};

} // namespace collector::shell
