// The exception types of the kernel and of everything built on it, and the Boost.Exception error
// information that travels with them.
#pragma once

#include "export.h"
#include "string.h"

#include <windows.h>

#include <boost/exception/exception.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/exception/info.hpp>

#include <exception>
#include <string>

class _com_error;

// The exception that was being handled when this one was thrown.
using nested_exception_info = boost::error_info<struct z_nestedexception_, std::exception_ptr>;
// A one-line dump of the value that an operation failed on.
using value_dump_info = boost::error_info<struct errorinfo_sdump_, tstring>;
// The COM error that the exception stands for (attached by the raiser of failed COM calls).
using com_error_info = boost::error_info<struct errinfo_comerror_, _com_error>;

namespace ostra::lux::kernel {

// Selects the constructor of COstraException that takes the texts of a condition.
struct exception_init_t {
    explicit exception_init_t() = default;
};
inline constexpr exception_init_t exception_init{};

namespace detail {

// Owns one counted reference to a COM interface; copies add a reference.
template <class Interface>
class counted_ref {
public:
    counted_ref() noexcept = default;
    counted_ref(Interface* pointer, bool add_ref) noexcept : pointer_(pointer)
    {
        if (pointer_ && add_ref)
            pointer_->AddRef();
    }
    counted_ref(const counted_ref& other) noexcept : counted_ref(other.pointer_, true) {}
    counted_ref& operator=(const counted_ref& other) noexcept
    {
        counted_ref(other).swap(*this);
        return *this;
    }
    ~counted_ref()
    {
        if (pointer_)
            pointer_->Release();
    }
    Interface* get() const noexcept { return pointer_; }
    void swap(counted_ref& other) noexcept { std::swap(pointer_, other.pointer_); }

private:
    Interface* pointer_ = nullptr;
};

} // namespace detail
} // namespace ostra::lux::kernel

// A condition detected by the program itself. It keeps a message, a source text (what the message is
// about, such as a name that was not found or a text that did not parse) and the line of the source
// text concerned (1 for a one-line text). `what` gives the UTF-8 form of `reason`, followed by the
// source text when there is one.
class KERNEL_API COstraException : public virtual std::exception, public virtual boost::exception {
public:
    COstraException(ostra::lux::kernel::exception_init_t, tstring message, tstring source, int line);
    COstraException(const COstraException&) = default;
    ~COstraException() override;

    // The message; derived types add what they know.
    virtual tstring reason() const;
    // True only for the exception that stops an interrupted thread.
    virtual bool interrupted() const noexcept;

    const char* what() const noexcept override;
    const tstring& message() const noexcept { return message_; }
    const tstring& source() const noexcept { return source_; }
    int line() const noexcept { return line_; }

protected:
    // Derived constructors call this last, once `reason` answers for the complete type.
    void compose_what();

private:
    tstring message_;
    tstring source_;
    int line_;
    std::string what_;
};

// A failed HRESULT, with the COM error information that came with it (possibly none).
class KERNEL_API CHResultException : public virtual COstraException {
public:
    // `add_ref` false hands the caller's reference to `info` over to the exception, as _com_error does.
    CHResultException(tstring message, tstring source, HRESULT hr, IErrorInfo* info, bool add_ref);
    CHResultException(const CHResultException&) = default;
    ~CHResultException() override;

    virtual HRESULT get_hresult() const noexcept;
    // The message followed by the HRESULT in hexadecimal.
    tstring reason() const override;
    // Borrowed: valid while the exception lives.
    IErrorInfo* error_info() const noexcept { return info_.get(); }

private:
    HRESULT hr_;
    ostra::lux::kernel::detail::counted_ref<IErrorInfo> info_;
};

// Thrown by interruption_point on a thread whose interruption was requested; a watcher throws it to
// leave its observer.
class KERNEL_API CInterruptedException : public virtual COstraException {
public:
    CInterruptedException();
    CInterruptedException(const CInterruptedException&) = default;
    ~CInterruptedException() override;

    bool interrupted() const noexcept override;
};

// The HRESULT that an exception stands for: a CHResultException's own, else that of the COM error it
// carries, else one chosen by its kind (E_ABORT for an interruption, E_OUTOFMEMORY for bad_alloc,
// E_INVALIDARG for invalid_argument, E_BOUNDS for out_of_range, E_FAIL for any other COstraException,
// E_UNEXPECTED for the rest).
KERNEL_API HRESULT get_hresult(const std::exception& e) noexcept;

namespace ostra::lux::kernel {

// Throws `e` carrying the given function signature, file and line as its throw location.
template <class Exception>
[[noreturn]] void throw_at(Exception e, const char* function, const char* file, int line)
{
    e << boost::throw_function(function) << boost::throw_file(file) << boost::throw_line(line);
    throw e;
}

} // namespace ostra::lux::kernel
