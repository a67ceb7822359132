// Component operations that hand out an object through their last parameter.
#pragma once

#include "pch.h"

#include <Kernel/string.h>

#include <utility>

namespace collector::shell::detail {

// Calls `operation` with `args` and an out-pointer, checked as `call` does. The caller owns the
// reference that comes back, which is null when the component gave no object.
template <class Interface, class... Params, class... Args>
CComPtr<IUnknown> handed_out(std::type_identity_t<Interface>* object, HRESULT (Interface::*operation)(Params...),
                             Args&&... args)
{
    CComPtr<IUnknown> result;
    call(object, operation, std::forward<Args>(args)..., &result);
    return result;
}

// A text that the component hands out through its last parameter; a null BSTR reads as empty.
template <class Interface, class... Params, class... Args>
tstring handed_out_text(std::type_identity_t<Interface>* object, HRESULT (Interface::*operation)(Params...),
                        Args&&... args)
{
    _bstr_t text;
    call(object, operation, std::forward<Args>(args)..., text.GetAddress());
    return tstring(ostra::lux::kernel::safe_wstring_view(text, text.length()));
}

} // namespace collector::shell::detail
