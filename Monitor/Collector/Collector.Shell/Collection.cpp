// Collection: the component's collection with its composition, its records, the search for the keys
// that reference a record, and its events: one sink serves the collection's events and its
// composition's updates, for one listener, which may be the watch observer of the watcher functions.
#include "pch.h"

#include "EventListener.h"
#include "Iterator.imp"
#include "Properties.h"
#include "RecordImpl.h"
#include "WatchObserver.h"

#include <collector/shell/Class.h>
#include <collector/shell/Collection.h>
#include <collector/shell/Key.h>
#include <collector/shell/Method.h>
#include <collector/shell/Record.h>
#include <collector/shell/RecordsSet.h>

#include <Kernel/interruption.h>
#include <Kernel/logger.h>

#include <atlcom.h>

#include <mutex>
#include <optional>

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Record);
COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Key);

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

namespace detail {
namespace {

// The object that a composition record's item holds; null for an item that holds none.
IUnknown* object_of(const VARIANT& item) noexcept
{
    return item.vt == VT_UNKNOWN || item.vt == VT_DISPATCH ? item.punkVal : nullptr;
}

// One level-3 record of the exception being handled, when the logger admits that level.
void log_current_exception(const throw_site_t& site)
{
    COstraLogger& logger = COstraLogger::instance();
    if (!logger.admits(3))
        return;
    try {
        throw;
    } catch (const COstraException& e) {
        logger.writeExceptionImpl(3, e, site.function, site.file, site.line, true, {});
    } catch (const _com_error& e) {
        const _bstr_t message(e.ErrorMessage());
        logger.write(3, L"{}", ostra::lux::kernel::safe_wstring_view(message, message.length()));
    } catch (...) {
        logger.writeImpl(3, L"Unknown error");
    }
}

// The barrier of the collection sink: what the body throws is logged at `site`, the thread meets an
// interruption point, and the exception becomes the returned HRESULT (E_ABORT when the thread's
// interruption was requested, whose exception then takes its place). A failed event leaves the thread's
// last-error value as the component had it: the locks of the delivery (TlsGetValue under mingw's threads),
// the log record and the error information may all change it on the way.
template <class Body>
HRESULT logged_barrier(const throw_site_t& site, Body&& body) noexcept
{
    const DWORD last_error = GetLastError();
    const HRESULT hr = ExceptionToHResult([&] {
        try {
            body();
        } catch (...) {
            log_current_exception(site);
            interruption_point();
            throw;
        }
    });
    if (FAILED(hr))
        RestoreLastError(last_error);
    return hr;
}

} // namespace

// The sink of a collection's events and of its composition's updates, connected to both sources. It
// has one place for a listener: the first installation takes it until the uninstallation.
class ATL_NO_VTABLE collection_sink_t : public CComObjectRootEx<CComMultiThreadModel>,
                                        public ICollectionEvents,
                                        public ICompositionEvents {
public:
    BEGIN_COM_MAP(collection_sink_t)
        COM_INTERFACE_ENTRY(ICollectionEvents)
        COM_INTERFACE_ENTRY(ICompositionEvents)
    END_COM_MAP()

    // The collection's connection: takes the place unless it is taken, by a live listener or by the
    // class pool that comes with every listener (an empty or released one too), so that the first
    // subscriber keeps the events.
    void install(const std::shared_ptr<ICollectionListener>& listener, IClassPool* classPool, const GUID& collectionId)
    {
        const std::scoped_lock lock(mutex_);
        if (class_pool_ || !listener_.expired())
            return;
        listener_ = listener;
        class_pool_ = classPool;
        collection_id_ = collectionId;
    }
    // The composition's connection installs nothing: its updates go where the collection's events go.
    void install(int) noexcept {}
    // Frees the place.
    void uninstall()
    {
        const std::scoped_lock lock(mutex_);
        listener_.reset();
        class_pool_ = nullptr;
    }

    // Set when the collection has a composition: the class pool that whole updates are offered with.
    // The sets may outlive the subscription, so this one is counted.
    void set_records_set_pool(IClassPool* classPool)
    {
        const std::scoped_lock lock(mutex_);
        records_set_pool_ = classPool;
    }
    // Whether a composition update is announced with UpdateStarted and UpdateFinished around it.
    void set_announce_updates(bool announce)
    {
        const std::scoped_lock lock(mutex_);
        announce_updates_ = announce;
    }

    HRESULT STDMETHODCALLTYPE RecordAdded(GUID, IRecord* record) override
    {
        return logged_barrier(COLLECTOR_THROW_SITE_AT(57), [&] {
            const delivery_t delivery = current();
            if (delivery.listener)
                delivery.listener->RecordAdded(Record(record, delivery.class_pool));
        });
    }

    HRESULT STDMETHODCALLTYPE RecordUpdated(GUID, IRecord* record) override
    {
        return logged_barrier(COLLECTOR_THROW_SITE_AT(66), [&] {
            const delivery_t delivery = current();
            if (delivery.listener)
                delivery.listener->RecordUpdated(Record(record, delivery.class_pool));
        });
    }

    HRESULT STDMETHODCALLTYPE RecordRemoved(GUID, IKey* key) override
    {
        return logged_barrier(COLLECTOR_THROW_SITE_AT(75), [&] {
            const delivery_t delivery = current();
            if (delivery.listener)
                delivery.listener->RecordRemoved(Key(key, delivery.class_pool));
        });
    }

    // The listener hears the collection id read at Subscribe, not the event's.
    HRESULT STDMETHODCALLTYPE StateChanged(GUID, ECollectionState state, IStateDescription* description) override
    {
        return logged_barrier(COLLECTOR_THROW_SITE_AT(87), [&] {
            const std::wstring text = description ? read_text(description, &IStateDescription::GetText) : L"";
            const delivery_t delivery = current();
            if (delivery.listener)
                delivery.listener->StateChanged(delivery.collection_id, state, text);
        });
    }

    HRESULT STDMETHODCALLTYPE UpdateStarted(GUID collectionId) override
    {
        return StateChanged(collectionId, ECollectionState::UpdateStarted, nullptr);
    }

    HRESULT STDMETHODCALLTYPE UpdateFinished(GUID collectionId) override
    {
        return StateChanged(collectionId, ECollectionState::UpdateFinished, nullptr);
    }

    HRESULT STDMETHODCALLTYPE Reserved() override { return S_OK; }

    // A listener that takes the update whole gets one RecordsSet and nothing else; any other gets
    // the changes one by one, in the component's order, between the update's states. Each of those
    // deliveries locks the listener anew and answers for its own failure, so the loop goes on past
    // it; a failure of the enumeration itself ends the update without its finishing states.
    HRESULT STDMETHODCALLTYPE Updated(GUID collectionId, ICompositionSet* set) override
    {
        // The enumeration's steps are judged as this operation's.
        const throw_site_t site = COLLECTOR_THROW_SITE_AT(163);
        return logged_barrier(site, [&] {
            if (!set || !offer_one_by_one(set))
                return;
            CComPtr<IUnknown> records;
            call(set, &ICompositionSet::GetRecords, &records);
            if (!records)
                return;
            const auto changes = query_required<IEnumVARIANT>(records, site);
            const bool announce = announces_updates();
            if (announce)
                StateChanged(collectionId, ECollectionState::UpdateStarted, nullptr);
            StateChanged(collectionId, ECollectionState::BulkUpdateStarted, nullptr);
            for (;;) {
                _variant_t element;
                ULONG fetched = 0;
                checked_at({site.function, site.file, 134, {}}) = changes->Next(1, &element, &fetched);
                if (fetched == 0)
                    break;
                deliver_change(collectionId, object_of(element));
            }
            dispose(set);
            StateChanged(collectionId, ECollectionState::BulkUpdateFinished, nullptr);
            if (announce)
                StateChanged(collectionId, ECollectionState::UpdateFinished, nullptr);
        });
    }

private:
    // What one delivery needs, taken together under the mutex and used without it.
    struct delivery_t {
        std::shared_ptr<ICollectionListener> listener;
        CComPtr<IClassPool> class_pool;
        GUID collection_id;
        CComPtr<IClassPool> records_set_pool;
    };

    delivery_t current()
    {
        // The class pool is only borrowed by the sink; its collection disconnects before releasing it.
        const std::scoped_lock lock(mutex_);
        return {listener_.lock(), class_pool_, collection_id_, records_set_pool_};
    }

    bool announces_updates()
    {
        const std::scoped_lock lock(mutex_);
        return announce_updates_;
    }

    // Whether the update is to be delivered change by change: there is a listener, and it did not
    // take the whole set (which is then disposed of).
    bool offer_one_by_one(ICompositionSet* set)
    {
        const delivery_t delivery = current();
        if (!delivery.listener)
            return false;
        if (delivery.records_set_pool && delivery.listener->Updated(RecordsSet(set, delivery.records_set_pool))) {
            dispose(set);
            return false;
        }
        return true;
    }

    // Elements that are no composition records, and kinds without a meaning, are skipped.
    void deliver_change(const GUID& collectionId, IUnknown* element)
    {
        const auto change = answered<ICompositionRecord>(element);
        if (!change)
            return;
        ECompositionRecordKind kind{};
        call(change.p, &ICompositionRecord::GetKind, &kind);
        switch (kind) {
        case ECompositionRecordKind::Added:
            RecordAdded(collectionId, changed_record(change));
            break;
        case ECompositionRecordKind::Updated:
            RecordUpdated(collectionId, changed_record(change));
            break;
        case ECompositionRecordKind::Removed:
            RecordRemoved(collectionId, removed_key(change));
            break;
        default:
            break;
        }
    }

    static _variant_t item_of(ICompositionRecord* change)
    {
        _variant_t item;
        call(change, &ICompositionRecord::GetItem, &item);
        return item;
    }

    // The record of an addition or update; null when the item holds none.
    static CComPtr<IRecord> changed_record(ICompositionRecord* change)
    {
        return answered<IRecord>(object_of(item_of(change)));
    }

    // The key of a removed record, which the item must hold.
    static CComPtr<IKey> removed_key(ICompositionRecord* change)
    {
        const CComPtr<IRecord> record = queried<IRecord>(object_of(item_of(change)));
        if (!record)
            _com_issue_error(E_POINTER);
        CComPtr<IKey> key;
        call(record.p, &IRecord::GetKey, &key);
        return key;
    }

    static void dispose(ICompositionSet* set)
    {
        if (const auto disposable = answered<IDisposableObject>(set))
            call(disposable.p, &IDisposableObject::Dispose);
    }

    // Guards the fields below, never a listener call.
    std::mutex mutex_;
    std::weak_ptr<ICollectionListener> listener_;
    IClassPool* class_pool_ = nullptr;
    GUID collection_id_{};
    CComPtr<IClassPool> records_set_pool_;
    bool announce_updates_ = true;
};

// One registration of watcher functions, any of which may be empty.
struct watcher_t : IOstraSubscriber, std::enable_shared_from_this<watcher_t> {
    struct callbacks_t {
        std::function<void(Record)> on_added{};
        std::function<void(Record)> on_updated{};
        std::function<void(Key)> on_removed{};
        std::function<void(ECollectionState, std::wstring_view)> on_state_changed{};
    };

