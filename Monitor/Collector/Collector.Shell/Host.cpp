// Host: the id, name and locality of one host of the collector.
#include "pch.h"

#include "RecordImpl.h"
#include "Iterator.imp"

#include <collector/shell/Host.h>

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Host);

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Host::impl_t {
    detail::CComQIPtrStrong<IHost, &IID_IHost> host;

    explicit impl_t(IUnknown* object) : host(object) {}
};

namespace {

// The host behind a handle. A handle made from a null object has no host either, and reads as empty.
IHost* host_of(const std::shared_ptr<Host::impl_t>& impl, const detail::throw_site_t& site)
{
    IHost* const host = impl ? impl->host.p : nullptr;
    if (!host)
        detail::throw_condition(L"Host is null", site);
    return host;
}

} // namespace

Host::Host(IUnknown* host) : impl_(std::make_shared<impl_t>(host)) {}

GUID Host::GetId() const
{
    GUID id{};
    detail::call(host_of(impl_, COLLECTOR_THROW_SITE_AT(30)), &IHost::GetId, &id);
    return id;
}

tstring Host::GetName() const
{
    return detail::read_text(host_of(impl_, COLLECTOR_THROW_SITE_AT(37)), &IHost::GetName);
}

void Host::SetName(std::wstring_view name) const
{
    detail::call(host_of(impl_, COLLECTOR_THROW_SITE_AT(44)), &IHost::SetName, detail::make_bstr(name));
}

bool Host::IsLocal() const
{
    VARIANT_BOOL local = VARIANT_FALSE;
    detail::call(host_of(impl_, COLLECTOR_THROW_SITE_AT(51)), &IHost::IsLocal, &local);
    return local != VARIANT_FALSE;
}

} // namespace collector::shell
