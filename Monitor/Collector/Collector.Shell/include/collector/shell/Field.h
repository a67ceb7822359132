// Field: one named value of a key or of a record. Its value may also be a reference to other records,
// and the field itself may be a method or give its XML text.
#pragma once

#include "Export.h"
#include "Object.h"

#include <collector/interfaces.h>

#include <memory>
#include <string>

namespace collector::shell {

class Reference;

// Made by the iterators of Key::begin and Record::begin; never empty. Copies share the component's
// field object.
class COLLECTOR_SHELL_API Field {
public:
    struct impl_t;

    // `field` must answer IField ("Unable to QueryInterface" otherwise); `classPool`, which may be
    // null, resolves the classes of the references the field holds.
    Field(IUnknown* field, Ostra_Lux_Collector_Interfaces::IClassPool* classPool);

    std::wstring GetName() const;
    Object GetValue() const;
    // Whether the field is a callable method of its record; never throws.
    bool IsMethod() const;
    // Replaces `xml` with the field's XML text and returns true; returns false, leaving `xml` as it
    // was, when the field has no XML form or the component fails to give it. Never throws.
    bool ToXML(std::wstring& xml) const;
    // The reference that the value holds (the first element of an array of references); the empty
    // reference for an empty or null value. Throws for a value that is not an object or an object
    // array, carrying the value's dump.
    Reference GetReference() const;

    // Same name (case-sensitive) and equal values; the values are read only when the names match.
    bool operator==(const Field& other) const;

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
