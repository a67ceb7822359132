#include "records.h"

#include "properties.h"

#include <atlsafe.h>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace collector::reference::detail {

namespace {

// ---- Enumerators ----------------------------------------------------------------------------------

class ATL_NO_VTABLE enumerator_t : public object_t, public IEnumVARIANT {
public:
    BEGIN_COM_MAP(enumerator_t)
        COM_INTERFACE_ENTRY(IEnumVARIANT)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::shared_ptr<const std::vector<_variant_t>> values, std::size_t position)
    {
        values_ = std::move(values);
        position_ = position;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* elements, ULONG* fetched) override
    {
        return guarded(L"IEnumVARIANT::Next", IID_IEnumVARIANT, [&] {
            if (fetched)
                *fetched = 0;
            if (count > 0 && !elements)
                fail(E_POINTER, L"Null element array");
            if (count > 1 && !fetched)
                fail(E_INVALIDARG, L"More than one element needs a fetched count");
            std::lock_guard lock(mutex_);
            ULONG done = 0;
            for (; done < count && position_ < values_->size(); ++done, ++position_) {
                VariantInit(&elements[done]);
                // Some SDKs declare the source without const; it is only read.
                const HRESULT hr = VariantCopy(&elements[done], const_cast<_variant_t*>(&(*values_)[position_]));
                if (FAILED(hr)) {
                    for (ULONG i = 0; i <= done; ++i)
                        VariantClear(&elements[i]);
                    fail(hr, L"Unable to copy an element");
                }
            }
            if (fetched)
                *fetched = done;
            return done == count ? S_OK : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        return guarded(L"IEnumVARIANT::Skip", IID_IEnumVARIANT, [&] {
            std::lock_guard lock(mutex_);
            const std::size_t left = values_->size() - position_;
            position_ += std::min<std::size_t>(count, left);
            return count <= left ? S_OK : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        std::lock_guard lock(mutex_);
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override
    {
        return guarded(L"IEnumVARIANT::Clone", IID_IEnumVARIANT, [&] {
            require_out(copy);
            std::lock_guard lock(mutex_);
            *copy = make<enumerator_t>(values_, position_).Detach();
            return S_OK;
        });
    }

private:
    std::mutex mutex_;
    std::shared_ptr<const std::vector<_variant_t>> values_;
    std::size_t position_ = 0;
};

// ---- Values -----------------------------------------------------------------------------------------

class ATL_NO_VTABLE array_field_t : public object_t, public IArrayField {
public:
    BEGIN_COM_MAP(array_field_t)
        COM_INTERFACE_ENTRY(IArrayField)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::vector<_variant_t> elements) { elements_ = std::move(elements); }

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override
    {
        return guarded(L"IArrayField::GetCount", IID_IArrayField,
                       [&] { return give(count, static_cast<LONG>(elements_.size())); });
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumVARIANT** elements) override
    {
        return guarded(L"IArrayField::GetEnumerator", IID_IArrayField,
                       [&] { return hand_out(make_enumerator(elements_), elements); });
    }

private:
    std::vector<_variant_t> elements_;
};

class ATL_NO_VTABLE key_t : public object_t, public IKey {
public:
    BEGIN_COM_MAP(key_t)
        COM_INTERFACE_ENTRY(IKey)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const GUID& class_id, NamedValues fields)
    {
        class_id_ = class_id;
        fields_ = std::move(fields);
    }

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* class_id) override
    {
        return guarded(L"IKey::GetClassId", IID_IKey, [&] { return give(class_id, class_id_); });
    }
    HRESULT STDMETHODCALLTYPE GetFields(IUnknown** fields) override;

private:
    GUID class_id_{};
    NamedValues fields_;
};

class ATL_NO_VTABLE reference_t : public object_t, public IReference {
public:
    BEGIN_COM_MAP(reference_t)
        COM_INTERFACE_ENTRY(IReference)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const RecordReference& target) { target_ = target; }

    HRESULT STDMETHODCALLTYPE GetClassId(GUID* class_id) override
    {
        return guarded(L"IReference::GetClassId", IID_IReference, [&] { return give(class_id, target_.classId); });
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override
    {
        return guarded(L"IReference::GetKey", IID_IReference,
                       [&] { return hand_out(make_key(target_.classId, target_.key), key); });
    }

private:
    RecordReference target_;
};

class ATL_NO_VTABLE description_t : public object_t, public IStateDescription {
public:
    BEGIN_COM_MAP(description_t)
        COM_INTERFACE_ENTRY(IStateDescription)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::wstring text) { text_ = std::move(text); }

    HRESULT STDMETHODCALLTYPE GetText(BSTR* text) override
    {
        return guarded(L"IStateDescription::GetText", IID_IStateDescription, [&] { return copy_text(text_, text); });
    }

private:
    std::wstring text_;
};

// ---- Methods ------------------------------------------------------------------------------------------

class ATL_NO_VTABLE result_item_t : public object_t, public IMethodResultItem {
public:
    BEGIN_COM_MAP(result_item_t)
        COM_INTERFACE_ENTRY(IMethodResultItem)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(_variant_t value) { value_ = std::move(value); }

    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* value) override
    {
        return guarded(L"IMethodResultItem::GetValue", IID_IMethodResultItem, [&] {
            require_out(value);
            VariantInit(value);
            return VariantCopy(value, &value_);
        });
    }

private:
    _variant_t value_;
};

