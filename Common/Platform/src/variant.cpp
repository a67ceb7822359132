// VARIANT lifetime: VariantInit, VariantClear, VariantCopy, VariantCopyInd.
// A VARIANT owns what it holds by value (a BSTR, one reference to an interface, an array, a record) and
// nothing that it holds by reference. Records are owned through their IRecordInfo: a copy is made with
// RecordCreateCopy and given back with RecordDestroy.
#include <oleauto.h>

#include "vartype.h"

#include <cstring>

namespace {

using platform_detail::is_valid_variant_type;
using platform_detail::value_size;

// VariantClear lets go of a VT_CLSID as well, although no other VARIANT function takes one.
bool is_clearable_variant_type(VARTYPE vt)
{
    const bool clsid = (vt & VT_TYPEMASK) == VT_CLSID && !(vt & ~(VT_TYPEMASK | VT_BYREF | VT_ARRAY));
    return clsid || is_valid_variant_type(vt);
}

// Releases what a validated, by-value VARIANT owns, leaving its bits as they were.
HRESULT release_contents(VARIANT& v)
{
    if (v.vt & VT_BYREF)
        return S_OK;
    if (v.vt & VT_ARRAY)
        return SafeArrayDestroy(v.parray);
    switch (v.vt) {
    case VT_BSTR:
        SysFreeString(v.bstrVal);
        return S_OK;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (v.punkVal)
            v.punkVal->Release();
        return S_OK;
    case VT_RECORD:
        if (v.pRecInfo) {
            const HRESULT hr = v.pvRecord ? v.pRecInfo->RecordDestroy(v.pvRecord) : S_OK;
            v.pRecInfo->Release();
            return hr;
        }
        return S_OK;
    default:
        return S_OK;
    }
}

HRESULT copy_bstr(BSTR source, BSTR& target)
{
    // A NULL BSTR reads as the empty string, and copies as a real one.
    target = source ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source))
                    : SysAllocStringLen(nullptr, 0);
    return target ? S_OK : E_OUTOFMEMORY;
}

HRESULT copy_record(IRecordInfo* info, PVOID source, VARIANT& target)
{
    target.pRecInfo = info;
    target.pvRecord = nullptr;
    if (!info)
        return S_OK;
    if (source) {
        const HRESULT hr = info->RecordCreateCopy(source, &target.pvRecord);
        if (FAILED(hr)) {
            target.pRecInfo = nullptr;
            return hr;
        }
    }
    info->AddRef();
    return S_OK;
}

// Makes `target`, a bitwise copy of a validated by-value `source`, own copies of what `source` owns.
// On failure `target` owns nothing and holds VT_EMPTY.
HRESULT deepen_copy(const VARIANT& source, VARIANT& target)
{
    HRESULT hr = S_OK;
    if (source.vt & VT_ARRAY) {
        target.parray = nullptr;
        hr = SafeArrayCopy(source.parray, &target.parray);
    } else if (source.vt == VT_BSTR) {
        hr = copy_bstr(source.bstrVal, target.bstrVal);
    } else if (source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) {
        if (source.punkVal)
            source.punkVal->AddRef();
    } else if (source.vt == VT_RECORD) {
        hr = copy_record(source.pRecInfo, source.pvRecord, target);
    }
    if (FAILED(hr))
        VariantInit(&target);
    return hr;
}

HRESULT copy_to_temporary(const VARIANT& source, VARIANT& copy)
{
    std::memcpy(&copy, &source, sizeof copy);
    return (source.vt & VT_BYREF) ? S_OK : deepen_copy(source, copy);
}

// The value that a validated VT_BYREF VARIANT points at, as an owning by-value VARIANT in `copy`.
HRESULT dereference(const VARIANT& source, VARIANT& copy)
{
    const VARTYPE base = source.vt & ~VT_BYREF;
    VariantInit(&copy);
    if (!source.byref)
        return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT& inner = *source.pvarVal;
        if (!is_valid_variant_type(inner.vt))
            return DISP_E_BADVARTYPE;
        return (inner.vt & VT_BYREF) ? dereference(inner, copy) : copy_to_temporary(inner, copy);
    }

    VARIANT by_value;
    std::memcpy(&by_value, &source, sizeof by_value);
    by_value.vt = base;
    if (base & VT_ARRAY) {
        by_value.parray = *source.pparray;
    } else if (base == VT_DECIMAL) {
        // The DECIMAL overlays the whole VARIANT, its type included.
        std::memcpy(&by_value.decVal, source.pdecVal, sizeof(DECIMAL));
        by_value.vt = base;
    } else if (base != VT_RECORD) {
        by_value.llVal = 0;
        std::memcpy(&by_value.llVal, source.byref, value_size(base));
    }
    copy = by_value;
    return deepen_copy(by_value, copy);
}

// Clears `dest`, then moves the owning `copy` into it; the copy is released if `dest` cannot be cleared.
HRESULT replace(VARIANT* dest, VARIANT& copy)
{
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    std::memcpy(dest, &copy, sizeof copy);
    return S_OK;
}

} // namespace

void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg) { pvarg->vt = VT_EMPTY; }

HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if (!is_clearable_variant_type(pvarg->vt))
        return DISP_E_BADVARTYPE;
    // A locked array stays with whoever locked it: the VARIANT lets go of it all the same.
    const HRESULT hr = release_contents(*pvarg);
    VariantInit(pvarg);
    return hr;
}

HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (!is_valid_variant_type(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARIANT copy;
    const HRESULT hr = copy_to_temporary(*pvargSrc, copy);
    return FAILED(hr) ? hr : replace(pvargDest, copy);
}

HRESULT STDAPICALLTYPE VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc)
{
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    if (!is_valid_variant_type(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    // One level of indirection through a VARIANT is all that may be followed. oleaut32 finds out
    // after it has let go of the destination, so the destination is empty afterwards.
    if (pvargSrc->vt == (VT_VARIANT | VT_BYREF) && pvargSrc->pvarVal &&
        pvargSrc->pvarVal->vt == (VT_VARIANT | VT_BYREF)) {
        VariantClear(pvarDest);
        return E_INVALIDARG;
    }
    VARIANT copy;
    const HRESULT hr = dereference(*pvargSrc, copy);
    return FAILED(hr) ? hr : replace(pvarDest, copy);
}
