// ResourcePool: the collector's named resources, added, found, removed, walked, loaded, merged and
// saved, with the pool's properties and events.
#pragma once

#include "EnumIterator.h"
#include "Export.h"
#include "Listeners.h"
#include "Object.h"
#include "Resource.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <memory>
#include <string_view>

namespace collector::shell {

// How Merge treats a name that the pool holds already; passed on unchanged.
using EMergeMode = Ostra_Lux_Collector_Interfaces::EMergeMode;

class COLLECTOR_SHELL_API ResourcePool {
public:
    EnumIterator<Resource> begin() const;
    EnumIterator<Resource> end() const { return {}; }

    // The new resource; the empty one when the collector gives none.
    Resource Add(std::wstring_view name, const Object& value);
    void Remove(std::wstring_view name);
    // The resource of that name; the empty one, never an exception, when the pool has none.
    Resource operator[](std::wstring_view name) const;

    // The texts are the collector's: it decides what they designate.
    void Load(std::wstring_view text);
    void Merge(std::wstring_view text, EMergeMode mode);
    void Save(std::wstring_view text);

    // Named properties of the pool. The value is passed without copying it.
    void SetProperty(std::wstring_view name, const _variant_t& value);
    _variant_t GetProperty(std::wstring_view name);

    // Sends the pool's events to `listener`, held weakly, as Collector::Subscribe does.
    void Subscribe(const std::shared_ptr<IResourcePoolListener>& listener);
    void Unsubscribe();

    struct impl_t;

private:
    friend class Collector;

    // Throws "Unable to QueryInterface" when `pool` is not a resource pool.
    explicit ResourcePool(IUnknown* pool);
    explicit ResourcePool(std::shared_ptr<impl_t> impl) noexcept : impl_(std::move(impl)) {}

    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
