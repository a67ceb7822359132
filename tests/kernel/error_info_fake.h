// A fake IErrorInfo with a fixed source and description, for the kernel tests.
#pragma once

#include "support/fake_com.h"

#include <string>

namespace kernel_test {

class FakeErrorInfo : public fake::Fake<IErrorInfo> {
public:
    FakeErrorInfo(std::string name, std::wstring description) : Fake(std::move(name)), description_(std::move(description)) {}

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override { return *guid = GUID_NULL, S_OK; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override { return text(L"FakeSource", source); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override { return text(description_, description); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* file) override { return text(L"", file); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override { return *context = 0, S_OK; }

private:
    static HRESULT text(const std::wstring& value, BSTR* out)
    {
        *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::wstring description_;
};

} // namespace kernel_test
