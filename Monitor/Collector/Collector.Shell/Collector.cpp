// Collector: creates the component object of a source, passes the run-state operations and properties
// through to it, and hands out its pools from a weak cache. CreateProfile needs no collector.
#include "pch.h"

#include "DeploymentDataObject.h"
#include "EventListener.h"
#include "HandedOut.h"
#include "PoolCache.h"
#include "Properties.h"
#include "RecordImpl.h"
#include "SimpleSinks.h"

#include <collector/shell/Collector.h>

#include <fmt/xchar.h>

#include <array>
#include <iterator>
#include <string_view>
#include <tuple>
#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

namespace {

// The component class that serves a source, the context it is created in, and the text that a failed
// creation reports.
struct component_class_t {
    const CLSID* clsid;
    DWORD context;
    std::wstring_view message;
};

constexpr component_class_t arbor_hyperv_wmi{&CLSID_ArborHyperVWmiCollector, CLSCTX_INPROC_SERVER,
                                             L"CoCreateInstance for IID_ICollector (Arbor & HyperV & WMI)"};

constexpr component_class_t component_classes[] = {
    arbor_hyperv_wmi,
    {&CLSID_ArborVcfCollector, CLSCTX_INPROC_SERVER, L"CoCreateInstance for IID_ICollector (Arbor over VCF)"},
    {&CLSID_VMwareCollector, CLSCTX_INPROC_SERVER, L"CoCreateInstance for IID_ICollector (VMware)"},
    arbor_hyperv_wmi,
    arbor_hyperv_wmi,
    {&CLSID_RestCollector, CLSCTX_INPROC_SERVER, L"CoCreateInstance for IID_ICollector (REST)"},
    {&CLSID_EventsCollector, CLSCTX_INPROC_SERVER, L"CoCreateInstance for IID_ICollector (Events)"},
    {&CLSID_CirrusCollector, CLSCTX_INPROC_SERVER, L"CoCreateInstance for IID_ICollector (Cirrus)"},
    {&CLSID_MetricsCollector, CLSCTX_INPROC_SERVER, L"CoCreateInstance for IID_ICollector (Metrics)"},
};

constexpr component_class_t vmware_standalone{&CLSID_VMwareStandaloneCollector, CLSCTX_LOCAL_SERVER,
                                              L"CoCreateInstance for IID_ICollector (VMware | standalone)"};

// Profiles may be made in any process, so the profile object is created for IUnknown and run before it
// is asked for its factory. The first failure is given back.
HRESULT create_profile_factory(CComPtr<IProfileFactory>& factory)
{
    constexpr DWORD any_server =
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
    CComPtr<IUnknown> object;
    HRESULT hr =
        CoCreateInstance(CLSID_ProfileFactory, nullptr, any_server, IID_IUnknown, reinterpret_cast<void**>(&object));
    if (SUCCEEDED(hr))
        hr = OleRun(object);
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(IID_IProfileFactory, reinterpret_cast<void**>(&factory));
    return hr;
}

const component_class_t& component_class(ECollectorSource source, bool standalone)
{
    const auto index = static_cast<std::uint32_t>(source);
    if (index >= std::size(component_classes))
        detail::throw_condition(fmt::format(L"Unknown source: {}", static_cast<std::int32_t>(source)),
                                COLLECTOR_THROW_SITE);
    if (source == ECollectorSource::VMware && standalone)
        return vmware_standalone;
    return component_classes[index];
}

} // namespace

struct Collector::impl_t {
    // Declared first so that it ends last: after the shutdown and the release of `collector`, events
    // are disconnected and the sink released.
    detail::EventListener<detail::collector_sink_t> events{nullptr, IID_ICollectorEvents};
    CComPtr<ICollector> collector;
    // The pools last handed out, held weakly: a pool lives exactly as long as its handles.
    mutable detail::pool_cache_t<DatabaseStorage::impl_t, HostPool::impl_t, UserPool::impl_t, ResourcePool::impl_t,
                                  TaskPool::impl_t>
        pools;

    impl_t(ECollectorSource source, bool standalone)
    {
        const component_class_t& component = component_class(source, standalone);
        KERNEL_RESULT_CHECKER(component.message) = CoCreateInstance(
            *component.clsid, nullptr, component.context, IID_ICollector, reinterpret_cast<void**>(&collector));
        events.set_source(collector);
    }

