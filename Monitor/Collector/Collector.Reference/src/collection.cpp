// Collections: the records of one record class while a task runs them, their events (each batch of
// changes announced, through the composition when one is open), the reference index and methods.
#include "objects.h"
#include "properties.h"
#include "records.h"

#include <algorithm>

namespace collector::reference::detail {

namespace {

// One change as it leaves the collection: the kind and the record's data (the last data of a removed one).
struct outgoing_t {
    ECompositionRecordKind kind;
    record_ptr record;
};

// ---- Composition sets ---------------------------------------------------------------------------

class ATL_NO_VTABLE composition_record_t : public object_t, public ICompositionRecord {
public:
    BEGIN_COM_MAP(composition_record_t)
        COM_INTERFACE_ENTRY(ICompositionRecord)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(outgoing_t change, resolver_ptr resolver)
    {
        change_ = std::move(change);
        resolver_ = std::move(resolver);
    }

    HRESULT STDMETHODCALLTYPE GetKind(ECompositionRecordKind* kind) override
    {
        return guarded(L"ICompositionRecord::GetKind", IID_ICompositionRecord,
                       [&] { return give(kind, change_.kind); });
    }
    HRESULT STDMETHODCALLTYPE GetItem(VARIANT* item) override
    {
        return guarded(L"ICompositionRecord::GetItem", IID_ICompositionRecord, [&] {
            require_out(item);
            VariantInit(item);
            _variant_t value(static_cast<IUnknown*>(make_record(change_.record, resolver_)));
            *item = value.Detach();
            return S_OK;
        });
    }

private:
    outgoing_t change_;
    resolver_ptr resolver_;
};

// One batch; Dispose lets its records go, after which GetRecords fails.
class ATL_NO_VTABLE composition_set_t : public object_t, public ICompositionSet, public IDisposableObject {
public:
    BEGIN_COM_MAP(composition_set_t)
        COM_INTERFACE_ENTRY(ICompositionSet)
        COM_INTERFACE_ENTRY(IDisposableObject)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const GUID& class_id, std::vector<outgoing_t> changes, resolver_ptr resolver)
    {
        class_id_ = class_id;
        changes_ = std::move(changes);
        resolver_ = std::move(resolver);
    }

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* class_id) override
    {
        return guarded(L"ICompositionSet::GetClassId", IID_ICompositionSet, [&] { return give(class_id, class_id_); });
    }
    HRESULT STDMETHODCALLTYPE GetRecords(IUnknown** records) override
    {
        return guarded(L"ICompositionSet::GetRecords", IID_ICompositionSet, [&] {
            std::lock_guard lock(mutex_);
            if (disposed_)
                fail(CO_E_OBJNOTCONNECTED, L"The set was disposed");
            std::vector<CComPtr<ICompositionRecord>> objects;
            for (const outgoing_t& change : changes_)
                objects.push_back(CComPtr<ICompositionRecord>(make<composition_record_t>(change, resolver_)));
            return hand_out(make_enumerable(objects), records);
        });
    }
    HRESULT STDMETHODCALLTYPE Dispose() override
    {
        return guarded(L"IDisposableObject::Dispose", IID_IDisposableObject, [&] {
            std::vector<outgoing_t> released;
            std::lock_guard lock(mutex_);
            released.swap(changes_);
            disposed_ = true;
            return S_OK;
        });
    }

private:
    std::mutex mutex_;
    GUID class_id_{};
    std::vector<outgoing_t> changes_;
    resolver_ptr resolver_;
    bool disposed_ = false;
};

// ---- The collection's model -------------------------------------------------------------------------

