#include "world.h"

#include "records.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

namespace collector::reference::detail {

std::wstring value_text(const VARIANT& value)
{
    if (value.vt == VT_BSTR)
        return value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : std::wstring();
    VARIANT text;
    VariantInit(&text);
    // Some SDKs declare the source without const; it is only read.
    if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
        std::wstring result(text.bstrVal, SysStringLen(text.bstrVal));
        VariantClear(&text);
        return std::to_wstring(value.vt) + L":" + result;
    }
    return std::to_wstring(value.vt) + L":?";
}

GUID new_guid()
{
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t halves[2];
    {
        std::lock_guard lock(mutex);
        halves[0] = generator();
        halves[1] = generator();
    }
    GUID id;
    std::memcpy(&id, halves, sizeof id);
    id.Data3 = static_cast<unsigned short>((id.Data3 & 0x0FFF) | 0x4000); // version 4
    id.Data4[0] = static_cast<unsigned char>((id.Data4[0] & 0x3F) | 0x80);
    return id;
}

// ---- class_source_t -------------------------------------------------------------------------------

key_text_t class_source_t::key_of(const Fields& fields) const
{
    return key_text(detail::key_of(definition, fields));
}

void class_source_t::apply(Batch batch)
{
    std::lock_guard lock(mutex_);
    // Checked first, so that a bad change leaves the records as they were.
    std::map<key_text_t, bool> present;
    for (const auto& [key, position] : positions_)
        present[key] = true;
    std::vector<key_text_t> keys;
    for (const Change& change : batch) {
        key_text_t key = key_of(change.fields);
        if (change.kind == ECompositionRecordKind::Removed && !present[key])
            throw std::invalid_argument("a change removes a record that is not there");
        present[key] = change.kind != ECompositionRecordKind::Removed;
        keys.push_back(std::move(key));
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        auto found = positions_.find(keys[i]);
        if (batch[i].kind == ECompositionRecordKind::Removed) {
            const std::size_t position = found->second;
            records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(position));
            positions_.erase(found);
            for (auto& [key, at] : positions_)
                at -= at > position ? 1 : 0;
        } else if (found != positions_.end()) {
            records_[found->second] = batch[i].fields;
        } else {
            positions_.emplace(keys[i], records_.size());
            records_.push_back(batch[i].fields);
        }
    }
    std::erase_if(running_, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : running_) {
        if (auto collection = weak.lock())
            collection->deliver(batch);
    }
}

void class_source_t::start(const std::shared_ptr<running_collection_t>& collection)
{
    {
        std::lock_guard lock(mutex_);
        std::erase_if(running_, [](const auto& weak) { return weak.expired(); });
        if (running_.empty())
            notices_.push_back(true);
        running_.push_back(collection);
        Batch current;
        current.reserve(records_.size());
        for (const Fields& fields : records_)
            current.push_back(Change{ECompositionRecordKind::Added, fields});
        collection->deliver(current);
    }
    tell();
}

void class_source_t::stop(const running_collection_t* collection)
{
    {
        std::lock_guard lock(mutex_);
        const auto before = running_.size();
        std::erase_if(running_, [&](const auto& weak) {
            auto locked = weak.lock();
            return !locked || locked.get() == collection;
        });
        if (before > 0 && running_.empty())
            notices_.push_back(false);
    }
    tell();
}

std::vector<Fields> class_source_t::records_copy() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

void class_source_t::set_hook(std::function<void(bool)> hook)
{
    std::lock_guard lock(mutex_);
    hook_ = std::make_shared<std::function<void(bool)>>(std::move(hook));
}

void class_source_t::tell()
{
    std::unique_lock lock(mutex_);
    if (telling_)
        return;
    telling_ = true;
    while (!notices_.empty()) {
        const bool running = notices_.front();
        notices_.pop_front();
        const auto hook = hook_;
        lock.unlock();
        try {
            if (hook && *hook)
                (*hook)(running);
        } catch (...) {
            const std::lock_guard relock(mutex_);
            telling_ = false;
            throw;
        }
        lock.lock();
    }
    telling_ = false;
}

// ---- world_t --------------------------------------------------------------------------------------

bool world_t::guid_less(const GUID& a, const GUID& b) noexcept
{
    return std::memcmp(&a, &b, sizeof a) < 0;
}

RecordClass world_t::define(ClassDefinition definition)
{
    std::lock_guard lock(mutex_);
    for (const auto& source : classes_) {
        if (IsEqualGUID(source->definition.id, definition.id) || source->definition.name == definition.name)
            throw std::invalid_argument("a record class with that id or name is already defined");
    }
    classes_.push_back(std::make_shared<class_source_t>(std::move(definition)));
    return RecordClass(classes_.back());
}

std::shared_ptr<class_source_t> world_t::find(const GUID& id) const
{
    std::lock_guard lock(mutex_);
    for (const auto& source : classes_) {
        if (IsEqualGUID(source->definition.id, id))
            return source;
    }
    return nullptr;
}

std::shared_ptr<class_source_t> world_t::find(std::wstring_view name) const
{
    std::lock_guard lock(mutex_);
    for (const auto& source : classes_) {
        if (source->definition.name == name)
            return source;
    }
    return nullptr;
}

void world_t::enlist(const GUID& id, std::weak_ptr<stateful_t> object)
{
    std::lock_guard lock(mutex_);
    objects_[id] = std::move(object);
}

void world_t::delist(const GUID& id)
{
    std::lock_guard lock(mutex_);
    objects_.erase(id);
}

bool world_t::set_state(const GUID& id, LONG state, std::wstring description)
{
    std::shared_ptr<stateful_t> object;
    {
        std::lock_guard lock(mutex_);
        if (auto found = objects_.find(id); found != objects_.end())
            object = found->second.lock();
    }
    if (!object)
        return false;
    object->set_state(state, std::move(description));
    return true;
}

} // namespace collector::reference::detail
