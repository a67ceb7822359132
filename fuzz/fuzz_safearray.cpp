// SAFEARRAYs of every element type with fuzzed dimensions and bounds: the bounds read back as given,
// an index is accepted exactly when it lies inside them, an element reads back as it was put, and
// copies, locks and resizing keep to the same rules.
#include "VariantBuilder.h"

#include <cstring>
#include <vector>

using namespace collector::fuzz;

namespace {

constexpr VARTYPE element_types[] = {VT_I1,   VT_UI1,  VT_I2,   VT_UI2,   VT_I4,      VT_UI4,     VT_INT,
                                     VT_UINT, VT_I8,   VT_UI8,  VT_R4,    VT_R8,      VT_CY,      VT_DATE,
                                     VT_BOOL, VT_ERROR, VT_DECIMAL, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH,
                                     VT_EMPTY, VT_NULL, VT_RECORD};
constexpr UINT most_dims = 3;

// The size of an element of `vt`; 0 for the types that no array holds without more information.
ULONG element_size(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_UNKNOWN:
    case VT_DISPATCH: case VT_INT_PTR: case VT_UINT_PTR: return 8;
    case VT_DECIMAL: return 16;
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

struct shape_t {
    std::vector<SAFEARRAYBOUND> bounds; // in the order given to SafeArrayCreate: dimension 1 first

    bool contains(const std::vector<LONG>& indices) const
    {
        for (std::size_t d = 0; d < bounds.size(); ++d) {
            const long long offset = static_cast<long long>(indices[d]) - bounds[d].lLbound;
            if (offset < 0 || offset >= static_cast<long long>(bounds[d].cElements))
                return false;
        }
        return true;
    }
};

shape_t fuzzed_shape(fuzz_input_t& input)
{
    shape_t shape;
    shape.bounds.resize(input.below(most_dims + 1));
    for (auto& bound : shape.bounds) {
        bound.cElements = static_cast<ULONG>(input.below(6));
        // Mostly small, sometimes anywhere up to the ends of LONG's range.
        bound.lLbound = input.below(4) == 0 ? input.take<LONG>() : input.take<std::int8_t>();
    }
    return shape;
}

// The bounds that the array reports match the shape: dimension 1 is the first bound given.
void check_bounds(SAFEARRAY* array, const shape_t& shape)
{
    const auto dims = static_cast<UINT>(shape.bounds.size());
    check(SafeArrayGetDim(array) == dims, "an array has the dimensions it was made with");
    for (UINT dim = 1; dim <= dims; ++dim) {
        LONG lower = 0, upper = 0;
        const SAFEARRAYBOUND& bound = shape.bounds[dim - 1];
        check(SUCCEEDED(SafeArrayGetLBound(array, dim, &lower)) && lower == bound.lLbound,
              "a dimension's lower bound is the one given");
        // The upper bound wraps as LONG arithmetic does on Windows.
        const auto expected = static_cast<LONG>(static_cast<ULONG>(bound.lLbound) + bound.cElements - 1);
        check(SUCCEEDED(SafeArrayGetUBound(array, dim, &upper)) && upper == expected,
              "a dimension's upper bound is its lower bound plus its count less one");
    }
    LONG ignored = 0;
    check(SafeArrayGetLBound(array, 0, &ignored) == DISP_E_BADINDEX &&
              SafeArrayGetUBound(array, dims + 1, &ignored) == DISP_E_BADINDEX,
          "dimensions are numbered from 1 to the count");
}

// An index per dimension: near the lower bound, so that most are inside, or anywhere.
std::vector<LONG> fuzzed_indices(fuzz_input_t& input, const shape_t& shape)
{
    std::vector<LONG> indices;
    for (const auto& bound : shape.bounds)
        indices.push_back(input.below(4) == 0 ? input.take<LONG>()
                                              : static_cast<LONG>(static_cast<ULONG>(bound.lLbound) + input.below(7)));
    return indices;
}

// An element value for PutElement, owned by the caller's VARIANT for BSTR and VARIANT elements.
void* element_value(fuzz_input_t& input, VARTYPE vt, owned_variant_t& holder, std::uint8_t (&bytes)[16])
{
    switch (vt) {
    case VT_BSTR:
        fill_plain(input, VT_BSTR, holder);
        return holder.bstrVal;
    case VT_VARIANT:
        fill_plain(input, input.pick(plain_types), holder);
        return &holder;
    case VT_UNKNOWN: case VT_DISPATCH:
        return nullptr;
    default:
        for (auto& b : bytes)
            b = input.byte();
        return bytes;
    }
}

// What GetElement gave is what PutElement was given; the copy it made is released.
void check_element(VARTYPE vt, ULONG size, void* put, void* got)
{
    if (vt == VT_BSTR) {
        const BSTR a = static_cast<BSTR>(put), b = *static_cast<BSTR*>(got);
        check(b != nullptr && SysStringLen(a) == SysStringLen(b) &&
                  std::wmemcmp(b, a ? a : L"", SysStringLen(a)) == 0,
              "a text element reads back as it was put");
        SysFreeString(b);
    } else if (vt == VT_VARIANT) {
        auto* a = static_cast<VARIANT*>(put);
        auto* b = static_cast<VARIANT*>(got);
        // The value's own bytes; a text's pointer and a decimal, which overlaps the type, aside.
        const bool by_bytes = a->vt != VT_BSTR && a->vt != VT_DECIMAL;
        check(a->vt == b->vt && (!by_bytes || std::memcmp(&a->llVal, &b->llVal, element_size(a->vt)) == 0),
              "a VARIANT element reads back as it was put");
        VariantClear(b);
    } else if (vt != VT_UNKNOWN && vt != VT_DISPATCH) {
        check(std::memcmp(put, got, size) == 0, "an element reads back as it was put");
    }
}

void access_elements(fuzz_input_t& input, SAFEARRAY* array, VARTYPE vt, const shape_t& shape)
{
    const ULONG size = element_size(vt);
    for (int round = 0; round < 4 && !input.empty() && !shape.bounds.empty(); ++round) {
        // One index per dimension, in the order of the bounds given to SafeArrayCreate.
        std::vector<LONG> indices = fuzzed_indices(input, shape);
        const bool inside = shape.contains(indices);
        void* slot = nullptr;
        const HRESULT found = SafeArrayPtrOfIndex(array, indices.data(), &slot);
        check(SUCCEEDED(found) == inside, "an index is accepted exactly when it lies inside the bounds");
        owned_variant_t holder;
        std::uint8_t bytes[16] = {};
        void* value = element_value(input, vt, holder, bytes);
        const HRESULT put = SafeArrayPutElement(array, indices.data(), value);
        check(inside ? SUCCEEDED(put) : put == DISP_E_BADINDEX, "an element is put exactly inside the bounds");
        alignas(VARIANT) std::uint8_t got[sizeof(VARIANT)] = {};
        const HRESULT get = SafeArrayGetElement(array, indices.data(), got);
        check(SUCCEEDED(get) == inside, "an element is read exactly inside the bounds");
        if (inside)
            check_element(vt, size, value, got);
    }
}

void check_copy(SAFEARRAY* array, const shape_t& shape)
{
    SAFEARRAY* copy = nullptr;
    check(SUCCEEDED(SafeArrayCopy(array, &copy)) && copy, "an array copies");
    check_bounds(copy, shape);
    check(SafeArrayGetElemsize(copy) == SafeArrayGetElemsize(array), "a copy has the same elements");
    check(SUCCEEDED(SafeArrayDestroy(copy)), "a copy is destroyed");
}

void check_locks(SAFEARRAY* array)
{
    check(SUCCEEDED(SafeArrayLock(array)), "an array locks");
    check(SafeArrayDestroy(array) == DISP_E_ARRAYISLOCKED, "a locked array is not destroyed");
    check(SUCCEEDED(SafeArrayUnlock(array)), "a locked array unlocks");
    check(SafeArrayUnlock(array) == E_UNEXPECTED, "an unlocked array does not unlock");
}

void check_redim(fuzz_input_t& input, SAFEARRAY* array, shape_t& shape)
{
    if (shape.bounds.empty())
        return;
    SAFEARRAYBOUND bound{static_cast<ULONG>(input.below(6)), input.take<std::int8_t>()};
    check(SUCCEEDED(SafeArrayRedim(array, &bound)), "an array resizes");
    // The last dimension is the one that changes.
    shape.bounds.back() = bound;
    check_bounds(array, shape);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    const VARTYPE vt = input.below(16) == 0 ? input.take<VARTYPE>() : input.pick(element_types);
    shape_t shape = fuzzed_shape(input);
    SAFEARRAY* array =
        SafeArrayCreate(vt, static_cast<UINT>(shape.bounds.size()), shape.bounds.empty() ? nullptr : shape.bounds.data());
    if (!array) {
        check(shape.bounds.empty() || element_size(vt) == 0, "an array of a plain type is created");
        return 0;
    }
    check(element_size(vt) != 0, "an array is created only of a type that has a size");
    check(SafeArrayGetElemsize(array) == element_size(vt), "an element has the size of its type");
    VARTYPE stored = VT_EMPTY;
    check(SUCCEEDED(SafeArrayGetVartype(array, &stored)) && stored == vt, "an array knows its element type");
    check_bounds(array, shape);
    access_elements(input, array, vt, shape);
    check_copy(array, shape);
    check_locks(array);
    check_redim(input, array, shape);
    access_elements(input, array, vt, shape);
    check(SUCCEEDED(SafeArrayDestroy(array)), "an array is destroyed");
    return 0;
}