    explicit watcher_t(callbacks_t callbacks_) : callbacks(std::move(callbacks_)) {}

    const callbacks_t callbacks;
};

// The listener of a collection's watchers: hands every event to each watcher in registration order.
class watch_observer_t : public ICollectionListener {
public:
    void add(const std::shared_ptr<watcher_t>& watcher) { watchers_.add(watcher); }

    void RecordAdded(Record record) override { notify(&callbacks_t::on_added, record); }
    void RecordUpdated(Record record) override { notify(&callbacks_t::on_updated, record); }
    void RecordRemoved(Key key) override { notify(&callbacks_t::on_removed, key); }
    void StateChanged(GUID, ECollectionState state, std::wstring_view description) override
    {
        notify(&callbacks_t::on_state_changed, state, description);
    }

private:
    using callbacks_t = watcher_t::callbacks_t;

    // Calls each watcher's `callback` that is set, with copies of the arguments.
    template <class Callback, class... Args>
    void notify(Callback callbacks_t::*callback, const Args&... args)
    {
        watchers_.notify([&](watcher_t& watcher) {
            if (const Callback& function = watcher.callbacks.*callback; function)
                function(args...);
        });
    }

    watchers_t<watcher_t> watchers_;
};

} // namespace detail

std::wstring_view ECollectionStateToString(ECollectionState state) noexcept
{
    switch (state) {
    case ECollectionState::Initial: return L"Initial";
    case ECollectionState::Ready: return L"Ready";
    case ECollectionState::Starting: return L"Starting";
    case ECollectionState::Running: return L"Running";
    case ECollectionState::Limping: return L"Limping";
    case ECollectionState::Suspended: return L"Suspended";
    case ECollectionState::Stopping: return L"Stopping";
    case ECollectionState::Stopped: return L"Stopped";
    case ECollectionState::Error: return L"Error";
    case ECollectionState::UpdateStarted: return L"UpdateStarted";
    case ECollectionState::UpdateFinished: return L"UpdateFinished";
    case ECollectionState::BulkUpdateStarted: return L"BulkUpdateStarted";
    case ECollectionState::BulkUpdateFinished: return L"BulkUpdateFinished";
    }
    return L"Unknown";
}

