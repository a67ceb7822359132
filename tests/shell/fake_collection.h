// A fake collection component: the collection with its events, its composition with its updates,
// records and keys that name themselves by a number, composition sets, the class pool with one class,
// and the key template, reference index and key set of the referenced-key search.
#pragma once

#include "shell/site.h"

#include "support/fake_events.h"

#include <collector/interfaces.h>

#include <comdef.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace shell_test {

using namespace Ostra_Lux_Collector_Interfaces;

inline const GUID class_id = {0x5EC7, 0x1, 0x2, {1, 1, 1, 1, 1, 1, 1, 1}};

// An enumeration of copies of `values`, failing its Next at `fail_at` when given.
class FakeEnum : public fake::Fake<IEnumVARIANT> {
public:
    FakeEnum(std::vector<_variant_t> values, std::optional<std::size_t> fail_at = {})
        : Fake("enum"), values_(std::move(values)), fail_at_(fail_at)
    {
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT* out, ULONG* fetched) override
    {
        *fetched = 0;
        if (fail_at_ == next_)
            return E_FAIL;
        if (next_ == values_.size())
            return S_FALSE;
        *fetched = 1;
        return VariantCopy(out, &values_[next_++]);
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<_variant_t> values_;
    std::optional<std::size_t> fail_at_;
    std::size_t next_ = 0;
};

// Gives a new enumeration of `values` through an out-parameter typed as the interface wants it.
template <class Out>
HRESULT enumerate(std::vector<_variant_t> values, Out** out, std::optional<std::size_t> fail_at = {})
{
    *out = fake::make<FakeEnum>(std::move(values), fail_at);
    return S_OK;
}

// A VT_UNKNOWN holding its own reference to `object`.
inline _variant_t holding(IUnknown* object) { return _variant_t(object, true); }

class FakeField : public fake::Fake<IField> {
public:
    FakeField(std::wstring name, _variant_t value) : Fake("field"), name_(std::move(name)), value_(std::move(value)) {}
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* value) override { return VariantCopy(value, &value_); }

private:
    std::wstring name_;
    _variant_t value_;
};

// A key of the fake class whose fields are (name, number) pairs.
class FakeKey : public fake::Fake<IKey> {
public:
    explicit FakeKey(std::vector<std::pair<std::wstring, LONG>> fields = {}) : Fake("key"), fields_(std::move(fields)) {}
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* id) override
    {
        *id = class_id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFields(IUnknown** out) override
    {
        std::vector<_variant_t> fields;
        for (const auto& [name, value] : fields_) {
            fake::Held<FakeField> field = fake::hold<FakeField>(name, _variant_t(value));
            fields.push_back(holding(field->unknown()));
        }
        return enumerate(std::move(fields), out);
    }

private:
    std::vector<std::pair<std::wstring, LONG>> fields_;
};

// A record that answers every name with its number, and whose key is ("id", number).
class FakeRecord : public fake::Fake<IRecord> {
public:
    explicit FakeRecord(LONG id) : Fake("record"), id_(id) {}
    HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** out) override { return enumerate({}, out); }
    HRESULT STDMETHODCALLTYPE GetValue(BSTR, VARIANT* value) override
    {
        value->vt = VT_I4;
        value->lVal = id_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override
    {
        *key = fake::make<FakeKey>(std::vector<std::pair<std::wstring, LONG>>{{L"id", id_}});
        return S_OK;
    }

private:
    LONG id_;
};

