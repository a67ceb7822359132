// A fake collection component in three kinds of object: the collection, which is also its own
// composition and the description of its states; the class, which is also the class pool and the
// key template, reference index and key set of a search; and items, each a record, its key, a key
// field and a composition change at once, named by a number.
#pragma once

#include "shell/fake_elements.h"
#include "shell/site.h"

#include "support/fake_events.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A namespace of its own, apart from the other fakes of the same names.
namespace shell_test::collection_fakes {

using namespace Ostra_Lux_Collector_Interfaces;
using Fields = std::vector<std::pair<std::wstring, LONG>>;
using Changes = std::vector<std::pair<LONG, LONG>>; // (kind, number)

inline const GUID class_id = {0x5EC7, 0x1, 0x2, {1, 1, 1, 1, 1, 1, 1, 1}};

// Fills an out-parameter and succeeds.
template <class T, class V>
HRESULT give(T* out, V value)
{
    *out = value;
    return S_OK;
}
inline BSTR text(const std::wstring& value) { return SysAllocStringLen(value.data(), static_cast<UINT>(value.size())); }

template <class Out>
HRESULT enumerate(std::vector<_variant_t> values, Out** out, std::optional<std::size_t> fail_at = {})
{
    return give(out, fake::make<FakeElements>(std::move(values), nullptr, fail_at));
}

// As a record, every name reads as its number and it is its own key; as a key, its fields are items
// of their own; as a field, it is (name, number); as a change, it is of `kind` about itself.
class FakeItem : public fake::Fake<IRecord, IKey, IField, ICompositionRecord> {
public:
    explicit FakeItem(LONG number, LONG kind = 0, std::wstring name = L"id")
        : Fake("item"), fields{{L"id", number}}, number_(number), kind_(kind), name_(std::move(name)) {}
    Fields fields;

    HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetValue(BSTR, VARIANT* value) override { return GetValue(value); }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override { return QueryInterface(IID_IKey, reinterpret_cast<void**>(key)); }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* id) override { return give(id, class_id); }
    HRESULT STDMETHODCALLTYPE GetFields(IUnknown** out) override;
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override { return give(name, text(name_)); }
    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* value) override { return give(value, _variant_t(number_).Detach()); }
    HRESULT STDMETHODCALLTYPE GetKind(ECompositionRecordKind* kind) override
    {
        return give(kind, static_cast<ECompositionRecordKind>(kind_));
    }
    HRESULT STDMETHODCALLTYPE GetItem(VARIANT* item) override { return give(item, _variant_t(unknown()).Detach()); }

private:
    LONG number_;
    LONG kind_;
    std::wstring name_;
};

// A new item held by the VARIANT alone.
template <class... Args>
_variant_t item(Args... args)
{
    return _variant_t(fake::hold<FakeItem>(args...)->unknown());
}

inline HRESULT FakeItem::GetFields(IUnknown** out)
{
    std::vector<_variant_t> items;
    for (const auto& [name, value] : fields)
        items.push_back(item(value, 0L, name));
    return enumerate(std::move(items), out);
}

// A batch of changes, which counts its disposals.
class FakeSet : public fake::Fake<ICompositionSet, IDisposableObject> {
public:
    FakeSet(const Changes& changes, std::optional<std::size_t> fail_at) : Fake("set"), fail_at_(fail_at)
    {
        for (const auto& [kind, number] : changes)
            changes_.push_back(item(number, kind));
    }
    std::atomic<int> disposals{0};

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* id) override { return give(id, class_id); }
    HRESULT STDMETHODCALLTYPE GetRecords(IUnknown** out) override { return enumerate(changes_, out, fail_at_); }
    HRESULT STDMETHODCALLTYPE Dispose() override { return ++disposals, S_OK; }

private:
    std::vector<_variant_t> changes_;
    std::optional<std::size_t> fail_at_;
};

