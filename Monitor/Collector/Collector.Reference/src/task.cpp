// Tasks: their state, host and user, their collections, methods and properties, and ITaskEvents.
#include "objects.h"
#include "properties.h"
#include "records.h"

#include <algorithm>

namespace collector::reference::detail {

namespace {

// The part of a task that its state events and scripted state changes need.
class task_model_t final : public stateful_t {
public:
    task_model_t(runtime_ptr runtime_, std::wstring name_) : runtime(std::move(runtime_)), name(std::move(name_)) {}

    const runtime_ptr runtime;
    const std::wstring name;
    const GUID id = new_guid();
    const std::shared_ptr<sink_list_t<ITaskEvents>> sinks = std::make_shared<sink_list_t<ITaskEvents>>();

    ETaskState state() const
    {
        std::lock_guard lock(mutex_);
        return state_;
    }

    void set_state(LONG state, std::wstring description) override
    {
        std::lock_guard lock(mutex_);
        move_to(static_cast<ETaskState>(state), std::move(description));
    }

    // Moves through the states of steps unless the task is already in the last one; returns whether it moved.
    bool move_through(std::initializer_list<ETaskState> steps)
    {
        std::lock_guard lock(mutex_);
        if (state_ == *(steps.end() - 1))
            return false;
        for (const ETaskState step : steps)
            move_to(step, {});
        return true;
    }

    // A deployed (Event1) or removed (Event2) collection.
    void collection_event(bool deployed, const GUID& collection)
    {
        raise(*runtime->queue, sinks, [task = id, collection, deployed](ITaskEvents* sink) {
            deployed ? sink->Event1(task, collection) : sink->Event2(task, collection);
        });
    }

private:
    void move_to(ETaskState state, std::wstring description)
    {
        state_ = state;
        raise(*runtime->queue, sinks, [task = id, state, description = std::move(description)](ITaskEvents* sink) {
            sink->StateChanged(task, state, make_description(description));
        });
    }

    mutable std::mutex mutex_;
    ETaskState state_ = ETaskState::Ready;
};

class ATL_NO_VTABLE task_t : public object_t,
                             public ITask,
                             public IDeploymentTarget,
                             public IMethodSource,
                             public properties_t,
                             public connection_points_t<ITaskEvents> {
public:
    BEGIN_COM_MAP(task_t)
        COM_INTERFACE_ENTRY(ITask)
        COM_INTERFACE_ENTRY(IDeploymentTarget)
        COM_INTERFACE_ENTRY(IMethodSource)
        COM_INTERFACE_ENTRY(IProperties)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const runtime_ptr& runtime, std::wstring name, const GUID& host, const GUID& user)
    {
        model_ = std::make_shared<task_model_t>(runtime, std::move(name));
        share_sinks(model_->sinks);
        host_ = host;
        user_ = user;
        runtime->world->enlist(model_->id, model_);
    }

    void FinalRelease() { model_->runtime->world->delist(model_->id); }

