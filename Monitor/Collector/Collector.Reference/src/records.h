// Records, keys, fields and the values they hand out: the objects behind IRecord, IObject, IKey,
// IField (with IFieldXml and IFieldMethod), IReference, IArrayField, method results and enumerators.
// Every hand-out is a new object over shared, immutable record data.
#pragma once

#include "world.h"

#include <memory>
#include <vector>

namespace collector::reference::detail {

// One record as the collection holds it.
struct record_data_t {
    GUID class_id{};
    Fields fields;
    NamedValues key; // the key fields' values in key order; empty for a class without a key
};
using record_ptr = std::shared_ptr<const record_data_t>;

// Finds the target of a reference among the records of a collection.
struct resolver_t {
    virtual ~resolver_t() = default;
    virtual record_ptr find(const GUID& class_id, const key_text_t& key) const = 0;
};
using resolver_ptr = std::weak_ptr<const resolver_t>;

// The key text of named values (the values' texts in order).
key_text_t key_text(const NamedValues& key);

// An enumerator over a copy of values.
CComPtr<IEnumVARIANT> make_enumerator(std::vector<_variant_t> values);
// An enumerable: an object answering IEnumVARIANT whose elements are the objects, as VT_UNKNOWN.
template <class T>
CComPtr<IUnknown> make_enumerable(const std::vector<CComPtr<T>>& objects)
{
    std::vector<_variant_t> values;
    values.reserve(objects.size());
    for (const auto& object : objects)
        values.emplace_back(static_cast<IUnknown*>(object.p));
    return CComPtr<IUnknown>(make_enumerator(std::move(values)));
}

CComPtr<IKey> make_key(const GUID& class_id, NamedValues key);
// A record, or null for null data.
CComPtr<IRecord> make_record(record_ptr data, resolver_ptr resolver);
CComPtr<IObject> make_object(record_ptr data, resolver_ptr resolver);
// A named operation whose body runs on the caller's thread.
CComPtr<IFieldMethod> make_method(std::wstring name, MethodValue method);
// The text of a state change.
CComPtr<IStateDescription> make_description(std::wstring text);

// The value a field hands out: plain values as they are, the others as their objects.
_variant_t realize(const Value& value, const resolver_ptr& resolver);

// The key fields of a record of the definition, or std::invalid_argument.
NamedValues key_of(const ClassDefinition& definition, const Fields& fields);

// The class id and key of an IKey of any origin, read through its fields.
struct read_key_t {
    GUID class_id{};
    NamedValues fields;
};
read_key_t read_key(IKey* key);

} // namespace collector::reference::detail
