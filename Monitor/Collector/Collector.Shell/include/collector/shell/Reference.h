// Reference: the target of a reference-valued field, whichever way the component expresses it (an
// IReference naming the target's class and key, the target itself as an IRecord or IObject, or an
// array of such objects). An array reference stands for one element; GetReference moves to the next
// one, so an array is walked as a chain:
//
//     for (Reference ref = field.GetReference(); ref; ref = ref.GetReference())
//         use(ref.GetKey());
#pragma once

#include "Class.h"
#include "Export.h"
#include "Key.h"
#include "Object.h"
#include "Record.h"

#include <collector/interfaces.h>

#include <memory>
#include <string>

namespace collector::shell {

// May be empty: every member then throws "Reference is null". Copies share one state, including the
// cached class name.
class COLLECTOR_SHELL_API Reference {
public:
    struct impl_t;

    // The empty reference.
    Reference() noexcept = default;
    // The reference that `value` holds at `index` (the element of an IUnknown array; 0 otherwise):
    // empty for an empty or null value and past an array's end. A value that is neither an object
    // answering IReference, IRecord or IObject, nor an IUnknown array, throws with its dump.
    Reference(Object value, unsigned __int64 index, Ostra_Lux_Collector_Interfaces::IClassPool* classPool);

    explicit operator bool() const noexcept { return impl_ != nullptr; }

    Class GetClass() const;
    // Read from the component once per state, then kept.
    std::wstring ClassName() const;
    // The target's key; the empty key for a key-less target.
    Key GetKey() const;
    // The target itself; the empty record when the reference only names it (IReference), or when an
    // array element is not a record.
    Record GetRecord() const;
    // The next element of an array reference; the empty reference after the last and for any other.
    Reference GetReference() const;

private:
    std::shared_ptr<impl_t> impl_;
};

} // namespace collector::shell
