// Factories of the component's own objects that others create.
#pragma once

#include "runtime.h"

namespace collector::reference::detail {

// An object that answers IClassPool over the registration's record classes.
CComPtr<IUnknown> make_class_pool(const runtime_ptr& runtime);

// An object that answers ITaskPool (and the connection point of ITaskPoolEvents).
CComPtr<IUnknown> make_task_pool(const runtime_ptr& runtime);

// A collection of the record class, deployed by a task: it answers ICollection (with IProperties and the
// connection point of ICollectionEvents). Its state starts as Ready.
CComPtr<ICollection> make_collection(const runtime_ptr& runtime, std::shared_ptr<class_source_t> source);

// A task of the task pool: it answers ITask, IDeploymentTarget, IMethodSource, IProperties and the
// connection point of ITaskEvents. Its state starts as Ready.
CComPtr<ITask> make_task(const runtime_ptr& runtime, std::wstring name, const GUID& host, const GUID& user);

// The class object of the collector classes.
CComPtr<IClassFactory> make_collector_class(const std::shared_ptr<world_t>& world);

} // namespace collector::reference::detail
