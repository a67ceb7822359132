// A fake IErrorInfo with fixed texts and a description of the test's choosing, for the tests of the
// layer, the kernel and the library. Every field is set, so that a reader that drops one shows.
#pragma once

#include "support/fake_com.h"

#include <string>

namespace fake {

class ErrorInfo : public Fake<IErrorInfo> {
public:
    static constexpr GUID guid = {0x6a1f0c2e, 0x41d3, 0x4b7a, {0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x03}};

    explicit ErrorInfo(std::string name, std::wstring description = L"The disk is full")
        : Fake(std::move(name)), description_(std::move(description))
    {
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* out) override { return *out = guid, S_OK; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override { return text(L"FakeSource", source); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override { return text(description_, description); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* file) override { return text(L"help.chm", file); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override { return *context = 42, S_OK; }

private:
    static HRESULT text(const std::wstring& value, BSTR* out)
    {
        *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::wstring description_;
};

} // namespace fake
