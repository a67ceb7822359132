// Method: a named operation of a record, collection or task. Parameters are read and written by name
// (through ObjectProxy), the method is invoked with no argument or one, and its last result is kept
// for GetResult.
#pragma once

#include "Export.h"
#include "Object.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace collector::shell {

class ObjectProxy;

// Copies share the parameters and the last result.
class COLLECTOR_SHELL_API Method {
public:
    struct impl_t;

    // For the owners that look methods up: `owner` (may be empty) is kept alive as long as the method
    // is; `method` must answer IFieldMethod ("Unable to QueryInterface" otherwise). A null `method`
    // makes a method whose every call raises E_POINTER.
    Method(std::shared_ptr<void> owner, IUnknown* method);

    // The current value of a parameter.
    Object operator[](std::wstring_view name) const;
    // A handle on a parameter, to read or write it; makes no call by itself.
    ObjectProxy operator[](std::wstring_view name);

    // Invokes the method and returns what it returned, which also becomes the last result.
    Object operator()();
    // With an argument of type VT_INT.
    Object operator()(int value);
    // With the address as an argument of type VT_UI8 (nullptr passes 0).
    Object operator()(void* value);

    // The last result of any copy of this method, as a list: nothing before the first invocation or
    // when it returned VT_EMPTY; the values of a result list (IMethodResultList) whose elements answer
    // IMethodResultItem; otherwise the result itself as the one element. Never invokes.
    std::vector<Object> GetResult() const;

private:
    std::shared_ptr<impl_t> impl_;
};

// One named parameter of a method. It does not keep the method alive: once every Method handle of it
// is gone, reading gives an empty Object and writing does nothing.
class COLLECTOR_SHELL_API ObjectProxy {
public:
    ObjectProxy(const ObjectProxy& other) = default;

    // Sets the parameter; a null value (VT_EMPTY or VT_NULL) clears it instead.
    ObjectProxy& operator=(Object value);
    // Copies the other parameter's value into this one; nothing happens when both name the same
    // parameter (exactly, case included) of the same method.
    ObjectProxy& operator=(const ObjectProxy& other);

    // The parameter's current value.
    operator Object() const;

private:
    friend class Method;

    ObjectProxy(std::weak_ptr<Method::impl_t> method, std::wstring name) noexcept;

    std::weak_ptr<Method::impl_t> method_;
    std::wstring name_;
};

} // namespace collector::shell
