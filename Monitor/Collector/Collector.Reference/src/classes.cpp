// The class pool: the registration's record classes as IClass objects, with their key templates.
#include "objects.h"
#include "records.h"
#include "properties.h"

namespace collector::reference::detail {

namespace {

// Collects named values into a key of its class. Any name is taken: the referenced-key search fills a
// template of the referencing class with the name of a reference field.
class ATL_NO_VTABLE key_template_t : public object_t, public IKeyTemplate {
public:
    BEGIN_COM_MAP(key_template_t)
        COM_INTERFACE_ENTRY(IKeyTemplate)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(const GUID& class_id) { class_id_ = class_id; }

    HRESULT STDMETHODCALLTYPE SetField(BSTR name, VARIANT value) override
    {
        return guarded(L"IKeyTemplate::SetField", IID_IKeyTemplate, [&] {
            const std::wstring field = text_of(name);
            if (field.empty())
                fail(E_INVALIDARG, L"A key field needs a name");
            _variant_t copy(value);
            std::lock_guard lock(mutex_);
            auto same = std::find_if(fields_.begin(), fields_.end(), [&](const auto& f) { return f.first == field; });
            if (same != fields_.end())
                same->second = std::move(copy);
            else
                fields_.emplace_back(field, std::move(copy));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetKey(IKey** key) override
    {
        return guarded(L"IKeyTemplate::GetKey", IID_IKeyTemplate, [&] {
            std::lock_guard lock(mutex_);
            if (fields_.empty())
                fail(E_ILLEGAL_METHOD_CALL, L"No key field was set");
            return hand_out(make_key(class_id_, fields_), key);
        });
    }

private:
    std::mutex mutex_;
    GUID class_id_{};
    NamedValues fields_;
};

class ATL_NO_VTABLE class_t : public object_t, public IClass {
public:
    BEGIN_COM_MAP(class_t)
        COM_INTERFACE_ENTRY(IClass)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::shared_ptr<class_source_t> source) { source_ = std::move(source); }

    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        return guarded(L"IClass::GetId", IID_IClass, [&] { return give(id, definition().id); });
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"IClass::GetName", IID_IClass, [&] { return copy_text(definition().name, name); });
    }
    HRESULT STDMETHODCALLTYPE GetVersion(BSTR* version) override
    {
        return guarded(L"IClass::GetVersion", IID_IClass, [&] { return copy_text(definition().version, version); });
    }
    HRESULT STDMETHODCALLTYPE GetScope(BSTR* scope) override
    {
        return guarded(L"IClass::GetScope", IID_IClass, [&] { return copy_text(definition().scope, scope); });
    }
    HRESULT STDMETHODCALLTYPE IsSingleton(VARIANT_BOOL* singleton) override
    {
        return guarded(L"IClass::IsSingleton", IID_IClass,
                       [&] { return give(singleton, definition().singleton ? VARIANT_TRUE : VARIANT_FALSE); });
    }
    // A class without key fields has no template: S_OK and null.
    HRESULT STDMETHODCALLTYPE CreateKeyTemplate(IKeyTemplate** key_template) override
    {
        return guarded(L"IClass::CreateKeyTemplate", IID_IClass, [&] {
            require_out(key_template);
            *key_template = nullptr;
            if (definition().keyFields.empty())
                return S_OK;
            return hand_out(CComPtr<IKeyTemplate>(make<key_template_t>(definition().id)), key_template);
        });
    }

private:
    const ClassDefinition& definition() const { return source_->definition; }

    std::shared_ptr<class_source_t> source_;
};

class ATL_NO_VTABLE class_pool_t : public object_t, public IClassPool {
public:
    BEGIN_COM_MAP(class_pool_t)
        COM_INTERFACE_ENTRY(IClassPool)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(runtime_ptr runtime) { runtime_ = std::move(runtime); }

    HRESULT STDMETHODCALLTYPE GetClass(GUID id, IClass** cls) override
    {
        return guarded(L"IClassPool::GetClass", IID_IClassPool, [&] {
            require_out(cls);
            *cls = nullptr;
            auto source = runtime_->world->find(id);
            if (!source)
                fail(E_INVALIDARG, L"No record class has that id");
            return hand_out(CComPtr<IClass>(make<class_t>(std::move(source))), cls);
        });
    }

private:
    runtime_ptr runtime_;
};

} // namespace

CComPtr<IUnknown> make_class_pool(const runtime_ptr& runtime)
{
    return CComPtr<IUnknown>(make<class_pool_t>(runtime));
}

} // namespace collector::reference::detail
