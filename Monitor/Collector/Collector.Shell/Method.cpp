// Method and ObjectProxy: invoking a named operation of the component, reading its last result as a
// list, and reading and writing its parameters by name.
#include "pch.h"

#include <collector/shell/Method.h>

#include <cstdint>
#include <utility>

namespace collector::shell {

using namespace Ostra_Lux_Collector_Interfaces;

struct Method::impl_t {
    // Keeps the object that the method came from alive; not otherwise used.
    std::shared_ptr<void> owner;
    detail::CComQIPtrStrong<IFieldMethod, &IID_IFieldMethod> method;
    // What the last invocation through any handle returned; VT_EMPTY before the first.
    _variant_t result;

    impl_t(std::shared_ptr<void> owner_, IUnknown* method_) : owner(std::move(owner_)), method(method_) {}

    // The method's interface, which a method built from a null pointer lacks.
    IFieldMethod* operations() const
    {
        if (!method)
            _com_issue_error(E_POINTER);
        return method.p;
    }

    Object parameter(std::wstring_view name) const
    {
        _variant_t value;
        detail::call(operations(), &IFieldMethod::GetParameter, detail::make_bstr(name), &value);
        return Object(std::move(value));
    }

    void set_parameter(std::wstring_view name, const Object& value)
    {
        if (!value)
            detail::call(operations(), &IFieldMethod::ClearParameter, detail::make_bstr(name));
        else
            detail::call(operations(), &IFieldMethod::SetParameter, detail::make_bstr(name),
                         static_cast<const VARIANT&>(value.data()));
    }

    // Calls one of the invoking operations with `args` before the result, and keeps a copy of the result.
    template <class Operation, class... Args>
    Object invoke(Operation operation, const Args&... args)
    {
        _variant_t returned;
        detail::call(operations(), operation, args..., &returned);
        result = returned;
        return Object(std::move(returned));
    }
};

namespace {

// The interface `I` of a VT_UNKNOWN value whose object offers it; empty for any other value.
template <class I>
CComPtr<I> offered(const VARIANT& value)
{
    CComPtr<I> answer;
    if (value.vt != VT_UNKNOWN || !value.punkVal ||
        FAILED(value.punkVal->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&answer))))
        return {};
    return answer;
}

// The values of a result list: those of its IMethodResultItem elements, in enumeration order.
std::vector<Object> result_items(IMethodResultList* list)
{
    VARIANT_BOOL has_items = VARIANT_FALSE;
    detail::call(list, &IMethodResultList::HasItems, &has_items);
    if (has_items != VARIANT_TRUE)
        return {};
    CComPtr<IEnumVARIANT> items;
    detail::call(list, &IMethodResultList::GetItems, &items);
    if (!items)
        return {};

    std::vector<Object> values;
    for (;;) {
        _variant_t element;
        ULONG fetched = 0;
        // The component's enumerators end by the count fetched alone; their HRESULT does not decide.
        static_cast<void>(items->Next(1, &element, &fetched));
        if (fetched == 0)
            return values;
        if (const CComPtr<IMethodResultItem> item = offered<IMethodResultItem>(element)) {
            _variant_t value;
            detail::call(item.p, &IMethodResultItem::GetValue, &value);
            values.emplace_back(std::move(value));
        }
    }
}

VARIANT int_argument(int value) noexcept
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_INT;
    argument.intVal = value;
    return argument;
}

VARIANT address_argument(const void* value) noexcept
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_UI8;
    argument.ullVal = reinterpret_cast<std::uintptr_t>(value);
    return argument;
}

} // namespace

Method::Method(std::shared_ptr<void> owner, IUnknown* method)
    : impl_(std::make_shared<impl_t>(std::move(owner), method))
{
}

Object Method::operator[](std::wstring_view name) const { return impl_->parameter(name); }

ObjectProxy Method::operator[](std::wstring_view name) { return ObjectProxy(impl_, std::wstring(name)); }

Object Method::operator()() { return impl_->invoke(&IFieldMethod::Invoke); }

Object Method::operator()(int value)
{
    return impl_->invoke(&IFieldMethod::InvokeWithArgument, int_argument(value));
}

Object Method::operator()(void* value)
{
    return impl_->invoke(&IFieldMethod::InvokeWithArgument, address_argument(value));
}

std::vector<Object> Method::GetResult() const
{
    const _variant_t& result = impl_->result;
    if (result.vt == VT_EMPTY)
        return {};
    if (const CComPtr<IMethodResultList> list = offered<IMethodResultList>(result))
        return result_items(list);
    std::vector<Object> single;
    single.emplace_back(_variant_t(result));
    return single;
}

ObjectProxy::ObjectProxy(std::weak_ptr<Method::impl_t> method, std::wstring name) noexcept
    : method_(std::move(method)), name_(std::move(name))
{
}

ObjectProxy& ObjectProxy::operator=(Object value)
{
    if (const auto method = method_.lock())
        method->set_parameter(name_, value);
    return *this;
}

ObjectProxy& ObjectProxy::operator=(const ObjectProxy& other)
{
    const bool same_method = !method_.owner_before(other.method_) && !other.method_.owner_before(method_);
    if (same_method && name_ == other.name_)
        return *this;
    return *this = static_cast<Object>(other);
}

ObjectProxy::operator Object() const
{
    const auto method = method_.lock();
    return method ? method->parameter(name_) : Object();
}

} // namespace collector::shell
