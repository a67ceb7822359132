// HostPool: lookups, creation, iteration and EnsureHost over the collector's host pool.
#include "pch.h"

#include "HandedOut.h"
#include "Iterator.imp"

#include <collector/shell/HostPool.h>

#include <Kernel/string.h>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct HostPool::impl_t {
    detail::CComQIPtrStrong<IHostPool, &IID_IHostPool> pool;

    explicit impl_t(IUnknown* object) : pool(object) {}
};

HostPool::HostPool(IUnknown* pool) : impl_(std::make_shared<impl_t>(pool)) {}

Host HostPool::operator[](GUID id) const { return Host(detail::handed_out(impl_->pool.p, &IHostPool::GetHost, id)); }

bool HostPool::IsExist(GUID id) const
{
    CComPtr<IUnknown> host;
    return SUCCEEDED(impl_->pool->GetHost(id, &host)) && host;
}

Host HostPool::Create(std::wstring_view name)
{
    return Host(detail::handed_out(impl_->pool.p, &IHostPool::Create, detail::make_bstr(name)));
}

Host HostPool::CreateDefault(std::wstring_view name)
{
    return Host(detail::handed_out(impl_->pool.p, &IHostPool::CreateDefault, detail::make_bstr(name)));
}

EnumIterator<Host> HostPool::begin() const
{
    return EnumIterator<Host>(detail::handed_out(impl_->pool.p, &IHostPool::GetHosts),
                              EnumIterator<Host>::default_ctor());
}

Host HostPool::EnsureHost(std::wstring_view name)
{
    for (auto host = begin(); host != end(); ++host) {
        if (ostra::lux::kernel::detail::CompareStringOrdinal(host->GetName(), name, true) == 0)
            return *host;
    }
    return Create(name);
}

} // namespace collector::shell
