#include <Kernel/exception.h>

#include <comdef.h>

#include <fmt/xchar.h>

#include <new>
#include <stdexcept>

COstraException::COstraException(ostra::lux::kernel::exception_init_t, tstring message, tstring source, int line)
    : message_(std::move(message)), source_(std::move(source)), line_(line)
{
    compose_what();
}

COstraException::~COstraException() = default;

tstring COstraException::reason() const { return message_; }

bool COstraException::interrupted() const noexcept { return false; }

const char* COstraException::what() const noexcept { return what_.c_str(); }

void COstraException::compose_what()
{
    what_ = ostra::lux::kernel::to_utf8(reason());
    if (!source_.empty())
        what_ += ": " + ostra::lux::kernel::to_utf8(source_);
}

CHResultException::CHResultException(tstring message, tstring source, HRESULT hr, IErrorInfo* info, bool add_ref)
    : COstraException(ostra::lux::kernel::exception_init, std::move(message), std::move(source), 1),
      hr_(hr),
      info_(info, add_ref)
{
    compose_what();
}

CHResultException::~CHResultException() = default;

HRESULT CHResultException::get_hresult() const noexcept { return hr_; }

tstring CHResultException::reason() const
{
    return fmt::format(L"{} (0x{:08X})", message(), static_cast<std::uint32_t>(hr_));
}

CInterruptedException::CInterruptedException()
    : COstraException(ostra::lux::kernel::exception_init, L"Interrupted", L"", 1)
{
}

CInterruptedException::~CInterruptedException() = default;

bool CInterruptedException::interrupted() const noexcept { return true; }

namespace {

// E_BOUNDS, which mingw-w64's headers lack.
constexpr HRESULT out_of_bounds = static_cast<HRESULT>(0x8000000BL);

} // namespace

HRESULT get_hresult(const std::exception& e) noexcept
{
    if (const auto* failed = dynamic_cast<const CHResultException*>(&e))
        return failed->get_hresult();
    if (const auto* info = dynamic_cast<const boost::exception*>(&e)) {
        if (const auto* error = boost::get_error_info<com_error_info>(*info))
            return error->Error();
    }
    if (const auto* own = dynamic_cast<const COstraException*>(&e))
        return own->interrupted() ? E_ABORT : E_FAIL;
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return E_OUTOFMEMORY;
    if (dynamic_cast<const std::invalid_argument*>(&e))
        return E_INVALIDARG;
    if (dynamic_cast<const std::out_of_range*>(&e))
        return out_of_bounds;
    return E_UNEXPECTED;
}
