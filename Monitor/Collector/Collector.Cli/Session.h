// The road that every command takes into the collector: create it for a source, start it, deploy the
// program's task and run it, then follow collections on that task. Stopping undoes it in reverse.
#pragma once

#include <collector/shell.h>

#include <chrono>
#include <memory>
#include <string_view>

namespace collector::cli {

class stop_request_t;

class session_t {
public:
    explicit session_t(shell::ECollectorSource source);
    // Stops what `stop` did not, without reporting failures.
    ~session_t();
    session_t(const session_t&) = delete;
    session_t& operator=(const session_t&) = delete;

    shell::Collector& collector() noexcept { return collector_; }
    shell::TaskPool task_pool() const { return collector_.GetTaskPool(); }

    // Deploys a collection of `class_name` on the program's task and follows it, then subscribes
    // `listener` (when given) before running the collection, so that no record is missed.
    shell::Collection follow(std::wstring_view class_name,
                             const std::shared_ptr<shell::ICollectionListener>& listener = nullptr);

    // Stops the task and the collector; a failure is thrown.
    void stop();

private:
    shell::Collector collector_;
    shell::Task task_;
    bool running_ = false;
};

// The record of `collection` whose key reads as `key` (see key_text), waiting up to `wait` for it to
// appear; throws "No record of that key" when it does not.
shell::Record find_record(const shell::Collection& collection, std::wstring_view key, std::chrono::milliseconds wait,
                          const stop_request_t& stop);

} // namespace collector::cli
