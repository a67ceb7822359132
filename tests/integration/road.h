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
#include <tuple>
#include <vector>

namespace integration {

using namespace collector::shell;
using namespace std::chrono_literals;
namespace reference = collector::reference;

using fake::Journal;

// The Id of a key of Item, as text.
inline std::wstring IdOf(const Key& key) { return std::to_wstring(key[L"Id"].get<int>()); }

// Writes the events of the storage, the resource pool, the task pool and a task, and a collection's batches
// whole ("batch of Item A1 U2 R3"), to one journal.
class Listener : public IDatabaseStorageListener,
                 public IResourcePoolListener,
                 public ITaskPoolListener,
                 public ITaskListener,
                 public ICollectionListener {
public:
    explicit Listener(Journal& journal) : journal_(journal) {}
    using ICollectionListener::StateChanged;
    void Event1(LONG value) override { journal_.Write(L"state " + std::to_wstring(value)); }
    void Event1(std::wstring_view name) override { journal_.Write(L"added " + std::wstring(name)); }
    void Event2(std::wstring_view name) override { journal_.Write(L"removed " + std::wstring(name)); }
    void Event1(GUID) override { journal_.Write(L"task deployed"); }
    void Event2(GUID) override { journal_.Write(L"task removed"); }
    void StateChanged(GUID, ETaskState state, std::wstring_view) override
    {
        journal_.Write(L"task " + std::wstring(ETaskStateToString(state)));
    }
    void Event1(GUID, GUID) override { journal_.Write(L"collection deployed"); }
    void Event2(GUID, GUID) override { journal_.Write(L"collection removed"); }
    bool Updated(const RecordsSet& changes) override
    {
        std::wstring line = L"batch of " + changes.ClassName().value_or(L"?");
        for (const RecordEvent& change : changes)
            line += std::wstring(L" ") + L"AUR"[static_cast<int>(change.kind)] + IdOf(change.record.GetKey());
        journal_.Write(line);
        return true;
    }
    void RecordAdded(Record) override { journal_.Write(L"one by one"); }
    void RecordUpdated(Record) override { journal_.Write(L"one by one"); }
    void RecordRemoved(Key) override { journal_.Write(L"one by one"); }

private:
    Journal& journal_;
};

// The fixture of every road, with a collector of the first source and a listener that writes to `events`:
// it checks that no component object outlives the road.
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
    Journal events;
    const std::shared_ptr<Listener> listener = std::make_shared<Listener>(events);
};

// The failure that `road` raises: the HRESULT of the library's exception, its message, and the
// description of its error information. All empty when nothing was thrown.
using Failure = std::tuple<HRESULT, std::wstring, std::wstring>;

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
