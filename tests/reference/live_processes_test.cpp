// The live record class `Process` while a collection of it runs: nothing is read before one runs; then
// a child process appears among the records with its fields, answers its methods, and goes once ended.
#include "processes.h"
#include "reference_fixture.h"
#include "support/child_process.h"

#include <functional>
#include <optional>

namespace reference_test {
namespace {

using fake::child_process_t;

const Value* field(const Fields& record, std::wstring_view name)
{
    const auto found = std::ranges::find(record, name, &Fields::value_type::first);
    return found == record.end() ? nullptr : &found->second;
}

const _variant_t& scalar(const Fields& record, std::wstring_view name)
{
    static const _variant_t missing;
    const Value* value = field(record, name);
    const auto* plain = value ? std::get_if<_variant_t>(value) : nullptr;
    return plain ? *plain : missing;
}

// The record of process `id`, if the records hold it.
std::optional<Fields> record_of(const std::vector<Fields>& records, LONG id)
{
    const auto process_id = [](const Fields& record) -> const _variant_t& { return scalar(record, L"ProcessId"); };
    const auto found = std::ranges::find(records, _variant_t(id), process_id);
    return found == records.end() ? std::nullopt : std::optional(*found);
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
    return body ? body->body(MethodCall{{}, nullptr}) : MethodOutcome{};
}

class LiveProcesses : public ReferenceTest {
protected:
    // Waits up to ten seconds for the class's records to satisfy `done`.
    bool wait_until(const std::function<bool(const std::vector<Fields>&)>& done) const
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (; std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms))
            if (done(processes.Records()))
                return true;
        return false;
    }

    const RecordClass processes = registration->FindClass(L"Process");
};

TEST_F(LiveProcesses, AChildAppearsWithItsFieldsAndGoesAfterTerminate)
{
    ASSERT_TRUE(processes);
    EXPECT_EQ(processes.Definition().keyFields, std::vector<std::wstring>{L"ProcessId"});
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(processes.Records().empty()) << "read before any collection ran";

    const CComPtr<ICollection> collection = deploy(L"Process");
    EXPECT_EQ(collection->Run(), S_OK);
    const LONG own_id = child_process_t::own_id();
    const DATE before = now_utc();
    child_process_t child(fake::waiting_program);
    std::optional<Fields> seen;
    ASSERT_TRUE(wait_until([&](const std::vector<Fields>& records) {
        seen = record_of(records, child.id());
        return seen && record_of(records, own_id);
    }));
    EXPECT_EQ(std::wstring(scalar(*seen, L"Name").bstrVal), child.name());
    EXPECT_EQ(std::wstring(scalar(*seen, L"CommandLine").bstrVal), child.command_line());
    EXPECT_EQ(scalar(*seen, L"WorkingSetSize").vt, VT_UI8);
    // The start time is UTC, between the test's start and now, give or take the clock's resolution.
    const _variant_t& created = scalar(*seen, L"CreationDate");
    EXPECT_EQ(created.vt, VT_DATE);
    EXPECT_GE(created.date, before - one_second);
    EXPECT_LE(created.date, now_utc() + one_second);
    EXPECT_EQ(std::wstring(scalar(*seen, L"UserName").bstrVal), CurrentUserName());
    // The parent is a reference (which the command-line tests follow), or nothing when it is not visible,
    // as for the first process of the system.
    const Value* parent = field(*seen, L"Parent");
    EXPECT_TRUE(parent && std::holds_alternative<RecordReference>(*parent));
    const auto records = processes.Records();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const Fields& record) {
        const auto* parent = std::get_if<_variant_t>(field(record, L"Parent"));
        return parent && parent->vt == VT_EMPTY;
    }));

    // An outcome of another kind than expected fails the test as an exception.
    const auto owner_outcome = invoke(*seen, L"GetOwner");
    std::vector<std::wstring> owner;
    for (const _variant_t& part : std::get<std::vector<_variant_t>>(owner_outcome))
        owner.emplace_back(_bstr_t(part));
    EXPECT_EQ(owner, (std::vector<std::wstring>{CurrentUserName(), LocalHostName()}));

    EXPECT_TRUE(std::holds_alternative<_variant_t>(invoke(*seen, L"Terminate")));
    EXPECT_NE(child.wait().exit_code, 0);
    EXPECT_TRUE(wait_until([&](const auto& records) { return !record_of(records, child.id()); }));
    const auto again = std::get<MethodFailure>(invoke(*seen, L"Terminate"));
    EXPECT_EQ(again.hr, E_INVALIDARG);
    EXPECT_NE(again.description.find(std::to_wstring(child.id())), std::wstring::npos);

    // Once the collection stops, nothing is read again: a new child stays unseen.
    CComPtr<IUnknown> stopped;
    EXPECT_EQ(collection->Stop(&stopped), S_OK);
    child_process_t unseen(fake::waiting_program);
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(record_of(processes.Records(), unseen.id()));
}

#if !defined(_WIN32)
// A process of another user may not be signalled. The attempt is made by a forked copy of this
// process that gives up its privileges first, and reports through its exit code what it was told.
TEST(ProcessReader, TerminateOfAnotherUsersProcessIsDenied)
{
    child_process_t child(fake::waiting_program);
    const pid_t attempt = fork();
    ASSERT_NE(attempt, -1);
    if (attempt == 0) {
        constexpr uid_t nobody = 65534;
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(2);
        const auto denied = TerminateProcessById(child.id());
        _exit(denied.hr == E_ACCESSDENIED && !denied.text.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(attempt, &status, 0), attempt);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(kill(child.id(), 0), 0) << "the child was ended all the same";
}
#endif

}  // namespace
}  // namespace reference_test
