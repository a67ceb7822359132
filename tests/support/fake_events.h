// Fake event sources: connection points that keep advised sinks the way a component does, and fire
// events at them from whatever thread a test chooses. A fake offers its points through the
// ConnectionPoints mixin:
//
//     class FakeTask : public fake::Fake<ITask, fake::ConnectionPoints> {
//         fake::ConnectionPoint<ITaskEvents>& events = offer<ITaskEvents>("task events");
//     };
//     task.events.fire([](ITaskEvents* sink) { return sink->Event1(task_id, collection_id); });
//
// or stands alone as fake::EventSource. A point that ends with sinks still advised notes it in the
// ledger, which fails the test: whoever advised must also unadvise.
#pragma once

#include "support/fake_com.h"

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <atlbase.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fake {

// Waits, up to a generous limit, for `condition`, which events on other threads are to bring about.
template <class Condition>
bool eventually(Condition condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::yield();
    }
    return true;
}

template <class Events>
class ConnectionPoint : public Fake<IConnectionPoint> {
public:
    explicit ConnectionPoint(std::string name) : Fake(std::move(name)) {}

    // What Advise and Unadvise answer; a failing Unadvise lets the sink go all the same.
    std::atomic<HRESULT> advise_result{S_OK};
    std::atomic<HRESULT> unadvise_result{S_OK};
    // What a refused Advise writes to the cookie all the same.
    std::atomic<DWORD> refused_cookie{0};
    // Runs inside Unadvise, to look at the component's side at that moment.
    std::function<void()> on_unadvise;
    // The calls of Advise and Unadvise so far, answered or refused.
    std::atomic<int> advise_calls{0};
    std::atomic<int> unadvise_calls{0};

    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override
    {
        *cookie = 0;
        const std::scoped_lock lock(mutex_);
        ++advise_calls;
        last_offered_ = sink;
        if (FAILED(advise_result.load()))
            return *cookie = refused_cookie, advise_result.load();
        CComPtr<Events> events;
        if (FAILED(sink->QueryInterface(__uuidof(Events), reinterpret_cast<void**>(&events))) || !events)
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++last_cookie_;
        sinks_.emplace(*cookie, std::move(events));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        if (on_unadvise)
            on_unadvise();
        CComPtr<Events> leaving; // released after the lock, as a component would
        const std::scoped_lock lock(mutex_);
        ++unadvise_calls;
        const auto found = sinks_.find(cookie);
        if (found == sinks_.end())
            return CONNECT_E_NOCONNECTION;
        leaving = std::move(found->second);
        sinks_.erase(found);
        return unadvise_result.load();
    }

    // Not asked for by the library; a fake need not know its container.
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    // Calls `event(Events*)` on every advised sink, on the calling thread and outside the point's lock
    // (sinks may come and go meanwhile, as with a component), and gives back what each one returned.
    template <class Event>
    std::vector<HRESULT> fire(Event&& event)
    {
        std::vector<HRESULT> results;
        for (const CComPtr<Events>& sink : sinks())
            results.push_back(event(sink.p));
        return results;
    }

    // The advised sinks, each with a new reference.
    std::vector<CComPtr<Events>> sinks() const
    {
        const std::scoped_lock lock(mutex_);
        std::vector<CComPtr<Events>> advised;
        for (const auto& [cookie, sink] : sinks_)
            advised.push_back(sink);
        return advised;
    }
    // The sink of the last Advise, refused or not (the point keeps a reference until it ends).
    CComPtr<IUnknown> last_offered() const
    {
        const std::scoped_lock lock(mutex_);
        return last_offered_;
    }

protected:
    ~ConnectionPoint() override
    {
        if (!sinks_.empty())
            Ledger::instance().note("connection point '" + name() + "' ended with " +
                                    std::to_string(sinks_.size()) + " sink(s) still advised");
    }

private:
    mutable std::mutex mutex_;
    std::map<DWORD, CComPtr<Events>> sinks_;
    CComPtr<IUnknown> last_offered_;
    DWORD last_cookie_ = 0;
};

// IConnectionPointContainer for a fake: a point per event interface offered. Points are offered while
// the fake is being built, before it is shared; each lives as long as the fake.
class ConnectionPoints : public IConnectionPointContainer {
public:
    using fake_interface = IConnectionPointContainer;

    // What FindConnectionPoint answers when it fails; S_OK looks the point up.
    std::atomic<HRESULT> find_result{S_OK};

    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        *point = nullptr;
        if (FAILED(find_result.load()))
            return find_result.load();
        for (auto& [offered, offered_point] : points_)
            if (IsEqualIID(offered, iid))
                return offered_point.CopyTo(point);
        return CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }

protected:
    template <class Events>
    ConnectionPoint<Events>& offer(std::string name)
    {
        auto* point = make<ConnectionPoint<Events>>(std::move(name));
        points_.emplace_back(__uuidof(Events), CComPtr<IConnectionPoint>());
        points_.back().second.Attach(point);
        return *point;
    }

private:
    std::vector<std::pair<IID, CComPtr<IConnectionPoint>>> points_;
};

// An object that offers connection points and nothing else.
class EventSource : public Fake<ConnectionPoints> {
public:
    explicit EventSource(std::string name = "EventSource") : Fake(std::move(name)) {}

    using ConnectionPoints::offer;
};

} // namespace fake
