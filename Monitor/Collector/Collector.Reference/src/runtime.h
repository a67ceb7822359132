// What every object of one collector shares: the registration's world and the collector's event thread.
#pragma once

#include "events.h"
#include "world.h"

#include <memory>

namespace collector::reference::detail {

struct runtime_t {
    std::shared_ptr<world_t> world;
    // Every event of the collector and of the objects it handed out goes through this one thread, in
    // order; ICollector::Shutdown and the collector's last release stop it.
    std::shared_ptr<event_queue_t> queue;
};

using runtime_ptr = std::shared_ptr<const runtime_t>;

} // namespace collector::reference::detail
