// DeploymentTarget: a place of the collector to which something can be deployed, with an id, a name
// and a type. Resources are deployed to targets (Resource::Deploy).
#pragma once

#include "DeploymentData.h"
#include "Export.h"
#include "Object.h"

#include <Kernel/string.h>

#include <collector/interfaces.h>

#include <comdef.h>

#include <memory>

namespace collector::shell {

namespace detail {
struct deployment_target_access;
}

// What a target is, as the collector gives it.
using EDeploymentTarget = Ostra_Lux_Collector_Interfaces::EDeploymentTarget;

class COLLECTOR_SHELL_API DeploymentTarget {
public:
    // The empty target: every member throws "DeploymentTarget is null".
    DeploymentTarget() noexcept = default;
    // A target around a component object, which keeps a reference to it. Throws "Unable to
    // QueryInterface" when the object is no deployment target; a null object gives the empty target.
    explicit DeploymentTarget(IUnknown* target);

    explicit operator bool() const noexcept { return static_cast<bool>(impl_); }

    GUID GetId() const;
    // The whole name, embedded NULs included; a null name reads as empty.
    tstring GetName() const;
    EDeploymentTarget GetType() const;
    // Deploys with `argument`, whose meaning depends on the target's type, and the bag, which the call
    // consumes: the collector reads it as it stands during the call.
    Object Deploy(const _variant_t& argument, DeploymentData data);

    struct impl_t;

private:
    friend struct detail::deployment_target_access;

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
