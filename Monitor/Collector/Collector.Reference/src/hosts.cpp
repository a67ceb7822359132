// The host pool: the local machine, and the hosts that callers create by name.
#include "entries.h"
#include "processes.h"
#include "services.h"

namespace collector::reference::detail {
namespace {

class ATL_NO_VTABLE host_t : public object_t, public IHost {
public:
    BEGIN_COM_MAP(host_t)
        COM_INTERFACE_ENTRY(IHost)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init(std::wstring name, bool local)
    {
        id_ = new_guid();
        name_ = std::move(name);
        local_ = local;
    }
    GUID id() const { return id_; }

    HRESULT STDMETHODCALLTYPE GetId(GUID* id) override
    {
        return guarded(L"IHost::GetId", IID_IHost, [&] { return give(id, id_); });
    }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override
    {
        return guarded(L"IHost::GetName", IID_IHost, [&] {
            std::lock_guard lock(mutex_);
            return copy_text(name_, name);
        });
    }
    HRESULT STDMETHODCALLTYPE SetName(BSTR name) override
    {
        return guarded(L"IHost::SetName", IID_IHost, [&] {
            std::wstring text = required_name(name, L"A host");
            std::lock_guard lock(mutex_);
            name_ = std::move(text);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE IsLocal(VARIANT_BOOL* local) override
    {
        return guarded(L"IHost::IsLocal", IID_IHost, [&] { return copy_flag(local_, local); });
    }

private:
    GUID id_{};
    bool local_ = false;
    std::mutex mutex_;
    std::wstring name_;
};

// Starts with the local machine. CreateDefault makes the pool's default host: it comes first when the
// pool is walked.
class ATL_NO_VTABLE host_pool_t : public object_t, public IHostPool {
public:
    BEGIN_COM_MAP(host_pool_t)
        COM_INTERFACE_ENTRY(IHostPool)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    void init() { hosts_.add(keep(make<host_t>(LocalHostName(), true))); }

    HRESULT STDMETHODCALLTYPE GetHost(GUID id, IUnknown** host) override
    {
        return guarded(L"IHostPool::GetHost", IID_IHostPool, [&] {
            require_out(host);
            *host = nullptr;
            return hand_out(hosts_.find(id, L"host"), host);
        });
    }
    HRESULT STDMETHODCALLTYPE Create(BSTR name, IUnknown** host) override
    {
        return guarded(L"IHostPool::Create", IID_IHostPool, [&] { return create(name, false, host); });
    }
    HRESULT STDMETHODCALLTYPE CreateDefault(BSTR name, IUnknown** host) override
    {
        return guarded(L"IHostPool::CreateDefault", IID_IHostPool, [&] { return create(name, true, host); });
    }
    HRESULT STDMETHODCALLTYPE GetHosts(IUnknown** hosts) override
    {
        return guarded(L"IHostPool::GetHosts", IID_IHostPool, [&] { return hand_out(hosts_.enumerable(), hosts); });
    }

private:
    HRESULT create(BSTR name, bool as_default, IUnknown** host)
    {
        require_out(host);
        *host = nullptr;
        auto made = keep(make<host_t>(required_name(name, L"A host"), false));
        hosts_.add(made, as_default);
        return hand_out(made, host);
    }

    entries_t<host_t> hosts_;
};

}  // namespace

CComPtr<IUnknown> make_host_pool(const runtime_ptr&)
{
    return CComPtr<IUnknown>(make<host_pool_t>());
}

}  // namespace collector::reference::detail
