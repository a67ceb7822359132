// The whole public API of collector-shell, namespace collector::shell.
#pragma once

#include "shell/Collection.h"
#include "shell/Collector.h"
#include "shell/DeploymentData.h"
#include "shell/EnumIterator.h"
#include "shell/Export.h"
#include "shell/Guid.h"
#include "shell/Listeners.h"
#include "shell/Method.h"
#include "shell/Object.h"