    impl_t(const impl_t&) = delete;
    impl_t& operator=(const impl_t&) = delete;

    // The component ends its work while the library still holds it; its result does not matter here.
    ~impl_t() { collector->Shutdown(); }

    // The pool that a live handle still shares, else the one whose implementation `make` builds.
    template <class Pool, class Make>
    Pool cached(Make&& make) const
    {
        return Pool(pools.get<typename Pool::impl_t>(std::forward<Make>(make)));
    }

    // The pool that a live handle still shares, else a new one whose handle is built from the objects
    // that `getters` of the collector hand out, asked for in the order given. A pool handle that the
    // collector makes has a constructor from those objects (IUnknown*) and one from its impl_t.
    template <class Pool, class... Getters>
    Pool pool(Getters... getters) const
    {
        return cached<Pool>([&] {
            // A braced list asks the collector in order.
            const std::array<CComPtr<IUnknown>, sizeof...(Getters)> objects{
                detail::handed_out(collector.p, getters)...};
            return std::apply([](const auto&... object) { return Pool(object.p...).impl_; }, objects);
        });
    }
};

Collector::Collector(ECollectorSource source) : Collector(source, false) {}

Collector::Collector(ECollectorSource source, bool standalone)
    : impl_(std::make_shared<impl_t>(source, standalone))
{
}

Collector::~Collector() = default;

void Collector::Start() { detail::call(impl_->collector.p, &ICollector::Start); }

void Collector::Stop() { detail::call(impl_->collector.p, &ICollector::Stop); }

void Collector::Suspend() { detail::call(impl_->collector.p, &ICollector::Suspend); }

void Collector::Restart() { detail::call(impl_->collector.p, &ICollector::Restart); }

void Collector::Terminate() { detail::call(impl_->collector.p, &ICollector::Terminate); }

ECollectorState Collector::GetState() const
{
    ECollectorState state{};
    detail::call(impl_->collector.p, &ICollector::GetState, &state);
    return state;
}

void Collector::SetProperty(std::wstring_view name, const _variant_t& value)
{
    detail::set_property(impl_->collector, name, value, COLLECTOR_THROW_SITE);
}

_variant_t Collector::GetProperty(std::wstring_view name)
{
    return detail::get_property(impl_->collector, name, COLLECTOR_THROW_SITE);
}

// The collector object is its own storage: nothing is asked for.
DatabaseStorage Collector::GetDatabaseStorage() const
{
    return impl_->cached<DatabaseStorage>([this] { return DatabaseStorage(impl_->collector.p).impl_; });
}

HostPool Collector::GetHostPool() const { return impl_->pool<HostPool>(&ICollector::GetHostPool); }

UserPool Collector::GetUserPool() const { return impl_->pool<UserPool>(&ICollector::GetUserPool); }

ResourcePool Collector::GetResourcePool() const
{
    return impl_->pool<ResourcePool>(&ICollector::GetResourcePool);
}

TaskPool Collector::GetTaskPool() const
{
    return impl_->pool<TaskPool>(&ICollector::GetTaskPool, &ICollector::GetClassPool);
}

Record Collector::CreateProfile(std::wstring_view first, std::wstring_view second, std::wstring_view third,
                                const DeploymentData& data, void* context)
{
    CComPtr<IProfileFactory> factory;
    detail::checked_at(COLLECTOR_THROW_SITE_AT(273)) = create_profile_factory(factory);
    const CComPtr<IDeploymentData> bag = detail::deployment_data_of(data);
    if (!factory)
        _com_issue_error(E_POINTER);
    const _bstr_t third_text = detail::make_bstr(third);
    const _bstr_t second_text = detail::make_bstr(second);
    const _bstr_t first_text = detail::make_bstr(first);
    const CComPtr<IUnknown> profile = detail::handed_out(factory.p, &IProfileFactory::CreateProfile, first_text,
                                                         second_text, third_text, bag.p, context);
    if (!profile)
        return {};
    return Record(std::make_shared<detail::record_impl_t<IObject>>(profile, nullptr));
}

void Collector::Subscribe(const std::shared_ptr<ICollectorListener>& listener) { impl_->events.connect(listener); }

void Collector::Unsubscribe() { impl_->events.disconnect(); }

} // namespace collector::shell
