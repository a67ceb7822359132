// What the integration roads share: an apartment with a registration of the reference collector that
// rereads live classes quickly, a journal that listeners and watchers write to from the component's
// threads, and the check that a failure arrives as the library's exception. Every road ends with no
// component object alive.
#pragma once

#include "support/fake_class_factory.h"

#include <collector/reference.h>
#include <collector/shell.h>

#include <Kernel/exception.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace integration {

using namespace collector::shell;
using namespace std::chrono_literals;
namespace reference = collector::reference;

// Texts written by listeners and watchers on any thread, in the order they arrived.
class Journal {
public:
    void Write(std::wstring line);
    // The lines, once at least `count` arrived (fewer after `patience`).
    std::vector<std::wstring> Wait(std::size_t count, std::chrono::milliseconds patience = 5s) const;
    // Waits (up to five seconds) until some line equals `line`.
    bool WaitFor(std::wstring_view line) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<std::wstring> lines_;
};

// The fixture of every road: it checks that no component object outlives the road.
class Road : public testing::Test {
protected:
    ~Road() override;

    fake::Apartment apartment;
    const long live_before = reference::Registration::LiveObjects();
    std::optional<reference::Registration> registration{std::in_place, reference::Options{50ms}};
};

// The failure that `road` raises: the library's exception with the HRESULT, the component's
// description as its message and as its error information. Empty when nothing was thrown.
struct Failure {
    HRESULT hr = S_OK;
    std::wstring message;
    std::wstring description;
};
Failure FailureOf(const std::function<void()>& road);

// Waits up to ten seconds, polling, until `done` holds.
bool Eventually(const std::function<bool()>& done);

} // namespace integration
