// VarCmp over pairs of fuzzed VARIANTs: the order is antisymmetric and reflexive, and a failure or
// VARCMP_NULL is the same whichever side a value is on, but for the types refused on one side only.
#include "VariantBuilder.h"

#include <cmath>

using namespace collector::fuzz;

namespace {

constexpr LCID locales[] = {LOCALE_USER_DEFAULT, 0};
// 0, and NORM_IGNORECASE, which VarBstrCmp passes on to the text comparison.
constexpr ULONG flag_choices[] = {0, 0x1};

bool is_nan(const VARIANT& v)
{
    return (v.vt == VT_R8 && std::isnan(v.dblVal)) || (v.vt == VT_DATE && std::isnan(v.date)) ||
           (v.vt == VT_R4 && std::isnan(v.fltVal));
}

// INT is accepted on the left only (UINT and UI8 on neither): such a pair answers by side.
bool refused_on_one_side(VARTYPE vt) { return (vt & VT_TYPEMASK) > VT_I8; }

HRESULT reversed(HRESULT order)
{
    switch (order) {
    case VARCMP_LT: return VARCMP_GT;
    case VARCMP_GT: return VARCMP_LT;
    default: return order;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    built_variant_t left(input);
    built_variant_t right(input);
    const LCID lcid = input.pick(locales);
    const ULONG flags = input.pick(flag_choices);

    const HRESULT forward = VarCmp(&left.get(), &right.get(), lcid, flags);
    const HRESULT backward = VarCmp(&right.get(), &left.get(), lcid, flags);
    // NaN is greater than anything, on either side.
    if (!is_nan(left.get()) && !is_nan(right.get()) && !refused_on_one_side(left.get().vt) &&
        !refused_on_one_side(right.get().vt))
        check(backward == reversed(forward), "VarCmp is antisymmetric");
    if (SUCCEEDED(forward))
        check(forward >= VARCMP_LT && forward <= VARCMP_NULL, "VarCmp answers one of its four orders");

    const HRESULT self = VarCmp(&left.get(), &left.get(), lcid, flags);
    if (SUCCEEDED(self) && !is_nan(left.get()))
        check(self == VARCMP_EQ || self == VARCMP_NULL, "a value is equal to itself");
    return 0;
}
