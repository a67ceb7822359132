// The live process reader against a child process that each test starts and ends.
#include "processes.h"
#include "reference/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace reference_test {
namespace {

using collector::reference::CurrentUserName;
using collector::reference::LocalHostName;
using collector::reference::process_t;
using collector::reference::ReadProcesses;
using collector::reference::TerminateProcessById;

std::optional<process_t> find(LONG id)
{
    const auto processes = ReadProcesses();
    const auto found = std::find_if(processes.begin(), processes.end(), [&](const process_t& p) { return p.id == id; });
    if (found == processes.end())
        return std::nullopt;
    return *found;
}

// A process that has just started may not show its final image for a moment (the child runs between
// its creation and the start of its program).
std::optional<process_t> find_started(LONG id, const std::wstring& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (auto process = find(id); process && process->name == name)
            return process;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return find(id);
}

DATE now_utc()
{
    const auto seconds = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return 25569.0 + seconds / 86400.0;
}

TEST(Processes, SnapshotDescribesAChildAndThisProcess)
{
    const DATE before = now_utc();
    child_t child;
    ASSERT_NE(child.Id(), 0);

    const auto seen = find_started(child.Id(), child_t::name);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->parent_id, child_t::OwnId());
    EXPECT_EQ(seen->name, child_t::name);
    EXPECT_EQ(seen->command_line, child_t::command_line);
    EXPECT_GE(seen->thread_count, 1);
    EXPECT_GT(seen->resident_bytes, 0u);
    EXPECT_EQ(seen->user_name, CurrentUserName());
    // The start time is UTC and lies between the test's start and now, within the clock's resolution.
    constexpr DATE one_second = 1.0 / 86400.0;
    EXPECT_GE(seen->start_time, before - one_second);
    EXPECT_LE(seen->start_time, now_utc() + one_second);

    const auto self = find(child_t::OwnId());
    ASSERT_TRUE(self);
    EXPECT_FALSE(self->name.empty());
    EXPECT_FALSE(self->command_line.empty());
    EXPECT_EQ(self->user_name, CurrentUserName());
}

TEST(Processes, TerminateEndsTheChildAndThenFindsNoProcess)
{
    child_t child;
    ASSERT_NE(child.Id(), 0);

    const auto ended = TerminateProcessById(child.Id());
    EXPECT_EQ(ended.hr, S_OK);
    EXPECT_TRUE(ended.text.empty());
    ASSERT_TRUE(child.Reap());
    EXPECT_FALSE(find(child.Id()));

    const auto again = TerminateProcessById(child.Id());
    EXPECT_EQ(again.hr, E_INVALIDARG);
    EXPECT_NE(again.text.find(std::to_wstring(child.Id())), std::wstring::npos);
    EXPECT_EQ(TerminateProcessById(0).hr, E_INVALIDARG);
}

TEST(Processes, HostAndUserNamesAreKnown)
{
    EXPECT_FALSE(LocalHostName().empty());
    EXPECT_FALSE(CurrentUserName().empty());
}

#if !defined(_WIN32)
// A process of another user may not be signalled. The attempt is made by a forked copy of this
// process that gives up its privileges first, and reports through its exit code what it was told.
TEST(Processes, TerminateOfAnotherUsersProcessIsDenied)
{
    child_t child;
    ASSERT_NE(child.Id(), 0);
    const pid_t attempt = fork();
    ASSERT_NE(attempt, -1);
    if (attempt == 0) {
        constexpr uid_t nobody = 65534;
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(2);
        const auto denied = TerminateProcessById(child.Id());
        _exit(denied.hr == E_ACCESSDENIED && !denied.text.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(attempt, &status, 0), attempt);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(find(child.Id()));
}
#endif

}  // namespace
}  // namespace reference_test
