#include "world.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace bench {

using namespace std::chrono_literals;

namespace {

constexpr GUID item_class{0xBE4C0001, 0, 0, {1}};
constexpr GUID library_flow_class{0xBE4C0002, 0, 0, {1}};
constexpr GUID raw_flow_class{0xBE4C0003, 0, 0, {1}};

// Setup steps only: the timed code checks its results without exceptions.
void need(HRESULT hr, const char* step)
{
    if (FAILED(hr)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s failed: 0x%08lX", step, static_cast<unsigned long>(hr));
        throw std::runtime_error(text);
    }
}

template <class I>
CComPtr<I> as(IUnknown* object, const char* step)
{
    CComPtr<I> result;
    need(object ? object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&result)) : E_POINTER, step);
    return result;
}

// An item: keyed by Id, with two texts, a number, a double and the method Double, which doubles its
// parameter Times.
reference::Fields Item(LONG id)
{
    const auto double_times = [](const reference::MethodCall& call) -> reference::MethodOutcome {
        const auto times = call.parameters.find(L"Times");
        if (times == call.parameters.end() || times->second.vt != VT_I4)
            return reference::MethodFailure{E_INVALIDARG, L"Times is missing"};
        return _variant_t(LONG(times->second.lVal * 2));
    };
    return {{L"Id", _variant_t(id)},
            {L"Name", _variant_t((L"item-" + std::to_wstring(id)).c_str())},
            {L"Size", _variant_t(size_of(id))},
            {L"Owner", _variant_t(L"bench")},
            {L"Ratio", _variant_t(id / 7.0)},
            {L"Double", reference::MethodValue{L"doubles Times", double_times}}};
}

reference::Batch Changes(reference::ECompositionRecordKind kind, LONG count)
{
    reference::Batch batch;
    for (LONG id = 1; id <= count; ++id)
        batch.push_back({kind, Item(id)});
    return batch;
}

CComPtr<ci::ICollection> Deploy(ci::ITask* task, const wchar_t* className)
{
    const raw_bstr name(className);
    CComPtr<IUnknown> deployed;
    need(task->Deploy(name.text, &deployed), "ITask::Deploy");
    CComPtr<ci::ICollection> collection = as<ci::ICollection>(deployed, "ICollection");
    need(collection->Run(), "ICollection::Run");
    return collection;
}

// The method field of that name of a record.
CComPtr<ci::IFieldMethod> FindMethod(ci::IRecord* record, std::wstring_view name)
{
    CComPtr<IEnumVARIANT> fields;
    need(record->GetFields(&fields), "IRecord::GetFields");
    for (;;) {
        raw_variant element;
        ULONG fetched = 0;
        need(fields->Next(1, &element, &fetched), "IEnumVARIANT::Next");
        if (fetched == 0)
            throw std::runtime_error("the record has no method Double");
        const CComPtr<ci::IField> field = as<ci::IField>(element.punkVal, "IField");
        BSTR text = nullptr;
        need(field->GetName(&text), "IField::GetName");
        const bool found = name == std::wstring_view(text, SysStringLen(text));
        SysFreeString(text);
        if (found)
            return as<ci::IFieldMethod>(field, "IFieldMethod");
    }
}

DWORD Advise(IUnknown* source, REFIID events, IUnknown* sink)
{
    CComPtr<IConnectionPoint> point;
    need(as<IConnectionPointContainer>(source, "IConnectionPointContainer")->FindConnectionPoint(events, &point),
         "FindConnectionPoint");
    DWORD cookie = 0;
    need(point->Advise(sink, &cookie), "IConnectionPoint::Advise");
    return cookie;
}

// At the end: the source's answer changes nothing.
void Unadvise(IUnknown* source, REFIID events, DWORD cookie)
{
    CComPtr<IConnectionPointContainer> container;
    CComPtr<IConnectionPoint> point;
    if (SUCCEEDED(source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(events, &point)))
        point->Unadvise(cookie);
}

CComPtr<CComObject<RawSink>> MakeRawSink(Tally& tally)
{
    CComObject<RawSink>* created = nullptr;
    need(CComObject<RawSink>::CreateInstance(&created), "RawSink");
    CComPtr<CComObject<RawSink>> sink(created);
    sink->SetTally(&tally);
    return sink;
}

} // namespace

// ---- Raw helpers ----------------------------------------------------------------------------------

std::optional<int> raw_int(ci::IRecord* record, const wchar_t* name)
{
    const raw_bstr text(name);
    if (!text.text)
        return std::nullopt;
    raw_variant value, converted;
    if (FAILED(record->GetValue(text.text, &value)) || FAILED(VariantChangeType(&converted, &value, 0, VT_I4)))
        return std::nullopt;
    return converted.lVal;
}

