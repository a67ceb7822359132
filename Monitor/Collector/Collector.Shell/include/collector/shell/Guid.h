// GUIDs in the library's texts: the all-zero GUID and the wide {fmt} formatter that messages and value
// dumps use. "{}" and "{:G}" give the 38-character form with braces, "{:U}" the 36 characters between
// them; any other presentation is a format error.
#pragma once

#include "Export.h"

#include <objbase.h>

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <stdexcept>

namespace collector::shell {

COLLECTOR_SHELL_API extern const GUID EMPTY_GUID;

} // namespace collector::shell

template <>
struct fmt::formatter<GUID, wchar_t> {
    wchar_t presentation = L'G';

    constexpr auto parse(fmt::wformat_parse_context& context)
    {
        auto it = context.begin();
        if (it != context.end() && (*it == L'G' || *it == L'U'))
            presentation = *it++;
        if (it != context.end() && *it != L'}')
            throw fmt::format_error("invalid format");
        return it;
    }

    template <class Context>
    auto format(const GUID& id, Context& context) const
    {
        constexpr int with_braces = 38;
        wchar_t text[with_braces + 1];
        if (StringFromGUID2(id, text, with_braces + 1) != with_braces + 1)
            throw std::runtime_error("GUID to string conversion failed");
        const bool braces = presentation == L'G';
        const wchar_t* first = braces ? text : text + 1;
        return std::copy(first, first + (braces ? with_braces : with_braces - 2), context.out());
    }
};
