// The collector object: its run state, properties, pools and database storage, and ICollectorEvents.
#include "objects.h"
#include "properties.h"
#include "services.h"

#include <functional>

namespace collector::reference::detail {

namespace {

constexpr wchar_t version_text[] = L"1.0 (reference)";

class ATL_NO_VTABLE collector_t : public object_t,
                                  public ICollector,
                                  public properties_t,
                                  public IDatabaseStorage,
                                  public connection_points_t<ICollectorEvents, IDatabaseStorageEvents> {
public:
    BEGIN_COM_MAP(collector_t)
        COM_INTERFACE_ENTRY(ICollector)
        COM_INTERFACE_ENTRY(IProperties)
        COM_INTERFACE_ENTRY(IDatabaseStorage)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const std::shared_ptr<world_t>& world)
    {
        runtime_ = std::make_shared<runtime_t>(
            runtime_t{world, std::make_shared<event_queue_t>(), std::make_shared<running_set_t>()});
    }

    void FinalRelease() { shutdown(); }

    HRESULT STDMETHODCALLTYPE GetHostPool(IUnknown** pool) override
    {
        return get_service(L"ICollector::GetHostPool", host_pool_, make_host_pool, pool);
    }
    HRESULT STDMETHODCALLTYPE GetUserPool(IUnknown** pool) override
    {
        return get_service(L"ICollector::GetUserPool", user_pool_, make_user_pool, pool);
    }
    HRESULT STDMETHODCALLTYPE GetResourcePool(IUnknown** pool) override
    {
        return get_service(L"ICollector::GetResourcePool", resource_pool_, make_resource_pool, pool);
    }
    HRESULT STDMETHODCALLTYPE GetTaskPool(IUnknown** pool) override
    {
        return get_service(L"ICollector::GetTaskPool", task_pool_, make_task_pool, pool);
    }
    HRESULT STDMETHODCALLTYPE GetClassPool(IUnknown** pool) override
    {
        return get_service(L"ICollector::GetClassPool", class_pool_, make_class_pool, pool);
    }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR* version) override
    {
        return guarded(L"ICollector::GetVersion", IID_ICollector, [&] { return copy_text(version_text, version); });
    }

