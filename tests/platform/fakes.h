// Interfaces, fakes and helpers shared by the tests of the layer's runtime, the compiler COM support
// and the ATL subset, and by the kernel's tests of its COM helpers.
#pragma once

#include "support/fake_com.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

struct ITestAlpha : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Alpha() = 0;
};
__CRT_UUID_DECL(ITestAlpha, 0x6a1f0c2e, 0x41d3, 0x4b7a, 0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x01)

struct ITestBeta : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Beta() = 0;
};
__CRT_UUID_DECL(ITestBeta, 0x6a1f0c2e, 0x41d3, 0x4b7a, 0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x02)

namespace platform_test {

struct FakeAlpha : fake::Fake<ITestAlpha> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE Alpha() override { return S_OK; }
};

struct FakeAlphaBeta : fake::Fake<ITestAlpha, ITestBeta> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE Alpha() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Beta() override { return S_OK; }
};

// An IDispatch that implements nothing; a test overrides what it calls.
struct FakeDispatch : fake::Fake<IDispatch> {
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

// A SAFEARRAY destroyed at the end of the scope.
struct Destroy {
    void operator()(SAFEARRAY* array) const { EXPECT_EQ(SafeArrayDestroy(array), S_OK); }
};
using Array = std::unique_ptr<SAFEARRAY, Destroy>;

inline Array vector_of(VARTYPE vt, ULONG count, LONG lower_bound = 0)
{
    return Array(SafeArrayCreateVector(vt, lower_bound, count));
}

// A BSTR freed at the end of the scope.
struct Free {
    void operator()(BSTR text) const { SysFreeString(text); }
};
using Text = std::unique_ptr<OLECHAR, Free>;

// A VARIANT cleared at the end of the scope.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { EXPECT_EQ(VariantClear(this), S_OK); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

inline std::wstring_view view(BSTR bstr) { return {bstr, SysStringLen(bstr)}; }

// ASCII text held as narrow or wide characters, as a std::string (for comparisons that must compile
// whatever the character type of the API is).
template <class Char>
std::string ascii(const Char* text)
{
    std::string result;
    for (; text && *text; ++text)
        result.push_back(static_cast<char>(*text));
    return result;
}

} // namespace platform_test
