// Interfaces and fakes shared by the tests of the compiler COM support and of the ATL subset.
#pragma once

#include "support/fake_com.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

struct ITestAlpha : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Alpha() = 0;
};
__CRT_UUID_DECL(ITestAlpha, 0x6a1f0c2e, 0x41d3, 0x4b7a, 0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x01)

struct ITestBeta : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Beta() = 0;
};
__CRT_UUID_DECL(ITestBeta, 0x6a1f0c2e, 0x41d3, 0x4b7a, 0x9e, 0x01, 0x3c, 0x55, 0x72, 0x10, 0xaa, 0x02)

namespace comsupport_test {

class FakeAlpha : public fake::Fake<ITestAlpha> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE Alpha() override { return S_OK; }
};

class FakeAlphaBeta : public fake::Fake<ITestAlpha, ITestBeta> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE Alpha() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Beta() override { return S_OK; }
};

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

} // namespace comsupport_test
