// VariantChangeType from fuzzed VARIANTs (any type bits, texts, references, arrays) to every plain
// type, to a byte array, and to a fuzzed type, also in place.
#include "Conversions.h"
#include "VariantBuilder.h"

#include <cstring>

using namespace collector::fuzz;

namespace {

constexpr USHORT flag_choices[] = {0, VARIANT_ALPHABOOL, VARIANT_LOCALBOOL, VARIANT_NOVALUEPROP};

// A conversion of a VARIANT into itself that fails leaves it exactly as it was.
void check_in_place(const VARIANT& source, VARTYPE vt, USHORT flags)
{
    owned_variant_t value;
    if (FAILED(VariantCopy(&value, &source)))
        return;
    const VARIANT before = value;
    if (FAILED(VariantChangeType(&value, &value, flags, vt)))
        check(std::memcmp(&before, &value, sizeof before) == 0, "a failed conversion in place leaves the value as it was");
    else
        check(value.vt == vt, "a conversion in place gives the type asked for");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz_input_t input(data, size);
    const built_variant_t source(input);
    const USHORT flags = input.pick(flag_choices);
    const VARTYPE fuzzed_type = input.take<VARTYPE>();
    const VARIANT before = source.get();

    check_text_round_trip(source.get());
    const auto convert_to = [&](VARTYPE vt) {
        owned_variant_t out;
        if (SUCCEEDED(change_type(source.get(), vt, flags, out))) {
            check_text_round_trip(out);
            check_integer_round_trip(source.get(), out);
        }
        check(std::memcmp(&before, &source.get(), sizeof before) == 0, "a conversion leaves its source alone");
        check_in_place(source.get(), vt, flags);
    };
    for (const VARTYPE vt : plain_types)
        convert_to(vt);
    convert_to(VT_ARRAY | VT_UI1);
    convert_to(fuzzed_type);
    return 0;
}
