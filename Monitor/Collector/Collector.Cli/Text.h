// Conversions between the program's narrow text (the command line, the output) and the library's wide
// strings. Narrow text is UTF-8, except the command line on Windows, which is in the ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace collector::cli {

// A command-line argument as a wide string.
std::wstring widen(const std::string& text);
// UTF-8 for the output.
std::string narrow(std::wstring_view text);

} // namespace collector::cli