    HRESULT STDMETHODCALLTYPE Start() override
    {
        return change(L"ICollector::Start", [](ECollectorState) { return ECollectorState::Running; });
    }
    HRESULT STDMETHODCALLTYPE Suspend() override
    {
        return change(L"ICollector::Suspend", [](ECollectorState state) {
            if (state != ECollectorState::Running && state != ECollectorState::Suspended)
                fail(E_ILLEGAL_METHOD_CALL, L"Only a running collector can be suspended");
            return ECollectorState::Suspended;
        });
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        return change(L"ICollector::Stop", [](ECollectorState state) {
            return state == ECollectorState::Initial ? state : ECollectorState::Stopped;
        });
    }
    HRESULT STDMETHODCALLTYPE Restart() override
    {
        return change(L"ICollector::Restart", [this](ECollectorState state) {
            if (state != ECollectorState::Initial && state != ECollectorState::Stopped) {
                state_ = ECollectorState::Stopped;
                announce(state_);
            }
            return ECollectorState::Running;
        });
    }
    HRESULT STDMETHODCALLTYPE Terminate() override
    {
        return change(L"ICollector::Terminate", [](ECollectorState) { return ECollectorState::Terminated; });
    }
    HRESULT STDMETHODCALLTYPE GetState(ECollectorState* state) override
    {
        return guarded(L"ICollector::GetState", IID_ICollector, [&] {
            require_out(state);
            std::lock_guard lock(mutex_);
            *state = state_;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Shutdown() override
    {
        return guarded(L"ICollector::Shutdown", IID_ICollector, [&] {
            shutdown();
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE Connect(BSTR server, BSTR instance, BSTR database, VARIANT_BOOL useSqlAuth, BSTR user,
                                      BSTR password, VARIANT_BOOL multiSubnetFailover, LONG encryptionMode,
                                      VARIANT_BOOL trustServerCertificate) override
    {
        return storage_call(L"IDatabaseStorage::Connect", [&](IDatabaseStorage* storage) {
            return storage->Connect(server, instance, database, useSqlAuth, user, password, multiSubnetFailover,
                                    encryptionMode, trustServerCertificate);
        });
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override
    {
        return storage_call(L"IDatabaseStorage::Disconnect",
                            [](IDatabaseStorage* storage) { return storage->Disconnect(); });
    }
    HRESULT STDMETHODCALLTYPE GetState(EDatabaseStorageState* state) override
    {
        return storage_call(L"IDatabaseStorage::GetState",
                            [&](IDatabaseStorage* storage) { return storage->GetState(state); });
    }

private:
    using factory_t = CComPtr<IUnknown> (*)(const runtime_ptr&);

    // The pools are made on first demand and kept for the collector's life.
    HRESULT get_service(const wchar_t* operation, CComPtr<IUnknown>& slot, factory_t factory, IUnknown** pool)
    {
        return guarded(operation, IID_ICollector, [&] {
            require_out(pool);
            *pool = nullptr;
            std::lock_guard lock(mutex_);
            check_live();
            if (!slot)
                slot = factory(runtime_);
            return hand_out(slot, pool);
        });
    }

    // The storage's own call reports its own failure; the collector only makes the storage.
    template <class Call>
    HRESULT storage_call(const wchar_t* operation, Call call)
    {
        CComPtr<IDatabaseStorage> storage;
        const HRESULT hr = guarded(operation, IID_IDatabaseStorage, [&] {
            std::lock_guard lock(mutex_);
            check_live();
            if (!storage_)
                storage_ = make_database_storage(runtime_, sinks<IDatabaseStorageEvents>());
            storage = storage_;
            return S_OK;
        });
        return FAILED(hr) ? hr : call(storage);
    }

    // Moves the run state as next says and announces the new state; a terminated or shut down collector
    // refuses.
    template <class Next>
    HRESULT change(const wchar_t* operation, Next next)
    {
        return guarded(operation, IID_ICollector, [&] {
            std::lock_guard lock(mutex_);
            check_live();
            if (state_ == ECollectorState::Terminated)
                fail(E_ILLEGAL_METHOD_CALL, L"The collector is terminated");
            const ECollectorState to = next(state_);
            if (to != state_) {
                state_ = to;
                announce(to);
            }
            return S_OK;
        });
    }

    void announce(ECollectorState state)
    {
        raise(*runtime_->queue, sinks<ICollectorEvents>(),
              [value = static_cast<LONG>(state)](ICollectorEvents* sink) { sink->Event1(value); });
    }

    void check_live() const
    {
        if (shut_down_)
            fail(CO_E_OBJNOTCONNECTED, L"The collector is shut down");
    }

    // Ends the work: the running collections stop (their classes learn it), the event thread stops
    // (dropping what it had queued, so nothing more is raised), the sinks go.
    void shutdown()
    {
        {
            std::lock_guard lock(mutex_);
            shut_down_ = true;
        }
        runtime_->queue->stop();
        runtime_->running->stop_all();
        release_sinks();
    }

    std::mutex mutex_;
    runtime_ptr runtime_;
    ECollectorState state_ = ECollectorState::Initial;
    bool shut_down_ = false;
    CComPtr<IUnknown> host_pool_, user_pool_, resource_pool_, task_pool_, class_pool_;
    CComPtr<IDatabaseStorage> storage_;
};

// The class object of the collector classes: every collector class makes the same collector.
class ATL_NO_VTABLE collector_class_t : public object_t, public IClassFactory {
public:
    BEGIN_COM_MAP(collector_class_t)
        COM_INTERFACE_ENTRY(IClassFactory)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const std::shared_ptr<world_t>& world) { world_ = world; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return guarded(L"IClassFactory::CreateInstance", IID_IClassFactory, [&] {
            require_out(object);
            *object = nullptr;
            if (outer)
                fail(CLASS_E_NOAGGREGATION, L"The collector cannot be aggregated");
            return make<collector_t>(world_)->QueryInterface(iid, object);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::shared_ptr<world_t> world_;
};

} // namespace

CComPtr<IClassFactory> make_collector_class(const std::shared_ptr<world_t>& world)
{
    return CComPtr<IClassFactory>(make<collector_class_t>(world));
}

} // namespace collector::reference::detail
