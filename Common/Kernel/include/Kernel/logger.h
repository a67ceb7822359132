// The process-wide logger. Levels are 0 trace, 1 debug, 2 info, 3 warning, 4 error, 5 critical and
// 6 off; a record is written when its level is at least the logger's level (2 at start). Callers test
// `level()` before building a record, so that filtered records cost nothing. Records go to the
// standard error stream unless a file was chosen; writing one never changes the thread's last-error
// value.
#pragma once

#include "export.h"
#include "string.h"

#include <fmt/xchar.h>

#include <atomic>
#include <exception>
#include <filesystem>
#include <memory>
#include <string_view>

class KERNEL_API COstraLogger {
public:
    static COstraLogger& instance();

    COstraLogger(const COstraLogger&) = delete;
    COstraLogger& operator=(const COstraLogger&) = delete;

    int level() const noexcept { return level_.load(std::memory_order_relaxed); }
    void set_level(int level) noexcept;
    bool admits(int level) const noexcept { return level >= this->level(); }

    // Records go to the standard error stream from now on.
    void to_stderr();
    // Records are appended to `path` from now on; a file that cannot be opened throws COstraException
    // and leaves the destination as it was.
    void to_file(const std::filesystem::path& path);

    // One record with the given text.
    void writeImpl(int level, std::wstring_view text);
    // One record for an exception: `text` (if any), the exception's reason, where it was caught
    // (`function`, `file`, `line`) and where it was thrown (when it carries its throw location); with
    // `nested`, one more record per exception that it nests, innermost last.
    void writeExceptionImpl(int level, const std::exception& e, const char* function, const char* file, int line,
                            bool nested, std::wstring_view text);

    template <class... Args>
    void write(int level, fmt::wformat_string<Args...> format, Args&&... args)
    {
        if (admits(level))
            writeImpl(level, fmt::format(format, std::forward<Args>(args)...));
    }

private:
    struct impl;

    COstraLogger();
    ~COstraLogger();

    std::unique_ptr<impl> impl_;
    std::atomic<int> level_{2};
};
