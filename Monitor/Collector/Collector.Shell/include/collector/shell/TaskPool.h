// TaskPool: the collector's collection tasks, to enumerate, look up, deploy and remove.
#pragma once

#include "DeploymentData.h"
#include "EnumIterator.h"
#include "Export.h"
#include "Listeners.h"
#include "Task.h"

#include <objbase.h>

#include <memory>
#include <string_view>
#include <utility>

namespace collector::shell {

// Reached through Collector::GetTaskPool, which hands out the same pool while any handle to it lives.
// Every Task the pool hands out is a new implementation, even for the same task.
class COLLECTOR_SHELL_API TaskPool {
public:
    // The pool's tasks. The iterator may be advanced only while this handle exists.
    EnumIterator<Task> begin() const;
    EnumIterator<Task> end() const { return {}; }
    // The task `id`; throws "ITask is null" when the component gives back no task.
    Task operator[](GUID id) const;
    bool IsExist(GUID id) const;

    // The identifiers, the text and the flag mean what the component makes of them; they are passed
    // on unchanged.
    Task Deploy(std::wstring_view name, GUID first, GUID second, bool flag);
    Task Deploy(std::wstring_view name, GUID first, GUID second, std::wstring_view text, bool flag);
    Task Deploy(std::wstring_view name, GUID first, GUID second, DeploymentData data);
    // False, and nothing thrown, when the component refuses (for an absent task, say).
    bool Remove(GUID id);

    // Sends the pool's events to `listener`, held weakly, which replaces any earlier one. Throws when
    // the component refuses the connection; a later call tries again.
    void Subscribe(const std::shared_ptr<ITaskPoolListener>& listener);
    // Stops the events; does nothing when not subscribed.
    void Unsubscribe();

    struct impl_t;

private:
    friend class Collector;

    // Throws "Unable to QueryInterface" when `pool` is not a task pool. Every task of the pool receives
    // `class_pool` (may be null).
    TaskPool(IUnknown* pool, IUnknown* class_pool);
    explicit TaskPool(std::shared_ptr<impl_t> impl) noexcept : impl_(std::move(impl)) {}

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
