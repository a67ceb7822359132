// The live record class `Process` while a collection of it runs: nothing is read before one runs; then
// a child process appears among the records with its fields, answers its methods, and goes once ended.
#include "processes.h"
#include "support/fake_class_factory.h"

#include <collector/reference.h>

#include <atlbase.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#if !defined(_WIN32)
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace reference_test {
namespace {

using namespace collector::reference;
using namespace Ostra_Lux_Collector_Interfaces;
using namespace std::chrono_literals;

// A child that waits until it is ended: `sleep` elsewhere than Windows, a command interpreter that
// reads an input pipe nobody writes to on Windows. Ended and reaped when the test leaves it.
class child_t {
public:
#if defined(_WIN32)
    static constexpr const wchar_t* name = L"cmd.exe";
    static constexpr const wchar_t* command_line = L"cmd.exe /q /k";

    child_t()
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE read_end = nullptr;
        if (!CreatePipe(&read_end, &input_, &inherit, 0))
            return;
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = read_end;
        std::wstring text = command_line;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, text.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = static_cast<LONG>(info.dwProcessId);
        }
        CloseHandle(read_end);
    }
    ~child_t()
    {
        if (process_) {
            TerminateProcess(process_, 1);
            Reap();
            CloseHandle(process_);
        }
        if (input_)
            CloseHandle(input_);
    }
    // Waits for the child's end; true when it ended.
    bool Reap() { return WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0; }
    static LONG OwnId() { return static_cast<LONG>(GetCurrentProcessId()); }

private:
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
#else
    static constexpr const wchar_t* name = L"sleep";
    static constexpr const wchar_t* command_line = L"sleep 60";

    child_t()
    {
        char program[] = "sleep";
        char seconds[] = "60";
        char* arguments[] = {program, seconds, nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sleep", nullptr, nullptr, arguments, environ) == 0)
            id_ = pid;
    }
    ~child_t()
    {
        if (id_ && !reaped_) {
            kill(id_, SIGKILL);
            Reap();
        }
    }
    bool Reap()
    {
        int status = 0;
        reaped_ = waitpid(id_, &status, 0) == id_;
        return reaped_;
    }
    static LONG OwnId() { return static_cast<LONG>(getpid()); }

private:
    bool reaped_ = false;
#endif
public:
    LONG Id() const { return id_; }

private:
    LONG id_ = 0;
};

// A collection of class `name`, deployed on a new task of a new collector, running while it lives.
class running_t {
public:
    explicit running_t(const wchar_t* name)
    {
        CComPtr<IUnknown> pool, task, collection;
        EXPECT_EQ(CoCreateInstance(CLSID_ArborVcfCollector, nullptr, CLSCTX_INPROC_SERVER, IID_ICollector,
                                   reinterpret_cast<void**>(&collector_)),
                  S_OK);
        EXPECT_EQ(collector_->GetTaskPool(&pool), S_OK);
        EXPECT_EQ(CComQIPtr<ITaskPool>(pool)->Deploy(CComBSTR(L"live"), nullptr, nullptr, 0, &task), S_OK);
        EXPECT_EQ(CComQIPtr<ITask>(task)->Deploy(CComBSTR(name), &collection), S_OK);
        collection_ = collection;
        EXPECT_EQ(collection_->Run(), S_OK);
    }
    ~running_t()
    {
        CComPtr<IUnknown> ignored;
        EXPECT_EQ(collection_->Stop(&ignored), S_OK);
        collection_.Release();
        collector_->Shutdown();
    }

private:
    CComPtr<ICollector> collector_;
    CComQIPtr<ICollection> collection_;
};

// Waits up to ten seconds for the class's records to satisfy `done`.
bool wait_until(const RecordClass& records, const std::function<bool(const std::vector<Fields>&)>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (; std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms))
        if (done(records.Records()))
            return true;
    return false;
}

const Value* field(const Fields& record, std::wstring_view name)
{
    for (const auto& [field_name, value] : record)
        if (field_name == name)
            return &value;
    return nullptr;
}

const _variant_t& scalar(const Fields& record, std::wstring_view name)
{
    static const _variant_t missing;
    const Value* value = field(record, name);
    const auto* plain = value ? std::get_if<_variant_t>(value) : nullptr;
    return plain ? *plain : missing;
}

// The record of process `id` (with that name, when one is given), if the records hold it.
std::optional<Fields> record_of(const std::vector<Fields>& records, LONG id, const wchar_t* name = nullptr)
{
    for (const Fields& record : records) {
        const _variant_t& process_id = scalar(record, L"ProcessId");
        const _variant_t& process_name = scalar(record, L"Name");
        if (process_id.vt == VT_I4 && process_id.lVal == id &&
            (!name || (process_name.vt == VT_BSTR && process_name.bstrVal == std::wstring(name))))
            return record;
    }
    return std::nullopt;
}

