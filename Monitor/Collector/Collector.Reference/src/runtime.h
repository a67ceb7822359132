// What every object of one collector shares: the registration's world and the collector's event thread.
#pragma once

#include "events.h"
#include "world.h"

#include <memory>

namespace collector::reference::detail {

// The collections of one collector that have run; the collector's shutdown stops those still running.
class running_set_t {
public:
    void add(std::weak_ptr<running_collection_t> collection)
    {
        std::lock_guard lock(mutex_);
        std::erase_if(collections_, [](const auto& weak) { return weak.expired(); });
        collections_.push_back(std::move(collection));
    }
    void stop_all()
    {
        std::vector<std::weak_ptr<running_collection_t>> all;
        {
            std::lock_guard lock(mutex_);
            all.swap(collections_);
        }
        for (const auto& weak : all) {
            if (auto collection = weak.lock())
                collection->stop();
        }
    }

private:
    std::mutex mutex_;
    std::vector<std::weak_ptr<running_collection_t>> collections_;
};

struct runtime_t {
    std::shared_ptr<world_t> world;
    // Every event of the collector and of the objects it handed out goes through this one thread, in
    // order; ICollector::Shutdown and the collector's last release stop it.
    std::shared_ptr<event_queue_t> queue;
    std::shared_ptr<running_set_t> running;
};

using runtime_ptr = std::shared_ptr<const runtime_t>;

} // namespace collector::reference::detail
