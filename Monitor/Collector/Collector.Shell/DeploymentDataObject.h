// The component's side of a DeploymentData: the IDeploymentData object that the deploying operations
// hand to the component.
#pragma once

#include "pch.h"

#include <collector/shell/DeploymentData.h>

namespace collector::shell::detail {

// The bag's object as IDeploymentData, with a reference of its own; null for a moved-from bag (and for
// an object that would refuse the interface, which the component then sees as no bag).
COLLECTOR_SHELL_API CComPtr<Ostra_Lux_Collector_Interfaces::IDeploymentData>
deployment_data_of(const DeploymentData& data);

} // namespace collector::shell::detail
