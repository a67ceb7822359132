// Event connections: one object per event source of a handle creates the sink on first use, installs
// the listener in it and advises it; disconnecting unadvises it and keeps the sink for later.
#pragma once

#include "ConnectionPoint.h"

#include <atlcom.h>
#include <mutex>
#include <utility>

namespace collector::shell::detail {

// Sink: a multi-threaded ATL class of one event interface, with install(args...) and uninstall().
// An owner with two event sources (a collection and its composition) connects one sink to both
// through sink() and use_sink().
template <class Sink>
class EventListener {
public:
    // Installs what the sink delivers to, replacing what it had, and advises the sink unless it is
    // advised already. A failed advise keeps the sink and its listener, unadvised, for the next try.
    template <class... Args>
    void connect(const Args&... args)
    {
        const std::scoped_lock lock(mutex_);
        created_sink().install(args...);
        if (cookie_ != 0)
            return;
        CComPtr<IUnknown> unknown;
        checked_at(COLLECTOR_THROW_SITE_AT(29)) = sink_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
        checked_at(COLLECTOR_THROW_SITE_AT(30)) = advise(source_, event_iid_, unknown, cookie_);
        advised_source_ = source_;
    }

    // Stops deliveries to the installed listener and unadvises the sink; the source's answer is not
    // reported. Deliveries in progress are not waited for.
    void disconnect() noexcept
    {
        const std::scoped_lock lock(mutex_);
        if (sink_)
            sink_->uninstall();
        if (cookie_ != 0)
            unadvise(advised_source_, event_iid_, std::exchange(cookie_, 0));
        advised_source_.Release();
    }

    // The source is borrowed: its owner keeps it alive at least until it releases this object.
    EventListener(IUnknown* source, REFIID event_iid) : source_(source), event_iid_(event_iid) {}
    EventListener(const EventListener&) = delete;
    EventListener& operator=(const EventListener&) = delete;
    // The sink is released after the disconnection; the component may hold it a little longer.
    ~EventListener() { disconnect(); }

    // For an owner that creates its source after this object (the collector), before any connect.
    void set_source(IUnknown* source) noexcept { source_ = source; }

    // The sink, created when there is none yet, for an owner that sets more than the listener in it
    // or connects it to a second source (the collection and its composition share one sink).
    CComPtr<CComObjectNoLock<Sink>> sink()
    {
        const std::scoped_lock lock(mutex_);
        return &created_sink();
    }
    // Makes `sink` the one that this connection advises, in place of any it had.
    void use_sink(CComObjectNoLock<Sink>* sink)
    {
        const std::scoped_lock lock(mutex_);
        sink_ = sink;
    }

private:
    // Under the mutex: the sink, created at its first use.
    CComObjectNoLock<Sink>& created_sink()
    {
        if (!sink_)
            sink_ = new CComObjectNoLock<Sink>;
        return *sink_;
    }

    IUnknown* source_;
    IID event_iid_;
    CComPtr<CComObjectNoLock<Sink>> sink_;
    std::mutex mutex_;
    DWORD cookie_ = 0;
    // Held while advised, so that disconnecting reaches a live source even after the owner released
    // its own pointer to it (the collector does so before its connection object ends).
    CComPtr<IUnknown> advised_source_;
};

} // namespace collector::shell::detail
