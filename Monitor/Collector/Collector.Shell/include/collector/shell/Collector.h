// The root object: one instance of the collector component for one source.
#pragma once

#include "DatabaseStorage.h"
#include "DeploymentData.h"
#include "Export.h"
#include "HostPool.h"
#include "Listeners.h"
#include "Record.h"
#include "ResourcePool.h"
#include "TaskPool.h"
#include "UserPool.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <cstdint>
#include <memory>
#include <string_view>

namespace collector::shell {

// The source that a collector gathers from; each selects the component class that `Collector` creates.
// Arbor, HyperV and Wmi share one class.
enum class ECollectorSource : std::int32_t {
    Arbor = 0,
    ArborOverVcf = 1,
    VMware = 2,
    HyperV = 3,
    Wmi = 4,
    Rest = 5,
    Events = 6,
    Cirrus = 7,
    Metrics = 8,
};

// The component's run state, passed on unchanged.
using ECollectorState = Ostra_Lux_Collector_Interfaces::ECollectorState;

class COLLECTOR_SHELL_API Collector {
public:
    // Creates the component object of `source`; `standalone` selects the out-of-process VMware class
    // and matters for no other source. Throws "Unknown source: {}" for a value outside the enumeration.
    explicit Collector(ECollectorSource source);
    Collector(ECollectorSource source, bool standalone);
    ~Collector();

    void Start();
    void Stop();
    void Suspend();
    void Restart();
    void Terminate();
    ECollectorState GetState() const;

    // Named properties of the component. The value is passed without copying it.
    void SetProperty(std::wstring_view name, const _variant_t& value);
    _variant_t GetProperty(std::wstring_view name);

    // The component's pools. Each getter hands out the pool that a live handle still shares, and asks
    // the component for a new one once every handle to it is gone; copies share one pool. A pool may
    // outlive its collector.
    DatabaseStorage GetDatabaseStorage() const;
    HostPool GetHostPool() const;
    UserPool GetUserPool() const;
    ResourcePool GetResourcePool() const;
    TaskPool GetTaskPool() const;

    // A profile record made by the profile class of the component, without a collector. The texts and
    // `context` are passed through unchanged; a bag without object passes no deployment data. The
    // empty record when the component makes none.
    static Record CreateProfile(std::wstring_view first, std::wstring_view second, std::wstring_view third,
                                const DeploymentData& data, void* context);

    // Sends the component's events to `listener`, which replaces any earlier one and is held only
    // weakly: the caller's last release stops its events. An empty pointer connects and delivers
    // nothing. Throws when the component refuses the connection; a later call tries again.
    void Subscribe(const std::shared_ptr<ICollectorListener>& listener);
    // Stops the events; does nothing when not subscribed. A delivery that had already begun may
    // still reach the listener.
    void Unsubscribe();

    struct impl_t;

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
