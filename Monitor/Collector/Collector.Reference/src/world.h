// The state a registration shares with every object it serves: its options, its record classes with
// their scripted records, and the tasks and collections alive (for scripted state changes).
#pragma once

#include "base.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace collector::reference::detail {

// A collection while it runs, as its record class sees it.
struct running_collection_t {
    virtual ~running_collection_t() = default;
    // Takes one batch of changes; called in the order of the class's batches, under the class's lock
    // (the collection must not call back into the class).
    virtual void deliver(const Batch& batch) = 0;
    // Stops running (the collector shuts down); called with no lock of the component held.
    virtual void stop() = 0;
};

// A task or a collection whose state a script may set.
struct stateful_t {
    virtual ~stateful_t() = default;
    virtual void set_state(LONG state, std::wstring description) = 0;
};

// The key of a record as comparable text: the key fields' values, in key order.
using key_text_t = std::vector<std::wstring>;

// One record class and its current records.
struct class_source_t {
    explicit class_source_t(ClassDefinition definition_) : definition(std::move(definition_)) {}

    // The key of fields, or std::invalid_argument when a key field is missing.
    key_text_t key_of(const Fields& fields) const;

    // Applies a batch to the records, then hands it to every running collection.
    void apply(Batch batch);
    // Registers a collection that starts running; it receives the current records as its first batch.
    void start(const std::shared_ptr<running_collection_t>& collection);
    void stop(const running_collection_t* collection);
    std::vector<Fields> records_copy() const;
    void set_hook(std::function<void(bool)> hook);

    const ClassDefinition definition;

private:
    // Tells the hook the queued notices, in the order they were queued under the lock: one thread at a
    // time, with no lock held; a thread that finds another telling leaves its notice to that one.
    void tell();

    mutable std::mutex mutex_;
    std::vector<Fields> records_;
    std::map<key_text_t, std::size_t> positions_;
    std::vector<std::weak_ptr<running_collection_t>> running_;
    std::shared_ptr<std::function<void(bool)>> hook_;
    std::deque<bool> notices_;
    bool telling_ = false;
};

struct world_t {
    explicit world_t(Options options_) : options(options_) {}

    RecordClass define(ClassDefinition definition);
    std::shared_ptr<class_source_t> find(const GUID& id) const;
    std::shared_ptr<class_source_t> find(std::wstring_view name) const;
    RecordClass handle(std::shared_ptr<class_source_t> source) const { return RecordClass(std::move(source)); }

    // Tasks and collections register while they live.
    void enlist(const GUID& id, std::weak_ptr<stateful_t> object);
    void delist(const GUID& id);
    bool set_state(const GUID& id, LONG state, std::wstring description);

    const Options options;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<class_source_t>> classes_;
    std::map<GUID, std::weak_ptr<stateful_t>, bool (*)(const GUID&, const GUID&)> objects_{guid_less};

    static bool guid_less(const GUID& a, const GUID& b) noexcept;
};

// Text of a value for keys and comparisons (VT_BSTR after conversion; other values by their dump).
std::wstring value_text(const VARIANT& value);

// A new random GUID.
GUID new_guid();

} // namespace collector::reference::detail
