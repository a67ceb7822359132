// watch: follows a collection and shows its records live, as a refreshing table on a terminal, as one
// line per event on a pipe, or as one JSON object per event.
#include "Commands.h"
#include "Session.h"
#include "Snapshot.h"
#include "Table.h"
#include "Terminal.h"
#include "Text.h"

#include <fmt/format.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace collector::cli {

namespace {

using clock_t = std::chrono::steady_clock;

// Receives the collection's events on the component's threads, reads each record there, and hands
// the snapshots to the program's thread.
class event_queue_t final : public shell::ICollectionListener {
public:
    void RecordAdded(shell::Record record) override { push_record(event_kind_t::added, record); }
    void RecordUpdated(shell::Record record) override { push_record(event_kind_t::updated, record); }
    void RecordRemoved(shell::Key key) override { push({event_kind_t::removed, read_key(key), {}}); }

    // The events received so far, waiting up to `wait` for the first.
    std::vector<record_event_t> take(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, wait, [this] { return !events_.empty(); });
        return std::exchange(events_, {});
    }

private:
    void push_record(event_kind_t kind, const shell::Record& record)
    {
        record_snapshot_t snapshot = read_record(record);
        push({kind, std::move(snapshot.key), std::move(snapshot.fields)});
    }

    void push(record_event_t event)
    {
        {
            const std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        ready_.notify_one();
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<record_event_t> events_;
};

struct status_t {
    std::string class_name;
    std::string state;
    std::chrono::seconds elapsed;
};

// One way of showing the events.
class view_t {
public:
    virtual ~view_t() = default;
    virtual void show(const record_event_t& event) = 0;
    // Called between batches of events, at least every tenth of a second.
    virtual void refresh(const status_t&) {}
    virtual void finish(const status_t&) {}
};

class json_view_t final : public view_t {
public:
    explicit json_view_t(std::string class_name) : class_name_(std::move(class_name)) {}

    void show(const record_event_t& event) override
    {
        const nlohmann::ordered_json line{{"kind", to_string(event.kind)},
                                  {"class", class_name_},
                                  {"key", to_json(event.key)},
                                  {"fields", to_json(event.fields)}};
        fmt::print("{}\n", line.dump());
        std::fflush(stdout);
    }

private:
    std::string class_name_;
};

// Counts of the events seen, for the summary and the status line.
std::string counts_text(const table_t& table)
{
    const auto& counts = table.counts();
    return fmt::format("{} records  +{} ~{} -{}", table.size(), counts.added, counts.updated, counts.removed);
}

// On a pipe: one plain line per event, a summary at the end.
class line_view_t final : public view_t {
public:
    void show(const record_event_t& event) override
    {
        table_.apply(event);
        std::string line = fmt::format("{} {}", to_string(event.kind), key_text(event.key));
        for (const auto& field : event.fields)
            line += fmt::format(" {}={}", field.name, format_value(field.value));
        fmt::print("{}\n", line);
        std::fflush(stdout);
    }

    void finish(const status_t& status) override
    {
        fmt::print("{}: {}, collection {}\n", status.class_name, counts_text(table_), status.state);
    }

private:
    table_t table_{""};
};

// On a terminal: the table, redrawn when it changed, at most a few times a second.
class table_view_t final : public view_t {
public:
    explicit table_view_t(std::string sort_field) : table_(std::move(sort_field)) {}

    void show(const record_event_t& event) override
    {
        table_.apply(event);
        changed_ = true;
    }

    void refresh(const status_t& status) override
    {
        const auto now = clock_t::now();
        if ((changed_ && now - drawn_ >= redraw_period) || now - drawn_ >= std::chrono::seconds(1))
            draw(status, "  Ctrl-C stops");
    }

    // The last frame stays on the screen.
    void finish(const status_t& status) override { draw(status, ""); }

private:
    static constexpr std::chrono::milliseconds redraw_period{250};

    void draw(const status_t& status, std::string_view hint)
    {
        const window_size_t window = window_size();
        const std::string line = fmt::format("{}: {}  {}  {} s{}", status.class_name, counts_text(table_),
                                             status.state, status.elapsed.count(), hint);
        fmt::print("{}{}", clear_screen, table_.render(window.columns, window.rows - 1, line, true));
        std::fflush(stdout);
        drawn_ = clock_t::now();
        changed_ = false;
    }

    table_t table_;
    bool changed_ = true;
    clock_t::time_point drawn_{};
};

std::unique_ptr<view_t> make_view(const watch_command_t& command, std::string class_name)
{
    if (command.json)
        return std::make_unique<json_view_t>(std::move(class_name));
    if (output_is_terminal())
        return std::make_unique<table_view_t>(narrow(command.sort_field));
    return std::make_unique<line_view_t>();
}

} // namespace

int run_watch(const watch_command_t& command, const options_t& options, const stop_request_t& stop)
{
    session_t session(options.source);
    const auto events = std::make_shared<event_queue_t>();
    shell::Collection collection = session.follow(command.class_name, events);
    const auto view = make_view(command, narrow(collection.ClassName()));

    const auto started = clock_t::now();
    const auto status = [&] {
        return status_t{narrow(collection.ClassName()),
                        narrow(shell::ECollectionStateToString(collection.GetState())),
                        std::chrono::duration_cast<std::chrono::seconds>(clock_t::now() - started)};
    };
    const auto ended = [&] {
        const auto elapsed = clock_t::now() - started;
        return stop.requested() || (command.seconds && elapsed >= std::chrono::duration<double>(*command.seconds));
    };
    while (!ended()) {
        for (const auto& event : events->take(std::chrono::milliseconds(100)))
            view->show(event);
        view->refresh(status());
    }

    collection.Unsubscribe();
    collection.Stop();
    const status_t last = status();
    session.stop();
    view->finish(last);
    return exit_success;
}

} // namespace collector::cli
