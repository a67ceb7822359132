// Collection: one data collection that a task runs. Identity, state and running control, named
// properties and methods, the collection's records, the keys that reference a record, and its events,
// delivered to one listener or to watcher functions.
#pragma once

#include "EnumIterator.h"
#include "Export.h"
#include "Listeners.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace collector::shell {

class Class;
class Key;
class Method;
class Record;

// The state's name ("Running", "BulkUpdateFinished", ...); "Unknown" for a value without one.
COLLECTOR_SHELL_API std::wstring_view ECollectionStateToString(ECollectionState state) noexcept;

// Copies share one implementation: the class-name cache, the event connections and the watchers.
// Members may be called from several threads as far as the component allows, except that the first
// ClassName call fills its cache without a lock.
class COLLECTOR_SHELL_API Collection {
public:
    struct impl_t;

    // For the owners that hand collections out: `collection` must answer ICollection and `classPool`
    // IClassPool ("Unable to QueryInterface" otherwise); a null `collection` raises E_POINTER. A
    // collection whose component offers no composition works without one.
    Collection(IUnknown* collection, IUnknown* classPool);

    GUID GetId() const;
    std::wstring GetName() const;
    Class GetClass() const;
    // The name of the collection's class, looked up once per collection and then kept.
    std::wstring ClassName() const;
    ECollectionState GetState() const;

    void Run();
    void Stop();
    void Reset();

    // 1 for a collection without composition.
    int GetCompositionSize() const;

    // Named properties of the component. The value is passed without copying it.
    void SetProperty(std::wstring_view name, const _variant_t& value);
    _variant_t FindProperty(std::wstring_view name);

    // Throws "No such method" when the collection has no method of that name, whatever the component
    // answered.
    Method GetMethod(std::wstring_view name) const;

    // The records. The iterator reads the class pool through this handle object: advance it only
    // while this handle exists.
    EnumIterator<Record> begin() const;
    EnumIterator<Record> end() const;

    // The keys of the records of this collection that reference `key`: with `name`, those whose field
    // `name` holds the value of key's first field; with an empty `name`, those that hold all of key's
    // fields under their own names. Empty (first == second) when the component offers no key template
    // or no reference index. The range, like begin(), is advanced only while this handle exists.
    std::pair<EnumIterator<Key>, EnumIterator<Key>> FindReferencedKeys(Key key, std::wstring_view name) const;

    // Events. The collection has one place for a listener: the first Subscribe, or the first watcher
    // registration, takes it, and keeps it until Unsubscribe, even when the listener's owner releases
    // it meanwhile; later Subscribe calls change nothing. The listener is held weakly. Events arrive
    // on the component's threads; no lock of the library is held while a listener or watcher runs.
    void Subscribe(const std::shared_ptr<ICollectionListener>& listener);
    // Frees the place and drops every watcher.
    void Unsubscribe();

    // Watchers: functions called for each event, in registration order. A watcher that throws
    // CInterruptedException is removed; any other exception becomes the event's result. The
    // collection id is not passed to them.
    Collection& WatchOnAdded(const std::function<void(Record)>& onAdded);
    Collection& WatchOnUpdated(const std::function<void(Record)>& onUpdated);
    Collection& WatchOnRemoved(const std::function<void(Key)>& onRemoved);
    // Added and updated records alike.
    Collection& WatchAnyRecord(const std::function<void(Record)>& onRecord);
    Collection& WatchOnStateChanged(const std::function<void(ECollectionState, std::wstring_view)>& onStateChanged);

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
