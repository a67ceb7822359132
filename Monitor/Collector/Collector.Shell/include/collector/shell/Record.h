// Record: one record of a collection, keyed (IRecord) or key-less (IObject, reached through a
// reference or made as a profile). Values are read by field name, fields walked, methods called.
#pragma once

#include "EnumIterator.h"
#include "Export.h"
#include "Field.h"
#include "Key.h"
#include "Method.h"
#include "Object.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <memory>
#include <string>
#include <string_view>

namespace collector::shell {

class Reference;

// May be empty: every member but begin and end then throws "Record is null". Copies share one state,
// including the cached class name. When the last copy (or method, or iterator element) goes, the
// component is told that the library no longer holds the record (IDisposableObject::Dispose).
class COLLECTOR_SHELL_API Record {
public:
    struct impl_t;

    // The empty record.
    Record() noexcept = default;
    // For the owners that hand out keyed records: `record` must answer IRecord ("Unable to
    // QueryInterface" otherwise). `classPool` resolves the record's class and travels with its fields,
    // key and references.
    Record(IUnknown* record, Ostra_Lux_Collector_Interfaces::IClassPool* classPool);
    // A keyed record over `record` when it is set, else a key-less one over `object` when that is set,
    // else the empty record.
    Record(Ostra_Lux_Collector_Interfaces::IRecord* record, Ostra_Lux_Collector_Interfaces::IObject* object,
           Ostra_Lux_Collector_Interfaces::IClassPool* classPool);
    // For the library's owners that build a state themselves (see RecordImpl.h).
    explicit Record(std::shared_ptr<impl_t> impl) noexcept;

    explicit operator bool() const noexcept { return impl_ != nullptr; }

    // The value of the named field, as the component leaves it: an unknown name normally gives an
    // empty Object, without an exception.
    Object operator[](std::wstring_view name) const;
    Object operator[](_bstr_t& name) const;
    // Whether the component knows the named field.
    bool IsExist(std::wstring_view name) const;
    // The empty key for a key-less record or a record without key.
    Key GetKey() const;
    // Read from the component once per state, then kept; "Record has no class" for a keyed record
    // without key.
    std::wstring ClassName() const;

    EnumIterator<Field> begin() const;
    EnumIterator<Field> end() const;

    // The method held by the last field of that name ("No such method" when there is none, or when
    // that field is not a method). The method keeps the record alive.
    Method GetMethod(std::wstring_view name) const;

    // The reference held by the named value; the empty reference for an empty or null value.
    Reference FindReference(std::wstring_view name) const;
    Reference FindReference(_bstr_t& name) const;

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
