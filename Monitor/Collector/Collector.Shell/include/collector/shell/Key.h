// Key: the identity of one record, the ordered list of its key fields. Keys compare equal field by
// field and are ordered lexicographically over (name, value) pairs; the class is not compared.
#pragma once

#include "Class.h"
#include "EnumIterator.h"
#include "Export.h"
#include "Field.h"
#include "Object.h"

#include <collector/interfaces.h>

#include <memory>
#include <string>
#include <string_view>

namespace collector::shell {

class Reference;

// May be empty: the empty key has no fields, and only GetClass and ClassName refuse it ("Key is
// null"). Copies share one state, including the cached class name.
class COLLECTOR_SHELL_API Key {
public:
    struct impl_t;

    // The empty key.
    Key() noexcept = default;
    // For the owners that hand out keys: a null `key` gives the empty key; otherwise it must answer
    // IKey ("Unable to QueryInterface"). `classPool` resolves the key's class and travels with its
    // fields.
    Key(IUnknown* key, Ostra_Lux_Collector_Interfaces::IClassPool* classPool);

    explicit operator bool() const noexcept { return impl_ != nullptr; }

    // A copy sharing this key's state.
    Key GetKey() const;
    Class GetClass() const;
    // Read from the component once per state, then kept.
    std::wstring ClassName() const;

    // The key fields in the component's order.
    EnumIterator<Field> begin() const;
    EnumIterator<Field> end() const;

    // Lookups by exact name (same length, same code units, case-sensitive), first match.
    bool IsExist(std::wstring_view name) const;
    // The value of the named field; an empty Object when there is none.
    Object operator[](std::wstring_view name) const;
    // The reference held by the named field; the empty reference when there is none.
    Reference FindReference(std::wstring_view name) const;

    // Same fields (names and values) in the same order.
    bool operator==(const Key& other) const;
    // Field by field: the name first (by UTF-16 code unit), then the value (null values first); a key
    // that is a proper prefix of the other orders first.
    bool operator<(const Key& other) const;

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
