// Component operations that hand out an object through their last parameter. (Texts handed out the
// same way are read with read_text of RecordImpl.h.)
#pragma once

#include "pch.h"

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

} // namespace collector::shell::detail
