// What the reference collector's tests share: an apartment with a registration, the component objects
// reached through their interfaces, a sink that records every event with its thread, and the error
// information of the last failure. Every test ends with no component object alive.
#pragma once

#include "support/fake_class_factory.h"
#include "support/journal.h"

#include <collector/reference.h>

#include <atlbase.h>
#include <comdef.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace reference_test {

using namespace Ostra_Lux_Collector_Interfaces;
using namespace collector::reference;
using ATL::CComPtr;
using ATL::CComQIPtr;
using namespace std::chrono_literals;

// The elements of an enumeration, which `enumerable` offers as IEnumVARIANT; none when it offers none.
inline std::vector<CComPtr<IUnknown>> elements(IUnknown* enumerable)
{
    std::vector<CComPtr<IUnknown>> all;
    CComQIPtr<IEnumVARIANT> enumerator(enumerable);
    _variant_t element;
    ULONG fetched = 0;
    while (enumerator && enumerator->Next(1, &element, &fetched) == S_OK && fetched == 1) {
        all.emplace_back(element.punkVal);
        element.Clear();
    }
    return all;
}

// Records the events of every event interface of the component, in order; a composition set is
// written as its changes ("Updated A:1 R:2") and then disposed, after which it must no longer answer.
class RecordingSink : public fake::Fake<ICollectorEvents, ITaskEvents, ICollectionEvents, ICompositionEvents> {
public:
    RecordingSink() : Fake("recording sink") {}

    // Every event, in order: "Collector 1", "Collection 2 description", "Added 4", "Updated A:1 R:2".
    fake::Journal journal;

    HRESULT STDMETHODCALLTYPE Event1(LONG value) override { return note(L"Collector " + std::to_wstring(value)); }
    HRESULT STDMETHODCALLTYPE StateChanged(GUID, ETaskState state, IStateDescription* description) override
    {
        return note(L"Task " + std::to_wstring(static_cast<int>(state)) + text_of(description));
    }
    HRESULT STDMETHODCALLTYPE Event1(GUID, GUID) override { return note(L"CollectionDeployed"); }
    HRESULT STDMETHODCALLTYPE Event2(GUID, GUID) override { return note(L"CollectionRemoved"); }
    HRESULT STDMETHODCALLTYPE RecordAdded(GUID, IRecord* record) override { return note(L"Added " + key_of(record)); }
    HRESULT STDMETHODCALLTYPE RecordUpdated(GUID, IRecord* record) override { return note(L"Updated " + key_of(record)); }
    HRESULT STDMETHODCALLTYPE RecordRemoved(GUID, IKey* key) override { return note(L"Removed " + key_text(key)); }
    HRESULT STDMETHODCALLTYPE StateChanged(GUID, ECollectionState state, IStateDescription* description) override
    {
        return note(L"Collection " + std::to_wstring(static_cast<int>(state)) + text_of(description));
    }
    HRESULT STDMETHODCALLTYPE UpdateStarted(GUID) override { return note(L"UpdateStarted"); }
    HRESULT STDMETHODCALLTYPE UpdateFinished(GUID) override { return note(L"UpdateFinished"); }
    HRESULT STDMETHODCALLTYPE Reserved() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Updated(GUID, ICompositionSet* set) override
    {
        CComPtr<IUnknown> enumerable;
        if (FAILED(set->GetRecords(&enumerable)))
            return note(L"Updated ?");
        std::wstring text = L"Updated";
        for (const auto& element : elements(enumerable)) {
            CComQIPtr<ICompositionRecord> change(element);
            ECompositionRecordKind kind{};
            _variant_t item;
            change->GetKind(&kind);
            change->GetItem(&item);
            text += std::wstring(L" ") + L"AUR"[static_cast<int>(kind)] + L":" + key_of(CComQIPtr<IRecord>(item.punkVal));
        }
        CComQIPtr<IDisposableObject>(set)->Dispose();
        CComPtr<IUnknown> disposed;
        if (set->GetRecords(&disposed) != CO_E_OBJNOTCONNECTED)
            text += L" (answers after Dispose)";
        return note(std::move(text));
    }

