// The throw location that an exception of the library carries.
#pragma once

#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>

#include <string>

namespace shell_test {

struct seen_site {
    std::string function;
    std::string file;
    int line = 0;
};

inline seen_site site_of(const boost::exception& e)
{
    seen_site site;
    if (const char* const* function = boost::get_error_info<boost::throw_function>(e))
        site.function = *function;
    if (const char* const* file = boost::get_error_info<boost::throw_file>(e))
        site.file = *file;
    if (const int* line = boost::get_error_info<boost::throw_line>(e))
        site.line = *line;
    return site;
}

} // namespace shell_test
