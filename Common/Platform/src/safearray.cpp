// SAFEARRAY management, with oleaut32's memory layout:
// - 16 hidden bytes precede the descriptor: the element VARTYPE in their last four (FADF_HAVEVARTYPE),
//   the interface id in all sixteen (FADF_HAVEIID), or the IRecordInfo pointer in their last eight
//   (FADF_RECORD); a descriptor has at most one of the three.
// - rgsabound holds the dimensions in reverse order: dimension 1 (the first bound given at creation) is
//   the last entry. Index arrays follow the creation order, and the first index varies fastest.
// - A vector (SafeArrayCreateVector) keeps its data in the same allocation as its descriptor.
#include <oleauto.h>

#include "vartype.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using platform_detail::value_size;

constexpr std::size_t hidden_size = 16;
constexpr std::size_t alignment = 16;

constexpr std::size_t aligned(std::size_t n) { return (n + alignment - 1) / alignment * alignment; }

std::size_t descriptor_size(UINT dims) { return aligned(sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND)); }

char* hidden_of(const SAFEARRAY* psa) { return reinterpret_cast<char*>(const_cast<SAFEARRAY*>(psa)) - hidden_size; }

// Where a vector's elements live: right after its descriptor.
void* inline_data(const SAFEARRAY* psa) { return hidden_of(psa) + hidden_size + descriptor_size(psa->cDims); }

bool owns_data_block(const SAFEARRAY* psa) { return psa->pvData && psa->pvData != inline_data(psa); }

VARTYPE stored_vartype(const SAFEARRAY* psa)
{
    DWORD vt;
    std::memcpy(&vt, hidden_of(psa) + hidden_size - sizeof vt, sizeof vt);
    return static_cast<VARTYPE>(vt);
}

void store_vartype(SAFEARRAY* psa, VARTYPE vt)
{
    const DWORD value = vt;
    std::memcpy(hidden_of(psa) + hidden_size - sizeof value, &value, sizeof value);
}

IRecordInfo* stored_record_info(const SAFEARRAY* psa)
{
    IRecordInfo* info;
    std::memcpy(&info, hidden_of(psa) + hidden_size - sizeof info, sizeof info);
    return info;
}

void store_record_info(SAFEARRAY* psa, IRecordInfo* info)
{
    std::memcpy(hidden_of(psa) + hidden_size - sizeof info, &info, sizeof info);
}

std::atomic_ref<ULONG> lock_count(SAFEARRAY* psa) { return std::atomic_ref<ULONG>(psa->cLocks); }

bool is_locked(SAFEARRAY* psa) { return lock_count(psa).load() != 0; }

// A zeroed descriptor for `dims` dimensions with `extra` bytes after it, or NULL.
SAFEARRAY* allocate_descriptor(UINT dims, std::size_t extra)
{
    auto* block = static_cast<char*>(std::calloc(1, hidden_size + descriptor_size(dims) + extra));
    return block ? reinterpret_cast<SAFEARRAY*>(block + hidden_size) : nullptr;
}

bool checked_multiply(std::size_t a, std::size_t b, std::size_t& product)
{
    if (b != 0 && a > std::numeric_limits<std::size_t>::max() / b)
        return false;
    product = a * b;
    return true;
}

// The number of elements `bounds` describe; false when it does not fit in memory.
bool count_elements(const SAFEARRAYBOUND* bounds, UINT dims, std::size_t& count)
{
    count = 1;
    for (UINT i = 0; i < dims; ++i)
        if (!checked_multiply(count, bounds[i].cElements, count))
            return false;
    return true;
}

// The number of elements in one step of the slowest-varying dimension: the product of all the others.
std::size_t slice_count(const SAFEARRAY* psa)
{
    std::size_t count = 1;
    for (UINT i = 1; i < psa->cDims; ++i)
        count *= psa->rgsabound[i].cElements;
    return count;
}

std::size_t element_count(const SAFEARRAY* psa) { return slice_count(psa) * psa->rgsabound[0].cElements; }

bool data_size(const SAFEARRAY* psa, std::size_t& bytes)
{
    std::size_t count;
    return count_elements(psa->rgsabound, psa->cDims, count) && checked_multiply(count, psa->cbElements, bytes);
}

USHORT features_for(VARTYPE vt)
{
    switch (vt) {
    case VT_BSTR:
        return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN:
        return FADF_HAVEIID | FADF_UNKNOWN;
    case VT_DISPATCH:
        return FADF_HAVEIID | FADF_DISPATCH;
    case VT_VARIANT:
        return FADF_HAVEVARTYPE | FADF_VARIANT;
    case VT_RECORD:
        return FADF_RECORD;
    default:
        return FADF_HAVEVARTYPE;
    }
}

