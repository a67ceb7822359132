// Field: one named value of a key or record, the iterator over fields that keys and records share,
// and its exported instantiation.
#include "pch.h"

#include "Iterator.imp"
#include "RecordImpl.h"

#include <collector/shell/Field.h>
#include <collector/shell/Reference.h>

#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Field::impl_t {
    detail::CComQIPtrStrong<IField, &IID_IField> field;
    // Only for the references the value holds.
    CComPtr<IClassPool> class_pool;

    impl_t(IUnknown* field_, IClassPool* classPool) : field(field_), class_pool(classPool) {}
};

Field::Field(IUnknown* field, IClassPool* classPool) : impl_(std::make_shared<impl_t>(field, classPool)) {}

std::wstring Field::GetName() const { return detail::read_text(impl_->field.p, &IField::GetName); }

Object Field::GetValue() const
{
    _variant_t value;
    detail::call(impl_->field.p, &IField::GetValue, &value);
    return Object(std::move(value));
}

bool Field::IsMethod() const
{
    return detail::answered<IFieldMethod>(impl_->field) != nullptr;
}

// The text is passed on as the component wrote it; the library neither builds nor reads the XML.
bool Field::ToXML(std::wstring& xml) const
{
    const CComPtr<IFieldXml> xml_form = detail::answered<IFieldXml>(impl_->field);
    if (!xml_form)
        return false;
    _variant_t text;
    if (FAILED(xml_form->ToXML(0, &text)) || text.vt != VT_BSTR)
        return false;
    xml.assign(ostra::lux::kernel::safe_wstring_view(text.bstrVal, SysStringLen(text.bstrVal)));
    return true;
}

Reference Field::GetReference() const { return Reference(GetValue(), 0, impl_->class_pool); }

bool Field::operator==(const Field& other) const
{
    return GetName() == other.GetName() && GetValue() == other.GetValue();
}

EnumIterator<Field> detail::walk_fields(IUnknown* enumerable, IClassPool* pool)
{
    return EnumIterator<Field>(enumerable, [pool = CComPtr<IClassPool>(pool)](IUnknown* element) {
        return new Field(element, pool);
    });
}

} // namespace collector::shell

COLLECTOR_SHELL_INSTANTIATE_ENUM_ITERATOR(Field);