// Members end in reverse order: after the destructor's disconnections and the composition's
// shutdown, the cached name, the watch observer and the composition's connection go, then the
// component objects, and the collection's connection last.
struct Collection::impl_t {
    detail::EventListener<detail::collection_sink_t> events;
    detail::CComQIPtrStrong<ICollection, &IID_ICollection> collection;
    // Null when the component offers the collection no composition.
    CComPtr<IComposition> composition;
    detail::CComQIPtrStrong<IClassPool, &IID_IClassPool> classPool;
    detail::EventListener<detail::collection_sink_t> compositionEvents{nullptr, IID_ICompositionEvents};
    std::shared_ptr<detail::watch_observer_t> observer;
    std::optional<std::wstring> className;

    impl_t(IUnknown* collection_, IUnknown* classPool_)
        : events(collection_, IID_ICollectionEvents), collection(collection_), classPool(classPool_)
    {
        // Every member calls the collection; a null one would fail at the first of them.
        if (!collection)
            _com_issue_error(E_POINTER);
        // Batches of at most 1000 changes. A collection whose component refuses it works without one.
        CComPtr<IComposition> offered;
        if (SUCCEEDED(collection->GetComposition(1000, &offered)) && offered) {
            composition = offered;
            compositionEvents.set_source(composition);
        }
    }

