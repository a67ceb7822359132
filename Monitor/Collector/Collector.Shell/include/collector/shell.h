// The whole public API of collector-shell, namespace collector::shell.
#pragma once

#include "shell/Class.h"
#include "shell/Collection.h"
#include "shell/Collector.h"
#include "shell/DeploymentData.h"
#include "shell/EnumIterator.h"
#include "shell/Export.h"
#include "shell/Field.h"
#include "shell/Guid.h"
#include "shell/Key.h"
#include "shell/Listeners.h"
#include "shell/Method.h"
#include "shell/Object.h"
#include "shell/Record.h"
#include "shell/RecordsSet.h"
#include "shell/Reference.h"
