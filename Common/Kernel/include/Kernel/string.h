// The wide string of every name, text and message, a view that accepts null pointers, and the
// conversions and comparisons that the rest of the code needs on both 16-bit and 32-bit wchar_t.
#pragma once

#include "export.h"

#include <string>
#include <string_view>

// Every name, text and message is a wide string; on Windows its code units are UTF-16, elsewhere
// they are UTF-32.
using tstring = std::wstring;

namespace ostra::lux::kernel {

// A wide string view that can be built from a null pointer (a null BSTR is an empty string), so that
// callers never measure a null pointer themselves.
class safe_wstring_view : public std::wstring_view {
public:
    constexpr safe_wstring_view() noexcept = default;
    constexpr safe_wstring_view(const wchar_t* text) noexcept
        : std::wstring_view(text ? std::wstring_view(text) : std::wstring_view())
    {
    }
    constexpr safe_wstring_view(const wchar_t* text, size_type length) noexcept
        : std::wstring_view(text ? std::wstring_view(text, length) : std::wstring_view())
    {
    }
    constexpr safe_wstring_view(std::wstring_view text) noexcept : std::wstring_view(text) {}
    safe_wstring_view(const std::wstring& text) noexcept : std::wstring_view(text) {}
};

// UTF-8 form of a wide text (UTF-16 or UTF-32, whichever wchar_t holds); an unpaired surrogate or a
// value outside Unicode becomes U+FFFD.
KERNEL_API std::string to_utf8(std::wstring_view text);

namespace detail {

// Ordinal comparison in UTF-16 code-unit order, the same on every host: negative, 0 or positive as
// `left` sorts before, equal to or after `right`. With `ignore_case`, letters are compared after a
// simple (one unit to one unit) upper-case mapping of the Latin, Greek, Cyrillic, Armenian and
// full-width Latin letters; nothing is normalised or expanded ("ß" never equals "SS").
KERNEL_API int CompareStringOrdinal(safe_wstring_view left, safe_wstring_view right, bool ignore_case) noexcept;

} // namespace detail
} // namespace ostra::lux::kernel
