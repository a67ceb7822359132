// What the integration roads share: an apartment with a registration of the reference collector that
// rereads live classes quickly, a journal that listeners and watchers write to from the component's
// threads, and the check that a failure arrives as the library's exception. Every road ends with no
// component object alive.
#pragma once

#include "support/fake_class_factory.h"
#include "support/journal.h"

#include <collector/reference.h>
#include <collector/shell.h>

#include <Kernel/exception.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace integration {

using namespace collector::shell;
using namespace std::chrono_literals;
namespace reference = collector::reference;

using fake::Journal;

// The fixture of every road, with a collector of the first source: it checks that no component object
// outlives the road.
class Road : public testing::Test {
protected:
    ~Road() override
    {
        collector.reset();
        registration.reset();
        EXPECT_EQ(reference::Registration::LiveObjects(), live_before) << "component objects outlived the road";
    }

    fake::Apartment apartment;
    const long live_before = reference::Registration::LiveObjects();
    std::optional<reference::Registration> registration{std::in_place, reference::Options{50ms}};
    std::optional<Collector> collector{std::in_place, ECollectorSource::Arbor};
};

// The failure that `road` raises: the library's exception with the HRESULT, the component's
// description as its message and as its error information. Empty when nothing was thrown.
struct Failure {
    HRESULT hr = S_OK;
    std::wstring message;
    std::wstring description;

    bool operator==(const Failure&) const = default;
    friend void PrintTo(const Failure& failure, std::ostream* out)
    {
        *out << std::hex << "0x" << static_cast<unsigned long>(failure.hr) << " " << testing::PrintToString(failure.message)
             << " " << testing::PrintToString(failure.description);
    }
};

// What a refusal of the component arrives as: its description as the message and the error information.
inline Failure Refused(HRESULT hr, std::wstring description)
{
    return {hr, description, description};
}

inline Failure FailureOf(const std::function<void()>& road)
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

} // namespace integration
