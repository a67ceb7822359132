// collector-cli run as a user runs it, in its own process: its command-line conventions, and its
// commands against this machine's processes, with a child process that each test starts and ends.
#include "support/child_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>
#include <sstream>

namespace cli_test {
namespace {

using fake::child_process_t;
using fake::outcome_t;
using fake::run;

const std::string program = "collector-cli";
// Long enough for a slow build (sanitizers, Wine) to start and see a refresh or two.
constexpr std::chrono::seconds patience{60};

// The complete lines of `text` (a process ended from outside may leave half a line), each parsed.
std::vector<nlohmann::json> json_lines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream stream(text.substr(0, text.rfind('\n') + 1));
    for (std::string line; std::getline(stream, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

// What a run prints, when a test fails.
std::string shown(const outcome_t& outcome)
{
    return "exit " + std::to_string(outcome.exit_code) + "\nstdout:\n" + outcome.out + "\nstderr:\n" + outcome.err;
}

// Usage errors exit with 2; failures exit with 1 and the library's message after the program's name.
// Either says why on standard error only, and nothing escapes as an exception.
TEST(CliProgram, ErrorsExitWithTheirCodeAndSayWhy)
{
    const struct {
        std::vector<std::string> arguments;
        int exit_code;
        std::string message;
    } rows[] = {
        {{}, 2, ""},
        {{"watch", "--seconds", "-1"}, 2, ""},
        {{"watch", "--seconds", "soon"}, 2, ""},
        {{"show", "planets"}, 2, ""},
        {{"--source", "nowhere", "watch"}, 2, ""},
        {{"--log-level", "loud", "watch"}, 2, ""},
        {{"record", "Process"}, 2, ""},
        {{"call", "Process", "1"}, 2, ""},
        {{"call", "Process", "1", "GetOwner", "novalue"}, 2, ""},
        {{"--wait", "0.5", "record", "Process", "-7"}, 1, "collector-cli: No record with that key"},
        {{"call", "Process", std::to_string(child_process_t::own_id()), "Fly"}, 1, "collector-cli: No such method"},
        {{"watch", "NoSuchClass", "--seconds", "1"}, 1, "collector-cli: "},
    };
    for (const auto& row : rows) {
        const outcome_t outcome = run(program, row.arguments);
        EXPECT_EQ(outcome.exit_code, row.exit_code) << shown(outcome);
        EXPECT_FALSE(outcome.err.empty()) << shown(outcome);
        EXPECT_EQ(outcome.err.rfind(row.message, 0), 0u) << shown(outcome);
        EXPECT_TRUE(outcome.out.empty()) << shown(outcome);
    }
}

TEST(CliProgram, HelpAndVersionAnswerOnStandardOutput)
{
    const outcome_t help = run(program, {"--help"});
    EXPECT_EQ(help.exit_code, 0) << shown(help);
    for (const char* command : {"watch", "show", "record", "call", "--source", "--log-level"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;

    const outcome_t version = run(program, {"--version"});
    EXPECT_EQ(version.exit_code, 0) << shown(version);
    EXPECT_EQ(version.out, std::string(COLLECTOR_CLI_VERSION) + "\n");
}

// The JSON events of a watch, from the child's start to its end: the child is added with its id, name
// and parent (this test), then removed. On a platform where Ctrl-C can be sent, the watch is stopped
// with it and must end cleanly; elsewhere it is ended from outside.
TEST(CliProgram, WatchJsonFollowsAChildProcessFromStartToEnd)
{
    child_process_t watch(program, {"watch", "--json", "--seconds", "90"});
    // The watch's first batch holds every process; the child started after it is an addition.
    ASSERT_TRUE(watch.wait_for_output("\"kind\":\"added\"", patience));
    auto child = std::make_unique<child_process_t>(fake::waiting_program);
    const std::string child_key = "{\"ProcessId\":" + std::to_string(child->id()) + "}";
    ASSERT_TRUE(watch.wait_for_output("\"key\":" + child_key, patience));
    child.reset(); // ends the child
    const std::string removed = "{\"kind\":\"removed\",\"class\":\"Process\",\"key\":" + child_key + ",\"fields\":{}}";
    ASSERT_TRUE(watch.wait_for_output(removed, patience));
    const bool interrupted = watch.interrupt();
    if (!interrupted)
        watch.kill();
    const outcome_t outcome = watch.wait();
    if (interrupted) {
        EXPECT_EQ(outcome.exit_code, 0) << shown(outcome);
        EXPECT_EQ(outcome.err, "");
    }

    bool added = false;
    for (const auto& event : json_lines(outcome.out)) {
        ASSERT_EQ(event["class"], "Process");
        ASSERT_TRUE(event["key"].contains("ProcessId")) << event;
        if (event["kind"] != "added" || event["key"].dump() != child_key)
            continue;
        added = true;
        const auto& fields = event["fields"];
        EXPECT_EQ(fields["Name"].get<std::string>().rfind(fake::waiting_program, 0), 0u) << fields;
        EXPECT_EQ(fields["ParentProcessId"], child_process_t::own_id()) << fields;
        EXPECT_EQ(fields["Parent"]["key"], std::to_string(child_process_t::own_id())) << fields;
        EXPECT_GT(fields["ThreadCount"].get<int>(), 0) << fields;
    }
    EXPECT_TRUE(added) << outcome.out;
}

// record and call on the child: its fields, its parent followed, its methods; GetOwner's result list;
// Terminate ends it.
TEST(CliProgram, RecordAndCallReachTheChild)
{
    child_process_t child(fake::waiting_program, {});
    const std::string pid = std::to_string(child.id());

    const outcome_t record = run(program, {"record", "--json", "Process", pid});
    ASSERT_EQ(record.exit_code, 0) << shown(record);
    const auto shown_record = nlohmann::json::parse(record.out);
    EXPECT_EQ(shown_record["key"]["ProcessId"], child.id());
    EXPECT_EQ(shown_record["references"]["Parent"]["key"], std::to_string(child_process_t::own_id()));
    EXPECT_EQ(shown_record["references"]["Parent"]["fields"]["ProcessId"], child_process_t::own_id());
    EXPECT_EQ(shown_record["methods"], (nlohmann::json{"Terminate", "GetOwner"}));

    const outcome_t text = run(program, {"record", "Process", pid});
    ASSERT_EQ(text.exit_code, 0) << shown(text);
    EXPECT_EQ(text.out.rfind("Process " + pid + "\n", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("  Parent -> Process " + std::to_string(child_process_t::own_id())), std::string::npos) << text.out;

    const outcome_t owner = run(program, {"call", "Process", pid, "GetOwner"});
    ASSERT_EQ(owner.exit_code, 0) << shown(owner);
    EXPECT_TRUE(std::regex_match(owner.out, std::regex("[^\n]+\n[^\n]+\n"))) << "not a user and a host: " << owner.out;

    const outcome_t terminate = run(program, {"call", "Process", pid, "Terminate"});
    ASSERT_EQ(terminate.exit_code, 0) << shown(terminate);
    EXPECT_NE(child.wait().exit_code, 0);
}

// Output to a pipe: plain event lines and a summary, no escape sequence; Ctrl-C stops it cleanly.
TEST(CliProgram, WatchOnAPipeIsPlainText)
{
    child_process_t watch(program, {"watch", "--seconds", "90"});
    ASSERT_TRUE(watch.wait_for_output("added " + std::to_string(child_process_t::own_id()) + " ", patience));
    if (!watch.interrupt())
        watch.kill();
    const outcome_t outcome = watch.wait();
    EXPECT_EQ(outcome.out.find('\x1b'), std::string::npos);
    const outcome_t hosts = run(program, {"show", "hosts"});
    EXPECT_EQ(hosts.exit_code, 0) << shown(hosts);
    EXPECT_EQ(hosts.out.find('\x1b'), std::string::npos);
    EXPECT_NE(hosts.out.find("hosts: 1"), std::string::npos) << hosts.out;
#if !defined(_WIN32)
    EXPECT_EQ(outcome.exit_code, 0) << shown(outcome);
    EXPECT_NE(outcome.out.find("Process: "), std::string::npos) << outcome.out;
#endif
}

} // namespace
} // namespace cli_test
