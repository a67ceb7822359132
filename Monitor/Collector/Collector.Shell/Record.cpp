// Record: a keyed record (IRecord) or a key-less one (IObject), its values read by name, its fields
// walked, its key, class name and methods, and the states behind both kinds.
#include "pch.h"

#include "RecordImpl.h"

#include <collector/shell/Record.h>
#include <collector/shell/Reference.h>

#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

namespace {

// Tells the component that the library no longer holds `record`, when the record cares to know.
// Nothing can leave a destructor, and the record is let go whatever the answer, so a failure is
// ignored.
void dispose(IUnknown* record) noexcept
{
    CComPtr<IDisposableObject> disposable;
    if (record && SUCCEEDED(record->QueryInterface(IID_IDisposableObject, reinterpret_cast<void**>(&disposable))) &&
        disposable)
        static_cast<void>(disposable->Dispose());
}

std::shared_ptr<Record::impl_t> state_of(IRecord* record, IObject* object, IClassPool* classPool)
{
    if (record)
        return std::make_shared<detail::record_impl_t<IRecord>>(record, classPool);
    if (object)
        return std::make_shared<detail::record_impl_t<IObject>>(object, classPool);
    return nullptr;
}

} // namespace

Record::impl_t::~impl_t() = default;

CComPtr<IKey> Record::impl_t::get_key() { return nullptr; }

namespace detail {

record_impl_t<IRecord>::record_impl_t(IUnknown* record_, IClassPool* classPool)
    : Record::impl_t(classPool), record(record_)
{
}

record_impl_t<IRecord>::~record_impl_t() { dispose(record); }

CComPtr<IEnumVARIANT> record_impl_t<IRecord>::get_fields()
{
    CComPtr<IEnumVARIANT> fields;
    call(record.p, &IRecord::GetFields, &fields);
    return fields;
}

HRESULT record_impl_t<IRecord>::get_value(_bstr_t& name, VARIANT* out) { return record->GetValue(name, out); }

CComPtr<IKey> record_impl_t<IRecord>::get_key()
{
    CComPtr<IKey> key;
    call(record.p, &IRecord::GetKey, &key);
    return key;
}

std::optional<tstring> record_impl_t<IRecord>::get_class_name()
{
    const CComPtr<IKey> key = get_key();
    if (!key)
        return std::nullopt;
    GUID id{};
    call(key.p, &IKey::GetClassId, &id);
    return class_name_of(class_pool, id);
}

record_impl_t<IObject>::record_impl_t(IUnknown* object_, IClassPool* classPool)
    : Record::impl_t(classPool), object(object_)
{
}

record_impl_t<IObject>::~record_impl_t() { dispose(object); }

CComPtr<IEnumVARIANT> record_impl_t<IObject>::get_fields()
{
    CComPtr<IEnumVARIANT> fields;
    call(object.p, &IObject::GetFields, &fields);
    return fields;
}

HRESULT record_impl_t<IObject>::get_value(_bstr_t& name, VARIANT* out) { return object->GetValue(name, out); }

std::optional<tstring> record_impl_t<IObject>::get_class_name()
{
    GUID id{};
    call(object.p, &IObject::GetClassId, &id);
    return class_name_of(class_pool, id);
}

} // namespace detail

Record::Record(IUnknown* record, IClassPool* classPool)
    : impl_(record ? std::make_shared<detail::record_impl_t<IRecord>>(record, classPool) : nullptr)
{
}

Record::Record(IRecord* record, IObject* object, IClassPool* classPool) : impl_(state_of(record, object, classPool)) {}

Record::Record(std::shared_ptr<impl_t> impl) noexcept : impl_(std::move(impl)) {}

Object Record::operator[](std::wstring_view name) const
{
    _bstr_t text = detail::make_bstr(name);
    return (*this)[text];
}

// The component's answer is not examined: an unknown name gives what it left in the value.
Object Record::operator[](_bstr_t& name) const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE);
    _variant_t value;
    static_cast<void>(impl.get_value(name, &value));
    return Object(std::move(value));
}

Key Record::GetKey() const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE);
    return Key(impl.get_key(), impl.class_pool);
}

std::wstring Record::ClassName() const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE);
    if (!impl.class_name)
        impl.class_name = impl.get_class_name();
    if (!impl.class_name)
        detail::throw_condition(L"Record has no class", COLLECTOR_THROW_SITE);
    return *impl.class_name;
}

bool Record::IsExist(std::wstring_view name) const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE);
    _bstr_t text = detail::make_bstr(name);
    _variant_t ignored;
    return SUCCEEDED(impl.get_value(text, &ignored));
}

EnumIterator<Field> Record::begin() const
{
    if (!impl_)
        return end();
    return detail::walk_fields(impl_->get_fields(), impl_->class_pool);
}

EnumIterator<Field> Record::end() const { return {}; }

// Every field is visited and the last one of that name decides, whether or not it is a method. Names
// are compared up to their first NUL.
Method Record::GetMethod(std::wstring_view name) const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE);
    CComPtr<IFieldMethod> candidate;
    if (const CComPtr<IEnumVARIANT> fields = impl.get_fields()) {
        for (;;) {
            _variant_t element;
            ULONG fetched = 0;
            // The component's enumerators end by the count fetched alone; their HRESULT does not decide.
            static_cast<void>(fields->Next(1, &element, &fetched));
            if (fetched == 0)
                break;
            CComPtr<IField> field;
            if (element.vt != VT_UNKNOWN || !element.punkVal ||
                FAILED(element.punkVal->QueryInterface(IID_IField, reinterpret_cast<void**>(&field))) || !field)
                continue;
            if (std::wstring_view(detail::read_text(field.p, &IField::GetName).c_str()) != name)
                continue;
            candidate.Release();
            static_cast<void>(field->QueryInterface(IID_IFieldMethod, reinterpret_cast<void**>(&candidate)));
        }
    }
    if (!candidate)
        detail::throw_condition(L"No such method", COLLECTOR_THROW_SITE);
    return Method(impl_, candidate);
}

Reference Record::FindReference(std::wstring_view name) const
{
    _bstr_t text = detail::make_bstr(name);
    return FindReference(text);
}

Reference Record::FindReference(_bstr_t& name) const
{
    Object value = (*this)[name];
    return Reference(std::move(value), 0, impl_->class_pool);
}

} // namespace collector::shell