class ATL_NO_VTABLE result_list_t : public object_t, public IMethodResultList {
public:
    BEGIN_COM_MAP(result_list_t)
        COM_INTERFACE_ENTRY(IMethodResultList)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const std::vector<_variant_t>& values)
    {
        for (const _variant_t& value : values)
            items_.push_back(CComPtr<IMethodResultItem>(make<result_item_t>(value)));
    }

    HRESULT STDMETHODCALLTYPE GetItems(IEnumVARIANT** items) override
    {
        return guarded(L"IMethodResultList::GetItems", IID_IMethodResultList,
                       [&] { return hand_out(CComQIPtr<IEnumVARIANT>(make_enumerable(items_)), items); });
    }
    HRESULT STDMETHODCALLTYPE HasItems(VARIANT_BOOL* has_items) override
    {
        return guarded(L"IMethodResultList::HasItems", IID_IMethodResultList,
                       [&] { return give(has_items, items_.empty() ? VARIANT_FALSE : VARIANT_TRUE); });
    }

private:
    std::vector<CComPtr<IMethodResultItem>> items_;
};

// The IField part of every field; Facets are the further interfaces a field of that kind answers.
class ATL_NO_VTABLE field_base_t : public object_t, public IField {
public:
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"IField::GetName", IID_IField, [&] { return copy_text(name_, name); });
    }
    HRESULT STDMETHODCALLTYPE GetValue(VARIANT* value) override
    {
        return guarded(L"IField::GetValue", IID_IField, [&] {
            require_out(value);
            VariantInit(value);
            _variant_t realized = realize(value_, resolver_);
            *value = realized.Detach();
            return S_OK;
        });
    }

protected:
    void init_field(std::wstring name, Value value, resolver_ptr resolver)
    {
        name_ = std::move(name);
        value_ = std::move(value);
        resolver_ = std::move(resolver);
    }

    std::wstring name_;
    Value value_;
    resolver_ptr resolver_;
};

class ATL_NO_VTABLE value_field_t : public field_base_t {
public:
    BEGIN_COM_MAP(value_field_t)
        COM_INTERFACE_ENTRY(IField)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::wstring name, Value value, resolver_ptr resolver)
    {
        init_field(std::move(name), std::move(value), std::move(resolver));
    }
};

class ATL_NO_VTABLE xml_field_t : public field_base_t, public IFieldXml {
public:
    BEGIN_COM_MAP(xml_field_t)
        COM_INTERFACE_ENTRY(IField)
        COM_INTERFACE_ENTRY(IFieldXml)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::wstring name, Value value, resolver_ptr resolver)
    {
        init_field(std::move(name), std::move(value), std::move(resolver));
    }

    HRESULT STDMETHODCALLTYPE ToXML(LONG flags, VARIANT* xml) override
    {
        return guarded(L"IFieldXml::ToXML", IID_IFieldXml, [&] {
            require_out(xml);
            VariantInit(xml);
            if (flags != 0)
                fail(E_INVALIDARG, L"No XML flag is defined");
            _variant_t text(std::get<XmlValue>(value_).text.c_str());
            *xml = text.Detach();
            return S_OK;
        });
    }
};

