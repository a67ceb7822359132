// Text as the UTF-16LE bytes of a Windows string, whatever the size of OLECHAR on this host.
#pragma once

#include <oleauto.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::convert {

std::vector<BYTE> to_utf16_bytes(std::wstring_view text);
// An odd last byte, half a code unit, is dropped.
std::wstring from_utf16_bytes(const BYTE* bytes, std::size_t count);

} // namespace platform::convert
