// The pairs: each operation once through the library (BM_Library_<name>) and once through the raw
// interfaces (BM_Raw_<name>), on the same component objects. Before timing, each benchmark checks that
// both sides give the same answer, so that a pair cannot drift into measuring different work.
#include "pairs.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace bench {

using collector::shell::Object;
using collector::shell::Record;

namespace {

// ---- The raw sides --------------------------------------------------------------------------------

// The Id of a record's key: the key's fields walked until the one of that name.
std::optional<int> RawKeyId(ci::IRecord* record)
{
    CComPtr<ci::IKey> key;
    CComPtr<IUnknown> enumerable;
    CComPtr<IEnumVARIANT> fields;
    if (FAILED(record->GetKey(&key)) || !key || FAILED(key->GetFields(&enumerable)) || !enumerable ||
        FAILED(enumerable->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&fields))))
        return std::nullopt;
    for (;;) {
        raw_variant element;
        ULONG fetched = 0;
        if (FAILED(fields->Next(1, &element, &fetched)) || fetched == 0)
            return std::nullopt;
        CComPtr<ci::IField> field;
        BSTR name = nullptr;
        if (element.vt != VT_UNKNOWN || !element.punkVal ||
            FAILED(element.punkVal->QueryInterface(ci::IID_IField, reinterpret_cast<void**>(&field))) ||
            FAILED(field->GetName(&name)))
            return std::nullopt;
        const bool found = std::wstring_view(name, SysStringLen(name)) == L"Id";
        SysFreeString(name);
        if (!found)
            continue;
        raw_variant value, converted;
        if (FAILED(field->GetValue(&value)) || FAILED(VariantChangeType(&converted, &value, 0, VT_I4)))
            return std::nullopt;
        return converted.lVal;
    }
}

// Double(Times = 21).
std::optional<int> RawCall(ci::IFieldMethod* method)
{
    const raw_bstr name(L"Times");
    if (!name.text)
        return std::nullopt;
    VARIANT times;
    VariantInit(&times);
    times.vt = VT_I4;
    times.lVal = 21;
    raw_variant result, converted;
    if (FAILED(method->SetParameter(name.text, times)) || FAILED(method->Invoke(&result)) ||
        FAILED(VariantChangeType(&converted, &result, 0, VT_I4)))
        return std::nullopt;
    return converted.lVal;
}

// Walks the collection; each record is asked for IRecord and told that the walk is done with it, as
// the library does for every record handle.
std::optional<int> RawWalk(ci::ICollection* collection)
{
    CComPtr<IUnknown> enumerable;
    CComPtr<IEnumVARIANT> records;
    if (FAILED(collection->GetEnumerator(&enumerable)) || !enumerable ||
        FAILED(enumerable->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&records))))
        return std::nullopt;
    int count = 0;
    for (;;) {
        raw_variant element;
        ULONG fetched = 0;
        if (FAILED(records->Next(1, &element, &fetched)))
            return std::nullopt;
        if (fetched == 0)
            return count;
        CComPtr<ci::IRecord> record;
        if (!element.punkVal ||
            FAILED(element.punkVal->QueryInterface(ci::IID_IRecord, reinterpret_cast<void**>(&record))))
            return std::nullopt;
        raw_dispose(record);
        ++count;
    }
}

// ---- Registration ---------------------------------------------------------------------------------

std::string NameOf(const char* side, const char* pair) { return std::string("BM_") + side + "_" + pair; }

// The check before timing: an exception of the library fails the benchmark instead of the program.
template <class Check>
bool Agrees(benchmark::State& state, Check check)
{
    try {
        if (check())
            return true;
        state.SkipWithError("the library and the raw calls disagree");
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
    return false;
}

// One side of a pair whose work is a call returning a value; `items` is the number of elements that
// one call handles.
template <class Work, class Check>
void Side(const char* side, const char* pair, Work work, Check check, std::int64_t items)
{
    benchmark::RegisterBenchmark(NameOf(side, pair).c_str(), [=](benchmark::State& state) {
        if (!Agrees(state, check))
            return;
        for (auto _ : state)
            benchmark::DoNotOptimize(work());
        state.SetItemsProcessed(state.iterations() * items);
    });
}

// Both sides; the library's result must equal what the raw side gives.
template <class Library, class Raw>
void Pair(const char* pair, Library library, Raw raw, std::int64_t items = 1)
{
    const auto check = [=] { return std::optional(library()) == raw(); };
    Side("Library", pair, library, check, items);
    Side("Raw", pair, raw, check, items);
}

// Offers every record of the item collection, each a fresh object, to `offer`, which answers whether
// it took the record. Fetching and releasing the records is not timed.
template <class Offer>
bool OfferItems(benchmark::State& state, const World& world, Offer offer)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<CComPtr<ci::IRecord>> records = world.FreshItems();
        state.ResumeTiming();
        for (const CComPtr<ci::IRecord>& record : records)
            if (!offer(record.p)) {
                state.SkipWithError("a record was refused");
                return false;
            }
        state.PauseTiming();
        records.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * item_count);
    return true;
}

