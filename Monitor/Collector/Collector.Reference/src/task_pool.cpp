// The task pool. Its three ways to deploy a task take the task's name, the host id (first) and the id of
// the user the task runs as (second), either of which may be absent (a null pointer: the empty GUID),
// and a flag that runs the task at once when nonzero. DeployWithText adds a configuration text, kept
// as the task's property "Configuration"; DeployWithData adds the named values of the deployment data,
// kept as the task's properties, and a set of flags of which none is defined (it must be 0).
#include "objects.h"
#include "properties.h"
#include "records.h"

#include <algorithm>

#include <atlsafe.h>

namespace collector::reference::detail {

namespace {

GUID id_or_empty(const GUID* id)
{
    return id ? *id : GUID{};
}

void set_property(ITask* task, const wchar_t* name, const VARIANT& value)
{
    CComQIPtr<IProperties> properties(task);
    const HRESULT hr = properties ? properties->SetProperty(_bstr_t(name), value) : E_NOINTERFACE;
    if (FAILED(hr))
        fail(hr, std::wstring(L"Unable to set the task's property ") + name);
}

// The deployment data's named values as the task's properties.
void copy_data(ITask* task, IDeploymentData* data)
{
    if (!data)
        return;
    SAFEARRAY* raw = nullptr;
    HRESULT hr = data->GetNames(&raw);
    if (FAILED(hr))
        fail(hr, L"Unable to read the deployment data's names");
    ATL::CComSafeArray<BSTR> names;
    names.Attach(raw);
    for (LONG i = names.GetLowerBound(); raw && i <= names.GetUpperBound(); ++i) {
        BSTR name = names.GetAt(i);
        _variant_t value;
        hr = data->GetValue(name, &value);
        if (FAILED(hr))
            fail(hr, L"Unable to read the deployment data's value " + text_of(name));
        set_property(task, text_of(name).c_str(), value);
    }
}

class ATL_NO_VTABLE task_pool_t : public object_t, public ITaskPool, public connection_points_t<ITaskPoolEvents> {
public:
    BEGIN_COM_MAP(task_pool_t)
        COM_INTERFACE_ENTRY(ITaskPool)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(runtime_ptr runtime) { runtime_ = std::move(runtime); }

    HRESULT STDMETHODCALLTYPE Deploy(BSTR name, GUID* first, GUID* second, LONG flag, IUnknown** task) override
    {
        return guarded(L"ITaskPool::Deploy", IID_ITaskPool,
                       [&] { return deploy(name, first, second, flag, task, [](ITask*) {}); });
    }
    HRESULT STDMETHODCALLTYPE DeployWithText(BSTR name, GUID* first, GUID* second, VARIANT text, LONG flag,
                                             IUnknown** task) override
    {
        return guarded(L"ITaskPool::DeployWithText", IID_ITaskPool, [&] {
            if (text.vt != VT_BSTR)
                fail(E_INVALIDARG, L"The configuration is a text");
            return deploy(name, first, second, flag, task,
                          [&](ITask* deployed) { set_property(deployed, L"Configuration", text); });
        });
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override
    {
        return guarded(L"ITaskPool::GetCount", IID_ITaskPool, [&] {
            require_out(count);
            std::lock_guard lock(mutex_);
            *count = static_cast<LONG>(tasks_.size());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE DeployWithData(BSTR name, GUID* first, GUID* second, LONG value, IDeploymentData* data,
                                             IUnknown** task) override
    {
        return guarded(L"ITaskPool::DeployWithData", IID_ITaskPool, [&] {
            if (value != 0)
                fail(E_INVALIDARG, L"No deployment flag is defined");
            return deploy(name, first, second, 0, task, [&](ITask* deployed) { copy_data(deployed, data); });
        });
    }
    HRESULT STDMETHODCALLTYPE FindByName(BSTR name, IUnknown** task) override
    {
        return guarded(L"ITaskPool::FindByName", IID_ITaskPool, [&] {
            std::lock_guard lock(mutex_);
            auto found = std::find_if(tasks_.begin(), tasks_.end(), [&](const entry_t& e) { return e.name == text_of(name); });
            return hand_out(found == tasks_.end() ? CComPtr<ITask>() : found->task, task);
        });
    }
    HRESULT STDMETHODCALLTYPE IsExist(GUID* id, VARIANT_BOOL* exists) override
    {
        return guarded(L"ITaskPool::IsExist", IID_ITaskPool, [&] {
            require_out(exists);
            std::lock_guard lock(mutex_);
            *exists = find(id) != tasks_.end() ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetTask(GUID* id, IUnknown** task) override
    {
        return guarded(L"ITaskPool::GetTask", IID_ITaskPool, [&] {
            std::lock_guard lock(mutex_);
            return hand_out(existing(id)->task, task);
        });
    }
    HRESULT STDMETHODCALLTYPE Remove(GUID* id) override
    {
        return guarded(L"ITaskPool::Remove", IID_ITaskPool, [&] {
            CComPtr<ITask> removed;
            {
                std::lock_guard lock(mutex_);
                auto found = existing(id);
                removed.Attach(found->task.Detach());
                tasks_.erase(found);
            }
            announce(false, *id);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetTasks(IUnknown** tasks) override
    {
        return guarded(L"ITaskPool::GetTasks", IID_ITaskPool, [&] {
            std::vector<CComPtr<ITask>> objects;
            std::lock_guard lock(mutex_);
            for (const entry_t& entry : tasks_)
                objects.push_back(entry.task);
            return hand_out(make_enumerable(objects), tasks);
        });
    }

private:
    struct entry_t {
        GUID id;
        std::wstring name;
        CComPtr<ITask> task;
    };

    // Makes the task, lets configure set it up, runs it when flag says so, then adds and announces it.
    template <class Configure>
    HRESULT deploy(BSTR name, const GUID* first, const GUID* second, LONG flag, IUnknown** out, Configure configure)
    {
        require_out(out);
        *out = nullptr;
        const std::wstring task_name = text_of(name);
        if (task_name.empty())
            fail(E_INVALIDARG, L"A task needs a name");
        CComPtr<ITask> task = make_task(runtime_, task_name, id_or_empty(first), id_or_empty(second));
        configure(task.p);
        if (flag != 0) {
            const HRESULT hr = task->Run(_variant_t());
            if (FAILED(hr))
                return hr;
        }
        GUID id{};
        task->GetId(&id);
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back({id, task_name, task});
        }
        announce(true, id);
        return hand_out(task, out);
    }

    std::vector<entry_t>::iterator find(const GUID* id)
    {
        if (!id)
            fail(E_POINTER, L"Null task id");
        return std::find_if(tasks_.begin(), tasks_.end(), [&](const entry_t& e) { return IsEqualGUID(e.id, *id); });
    }

    std::vector<entry_t>::iterator existing(const GUID* id)
    {
        auto found = find(id);
        if (found == tasks_.end())
            fail(E_INVALIDARG, L"No task has that id");
        return found;
    }

    // A deployed (Event1) or removed (Event2) task.
    void announce(bool deployed, const GUID& id)
    {
        raise(*runtime_->queue, sinks<ITaskPoolEvents>(), [id, deployed](ITaskPoolEvents* sink) {
            deployed ? sink->Event1(id) : sink->Event2(id);
        });
    }

    std::mutex mutex_;
    runtime_ptr runtime_;
    std::vector<entry_t> tasks_;
};

} // namespace

CComPtr<IUnknown> make_task_pool(const runtime_ptr& runtime)
{
    return CComPtr<IUnknown>(make<task_pool_t>(runtime));
}

} // namespace collector::reference::detail
