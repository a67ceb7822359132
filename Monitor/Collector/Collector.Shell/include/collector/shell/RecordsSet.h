// RecordsSet: one batch of record changes of a collection, all of one record class, as the
// collection's listener may receive it whole; walked as RecordEvents in the component's order.
#pragma once

#include "EnumIterator.h"
#include "Export.h"
#include "Record.h"

#include <collector/interfaces.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace collector::shell {

// What happened to a record; the numbers are the component's.
enum class ERecordEventKind : std::int32_t {
    Added = 0,
    Updated = 1,
    Removed = 2,
};

// One change of a batch. For a removal, `record` is the removed record as the component delivers it.
// Exported like the classes, so that its iterator, which the library exports, is visible too.
struct COLLECTOR_SHELL_API RecordEvent {
    ERecordEventKind kind;
    Record record;
};

// Never empty. Holding it keeps the component's batch alive.
class COLLECTOR_SHELL_API RecordsSet {
public:
    struct _Impl;

    // For the collection's event sink: `set` must answer ICompositionSet ("Unable to
    // QueryInterface" otherwise); `classPool` resolves the class and travels with the records.
    RecordsSet(IUnknown* set, Ostra_Lux_Collector_Interfaces::IClassPool* classPool);

    // The class of the batch's records; nothing when the class pool does not know it. Asks the
    // component on every call.
    std::optional<std::wstring> ClassName() const;

    // The changes in the component's order; a kind the library does not know throws "Invalid kind {}"
    // from the step that meets it.
    EnumIterator<RecordEvent> begin() const;
    EnumIterator<RecordEvent> end() const;

private:
    std::shared_ptr<_Impl> impl_;
};

} // namespace collector::shell
