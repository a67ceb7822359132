// VARIANTs built from fuzz input: every plain type with any bits, texts, a type number with no value,
// by-reference values, and arrays of numbers, texts and VARIANTs with fuzzed bounds.
#pragma once

#include "FuzzInput.h"

#include <memory>

namespace collector::fuzz {

// A VARIANT that clears itself.
struct owned_variant_t : VARIANT {
    owned_variant_t() noexcept { VariantInit(this); }
    ~owned_variant_t() { VariantClear(this); }
    owned_variant_t(const owned_variant_t&) = delete;
    owned_variant_t& operator=(const owned_variant_t&) = delete;
};


// One built VARIANT and what it refers to; a by-reference value points into the object's own
// storage, so the VARIANT is valid while the object lives.
class built_variant_t {
public:
    // `depth` limits the nesting of arrays of VARIANTs; `by_reference` allows a VT_BYREF value (not
    // inside arrays, whose copies would outlive the storage).
    explicit built_variant_t(fuzz_input_t& input, int depth = 2, bool by_reference = true);
    ~built_variant_t();
    built_variant_t(const built_variant_t&) = delete;
    built_variant_t& operator=(const built_variant_t&) = delete;

    VARIANT& get() noexcept { return value_; }
    const VARIANT& get() const noexcept { return value_; }

private:
    VARIANT value_;
    // The plain value that a VT_BYREF value points at.
    std::unique_ptr<VARIANT> target_;
};

// The types VariantChangeType converts between, and a few it refuses.
inline constexpr VARTYPE plain_types[] = {VT_EMPTY, VT_NULL, VT_I1,   VT_UI1, VT_I2,      VT_UI2,   VT_I4,
                                          VT_UI4,   VT_INT,  VT_UINT, VT_I8,  VT_UI8,     VT_R4,    VT_R8,
                                          VT_CY,    VT_DATE, VT_BOOL, VT_ERROR, VT_DECIMAL, VT_BSTR};

// A plain VARIANT of `vt` (one of plain_types) with fuzzed bits or text.
void fill_plain(fuzz_input_t& input, VARTYPE vt, VARIANT& out);

} // namespace collector::fuzz