// Everything a collection is, shared by its COM objects (collection, compositions, reference indexes)
// and known to its record class while it runs.
class collection_model_t final : public running_collection_t,
                                 public resolver_t,
                                 public stateful_t,
                                 public std::enable_shared_from_this<collection_model_t> {
public:
    collection_model_t(runtime_ptr runtime_, std::shared_ptr<class_source_t> source_)
        : runtime(std::move(runtime_)), source(std::move(source_))
    {
    }

    const runtime_ptr runtime;
    const std::shared_ptr<class_source_t> source;
    const GUID id = new_guid();
    const std::shared_ptr<sink_list_t<ICollectionEvents>> collection_sinks =
        std::make_shared<sink_list_t<ICollectionEvents>>();
    const std::shared_ptr<sink_list_t<ICompositionEvents>> composition_sinks =
        std::make_shared<sink_list_t<ICompositionEvents>>();

    const ClassDefinition& definition() const { return source->definition; }

    ECollectionState state() const
    {
        std::lock_guard lock(mutex_);
        return state_;
    }
    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return order_.size();
    }

    void run()
    {
        {
            std::lock_guard lock(mutex_);
            if (running_)
                return;
            running_ = true;
            move_to(ECollectionState::Starting, {});
        }
        runtime->running->add(weak_from_this());
        // The class hands over its records first, as one batch, and then every later batch.
        source->start(shared_from_this());
        bool stopped_meanwhile;
        {
            std::lock_guard lock(mutex_);
            stopped_meanwhile = !running_;
            if (!stopped_meanwhile)
                move_to(ECollectionState::Running, {});
        }
        if (stopped_meanwhile)
            source->stop(this);
    }

    void stop() override
    {
        {
            std::lock_guard lock(mutex_);
            if (!running_)
                return;
            running_ = false;
            move_to(ECollectionState::Stopping, {});
        }
        source->stop(this);
        std::lock_guard lock(mutex_);
        move_to(ECollectionState::Stopped, {});
    }

    void reset()
    {
        stop();
        std::lock_guard lock(mutex_);
        records_.clear();
        order_.clear();
        move_to(ECollectionState::Ready, {});
    }

    void set_state(LONG state, std::wstring description) override
    {
        std::lock_guard lock(mutex_);
        move_to(static_cast<ECollectionState>(state), std::move(description));
    }

    void deliver(const Batch& batch) override
    {
        std::vector<outgoing_t> changes;
        std::lock_guard lock(mutex_);
        if (!running_)
            return;
        for (const Change& change : batch)
            changes.push_back(apply(change));
        announce(std::move(changes));
    }

    record_ptr find(const GUID& class_id, const key_text_t& key) const override
    {
        if (!IsEqualGUID(class_id, definition().id))
            return nullptr;
        std::lock_guard lock(mutex_);
        auto found = records_.find(key);
        return found == records_.end() ? nullptr : found->second;
    }

    std::vector<record_ptr> records() const
    {
        std::lock_guard lock(mutex_);
        std::vector<record_ptr> copy;
        copy.reserve(order_.size());
        for (const key_text_t& key : order_)
            copy.push_back(records_.at(key));
        return copy;
    }

    // Compositions open on the collection: while one is, batches go to ICompositionEvents.
    void open_composition(LONG batch_size)
    {
        std::lock_guard lock(mutex_);
        ++compositions_;
        batch_size_ = batch_size;
    }
    void close_composition()
    {
        bool last;
        {
            std::lock_guard lock(mutex_);
            last = --compositions_ == 0;
        }
        if (last)
            composition_sinks->clear();
    }

