// Fakes of the component's record family: classes and their pool, fields, keys, records (which may
// also answer as objects and references), and composition sets. Each counts the calls that the tests
// need to count; values are handed out as copies, as the component does.
#pragma once

#include "shell/object_values.h"

#include "support/fake_com.h"

#include <collector/interfaces.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace shell_test {

using namespace Ostra_Lux_Collector_Interfaces;

// The fields or records of an enumeration, each value owning the one reference to a new fake.
template <class T, class... Args>
_variant_t adopted(Args&&... args)
{
    return _variant_t(static_cast<IUnknown*>(fake::make<T>(std::forward<Args>(args)...)->unknown()), false);
}

// A VT_I4 value (a long literal is VT_I8 where long has 64 bits).
inline _variant_t v4(LONG value) { return _variant_t(value, VT_I4); }

inline BSTR copy_of(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

class FakeClass : public fake::Fake<IClass> {
public:
    FakeClass(GUID id, std::wstring name) : Fake("class"), id(id), name(std::move(name)) {}

    GUID id;
    std::wstring name;
    int name_reads = 0;

    HRESULT STDMETHODCALLTYPE GetId(GUID* out) override { return *out = id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* out) override { return ++name_reads, *out = copy_of(name), S_OK; }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR* out) override { return *out = copy_of(L"2.1"), S_OK; }
    HRESULT STDMETHODCALLTYPE GetScope(BSTR* out) override { return *out = nullptr, S_OK; } // a null text
    HRESULT STDMETHODCALLTYPE IsSingleton(VARIANT_BOOL* out) override { return *out = 2, S_OK; }
    HRESULT STDMETHODCALLTYPE CreateKeyTemplate(IKeyTemplate**) override { return E_NOTIMPL; }
};

// Knows the classes added to it; an unknown id fails with E_INVALIDARG, as the component's pool does.
class FakeClassPool : public fake::Fake<IClassPool> {
public:
    FakeClassPool() : Fake("class pool") {}

    // What a successful lookup answers (S_FALSE to script a doubtful answer).
    HRESULT found = S_OK;
    int lookups = 0;

    FakeClass& add(GUID id, std::wstring name)
    {
        classes_.emplace_back(id, CComPtr<IClass>());
        auto* cls = fake::make<FakeClass>(id, std::move(name));
        classes_.back().second.Attach(cls);
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

using field_list = std::vector<std::pair<std::wstring, _variant_t>>;

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
    HRESULT STDMETHODCALLTYPE GetFields(IUnknown** out) override
    {
        return *out = fake::make<FakeElements>(fields, &requested_)->unknown(), S_OK;
    }

private:
    std::vector<ULONG> requested_;
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

    HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** out) override
    {
        return *out = fake::make<FakeElements>(fields, &requested_), S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* out) override
    {
        if (!name)
            return E_INVALIDARG;
        const auto found = values.find(std::wstring(name, SysStringLen(name)));
        return found == values.end() ? DISP_E_UNKNOWNNAME : VariantCopy(out, &found->second);
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** out) override { return ++key_reads, key.CopyTo(out); }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE Dispose() override { return ++disposed, E_FAIL; }

private:
    std::vector<ULONG> requested_;
};

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

class FakeCompositionSet : public fake::Fake<ICompositionSet> {
public:
    explicit FakeCompositionSet(GUID class_id) : Fake("composition set"), class_id(class_id) {}

    GUID class_id;
    std::vector<_variant_t> changes;

    void add(LONG kind, IUnknown* item) { changes.push_back(adopted<FakeChange>(kind, _variant_t(item))); }

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* out) override { return *out = class_id, S_OK; }
    HRESULT STDMETHODCALLTYPE GetRecords(IUnknown** out) override
    {
        return *out = fake::make<FakeElements>(changes, &requested_)->unknown(), S_OK;
    }

private:
    std::vector<ULONG> requested_;
};

// The classes of the tests: Process, which every test's pool knows, and two that only some know.
inline constexpr GUID process_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
inline constexpr GUID profile_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x57}};
inline constexpr GUID other_class = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x58}};

// An operation on an empty handle, and the line of the library's source file that refuses it.
using refused_at = std::pair<std::function<void()>, int>;

// Each operation throws "<handle> is null" from the handle's source file, at its own line.
inline void expect_null_refusals(const std::wstring& handle, const std::vector<refused_at>& operations)
{
    for (const auto& [operation, line] : operations) {
        const auto e = caught<COstraException>(operation);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), handle + L" is null");
        const std::string file = "Monitor/Collector/Collector.Shell/" + ostra::lux::kernel::to_utf8(handle) + ".cpp";
        EXPECT_EQ(site_of(*e).file, file);
        EXPECT_EQ(site_of(*e).line, line);
    }
}

class RecordFamilyTest : public testing::Test {
protected:
    fake::Held<FakeClassPool> pool = fake::hold<FakeClassPool>();
    FakeClass& process = pool->add(process_class, L"Process");
};

} // namespace shell_test