std::optional<std::wstring> raw_text(ci::IRecord* record, const wchar_t* name)
{
    const raw_bstr text(name);
    if (!text.text)
        return std::nullopt;
    raw_variant value;
    if (FAILED(record->GetValue(text.text, &value)) || value.vt != VT_BSTR)
        return std::nullopt;
    return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
}

void raw_dispose(IUnknown* object)
{
    CComPtr<ci::IDisposableObject> disposable;
    if (SUCCEEDED(object->QueryInterface(ci::IID_IDisposableObject, reinterpret_cast<void**>(&disposable))) &&
        disposable)
        disposable->Dispose();
}

// ---- Deliveries -----------------------------------------------------------------------------------

// Only the delivery that reaches the awaited count takes the lock.
void Tally::Add(int size)
{
    sizes_ += size;
    if (++count_ >= target_) {
        const std::lock_guard lock(mutex_);
        reached_.notify_all();
    }
}

bool Tally::Await()
{
    std::unique_lock lock(mutex_);
    return reached_.wait_for(lock, 10s, [&] { return count_ >= target_; });
}

void Tally::Reset()
{
    target_ = std::numeric_limits<long>::max();
    count_ = 0;
    sizes_ = 0;
}

void TallyListener::RecordAdded(collector::shell::Record record) { tally_.Add(record[L"Size"].get<int>()); }

void TallyListener::RecordUpdated(collector::shell::Record record) { tally_.Add(record[L"Size"].get<int>()); }

HRESULT RawSink::take(ci::IRecord* record)
{
    if (!record)
        return E_POINTER;
    const std::optional<int> size = raw_int(record, L"Size");
    raw_dispose(record);
    if (!size)
        return E_FAIL;
    tally_->Add(*size);
    return S_OK;
}

// The changes one by one, as the library's sink offers them to a listener that does not take the
// whole set; removals carry no Size.
HRESULT RawSink::Updated(GUID, ci::ICompositionSet* set)
{
    if (!set)
        return E_POINTER;
    CComPtr<IUnknown> records;
    HRESULT hr = set->GetRecords(&records);
    if (FAILED(hr))
        return hr;
    CComPtr<IEnumVARIANT> changes;
    if (!records || FAILED(hr = records->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&changes))))
        return FAILED(hr) ? hr : E_POINTER;
    for (;;) {
        raw_variant element;
        ULONG fetched = 0;
        if (FAILED(hr = changes->Next(1, &element, &fetched)))
            return hr;
        if (fetched == 0)
            break;
        CComPtr<ci::ICompositionRecord> change;
        if (element.vt != VT_UNKNOWN || !element.punkVal ||
            FAILED(element.punkVal->QueryInterface(ci::IID_ICompositionRecord, reinterpret_cast<void**>(&change))))
            continue;
        ci::ECompositionRecordKind kind{};
        if (FAILED(hr = change->GetKind(&kind)))
            return hr;
        if (kind == ci::ECompositionRecordKind::Removed)
            continue;
        raw_variant item;
        CComPtr<ci::IRecord> record;
        if (FAILED(hr = change->GetItem(&item)))
            return hr;
        if (item.vt == VT_UNKNOWN && item.punkVal &&
            SUCCEEDED(item.punkVal->QueryInterface(ci::IID_IRecord, reinterpret_cast<void**>(&record))))
            take(record);
    }
    raw_dispose(set);
    return S_OK;
}

// ---- The world ------------------------------------------------------------------------------------

HRESULT SinkCatcher::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IConnectionPointContainer))
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualGUID(iid, IID_IConnectionPoint))
        *out = static_cast<IConnectionPoint*>(this);
    else
        return collection_->QueryInterface(iid, out);
    AddRef();
    return S_OK;
}

HRESULT SinkCatcher::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!IsEqualGUID(iid, ci::IID_ICollectionEvents))
        return CONNECT_E_NOCONNECTION;
    *point = this;
    AddRef();
    return S_OK;
}

HRESULT SinkCatcher::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = ci::IID_ICollectionEvents;
    return S_OK;
}

HRESULT SinkCatcher::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = this;
    AddRef();
    return S_OK;
}

HRESULT SinkCatcher::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    sink_.Release();
    const HRESULT hr = sink->QueryInterface(ci::IID_ICollectionEvents, reinterpret_cast<void**>(&sink_));
    *cookie = SUCCEEDED(hr) ? 1 : 0;
    return SUCCEEDED(hr) ? S_OK : CONNECT_E_CANNOTCONNECT;
}

