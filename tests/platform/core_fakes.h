// Small fakes and helpers for the tests of the layer's runtime.
#pragma once

#include "support/fake_com.h"

#include <windows.h>

#include <string_view>

namespace core_test {

// A BSTR owned for the length of a scope.
class Text {
public:
    explicit Text(const OLECHAR* text) : bstr_(SysAllocString(text)) {}
    ~Text() { SysFreeString(bstr_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    BSTR get() const { return bstr_; }

private:
    BSTR bstr_;
};

inline std::wstring_view view(BSTR bstr) { return {bstr, SysStringLen(bstr)}; }

} // namespace core_test
