// What the library's exceptions carry (the throw location), and error information as a component
// leaves it on the thread.
#pragma once

#include <Kernel/atl.h> // before any ATL header

#include <windows.h>
#include <oleauto.h>

#include <atlbase.h>

#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

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

// Error information with `description`, as CreateErrorInfo makes it.
inline CComPtr<IErrorInfo> error_info(const wchar_t* description)
{
    CComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(description)), S_OK);
    CComPtr<IErrorInfo> info;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    return info;
}

// What a failing component call leaves on the thread.
inline void leave_error_info(const std::wstring& description)
{
    EXPECT_EQ(SetErrorInfo(0, error_info(description.c_str())), S_OK);
}

} // namespace shell_test