// One change of a composition set; `record` 0 gives an item without object.
class FakeChange : public fake::Fake<ICompositionRecord> {
public:
    FakeChange(LONG kind, LONG record) : Fake("change"), kind_(kind), record_(record) {}
    HRESULT STDMETHODCALLTYPE GetKind(ECompositionRecordKind* kind) override
    {
        *kind = static_cast<ECompositionRecordKind>(kind_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(VARIANT* item) override
    {
        if (record_ == 0)
            return S_OK;
        item->vt = VT_UNKNOWN;
        item->punkVal = fake::make<FakeRecord>(record_)->unknown();
        return S_OK;
    }

private:
    LONG kind_;
    LONG record_;
};

// A batch of (kind, record number) changes, which counts its disposals.
class FakeSet : public fake::Fake<ICompositionSet, IDisposableObject> {
public:
    explicit FakeSet(const std::vector<std::pair<LONG, LONG>>& changes, std::optional<std::size_t> fail_at = {})
        : Fake("set"), fail_at_(fail_at)
    {
        for (const auto& [kind, record] : changes) {
            fake::Held<FakeChange> change = fake::hold<FakeChange>(kind, record);
            changes_.push_back(holding(change->unknown()));
        }
    }
    std::atomic<int> disposals{0};

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* id) override
    {
        *id = class_id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRecords(IUnknown** out) override { return enumerate(changes_, out, fail_at_); }
    HRESULT STDMETHODCALLTYPE Dispose() override
    {
        ++disposals;
        return S_OK;
    }

private:
    std::vector<_variant_t> changes_;
    std::optional<std::size_t> fail_at_;
};

class FakeDescription : public fake::Fake<IStateDescription> {
public:
    explicit FakeDescription(const wchar_t* text) : Fake("description"), text_(text) {}
    HRESULT STDMETHODCALLTYPE GetText(BSTR* text) override
    {
        *text = SysAllocString(text_);
        return S_OK;
    }

private:
    const wchar_t* text_;
};

// The key set of a search: whether it says it has items, and the keys (numbers) it enumerates.
class FakeKeySet : public fake::Fake<IKeySet> {
public:
    FakeKeySet(bool has_items, std::vector<LONG> keys) : Fake("key set"), has_items_(has_items), keys_(std::move(keys)) {}
    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* has) override
    {
        *has = has_items_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override
    {
        std::vector<_variant_t> keys;
        for (const LONG key : keys_) {
            fake::Held<FakeKey> made = fake::hold<FakeKey>(std::vector<std::pair<std::wstring, LONG>>{{L"id", key}});
            keys.push_back(holding(made->unknown()));
        }
        return enumerate(std::move(keys), out);
    }

private:
    bool has_items_;
    std::vector<LONG> keys_;
};

// The key template (which notes the fields it receives), the reference index and the class in one.
class FakeClass : public fake::Fake<IClass, IKeyTemplate, IReferenceIndex> {
public:
    FakeClass() : Fake("class") {}

    std::wstring class_name = L"Process";
    bool offers_template = true;
    bool has_items = true;
    std::vector<LONG> referencing{7, 8};
    std::vector<std::pair<std::wstring, LONG>> template_fields;
    std::atomic<int> name_reads{0};

    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        *id = class_id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override
    {
        ++name_reads;
        *out = SysAllocString(class_name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScope(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSingleton(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateKeyTemplate(IKeyTemplate** out) override
    {
        if (!offers_template)
            return E_NOTIMPL;
        return QueryInterface(IID_IKeyTemplate, reinterpret_cast<void**>(out));
    }

    HRESULT STDMETHODCALLTYPE SetField(BSTR field, VARIANT value) override
    {
        template_fields.emplace_back(std::wstring(field, SysStringLen(field)), value.lVal);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override
    {
        *key = fake::make<FakeKey>(template_fields);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE FindReferencing(IKey* key, IKeySet** keys) override
    {
        if (!key)
            return E_POINTER;
        *keys = fake::make<FakeKeySet>(has_items, referencing);
        return S_OK;
    }
};

class FakeClassPool : public fake::Fake<IClassPool> {
public:
    FakeClassPool() : Fake("class pool") {}
    fake::Held<FakeClass> cls = fake::hold<FakeClass>();

    HRESULT STDMETHODCALLTYPE GetClass(GUID id, IClass** out) override
    {
        if (!IsEqualGUID(id, class_id))
            return E_INVALIDARG;
        return cls->QueryInterface(IID_IClass, reinterpret_cast<void**>(out));
    }
};

class FakeComposition : public fake::Fake<IComposition, fake::ConnectionPoints> {
public:
    FakeComposition() : Fake("composition") {}
    fake::ConnectionPoint<ICompositionEvents>& updates = offer<ICompositionEvents>("composition events");
    std::atomic<bool> announces{false};
    std::atomic<int> shutdowns{0};

    HRESULT STDMETHODCALLTYPE GetSize(LONG* size) override
    {
        *size = 42;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAnnounceUpdates(VARIANT_BOOL* announce) override
    {
        *announce = announces ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Shutdown() override
    {
        ++shutdowns;
        return E_FAIL;
    }
};

class FakeCollection : public fake::Fake<ICollection, IProperties, fake::ConnectionPoints> {
public:
    explicit FakeCollection(bool composed = true) : Fake("collection")
    {
        if (composed)
            composition = fake::hold<FakeComposition>();
    }
    fake::ConnectionPoint<ICollectionEvents>& events = offer<ICollectionEvents>("collection events");
    fake::Held<FakeComposition> composition;
    GUID id = {0xC011, 0x3, 0x4, {2, 2, 2, 2, 2, 2, 2, 2}};
    bool offers_index = true;
    int index_requests = 0;
    // What GetMethod answers, and whether it gives a method.
    HRESULT method_result = S_OK;
    bool has_method = false;
    std::vector<std::wstring> property_names;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override
    {
        *out = id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        *name = SysAllocString(L"processes");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override
    {
        *out = class_id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(ECollectionState* state) override
    {
        *state = ECollectionState::Limping;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Stop(IUnknown** result) override
    {
        *result = fake::make<fake::Unknown>("stop result")->unknown();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset(LONG options) override { return options == 0 ? S_OK : E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE GetComposition(LONG batch, IComposition** out) override
    {
        if (!composition || batch != 1000)
            return E_NOTIMPL;
        return composition->QueryInterface(IID_IComposition, reinterpret_cast<void**>(out));
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override
    {
        fake::Held<FakeRecord> first = fake::hold<FakeRecord>(1);
        fake::Held<FakeRecord> second = fake::hold<FakeRecord>(2);
        return enumerate({holding(first->unknown()), holding(second->unknown())}, out);
    }
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR, IUnknown** method) override
    {
        *method = has_method ? fake::make<fake::Unknown>("method")->unknown() : nullptr;
        return method_result;
    }
    HRESULT STDMETHODCALLTYPE GetReferenceIndex(IReferenceIndex** out) override
    {
        ++index_requests;
        if (!offers_index)
            return E_NOINTERFACE;
        return classes->cls->QueryInterface(IID_IReferenceIndex, reinterpret_cast<void**>(out));
    }

    HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT*) override
    {
        property_names.emplace_back(name, SysStringLen(name));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, VARIANT) override
    {
        property_names.emplace_back(name, SysStringLen(name));
        return S_OK;
    }

    fake::Held<FakeClassPool> classes = fake::hold<FakeClassPool>();
};

} // namespace shell_test