private:
    // Applies one change to the records; what it hands on keeps the record's order of keys.
    outgoing_t apply(const Change& change)
    {
        auto data = std::make_shared<record_data_t>(
            record_data_t{definition().id, change.fields, key_of(definition(), change.fields)});
        key_text_t key = key_text(data->key);
        auto found = records_.find(key);
        if (change.kind == ECompositionRecordKind::Removed) {
            record_ptr last = found != records_.end() ? found->second : data;
            if (found != records_.end()) {
                records_.erase(found);
                order_.erase(std::find(order_.begin(), order_.end(), key));
            }
            return {ECompositionRecordKind::Removed, std::move(last)};
        }
        if (found != records_.end()) {
            found->second = data;
            return {ECompositionRecordKind::Updated, std::move(data)};
        }
        records_.emplace(key, data);
        order_.push_back(std::move(key));
        return {ECompositionRecordKind::Added, std::move(data)};
    }

    // Posts one announced batch: through the composition in sets of the batch size, or record by record
    // between UpdateStarted and UpdateFinished.
    void announce(std::vector<outgoing_t> changes)
    {
        if (changes.empty())
            return;
        const resolver_ptr resolver = weak_from_this();
        const GUID collection = id;
        event_queue_t& queue = *runtime->queue;
        if (compositions_ > 0) {
            const std::size_t size = static_cast<std::size_t>(std::max<LONG>(batch_size_, 1));
            for (std::size_t first = 0; first < changes.size(); first += size) {
                const auto begin = changes.begin() + static_cast<std::ptrdiff_t>(first);
                const auto end = changes.begin() + static_cast<std::ptrdiff_t>(std::min(first + size, changes.size()));
                CComPtr<ICompositionSet> set(
                    make<composition_set_t>(definition().id, std::vector<outgoing_t>(begin, end), resolver));
                raise(queue, composition_sinks, [collection, set](ICompositionEvents* sink) {
                    sink->Updated(collection, set);
                });
            }
            return;
        }
        raise(queue, collection_sinks, [collection](ICollectionEvents* sink) { sink->UpdateStarted(collection); });
        for (outgoing_t& change : changes) {
            raise(queue, collection_sinks, [collection, change, resolver](ICollectionEvents* sink) {
                const CComPtr<IRecord> record = make_record(change.record, resolver);
                switch (change.kind) {
                case ECompositionRecordKind::Added:
                    sink->RecordAdded(collection, record);
                    break;
                case ECompositionRecordKind::Updated:
                    sink->RecordUpdated(collection, record);
                    break;
                default:
                    sink->RecordRemoved(collection, make_key(change.record->class_id, change.record->key));
                    break;
                }
            });
        }
        raise(queue, collection_sinks, [collection](ICollectionEvents* sink) { sink->UpdateFinished(collection); });
    }

    // Under the lock: the new state and its event.
    void move_to(ECollectionState state, std::wstring description)
    {
        state_ = state;
        raise(*runtime->queue, collection_sinks,
              [collection = id, state, description = std::move(description)](ICollectionEvents* sink) {
                  sink->StateChanged(collection, state, make_description(description));
              });
    }

    mutable std::mutex mutex_;
    ECollectionState state_ = ECollectionState::Ready;
    bool running_ = false;
    std::map<key_text_t, record_ptr> records_;
    std::vector<key_text_t> order_;
    int compositions_ = 0;
    LONG batch_size_ = 1000;
};

using model_ptr = std::shared_ptr<collection_model_t>;

// ---- Compositions ---------------------------------------------------------------------------------

class ATL_NO_VTABLE composition_t : public object_t,
                                    public IComposition,
                                    public connection_points_t<ICompositionEvents> {
public:
    BEGIN_COM_MAP(composition_t)
        COM_INTERFACE_ENTRY(IComposition)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(model_ptr model, LONG batch_size)
    {
        model_ = std::move(model);
        share_sinks(model_->composition_sinks);
        model_->open_composition(batch_size);
    }

    void FinalRelease() { close(); }

    HRESULT STDMETHODCALLTYPE GetSize(LONG* size) override
    {
        return guarded(L"IComposition::GetSize", IID_IComposition,
                       [&] { return give(size, static_cast<LONG>(model_->size())); });
    }
    HRESULT STDMETHODCALLTYPE GetAnnounceUpdates(VARIANT_BOOL* announce) override
    {
        return guarded(L"IComposition::GetAnnounceUpdates", IID_IComposition,
                       [&] { return give(announce, VARIANT_TRUE); });
    }
    HRESULT STDMETHODCALLTYPE Shutdown() override
    {
        return guarded(L"IComposition::Shutdown", IID_IComposition, [&] {
            close();
            return S_OK;
        });
    }

private:
    void close()
    {
        if (!closed_.exchange(true))
            model_->close_composition();
    }

    model_ptr model_;
    std::atomic<bool> closed_{false};
};

