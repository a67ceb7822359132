// Record: a keyed record (IRecord) or a key-less one (IObject), its values read by name, its fields
// walked, its key, class name and methods, and the states behind both kinds.
// The states are declared in RecordImpl.h, where the library's other owners find them.
#include "pch.h"

#include "RecordImpl.h"

#include <collector/shell/Record.h>
#include <collector/shell/Reference.h>

#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

namespace {

// The field that an element of a field enumeration holds, if it holds one.
CComPtr<IField> field_of(const VARIANT& element)
{
    return element.vt == VT_UNKNOWN ? detail::answered<IField>(element.punkVal) : CComPtr<IField>();
}

// The state of a record reached through a reference: keyed when the target answers as a record,
// key-less when it answers only as an object.
std::shared_ptr<Record::impl_t> state_of(IRecord* record, IObject* object, IClassPool* classPool)
{
    if (record)
        return std::make_shared<detail::record_impl_t<IRecord>>(record, classPool);
    if (object)
        return std::make_shared<detail::record_impl_t<IObject>>(object, classPool);
    return nullptr;
}

} // namespace

// The states' own destructors do the work (see record_state_t).
Record::impl_t::~impl_t() = default;

// Only keyed records override it.
CComPtr<IKey> Record::impl_t::get_key() { return nullptr; }

namespace detail {

template <class Interface, const IID* piid>
record_state_t<Interface, piid>::record_state_t(IUnknown* object, IClassPool* classPool)
    : Record::impl_t(classPool), component(object)
{
}

// Tells the component that the library no longer holds the record, when the record cares to know
// (IDisposableObject), before the record is released. The record is let go whatever the answer, and
// nothing can leave a destructor: a failure is ignored.
template <class Interface, const IID* piid>
record_state_t<Interface, piid>::~record_state_t()
{
    if (const CComPtr<IDisposableObject> disposable = answered<IDisposableObject>(component))
        static_cast<void>(disposable->Dispose());
}

template <class Interface, const IID* piid>
CComPtr<IEnumVARIANT> record_state_t<Interface, piid>::get_fields()
{
    CComPtr<IEnumVARIANT> fields;
    call(component.p, &Interface::GetFields, &fields);
    return fields;
}

// The name goes as it is (a null BSTR for an empty one), and the answer is the caller's to judge.
template <class Interface, const IID* piid>
HRESULT record_state_t<Interface, piid>::get_value(_bstr_t& name, VARIANT* out)
{
    return component->GetValue(name, out);
}

// The two record states; the library's other owners build them through RecordImpl.h.
template struct record_state_t<IRecord, &IID_IRecord>;
template struct record_state_t<IObject, &IID_IObject>;

CComPtr<IKey> record_impl_t<IRecord>::get_key()
{
    CComPtr<IKey> key;
    call(component.p, &IRecord::GetKey, &key);
    return key;
}

// No key, no class: Record::ClassName tells the caller so.
std::optional<tstring> record_impl_t<IRecord>::get_class_name()
{
    const CComPtr<IKey> key = get_key();
    if (!key)
        return std::nullopt;
    return class_name_of(class_pool, class_id(key.p));
}

std::optional<tstring> record_impl_t<IObject>::get_class_name()
{
    return class_name_of(class_pool, class_id(component.p));
}

} // namespace detail

// The members below refuse the empty record ("Record is null"), but for begin and end, which give the
// empty walk. Copies share one state, so the class name is read once for all of them, and the last
// holder to go (a copy, a method, an iterator element) ends the record.

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
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE_AT(126));
    _variant_t value;
    static_cast<void>(impl.get_value(name, &value));
    return Object(std::move(value));
}

// The key's fields and class travel with this record's class pool; a key-less record, or one whose
// key is null, gives the empty key.
Key Record::GetKey() const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE_AT(136));
    return Key(impl.get_key(), impl.class_pool);
}

// Filled once per state; a keyed record without key is asked again on every call.
std::wstring Record::ClassName() const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE_AT(143));
    if (!impl.class_name)
        impl.class_name = impl.get_class_name();
    if (!impl.class_name)
        detail::throw_condition(L"Record has no class", COLLECTOR_THROW_SITE_AT(147));
    return *impl.class_name;
}

// One call to the component, whose answer decides alone: a value it gives for a name it does not
// know is ignored.
bool Record::IsExist(std::wstring_view name) const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE_AT(155));
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

// Every field is visited and the last one of that name decides, whether or not it is a method. Names
// are compared up to their first NUL.
Method Record::GetMethod(std::wstring_view name) const
{
    impl_t& impl = detail::require(impl_, L"Record", COLLECTOR_THROW_SITE_AT(186));
    CComPtr<IFieldMethod> candidate;
    if (const CComPtr<IEnumVARIANT> fields = impl.get_fields()) {
        for (;;) {
            _variant_t element;
            ULONG fetched = 0;
            // The component's enumerators end by the count fetched alone; their HRESULT does not decide.
            static_cast<void>(fields->Next(1, &element, &fetched));
            if (fetched == 0)
                break;
            const CComPtr<IField> field = field_of(element);
            if (!field || std::wstring_view(detail::read_text(field.p, &IField::GetName).c_str()) != name)
                continue;
            // A later field of that name replaces the candidate, whether it is a method or not.
            candidate.Release();
            static_cast<void>(field->QueryInterface(IID_IFieldMethod, reinterpret_cast<void**>(&candidate)));
        }
    }
    if (!candidate)
        detail::throw_condition(L"No such method", COLLECTOR_THROW_SITE_AT(205));
    return Method(impl_, candidate);
}

} // namespace collector::shell
