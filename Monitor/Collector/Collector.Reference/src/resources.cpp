// The resource pool: named values, kept in a text file on Load, Merge and Save, and deployed to
// targets. Adding and removing a resource raise the pool's events, by name.
#include "entries.h"
#include "properties.h"
#include "resource_text.h"
#include "services.h"

namespace collector::reference::detail {
namespace {

// A resource never changes: a new value for a name makes a new resource.
class ATL_NO_VTABLE resource_t : public object_t, public IResource {
public:
    BEGIN_COM_MAP(resource_t)
        COM_INTERFACE_ENTRY(IResource)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(resource_entry_t entry)
    {
        id_ = new_guid();
        entry_ = std::move(entry);
    }
    GUID id() const { return id_; }
    const resource_entry_t& entry() const { return entry_; }

    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        return guarded(L"IResource::GetId", IID_IResource, [&] { return give(id, id_); });
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"IResource::GetName", IID_IResource, [&] { return copy_text(entry_.name, name); });
    }
    HRESULT STDMETHODCALLTYPE GetResource(VARIANT* value) override
    {
        return guarded(L"IResource::GetResource", IID_IResource, [&] {
            require_out(value);
            VariantInit(value);
            return VariantCopy(value, &entry_.value);
        });
    }
    // The target receives the resource's value as its argument: a task, for one, deploys the collection
    // of the record class that a text resource names. The target's failure is returned as it reported it.
    HRESULT STDMETHODCALLTYPE Deploy(IDeploymentTarget* target, IDeploymentData* data, VARIANT* result) override
    {
        return guarded(L"IResource::Deploy", IID_IResource, [&] {
            require_out(result);
            VariantInit(result);
            if (!target)
                fail(E_POINTER, L"A resource is deployed to a target");
            return target->Deploy(entry_.value, data, result);
        });
    }

private:
    GUID id_{};
    resource_entry_t entry_;
};

using resource_ptr = entries_t<resource_t>::pointer_t;