    impl_t(const impl_t&) = delete;
    impl_t& operator=(const impl_t&) = delete;

    // The composition's end is the component's business; its result does not matter here.
    ~impl_t()
    {
        events.disconnect();
        if (composition) {
            compositionEvents.disconnect();
            composition->Shutdown();
        }
    }

    CComPtr<IClass> component_class() const
    {
        GUID id{};
        detail::call(collection.p, &ICollection::GetClassId, &id);
        CComPtr<IClass> found = detail::find_class(classPool, id);
        if (!found)
            _com_issue_error(E_POINTER);
        return found;
    }

    // Failures of the listener's connection are not reported: the collection works without events.
    // Those of the composition are.
    void subscribe(const std::shared_ptr<ICollectionListener>& listener)
    {
        try {
            GUID id{};
            detail::call(collection.p, &ICollection::GetId, &id);
            events.connect(listener, classPool.p, id);
        } catch (const std::exception&) {
        }
        if (!composition)
            return;
        const auto sink = events.sink();
        sink->set_records_set_pool(classPool);
        VARIANT_BOOL announce = VARIANT_FALSE;
        detail::call(composition.p, &IComposition::GetAnnounceUpdates, &announce);
        sink->set_announce_updates(announce != VARIANT_FALSE);
        compositionEvents.use_sink(sink);
        compositionEvents.connect(0);
    }

    // The first registration makes the observer and subscribes it; it then competes for the
    // listener's place like any listener.
    void watch(detail::watcher_t::callbacks_t callbacks)
    {
        if (!observer) {
            observer = std::make_shared<detail::watch_observer_t>();
            subscribe(observer);
        }
        observer->add(std::make_shared<detail::watcher_t>(std::move(callbacks)));
    }
};

Collection::Collection(IUnknown* collection, IUnknown* classPool)
    : impl_(std::make_shared<impl_t>(collection, classPool))
{
}

GUID Collection::GetId() const
{
    GUID id{};
    detail::call(impl_->collection.p, &ICollection::GetId, &id);
    return id;
}

std::wstring Collection::GetName() const
{
    return detail::read_text(impl_->collection.p, &ICollection::GetName);
}

Class Collection::GetClass() const { return Class(impl_->component_class()); }

std::wstring Collection::ClassName() const
{
    if (!impl_->className)
        impl_->className = GetClass().GetName();
    return *impl_->className;
}

ECollectionState Collection::GetState() const
{
    ECollectionState state{};
    detail::call(impl_->collection.p, &ICollection::GetState, &state);
    return state;
}

void Collection::Run() { detail::call(impl_->collection.p, &ICollection::Run); }

// What the component hands back is of no use to the library.
void Collection::Stop()
{
    CComPtr<IUnknown> result;
    detail::call(impl_->collection.p, &ICollection::Stop, &result);
}

