#include <Kernel/failure.h>

#include <comdef.h>

namespace {

tstring text_of(const _bstr_t& text) { return tstring(ostra::lux::kernel::safe_wstring_view(text, text.length())); }

} // namespace

void WINAPI __exclude__com_raise_error(HRESULT hr, IErrorInfo* info)
{
    const _com_error error(hr, info, false); // owns the reference handed to the raiser
    tstring description = text_of(error.Description());
    if (description.empty())
        description = L"COM call failed";
    throw CHResultException(std::move(description), text_of(error.Source()), hr, info, true) << com_error_info(error);
}
