// The whole public API of collector-shell, namespace collector::shell.
#pragma once

#include "shell/Collector.h"
#include "shell/DatabaseStorage.h"
#include "shell/DeploymentData.h"
#include "shell/DeploymentTarget.h"
#include "shell/EnumIterator.h"
#include "shell/Export.h"
#include "shell/Guid.h"
#include "shell/Host.h"
#include "shell/HostPool.h"
#include "shell/Listeners.h"
#include "shell/Method.h"
#include "shell/Object.h"
#include "shell/Resource.h"
#include "shell/ResourcePool.h"
#include "shell/User.h"
#include "shell/UserPool.h"