// A method: its parameters live in the object, so every handle on one method object shares them.
class ATL_NO_VTABLE method_t : public field_base_t, public IFieldMethod {
public:
    BEGIN_COM_MAP(method_t)
        COM_INTERFACE_ENTRY(IField)
        COM_INTERFACE_ENTRY(IFieldMethod)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::wstring name, Value value, resolver_ptr resolver)
    {
        init_field(std::move(name), std::move(value), std::move(resolver));
    }

    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override
    {
        return guarded(L"IFieldMethod::GetDescription", IID_IFieldMethod,
                       [&] { return copy_text(method().description, description); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(VARIANT* result) override
    {
        return guarded(L"IFieldMethod::Invoke", IID_IFieldMethod, [&] { return run(nullptr, result); });
    }
    HRESULT STDMETHODCALLTYPE InvokeWithArgument(VARIANT argument, VARIANT* result) override
    {
        return guarded(L"IFieldMethod::InvokeWithArgument", IID_IFieldMethod, [&] { return run(&argument, result); });
    }
    HRESULT STDMETHODCALLTYPE GetParameterNames(SAFEARRAY** names) override
    {
        return guarded(L"IFieldMethod::GetParameterNames", IID_IFieldMethod, [&] {
            std::vector<std::wstring> copy;
            for (const auto& [name, value] : parameters())
                copy.push_back(name);
            return copy_names(copy, names);
        });
    }
    HRESULT STDMETHODCALLTYPE SetParameter(BSTR name, VARIANT value) override
    {
        return guarded(L"IFieldMethod::SetParameter", IID_IFieldMethod, [&] {
            if (text_of(name).empty())
                fail(E_INVALIDARG, L"A parameter needs a name");
            _variant_t copy(value);
            std::lock_guard lock(mutex_);
            parameters_[text_of(name)] = std::move(copy);
            return S_OK;
        });
    }
    // A parameter never set reads as VT_EMPTY.
    HRESULT STDMETHODCALLTYPE GetParameter(BSTR name, VARIANT* value) override
    {
        return guarded(L"IFieldMethod::GetParameter", IID_IFieldMethod, [&] {
            require_out(value);
            VariantInit(value);
            std::lock_guard lock(mutex_);
            auto found = parameters_.find(text_of(name));
            return found == parameters_.end() ? S_OK : VariantCopy(value, &found->second);
        });
    }
    HRESULT STDMETHODCALLTYPE ClearParameter(BSTR name) override
    {
        return guarded(L"IFieldMethod::ClearParameter", IID_IFieldMethod, [&] {
            std::lock_guard lock(mutex_);
            parameters_.erase(text_of(name));
            return S_OK;
        });
    }

private:
    const MethodValue& method() const { return std::get<MethodValue>(value_); }

    std::map<std::wstring, _variant_t> parameters()
    {
        std::lock_guard lock(mutex_);
        return parameters_;
    }

    // The body runs on a copy of the parameters, with no lock held.
    HRESULT run(const VARIANT* argument, VARIANT* result)
    {
        require_out(result);
        VariantInit(result);
        if (!method().body)
            fail(E_NOTIMPL, L"The method " + name_ + L" has no body");
        const auto copy = parameters();
        MethodOutcome outcome = method().body(MethodCall{copy, argument});
        if (const auto* failure = std::get_if<MethodFailure>(&outcome))
            fail(failure->hr, failure->description);
        if (const auto* list = std::get_if<std::vector<_variant_t>>(&outcome)) {
            _variant_t value(static_cast<IUnknown*>(make<result_list_t>(*list)));
            *result = value.Detach();
            return S_OK;
        }
        return VariantCopy(result, &std::get<_variant_t>(outcome));
    }

    std::mutex mutex_;
    std::map<std::wstring, _variant_t> parameters_;
};

CComPtr<IField> make_field(std::wstring name, const Value& value, const resolver_ptr& resolver)
{
    if (std::holds_alternative<XmlValue>(value))
        return CComPtr<IField>(make<xml_field_t>(std::move(name), value, resolver));
    if (std::holds_alternative<MethodValue>(value))
        return CComPtr<IField>(make<method_t>(std::move(name), value, resolver));
    return CComPtr<IField>(make<value_field_t>(std::move(name), value, resolver));
}

HRESULT key_t::GetFields(IUnknown** fields)
{
    return guarded(L"IKey::GetFields", IID_IKey, [&] {
        std::vector<CComPtr<IField>> objects;
        for (const auto& [name, value] : fields_)
            objects.push_back(make_field(name, value, {}));
        return hand_out(make_enumerable(objects), fields);
    });
}

// ---- Records and objects --------------------------------------------------------------------------

// The reading part of IRecord and IObject. After Dispose the holder is done: the data goes and every
// later call fails with CO_E_OBJNOTCONNECTED.
class ATL_NO_VTABLE record_base_t : public object_t, public IDisposableObject {
public:
    HRESULT STDMETHODCALLTYPE Dispose() override
    {
        return guarded(L"IDisposableObject::Dispose", IID_IDisposableObject, [&] {
            record_ptr released;
            std::lock_guard lock(mutex_);
            released.swap(data_);
            return S_OK;
        });
    }

protected:
    void init_record(record_ptr data, resolver_ptr resolver)
    {
        data_ = std::move(data);
        resolver_ = std::move(resolver);
    }

    record_ptr data() const
    {
        std::lock_guard lock(mutex_);
        if (!data_)
            fail(CO_E_OBJNOTCONNECTED, L"The record was disposed");
        return data_;
    }

    HRESULT fields(IEnumVARIANT** out) const
    {
        const record_ptr record = data();
        std::vector<CComPtr<IField>> objects;
        for (const auto& [name, value] : record->fields)
            objects.push_back(make_field(name, value, resolver_));
        return hand_out(CComQIPtr<IEnumVARIANT>(make_enumerable(objects)), out);
    }

    // A name the record lacks fails with DISP_E_UNKNOWNNAME and leaves the value VT_EMPTY.
    HRESULT value(BSTR name, VARIANT* out) const
    {
        require_out(out);
        VariantInit(out);
        const record_ptr record = data();
        const std::wstring wanted = text_of(name);
        for (const auto& [field, value] : record->fields) {
            if (field == wanted) {
                *out = realize(value, resolver_).Detach();
                return S_OK;
            }
        }
        fail(DISP_E_UNKNOWNNAME, L"The record has no field " + wanted);
    }

    resolver_ptr resolver_;

private:
    mutable std::mutex mutex_;
    record_ptr data_;
};

class ATL_NO_VTABLE record_t : public record_base_t, public IRecord {
public:
    BEGIN_COM_MAP(record_t)
        COM_INTERFACE_ENTRY(IRecord)
        COM_INTERFACE_ENTRY(IDisposableObject)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(record_ptr data, resolver_ptr resolver) { init_record(std::move(data), std::move(resolver)); }

    HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** fields) override
    {
        return guarded(L"IRecord::GetFields", IID_IRecord, [&] { return this->fields(fields); });
    }
    HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) override
    {
        return guarded(L"IRecord::GetValue", IID_IRecord, [&] { return this->value(name, value); });
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override
    {
        return guarded(L"IRecord::GetKey", IID_IRecord, [&] {
            require_out(key);
            *key = nullptr;
            const record_ptr record = data();
            return record->key.empty() ? S_OK : hand_out(make_key(record->class_id, record->key), key);
        });
    }
};

class ATL_NO_VTABLE plain_object_t : public record_base_t, public IObject {
public:
    BEGIN_COM_MAP(plain_object_t)
        COM_INTERFACE_ENTRY(IObject)
        COM_INTERFACE_ENTRY(IDisposableObject)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(record_ptr data, resolver_ptr resolver) { init_record(std::move(data), std::move(resolver)); }

    HRESULT STDMETHODCALLTYPE GetFields(IEnumVARIANT** fields) override
    {
        return guarded(L"IObject::GetFields", IID_IObject, [&] { return this->fields(fields); });
    }
    HRESULT STDMETHODCALLTYPE GetValue(BSTR name, VARIANT* value) override
    {
        return guarded(L"IObject::GetValue", IID_IObject, [&] { return this->value(name, value); });
    }
    HRESULT STDMETHODCALLTYPE GetClassId(GUID* class_id) override
    {
        return guarded(L"IObject::GetClassId", IID_IObject, [&] { return give(class_id, data()->class_id); });
    }
};

// The object a reference stands for in its form; null when the form needs a target that is absent.
CComPtr<IUnknown> reference_object(const RecordReference& target, const resolver_ptr& resolver)
{
    if (target.form == ReferenceForm::Reference)
        return CComPtr<IUnknown>(make<reference_t>(target));
    const auto collection = resolver.lock();
    record_ptr found = collection ? collection->find(target.classId, key_text(target.key)) : nullptr;
    if (!found)
        return nullptr;
    if (target.form == ReferenceForm::Record)
        return CComPtr<IUnknown>(make_record(std::move(found), resolver));
    return CComPtr<IUnknown>(make_object(std::move(found), resolver));
}

_variant_t unknown_value(const CComPtr<IUnknown>& object)
{
    if (!object)
        return _variant_t();
    return _variant_t(object.p);
}

} // namespace

