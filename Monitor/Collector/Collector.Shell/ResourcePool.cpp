// ResourcePool: the calls of the collector's resource pool, its properties and its events.
#include "pch.h"

#include "EventListener.h"
#include "HandedOut.h"
#include "Iterator.imp"
#include "Properties.h"
#include "SimpleSinks.h"

#include <collector/shell/ResourcePool.h>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

// The pool is released before the event connection is ended; the connection holds its source while
// advised.
struct ResourcePool::impl_t {
    detail::EventListener<detail::resource_pool_sink_t> events;
    detail::CComQIPtrStrong<IResourcePool, &IID_IResourcePool> pool;

    // The events come from the object as the collector handed it out; `pool` keeps it alive.
    explicit impl_t(IUnknown* object) : events(object, IID_IResourcePoolEvents), pool(object) {}
};

ResourcePool::ResourcePool(IUnknown* pool) : impl_(std::make_shared<impl_t>(pool)) {}

EnumIterator<Resource> ResourcePool::begin() const
{
    return EnumIterator<Resource>(detail::handed_out(impl_->pool.p, &IResourcePool::GetEnumerator),
                                  EnumIterator<Resource>::default_ctor());
}

Resource ResourcePool::Add(std::wstring_view name, const Object& value)
{
    const _variant_t copy(value.data());
    return Resource(detail::handed_out(impl_->pool.p, &IResourcePool::Add, detail::make_bstr(name),
                                       static_cast<const VARIANT&>(copy)));
}

void ResourcePool::Remove(std::wstring_view name)
{
    detail::call(impl_->pool.p, &IResourcePool::Remove, detail::make_bstr(name));
}

Resource ResourcePool::operator[](std::wstring_view name) const
{
    CComPtr<IUnknown> found;
    if (FAILED(impl_->pool->Find(detail::make_bstr(name), &found)))
        return {};
    return Resource(found);
}

void ResourcePool::Load(std::wstring_view text)
{
    detail::call(impl_->pool.p, &IResourcePool::Load, detail::make_bstr(text));
}

void ResourcePool::Merge(std::wstring_view text, EMergeMode mode)
{
    detail::call(impl_->pool.p, &IResourcePool::Merge, detail::make_bstr(text), mode);
}

void ResourcePool::Save(std::wstring_view text)
{
    detail::call(impl_->pool.p, &IResourcePool::Save, detail::make_bstr(text));
}

void ResourcePool::SetProperty(std::wstring_view name, const _variant_t& value)
{
    detail::set_property(impl_->pool, name, value, COLLECTOR_THROW_SITE);
}

_variant_t ResourcePool::GetProperty(std::wstring_view name)
{
    return detail::get_property(impl_->pool, name, COLLECTOR_THROW_SITE);
}

void ResourcePool::Subscribe(const std::shared_ptr<IResourcePoolListener>& listener)
{
    impl_->events.connect(listener);
}

void ResourcePool::Unsubscribe() { impl_->events.disconnect(); }

} // namespace collector::shell
