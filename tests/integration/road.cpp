#include "integration/road.h"

#include <thread>

namespace integration {

void Journal::Write(std::wstring line)
{
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
    arrived_.notify_all();
}

std::vector<std::wstring> Journal::Wait(std::size_t count, std::chrono::milliseconds patience) const
{
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, patience, [&] { return lines_.size() >= count; });
    return lines_;
}

bool Journal::WaitFor(std::wstring_view line) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, 5s, [&] { return std::find(lines_.begin(), lines_.end(), line) != lines_.end(); });
}

Road::~Road()
{
    registration.reset();
    EXPECT_EQ(reference::Registration::LiveObjects(), live_before) << "component objects outlived the road";
}

Failure FailureOf(const std::function<void()>& road)
{
    try {
        road();
    } catch (const CHResultException& e) {
        _bstr_t description;
        if (e.error_info())
            e.error_info()->GetDescription(description.GetAddress());
        return {e.get_hresult(), e.message(), description.length() ? std::wstring(description) : std::wstring()};
    }
    return {};
}

bool Eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    for (; std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms))
        if (done())
            return true;
    return done();
}

} // namespace integration
