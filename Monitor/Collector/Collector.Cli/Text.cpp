#include "Text.h"

#include <Kernel/string.h>

#include <comdef.h>

namespace collector::cli {

std::wstring widen(const std::string& text)
{
    // The compiler's COM support converts from the narrow text of the platform's command line.
    const _bstr_t wide(text.c_str());
    return std::wstring(ostra::lux::kernel::safe_wstring_view(wide, wide.length()));
}

std::string narrow(std::wstring_view text)
{
    return ostra::lux::kernel::to_utf8(text);
}

} // namespace collector::cli
