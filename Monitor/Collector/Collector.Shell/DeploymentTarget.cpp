// DeploymentTarget: the id, name and type of a target of the collector, and deployments to it.
#include "pch.h"

#include "DeploymentDataObject.h"
#include "DeploymentTargetObject.h"
#include "RecordImpl.h"

#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct DeploymentTarget::impl_t {
    detail::CComQIPtrStrong<IDeploymentTarget, &IID_IDeploymentTarget> target;

    explicit impl_t(IUnknown* object) : target(object) {}
};

namespace {

IDeploymentTarget* target_of(const std::shared_ptr<DeploymentTarget::impl_t>& impl, const detail::throw_site_t& site)
{
    return detail::require(impl, L"DeploymentTarget", site).target.p;
}

} // namespace

namespace detail {

struct deployment_target_access {
    static const std::shared_ptr<DeploymentTarget::impl_t>& impl(const DeploymentTarget& target) noexcept
    {
        return target.impl_;
    }
};

CComPtr<IDeploymentTarget> deployment_target_of(const DeploymentTarget& target)
{
    return CComPtr<IDeploymentTarget>(target_of(deployment_target_access::impl(target), COLLECTOR_THROW_SITE));
}

} // namespace detail

DeploymentTarget::DeploymentTarget(IUnknown* target) : impl_(target ? std::make_shared<impl_t>(target) : nullptr) {}

GUID DeploymentTarget::GetId() const
{
    GUID id{};
    detail::call(target_of(impl_, COLLECTOR_THROW_SITE), &IDeploymentTarget::GetId, &id);
    return id;
}

tstring DeploymentTarget::GetName() const
{
    return detail::read_text(target_of(impl_, COLLECTOR_THROW_SITE), &IDeploymentTarget::GetName);
}

EDeploymentTarget DeploymentTarget::GetType() const
{
    EDeploymentTarget type{};
    detail::call(target_of(impl_, COLLECTOR_THROW_SITE), &IDeploymentTarget::GetType, &type);
    return type;
}

Object DeploymentTarget::Deploy(const _variant_t& argument, DeploymentData data)
{
    IDeploymentTarget* const target = target_of(impl_, COLLECTOR_THROW_SITE);
    const CComPtr<IDeploymentData> bag = detail::deployment_data_of(data);
    const _variant_t copy(argument);
    _variant_t result;
    detail::call(target, &IDeploymentTarget::Deploy, static_cast<const VARIANT&>(copy), bag.p, &result);
    return Object(std::move(result));
}

} // namespace collector::shell
