// Task: one collection task of the collector. It runs and stops, deploys and removes collections, keeps
// the collections the caller follows by class name, and reports its state changes to a listener or to
// plain functions (watchers).
#pragma once

#include "Collection.h"
#include "DeploymentData.h"
#include "EnumIterator.h"
#include "Export.h"
#include "Listeners.h"
#include "Method.h"

#include <collector/interfaces.h>

#include <atlbase.h>
#include <comdef.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace collector::shell {

// "Unknown", "Initial", "Ready", "Running", "Limping", "Suspended", "Stopping", "Stopped" or "Error";
// "Unknown" for any value outside the enumeration.
COLLECTOR_SHELL_API std::wstring_view ETaskStateToString(ETaskState state) noexcept;

// Copies share one implementation: one followed table, one scope and one event connection. Two
// handles obtained separately for the same task (two lookups in the pool) do not. A handle may be
// empty (default-constructed or moved from): most operations then throw "Task is null", and those
// that only read caller-side state (begin, Unfollow, UnfollowAll, GetScope, SetScope, Unsubscribe)
// give an empty result or do nothing.
class COLLECTOR_SHELL_API Task {
public:
    struct impl_t;

    // An empty handle.
    Task() noexcept;
    // For the task pool: a task object that must answer ITask ("Unable to QueryInterface" otherwise;
    // "ITask is null" for a null one) and the collector's class pool, which every collection of the
    // task receives (may be null).
    Task(IUnknown* task, IUnknown* class_pool);

    explicit operator bool() const noexcept { return static_cast<bool>(impl_); }

    GUID GetId() const;
    ETaskState GetState() const;
    GUID GetHostId() const;
    GUID GetUserId() const;
    // Switches the user that the task runs as to `user`; returns the identifier that the component gives
    // back, whose meaning is the component's.
    GUID SwitchUser(GUID user);

    // Runs the task without a controller.
    void Run();
    // Runs the task under the agent shell's controller, which the component receives as is.
    void Run(const CComPtr<Ostra_Lux_Collector_Interfaces::IDataCollectionServiceController>& controller);
    void Stop();
    // Removes the task's collection `id`; a followed collection stays followed.
    void Remove(GUID id);

    // The task's collections. The iterator may be advanced only while this handle exists.
    EnumIterator<Collection> begin() const;
    EnumIterator<Collection> end() const { return {}; }

    // Deploys a collection of the record class `name`. With `follow`, the new collection is followed
    // under its class name unless one of that class is followed already (which then stays followed);
    // the new collection is returned either way.
    Collection Deploy(std::wstring_view name, bool follow);
    // Deploys a collection of the record class `name` with the settings of `data`. It is followed under
    // its class name, unless one of that class is followed already: that earlier one is then returned
    // instead. Throws "Unexpected result" when the component gives back no object.
    Collection Deploy(std::wstring_view name, DeploymentData data);

    // The followed collection of the class `name` (exact, case-sensitive), found among the task's
    // collections and followed when it is not yet; throws "Collection not found", with the name as
    // its source text, when the task has none of that class.
    Collection Follow(std::wstring_view name);
    // Stops following the class `name`; false when it was not followed.
    bool Unfollow(std::wstring_view name);
    void UnfollowAll();

    // Named properties of the task. The value is passed without copying it.
    void SetProperty(std::wstring_view name, const _variant_t& value);
    _variant_t FindProperty(std::wstring_view name);

    // A method of the task; throws "No such method" when the task has none of that name.
    Method GetMethod(std::wstring_view name) const;
    // A method of the followed collection of the class `collection` (followed now if it is not yet).
    Method GetMethod(std::wstring_view collection, std::wstring_view method) const;

    // A free text that stays with this implementation; the component never sees it.
    tstring GetScope() const;
    void SetScope(tstring scope);

    // Sends the task's events to `listener`, held weakly, which replaces any earlier listener and any
    // watchers' delivery. Throws when the component refuses the connection; a later call tries again.
    void Subscribe(const std::shared_ptr<ITaskListener>& listener);
    // Stops the events and drops every watcher. A delivery that had already begun may still arrive.
    void Unsubscribe();
    // Calls `watcher` with the state and its description at every state change, on the component's
    // threads, until Unsubscribe; a watcher leaves alone by throwing CInterruptedException. The first
    // watcher takes the events over from a subscribed listener; a Subscribe after it takes them back
    // until Unsubscribe. Returns this handle, so that calls chain.
    Task& WatchOnStateChanged(const std::function<void(ETaskState, std::wstring_view)>& watcher);

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
