#include <Kernel/exception.h>
#include <Kernel/logger.h>

#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <algorithm>
#include <mutex>

namespace {

using ostra::lux::kernel::to_utf8;

constexpr int level_off = 6;
constexpr int nesting_limit = 16;

// Gives the thread its last-error value back when a record has been written: file and console writes
// may change it on Windows.
class last_error_guard {
public:
    last_error_guard() noexcept : saved_(GetLastError()) {}
    ~last_error_guard() { RestoreLastError(saved_); }
    last_error_guard(const last_error_guard&) = delete;
    last_error_guard& operator=(const last_error_guard&) = delete;

private:
    DWORD saved_;
};

std::shared_ptr<spdlog::logger> make_logger(spdlog::sink_ptr sink)
{
    auto logger = std::make_shared<spdlog::logger>("kernel", std::move(sink));
    logger->set_pattern("[%Y-%m-%d %H:%M:%S.%e] [%l] [thread %t] %v");
    logger->set_level(spdlog::level::trace); // filtering is the logger's own level
    logger->flush_on(spdlog::level::trace);  // records are rare and must survive a crash
    return logger;
}

std::string reason_of(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const COstraException*>(&e))
        return to_utf8(own->reason());
    return e.what();
}

std::string throw_location_of(const std::exception& e)
{
    const auto* located = dynamic_cast<const boost::exception*>(&e);
    const auto* function = located ? boost::get_error_info<boost::throw_function>(*located) : nullptr;
    const auto* file = located ? boost::get_error_info<boost::throw_file>(*located) : nullptr;
    const auto* line = located ? boost::get_error_info<boost::throw_line>(*located) : nullptr;
    if (!function || !file || !line)
        return {};
    return fmt::format(" | thrown in {} at {}:{}", *function, *file, *line);
}

// The exception that `e` nests, either as nested_exception_info or as std::nested_exception.
std::exception_ptr nested_of(const std::exception& e)
{
    if (const auto* info = dynamic_cast<const boost::exception*>(&e)) {
        if (const auto* nested = boost::get_error_info<nested_exception_info>(*info))
            return *nested;
    }
    if (const auto* nested = dynamic_cast<const std::nested_exception*>(&e))
        return nested->nested_ptr();
    return {};
}

} // namespace

struct COstraLogger::impl {
    std::mutex mutex;
    std::shared_ptr<spdlog::logger> logger = make_logger(std::make_shared<spdlog::sinks::stderr_sink_mt>());

    std::shared_ptr<spdlog::logger> current()
    {
        std::lock_guard lock(mutex);
        return logger;
    }

    void replace(std::shared_ptr<spdlog::logger> next)
    {
        std::lock_guard lock(mutex);
        logger.swap(next);
    }

    void write(int level, std::string_view record)
    {
        current()->log(static_cast<spdlog::level::level_enum>(std::clamp(level, 0, level_off - 1)), "{}", record);
    }
};

COstraLogger& COstraLogger::instance()
{
    static COstraLogger logger;
    return logger;
}

COstraLogger::COstraLogger() : impl_(std::make_unique<impl>()) {}

COstraLogger::~COstraLogger() = default;

void COstraLogger::set_level(int level) noexcept { level_.store(std::clamp(level, 0, level_off)); }

void COstraLogger::to_stderr()
{
    last_error_guard guard;
    impl_->replace(make_logger(std::make_shared<spdlog::sinks::stderr_sink_mt>()));
}

void COstraLogger::to_file(const std::filesystem::path& path)
{
    last_error_guard guard;
    std::shared_ptr<spdlog::logger> logger;
    try {
        logger = make_logger(std::make_shared<spdlog::sinks::basic_file_sink_mt>(path.string()));
    } catch (const spdlog::spdlog_ex&) {
        throw COstraException(ostra::lux::kernel::exception_init, L"Unable to open the log file", path.wstring(), 1);
    }
    impl_->replace(std::move(logger));
}

void COstraLogger::writeImpl(int level, std::wstring_view text)
{
    if (!admits(level))
        return;
    last_error_guard guard;
    impl_->write(level, to_utf8(text));
}

void COstraLogger::writeExceptionImpl(int level, const std::exception& e, const char* function, const char* file,
                                      int line, bool nested, std::wstring_view text)
{
    if (!admits(level))
        return;
    last_error_guard guard;
    const std::string prefix = text.empty() ? std::string() : to_utf8(text) + ": ";
    impl_->write(level, fmt::format("{}{} | caught in {} at {}:{}{}", prefix, reason_of(e), function, file, line,
                                    throw_location_of(e)));
    if (!nested)
        return;
    std::exception_ptr inner = nested_of(e);
    for (int depth = 0; inner && depth < nesting_limit; ++depth) {
        try {
            std::rethrow_exception(inner);
        } catch (const std::exception& cause) {
            impl_->write(level, fmt::format("  caused by: {}{}", reason_of(cause), throw_location_of(cause)));
            inner = nested_of(cause);
        } catch (...) {
            impl_->write(level, "  caused by: an exception of unknown type");
            inner = nullptr;
        }
    }
}
