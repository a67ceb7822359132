// Resource: the id, name and value of one resource of the collector, and its deployment to a target.
#include "pch.h"

#include "DeploymentDataObject.h"
#include "DeploymentTargetObject.h"
#include "RecordImpl.h"
#include "Iterator.imp"

#include <collector/shell/Resource.h>

#include <utility>

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Resource);

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Resource::impl_t {
    detail::CComQIPtrStrong<IResource, &IID_IResource> resource;

    explicit impl_t(IUnknown* object) : resource(object) {}
};

namespace {

IResource* resource_of(const std::shared_ptr<Resource::impl_t>& impl, const detail::throw_site_t& site)
{
    return detail::require(impl, L"Resource", site).resource.p;
}

} // namespace

Resource::Resource(IUnknown* resource) : impl_(resource ? std::make_shared<impl_t>(resource) : nullptr) {}

GUID Resource::GetId() const
{
    GUID id{};
    detail::call(resource_of(impl_, COLLECTOR_THROW_SITE), &IResource::GetId, &id);
    return id;
}

tstring Resource::GetName() const
{
    return detail::read_text(resource_of(impl_, COLLECTOR_THROW_SITE), &IResource::GetName);
}

Object Resource::GetResource() const
{
    IResource* const resource = resource_of(impl_, COLLECTOR_THROW_SITE);
    _variant_t value;
    detail::call(resource, &IResource::GetResource, &value);
    return Object(std::move(value));
}

Object Resource::Deploy(DeploymentTarget target, DeploymentData data) const
{
    IResource* const resource = resource_of(impl_, COLLECTOR_THROW_SITE);
    const CComPtr<IDeploymentTarget> to = detail::deployment_target_of(target);
    const CComPtr<IDeploymentData> bag = detail::deployment_data_of(data);
    _variant_t result;
    detail::call(resource, &IResource::Deploy, to.p, bag.p, &result);
    return Object(std::move(result));
}

} // namespace collector::shell
