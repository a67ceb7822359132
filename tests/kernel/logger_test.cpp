// The process-wide logger: level filtering, records of exceptions, destinations, the last error.
#include <Kernel/exception.h>
#include <Kernel/logger.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using testing::AllOf;
using testing::HasSubstr;
using testing::Not;

// Each test writes to a file of its own and leaves the logger as it found it.
class Logger : public testing::Test {
protected:
    Logger() { log().to_file(path_); }
    ~Logger() override
    {
        log().set_level(2);
        log().to_stderr();
        std::filesystem::remove(path_);
    }

    static COstraLogger& log() { return COstraLogger::instance(); }
    std::string written() const
    {
        std::ostringstream text;
        text << std::ifstream(path_, std::ios::binary).rdbuf();
        return text.str();
    }

    const std::filesystem::path path_ = std::filesystem::temp_directory_path() /
        ("kernel_logger_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".log");
};

TEST_F(Logger, WritesLevelsFromItsOwnUpAndKeepsTheLastError)
{
    log().set_level(4);
    EXPECT_FALSE(log().admits(3));
    SetLastError(ERROR_INVALID_HANDLE);
    log().writeImpl(3, L"filtered warning");
    log().writeImpl(4, L"kept error");
    log().write(5, L"kept critical {} {}", 7, L"\u00E9");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    log().set_level(6); // off
    log().writeImpl(5, L"silenced");

    EXPECT_THAT(written(), AllOf(HasSubstr("[error] [thread"), HasSubstr("kept error"),
                                 HasSubstr("kept critical 7 \xC3\xA9"), Not(HasSubstr("filtered warning")),
                                 Not(HasSubstr("silenced"))));
}

TEST_F(Logger, RecordsAnExceptionWithItsOriginsAndNestedCauses)
{
    std::exception_ptr cause;
    try {
        ostra::lux::kernel::throw_at(CHResultException(L"Type mismatch", L"", DISP_E_TYPEMISMATCH, nullptr, false),
                                     "to_timepoint", "Common/Kernel/include/Kernel/chrono", 12);
    } catch (...) {
        cause = std::current_exception();
    }
    const COstraException outer = COstraException(ostra::lux::kernel::exception_init, L"Not CIM_DATETIME", L"", 1)
                                  << nested_exception_info(cause);
    log().writeExceptionImpl(3, outer, "raw_RecordAdded", "Collection", 57, true, L"");
    log().writeExceptionImpl(3, std::runtime_error("plain"), "f", "g", 1, false, L"context");
    log().writeExceptionImpl(3, outer, "without nested", "h", 2, false, L"");

    const std::string text = written();
    const std::string outer_record = "Not CIM_DATETIME | caught in raw_RecordAdded at Collection:57";
    const auto at = text.find(outer_record);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(std::string("\r\n").find(text.at(at + outer_record.size())), std::string::npos); // no throw site

    EXPECT_THAT(text, AllOf(HasSubstr("caused by: Type mismatch (0x80020005) | thrown in to_timepoint at "
                                      "Common/Kernel/include/Kernel/chrono:12"),
                            HasSubstr("context: plain | caught in f at g:1")));
    EXPECT_EQ(text.find("caused by", text.find("without nested")), std::string::npos) << text;
}

TEST_F(Logger, DestinationsStandardErrorOrAFileThatOpens)
{
    log().writeImpl(3, L"opened");
    EXPECT_THROW(log().to_file(path_ / "child.log"), COstraException); // no folder where a file is
    log().writeImpl(3, L"still here");
    EXPECT_THAT(written(), HasSubstr("still here"));

    // The console sink takes the stream's handle when it is made (on Windows): make it once captured.
    testing::internal::CaptureStderr();
    log().to_stderr();
    log().writeImpl(3, L"to the console");
    const std::string console = testing::internal::GetCapturedStderr();
    log().to_stderr();
    EXPECT_THAT(console, AllOf(HasSubstr("[warning]"), HasSubstr("to the console")));
    EXPECT_THAT(written(), Not(HasSubstr("to the console")));
}

} // namespace
