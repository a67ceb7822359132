// The registration: the class objects in the calling apartment, and the scripting surface.
#include "objects.h"
#include "services.h"

#include <cstdio>
#include <stdexcept>

namespace collector::reference {

using namespace detail;

namespace {

struct collector_class_entry_t {
    const CLSID* id;
    DWORD context;
};

// Sources 0, 3 and 4 share the first class; the standalone class of source 2 is a local server. Each
// class object serves exactly its context (REGCLS_MULTI_SEPARATE adds no in-process one).
constexpr collector_class_entry_t collector_classes[] = {
    {&CLSID_ArborHyperVWmiCollector, CLSCTX_INPROC_SERVER},
    {&CLSID_ArborVcfCollector, CLSCTX_INPROC_SERVER},
    {&CLSID_VMwareCollector, CLSCTX_INPROC_SERVER},
    {&CLSID_VMwareStandaloneCollector, CLSCTX_LOCAL_SERVER},
    {&CLSID_RestCollector, CLSCTX_INPROC_SERVER},
    {&CLSID_EventsCollector, CLSCTX_INPROC_SERVER},
    {&CLSID_CirrusCollector, CLSCTX_INPROC_SERVER},
    {&CLSID_MetricsCollector, CLSCTX_INPROC_SERVER},
};

void throw_failed(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        throw std::runtime_error(std::string(what) + " failed with HRESULT " + code);
    }
}

// The options, once known to be usable: a refresh period of zero or less would spin the refresh thread.
Options checked(Options options)
{
    if (options.refreshPeriod <= std::chrono::milliseconds::zero())
        throw std::invalid_argument("The refresh period of the live record classes must be positive");
    return options;
}

} // namespace

Registration::Registration() : Registration(Options{}) {}

Registration::Registration(Options options) : world_(std::make_shared<world_t>(checked(options)))
{
    install_live_classes(*world_);
    try {
        const CComPtr<IClassFactory> collectors = make_collector_class(world_);
        for (const auto& entry : collector_classes) {
            DWORD cookie = 0;
            throw_failed(CoRegisterClassObject(*entry.id, collectors, entry.context, REGCLS_MULTI_SEPARATE, &cookie),
                         "CoRegisterClassObject of a collector class");
            cookies_.push_back(cookie);
        }
        if (const CComPtr<IClassFactory> profiles = make_profile_class(world_)) {
            DWORD cookie = 0;
            throw_failed(CoRegisterClassObject(CLSID_ProfileFactory, profiles, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                               REGCLS_MULTI_SEPARATE, &cookie),
                         "CoRegisterClassObject of the profile class");
            cookies_.push_back(cookie);
        }
    } catch (...) {
        for (const DWORD cookie : cookies_)
            CoRevokeClassObject(cookie);
        throw;
    }
}

Registration::~Registration()
{
    for (const DWORD cookie : cookies_)
        CoRevokeClassObject(cookie);
    faults().clear(world_.get());
}

RecordClass Registration::DefineClass(ClassDefinition definition)
{
    return world_->define(std::move(definition));
}

RecordClass Registration::FindClass(std::wstring_view name) const
{
    auto source = world_->find(name);
    return source ? world_->handle(std::move(source)) : RecordClass();
}

void Registration::FailCall(std::wstring operation, unsigned occurrence, HRESULT hr, std::wstring description)
{
    faults().arm(world_.get(), std::move(operation), occurrence, hr, std::move(description));
}

bool Registration::SetTaskState(const GUID& taskId, ETaskState state, std::wstring description)
{
    return world_->set_state(taskId, static_cast<LONG>(state), std::move(description));
}

bool Registration::SetCollectionState(const GUID& collectionId, ECollectionState state, std::wstring description)
{
    return world_->set_state(collectionId, static_cast<LONG>(state), std::move(description));
}

const Options& Registration::GetOptions() const noexcept
{
    return world_->options;
}

long Registration::LiveObjects() noexcept
{
    return counted_t::count().load();
}

_variant_t GuidValue(const GUID& id)
{
    OLECHAR text[39];
    if (StringFromGUID2(id, text, 39) != 39)
        throw std::runtime_error("StringFromGUID2 failed");
    text[37] = L'\0';
    return _variant_t(text + 1);
}

// ---- RecordClass ----------------------------------------------------------------------------------

const ClassDefinition& RecordClass::Definition() const
{
    return source_->definition;
}

void RecordClass::Apply(Batch batch) const
{
    source_->apply(std::move(batch));
}

std::vector<Fields> RecordClass::Records() const
{
    return source_->records_copy();
}

void RecordClass::OnRunning(std::function<void(bool running)> hook) const
{
    source_->set_hook(std::move(hook));
}

} // namespace collector::reference