// ---- Elements ---------------------------------------------------------------------------------------

// Releases what `count` elements from `first` own, and zeroes them.
void release_elements(SAFEARRAY* psa, void* first, std::size_t count)
{
    char* begin = static_cast<char*>(first);
    for (std::size_t i = 0; i < count; ++i) {
        void* element = begin + i * psa->cbElements;
        if (psa->fFeatures & FADF_BSTR)
            SysFreeString(*static_cast<BSTR*>(element));
        else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            if (auto* unknown = *static_cast<IUnknown**>(element))
                unknown->Release();
        } else if (psa->fFeatures & FADF_VARIANT)
            VariantClear(static_cast<VARIANT*>(element));
        else if (psa->fFeatures & FADF_RECORD)
            stored_record_info(psa)->RecordClear(element);
    }
    std::memset(begin, 0, count * psa->cbElements);
}

BSTR duplicate(BSTR text)
{
    return text ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text)) : nullptr;
}

// Copies one element of `psa` from `source` to `target`, which owns nothing (a record may hold what
// RecordCopy releases): strings are duplicated, interfaces AddRef'd, VARIANTs and records copied deeply.
HRESULT copy_element(const SAFEARRAY* psa, const void* source, void* target)
{
    if (psa->fFeatures & FADF_BSTR) {
        const BSTR text = *static_cast<const BSTR*>(source);
        *static_cast<BSTR*>(target) = duplicate(text);
        return (text && !*static_cast<BSTR*>(target)) ? E_OUTOFMEMORY : S_OK;
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* unknown = *static_cast<IUnknown* const*>(source);
        if (unknown)
            unknown->AddRef();
        *static_cast<IUnknown**>(target) = unknown;
        return S_OK;
    }
    if (psa->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(target));
        return VariantCopy(static_cast<VARIANT*>(target), static_cast<const VARIANT*>(source));
    }
    if (psa->fFeatures & FADF_RECORD)
        return stored_record_info(psa)->RecordCopy(const_cast<void*>(source), target);
    std::memcpy(target, source, psa->cbElements);
    return S_OK;
}

// Copies every element of `source` into `target`, which has the same shape and owns nothing.
HRESULT copy_elements(const SAFEARRAY* source, SAFEARRAY* target)
{
    const std::size_t count = element_count(source);
    const auto* from = static_cast<const char*>(source->pvData);
    auto* to = static_cast<char*>(target->pvData);
    for (std::size_t i = 0; i < count; ++i) {
        const HRESULT hr = copy_element(source, from + i * source->cbElements, to + i * source->cbElements);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

// The address of the element at `indices` (creation order), or DISP_E_BADINDEX.
HRESULT element_address(SAFEARRAY* psa, const LONG* indices, void** address)
{
    std::size_t offset = 0;
    std::size_t stride = 1;
    for (UINT k = 0; k < psa->cDims; ++k) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - k];
        const long long position = static_cast<long long>(indices[k]) - bound.lLbound;
        if (position < 0 || position >= static_cast<long long>(bound.cElements))
            return DISP_E_BADINDEX;
        offset += static_cast<std::size_t>(position) * stride;
        stride *= bound.cElements;
    }
    *address = static_cast<char*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

// Holds a lock on an array for the length of one element access, so that it cannot be destroyed or
// resized underneath.
class ArrayLock {
public:
    explicit ArrayLock(SAFEARRAY* psa) : psa_(psa) { SafeArrayLock(psa_); }
    ~ArrayLock() { SafeArrayUnlock(psa_); }
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;

private:
    SAFEARRAY* psa_;
};

// ---- Creation ---------------------------------------------------------------------------------------

struct ElementType {
    VARTYPE vt;
    IRecordInfo* record = nullptr;
    const GUID* iid = nullptr;
};

// The element size of `type`, 0 when an array of it cannot be made.
ULONG element_size(const ElementType& type)
{
    if (type.vt != VT_RECORD)
        return value_size(type.vt);
    ULONG size = 0;
    if (!type.record || FAILED(type.record->GetSize(&size)))
        return 0;
    return size;
}

void store_element_type(SAFEARRAY* psa, const ElementType& type)
{
    if (psa->fFeatures & FADF_HAVEVARTYPE)
        store_vartype(psa, type.vt);
    if (psa->fFeatures & FADF_HAVEIID) {
        const GUID& iid = type.iid ? *type.iid : type.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
        std::memcpy(hidden_of(psa), &iid, sizeof iid);
    }
    if (psa->fFeatures & FADF_RECORD) {
        type.record->AddRef();
        store_record_info(psa, type.record);
    }
}

SAFEARRAY* create(const ElementType& type, UINT dims, const SAFEARRAYBOUND* bounds, bool vector)
{
    const ULONG size = element_size(type);
    std::size_t count;
    std::size_t bytes;
    if (size == 0 || dims == 0 || dims > std::numeric_limits<USHORT>::max() || !bounds ||
        !count_elements(bounds, dims, count) || !checked_multiply(count, size, bytes))
        return nullptr;
    // Every array gets a data block, even an empty one, as oleaut32's do.
    const std::size_t block = std::max<std::size_t>(bytes, 1);
    SAFEARRAY* psa = allocate_descriptor(dims, vector ? block : 0);
    if (!psa)
        return nullptr;
    psa->cDims = static_cast<USHORT>(dims);
    psa->pvData = vector ? inline_data(psa) : std::calloc(1, block);
    if (!psa->pvData) {
        std::free(hidden_of(psa));
        return nullptr;
    }
    psa->fFeatures = features_for(type.vt) | (vector ? FADF_CREATEVECTOR : 0);
    psa->cbElements = size;
    for (UINT i = 0; i < dims; ++i)
        psa->rgsabound[dims - 1 - i] = bounds[i];
    store_element_type(psa, type);
    return psa;
}

} // namespace

