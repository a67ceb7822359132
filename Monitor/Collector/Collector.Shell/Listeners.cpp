// The listener interfaces' default operations and destructors, compiled once here so that their
// virtual tables and type information live in the library.
#include "pch.h"

#include <collector/shell/Listeners.h>

namespace collector::shell {

bool ICollectionListener::Updated(const RecordsSet&) { return false; }

void ICollectionListener::StateChanged(GUID, ECollectionState, std::wstring_view) {}

ICollectionListener::~ICollectionListener() = default;
ITaskListener::~ITaskListener() = default;
ICollectorListener::~ICollectorListener() = default;
IDatabaseStorageListener::~IDatabaseStorageListener() = default;
IResourcePoolListener::~IResourcePoolListener() = default;
ITaskPoolListener::~ITaskPoolListener() = default;

} // namespace collector::shell
