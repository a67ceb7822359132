// Reference: the target of a reference-valued field, over an IReference, a record or object, or one
// element of an array of records; array elements are reached one after the other.
#include "pch.h"

#include "RecordImpl.h"

#include <collector/shell/Reference.h>

#include <Kernel/com/com>

#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Reference::impl_t {
    CComPtr<IClassPool> class_pool;
    // Filled by ClassName once the component gave the name.
    std::optional<tstring> class_name;

    explicit impl_t(IClassPool* classPool) : class_pool(classPool) {}
    impl_t(const impl_t&) = delete;
    impl_t& operator=(const impl_t&) = delete;
    virtual ~impl_t() = default;

    virtual CComPtr<IClass> get_class() = 0;
    // The target's key, or null.
    virtual CComPtr<IKey> get_key() = 0;
    // The target as a record or object, when the reference holds it.
    virtual CComPtr<IRecord> get_record() { return nullptr; }
    virtual CComPtr<IObject> get_object() { return nullptr; }
    // The reference to the next element of an array.
    virtual Reference get_next() { return {}; }
};

namespace detail {

template <class Interface>
struct ref_impl_t;

// The target record itself: a VT_UNKNOWN value, or the element at `index` of an IUnknown array.
template <>
struct ref_impl_t<IRecord> final : Reference::impl_t {
    // Each state owns its copy (VT_UNKNOWN, or the whole array), so that it outlives the field's
    // value and each step of a chain stands alone.
    _variant_t value;
    unsigned __int64 index;

    ref_impl_t(const VARIANT& value_, unsigned __int64 index_, IClassPool* classPool)
        : Reference::impl_t(classPool), value(value_), index(index_)
    {
    }

    // The class comes from the record's key: a record reached this way that has no key has no class
    // either.
    CComPtr<IClass> get_class() override
    {
        const CComPtr<IKey> key = get_key();
        if (!key)
            throw_condition(L"Record has no key", COLLECTOR_THROW_SITE_AT(61));
        return find_class(class_pool, class_id(key.p));
    }

    CComPtr<IKey> get_key() override
    {
        const CComPtr<IRecord> record = get_record();
        // An element that is null or not a record has no key to give, as a null pointer has none.
        if (!record)
            _com_issue_error(E_POINTER);
        CComPtr<IKey> key;
        call(record.p, &IRecord::GetKey, &key);
        return key;
    }

    // The element is asked for IRecord as a smart pointer would ask: a null element, or one that is
    // not a record, gives null.
    CComPtr<IRecord> get_record() override
    {
        if (value.vt == VT_UNKNOWN)
            return queried<IRecord>(value.punkVal);
        // The array stays the value's: the accessor only reads it.
        const CObjectSafeArrayAccessor elements(value.parray, false);
        return queried<IRecord>(elements[index]);
    }

    // Every step copies the whole array, so that each reference of a chain stands alone.
    Reference get_next() override
    {
        if (value.vt == VT_UNKNOWN)
            return {};
        return Reference(Object(_variant_t(value)), index + 1, class_pool);
    }
};

} // namespace detail

namespace {

// What a value that holds no reference is refused with: `message` and the value's dump, at the site
// of the rule that refused it.
[[noreturn]] void refuse(const Object& value, const wchar_t* message, const detail::throw_site_t& site)
{
    COstraException refusal(ostra::lux::kernel::exception_init, message, {}, 1);
    refusal << value_dump_info(value.to_string());
    detail::throw_at_site(std::move(refusal), site);
}

// The reference that an object value stands for (defined below, with the states it makes); null
// when the object is none of them.
std::shared_ptr<Reference::impl_t> object_reference(const Object& value, unsigned __int64 index, IClassPool* pool);

} // namespace

// The value decides: empty and null give the empty reference; an IUnknown array gives its element
// at `index` (the empty reference past its end); an object gives the reference it answers for. Any
// other value is refused with its dump: only VT_ARRAY | VT_UNKNOWN counts as an array, so arrays of
// VARIANTs or IDispatch pointers are refused too. The value belongs to the call and is cleared when
// it returns, whatever the path.
Reference::Reference(Object value, unsigned __int64 index, IClassPool* classPool)
{
    const VARIANT& data = value.data();
    switch (data.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return;
    case VT_ARRAY | VT_UNKNOWN:
        // Past the last element the chain ends.
        if (get_safearray_size(data.parray, 1) > index)
            impl_ = std::make_shared<detail::ref_impl_t<IRecord>>(data, index, classPool);
        return;
    case VT_UNKNOWN:
        impl_ = object_reference(value, index, classPool);
        if (!impl_)
            refuse(value, L"Value is neither IReference nor IRecord nor IObject", COLLECTOR_THROW_SITE_AT(135));
        return;
    default:
        refuse(value, L"Value is not IUnknown[]", COLLECTOR_THROW_SITE_AT(138));
    }
}

