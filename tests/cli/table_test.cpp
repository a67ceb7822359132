// The live table and the value texts of collector-cli: ordering, fitting to a window, the events'
// effect on rows and counts, and the text and JSON forms of each kind of value.
#include "Table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

namespace cli_test {
namespace {

using namespace collector::cli;

record_event_t process(event_kind_t kind, std::int64_t id, std::string name, std::int64_t threads)
{
    return {kind, {{"ProcessId", id}}, {{"Name", std::move(name)}, {"ThreadCount", threads}}};
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The first column of each row line, between the header and the status line.
std::vector<std::string> first_column(const std::string& text)
{
    auto lines = lines_of(text);
    std::vector<std::string> cells;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        cells.push_back(lines[i].substr(0, lines[i].find(' ')));
    return cells;
}

TEST(CliTable, OrdersRowsByTheSortFieldAsNumbersThenByKey)
{
    table_t by_threads("ThreadCount");
    table_t by_key("");
    for (auto* table : {&by_threads, &by_key}) {
        table->apply(process(event_kind_t::added, 10, "ten", 9));
        table->apply(process(event_kind_t::added, 9, "nine", 10));
        table->apply(process(event_kind_t::added, 100, "hundred", 9));
        table->apply({event_kind_t::added, {{"ProcessId", std::int64_t{2}}}, {{"Name", "no threads"}}});
    }
    // A row without the field comes first; equal values keep the order of their keys.
    EXPECT_EQ(first_column(by_threads.render(200, 50, "", false)), (std::vector<std::string>{"2", "10", "100", "9"}));
    EXPECT_EQ(first_column(by_key.render(200, 50, "", false)), (std::vector<std::string>{"2", "9", "10", "100"}));
}

TEST(CliTable, EventsReplaceAndRemoveRowsAndAreCounted)
{
    table_t table("");
    table.apply(process(event_kind_t::added, 1, "init", 1));
    table.apply(process(event_kind_t::added, 2, "shell", 1));
    table.apply(process(event_kind_t::updated, 1, "init", 4));
    table.apply({event_kind_t::removed, {{"ProcessId", std::int64_t{2}}}, {}});
    // A removal of a row that is not there is counted but changes nothing.
    table.apply({event_kind_t::removed, {{"ProcessId", std::int64_t{3}}}, {}});

    EXPECT_EQ(table.size(), 1u);
    const auto& [added, updated, removed] = table.counts();
    EXPECT_EQ(std::tie(added, updated, removed), std::make_tuple(2u, 1u, 2u));
    EXPECT_EQ(lines_of(table.render(200, 50, "status", false)),
              (std::vector<std::string>{"ProcessId  Name  ThreadCount", "1          init  4", "status"}));
}

TEST(CliTable, FitsTheWindowAndStylesOnlyWhenAsked)
{
    table_t table("");
    for (std::int64_t id = 1; id <= 30; ++id)
        table.apply(process(event_kind_t::added, id, "a-rather-long-executable-name-" + std::to_string(id), id));

    const std::string plain = table.render(24, 10, "30 records, and a status text longer than the window", false);
    const auto lines = lines_of(plain);
    ASSERT_EQ(lines.size(), 10u); // header, eight rows, status
    for (const auto& line : lines) // a character is a UTF-8 byte that does not continue another
        EXPECT_LE(std::ranges::count_if(line, [](unsigned char c) { return (c & 0xC0) != 0x80; }), 24) << line;
    // The second column is cut to the width; the third does not fit at all.
    EXPECT_EQ(lines[0].rfind("ProcessId  Name", 0), 0u);
    EXPECT_EQ(lines[0].find("ThreadCount"), std::string::npos);
    EXPECT_NE(lines[1].find("…"), std::string::npos);
    EXPECT_EQ(plain.find('\x1b'), std::string::npos);

    const std::string styled = table.render(24, 10, "status", true);
    EXPECT_NE(styled.find('\x1b'), std::string::npos);
}

TEST(CliValues, TextAndJsonOfEachKindAndTheTextOfKeys)
{
    using collector::shell::TimePoint;
    // 2024-02-29 13:14:15 UTC, in the ticks of TimePoint.
    const TimePoint leap_day{std::chrono::seconds(1709212455)};
    struct row_t {
        value_t value;
        std::string text;
        nlohmann::ordered_json json;
    };
    const row_t rows[] = {
        {std::monostate{}, "", nullptr},
        {true, "true", true},
        {std::int64_t{-5}, "-5", -5},
        {std::uint64_t{18446744073709551615u}, "18446744073709551615", 18446744073709551615u},
        {0.5, "0.5", 0.5},
        {std::string("bash"), "bash", "bash"},
        {leap_day, "2024-02-29 13:14:15", "2024-02-29T13:14:15Z"},
        {reference_t{"Process", "1"}, "Process 1", {{"class", "Process"}, {"key", "1"}}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(format_value(row.value), row.text);
        EXPECT_EQ(to_json(row.value), row.json) << row.text;
    }
    // A key's text names its fields only when there are several.
    EXPECT_EQ(key_text({{"ProcessId", std::int64_t{42}}}), "42");
    EXPECT_EQ(key_text({{"Host", std::string("alpha")}, {"Port", std::int64_t{80}}}), "Host=alpha,Port=80");
}

} // namespace
} // namespace cli_test
