// Fakes of the component's record family: classes and their pool (a class also serves the search of
// referencing keys), fields, keys, records (which may also answer as objects and references),
// composition sets and the collection itself. Values are handed out as copies, as the component does.
#pragma once

#include "shell/object_values.h"

#include "support/fake_events.h"

#include <atlsafe.h>

namespace shell_test {

using namespace Ostra_Lux_Collector_Interfaces;

// A new fake owned by the one reference that the value holds.
template <class T, class... Args>
_variant_t adopted(Args&&... args)
{
    return _variant_t(static_cast<IUnknown*>(fake::make<T>(std::forward<Args>(args)...)->unknown()), false);
}

// A VT_I4 value (a long literal is VT_I8 where long has 64 bits).
inline _variant_t v4(LONG value) { return _variant_t(value, VT_I4); }

inline BSTR copy_of(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }
inline std::wstring text_of(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }
inline GUID numbered_guid(std::uint32_t n) { return GUID{n, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}}; }

// A new enumeration of copies of `values` in `out`, breaking off at `fail_at`.
template <class Out>
HRESULT enumerate(std::vector<_variant_t> values, Out** out, std::optional<std::size_t> fail_at = std::nullopt)
{
    *out = fake::make<FakeElements>(std::move(values), nullptr, fail_at);
    return S_OK;
}

// GetNames as the component reads it: a zero-based array of BSTR, which it then destroys.
inline std::vector<std::wstring> names_of(IDeploymentData* data)
{
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(data->GetNames(&array), S_OK);
    CComSafeArray<BSTR> names;
    EXPECT_EQ(names.Attach(array), S_OK);
    EXPECT_EQ(names.GetLowerBound(), 0);
    std::vector<std::wstring> texts;
    for (ULONG i = 0; i < names.GetCount(); ++i)
        texts.push_back(text_of(names[i]));
    return texts;
}

// The classes of the tests: Process, which every test's pool knows, and two that only some know.
inline constexpr GUID process_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
inline constexpr GUID profile_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x57}};
inline constexpr GUID other_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x58}};

using field_list = std::vector<std::pair<std::wstring, _variant_t>>;
using Fields = std::vector<std::pair<std::wstring, LONG>>;

// What a field offers besides IField.
struct field_offers {
    bool method = false;
    bool xml = false;
};

// A field that may also be a method and have an XML form.
class FakeField : public fake::Fake<IField, IFieldMethod, IFieldXml> {
public:
    FakeField(std::wstring name, _variant_t value, field_offers offers = {})
        : Fake("field"), name(std::move(name)), value(std::move(value))
    {
        if (!offers.method)
            refuse(IID_IFieldMethod);
        if (!offers.xml)
            refuse(IID_IFieldXml);
    }