key_text_t key_text(const NamedValues& key)
{
    key_text_t text;
    text.reserve(key.size());
    for (const auto& [name, value] : key)
        text.push_back(value_text(value));
    return text;
}

NamedValues key_of(const ClassDefinition& definition, const Fields& fields)
{
    NamedValues key;
    for (const std::wstring& name : definition.keyFields) {
        auto field = std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; });
        if (field == fields.end())
            throw std::invalid_argument("a record lacks a key field of its class");
        const auto* scalar = std::get_if<_variant_t>(&field->second);
        if (!scalar)
            throw std::invalid_argument("a key field must hold a plain value");
        key.emplace_back(name, *scalar);
    }
    return key;
}

CComPtr<IEnumVARIANT> make_enumerator(std::vector<_variant_t> values)
{
    return CComPtr<IEnumVARIANT>(
        make<enumerator_t>(std::make_shared<const std::vector<_variant_t>>(std::move(values)), std::size_t{0}));
}

CComPtr<IKey> make_key(const GUID& class_id, NamedValues key)
{
    return CComPtr<IKey>(make<key_t>(class_id, std::move(key)));
}

CComPtr<IRecord> make_record(record_ptr data, resolver_ptr resolver)
{
    if (!data)
        return nullptr;
    return CComPtr<IRecord>(make<record_t>(std::move(data), std::move(resolver)));
}