// The search notes the fields that its template receives and finds the keys `referencing`.
class FakeClass : public fake::Fake<IClassPool, IClass, IKeyTemplate, IReferenceIndex, IKeySet> {
public:
    FakeClass() : Fake("class") {}
    std::wstring class_name = L"Process";
    std::atomic<int> name_reads{0};
    bool offers_template = true;
    bool has_items = true;
    Fields template_fields;

    HRESULT STDMETHODCALLTYPE GetClass(GUID id, IClass** out) override
    {
        return IsEqualGUID(id, class_id) ? QueryInterface(IID_IClass, reinterpret_cast<void**>(out)) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetId(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return ++name_reads, give(out, text(class_name)); }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScope(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSingleton(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateKeyTemplate(IKeyTemplate** out) override
    {
        return offers_template ? QueryInterface(IID_IKeyTemplate, reinterpret_cast<void**>(out)) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetField(BSTR field, VARIANT value) override
    {
        template_fields.emplace_back(std::wstring(field, SysStringLen(field)), value.lVal);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override { return give(key, fake::make<FakeItem>(0L)); }
    HRESULT STDMETHODCALLTYPE FindReferencing(IKey*, IKeySet** keys) override
    {
        return QueryInterface(IID_IKeySet, reinterpret_cast<void**>(keys));
    }
    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* has) override { return give(has, has_items ? VARIANT_TRUE : VARIANT_FALSE); }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override { return enumerate({item(7L), item(8L)}, out); }
};

// The collection with its events, its composition (unless made without) with its updates, and
// "busy" as the text of its state descriptions.
class FakeCollection
    : public fake::Fake<ICollection, IComposition, IProperties, IStateDescription, fake::ConnectionPoints> {
public:
    explicit FakeCollection(bool composed = true) : Fake("collection"), composed_(composed) {}
    fake::ConnectionPoint<ICollectionEvents>& events = offer<ICollectionEvents>("collection events");
    fake::ConnectionPoint<ICompositionEvents>& updates = offer<ICompositionEvents>("composition events");
    fake::Held<FakeClass> cls = fake::hold<FakeClass>();
    GUID id = {0xC011, 0x3, 0x4, {2, 2, 2, 2, 2, 2, 2, 2}};
    std::atomic<bool> announces{false};
    std::atomic<int> shutdowns{0};
    bool offers_index = true;
    int index_requests = 0;
    // What GetMethod answers, and whether it gives an object.
    HRESULT method_result = S_OK;
    bool has_method = false;
    std::vector<std::wstring> property_names;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return give(out, id); }
    HRESULT STDMETHODCALLTYPE GetName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return give(out, class_id); }
    HRESULT STDMETHODCALLTYPE GetState(ECollectionState*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetComposition(LONG batch, IComposition** out) override
    {
        return composed_ && batch == 1000 ? QueryInterface(IID_IComposition, reinterpret_cast<void**>(out)) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override { return enumerate({item(1L), item(2L)}, out); }
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR, IUnknown** method) override
    {
        *method = has_method ? fake::make<fake::Unknown>("method")->unknown() : nullptr;
        return method_result;
    }
    HRESULT STDMETHODCALLTYPE GetReferenceIndex(IReferenceIndex** out) override
    {
        ++index_requests;
        return offers_index ? cls->QueryInterface(IID_IReferenceIndex, reinterpret_cast<void**>(out)) : E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE GetSize(LONG* size) override { return give(size, 42); }
    HRESULT STDMETHODCALLTYPE GetAnnounceUpdates(VARIANT_BOOL* announce) override
    {
        return give(announce, announces ? VARIANT_TRUE : VARIANT_FALSE);
    }
    HRESULT STDMETHODCALLTYPE Shutdown() override { return ++shutdowns, E_FAIL; }

    HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT) override
    {
        property_names.emplace_back(name, SysStringLen(name));
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetText(BSTR* description) override { return give(description, text(L"busy")); }

private:
    bool composed_;
};

} // namespace shell_test::collection_fakes
