// Error information: the object CreateErrorInfo makes, and the per-thread slot of SetErrorInfo and
// GetErrorInfo.
#include <oleauto.h>

#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <string>

namespace {

// A text property: absent until set, so that its getter can answer a NULL BSTR as ole32's does.
using Text = std::optional<std::wstring>;

Text text_of(LPCOLESTR value) { return value ? Text(value) : std::nullopt; }

HRESULT get_text(const Text& text, BSTR* out)
{
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!text)
        return S_OK;
    *out = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Thread-safe: an error object may be read on one thread while another still fills it.
class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    // IUnknown, reached through either base.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override
    {
        if (!pGUID)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override { return get(source_, pBstrSource); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override
    {
        return get(description_, pBstrDescription);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override { return get(help_file_, pBstrHelpFile); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override
    {
        if (!pdwHelpContext)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        *pdwHelpContext = help_context_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override
    {
        std::lock_guard lock(mutex_);
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) override { return set(source_, szSource); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) override
    {
        return set(description_, szDescription);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) override { return set(help_file_, szHelpFile); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) override
    {
        std::lock_guard lock(mutex_);
        help_context_ = dwHelpContext;
        return S_OK;
    }

private:
    HRESULT get(const Text& field, BSTR* out)
    {
        std::lock_guard lock(mutex_);
        return get_text(field, out);
    }
    HRESULT set(Text& field, LPCOLESTR value)
    {
        Text copy = text_of(value);
        std::lock_guard lock(mutex_);
        field = std::move(copy);
        return S_OK;
    }

    std::atomic<ULONG> references_{1};
    std::mutex mutex_;
    GUID guid_ = GUID_NULL;
    Text source_;
    Text description_;
    Text help_file_;
    DWORD help_context_ = 0;
};

// The thread's error object; the reference it holds is released when the thread ends.
class ErrorSlot {
public:
    ErrorSlot() = default;
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;
    ~ErrorSlot() { replace(nullptr); }

    // Stores `info` (already AddRef'd by the caller) and releases what was there, after the swap, so that
    // a Release which reaches SetErrorInfo again finds the slot consistent.
    void replace(IErrorInfo* info)
    {
        IErrorInfo* old = info_;
        info_ = info;
        if (old)
            old->Release();
    }
    IErrorInfo* take()
    {
        IErrorInfo* info = info_;
        info_ = nullptr;
        return info;
    }

private:
    IErrorInfo* info_ = nullptr;
};

thread_local ErrorSlot slot;

} // namespace

HRESULT STDAPICALLTYPE CreateErrorInfo(ICreateErrorInfo** pperrinfo)
{
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = new (std::nothrow) ErrorInfo;
    return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDAPICALLTYPE SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo)
{
    if (dwReserved != 0)
        return E_INVALIDARG;
    if (perrinfo)
        perrinfo->AddRef();
    slot.replace(perrinfo);
    return S_OK;
}

HRESULT STDAPICALLTYPE GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (dwReserved != 0 || !pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = slot.take();
    return *pperrinfo ? S_OK : S_FALSE;
}
