// The component's side of a DeploymentTarget: the object that Resource::Deploy hands to the component.
#pragma once

#include "pch.h"

#include <collector/shell/DeploymentTarget.h>

namespace collector::shell::detail {

// The target's object as IDeploymentTarget, with a reference of its own. Throws "DeploymentTarget is
// null" for the empty target.
CComPtr<Ostra_Lux_Collector_Interfaces::IDeploymentTarget> deployment_target_of(const DeploymentTarget& target);

} // namespace collector::shell::detail
