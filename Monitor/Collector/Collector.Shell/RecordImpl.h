// The states behind Record, and the small pieces that the record family (Class, Key, Field, Record,
// Reference, RecordsSet) shares: reading a text out of the component, asking an object for an
// interface (plainly, or as a smart pointer does), resolving a class id through a class pool, and
// walking fields.
//
// An owner that hands out records builds them with the public constructors, or from a state made
// here, e.g. a key-less record over a new object:
//
//     Record(std::make_shared<detail::record_impl_t<IObject>>(object, nullptr))
#pragma once

#include "pch.h"

#include <collector/shell/EnumIterator.h>
#include <collector/shell/Field.h>
#include <collector/shell/Record.h>

#include <optional>

namespace collector::shell {

// What a record is, whichever interface the component hands it out through.
struct Record::impl_t {
    // Resolves the record's class; may be null (a profile has none).
    CComPtr<Ostra_Lux_Collector_Interfaces::IClassPool> class_pool;
    // Filled by Record::ClassName once the component gave a name.
    std::optional<tstring> class_name;

    explicit impl_t(Ostra_Lux_Collector_Interfaces::IClassPool* classPool) : class_pool(classPool) {}
    impl_t(const impl_t&) = delete;
    impl_t& operator=(const impl_t&) = delete;

    // The enumerable of the record's fields.
    virtual CComPtr<IEnumVARIANT> get_fields() = 0;
    // The component's answer for the named field, unchecked; an empty `name` passes a null BSTR.
    virtual HRESULT get_value(_bstr_t& name, VARIANT* out) = 0;
    // The record's key; null for a record without one.
    virtual CComPtr<Ostra_Lux_Collector_Interfaces::IKey> get_key();
    // The name of the record's class; nothing when the record has no class.
    virtual std::optional<tstring> get_class_name() = 0;
    // Each state's own destructor first tells the component that the library no longer holds the
    // record (IDisposableObject::Dispose).
    virtual ~impl_t();
};

namespace detail {

// The text that an operation of `object` gives out as a BSTR, freed here; a null BSTR is empty.
template <class Interface>
tstring read_text(std::type_identity_t<Interface>* object, HRESULT (Interface::*operation)(BSTR*))
{
    _bstr_t text;
    call(object, operation, text.GetAddress());
    return tstring(ostra::lux::kernel::safe_wstring_view(text, text.length()));
}

// `source`'s interface I as a COM smart pointer asks for it: null for a null source or E_NOINTERFACE,
// any other failure raised.
template <class I>
CComPtr<I> queried(IUnknown* source)
{
    CComPtr<I> result;
    if (!source)
        return result;
    if (const HRESULT hr = source->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&result));
        FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    return result;
}

// The class id that `owner` (a key, object, reference or composition set) gives.
template <class Interface>
GUID class_id(Interface* owner)
{
    GUID id{};
    call(owner, &Interface::GetClassId, &id);
    return id;
}

// The class of `id` as the class pool gives it: possibly null. A null pool raises E_POINTER.
CComPtr<Ostra_Lux_Collector_Interfaces::IClass> find_class(Ostra_Lux_Collector_Interfaces::IClassPool* pool,
                                                            const GUID& id);
// The name of that class; a null class raises E_POINTER.
tstring class_name_of(Ostra_Lux_Collector_Interfaces::IClassPool* pool, const GUID& id);

// The fields of a key or record: an iterator over `enumerable` whose elements are Fields that carry
// `pool`.
EnumIterator<Field> walk_fields(IUnknown* enumerable, Ostra_Lux_Collector_Interfaces::IClassPool* pool);

// What both record states share: the component's interface `Interface`, asked for with
// CComQIPtrStrong ("Unable to QueryInterface"), its fields and values, and the Dispose that ends it.
template <class Interface, const IID* piid>
struct record_state_t : Record::impl_t {
    CComQIPtrStrong<Interface, piid> component;

    record_state_t(IUnknown* object, Ostra_Lux_Collector_Interfaces::IClassPool* classPool);
    ~record_state_t() override;

    CComPtr<IEnumVARIANT> get_fields() override;
    HRESULT get_value(_bstr_t& name, VARIANT* out) override;
};

// The record states: IRecord for keyed records, IObject for key-less ones.
template <class Interface>
struct record_impl_t;

template <>
struct record_impl_t<Ostra_Lux_Collector_Interfaces::IRecord> final
    : record_state_t<Ostra_Lux_Collector_Interfaces::IRecord, &Ostra_Lux_Collector_Interfaces::IID_IRecord> {
    using record_state_t::record_state_t;

    // A record without key answers S_OK and a null key.
    CComPtr<Ostra_Lux_Collector_Interfaces::IKey> get_key() override;
    // Through the key: a record without key has no class.
    std::optional<tstring> get_class_name() override;
};

template <>
struct record_impl_t<Ostra_Lux_Collector_Interfaces::IObject> final
    : record_state_t<Ostra_Lux_Collector_Interfaces::IObject, &Ostra_Lux_Collector_Interfaces::IID_IObject> {
    using record_state_t::record_state_t;

    // Through the object's class id: always a name, or an error.
    std::optional<tstring> get_class_name() override;
};

} // namespace detail
} // namespace collector::shell