    std::wstring name;
    _variant_t value;
    // What ToXML answers.
    HRESULT xml_result = S_OK;
    _variant_t xml;

    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return *out = copy_of(name), S_OK; }
    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* out) override { return VariantCopy(out, &value); }
    HRESULT STDMETHODCALLTYPE ToXML(LONG flags, VARIANT* out) override
    {
        return flags != 0 ? E_INVALIDARG : FAILED(VariantCopy(out, &xml)) ? E_FAIL : xml_result;
    }

    HRESULT STDMETHODCALLTYPE GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InvokeWithArgument(VARIANT, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParameterNames(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetParameter(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParameter(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClearParameter(BSTR) override { return E_NOTIMPL; }
};

inline std::vector<_variant_t> fields_of(const field_list& fields)
{
    std::vector<_variant_t> made;
    for (const auto& [name, value] : fields)
        made.push_back(adopted<FakeField>(name, value));
    return made;
}

class FakeKey : public fake::Fake<IKey> {
public:
    FakeKey(GUID class_id, const field_list& fields) : Fake("key"), class_id(class_id), fields(fields_of(fields)) {}

    GUID class_id;
    std::vector<_variant_t> fields;

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetFields(IUnknown** out) override { return enumerate(fields, out); }
};

// A key of Process with the one field ("id", n).
inline _variant_t numbered_key(LONG n) { return adopted<FakeKey>(process_class, field_list{{L"id", v4(n)}}); }

// A class; as the key template of a search it notes the fields it receives, and as the reference
// index it finds the keys `referencing`.
class FakeClass : public fake::Fake<IClass, IKeyTemplate, IReferenceIndex, IKeySet> {
public:
    FakeClass(GUID id, std::wstring name) : Fake("class"), id(id), name(std::move(name)) {}

    GUID id;
    std::wstring name;
    std::atomic<int> name_reads{0};
    bool offers_template = true;
    bool has_items = true;
    Fields template_fields;
    std::vector<_variant_t> referencing;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return ++name_reads, *out = copy_of(name), S_OK; }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR* out) override { return *out = copy_of(L"2.1"), S_OK; }
    HRESULT STDMETHODCALLTYPE GetScope(BSTR* out) override { return *out = nullptr, S_OK; } // a null text
    HRESULT STDMETHODCALLTYPE IsSingleton(VARIANT_BOOL* out) override { return *out = 2, S_OK; }
    HRESULT STDMETHODCALLTYPE CreateKeyTemplate(IKeyTemplate** out) override
    {
        return offers_template ? QueryInterface(IID_IKeyTemplate, reinterpret_cast<void**>(out)) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetField(BSTR field, VARIANT value) override
    {
        return template_fields.emplace_back(text_of(field), value.lVal), S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** out) override { return *out = fake::make<FakeKey>(id, field_list{}), S_OK; }
    HRESULT STDMETHODCALLTYPE FindReferencing(IKey*, IKeySet** keys) override
    {
        return QueryInterface(IID_IKeySet, reinterpret_cast<void**>(keys));
    }
    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* out) override
    {
        return *out = has_items ? VARIANT_TRUE : VARIANT_FALSE, S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override { return enumerate(referencing, out); }
};

// Knows the classes added to it; an unknown id fails with E_INVALIDARG, as the component's pool does.
class FakeClassPool : public fake::Fake<IClassPool> {
public:
    FakeClassPool() : Fake("class pool") {}

    // What a successful lookup answers (S_FALSE to script a doubtful answer).
    HRESULT found = S_OK;
    std::atomic<int> lookups{0};

    FakeClass& add(GUID id, std::wstring name)
    {
        auto* cls = fake::make<FakeClass>(id, std::move(name));
        classes_.emplace_back(id, CComPtr<IClass>()).second.Attach(cls);
        return *cls;
    }

    HRESULT STDMETHODCALLTYPE GetClass(GUID id, IClass** out) override
    {
        ++lookups;
        *out = nullptr;
        for (auto& [known, cls] : classes_)
            if (IsEqualGUID(known, id))
                return cls.CopyTo(out), found;
        return E_INVALIDARG;
    }

private:
    std::vector<std::pair<GUID, CComPtr<IClass>>> classes_;
};

// A record of the component, which can also answer as a key-less object and as a reference; the
// constructor's list says which of those it refuses.
class FakeRecord : public fake::Fake<IRecord, IObject, IReference, IDisposableObject> {
public:
    explicit FakeRecord(std::vector<IID> refused = {IID_IObject, IID_IReference}) : Fake("record")
    {
        for (const IID& iid : refused)
            refuse(iid);
    }

    std::vector<_variant_t> fields;
    std::map<std::wstring, _variant_t> values;
    CComPtr<IKey> key;
    GUID class_id = GUID_NULL;
    int disposed = 0;
    int key_reads = 0;

    HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** out) override { return enumerate(fields, out); }
    HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* out) override
    {
        if (!name)
            return E_INVALIDARG;
        const auto found = values.find(text_of(name));
        return found == values.end() ? DISP_E_UNKNOWNNAME : VariantCopy(out, &found->second);
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** out) override { return ++key_reads, key.CopyTo(out); }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE Dispose() override { return ++disposed, E_FAIL; }
};

// A record of Process whose "id" is `n`, as a value and as its key's one field.
inline fake::Held<FakeRecord> numbered(LONG n)
{
    auto record = fake::hold<FakeRecord>();
    record->values[L"id"] = v4(n);
    record->key = CComQIPtr<IKey>(numbered_key(n).punkVal);
    return record;
}

class FakeChange : public fake::Fake<ICompositionRecord> {
public:
    FakeChange(LONG kind, _variant_t item) : Fake("change"), kind(kind), item(std::move(item)) {}

    LONG kind;
    _variant_t item;

    HRESULT STDMETHODCALLTYPE GetKind(ECompositionRecordKind* out) override
    {
        return *out = static_cast<ECompositionRecordKind>(kind), S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(VARIANT* out) override { return VariantCopy(out, &item); }
};

// A batch of changes, whose enumeration breaks off at `fail_at`, and which counts its disposals.
class FakeCompositionSet : public fake::Fake<ICompositionSet, IDisposableObject> {
public:
    explicit FakeCompositionSet(GUID class_id) : Fake("composition set"), class_id(class_id) {}

