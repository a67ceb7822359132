// Task: the component's task operations, the caller-side table of followed collections and scope, and
// the task's events for a listener or for watchers.
#include "pch.h"

#include "DeploymentDataObject.h"
#include "EventListener.h"
#include "HandedOut.h"
#include "Iterator.imp"
#include "Properties.h"
#include "RecordImpl.h"
#include "SimpleSinks.h"
#include "WatchObserver.h"

#include <collector/shell/Task.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <utility>

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Collection);

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

std::wstring_view ETaskStateToString(ETaskState state) noexcept
{
    constexpr std::wstring_view names[] = {L"Initial",   L"Ready",    L"Running", L"Limping",
                                           L"Suspended", L"Stopping", L"Stopped", L"Error"};
    // Unknown (-1) and every value outside the enumeration fall outside the table as unsigned.
    const auto index = static_cast<std::uint32_t>(state);
    return index < std::size(names) ? names[index] : L"Unknown";
}

namespace detail {

// The text that comes with a state change; empty without a description.
inline tstring description_text(IStateDescription* description)
{
    return description ? read_text(description, &IStateDescription::GetText) : tstring();
}

// The task's events, for one listener: the program's, or the watch observer of the task's watchers.
class ATL_NO_VTABLE task_sink_t : public listener_sink_t<ITaskEvents, ITaskListener> {
public:
    // The description is read whether or not a listener is alive; a failure to read it is the
    // event's result.
    HRESULT STDMETHODCALLTYPE StateChanged(GUID task_id, ETaskState state, IStateDescription* description) override
    {
        tstring text;
        if (const HRESULT read = ExceptionToHResult([&] { text = description_text(description); }); FAILED(read))
            return read;
        return deliver([&](ITaskListener& listener) { listener.StateChanged(task_id, state, text); });
    }
    HRESULT STDMETHODCALLTYPE Event1(GUID first, GUID second) override
    {
        return deliver([&](ITaskListener& listener) { listener.Event1(first, second); });
    }
    HRESULT STDMETHODCALLTYPE Event2(GUID first, GUID second) override
    {
        return deliver([&](ITaskListener& listener) { listener.Event2(first, second); });
    }
};

} // namespace detail

namespace {

using state_watcher_function_t = std::function<void(ETaskState, std::wstring_view)>;

struct watcher_t : IOstraSubscriber, std::enable_shared_from_this<watcher_t> {
    explicit watcher_t(state_watcher_function_t on_state_changed) : on_state_changed(std::move(on_state_changed)) {}

    state_watcher_function_t on_state_changed;
};

// The task's own listener, which hands state changes to the watchers (without the task id).
class watch_observer_t : public ITaskListener {
public:
    void add(state_watcher_function_t function) { watchers_.add(std::make_shared<watcher_t>(std::move(function))); }

    void StateChanged(GUID, ETaskState state, std::wstring_view description) override
    {
        watchers_.notify([&](watcher_t& watcher) {
            if (watcher.on_state_changed)
                watcher.on_state_changed(state, description);
        });
    }
    void Event1(GUID, GUID) override {}
    void Event2(GUID, GUID) override {}

private:
    detail::watchers_t<watcher_t> watchers_;
};

} // namespace

// Members end in reverse order: scope, observer, followed, class_pool, task, then the event
// connection is withdrawn.
struct Task::impl_t {
    // The source is the task object as handed over; `task` keeps it alive.
    detail::EventListener<detail::task_sink_t> events;
    detail::CComQIPtrStrong<ITask, &IID_ITask> task;
    CComPtr<IUnknown> class_pool;
    // Keyed by class name, compared code unit by code unit.
    std::map<std::wstring, Collection, std::less<>> followed;
    std::shared_ptr<watch_observer_t> observer;
    tstring scope;

    impl_t(IUnknown* task_object, IUnknown* class_pool_object)
        : events(task_object, IID_ITaskEvents), task(task_object), class_pool(class_pool_object)
    {
        if (!task)
            detail::throw_condition(L"ITask is null", COLLECTOR_THROW_SITE);
    }

    impl_t(const impl_t&) = delete;
    impl_t& operator=(const impl_t&) = delete;

    // A collection that the component handed out; the caller keeps and releases its own reference.
    Collection collection(IUnknown* object) const { return Collection(object, class_pool); }

    // The task's collections. The factory reads the class pool of this implementation, which every
    // handle that can advance the iterator keeps alive.
    EnumIterator<Collection> collections() const
    {
        return EnumIterator<Collection>(detail::handed_out(task.p, &ITask::GetCollections),
                                        [this](IUnknown* element) { return new Collection(collection(element)); });
    }

    // The followed collection of the class `name`, searched among the task's collections and followed
    // when it is not followed yet.
    Collection follow(std::wstring_view name)
    {
        if (const auto found = followed.find(name); found != followed.end())
            return found->second;
        for (auto it = collections(); it != EnumIterator<Collection>(); ++it)
            if (it->ClassName() == name)
                return followed.try_emplace(std::wstring(name), *it).first->second;
        detail::throw_at_site(
            COstraException(ostra::lux::kernel::exception_init, L"Collection not found", tstring(name), 1),
            COLLECTOR_THROW_SITE);
    }
};

namespace {

// The component's task behind a handle that must not be empty; `site` is the asking operation's.
ITask* task_of(const std::shared_ptr<Task::impl_t>& impl, const detail::throw_site_t& site)
{
    return detail::require(impl, L"Task", site).task.p;
}

// Runs the task with the agent shell's controller, passed as VT_UNKNOWN even when there is none; the
// VARIANT holds its own reference while the call runs.
void run(ITask* task, IUnknown* controller)
{
    const _variant_t argument(controller);
    detail::call(task, &ITask::Run, static_cast<const VARIANT&>(argument));
}

GUID read_id(ITask* task, HRESULT (STDMETHODCALLTYPE ITask::*operation)(GUID*))
{
    GUID id{};
    detail::call(task, operation, &id);
    return id;
}

} // namespace

