// Lines that fakes, listeners and watchers write from any thread, in the order they arrived, for a test
// to wait for.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fake {

class Journal {
public:
    void Write(std::wstring line)
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        writers_.push_back(std::this_thread::get_id());
        arrived_.notify_all();
    }
    // The lines, once at least `count` arrived (fewer after five seconds).
    std::vector<std::wstring> Wait(std::size_t count) const
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return lines_.size() >= count; });
        return lines_;
    }
    // Waits (up to five seconds) until some line equals `line`.
    bool WaitFor(std::wstring_view line) const
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(5),
                                 [&] { return std::ranges::find(lines_, line) != lines_.end(); });
    }
    // The threads that wrote the lines, in the same order.
    std::vector<std::thread::id> Writers() const
    {
        std::lock_guard lock(mutex_);
        return writers_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<std::wstring> lines_;
    std::vector<std::thread::id> writers_;
};

} // namespace fake
