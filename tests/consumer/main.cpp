// A program built against the installed package: it reaches the library's data, the platform's GUID
// text and the kernel's exception through the package's targets alone. Exit code 0 means every check
// held; each failed check prints what it saw.
#include <collector/shell.h>

#include <Kernel/exception.h>

#include <fmt/xchar.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

using namespace collector::shell;

int failures = 0;

void expect_equal(std::wstring_view what, const std::wstring& actual, std::wstring_view expected)
{
    if (actual == expected)
        return;
    ++failures;
    std::fputws(fmt::format(L"{}: got \"{}\", expected \"{}\"\n", what, actual, expected).c_str(), stderr);
}

// The formatter is inline in the installed headers; StringFromGUID2 comes from the platform layer.
void check_guid_text()
{
    expect_equal(L"library's empty GUID", fmt::format(L"{}", EMPTY_GUID), L"{00000000-0000-0000-0000-000000000000}");
    const GUID& collector = Ostra_Lux_Collector_Interfaces::IID_ICollector;
    expect_equal(L"IID_ICollector", fmt::format(L"{:G}", collector), L"{6C1C0439-79EB-4BE9-8A45-DC037C068A6A}");
    expect_equal(L"IID_ICollector without braces", fmt::format(L"{:U}", collector),
                 L"6C1C0439-79EB-4BE9-8A45-DC037C068A6A");
}

// The library throws the kernel's exception type, which a program catches across both libraries.
void check_unknown_source()
{
    try {
        Collector collector(static_cast<ECollectorSource>(99));
        ++failures;
        std::fputws(L"an unknown source created a collector\n", stderr);
    } catch (const COstraException& e) {
        expect_equal(L"unknown source message", e.message(), L"Unknown source: 99");
    }
}

} // namespace

int main()
{
    check_guid_text();
    check_unknown_source();
    return failures == 0 ? 0 : 1;
}
