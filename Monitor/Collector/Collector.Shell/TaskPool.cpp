// TaskPool: the component's task pool, handing out every task it gives back as a Task.
#include "pch.h"

#include "DeploymentDataObject.h"
#include "EventListener.h"
#include "HandedOut.h"
#include "Iterator.imp"
#include "SimpleSinks.h"

#include <collector/shell/TaskPool.h>

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Task);

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

// Members end in reverse order: the class pool, the pool, then the event connection is withdrawn.
struct TaskPool::impl_t {
    // The source is the task pool object as handed over; `pool` keeps it alive.
    detail::EventListener<detail::task_pool_sink_t> events;
    detail::CComQIPtrStrong<ITaskPool, &IID_ITaskPool> pool;
    // Not used by the pool itself: every task it hands out receives it, and through the tasks their
    // collections. May be null.
    CComPtr<IUnknown> class_pool;

    impl_t(IUnknown* pool_object, IUnknown* class_pool_object)
        : events(pool_object, IID_ITaskPoolEvents), pool(pool_object), class_pool(class_pool_object)
    {
    }

    impl_t(const impl_t&) = delete;
    impl_t& operator=(const impl_t&) = delete;

    // A task that the component handed out; the caller keeps and releases its own reference.
    Task task(IUnknown* object) const { return Task(object, class_pool); }
};

namespace {

// The component's flags are 32-bit values.
constexpr LONG flag_value(bool flag) noexcept { return flag ? 1 : 0; }

} // namespace

TaskPool::TaskPool(IUnknown* pool, IUnknown* class_pool) : impl_(std::make_shared<impl_t>(pool, class_pool)) {}

EnumIterator<Task> TaskPool::begin() const
{
    // The factory reads the class pool through this handle's implementation, which the handle keeps.
    return EnumIterator<Task>(detail::handed_out(impl_->pool.p, &ITaskPool::GetTasks),
                              [impl = impl_.get()](IUnknown* element) { return new Task(impl->task(element)); });
}

Task TaskPool::operator[](GUID id) const
{
    return impl_->task(detail::handed_out(impl_->pool.p, &ITaskPool::GetTask, &id));
}

bool TaskPool::IsExist(GUID id) const
{
    VARIANT_BOOL exists = 0;
    detail::call(impl_->pool.p, &ITaskPool::IsExist, &id, &exists);
    return exists != 0;
}

Task TaskPool::Deploy(std::wstring_view name, GUID first, GUID second, bool flag)
{
    return impl_->task(detail::handed_out(impl_->pool.p, &ITaskPool::Deploy, detail::make_bstr(name), &first, &second,
                                          flag_value(flag)));
}

Task TaskPool::Deploy(std::wstring_view name, GUID first, GUID second, std::wstring_view text, bool flag)
{
    const _variant_t configuration(detail::make_bstr(text));
    return impl_->task(detail::handed_out(impl_->pool.p, &ITaskPool::DeployWithText, detail::make_bstr(name), &first,
                                          &second, static_cast<const VARIANT&>(configuration), flag_value(flag)));
}

Task TaskPool::Deploy(std::wstring_view name, GUID first, GUID second, DeploymentData data)
{
    const CComPtr<IDeploymentData> settings = detail::deployment_data_of(data);
    // No flag of the value is defined: it is always 0.
    return impl_->task(detail::handed_out(impl_->pool.p, &ITaskPool::DeployWithData, detail::make_bstr(name), &first,
                                          &second, LONG{0}, settings.p));
}

bool TaskPool::Remove(GUID id)
{
    // The only failure that the library reports by its result instead of an exception.
    return SUCCEEDED(impl_->pool->Remove(&id));
}

void TaskPool::Subscribe(const std::shared_ptr<ITaskPoolListener>& listener) { impl_->events.connect(listener); }

void TaskPool::Unsubscribe() { impl_->events.disconnect(); }

} // namespace collector::shell