HRESULT SinkCatcher::Unadvise(DWORD cookie)
{
    if (cookie != 1 || !sink_)
        return CONNECT_E_NOCONNECTION;
    sink_.Release();
    return S_OK;
}

Component::Component()
{
    itemClass = registration.DefineClass({item_class, L"Item", L"1.0", L"bench", false, {L"Id"}});
    itemClass.Apply(Changes(reference::ECompositionRecordKind::Added, item_count));
    libraryFlow.source = registration.DefineClass({library_flow_class, L"LibraryFlow", L"1.0", L"bench", false, {L"Id"}});
    rawFlow.source = registration.DefineClass({raw_flow_class, L"RawFlow", L"1.0", L"bench", false, {L"Id"}});
    for (const Flow* flow : {&libraryFlow, &rawFlow})
        flow->source.Apply(Changes(reference::ECompositionRecordKind::Added, batch_size));

    need(CoCreateInstance(ci::CLSID_ArborVcfCollector, nullptr, CLSCTX_INPROC_SERVER, ci::IID_ICollector,
                          reinterpret_cast<void**>(&collector)),
         "CoCreateInstance");
    CComPtr<IUnknown> pool;
    need(collector->GetClassPool(&pool), "ICollector::GetClassPool");
    classPool = as<ci::IClassPool>(pool, "IClassPool");
    pool.Release();
    need(collector->GetTaskPool(&pool), "ICollector::GetTaskPool");
    const raw_bstr name(L"bench");
    CComPtr<IUnknown> deployed;
    need(as<ci::ITaskPool>(pool, "ITaskPool")->Deploy(name.text, nullptr, nullptr, 1, &deployed), "ITaskPool::Deploy");
    task = as<ci::ITask>(deployed, "ITask");

    items = Deploy(task, L"Item");
    catcher.StandFor(items);
    const std::vector<CComPtr<ci::IRecord>> fresh = FreshItems();
    if (fresh.size() != item_count)
        throw std::runtime_error("the item collection does not hold every item");
    record = fresh.front();
    method = FindMethod(record, L"Double");
    libraryFlow.collection = Deploy(task, L"LibraryFlow");
    rawFlow.collection = Deploy(task, L"RawFlow");
}

std::vector<CComPtr<ci::IRecord>> Component::FreshItems() const
{
    CComPtr<IUnknown> enumerable;
    need(items->GetEnumerator(&enumerable), "ICollection::GetEnumerator");
    const CComPtr<IEnumVARIANT> records = as<IEnumVARIANT>(enumerable, "IEnumVARIANT");
    std::vector<CComPtr<ci::IRecord>> fresh;
    fresh.reserve(item_count);
    for (;;) {
        raw_variant element;
        ULONG fetched = 0;
        need(records->Next(1, &element, &fetched), "IEnumVARIANT::Next");
        if (fetched == 0)
            return fresh;
        fresh.push_back(as<ci::IRecord>(element.punkVal, "IRecord"));
    }
}

World::World()
    : itemsHandle(static_cast<IConnectionPointContainer*>(&catcher), classPool),
      recordHandle(record, classPool),
      methodHandle(nullptr, method),
      rawSink(MakeRawSink(rawSinkTally)),
      sinkListener_(std::make_shared<TallyListener>(librarySinkTally)),
      flowListener_(std::make_shared<TallyListener>(libraryFlow.tally)),
      libraryFlowHandle_(libraryFlow.collection, classPool),
      rawFlowSink_(MakeRawSink(rawFlow.tally))
{
    itemsHandle.Subscribe(sinkListener_);
    librarySink = catcher.Sink();
    if (!librarySink)
        throw std::runtime_error("the library advised no sink");
    libraryFlowHandle_.Subscribe(flowListener_);

    // What the library does for its listener, done by hand: batches of at most 1000 changes.
    need(rawFlow.collection->GetComposition(1000, &rawFlowComposition_), "ICollection::GetComposition");
    rawFlowCookies_[0] = Advise(rawFlow.collection, ci::IID_ICollectionEvents, rawFlowSink_->GetUnknown());
    rawFlowCookies_[1] = Advise(rawFlowComposition_, ci::IID_ICompositionEvents, rawFlowSink_->GetUnknown());
}

World::~World()
{
    Unadvise(rawFlow.collection, ci::IID_ICollectionEvents, rawFlowCookies_[0]);
    Unadvise(rawFlowComposition_, ci::IID_ICompositionEvents, rawFlowCookies_[1]);
    rawFlowComposition_->Shutdown();
    libraryFlowHandle_.Unsubscribe();
    itemsHandle.Unsubscribe();
}

reference::Batch UpdateBatch() { return Changes(reference::ECompositionRecordKind::Updated, batch_size); }

} // namespace bench
