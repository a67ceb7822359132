// Facts about VARTYPE values shared by the VARIANT and SAFEARRAY code of the layer.
#pragma once

#include <oleauto.h>

namespace platform_detail {

// The types a VARIANT may carry: a base type with at most the BYREF and ARRAY flags, never EMPTY or
// NULL with a flag (there is nothing to point at or to make an array of).
inline bool is_valid_variant_type(VARTYPE vt)
{
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_BYREF | VT_ARRAY))
        return false;
    if (flags && base <= VT_NULL)
        return false;
    return (base <= VT_UINT && base != 15) || base == VT_RECORD;
}

// The size of one value of a base type as a SAFEARRAY stores it; 0 for a type that has no fixed size
// (records), nothing to store (EMPTY, NULL) or no place in an array.
inline ULONG value_size(VARTYPE base)
{
    switch (base) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
    case VT_INT_PTR:
    case VT_UINT_PTR:
        return sizeof(void*);
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

} // namespace platform_detail
