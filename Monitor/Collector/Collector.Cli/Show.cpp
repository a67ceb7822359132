// show: the listings of the collector's tasks, hosts, users, resources and record classes, as tables.
#include "Commands.h"
#include "Session.h"
#include "Table.h"
#include "Terminal.h"
#include "Text.h"

#include <fmt/format.h>

#include <functional>
#include <limits>
#include <map>
#include <set>

namespace collector::cli {

namespace {

// A listing: one row per entry, its first field identifying it.
using rows_t = std::vector<fields_t>;

std::string yes_no(bool flag)
{
    return flag ? "yes" : "no";
}

std::string class_names(const shell::Task& task)
{
    std::string names;
    for (const shell::Collection& collection : task)
        names += (names.empty() ? "" : " ") + narrow(collection.ClassName());
    return names;
}

rows_t list_tasks(session_t& session)
{
    rows_t rows;
    for (const shell::Task& task : session.task_pool())
        rows.push_back({{"Id", guid_text(task.GetId())},
                        {"State", narrow(shell::ETaskStateToString(task.GetState()))},
                        {"Host", guid_text(task.GetHostId())},
                        {"User", guid_text(task.GetUserId())},
                        {"Collections", class_names(task)}});
    return rows;
}

rows_t list_hosts(session_t& session)
{
    rows_t rows;
    for (const shell::Host& host : session.collector().GetHostPool())
        rows.push_back({{"Id", guid_text(host.GetId())},
                        {"Name", narrow(host.GetName())},
                        {"Local", yes_no(host.IsLocal())}});
    return rows;
}

rows_t list_users(session_t& session)
{
    rows_t rows;
    for (const shell::User& user : session.collector().GetUserPool())
        rows.push_back({{"Id", guid_text(user.GetId())},
                        {"Name", narrow(user.GetName())},
                        {"Current", yes_no(user.IsCurrent())},
                        {"Password", user.GetPassword() ? "set" : ""}});
    return rows;
}

rows_t list_resources(session_t& session)
{
    rows_t rows;
    for (const shell::Resource& resource : session.collector().GetResourcePool())
        rows.push_back({{"Id", guid_text(resource.GetId())},
                        {"Name", narrow(resource.GetName())},
                        {"Value", to_value(resource.GetResource())}});
    return rows;
}

// The classes of the collections that the collector's tasks hold, each once.
rows_t list_classes(session_t& session)
{
    std::map<std::string, fields_t> classes;
    for (const shell::Task& task : session.task_pool())
        for (const shell::Collection& collection : task) {
            const shell::Class record_class = collection.GetClass();
            const std::string id = guid_text(record_class.GetId());
            classes.try_emplace(id, fields_t{{"Id", id},
                                             {"Name", narrow(record_class.GetName())},
                                             {"Version", narrow(record_class.GetVersion())},
                                             {"Scope", narrow(record_class.GetScope())},
                                             {"Singleton", yes_no(record_class.IsSingleton())}});
        }
    rows_t rows;
    for (auto& [id, row] : classes)
        rows.push_back(std::move(row));
    return rows;
}

void print_listing(const std::string& what, const rows_t& rows, std::string sort_field)
{
    table_t table(std::move(sort_field));
    for (const auto& row : rows)
        table.apply({event_kind_t::added, {row.front()}, fields_t(row.begin() + 1, row.end())});
    const bool terminal = output_is_terminal();
    // A pipe gets every row at full width.
    const std::size_t unlimited = std::numeric_limits<std::size_t>::max() / 2;
    const std::size_t width = terminal ? window_size().columns : unlimited;
    fmt::print("{}", table.render(width, unlimited, fmt::format("{}: {}", what, rows.size()), terminal));
}

} // namespace

int run_show(const show_command_t& command, const options_t& options)
{
    struct listing_t {
        std::function<rows_t(session_t&)> list;
        std::string sort_field;
    };
    const std::map<std::string, listing_t> listings{
        {"tasks", {list_tasks, ""}},       {"hosts", {list_hosts, "Name"}},
        {"users", {list_users, "Name"}},   {"resources", {list_resources, "Name"}},
        {"classes", {list_classes, "Name"}},
    };
    const listing_t& listing = listings.at(command.listing);

    session_t session(options.source);
    // The program's own task follows the default class, so that the task and class listings show
    // what a watch would use.
    session.follow(default_class);
    const rows_t rows = listing.list(session);
    session.stop();
    print_listing(command.listing, rows, listing.sort_field);
    return exit_success;
}

} // namespace collector::cli
