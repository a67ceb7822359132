// The text form of a resource pool, which Load, Merge and Save read and write.
//
// One resource per line: its name, a tab, the type of its value, a tab, the value.
//
//     Greeting<TAB>text<TAB>Hello, world\n
//     Retries<TAB>i4<TAB>3
//
// Types: empty (no value text), bool (true or false), i4 and i8 (decimal integers), r8 (the shortest
// decimal text that reads back to the same double), text. In names and texts a backslash starts an
// escape: \\ \t \n \r, and \u{hex} for any other character below U+0020 or above U+007E, so that the file
// is plain ASCII. Empty lines and lines that start with # are skipped.
#pragma once

#include "base.h"

#include <filesystem>
#include <string>
#include <vector>

namespace collector::reference::detail {

// The failures of the resource pool that have Windows error codes of their own (which not every build's
// headers name).
inline constexpr HRESULT invalid_resource_text = HRESULT_FROM_WIN32(13);      // ERROR_INVALID_DATA
inline constexpr HRESULT unwritable_resource_file = HRESULT_FROM_WIN32(29);   // ERROR_WRITE_FAULT
inline constexpr HRESULT resource_name_taken = HRESULT_FROM_WIN32(183);       // ERROR_ALREADY_EXISTS

struct resource_entry_t {
    std::wstring name;
    _variant_t value;
};

// Whether a value of this type can be kept in a resource (and so in the text form).
bool is_storable(VARTYPE type);

std::string format_resources(const std::vector<resource_entry_t>& entries);

// The entries of a text in their order. A malformed line or a name given twice fails with
// invalid_resource_text and names the line.
std::vector<resource_entry_t> parse_resources(const std::string& text);

// Whole-file reads and writes; a file that cannot be read or written fails with the system's reason.
std::string read_text_file(const std::filesystem::path& path);
void write_text_file(const std::filesystem::path& path, const std::string& text);

}  // namespace collector::reference::detail