// ---- Reference index --------------------------------------------------------------------------------

class ATL_NO_VTABLE key_set_t : public object_t, public IKeySet {
public:
    BEGIN_COM_MAP(key_set_t)
        COM_INTERFACE_ENTRY(IKeySet)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::vector<CComPtr<IKey>> keys) { keys_ = std::move(keys); }

    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* has_items) override
    {
        return guarded(L"IKeySet::HasItems", IID_IKeySet,
                       [&] { return give(has_items, keys_.empty() ? VARIANT_FALSE : VARIANT_TRUE); });
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** keys) override
    {
        return guarded(L"IKeySet::GetEnumerator", IID_IKeySet, [&] { return hand_out(make_enumerable(keys_), keys); });
    }

private:
    std::vector<CComPtr<IKey>> keys_;
};

// The targets a field value refers to.
std::vector<const RecordReference*> targets_of(const Value& value)
{
    std::vector<const RecordReference*> targets;
    if (const auto* single = std::get_if<RecordReference>(&value))
        targets.push_back(single);
    if (const auto* array = std::get_if<ReferenceArray>(&value)) {
        for (const RecordReference& element : array->elements)
            targets.push_back(&element);
    }
    return targets;
}

// Whether the target's key holds every searched field under its name with the same value.
bool key_holds(const RecordReference& target, const NamedValues& searched)
{
    return std::all_of(searched.begin(), searched.end(), [&](const auto& wanted) {
        return std::any_of(target.key.begin(), target.key.end(), [&](const auto& field) {
            return field.first == wanted.first && value_text(field.second) == value_text(wanted.second);
        });
    });
}

// A record refers to the searched key when one of its references has a key holding all the searched
// fields, or when the search names one reference field and a target of that field has the value as the
// first field of its key.
bool refers_to(const record_data_t& record, const NamedValues& searched)
{
    for (const auto& [name, value] : record.fields) {
        for (const RecordReference* target : targets_of(value)) {
            if (key_holds(*target, searched))
                return true;
            if (searched.size() == 1 && searched.front().first == name && !target->key.empty() &&
                value_text(target->key.front().second) == value_text(searched.front().second))
                return true;
        }
    }
    return false;
}

class ATL_NO_VTABLE reference_index_t : public object_t, public IReferenceIndex {
public:
    BEGIN_COM_MAP(reference_index_t)
        COM_INTERFACE_ENTRY(IReferenceIndex)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(model_ptr model) { model_ = std::move(model); }

    HRESULT STDMETHODCALLTYPE FindReferencing(IKey* key, IKeySet** keys) override
    {
        return guarded(L"IReferenceIndex::FindReferencing", IID_IReferenceIndex, [&] {
            require_out(keys);
            *keys = nullptr;
            const read_key_t searched = read_key(key);
            if (searched.fields.empty())
                fail(E_INVALIDARG, L"The key has no fields");
            std::vector<CComPtr<IKey>> found;
            for (const record_ptr& record : model_->records()) {
                if (!record->key.empty() && refers_to(*record, searched.fields))
                    found.push_back(make_key(record->class_id, record->key));
            }
            return hand_out(CComPtr<IKeySet>(make<key_set_t>(std::move(found))), keys);
        });
    }

private:
    model_ptr model_;
};

// ---- The collection object ------------------------------------------------------------------------

