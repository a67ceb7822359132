// The process-wide logger: level filtering, destinations and the thread's last-error value.
#include <Kernel/exception.h>
#include <Kernel/logger.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each test writes to a file of its own and leaves the logger as it found it.
class Logger : public testing::Test {
protected:
    Logger()
    {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                (std::string("kernel_logger_") + test->name() + "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".log");
        std::filesystem::remove(path_);
        log().to_file(path_);
    }
    ~Logger() override
    {
        log().set_level(2);
        log().to_stderr();
        std::filesystem::remove(path_);
    }

    static COstraLogger& log() { return COstraLogger::instance(); }
    std::string written() const { return read_file(path_); }

    std::filesystem::path path_;
};

TEST_F(Logger, WritesOnlyLevelsAtOrAboveItsOwn)
{
    log().set_level(4);
    EXPECT_FALSE(log().admits(3));
    EXPECT_TRUE(log().admits(4));
    log().writeImpl(3, L"filtered warning");
    log().writeImpl(4, L"kept error");
    log().write(5, L"kept critical {} {}", 7, L"\u00E9");
    const std::string text = written();
    EXPECT_EQ(text.find("filtered warning"), std::string::npos);
    EXPECT_NE(text.find("kept error"), std::string::npos);
    EXPECT_NE(text.find("kept critical 7 \xC3\xA9"), std::string::npos);

    log().set_level(6); // off
    log().writeImpl(5, L"silenced");
    EXPECT_EQ(written().find("silenced"), std::string::npos);
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
    const COstraException outer = COstraException(ostra::lux::kernel::exception_init, L"Object is not CIM_DATETIME", L"", 1)
                                  << nested_exception_info(cause);
    log().writeExceptionImpl(3, outer, "raw_RecordAdded", "Monitor/Collector/Collector.Shell/Collection", 57, true, L"");
    log().writeExceptionImpl(3, std::runtime_error("plain"), "f", "g", 1, false, L"context");

    const std::string text = written();
    EXPECT_NE(text.find("Object is not CIM_DATETIME | caught in raw_RecordAdded at "
                        "Monitor/Collector/Collector.Shell/Collection:57"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("caused by: Type mismatch (0x80020005) | thrown in to_timepoint at "
                        "Common/Kernel/include/Kernel/chrono:12"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("context: plain | caught in f at g:1"), std::string::npos) << text;

    // Without `nested` the cause stays out.
    std::filesystem::resize_file(path_, 0);
    log().writeExceptionImpl(3, outer, "f", "g", 1, false, L"");
    EXPECT_EQ(written().find("caused by"), std::string::npos);
}

TEST_F(Logger, LeavesTheLastErrorValueAlone)
{
    SetLastError(ERROR_INVALID_HANDLE);
    log().writeImpl(3, L"record");
    log().writeExceptionImpl(3, std::runtime_error("x"), "f", "g", 1, true, L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_NE(written().find("record"), std::string::npos);
}

TEST_F(Logger, KeepsItsDestinationWhenAFileCannotBeOpened)
{
    log().writeImpl(3, L"opened");
    const auto under_a_file = path_ / "child.log"; // a folder cannot be made where a file is
    EXPECT_THROW(log().to_file(under_a_file), COstraException);
    log().writeImpl(3, L"still here");
    EXPECT_NE(written().find("still here"), std::string::npos);
}

TEST_F(Logger, WritesToStandardErrorByDefault)
{
    log().to_stderr();
    testing::internal::CaptureStderr();
    log().writeImpl(3, L"to the console");
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_NE(text.find("[warning]"), std::string::npos) << text;
    EXPECT_NE(text.find("to the console"), std::string::npos) << text;
    EXPECT_EQ(written().find("to the console"), std::string::npos);
}

TEST_F(Logger, ConcurrentWritersLoseNoRecord)
{
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                log().write(3, L"writer {} record {}", t, i);
        });
    for (auto& writer : writers)
        writer.join();
    const std::string text = written();
    for (int t = 0; t < 4; ++t)
        EXPECT_NE(text.find("writer " + std::to_string(t) + " record 49"), std::string::npos);
}

} // namespace
