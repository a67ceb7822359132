// Throw sites: every exception that the library throws itself names the function, the source file
// (relative to the repository root) and the line that threw it.
#pragma once

#include <collector/shell/Export.h>

#include <Kernel/exception.h>
#include <Kernel/export.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>

namespace collector::shell::detail {

struct throw_site_t {
    const char* function;
    const char* file;
    std::int32_t line;
    // The exception being handled when this one is thrown, if any.
    std::exception_ptr nested;
};

// Throws a copy of `e` located at `site`, carrying the nested exception when there is one.
template <class Exception>
[[noreturn]] void throw_at_site(Exception e, const throw_site_t& site)
{
    if (site.nested)
        e << nested_exception_info(site.nested);
    ostra::lux::kernel::throw_at(std::move(e), site.function, site.file, site.line);
}

// A condition that the library detects itself: a COstraException with `message` and no second text.
[[noreturn]] inline void throw_condition(tstring message, const throw_site_t& site)
{
    throw_at_site(COstraException(ostra::lux::kernel::exception_init, std::move(message), {}, 1), site);
}

} // namespace collector::shell::detail

// The site of the enclosing function at this line.
#define COLLECTOR_THROW_SITE (::collector::shell::detail::throw_site_t{KERNEL_FUNCSIG, __FILE__, __LINE__, {}})
// The site of the enclosing function at a fixed line. The sites whose lines programs see (in the
// library's exceptions and log records) and match give their line here, so that it stays the same
// whatever the layout of the file around them.
#define COLLECTOR_THROW_SITE_AT(line) (::collector::shell::detail::throw_site_t{KERNEL_FUNCSIG, __FILE__, line, {}})
// The same, inside a handler: the exception being handled becomes the nested one.
#define COLLECTOR_NESTED_THROW_SITE \
    (::collector::shell::detail::throw_site_t{KERNEL_FUNCSIG, __FILE__, __LINE__, std::current_exception()})