SAFEARRAY* STDAPICALLTYPE SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound)
{
    return create({vt}, cDims, rgsabound, false);
}

SAFEARRAY* STDAPICALLTYPE SafeArrayCreateEx(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound, PVOID pvExtra)
{
    ElementType type{vt};
    if (vt == VT_RECORD)
        type.record = static_cast<IRecordInfo*>(pvExtra);
    else if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
        type.iid = static_cast<const GUID*>(pvExtra);
    return create(type, cDims, rgsabound, false);
}

SAFEARRAY* STDAPICALLTYPE SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    SAFEARRAYBOUND bound{cElements, lLbound};
    return create({vt}, 1, &bound, true);
}

HRESULT STDAPICALLTYPE SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (is_locked(psa))
        return DISP_E_ARRAYISLOCKED;
    release_elements(psa, psa->pvData, element_count(psa));
    if (owns_data_block(psa))
        std::free(psa->pvData);
    if (psa->fFeatures & FADF_RECORD)
        stored_record_info(psa)->Release();
    std::free(hidden_of(psa));
    return S_OK;
}

// ---- Locks --------------------------------------------------------------------------------------------

HRESULT STDAPICALLTYPE SafeArrayLock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    lock_count(psa).fetch_add(1);
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayUnlock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    auto count = lock_count(psa);
    ULONG seen = count.load();
    do {
        if (seen == 0)
            return E_UNEXPECTED;
    } while (!count.compare_exchange_weak(seen, seen - 1));
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    SafeArrayLock(psa);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

// ---- Shape and element type ---------------------------------------------------------------------------

HRESULT STDAPICALLTYPE SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<long long>(bound.lLbound) + bound.cElements - 1);
    return S_OK;
}

UINT STDAPICALLTYPE SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT STDAPICALLTYPE SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT STDAPICALLTYPE SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE)
        *pvt = stored_vartype(psa);
    else if (psa->fFeatures & FADF_RECORD)
        *pvt = VT_RECORD;
    else if (psa->fFeatures & FADF_DISPATCH)
        *pvt = VT_DISPATCH;
    else if (psa->fFeatures & FADF_HAVEIID)
        *pvt = VT_UNKNOWN;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetRecordInfo(SAFEARRAY* psa, IRecordInfo** prinfo)
{
    if (!psa || !prinfo)
        return E_INVALIDARG;
    *prinfo = nullptr;
    if (!(psa->fFeatures & FADF_RECORD))
        return E_INVALIDARG;
    *prinfo = stored_record_info(psa);
    if (*prinfo)
        (*prinfo)->AddRef();
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArraySetRecordInfo(SAFEARRAY* psa, IRecordInfo* prinfo)
{
    if (!psa || !(psa->fFeatures & FADF_RECORD))
        return E_INVALIDARG;
    if (prinfo)
        prinfo->AddRef();
    if (IRecordInfo* old = stored_record_info(psa))
        old->Release();
    store_record_info(psa, prinfo);
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid)
{
    if (!psa || !pguid || !(psa->fFeatures & FADF_HAVEIID))
        return E_INVALIDARG;
    std::memcpy(pguid, hidden_of(psa), sizeof *pguid);
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArraySetIID(SAFEARRAY* psa, REFGUID guid)
{
    if (!psa || !(psa->fFeatures & FADF_HAVEIID))
        return E_INVALIDARG;
    std::memcpy(hidden_of(psa), &guid, sizeof guid);
    return S_OK;
}

// ---- Elements -----------------------------------------------------------------------------------------

HRESULT STDAPICALLTYPE SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData)
{
    if (!psa || !rgIndices || !ppvData)
        return E_INVALIDARG;
    return element_address(psa, rgIndices, ppvData);
}

HRESULT STDAPICALLTYPE SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    ArrayLock lock(psa);
    void* element;
    HRESULT hr = element_address(psa, rgIndices, &element);
    if (FAILED(hr))
        return hr;
    // Strings and interfaces are passed by value; every other element type through a pointer to it.
    if (psa->fFeatures & FADF_BSTR) {
        BSTR text = duplicate(static_cast<BSTR>(pv));
        if (!text)
            text = SysAllocStringLen(nullptr, 0); // a NULL BSTR is stored as a real empty one
        if (!text)
            return E_OUTOFMEMORY;
        SysFreeString(*static_cast<BSTR*>(element));
        *static_cast<BSTR*>(element) = text;
        return S_OK;
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* unknown = static_cast<IUnknown*>(pv);
        if (unknown)
            unknown->AddRef();
        if (auto* old = *static_cast<IUnknown**>(element))
            old->Release();
        *static_cast<IUnknown**>(element) = unknown;
        return S_OK;
    }
    if (!pv)
        return E_INVALIDARG;
    // VariantCopy and IRecordInfo::RecordCopy release what the element held before copying.
    if (psa->fFeatures & FADF_VARIANT)
        return VariantCopy(static_cast<VARIANT*>(element), static_cast<VARIANT*>(pv));
    return copy_element(psa, pv, element);
}