Task::Task() noexcept = default;

Task::Task(IUnknown* task, IUnknown* class_pool) : impl_(std::make_shared<impl_t>(task, class_pool)) {}

GUID Task::GetId() const { return read_id(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::GetId); }

ETaskState Task::GetState() const
{
    ETaskState state{};
    detail::call(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::GetState, &state);
    return state;
}

GUID Task::GetHostId() const { return read_id(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::GetHostId); }

GUID Task::GetUserId() const { return read_id(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::GetUserId); }

GUID Task::SwitchUser(GUID user)
{
    GUID previous{};
    detail::call(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::SwitchUser, user, &previous);
    return previous;
}

void Task::Run() { run(task_of(impl_, COLLECTOR_THROW_SITE), nullptr); }

void Task::Run(const CComPtr<IDataCollectionServiceController>& controller)
{
    run(task_of(impl_, COLLECTOR_THROW_SITE), controller.p);
}

void Task::Stop() { detail::call(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::Stop); }

void Task::Remove(GUID id) { detail::call(task_of(impl_, COLLECTOR_THROW_SITE), &ITask::Remove, id); }

EnumIterator<Collection> Task::begin() const { return impl_ ? impl_->collections() : end(); }

Collection Task::Deploy(std::wstring_view name, bool follow)
{
    impl_t& impl = detail::require(impl_, L"Task", COLLECTOR_THROW_SITE);
    Collection deployed = impl.collection(detail::handed_out(impl.task.p, &ITask::Deploy, detail::make_bstr(name)));
    // A collection of the same class followed before stays followed.
    if (follow)
        impl.followed.try_emplace(deployed.ClassName(), deployed);
    return deployed;
}

Collection Task::Deploy(std::wstring_view name, DeploymentData data)
{
    impl_t& impl = detail::require(impl_, L"Task", COLLECTOR_THROW_SITE);
    // The operation needs the interface: a task object without it is refused here.
    const auto target = detail::query_required<IDeploymentTarget>(impl.task, COLLECTOR_THROW_SITE);
    const CComPtr<IDeploymentData> settings = detail::deployment_data_of(data);
    const _variant_t argument(detail::make_bstr(name));
    _variant_t result;
    detail::call(target.p, &IDeploymentTarget::Deploy, static_cast<const VARIANT&>(argument), settings.p, &result);
    if ((result.vt != VT_UNKNOWN && result.vt != VT_DISPATCH) || !result.punkVal)
        detail::throw_condition(L"Unexpected result", COLLECTOR_THROW_SITE);
    Collection deployed = impl.collection(result.punkVal);
    // A collection of the same class followed before is the one the caller gets.
    return impl.followed.try_emplace(deployed.ClassName(), std::move(deployed)).first->second;
}

Collection Task::Follow(std::wstring_view name)
{
    return detail::require(impl_, L"Task", COLLECTOR_THROW_SITE).follow(name);
}

bool Task::Unfollow(std::wstring_view name)
{
    if (!impl_)
        return false;
    const auto found = impl_->followed.find(name);
    if (found == impl_->followed.end())
        return false;
    impl_->followed.erase(found);
    return true;
}

void Task::UnfollowAll()
{
    if (impl_)
        impl_->followed.clear();
}

void Task::SetProperty(std::wstring_view name, const _variant_t& value)
{
    detail::set_property(task_of(impl_, COLLECTOR_THROW_SITE), name, value, COLLECTOR_THROW_SITE);
}

_variant_t Task::FindProperty(std::wstring_view name)
{
    return detail::get_property(task_of(impl_, COLLECTOR_THROW_SITE), name, COLLECTOR_THROW_SITE);
}

Method Task::GetMethod(std::wstring_view name) const
{
    ITask* const task = task_of(impl_, COLLECTOR_THROW_SITE);
    const auto source = detail::query_required<IMethodSource>(task, COLLECTOR_THROW_SITE);
    CComPtr<IUnknown> method;
    // An unknown name may come back as a failure or as a success without method: only the pointer
    // tells, and the caller learns "No such method" either way.
    source->GetMethod(detail::make_bstr(name), &method);
    if (!method)
        detail::throw_condition(L"No such method", COLLECTOR_THROW_SITE);
    return Method(nullptr, method);
}

Method Task::GetMethod(std::wstring_view collection, std::wstring_view method) const
{
    return detail::require(impl_, L"Task", COLLECTOR_THROW_SITE).follow(collection).GetMethod(method);
}

tstring Task::GetScope() const { return impl_ ? impl_->scope : tstring(); }

void Task::SetScope(tstring scope)
{
    if (impl_)
        impl_->scope = std::move(scope);
}

void Task::Subscribe(const std::shared_ptr<ITaskListener>& listener)
{
    detail::require(impl_, L"Task", COLLECTOR_THROW_SITE).events.connect(listener);
}

void Task::Unsubscribe()
{
    if (!impl_)
        return;
    impl_->events.disconnect();
    impl_->observer.reset();
}

Task& Task::WatchOnStateChanged(const std::function<void(ETaskState, std::wstring_view)>& watcher)
{
    impl_t& impl = detail::require(impl_, L"Task", COLLECTOR_THROW_SITE);
    if (!impl.observer) {
        // Kept only once connected, so that a refused connection is tried again by the next watcher.
        auto observer = std::make_shared<watch_observer_t>();
        impl.events.connect(observer);
        impl.observer = std::move(observer);
    }
    impl.observer->add(watcher);
    return *this;
}

} // namespace collector::shell
