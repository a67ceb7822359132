#include "Snapshot.h"

#include "Text.h"

#include <Kernel/exception.h>

namespace collector::cli {

namespace {

bool holds_object(const shell::Object& value)
{
    const VARTYPE type = value.data().vt;
    return type == VT_UNKNOWN || type == VT_DISPATCH || type == (VT_ARRAY | VT_UNKNOWN);
}

} // namespace

value_t read_value(const shell::Field& field)
{
    shell::Object value = field.GetValue();
    if (!holds_object(value))
        return to_value(value);
    shell::Reference reference;
    try {
        reference = field.GetReference();
    } catch (const COstraException&) {
        // An object that refers to no record, such as an array of texts: shown as the library dumps it.
        return to_value(value);
    }
    if (!reference)
        return std::monostate{};
    return reference_t{narrow(reference.ClassName()), key_text(read_key(reference.GetKey()))};
}

fields_t read_key(const shell::Key& key)
{
    fields_t fields;
    for (const shell::Field& field : key)
        fields.push_back({narrow(field.GetName()), to_value(field.GetValue())});
    return fields;
}

record_snapshot_t read_record(const shell::Record& record)
{
    record_snapshot_t snapshot{read_key(record.GetKey()), {}, {}};
    for (const shell::Field& field : record) {
        if (field.IsMethod())
            snapshot.methods.push_back(narrow(field.GetName()));
        else
            snapshot.fields.push_back({narrow(field.GetName()), read_value(field)});
    }
    return snapshot;
}

} // namespace collector::cli
