// Key: the identity of a record, its key fields walked, looked up by name, compared and ordered.
#include "pch.h"

#include "RecordImpl.h"

#include <collector/shell/Key.h>
#include <collector/shell/Reference.h>

#include <optional>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Key::impl_t {
    detail::CComQIPtrStrong<IKey, &IID_IKey> key;
    CComPtr<IClassPool> class_pool;
    // Set once the component gave the class's name; shared by every copy of the key.
    std::optional<tstring> class_name;

    impl_t(IUnknown* key_, IClassPool* classPool) : key(key_), class_pool(classPool) {}
};

namespace {

// The first field of `key` named exactly `name`.
std::optional<Field> find_field(const Key& key, std::wstring_view name)
{
    for (auto field = key.begin(); field != key.end(); ++field)
        if (field->GetName() == name)
            return *field;
    return std::nullopt;
}

} // namespace

Key::Key(IUnknown* key, IClassPool* classPool)
    : impl_(key ? std::make_shared<impl_t>(key, classPool) : nullptr)
{
}

Key Key::GetKey() const { return *this; }

// The class pool resolves the key's class id; an id the pool does not know fails there.
Class Key::GetClass() const
{
    const impl_t& impl = detail::require(impl_, L"Key", COLLECTOR_THROW_SITE_AT(47));
    return Class(detail::find_class(impl.class_pool, detail::class_id(impl.key.p)));
}

// Every copy of the key shares the cache, so the component is asked once per key state.
std::wstring Key::ClassName() const
{
    impl_t& impl = detail::require(impl_, L"Key", COLLECTOR_THROW_SITE_AT(54));
    if (!impl.class_name)
        impl.class_name = GetClass().GetName();
    return *impl.class_name;
}

EnumIterator<Field> Key::begin() const
{
    if (!impl_)
        return end();
    CComPtr<IUnknown> fields;
    detail::call(impl_->key.p, &IKey::GetFields, &fields);
    return detail::walk_fields(fields, impl_->class_pool);
}

EnumIterator<Field> Key::end() const { return {}; }

bool Key::IsExist(std::wstring_view name) const { return find_field(*this, name).has_value(); }

Object Key::operator[](std::wstring_view name) const
{
    const std::optional<Field> field = find_field(*this, name);
    return field ? field->GetValue() : Object();
}

Reference Key::FindReference(std::wstring_view name) const
{
    const std::optional<Field> field = find_field(*this, name);
    return field ? field->GetReference() : Reference();
}

bool Key::operator==(const Key& other) const
{
    auto a = begin();
    auto b = other.begin();
    for (; a != end(); ++a, ++b)
        if (b == end() || !(*a == *b))
            return false;
    return b == end();
}

// Names are compared by UTF-16 code unit whatever the width of wchar_t, so that keys order alike on
// every host; values by the Object order, which puts null values first.
bool Key::operator<(const Key& other) const
{
    auto a = begin();
    auto b = other.begin();
    for (; a != end(); ++a, ++b) {
        if (b == end())
            return false;
        if (const int names = ostra::lux::kernel::detail::CompareStringOrdinal(a->GetName(), b->GetName(), false))
            return names < 0;
        const Object left = a->GetValue();
        const Object right = b->GetValue();
        if (left < right)
            return true;
        if (right < left)
            return false;
    }
    return b != end();
}

} // namespace collector::shell
