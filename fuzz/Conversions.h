// VariantChangeType as the targets use it: into a fresh VARIANT, with the properties that every
// successful conversion has.
#pragma once

#include "VariantBuilder.h"

#include <optional>
#include <string>

namespace collector::fuzz {

// Converts `source` to `vt` into `out` (empty beforehand). Checks what holds for any source: a failure
// leaves the destination as it was, a success gives exactly the type asked for.
HRESULT change_type(const VARIANT& source, VARTYPE vt, USHORT flags, owned_variant_t& out);

// The text that VariantChangeType gives a value; nothing when it has none.
std::optional<std::wstring> text_of(const VARIANT& value);

// The end of the dates whose text reads back: the last half second of the year 9999 is written as
// midnight of the year 10000, which no date reaches.
inline constexpr DATE end_of_readable_dates = 2958466 - 0.5 / 86400;

// The date that VarDateFromStr reads from a text; nothing when it reads none.
std::optional<DATE> date_of_text(const std::wstring& text);

// Two texts of dates read as the same date. They may differ: a time of day that rounds to midnight
// is written (as "12:00:00 AM", with the next day's date if it rounded up) although the date read
// back from that text has no time to write.
bool same_date_text(const std::wstring& text, const std::wstring& back);

// For a number or date: its text reads back to a value with the same text, and, for the types whose
// text is exact, to the same value. Values without a text that reads back (NaN, infinities, doubles
// beyond the largest that 15 digits name) are left out.
void check_text_round_trip(const VARIANT& value);

// An integer that converted to another integer type converts back to itself: the integers convert by
// their bits between the signed and unsigned types of one width, and by value, checked, otherwise.
void check_integer_round_trip(const VARIANT& source, const VARIANT& converted);

} // namespace collector::fuzz
