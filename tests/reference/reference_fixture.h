// What the reference collector's tests share: an apartment with a registration, the component objects
// reached through their interfaces, a sink that records every event with its thread, and the error
// information of the last failure. Every test ends with no component object alive.
#pragma once

#include "support/fake_class_factory.h"
#include "support/fake_com.h"

#include <collector/reference.h>

#include <atlbase.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace reference_test {

using namespace Ostra_Lux_Collector_Interfaces;
using namespace collector::reference;
using ATL::CComPtr;
using ATL::CComQIPtr;

// One event as a sink received it.
struct Received {
    std::wstring what;
    std::thread::id thread;
};

// Records the events of every event interface of the component, in order; a composition set is
// written as its changes ("Updated A:1 R:2") and then disposed.
class RecordingSink : public fake::Fake<ICollectorEvents, ITaskPoolEvents, ITaskEvents, ICollectionEvents,
                                        ICompositionEvents> {
public:
    RecordingSink() : Fake("recording sink") {}

    HRESULT STDMETHODCALLTYPE Event1(LONG value) override { return note(L"Collector " + std::to_wstring(value)); }
    HRESULT STDMETHODCALLTYPE Event1(GUID) override { return note(L"TaskDeployed"); }
    HRESULT STDMETHODCALLTYPE Event2(GUID) override { return note(L"TaskRemoved"); }
    HRESULT STDMETHODCALLTYPE StateChanged(GUID, ETaskState state, IStateDescription* description) override
    {
        return note(L"Task " + std::to_wstring(static_cast<int>(state)) + text_of(description));
    }
    HRESULT STDMETHODCALLTYPE Event1(GUID, GUID) override { return note(L"CollectionDeployed"); }
    HRESULT STDMETHODCALLTYPE Event2(GUID, GUID) override { return note(L"CollectionRemoved"); }
    HRESULT STDMETHODCALLTYPE RecordAdded(GUID, IRecord* record) override { return note(L"Added " + key_of(record)); }
    HRESULT STDMETHODCALLTYPE RecordUpdated(GUID, IRecord* record) override
    {
        return note(L"Updated " + key_of(record));
    }
    HRESULT STDMETHODCALLTYPE RecordRemoved(GUID, IKey* key) override { return note(L"Removed " + key_text(key)); }
    HRESULT STDMETHODCALLTYPE StateChanged(GUID, ECollectionState state, IStateDescription* description) override
    {
        return note(L"Collection " + std::to_wstring(static_cast<int>(state)) + text_of(description));
    }
    HRESULT STDMETHODCALLTYPE UpdateStarted(GUID) override { return note(L"UpdateStarted"); }
    HRESULT STDMETHODCALLTYPE UpdateFinished(GUID) override { return note(L"UpdateFinished"); }
    HRESULT STDMETHODCALLTYPE Reserved() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Updated(GUID, ICompositionSet* set) override;

    // Waits (up to five seconds) until count events arrived; the events so far.
    std::vector<Received> wait_for(std::size_t count);
    // Only the texts, after waiting for count events.
    std::vector<std::wstring> texts(std::size_t count);

    static std::wstring key_of(IRecord* record);
    static std::wstring key_text(IKey* key);

private:
    static std::wstring text_of(IStateDescription* description);
    HRESULT note(std::wstring what);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Received> received_;
};

// The elements of an enumeration, which `enumerable` offers as IEnumVARIANT; none when it offers none.
std::vector<CComPtr<IUnknown>> elements(IUnknown* enumerable);

// The error information that the thread holds after a failure of iid on object.
struct ErrorText {
    bool supported;
    std::wstring description;
};
ErrorText last_error(IUnknown* object, REFIID iid);

// A fixture with a registration and a collector of the first source; it checks that no object of the
// component outlives the test.
class ReferenceTest : public ::testing::Test {
protected:
    ReferenceTest();
    ~ReferenceTest() override;

    // A record class "Item" keyed by "Id", and a keyless singleton "Summary".
    RecordClass define_items();

    template <class I>
    CComPtr<I> pool(HRESULT (STDMETHODCALLTYPE ICollector::*getter)(IUnknown**))
    {
        CComPtr<IUnknown> unknown;
        EXPECT_EQ(((*collector).*getter)(&unknown), S_OK);
        return CComQIPtr<I>(unknown).p;
    }
    // Deploys a task and a collection of the class with a composition advised to sink when given.
    CComPtr<ICollection> deploy(const wchar_t* class_name);

    DWORD advise(IUnknown* source, REFIID iid, IUnknown* sink);
    void unadvise(IUnknown* source, REFIID iid, DWORD cookie);

    fake::Apartment apartment;
    long live_before = Registration::LiveObjects();
    std::unique_ptr<Registration> registration = std::make_unique<Registration>();
    CComPtr<ICollector> collector;
    CComPtr<ITask> task;
};

// A plain value, a record's fields, a change.
inline Value plain(long value) { return Value(_variant_t(value)); }
inline Value text(const wchar_t* value) { return Value(_variant_t(value)); }
inline Change added(long id, Fields more = {})
{
    more.insert(more.begin(), {L"Id", plain(id)});
    return Change{ECompositionRecordKind::Added, std::move(more)};
}
inline Change removed(long id) { return Change{ECompositionRecordKind::Removed, {{L"Id", plain(id)}}}; }

} // namespace reference_test
