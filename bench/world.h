// The objects that every pair measures: a reference collector in this process, one task of it and the
// collections below, each reached through raw interface pointers and through the library's handles
// built over the very same pointers. The raw helpers are what a careful program writes without the
// library: every HRESULT checked, every reference and VARIANT released on every path.
#pragma once

#include <collector/interfaces.h>
#include <collector/reference.h>
#include <collector/shell.h>

#include <atlbase.h>
#include <atlcom.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace bench {

namespace ci = Ostra_Lux_Collector_Interfaces;
namespace reference = collector::reference;

// The records of the item class, walked whole by the iteration and event pairs.
inline constexpr LONG item_count = 1000;
// The records that one announced batch updates.
inline constexpr LONG batch_size = 100;
// The Size field of item `id`, so that every reader can check what it read.
constexpr LONG size_of(LONG id) { return id * 3; }
// The sum of the Size fields of items first..last.
constexpr long long sizes_of(LONG first, LONG last) { return 3LL * (first + last) * (last - first + 1) / 2; }

// ---- Raw helpers ----------------------------------------------------------------------------------

// A VARIANT that clears itself.
struct raw_variant : VARIANT {
    raw_variant() { VariantInit(this); }
    ~raw_variant() { VariantClear(this); }
    raw_variant(const raw_variant&) = delete;
    raw_variant& operator=(const raw_variant&) = delete;
};

// A BSTR that frees itself; null when the allocation failed.
struct raw_bstr {
    BSTR text;
    explicit raw_bstr(const wchar_t* value) : text(SysAllocString(value)) {}
    ~raw_bstr() { SysFreeString(text); }
    raw_bstr(const raw_bstr&) = delete;
    raw_bstr& operator=(const raw_bstr&) = delete;
};

// The named value of a record coerced to VT_I4; nothing when a call fails.
std::optional<int> raw_int(ci::IRecord* record, const wchar_t* name);
// The named value of a record coerced to a text; nothing when a call fails.
std::optional<std::wstring> raw_text(ci::IRecord* record, const wchar_t* name);
// Tells the component that the caller is done with a record or a set, when it cares to know.
void raw_dispose(IUnknown* object);

// ---- Deliveries -----------------------------------------------------------------------------------

// What a sink or a listener received on the component's threads: records and the sum of their Size
// values.
class Tally {
public:
    void Add(int size);
    // The count that Await waits for; set before the deliveries that reach it start.
    void Expect(long count) { target_ = count; }
    // Waits until the expected count arrived; false after ten seconds.
    bool Await();
    long Count() const { return count_; }
    long long Sizes() const { return sizes_; }
    void Reset();

private:
    std::atomic<long> count_{0};
    std::atomic<long long> sizes_{0};
    std::atomic<long> target_{0};
    std::mutex mutex_;
    std::condition_variable reached_;
};

// The library's side of the event pairs: reads each record's Size and counts it.
class TallyListener : public collector::shell::ICollectionListener {
public:
    explicit TallyListener(Tally& tally) : tally_(tally) {}
    void RecordAdded(collector::shell::Record record) override;
    void RecordUpdated(collector::shell::Record record) override;
    void RecordRemoved(collector::shell::Key) override {}

private:
    Tally& tally_;
};

// The raw side: the same work in a sink of both event interfaces, as the library's sink connects to
// both (records one by one, and whole batches of a composition).
class ATL_NO_VTABLE RawSink : public CComObjectRootEx<CComMultiThreadModel>,
                              public ci::ICollectionEvents,
                              public ci::ICompositionEvents {
public:
    BEGIN_COM_MAP(RawSink)
        COM_INTERFACE_ENTRY(ci::ICollectionEvents)
        COM_INTERFACE_ENTRY(ci::ICompositionEvents)
    END_COM_MAP()

    void SetTally(Tally* tally) { tally_ = tally; }

    HRESULT STDMETHODCALLTYPE RecordAdded(GUID, ci::IRecord* record) override { return take(record); }
    HRESULT STDMETHODCALLTYPE RecordUpdated(GUID, ci::IRecord* record) override { return take(record); }
    HRESULT STDMETHODCALLTYPE RecordRemoved(GUID, ci::IKey*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE StateChanged(GUID, ci::ECollectionState, ci::IStateDescription*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateStarted(GUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateFinished(GUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reserved() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Updated(GUID, ci::ICompositionSet* set) override;

private:
    HRESULT take(ci::IRecord* record);

    Tally* tally_ = nullptr;
};

// ---- The world ------------------------------------------------------------------------------------

// Stands in for a collection where the library asks it for a connection point, and keeps the sink
// that the library advises there, so that the sink can be called directly, without the component's
// event thread in between. Every other interface is the collection's own. Owned by its creator: the
// references counted here only keep the books.
class SinkCatcher final : public IConnectionPointContainer, public IConnectionPoint {
public:
    // The collection that answers for the catcher; set before the library sees the catcher.
    void StandFor(IUnknown* collection) { collection_ = collection; }

    // The sink advised last, while it stays advised.
    ci::ICollectionEvents* Sink() const { return sink_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    CComPtr<IUnknown> collection_;
    CComPtr<ci::ICollectionEvents> sink_;
    std::atomic<ULONG> references_{0};
};

// One record class with a collection of it running in the task, and what the events of that
// collection reached.
struct Flow {
    reference::RecordClass source;
    CComPtr<ci::ICollection> collection;
    Tally tally;
};

// The component's side, set up through raw calls: the collector, its class pool, the running task,
// the item collection, its first record and that record's method Double (which doubles its parameter
// Times); and two flow classes with the same records whose batches reach one side each.
struct Component {
    // Needs COM initialised on the calling thread; throws std::runtime_error when the component
    // refuses a step.
    Component();

    reference::Registration registration;
    reference::RecordClass itemClass;
    CComPtr<ci::ICollector> collector;
    CComPtr<ci::IClassPool> classPool;
    CComPtr<ci::ITask> task;
    CComPtr<ci::ICollection> items;
    CComPtr<ci::IRecord> record;
    CComPtr<ci::IFieldMethod> method;
    SinkCatcher catcher;
    Flow libraryFlow;
    Flow rawFlow;

    // The item collection's records: fresh objects of a new enumeration, in the order of the Ids.
    std::vector<CComPtr<ci::IRecord>> FreshItems() const;
};

// The library over the same pointers, and the sinks of both sides.
class World : public Component {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    collector::shell::Collection itemsHandle;
    collector::shell::Record recordHandle;
    collector::shell::Method methodHandle;
    // The sink that the library advised for itemsHandle (through the catcher) and what its listener
    // counted; a raw sink and what it counted.
    Tally librarySinkTally;
    ci::ICollectionEvents* librarySink = nullptr;
    Tally rawSinkTally;
    CComPtr<CComObject<RawSink>> rawSink;

private:
    std::shared_ptr<TallyListener> sinkListener_;
    std::shared_ptr<TallyListener> flowListener_;
    collector::shell::Collection libraryFlowHandle_;
    CComPtr<CComObject<RawSink>> rawFlowSink_;
    CComPtr<ci::IComposition> rawFlowComposition_;
    DWORD rawFlowCookies_[2] = {};
};

// Batches of the flow classes: every record 1..batch_size updated with its own values.
reference::Batch UpdateBatch();

} // namespace bench
