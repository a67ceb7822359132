// RecordsSet: one batch of record changes, its class name and its changes as RecordEvents, and the
// exported instantiation of the iterator over them.
#include "pch.h"

#include "Iterator.imp"
#include "RecordImpl.h"

#include <collector/shell/RecordsSet.h>

#include <fmt/xchar.h>

#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct RecordsSet::_Impl {
    detail::CComQIPtrStrong<ICompositionSet, &IID_ICompositionSet> composition_set;
    CComPtr<IClassPool> class_pool;

    _Impl(IUnknown* set, IClassPool* classPool) : composition_set(set), class_pool(classPool) {}
};

namespace {

ERecordEventKind event_kind(ECompositionRecordKind kind)
{
    switch (kind) {
    case ECompositionRecordKind::Added:
        return ERecordEventKind::Added;
    case ECompositionRecordKind::Updated:
        return ERecordEventKind::Updated;
    case ECompositionRecordKind::Removed:
        return ERecordEventKind::Removed;
    }
    // Thrown without a location: the kind is the component's fault, not a place in the library.
    throw CHResultException(fmt::format(L"Invalid kind {}", static_cast<LONG>(kind)), {}, E_INVALIDARG, nullptr,
                            false);
}

// One change: its kind, and the record it is about, built over the item's object whatever the item's
// type says (an item without object gives the empty record).
RecordEvent* make_event(IUnknown* element, IClassPool* pool)
{
    const detail::CComQIPtrStrong<ICompositionRecord, &IID_ICompositionRecord> change(element);
    ECompositionRecordKind kind{};
    detail::call(change.p, &ICompositionRecord::GetKind, &kind);
    const ERecordEventKind event = event_kind(kind);
    _variant_t item;
    detail::call(change.p, &ICompositionRecord::GetItem, &item);
    return new RecordEvent{event, Record(item.punkVal, pool)};
}

} // namespace

RecordsSet::RecordsSet(IUnknown* set, IClassPool* classPool) : impl_(std::make_shared<_Impl>(set, classPool)) {}

// Only S_OK with a class counts as known: the pool's S_FALSE says it has no such class.
std::optional<std::wstring> RecordsSet::ClassName() const
{
    const GUID id = detail::class_id(impl_->composition_set.p);
    CComPtr<IClass> cls;
    if (!impl_->class_pool || impl_->class_pool->GetClass(id, &cls) != S_OK || !cls)
        return std::nullopt;
    return detail::read_text(cls.p, &IClass::GetName);
}

EnumIterator<RecordEvent> RecordsSet::begin() const
{
    CComPtr<IUnknown> records;
    detail::call(impl_->composition_set.p, &ICompositionSet::GetRecords, &records);
    return EnumIterator<RecordEvent>(records, [pool = impl_->class_pool](IUnknown* element) {
        return make_event(element, pool);
    });
}

EnumIterator<RecordEvent> RecordsSet::end() const { return {}; }

} // namespace collector::shell

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(RecordEvent);