    // A key's values, joined by commas.
    static std::wstring key_text(IKey* key)
    {
        CComPtr<IUnknown> enumerable;
        if (!key || FAILED(key->GetFields(&enumerable)))
            return L"?";
        std::wstring text;
        for (const auto& element : elements(enumerable)) {
            _variant_t value;
            CComQIPtr<IField>(element)->GetValue(&value);
            text += (text.empty() ? L"" : L",") + std::wstring(_bstr_t(value));
        }
        return text;
    }
    static std::wstring key_of(IRecord* record)
    {
        CComPtr<IKey> key;
        return record && SUCCEEDED(record->GetKey(&key)) ? key_text(key) : L"?";
    }

private:
    static std::wstring text_of(IStateDescription* description)
    {
        _bstr_t text;
        if (!description || FAILED(description->GetText(text.GetAddress())) || text.length() == 0)
            return L"";
        return L" " + std::wstring(text);
    }
    HRESULT note(std::wstring what)
    {
        journal.Write(std::move(what));
        return S_OK;
    }
};

// The description of the error information that the thread holds after a failure of iid on object, which
// must say that it supports error information for iid: empty when it does not, or when there is none.
inline std::wstring last_error(IUnknown* object, REFIID iid)
{
    CComQIPtr<ISupportErrorInfo> support(object);
    CComPtr<IErrorInfo> info;
    _bstr_t description;
    if (GetErrorInfo(0, &info) == S_OK && support && support->InterfaceSupportsErrorInfo(iid) == S_OK)
        info->GetDescription(description.GetAddress());
    return description.length() ? std::wstring(description) : std::wstring();
}

// A fixture with a registration and a collector of the first source; it checks that no object of the
// component outlives the test.
class ReferenceTest : public ::testing::Test {
protected:
    ReferenceTest()
    {
        EXPECT_EQ(CoCreateInstance(CLSID_ArborVcfCollector, nullptr, CLSCTX_INPROC_SERVER, IID_ICollector,
                                   reinterpret_cast<void**>(&collector)),
                  S_OK);
    }
    ~ReferenceTest() override
    {
        stop_listening();
        sink.reset();
        task.Release();
        if (collector)
            collector->Shutdown();
        collector.Release();
        registration.reset();
        EXPECT_EQ(Registration::LiveObjects(), live_before) << "component objects outlived their last reference";
    }

    // A record class "Item" keyed by "Id", and a keyless singleton "Summary".
    RecordClass define_items()
    {
        registration->DefineClass({{0x5A000001, 0, 0, {1}}, L"Summary", L"1.0", L"test", true, {}});
        return registration->DefineClass({{0x5A000002, 0, 0, {2}}, L"Item", L"2.1", L"test", false, {L"Id"}});
    }

    template <class I>
    CComPtr<I> pool(HRESULT (STDMETHODCALLTYPE ICollector::*getter)(IUnknown**))
    {
        CComPtr<IUnknown> unknown;
        EXPECT_EQ(((*collector).*getter)(&unknown), S_OK);
        return CComQIPtr<I>(unknown).p;
    }
    // Deploys a task, kept in `task`, and on it a collection of the class.
    CComPtr<ICollection> deploy(const wchar_t* class_name)
    {
        CComPtr<IUnknown> unknown, collection;
        EXPECT_EQ(pool<ITaskPool>(&ICollector::GetTaskPool)->Deploy(_bstr_t(L"task"), nullptr, nullptr, 0, &unknown), S_OK);
        task = CComQIPtr<ITask>(unknown);
        EXPECT_EQ(task->Deploy(_bstr_t(class_name), &collection), S_OK);
        return CComQIPtr<ICollection>(collection).p;
    }

    // Connects the sink to the events `iid` of `source`, until the test ends.
    void listen(IUnknown* source, REFIID iid)
    {
        CComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        EXPECT_EQ(CComQIPtr<IConnectionPointContainer>(source)->FindConnectionPoint(iid, &point), S_OK);
        EXPECT_EQ(point->Advise(sink->unknown(), &cookie), S_OK);
        connections_.emplace_back(point, cookie);
    }
    void stop_listening()
    {
        for (const auto& [point, cookie] : connections_)
            EXPECT_EQ(point->Unadvise(cookie), S_OK);
        connections_.clear();
    }

    fake::Apartment apartment;
    long live_before = Registration::LiveObjects();
    // Live classes reread quickly.
    std::unique_ptr<Registration> registration = std::make_unique<Registration>(Options{50ms});
    CComPtr<ICollector> collector;
    CComPtr<ITask> task;
    fake::Held<RecordingSink> sink = fake::hold<RecordingSink>();

private:
    std::vector<std::pair<CComPtr<IConnectionPoint>, DWORD>> connections_;
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