class ATL_NO_VTABLE resource_pool_t : public object_t,
                                      public IResourcePool,
                                      public properties_t,
                                      public connection_points_t<IResourcePoolEvents> {
public:
    BEGIN_COM_MAP(resource_pool_t)
        COM_INTERFACE_ENTRY(IResourcePool)
        COM_INTERFACE_ENTRY(IProperties)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(runtime_ptr runtime) { runtime_ = std::move(runtime); }

    HRESULT STDMETHODCALLTYPE Add(BSTR name, VARIANT value, IUnknown** resource) override
    {
        return guarded(L"IResourcePool::Add", IID_IResourcePool, [&] {
            require_out(resource);
            *resource = nullptr;
            resource_entry_t entry{required_name(name, L"A resource"), _variant_t(value)};
            if (!is_storable(entry.value.vt))
                fail(DISP_E_TYPEMISMATCH, L"A resource holds nothing, a boolean, an integer, a double or a text");
            const resource_ptr made = keep(make<resource_t>(std::move(entry)));
            {
                std::lock_guard lock(mutex_);
                if (find(made->entry().name))
                    fail(resource_name_taken, L"A resource named " + made->entry().name + L" exists");
                resources_.add(made);
                announce({}, {made});
            }
            return hand_out(made, resource);
        });
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override
    {
        return guarded(L"IResourcePool::Remove", IID_IResourcePool, [&] {
            std::vector<resource_ptr> removed;  // released after the lock
            std::lock_guard lock(mutex_);
            removed = resources_.remove_if([text = text_of(name)](const resource_t& r) { return r.entry().name == text; });
            if (removed.empty())
                fail(E_INVALIDARG, L"No resource is named " + text_of(name));
            announce(removed, {});
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Find(BSTR name, IUnknown** resource) override
    {
        return guarded(L"IResourcePool::Find", IID_IResourcePool, [&] {
            require_out(resource);
            *resource = nullptr;
            const resource_ptr found = find(text_of(name));
            if (!found)
                fail(E_INVALIDARG, L"No resource is named " + text_of(name));
            return hand_out(found, resource);
        });
    }
    // The file's resources replace the pool's.
    HRESULT STDMETHODCALLTYPE Load(BSTR path) override
    {
        return guarded(L"IResourcePool::Load", IID_IResourcePool, [&] {
            return take(read_file(path), take_t::replace_all);
        });
    }
    HRESULT STDMETHODCALLTYPE Merge(BSTR path, EMergeMode mode) override
    {
        return guarded(L"IResourcePool::Merge", IID_IResourcePool, [&] {
            if (mode != EMergeMode::Overwrite && mode != EMergeMode::KeepExisting)
                fail(E_INVALIDARG, L"Unknown merge mode " + std::to_wstring(static_cast<LONG>(mode)));
            return take(read_file(path), mode == EMergeMode::Overwrite ? take_t::overwrite : take_t::keep_existing);
        });
    }
    HRESULT STDMETHODCALLTYPE Save(BSTR path) override
    {
        return guarded(L"IResourcePool::Save", IID_IResourcePool, [&] {
            std::vector<resource_entry_t> entries;
            for (const resource_ptr& resource : resources_.snapshot())
                entries.push_back(resource->entry());
            write_text_file(required_name(path, L"A resource file"), format_resources(entries));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetEnumerator(IUnknown** resources) override
    {
        return guarded(L"IResourcePool::GetEnumerator", IID_IResourcePool,
                       [&] { return hand_out(resources_.enumerable(), resources); });
    }

private:
    static std::vector<resource_entry_t> read_file(BSTR path)
    {
        return parse_resources(read_text_file(required_name(path, L"A resource file")));
    }

    resource_ptr find(const std::wstring& name) const
    {
        return resources_.find_if([&](const resource_t& r) { return r.entry().name == name; });
    }

    // How the resources of a file join the pool's.
    enum class take_t { replace_all, overwrite, keep_existing };

    HRESULT take(std::vector<resource_entry_t> entries, take_t how)
    {
        std::vector<resource_ptr> added, removed;
        {
            std::lock_guard lock(mutex_);
            if (how == take_t::keep_existing)
                std::erase_if(entries, [&](const resource_entry_t& entry) { return find(entry.name); });
            for (resource_entry_t& entry : entries)
                added.push_back(keep(make<resource_t>(std::move(entry))));
            removed = resources_.remove_if([&](const resource_t& r) {
                return how == take_t::replace_all || std::any_of(added.begin(), added.end(), [&](const resource_ptr& a) {
                           return a->entry().name == r.entry().name;
                       });
            });
            for (const resource_ptr& resource : added)
                resources_.add(resource);
            announce(removed, added);
        }
        return S_OK;
    }

    // Event2 for each removed name, then Event1 for each added one. The caller holds mutex_, so that the
    // events leave in the order of the changes.
    void announce(const std::vector<resource_ptr>& removed, const std::vector<resource_ptr>& added)
    {
        for (const resource_ptr& resource : removed)
            raise(resource->entry().name, &IResourcePoolEvents::Event2);
        for (const resource_ptr& resource : added)
            raise(resource->entry().name, &IResourcePoolEvents::Event1);
    }
    void raise(const std::wstring& name, HRESULT (STDMETHODCALLTYPE IResourcePoolEvents::*event)(BSTR))
    {
        detail::raise(*runtime_->queue, sinks<IResourcePoolEvents>(),
                      [name, event](IResourcePoolEvents* sink) {
                          _bstr_t text(name.c_str());
                          (sink->*event)(text.GetBSTR());
                      });
    }

    runtime_ptr runtime_;
    // Makes each change one step with its checks and its events; entries_t guards its list alone.
    std::mutex mutex_;
    entries_t<resource_t> resources_;
};

}  // namespace

CComPtr<IUnknown> make_resource_pool(const runtime_ptr& runtime)
{
    return CComPtr<IUnknown>(make<resource_pool_t>(runtime));
}

}  // namespace collector::reference::detail
