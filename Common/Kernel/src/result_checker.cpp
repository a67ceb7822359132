#include <Kernel/failure.h>

__exclude__result_checker_t::__exclude__result_checker_t(const char* function, const char* file, int line,
                                                         std::wstring_view message) noexcept
    : last_error_(GetLastError()),
      function_(function),
      file_(file),
      line_(line),
      message_(message.data()),
      message_length_(message.size())
{
}

__exclude__result_checker_t::~__exclude__result_checker_t() = default;

const void* __exclude__result_checker_t::operator=(const void* result)
{
    if (!result)
        fail(from_last_error());
    return result;
}

DWORD __exclude__result_checker_t::operator=(DWORD result)
{
    if (result != ERROR_SUCCESS)
        fail(HRESULT_FROM_WIN32(result));
    return result;
}

#if defined(_WIN32)
int __exclude__result_checker_t::operator=(int result)
{
    if (result == 0)
        fail(from_last_error());
    return result;
}
#endif

HRESULT __exclude__result_checker_t::operator=(HRESULT result)
{
    if (FAILED(result))
        fail(result);
    return result;
}

HRESULT __exclude__result_checker_t::from_last_error() const noexcept
{
    return last_error_ == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(last_error_);
}

void __exclude__result_checker_t::fail(HRESULT hr) const
{
    tstring message = message_length_ != 0 ? tstring(message_, message_length_) : tstring(L"Call failed");
    ostra::lux::kernel::throw_at(CHResultException(std::move(message), L"", hr, nullptr, false), function_, file_,
                                 line_);
}

void WINAPI __exclude__AtlThrowImpl(HRESULT hr)
{
    throw CHResultException(L"ATL operation failed", L"", hr, nullptr, false);
}
