#include "VariantBuilder.h"

namespace collector::fuzz {

namespace {

constexpr std::size_t longest_text = 48;

// Element types of the arrays built here.
constexpr VARTYPE element_types[] = {VT_UI1, VT_I2, VT_I4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_DECIMAL,
                                     VT_BSTR, VT_BSTR, VT_VARIANT, VT_VARIANT};

BSTR fuzzed_bstr(fuzz_input_t& input)
{
    // One in sixteen is a null BSTR, which every reader takes for "".
    if (input.below(16) == 0)
        return nullptr;
    const std::wstring text = input.text(longest_text);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// Fills the elements of `array` (locked by the caller) one after the other in memory order.
void fill_elements(fuzz_input_t& input, SAFEARRAY& array, VARTYPE vt, int depth)
{
    ULONG count = 1;
    for (USHORT dim = 0; dim < array.cDims; ++dim)
        count *= array.rgsabound[dim].cElements;
    auto* bytes = static_cast<std::uint8_t*>(array.pvData);
    for (ULONG index = 0; index < count; ++index) {
        void* slot = bytes + std::size_t{index} * array.cbElements;
        if (vt == VT_BSTR) {
            *static_cast<BSTR*>(slot) = fuzzed_bstr(input);
        } else if (vt == VT_VARIANT) {
            // An element of a type that VariantCopy refuses stays VT_EMPTY.
            const built_variant_t element(input, depth - 1, false);
            VariantCopy(static_cast<VARIANT*>(slot), &element.get());
        } else {
            for (ULONG b = 0; b < array.cbElements; ++b)
                static_cast<std::uint8_t*>(slot)[b] = input.byte();
        }
    }
}

// An array of one or two dimensions of up to four elements each, with lower bounds anywhere.
SAFEARRAY* fuzzed_array(fuzz_input_t& input, int depth)
{
    VARTYPE vt = input.pick(element_types);
    if (vt == VT_VARIANT && depth <= 0)
        vt = VT_I4;
    SAFEARRAYBOUND bounds[2];
    const UINT dims = 1 + static_cast<UINT>(input.below(4) == 0);
    for (UINT dim = 0; dim < dims; ++dim) {
        bounds[dim].cElements = static_cast<ULONG>(input.below(5));
        // Mostly small, sometimes anywhere up to the end of LONG's range.
        bounds[dim].lLbound = input.below(8) == 0 ? input.take<LONG>() : input.take<std::int8_t>();
    }
    SAFEARRAY* array = SafeArrayCreate(vt, dims, bounds);
    check(array != nullptr, "a small array of a plain type is created");
    void* data = nullptr;
    check(SUCCEEDED(SafeArrayAccessData(array, &data)), "a new array is accessible");
    fill_elements(input, *array, vt, depth);
    SafeArrayUnaccessData(array);
    return array;
}

} // namespace

void fill_plain(fuzz_input_t& input, VARTYPE vt, VARIANT& out)
{
    VariantInit(&out);
    if (vt == VT_DECIMAL)
        out.decVal = input.take<DECIMAL>();
    else if (vt == VT_BSTR)
        out.bstrVal = fuzzed_bstr(input);
    else if (vt != VT_EMPTY && vt != VT_NULL)
        out.llVal = input.take<LONGLONG>();
    // DECIMAL's first field overlaps vt: the type goes in last.
    out.vt = vt;
}

built_variant_t::built_variant_t(fuzz_input_t& input, int depth, bool by_reference)
{
    // VariantInit sets the type alone; a bare type number needs null pointers behind it.
    std::memset(&value_, 0, sizeof value_);
    switch (input.below(10)) {
    case 0: // any type number, no value: every pointer in it is null
        value_.vt = input.take<VARTYPE>();
        break;
    case 1:
        if (by_reference) {
            target_ = std::make_unique<VARIANT>();
            fill_plain(input, input.pick(plain_types), *target_);
            // A reference to a VARIANT, or to the value itself (every member of the union starts at
            // the same address).
            const bool to_variant = input.below(4) == 0;
            value_.vt = VT_BYREF | (to_variant ? VT_VARIANT : target_->vt);
            value_.byref = to_variant ? static_cast<void*>(target_.get())
                         : target_->vt == VT_DECIMAL ? static_cast<void*>(&target_->decVal)
                                                     : static_cast<void*>(&target_->llVal);
            break;
        }
        [[fallthrough]];
    case 2:
        value_.vt = VT_ARRAY | VT_BSTR;
        value_.parray = nullptr;
        if (input.below(8) != 0) {
            value_.parray = fuzzed_array(input, depth);
            VARTYPE element = VT_EMPTY;
            SafeArrayGetVartype(value_.parray, &element);
            value_.vt = VT_ARRAY | element;
        }
        break;
    default:
        fill_plain(input, input.pick(plain_types), value_);
        break;
    }
}

built_variant_t::~built_variant_t()
{
    // A reference frees nothing; its target goes with target_.
    VariantClear(&value_);
    if (target_)
        VariantClear(target_.get());
}

} // namespace collector::fuzz
