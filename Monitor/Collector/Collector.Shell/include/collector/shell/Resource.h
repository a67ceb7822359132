// Resource: one named value of the collector's resource pool, which can be deployed to a target.
#pragma once

#include "DeploymentData.h"
#include "DeploymentTarget.h"
#include "EnumIterator.h"
#include "Export.h"
#include "Object.h"

#include <Kernel/string.h>

#include <objbase.h>

#include <memory>

namespace collector::shell {

class COLLECTOR_SHELL_API Resource {
public:
    // The empty resource: every member but operator bool throws "Resource is null".
    Resource() noexcept = default;

    explicit operator bool() const noexcept { return static_cast<bool>(impl_); }

    GUID GetId() const;
    // A null name reads as empty.
    tstring GetName() const;
    // The resource's value.
    Object GetResource() const;
    // Deploys the resource to `target` with the bag, which the call consumes; gives back what the
    // deployment returns.
    Object Deploy(DeploymentTarget target, DeploymentData data) const;

    struct impl_t;

private:
    friend class ResourcePool;
    friend class EnumIterator<Resource>;

    // A null object gives the empty resource; one that is no resource throws "Unable to QueryInterface".
    explicit Resource(IUnknown* resource);

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