class ATL_NO_VTABLE collection_t : public object_t,
                                   public ICollection,
                                   public properties_t,
                                   public connection_points_t<ICollectionEvents> {
public:
    BEGIN_COM_MAP(collection_t)
        COM_INTERFACE_ENTRY(ICollection)
        COM_INTERFACE_ENTRY(IProperties)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const runtime_ptr& runtime, std::shared_ptr<class_source_t> source)
    {
        model_ = std::make_shared<collection_model_t>(runtime, std::move(source));
        share_sinks(model_->collection_sinks);
        runtime->world->enlist(model_->id, model_);
    }

    // The last holder is gone: a running collection stops, so that its class knows.
    void FinalRelease()
    {
        model_->runtime->world->delist(model_->id);
        model_->stop();
    }

    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        return guarded(L"ICollection::GetId", IID_ICollection, [&] { return give(id, model_->id); });
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"ICollection::GetName", IID_ICollection,
                       [&] { return copy_text(model_->definition().name, name); });
    }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* class_id) override
    {
        return guarded(L"ICollection::GetClassId", IID_ICollection,
                       [&] { return give(class_id, model_->definition().id); });
    }
    HRESULT STDMETHODCALLTYPE GetState(ECollectionState* state) override
    {
        return guarded(L"ICollection::GetState", IID_ICollection, [&] { return give(state, model_->state()); });
    }
    HRESULT STDMETHODCALLTYPE Run() override
    {
        return guarded(L"ICollection::Run", IID_ICollection, [&] {
            model_->run();
            return S_OK;
        });
    }
    // Hands back nothing.
    HRESULT STDMETHODCALLTYPE Stop(IUnknown** result) override
    {
        return guarded(L"ICollection::Stop", IID_ICollection, [&] {
            require_out(result);
            *result = nullptr;
            model_->stop();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Reset(LONG options) override
    {
        return guarded(L"ICollection::Reset", IID_ICollection, [&] {
            if (options != 0)
                fail(E_INVALIDARG, L"No reset option is defined");
            model_->reset();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetComposition(LONG batch_size, IComposition** composition) override
    {
        return guarded(L"ICollection::GetComposition", IID_ICollection, [&] {
            require_out(composition);
            *composition = nullptr;
            if (batch_size <= 0)
                fail(E_INVALIDARG, L"A batch holds at least one record change");
            return hand_out(CComPtr<IComposition>(make<composition_t>(model_, batch_size)), composition);
        });
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** records) override
    {
        return guarded(L"ICollection::GetEnumerator", IID_ICollection, [&] {
            std::vector<CComPtr<IRecord>> objects;
            for (record_ptr& record : model_->records())
                objects.push_back(make_record(std::move(record), model_));
            return hand_out(make_enumerable(objects), records);
        });
    }
    // Methods: "RecordCount" gives the number of records, "ClassName" the record class's name.
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR name, IUnknown** method) override
    {
        return guarded(L"ICollection::GetMethod", IID_ICollection, [&] {
            require_out(method);
            *method = nullptr;
            const std::wstring wanted = text_of(name);
            const std::weak_ptr<collection_model_t> model = model_;
            if (wanted == L"RecordCount") {
                return hand_out(make_method(wanted, {L"The number of records", [model](const MethodCall&) -> MethodOutcome {
                                                         const auto alive = model.lock();
                                                         return _variant_t(static_cast<LONG>(alive ? alive->size() : 0));
                                                     }}),
                                method);
            }
            if (wanted == L"ClassName") {
                return hand_out(make_method(wanted, {L"The record class's name", [model](const MethodCall&) -> MethodOutcome {
                                                         const auto alive = model.lock();
                                                         return _variant_t(alive ? alive->definition().name.c_str() : L"");
                                                     }}),
                                method);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetReferenceIndex(IReferenceIndex** index) override
    {
        return guarded(L"ICollection::GetReferenceIndex", IID_ICollection,
                       [&] { return hand_out(CComPtr<IReferenceIndex>(make<reference_index_t>(model_)), index); });
    }

private:
    model_ptr model_;
};

} // namespace

CComPtr<ICollection> make_collection(const runtime_ptr& runtime, std::shared_ptr<class_source_t> source)
{
    return CComPtr<ICollection>(make<collection_t>(runtime, std::move(source)));
}

} // namespace collector::reference::detail
