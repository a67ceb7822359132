// Events of the component: one event thread per collector delivers them in order, off the caller's
// thread and with no lock of the component held; connection points hold the advised sinks.
#pragma once

#include "base.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

namespace collector::reference::detail {

// A thread that runs posted deliveries in order. stop() drops what is still queued (releasing what the
// deliveries hold), lets a delivery in progress finish and waits for the thread; a stop from the thread
// itself (a sink that releases the last reference) does not wait.
class event_queue_t {
public:
    event_queue_t();
    ~event_queue_t();
    event_queue_t(const event_queue_t&) = delete;
    event_queue_t& operator=(const event_queue_t&) = delete;

    // Queues a delivery; after stop() it is dropped.
    void post(std::function<void()> delivery);
    void stop();

private:
    struct state_t;
    std::shared_ptr<state_t> state_;
    std::thread thread_;
    std::thread::id worker_;
    std::mutex stop_mutex_;
};

// The sinks advised on one connection point; cookies count from 1.
template <class Events>
class sink_list_t {
public:
    DWORD add(Events* sink)
    {
        std::lock_guard lock(mutex_);
        sinks_.emplace_back(++last_cookie_, sink);
        return last_cookie_;
    }
    // The sink is released after the lock.
    bool remove(DWORD cookie)
    {
        CComPtr<Events> removed;
        std::lock_guard lock(mutex_);
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->first == cookie) {
                removed.Attach(it->second.Detach());
                sinks_.erase(it);
                return true;
            }
        }
        return false;
    }
    std::vector<CComPtr<Events>> snapshot() const
    {
        std::lock_guard lock(mutex_);
        std::vector<CComPtr<Events>> copy;
        copy.reserve(sinks_.size());
        for (const auto& [cookie, sink] : sinks_)
            copy.push_back(sink);
        return copy;
    }
    // Releases every sink (at shutdown), outside the lock.
    void clear()
    {
        std::vector<std::pair<DWORD, CComPtr<Events>>> released;
        std::lock_guard lock(mutex_);
        released.swap(sinks_);
    }

private:
    mutable std::mutex mutex_;
    DWORD last_cookie_ = 0;
    std::vector<std::pair<DWORD, CComPtr<Events>>> sinks_;
};

// Posts one event to every sink advised now: call(sink) runs on the event thread.
template <class Events, class Call>
void raise(event_queue_t& queue, const std::shared_ptr<sink_list_t<Events>>& sinks, Call call)
{
    std::vector<CComPtr<Events>> targets = sinks->snapshot();
    if (targets.empty())
        return;
    queue.post([targets = std::move(targets), call = std::move(call)] {
        for (const CComPtr<Events>& sink : targets)
            call(sink.p);
    });
}

// One connection point: a small object over the container's sink list, holding its container.
template <class Events>
class ATL_NO_VTABLE connection_point_t : public object_t, public IConnectionPoint {
public:
    BEGIN_COM_MAP(connection_point_t)
        COM_INTERFACE_ENTRY(IConnectionPoint)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(IConnectionPointContainer* container, std::shared_ptr<sink_list_t<Events>> sinks)
    {
        container_ = container;
        sinks_ = std::move(sinks);
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override
    {
        return guarded(L"IConnectionPoint::GetConnectionInterface", IID_IConnectionPoint,
                       [&] { return give(iid, __uuidof(Events)); });
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override
    {
        return guarded(L"IConnectionPoint::GetConnectionPointContainer", IID_IConnectionPoint,
                       [&] { return hand_out(container_, container); });
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override
    {
        return guarded(L"IConnectionPoint::Advise", IID_IConnectionPoint, [&] {
            require_out(cookie);
            *cookie = 0;
            if (!sink)
                fail(E_POINTER, L"Null sink");
            CComQIPtr<Events> events(sink);
            if (!events)
                fail(CONNECT_E_CANNOTCONNECT, L"The sink does not implement the event interface");
            *cookie = sinks_->add(events);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        return guarded(L"IConnectionPoint::Unadvise", IID_IConnectionPoint, [&] {
            if (!sinks_->remove(cookie))
                fail(CONNECT_E_NOCONNECTION, L"No connection with that cookie");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override
    {
        if (connections)
            *connections = nullptr;
        return report(E_NOTIMPL, IID_IConnectionPoint, L"Connections are not enumerated");
    }

private:
    CComPtr<IConnectionPointContainer> container_;
    std::shared_ptr<sink_list_t<Events>> sinks_;
};

// The connection points of an object, one per event interface; the object lists
// IConnectionPointContainer in its map.
template <class... Events>
class ATL_NO_VTABLE connection_points_t : public IConnectionPointContainer {
public:
    template <class E>
    const std::shared_ptr<sink_list_t<E>>& sinks() const noexcept
    {
        return std::get<std::shared_ptr<sink_list_t<E>>>(lists_);
    }

    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        return guarded(L"IConnectionPointContainer::FindConnectionPoint", IID_IConnectionPointContainer, [&] {
            require_out(point);
            *point = nullptr;
            const bool found = (find<Events>(iid, point) || ...);
            if (!found)
                fail(CONNECT_E_NOCONNECTION, L"No connection point for that interface");
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override
    {
        if (points)
            *points = nullptr;
        return report(E_NOTIMPL, IID_IConnectionPointContainer, L"Connection points are not enumerated");
    }

    // Releases every advised sink (at shutdown).
    void release_sinks() { (sinks<Events>()->clear(), ...); }

protected:
    // Serves the point of E from a list that a model of the object keeps (before anything advises).
    template <class E>
    void share_sinks(std::shared_ptr<sink_list_t<E>> list)
    {
        std::get<std::shared_ptr<sink_list_t<E>>>(lists_) = std::move(list);
    }

private:
    template <class E>
    bool find(REFIID iid, IConnectionPoint** point)
    {
        if (!IsEqualGUID(iid, __uuidof(E)))
            return false;
        auto made = make<connection_point_t<E>>(static_cast<IConnectionPointContainer*>(this), sinks<E>());
        *point = made.Detach();
        return true;
    }

    std::tuple<std::shared_ptr<sink_list_t<Events>>...> lists_{std::make_shared<sink_list_t<Events>>()...};
};

} // namespace collector::reference::detail