    GUID class_id;
    std::vector<_variant_t> changes;
    std::optional<std::size_t> fail_at;
    std::atomic<int> disposals{0};

    void add(LONG kind, _variant_t item) { changes.push_back(adopted<FakeChange>(kind, std::move(item))); }

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetRecords(IUnknown** out) override { return enumerate(changes, out, fail_at); }
    HRESULT STDMETHODCALLTYPE Dispose() override { return ++disposals, S_OK; }
};

// A collection of Process with its events, its composition (unless made without) and its updates,
// the records 1 and 2, and "busy" as the text of its state descriptions.
class FakeCollection
    : public fake::Fake<ICollection, IComposition, IProperties, IStateDescription, fake::ConnectionPoints> {
public:
    explicit FakeCollection(bool composed = true) : Fake("collection"), composed_(composed) {}
    fake::ConnectionPoint<ICollectionEvents>& events = offer<ICollectionEvents>("collection events");
    fake::ConnectionPoint<ICompositionEvents>& updates = offer<ICompositionEvents>("composition events");
    GUID id = {0xC011, 0x3, 0x4, {2, 2, 2, 2, 2, 2, 2, 2}};
    GUID class_id = process_class;
    std::wstring text = L"busy";
    std::atomic<bool> announces{false};
    std::atomic<int> shutdowns{0};
    // What GetReferenceIndex hands out (E_NOINTERFACE without), and how often it was asked.
    CComPtr<IUnknown> index;
    int index_requests = 0;
    // What GetMethod answers, and whether it gives an object.
    HRESULT method_result = S_OK;
    bool has_method = false;
    // What GetId and GetAnnounceUpdates answer.
    HRESULT id_result = S_OK;
    HRESULT announce_result = S_OK;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = id, id_result; }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetComposition(LONG batch, IComposition** out) override
    {
        return composed_ && batch == 1000 ? QueryInterface(IID_IComposition, reinterpret_cast<void**>(out)) : E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** out) override
    {
        return enumerate({_variant_t(numbered(1)->unknown()), _variant_t(numbered(2)->unknown())}, out);
    }
    HRESULT STDMETHODCALLTYPE GetMethod(BSTR, IUnknown** method) override
    {
        *method = has_method ? fake::make<fake::Unknown>("method")->unknown() : nullptr;
        return method_result;
    }
    HRESULT STDMETHODCALLTYPE GetReferenceIndex(IReferenceIndex** out) override
    {
        ++index_requests;
        return index ? index->QueryInterface(IID_IReferenceIndex, reinterpret_cast<void**>(out)) : E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetState(ECollectionState*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset(LONG) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetSize(LONG* size) override { return *size = 42, S_OK; }
    HRESULT STDMETHODCALLTYPE GetAnnounceUpdates(VARIANT_BOOL* out) override
    {
        return *out = announces ? VARIANT_TRUE : VARIANT_FALSE, announce_result;
    }
    HRESULT STDMETHODCALLTYPE Shutdown() override { return ++shutdowns, E_FAIL; }

    HRESULT STDMETHODCALLTYPE GetPropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperty(BSTR, VARIANT) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetText(BSTR* out) override { return *out = copy_of(text), S_OK; }

private:
    bool composed_;
};

// Each operation, with the line of the library's source file that refuses it, throws "<handle> is
// null" from the handle's source file.
inline void expect_null_refusals(const std::wstring& handle,
                                 const std::vector<std::pair<std::function<void()>, int>>& operations)
{
    const std::string file = "Monitor/Collector/Collector.Shell/" + ostra::lux::kernel::to_utf8(handle) + ".cpp";
    for (const auto& [operation, line] : operations)
        expect_refusal(operation, handle + L" is null", line, file);
}

class RecordFamilyTest : public testing::Test {
protected:
    fake::Held<FakeClassPool> pool = fake::hold<FakeClassPool>();
    FakeClass& process = pool->add(process_class, L"Process");
};

// A collection of the pool's Process class, which a test may end before its component.
class CollectionTest : public RecordFamilyTest {
protected:
    fake::Held<FakeCollection> component = fake::hold<FakeCollection>();
    std::optional<Collection> collection{std::in_place, component->unknown(), pool->unknown()};
};

} // namespace shell_test