// The members below refuse the empty reference ("Reference is null"). The target's class and key
// come from wherever the reference holds them: an IReference names both; a record gives its key,
// and its class through that key; an object has a class and no key. An array element that is null
// or not a record gives the empty record, and fails with E_POINTER wherever a key or class is
// needed. Nothing but the class name is kept: every other member asks the component afresh, so a
// reference follows its target as the target changes.

// Resolved through the class pool that came with the value.
Class Reference::GetClass() const
{
    impl_t& impl = detail::require(impl_, L"Reference", COLLECTOR_THROW_SITE_AT(152));
    return Class(impl.get_class());
}

// Filled once per state, and shared by every copy of the reference.
std::wstring Reference::ClassName() const
{
    impl_t& impl = detail::require(impl_, L"Reference", COLLECTOR_THROW_SITE_AT(159));
    if (!impl.class_name)
        impl.class_name = GetClass().GetName();
    return *impl.class_name;
}

// The key carries the class pool on to its fields; a target without key (an object) gives the
// empty key.
Key Reference::GetKey() const
{
    impl_t& impl = detail::require(impl_, L"Reference", COLLECTOR_THROW_SITE_AT(169));
    return Key(impl.get_key(), impl.class_pool);
}

// A keyed record for a record, a key-less one for an object, the empty record for an IReference.
Record Reference::GetRecord() const
{
    impl_t& impl = detail::require(impl_, L"Reference", COLLECTOR_THROW_SITE_AT(176));
    return Record(impl.get_record(), impl.get_object(), impl.class_pool);
}

// The next element of an array reference; the empty reference after the last and for any other.
Reference Reference::GetReference() const
{
    return detail::require(impl_, L"Reference", COLLECTOR_THROW_SITE_AT(183)).get_next();
}

namespace detail {

// Names the target by class and key; the target itself must be looked up through the key.
template <>
struct ref_impl_t<IReference> final : Reference::impl_t {
    CComQIPtrStrong<IReference, &IID_IReference> reference;

    ref_impl_t(IUnknown* reference_, IClassPool* classPool) : Reference::impl_t(classPool), reference(reference_) {}

    CComPtr<IClass> get_class() override { return find_class(class_pool, class_id(reference.p)); }
    CComPtr<IKey> get_key() override
    {
        CComPtr<IKey> key;
        call(reference.p, &IReference::GetKey, &key);
        return key;
    }
};

// A key-less target object.
template <>
struct ref_impl_t<IObject> final : Reference::impl_t {
    CComQIPtrStrong<IObject, &IID_IObject> object;

    ref_impl_t(IUnknown* object_, IClassPool* classPool) : Reference::impl_t(classPool), object(object_) {}

    CComPtr<IClass> get_class() override { return find_class(class_pool, class_id(object.p)); }
    CComPtr<IKey> get_key() override { return nullptr; }
    CComPtr<IObject> get_object() override { return queried<IObject>(object); }
};

} // namespace detail

namespace {

// The reference that an object value stands for: an IReference first, then the record, then the
// object, asking plainly; null when the object is none of them. The value is kept (as VT_UNKNOWN)
// only for a record.
std::shared_ptr<Reference::impl_t> object_reference(const Object& value, unsigned __int64 index, IClassPool* pool)
{
    IUnknown* const unknown = value.data().punkVal;
    if (const CComPtr<IReference> reference = detail::answered<IReference>(unknown))
        return std::make_shared<detail::ref_impl_t<IReference>>(reference, pool);
    if (detail::answered<IRecord>(unknown))
        return std::make_shared<detail::ref_impl_t<IRecord>>(value.data(), index, pool);
    if (const CComPtr<IObject> object = detail::answered<IObject>(unknown))
        return std::make_shared<detail::ref_impl_t<IObject>>(object, pool);
    return nullptr;
}

} // namespace

} // namespace collector::shell
