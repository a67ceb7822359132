// The sinks whose events go to one listener and nothing else: those of the collector, the database
// storage, the resource pool and the task pool. Each is used as CComObjectNoLock<sink>.
#pragma once

#include "pch.h"

#include <collector/shell/Listeners.h>

#include <atlcom.h>

#include <memory>
#include <mutex>
#include <string_view>

namespace collector::shell::detail {

// A multi-threaded sink of one event interface that delivers to a listener held weakly. Each delivery
// locks the weak reference for the length of one listener call, so the program may release or replace
// the listener at any time. The reference is replaced while events arrive on the component's threads:
// a mutex guards the pointer itself, never the listener call.
template <class Events, class Listener>
class ATL_NO_VTABLE listener_sink_t : public CComObjectRootEx<CComMultiThreadModel>, public Events {
public:
    BEGIN_COM_MAP(listener_sink_t)
        COM_INTERFACE_ENTRY(Events)
    END_COM_MAP()

    void install(const std::shared_ptr<Listener>& listener)
    {
        const std::scoped_lock lock(mutex_);
        listener_ = listener;
    }
    void uninstall()
    {
        const std::scoped_lock lock(mutex_);
        listener_.reset();
    }

protected:
    // Hands one event to the listener, if one is alive, through `to_listener(Listener&)`, which also
    // converts the arguments. Nothing is thrown back to the component.
    template <class Delivery>
    HRESULT deliver(Delivery&& to_listener) noexcept
    {
        return ExceptionToHResult([&] {
            if (const std::shared_ptr<Listener> listener = locked_listener())
                to_listener(*listener);
        });
    }

private:
    std::shared_ptr<Listener> locked_listener()
    {
        const std::scoped_lock lock(mutex_);
        return listener_.lock();
    }

    // std::atomic<std::weak_ptr> would do without the mutex, but the standard library's version in use
    // publishes the pointer with a relaxed unlock, which thread sanitizers report as a race.
    std::mutex mutex_;
    std::weak_ptr<Listener> listener_;
};

// A text of the component, read up to its first NUL; a null text reads as empty.
inline std::wstring_view text_view(const wchar_t* text) noexcept
{
    return text ? std::wstring_view(text) : std::wstring_view();
}

using Ostra_Lux_Collector_Interfaces::ICollectorEvents;
using Ostra_Lux_Collector_Interfaces::IDatabaseStorageEvents;
using Ostra_Lux_Collector_Interfaces::IResourcePoolEvents;
using Ostra_Lux_Collector_Interfaces::ITaskPoolEvents;

class ATL_NO_VTABLE collector_sink_t : public listener_sink_t<ICollectorEvents, ICollectorListener> {
public:
    HRESULT STDMETHODCALLTYPE Event1(LONG value) override
    {
        return deliver([&](ICollectorListener& listener) { listener.Event1(value); });
    }
};

class ATL_NO_VTABLE database_storage_sink_t
    : public listener_sink_t<IDatabaseStorageEvents, IDatabaseStorageListener> {
public:
    HRESULT STDMETHODCALLTYPE Event1(LONG value) override
    {
        return deliver([&](IDatabaseStorageListener& listener) { listener.Event1(value); });
    }
};

class ATL_NO_VTABLE resource_pool_sink_t : public listener_sink_t<IResourcePoolEvents, IResourcePoolListener> {
public:
    HRESULT STDMETHODCALLTYPE Event1(BSTR name) override
    {
        return deliver([&](IResourcePoolListener& listener) { listener.Event1(text_view(name)); });
    }
    HRESULT STDMETHODCALLTYPE Event2(BSTR name) override
    {
        return deliver([&](IResourcePoolListener& listener) { listener.Event2(text_view(name)); });
    }
};

class ATL_NO_VTABLE task_pool_sink_t : public listener_sink_t<ITaskPoolEvents, ITaskPoolListener> {
public:
    HRESULT STDMETHODCALLTYPE Event1(GUID task_id) override
    {
        return deliver([&](ITaskPoolListener& listener) { listener.Event1(task_id); });
    }
    HRESULT STDMETHODCALLTYPE Event2(GUID task_id) override
    {
        return deliver([&](ITaskPoolListener& listener) { listener.Event2(task_id); });
    }
};

} // namespace collector::shell::detail