void Collection::Reset() { detail::call(impl_->collection.p, &ICollection::Reset, 0); }

int Collection::GetCompositionSize() const
{
    if (!impl_->composition)
        return 1;
    LONG size = 0;
    detail::call(impl_->composition.p, &IComposition::GetSize, &size);
    return size;
}

void Collection::SetProperty(std::wstring_view name, const _variant_t& value)
{
    detail::set_property(impl_->collection, name, value, COLLECTOR_THROW_SITE_AT(388));
}

_variant_t Collection::FindProperty(std::wstring_view name)
{
    return detail::get_property(impl_->collection, name, COLLECTOR_THROW_SITE_AT(399));
}

// Only the method counts: a component that fails the lookup, or succeeds without a method, has none.
Method Collection::GetMethod(std::wstring_view name) const
{
    CComPtr<IUnknown> method;
    impl_->collection->GetMethod(detail::make_bstr(name), &method);
    if (!method)
        detail::throw_condition(L"No such method", COLLECTOR_THROW_SITE_AT(456));
    return Method(nullptr, method);
}

EnumIterator<Record> Collection::begin() const
{
    CComPtr<IUnknown> records;
    detail::call(impl_->collection.p, &ICollection::GetEnumerator, &records);
    return EnumIterator<Record>(records, [this](IUnknown* record) { return new Record(record, impl_->classPool); });
}

EnumIterator<Record> Collection::end() const { return {}; }

std::pair<EnumIterator<Key>, EnumIterator<Key>> Collection::FindReferencedKeys(Key key, std::wstring_view name) const
{
    CComPtr<IKeyTemplate> keyTemplate;
    if (FAILED(impl_->component_class()->CreateKeyTemplate(&keyTemplate)) || !keyTemplate)
        return {};
    CComPtr<IReferenceIndex> index;
    if (FAILED(impl_->collection->GetReferenceIndex(&index)) || !index)
        return {};
    const auto set_field = [&](std::wstring_view field, const Object& value) {
        detail::call(keyTemplate.p, &IKeyTemplate::SetField, detail::make_bstr(field),
                     static_cast<const VARIANT&>(value.data()));
    };
    if (name.empty()) {
        for (const Field& field : key) {
            const Object value = field.GetValue();
            set_field(field.GetName(), value);
        }
    } else {
        set_field(name, (*key.begin()).GetValue());
    }
    CComPtr<IKey> filled;
    detail::call(keyTemplate.p, &IKeyTemplate::GetKey, &filled);
    CComPtr<IKeySet> keys;
    detail::call(index.p, &IReferenceIndex::FindReferencing, filled.p, &keys);
    filled.Release();
    if (!keys)
        _com_issue_error(E_POINTER);
    VARIANT_BOOL hasItems = VARIANT_FALSE;
    detail::call(keys.p, &IKeySet::HasItems, &hasItems);
    if (hasItems == VARIANT_FALSE)
        return {};
    CComPtr<IUnknown> found;
    detail::call(keys.p, &IKeySet::GetEnumerator, &found);
    return {EnumIterator<Key>(found, [this](IUnknown* element) { return new Key(element, impl_->classPool); }), {}};
}

void Collection::Subscribe(const std::shared_ptr<ICollectionListener>& listener) { impl_->subscribe(listener); }

void Collection::Unsubscribe()
{
    impl_->events.disconnect();
    if (impl_->composition)
        impl_->compositionEvents.disconnect();
    impl_->observer.reset();
}

Collection& Collection::WatchOnAdded(const std::function<void(Record)>& onAdded)
{
    impl_->watch({.on_added = onAdded});
    return *this;
}

Collection& Collection::WatchOnUpdated(const std::function<void(Record)>& onUpdated)
{
    impl_->watch({.on_updated = onUpdated});
    return *this;
}

Collection& Collection::WatchOnRemoved(const std::function<void(Key)>& onRemoved)
{
    impl_->watch({.on_removed = onRemoved});
    return *this;
}

Collection& Collection::WatchAnyRecord(const std::function<void(Record)>& onRecord)
{
    impl_->watch({.on_added = onRecord, .on_updated = onRecord});
    return *this;
}

Collection& Collection::WatchOnStateChanged(const std::function<void(ECollectionState, std::wstring_view)>& onStateChanged)
{
    impl_->watch({.on_state_changed = onStateChanged});
    return *this;
}

} // namespace collector::shell