constexpr DATE one_second = 1.0 / 86400;

DATE now_utc()
{
    const auto seconds = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return 25569.0 + seconds / 86400;
}

MethodOutcome invoke(const Fields& record, std::wstring_view method)
{
    const auto* body = std::get_if<MethodValue>(field(record, method));
    EXPECT_TRUE(body) << "no method field";
    const std::map<std::wstring, _variant_t> none;
    return body ? body->body(MethodCall{none, nullptr}) : MethodOutcome{};
}

class LiveProcesses : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(Registration::LiveObjects(), live_before); }

    fake::Apartment apartment;
    Registration registration{Options{50ms}};
    const long live_before = Registration::LiveObjects();
    const RecordClass processes = registration.FindClass(L"Process");
};

TEST_F(LiveProcesses, AChildAppearsWithItsFieldsAndGoesAfterTerminate)
{
    ASSERT_TRUE(processes);
    EXPECT_EQ(processes.Definition().keyFields, std::vector<std::wstring>{L"ProcessId"});
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(processes.Records().empty()) << "read before any collection ran";

    std::optional<running_t> running(std::in_place, L"Process");
    const LONG own_id = child_t::OwnId();
    const DATE before = now_utc();
    child_t child;
    ASSERT_NE(child.Id(), 0);
    std::optional<Fields> seen;
    ASSERT_TRUE(wait_until(processes, [&](const std::vector<Fields>& records) {
        seen = record_of(records, child.Id(), child_t::name);
        return seen && record_of(records, own_id);
    }));
    EXPECT_EQ(std::wstring(scalar(*seen, L"CommandLine").bstrVal), child_t::command_line);
    EXPECT_EQ(LONG(scalar(*seen, L"ParentProcessId")), own_id);
    EXPECT_EQ(scalar(*seen, L"WorkingSetSize").vt, VT_UI8);
    // The start time is UTC, between the test's start and now, give or take the clock's resolution.
    const _variant_t& created = scalar(*seen, L"CreationDate");
    EXPECT_EQ(created.vt, VT_DATE);
    EXPECT_GE(created.date, before - one_second);
    EXPECT_LE(created.date, now_utc() + one_second);
    EXPECT_GE(LONG(scalar(*seen, L"ThreadCount")), 1);
    EXPECT_EQ(std::wstring(scalar(*seen, L"UserName").bstrVal), CurrentUserName());
    const auto* parent = std::get_if<RecordReference>(field(*seen, L"Parent"));
    ASSERT_TRUE(parent);
    EXPECT_TRUE(IsEqualGUID(parent->classId, processes.Definition().id));
    ASSERT_EQ(parent->key.size(), 1u);
    EXPECT_EQ(parent->key[0].first, L"ProcessId");
    EXPECT_EQ(LONG(parent->key[0].second), own_id);

    const auto owner = invoke(*seen, L"GetOwner");
    const auto* list = std::get_if<std::vector<_variant_t>>(&owner);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ(std::wstring((*list)[0].bstrVal), CurrentUserName());
    EXPECT_EQ(std::wstring((*list)[1].bstrVal), LocalHostName());

    EXPECT_TRUE(std::holds_alternative<_variant_t>(invoke(*seen, L"Terminate")));
    ASSERT_TRUE(child.Reap());
    EXPECT_TRUE(wait_until(processes, [&](const auto& records) { return !record_of(records, child.Id()); }));
    const auto again = invoke(*seen, L"Terminate");
    const auto* failure = std::get_if<MethodFailure>(&again);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->hr, E_INVALIDARG);
    EXPECT_NE(failure->description.find(std::to_wstring(child.Id())), std::wstring::npos);

    // Once the collection stops, nothing is read again: a new child stays unseen.
    running.reset();
    child_t unseen;
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(record_of(processes.Records(), unseen.Id()));
}

TEST_F(LiveProcesses, AProcessWhoseParentIsNotVisibleHasAnEmptyParent)
{
    running_t running(L"Process");
    // The first process of the system has no visible parent.
    EXPECT_TRUE(wait_until(processes, [](const std::vector<Fields>& records) {
        return std::any_of(records.begin(), records.end(), [](const Fields& record) {
            const Value* parent = field(record, L"Parent");
            return parent && std::holds_alternative<_variant_t>(*parent) &&
                   std::get<_variant_t>(*parent).vt == VT_EMPTY;
        });
    }));
}

#if !defined(_WIN32)
// A process of another user may not be signalled. The attempt is made by a forked copy of this
// process that gives up its privileges first, and reports through its exit code what it was told.
TEST(ProcessReader, TerminateOfAnotherUsersProcessIsDenied)
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
    EXPECT_EQ(kill(child.Id(), 0), 0) << "the child was ended all the same";
}
#endif

}  // namespace
}  // namespace reference_test
