// The entries of a pool that hands out objects by id and walks them in order: hosts, users, resources.
#pragma once

#include "base.h"
#include "records.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace collector::reference::detail {

// The text of a name argument; E_INVALIDARG for a null or empty one ("<what> needs a name").
inline std::wstring required_name(BSTR name, const wchar_t* what)
{
    if (!name || SysStringLen(name) == 0)
        fail(E_INVALIDARG, std::wstring(what) + L" needs a name");
    return std::wstring(name, SysStringLen(name));
}

inline HRESULT copy_flag(bool value, VARIANT_BOOL* out)
{
    return give(out, value ? VARIANT_TRUE : VARIANT_FALSE);
}

// A new object kept as its own class.
template <class T>
CComPtr<CComObject<T>> keep(made_t<T> made)
{
    CComPtr<CComObject<T>> kept;
    kept.Attach(made.Detach());
    return kept;
}

// Entry is a COM class of the component with `GUID id() const`. The list keeps one reference to each
// entry; what it hands out carries the caller's own reference.
template <class Entry>
class entries_t {
public:
    using pointer_t = CComPtr<CComObject<Entry>>;

    // The default entries come first in the pool's order; the others follow in the order of creation.
    void add(pointer_t entry, bool first = false)
    {
        std::lock_guard lock(mutex_);
        entries_.insert(first ? entries_.begin() : entries_.end(), std::move(entry));
    }

    // The entry with that id, or E_INVALIDARG with `what` in the description.
    pointer_t find(const GUID& id, const wchar_t* what) const
    {
        std::lock_guard lock(mutex_);
        for (const pointer_t& entry : entries_)
            if (IsEqualGUID(entry->id(), id))
                return entry;
        fail(E_INVALIDARG, std::wstring(L"No ") + what + L" has that id");
    }

    template <class Match>
    pointer_t find_if(Match match) const
    {
        std::lock_guard lock(mutex_);
        const auto found = std::find_if(entries_.begin(), entries_.end(), [&](const pointer_t& e) { return match(*e); });
        return found == entries_.end() ? pointer_t() : *found;
    }

    // Takes out the entries that match; they are released by the caller, outside the lock.
    template <class Match>
    std::vector<pointer_t> remove_if(Match match)
    {
        std::vector<pointer_t> removed;
        std::lock_guard lock(mutex_);
        const auto kept = std::stable_partition(entries_.begin(), entries_.end(),
                                                [&](const pointer_t& e) { return !match(*e); });
        std::move(kept, entries_.end(), std::back_inserter(removed));
        entries_.erase(kept, entries_.end());
        return removed;
    }

    std::vector<pointer_t> snapshot() const
    {
        std::lock_guard lock(mutex_);
        return entries_;
    }

    // An enumerable over the entries as they stand now.
    CComPtr<IUnknown> enumerable() const
    {
        std::vector<CComPtr<IUnknown>> elements;
        for (const pointer_t& entry : snapshot())
            elements.emplace_back(entry->GetUnknown());
        return make_enumerable(std::move(elements));
    }

private:
    mutable std::mutex mutex_;
    std::vector<pointer_t> entries_;
};

}  // namespace collector::reference::detail