HRESULT STDAPICALLTYPE SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    ArrayLock lock(psa);
    void* element;
    const HRESULT hr = element_address(psa, rgIndices, &element);
    return FAILED(hr) ? hr : copy_element(psa, element, pv);
}

// ---- Copies and resizing ------------------------------------------------------------------------------

HRESULT STDAPICALLTYPE SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    std::size_t bytes;
    if (!data_size(psa, bytes))
        return E_OUTOFMEMORY;
    SAFEARRAY* copy = allocate_descriptor(psa->cDims, 0);
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(hidden_of(copy), hidden_of(psa), hidden_size);
    std::memcpy(copy, psa, sizeof(SAFEARRAY) + (psa->cDims - 1) * sizeof(SAFEARRAYBOUND));
    copy->cLocks = 0;
    copy->pvData = std::calloc(1, std::max<std::size_t>(bytes, 1));
    if ((copy->fFeatures & FADF_RECORD) && stored_record_info(copy))
        stored_record_info(copy)->AddRef();
    HRESULT hr = copy->pvData ? copy_elements(psa, copy) : E_OUTOFMEMORY;
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT STDAPICALLTYPE SafeArrayCopyData(SAFEARRAY* psaSource, SAFEARRAY* psaTarget)
{
    if (!psaSource || !psaTarget || psaSource->cDims != psaTarget->cDims ||
        psaSource->cbElements != psaTarget->cbElements)
        return E_INVALIDARG;
    for (UINT i = 0; i < psaSource->cDims; ++i)
        if (psaSource->rgsabound[i].cElements != psaTarget->rgsabound[i].cElements)
            return E_INVALIDARG;
    if (psaSource == psaTarget)
        return S_OK;
    ArrayLock source_lock(psaSource);
    ArrayLock target_lock(psaTarget);
    release_elements(psaTarget, psaTarget->pvData, element_count(psaTarget));
    return copy_elements(psaSource, psaTarget);
}

HRESULT STDAPICALLTYPE SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew)
{
    if (!psa || !psaboundNew)
        return E_INVALIDARG;
    if (is_locked(psa))
        return DISP_E_ARRAYISLOCKED;
    // Only the slowest-varying dimension (the last one, stored first) changes: elements keep their
    // places, and the array grows or shrinks at its end.
    const std::size_t old_count = element_count(psa);
    std::size_t new_count;
    std::size_t new_bytes;
    if (!checked_multiply(slice_count(psa), psaboundNew->cElements, new_count) ||
        !checked_multiply(new_count, psa->cbElements, new_bytes))
        return E_OUTOFMEMORY;
    void* data = std::calloc(1, std::max<std::size_t>(new_bytes, 1));
    if (!data)
        return E_OUTOFMEMORY;
    if (new_count < old_count)
        release_elements(psa, static_cast<char*>(psa->pvData) + new_bytes, old_count - new_count);
    std::memcpy(data, psa->pvData, std::min(old_count, new_count) * psa->cbElements);
    if (owns_data_block(psa))
        std::free(psa->pvData);
    psa->pvData = data;
    psa->rgsabound[0] = *psaboundNew;
    return S_OK;
}