CComPtr<IObject> make_object(record_ptr data, resolver_ptr resolver)
{
    if (!data)
        return nullptr;
    return CComPtr<IObject>(make<plain_object_t>(std::move(data), std::move(resolver)));
}

CComPtr<IFieldMethod> make_method(std::wstring name, MethodValue method)
{
    return CComPtr<IFieldMethod>(make<method_t>(std::move(name), Value(std::move(method)), resolver_ptr{}));
}

CComPtr<IStateDescription> make_description(std::wstring text)
{
    return CComPtr<IStateDescription>(make<description_t>(std::move(text)));
}

_variant_t realize(const Value& value, const resolver_ptr& resolver)
{
    struct visitor_t {
        const resolver_ptr& resolver;

        _variant_t operator()(const _variant_t& plain) const { return plain; }
        _variant_t operator()(const ArrayValue& array) const
        {
            return unknown_value(CComPtr<IUnknown>(make<array_field_t>(array.elements)));
        }
        _variant_t operator()(const RecordReference& target) const
        {
            return unknown_value(reference_object(target, resolver));
        }
        _variant_t operator()(const ReferenceArray& targets) const
        {
            ATL::CComSafeArray<IUnknown*> array(static_cast<ULONG>(targets.elements.size()));
            for (LONG i = 0; i < static_cast<LONG>(targets.elements.size()); ++i) {
                const CComPtr<IUnknown> element = reference_object(targets.elements[static_cast<std::size_t>(i)], resolver);
                const HRESULT hr = array.SetAt(i, element, true);
                if (FAILED(hr))
                    fail(hr, L"Unable to fill an array of references");
            }
            _variant_t result;
            result.vt = VT_ARRAY | VT_UNKNOWN;
            result.parray = array.Detach();
            return result;
        }
        _variant_t operator()(const XmlValue& xml) const { return _variant_t(xml.text.c_str()); }
        _variant_t operator()(const MethodValue&) const { return _variant_t(); }
    };
    return std::visit(visitor_t{resolver}, value);
}

read_key_t read_key(IKey* key)
{
    if (!key)
        fail(E_POINTER, L"Null key");
    read_key_t read;
    HRESULT hr = key->GetClassId(&read.class_id);
    CComPtr<IUnknown> enumerable;
    if (SUCCEEDED(hr))
        hr = key->GetFields(&enumerable);
    if (FAILED(hr))
        fail(hr, L"Unable to read the key");
    CComQIPtr<IEnumVARIANT> fields(enumerable);
    if (!fields)
        fail(E_INVALIDARG, L"The key's fields are not enumerable");
    for (;;) {
        _variant_t element;
        ULONG fetched = 0;
        if (FAILED(fields->Next(1, &element, &fetched)) || fetched == 0)
            break;
        CComQIPtr<IField> field(element.vt == VT_UNKNOWN ? element.punkVal : nullptr);
        if (!field)
            fail(E_INVALIDARG, L"A key field is not a field");
        _bstr_t name;
        _variant_t value;
        if (FAILED(field->GetName(name.GetAddress())) || FAILED(field->GetValue(&value)))
            fail(E_INVALIDARG, L"A key field cannot be read");
        read.fields.emplace_back(name.length() ? std::wstring(name) : std::wstring(), std::move(value));
    }
    return read;
}

} // namespace collector::reference::detail
