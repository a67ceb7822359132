#include "reference_fixture.h"

#include <comdef.h>

namespace reference_test {

std::vector<CComPtr<IUnknown>> elements(IUnknown* enumerable)
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

HRESULT RecordingSink::note(std::wstring what)
{
    std::lock_guard lock(mutex_);
    received_.push_back({std::move(what), std::this_thread::get_id()});
    arrived_.notify_all();
    return S_OK;
}

std::wstring RecordingSink::text_of(IStateDescription* description)
{
    _bstr_t text;
    if (!description || FAILED(description->GetText(text.GetAddress())) || text.length() == 0)
        return L"";
    return L" " + std::wstring(text);
}

std::wstring RecordingSink::key_text(IKey* key)
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

std::wstring RecordingSink::key_of(IRecord* record)
{
    CComPtr<IKey> key;
    if (!record || FAILED(record->GetKey(&key)))
        return L"?";
    return key_text(key);
}

HRESULT RecordingSink::Updated(GUID, ICompositionSet* set)
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
        CComQIPtr<IRecord> record(item.punkVal);
        text += std::wstring(L" ") + L"AUR"[static_cast<int>(kind)] + L":" + key_of(record);
    }
    CComQIPtr<IDisposableObject>(set)->Dispose();
    return note(std::move(text));
}

std::vector<Received> RecordingSink::wait_for(std::size_t count)
{
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return received_.size() >= count; });
    return received_;
}

std::vector<std::wstring> RecordingSink::texts(std::size_t count)
{
    std::vector<std::wstring> texts;
    for (const Received& received : wait_for(count))
        texts.push_back(received.what);
    return texts;
}

ErrorText last_error(IUnknown* object, REFIID iid)
{
    CComQIPtr<ISupportErrorInfo> support(object);
    CComPtr<IErrorInfo> info;
    _bstr_t description;
    const bool supported = support && support->InterfaceSupportsErrorInfo(iid) == S_OK;
    if (GetErrorInfo(0, &info) == S_OK && info)
        info->GetDescription(description.GetAddress());
    return {supported, description.length() ? std::wstring(description) : std::wstring()};
}

ReferenceTest::ReferenceTest()
{
    EXPECT_EQ(CoCreateInstance(CLSID_ArborVcfCollector, nullptr, CLSCTX_INPROC_SERVER, IID_ICollector,
                               reinterpret_cast<void**>(&collector)),
              S_OK);
}

ReferenceTest::~ReferenceTest()
{
    task.Release();
    if (collector)
        collector->Shutdown();
    collector.Release();
    registration.reset();
    EXPECT_EQ(Registration::LiveObjects(), live_before) << "component objects outlived their last reference";
}

RecordClass ReferenceTest::define_items()
{
    registration->DefineClass({{0x5A000001, 0, 0, {1}}, L"Summary", L"1.0", L"test", true, {}});
    return registration->DefineClass({{0x5A000002, 0, 0, {2}}, L"Item", L"2.1", L"test", false, {L"Id"}});
}

CComPtr<ICollection> ReferenceTest::deploy(const wchar_t* class_name)
{
    const CComPtr<ITaskPool> tasks = pool<ITaskPool>(&ICollector::GetTaskPool);
    CComPtr<IUnknown> unknown;
    GUID none{};
    EXPECT_EQ(tasks->Deploy(_bstr_t(L"task"), &none, &none, 0, &unknown), S_OK);
    task = CComQIPtr<ITask>(unknown);
    CComPtr<IUnknown> collection;
    EXPECT_EQ(task->Deploy(_bstr_t(class_name), &collection), S_OK);
    return CComQIPtr<ICollection>(collection).p;
}

DWORD ReferenceTest::advise(IUnknown* source, REFIID iid, IUnknown* sink)
{
    CComQIPtr<IConnectionPointContainer> container(source);
    CComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    EXPECT_EQ(container->FindConnectionPoint(iid, &point), S_OK);
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    return cookie;
}

void ReferenceTest::unadvise(IUnknown* source, REFIID iid, DWORD cookie)
{
    CComQIPtr<IConnectionPointContainer> container(source);
    CComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(iid, &point), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

} // namespace reference_test