// The sink pair: each record offered to `sink` as added, straight from this thread.
void Deliver(benchmark::State& state, const World& world, ci::ICollectionEvents* sink, Tally& tally)
{
    tally.Reset();
    const bool delivered =
        OfferItems(state, world, [sink](ci::IRecord* record) { return SUCCEEDED(sink->RecordAdded(GUID_NULL, record)); });
    if (delivered && tally.Sizes() != static_cast<long long>(state.iterations()) * sizes_of(1, item_count))
        state.SkipWithError("the listener did not read every record");
}

// The batch pair: one batch of updates announced through the component, until the last record
// reached the flow's listener or sink on the component's event thread.
void Announce(benchmark::State& state, const reference::Batch& batch, Flow& flow)
{
    flow.tally.Reset();
    long expected = 0;
    for (auto _ : state) {
        expected += batch_size;
        flow.tally.Expect(expected);
        flow.source.Apply(batch);
        if (!flow.tally.Await()) {
            state.SkipWithError("a batch did not arrive");
            return;
        }
    }
    if (flow.tally.Sizes() != static_cast<long long>(state.iterations()) * sizes_of(1, batch_size))
        state.SkipWithError("the deliveries read other records");
    state.SetItemsProcessed(state.iterations() * batch_size);
}

} // namespace

void RegisterPairs(World& world)
{
    World* const w = &world;
    Pair(
        "ReadInt", [w] { return w->recordHandle[L"Size"].get<int>(); },
        [w] { return raw_int(w->record, L"Size"); });
    Pair(
        "ReadText", [w] { return w->recordHandle[L"Name"].get<std::wstring>(); },
        [w] { return raw_text(w->record, L"Name"); });
    Pair(
        "ReadKey", [w] { return w->recordHandle.GetKey()[L"Id"].get<int>(); }, [w] { return RawKeyId(w->record); });
    Pair(
        "CallMethod",
        [w] {
            w->methodHandle[L"Times"] = Object(_variant_t(LONG(21)));
            return w->methodHandle().get<int>();
        },
        [w] { return RawCall(w->method); });
    Pair(
        "CopyRecord",
        [w] {
            const Record copy = w->recordHandle;
            return static_cast<bool>(copy);
        },
        [w] {
            const CComPtr<ci::IRecord> copy = w->record;
            return std::optional(copy != nullptr);
        });
    Pair(
        "IterateRecords",
        [w] {
            int count = 0;
            for (auto record = w->itemsHandle.begin(); record != w->itemsHandle.end(); ++record)
                ++count;
            return count;
        },
        [w] { return RawWalk(w->items); }, item_count);

    // What every owner does for each record it hands out, and the last handle's end: the record
    // asked for IRecord and told that it is no longer held.
    benchmark::RegisterBenchmark(NameOf("Library", "WrapRecord").c_str(), [w](benchmark::State& state) {
        OfferItems(state, *w, [w](ci::IRecord* record) { return static_cast<bool>(Record(record, w->classPool)); });
    });
    benchmark::RegisterBenchmark(NameOf("Raw", "WrapRecord").c_str(), [w](benchmark::State& state) {
        OfferItems(state, *w, [](ci::IRecord* record) {
            CComPtr<ci::IRecord> held;
            if (FAILED(record->QueryInterface(ci::IID_IRecord, reinterpret_cast<void**>(&held))))
                return false;
            raw_dispose(held);
            return true;
        });
    });

    benchmark::RegisterBenchmark(NameOf("Library", "DeliverEvent").c_str(), [w](benchmark::State& state) {
        Deliver(state, *w, w->librarySink, w->librarySinkTally);
    });
    benchmark::RegisterBenchmark(NameOf("Raw", "DeliverEvent").c_str(), [w](benchmark::State& state) {
        Deliver(state, *w, w->rawSink, w->rawSinkTally);
    });

    // The component's thread does the work: the time is the wall clock's.
    const auto batch = std::make_shared<const reference::Batch>(UpdateBatch());
    benchmark::RegisterBenchmark(NameOf("Library", "AnnouncedBatch").c_str(), [w, batch](benchmark::State& state) {
        Announce(state, *batch, w->libraryFlow);
    })->UseRealTime();
    benchmark::RegisterBenchmark(NameOf("Raw", "AnnouncedBatch").c_str(), [w, batch](benchmark::State& state) {
        Announce(state, *batch, w->rawFlow);
    })->UseRealTime();
}

} // namespace bench
