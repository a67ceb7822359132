// What the rows of the conformance table share: the row's fake object, expectations on results and
// values, and a scoped BSTR.
#pragma once

#include "conformance/table.h"
#include "conformance/values.h"
#include "support/fake_com.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace conformance {

// What a row does when its test runs.
using Body = std::function<void()>;

class FakeObject : public fake::Fake<IUnknown> {
public:
    using Fake::Fake;
};

// The row's fake object, which `fake` literals stand for.
struct RowObjects {
    fake::Held<FakeObject> object = fake::hold<FakeObject>("row fake");
    Context context{object->unknown()};
};

void expect_result(HRESULT actual, HRESULT expected);
void expect_value(const VARIANT& actual, const Literal& expected, Context& context);

// A BSTR for the length of a scope.
class String {
public:
    explicit String(const std::optional<std::string>& text);
    ~String() { SysFreeString(value_); }
    String(const String&) = delete;
    String& operator=(const String&) = delete;
    BSTR get() const noexcept { return value_; }
    BSTR* put() noexcept { return &value_; }

private:
    BSTR value_ = nullptr;
};

// safearray <type> <bounds> : <step> => <outcome> ; ...   (safearray_rows.cpp)
Body prepare_safearray(Cursor& cursor);

} // namespace conformance
