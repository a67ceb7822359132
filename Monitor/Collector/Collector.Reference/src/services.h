// The collector's services, each built in a file of its own: the host, user and resource pools, the
// database storage, the profile class and the live record classes. The collector asks for each once.
#pragma once

#include "runtime.h"

namespace collector::reference::detail {

// Objects that answer IHostPool, IUserPool and IResourcePool (with IProperties and the connection point
// of IResourcePoolEvents).
CComPtr<IUnknown> make_host_pool(const runtime_ptr& runtime);
CComPtr<IUnknown> make_user_pool(const runtime_ptr& runtime);
CComPtr<IUnknown> make_resource_pool(const runtime_ptr& runtime);

// The collector answers IDatabaseStorage itself and forwards every call to this object; the storage
// raises its events on the runtime's queue to the sinks of the collector's IDatabaseStorageEvents point.
CComPtr<IDatabaseStorage> make_database_storage(const runtime_ptr& runtime,
                                                std::shared_ptr<sink_list_t<IDatabaseStorageEvents>> events);

// The class object of the profile class (IClassFactory whose objects answer IProfileFactory).
CComPtr<IClassFactory> make_profile_class(const std::shared_ptr<world_t>& world);

// Defines the live record classes of a new registration.
void install_live_classes(world_t& world);

} // namespace collector::reference::detail