    // ---- ITask
    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        return guarded(L"ITask::GetId", IID_ITask, [&] { return give(id, model_->id); });
    }
    HRESULT STDMETHODCALLTYPE Deploy(BSTR class_name, IUnknown** collection) override
    {
        return guarded(L"ITask::Deploy", IID_ITask, [&] { return hand_out(deploy(text_of(class_name)), collection); });
    }
    HRESULT STDMETHODCALLTYPE Remove(GUID collection_id) override
    {
        return guarded(L"ITask::Remove", IID_ITask, [&] {
            CComPtr<ICollection> removed;
            {
                std::lock_guard lock(mutex_);
                auto found = std::find_if(collections_.begin(), collections_.end(), [&](const auto& collection) {
                    GUID id{};
                    return SUCCEEDED(collection->GetId(&id)) && IsEqualGUID(id, collection_id);
                });
                if (found == collections_.end())
                    fail(E_INVALIDARG, L"The task has no collection with that id");
                removed.Attach(found->Detach());
                collections_.erase(found);
            }
            model_->collection_event(false, collection_id);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetState(ETaskState* state) override
    {
        return guarded(L"ITask::GetState", IID_ITask, [&] { return give(state, model_->state()); });
    }
    HRESULT STDMETHODCALLTYPE GetHostId(GUID* host) override
    {
        return guarded(L"ITask::GetHostId", IID_ITask, [&] { return give(host, host_); });
    }
    HRESULT STDMETHODCALLTYPE GetUserId(GUID* user) override
    {
        return guarded(L"ITask::GetUserId", IID_ITask, [&] {
            std::lock_guard lock(mutex_);
            return give(user, user_);
        });
    }
    HRESULT STDMETHODCALLTYPE SwitchUser(GUID user, GUID* previous) override
    {
        return guarded(L"ITask::SwitchUser", IID_ITask, [&] {
            require_out(previous);
            std::lock_guard lock(mutex_);
            *previous = std::exchange(user_, user);
            return S_OK;
        });
    }
    // The controller (VT_UNKNOWN holding an IDataCollectionServiceController, or nothing) is kept while
    // the task runs.
    HRESULT STDMETHODCALLTYPE Run(VARIANT controller) override
    {
        return guarded(L"ITask::Run", IID_ITask, [&] {
            CComPtr<IDataCollectionServiceController> kept = read_controller(controller);
            {
                std::lock_guard lock(mutex_);
                controller_.Attach(kept.Detach());
            }
            model_->move_through({ETaskState::Running});
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        return guarded(L"ITask::Stop", IID_ITask, [&] {
            CComPtr<IDataCollectionServiceController> released;
            {
                std::lock_guard lock(mutex_);
                released.Attach(controller_.Detach());
            }
            if (model_->state() != ETaskState::Ready)
                model_->move_through({ETaskState::Stopping, ETaskState::Stopped});
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetCollections(IUnknown** collections) override
    {
        return guarded(L"ITask::GetCollections", IID_ITask, [&] {
            std::lock_guard lock(mutex_);
            return hand_out(make_enumerable(collections_), collections);
        });
    }

    // ---- IDeploymentTarget
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"IDeploymentTarget::GetName", IID_IDeploymentTarget, [&] { return copy_text(model_->name, name); });
    }
    HRESULT STDMETHODCALLTYPE GetType(EDeploymentTarget* type) override
    {
        return guarded(L"IDeploymentTarget::GetType", IID_IDeploymentTarget,
                       [&] { return give(type, EDeploymentTarget::Task); });
    }
    // The argument is the record class name; the data, if any, is not needed by a collection.
    HRESULT STDMETHODCALLTYPE Deploy(VARIANT argument, IDeploymentData*, VARIANT* result) override
    {
        return guarded(L"IDeploymentTarget::Deploy", IID_IDeploymentTarget, [&] {
            require_out(result);
            VariantInit(result);
            if (argument.vt != VT_BSTR)
                fail(E_INVALIDARG, L"A task deploys a collection by its record class name");
            _variant_t collection(static_cast<IUnknown*>(deploy(text_of(argument.bstrVal))));
            *result = collection.Detach();
            return S_OK;
        });
    }

    // ---- IMethodSource
    HRESULT STDMETHODCALLTYPE GetMethodNames(SAFEARRAY** names) override
    {
        return guarded(L"IMethodSource::GetMethodNames", IID_IMethodSource,
                       [&] { return copy_names({L"ClassNames", L"CollectionCount"}, names); });
    }
    // Methods: "CollectionCount" gives the number of collections, "ClassNames" their class names as a list.
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR name, IUnknown** method) override
    {
        return guarded(L"IMethodSource::GetMethod", IID_IMethodSource, [&] {
            require_out(method);
            *method = nullptr;
            const std::wstring wanted = text_of(name);
            CComPtr<ITask> self(this);
            if (wanted == L"CollectionCount") {
                return hand_out(make_method(wanted, {L"The number of collections", [self](const MethodCall&) -> MethodOutcome {
                                                         return _variant_t(static_cast<LONG>(count(self)));
                                                     }}),
                                method);
            }
            if (wanted == L"ClassNames") {
                return hand_out(make_method(wanted, {L"The class names of the collections",
                                                     [self](const MethodCall&) -> MethodOutcome { return class_names(self); }}),
                                method);
            }
            return S_OK;
        });
    }

private:
    static CComPtr<IDataCollectionServiceController> read_controller(const VARIANT& controller)
    {
        if (controller.vt == VT_EMPTY || controller.vt == VT_NULL || (controller.vt == VT_UNKNOWN && !controller.punkVal))
            return nullptr;
        if (controller.vt != VT_UNKNOWN)
            fail(E_INVALIDARG, L"The controller is not an object");
        CComQIPtr<IDataCollectionServiceController> kept(controller.punkVal);
        if (!kept)
            fail(E_NOINTERFACE, L"The controller is not a data collection service controller");
        return CComPtr<IDataCollectionServiceController>(kept.p);
    }

    CComPtr<IUnknown> deploy(const std::wstring& class_name)
    {
        auto source = model_->runtime->world->find(class_name);
        if (!source)
            fail(E_INVALIDARG, L"Unknown record class: " + class_name);
        CComPtr<ICollection> collection = make_collection(model_->runtime, std::move(source));
        GUID id{};
        collection->GetId(&id);
        {
            std::lock_guard lock(mutex_);
            collections_.push_back(collection);
        }
        model_->collection_event(true, id);
        return CComPtr<IUnknown>(collection.p);
    }

    static std::vector<CComPtr<ICollection>> collections_of(const CComPtr<ITask>& self)
    {
        auto* task = static_cast<task_t*>(self.p);
        std::lock_guard lock(task->mutex_);
        return task->collections_;
    }
    static std::size_t count(const CComPtr<ITask>& self) { return collections_of(self).size(); }
    static std::vector<_variant_t> class_names(const CComPtr<ITask>& self)
    {
        std::vector<_variant_t> names;
        for (const auto& collection : collections_of(self)) {
            _bstr_t name;
            if (SUCCEEDED(collection->GetName(name.GetAddress())))
                names.emplace_back(name);
        }
        return names;
    }

    std::mutex mutex_;
    std::shared_ptr<task_model_t> model_;
    GUID host_{};
    GUID user_{};
    std::vector<CComPtr<ICollection>> collections_;
    CComPtr<IDataCollectionServiceController> controller_;
};

} // namespace

CComPtr<ITask> make_task(const runtime_ptr& runtime, std::wstring name, const GUID& host, const GUID& user)
{
    return CComPtr<ITask>(make<task_t>(runtime, std::move(name), host, user));
}

} // namespace collector::reference::detail
