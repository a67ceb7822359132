// The live record class `Process`: the processes of this machine. Nothing is read until a collection of
// the class runs; while one runs, a thread of its own rereads the processes every refresh period and
// applies the differences as one batch (added, updated, removed processes).
#include "processes.h"
#include "services.h"

#include <condition_variable>
#include <map>
#include <stdexcept>
#include <thread>

namespace collector::reference::detail {
namespace {

// {6F3B5E2A-9C41-4D7E-8B25-0A7D4C1E9F63}
constexpr GUID process_class_id = {0x6F3B5E2A, 0x9C41, 0x4D7E, {0x8B, 0x25, 0x0A, 0x7D, 0x4C, 0x1E, 0x9F, 0x63}};

_variant_t i4(LONG value)
{
    _variant_t result;
    result.vt = VT_I4;
    result.lVal = value;
    return result;
}

_variant_t ui8(ULONGLONG value)
{
    _variant_t result;
    result.vt = VT_UI8;
    result.ullVal = value;
    return result;
}

_variant_t text(const std::wstring& value)
{
    return _variant_t(value.c_str());
}

MethodValue terminate_method(LONG id)
{
    return {L"Ends the process", [id](const MethodCall&) -> MethodOutcome {
                const process_failure_t failure = TerminateProcessById(id);
                if (FAILED(failure.hr))
                    return MethodFailure{failure.hr, failure.text};
                return _variant_t();
            }};
}

MethodValue owner_method(const std::wstring& user)
{
    return {L"The user that owns the process, and the host it runs on", [user](const MethodCall&) -> MethodOutcome {
                return std::vector<_variant_t>{text(user), text(LocalHostName())};
            }};
}

// A process as the class holds it, with the one fact about its neighbours that a record shows.
struct seen_t {
    process_t process;
    bool parent_visible = false;

    bool operator==(const seen_t&) const = default;
};

Fields fields_of(const seen_t& seen)
{
    const process_t& p = seen.process;
    Value parent = _variant_t();
    if (seen.parent_visible)
        parent = RecordReference{process_class_id, {{L"ProcessId", i4(p.parent_id)}}, ReferenceForm::Reference};
    _variant_t created(p.start_time, VT_DATE);
    return {
        {L"ProcessId", i4(p.id)},
        {L"Name", text(p.name)},
        {L"CommandLine", text(p.command_line)},
        {L"ParentProcessId", i4(p.parent_id)},
        {L"Parent", std::move(parent)},
        {L"ThreadCount", i4(p.thread_count)},
        {L"WorkingSetSize", ui8(p.resident_bytes)},
        {L"CreationDate", std::move(created)},
        {L"UserName", text(p.user_name)},
        {L"Terminate", terminate_method(p.id)},
        {L"GetOwner", owner_method(p.user_name)},
    };
}

std::map<LONG, seen_t> read_seen()
{
    std::map<LONG, seen_t> seen;
    for (process_t& process : ReadProcesses()) {
        const LONG id = process.id;
        seen[id].process = std::move(process);
    }
    for (auto& [id, entry] : seen)
        entry.parent_visible = entry.process.parent_id != id && seen.count(entry.process.parent_id) != 0;
    return seen;
}

// The changes that turn `before` into `now`.
Batch differences(const std::map<LONG, seen_t>& before, const std::map<LONG, seen_t>& now)
{
    Batch batch;
    for (const auto& [id, entry] : before)
        if (!now.count(id))
            batch.push_back({ECompositionRecordKind::Removed, {{L"ProcessId", i4(id)}}});
    for (const auto& [id, entry] : now) {
        const auto old = before.find(id);
        if (old == before.end())
            batch.push_back({ECompositionRecordKind::Added, fields_of(entry)});
        else if (!(old->second == entry))
            batch.push_back({ECompositionRecordKind::Updated, fields_of(entry)});
    }
    return batch;
}

// The processes that records show, known by their ids only (every other field reads as changed).
std::map<LONG, seen_t> ids_of(const std::vector<Fields>& records)
{
    std::map<LONG, seen_t> ids;
    for (const Fields& fields : records)
        for (const auto& [name, value] : fields)
            if (const auto* id = std::get_if<_variant_t>(&value); id && name == L"ProcessId" && id->vt == VT_I4)
                ids[id->lVal].process.id = id->lVal;
    return ids;
}

// What the refresh thread works on. It is shared with the thread, which may outlive its owner when the
// owner goes on that very thread (the thread held the last reference to the class).
struct refresh_state_t {
    std::weak_ptr<class_source_t> process_class;
    std::chrono::milliseconds period;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    // The processes as the class's records show them; only the one refresh thread alive touches it.
    std::map<LONG, seen_t> known;

    // Rereads the processes and applies the differences, until stopped.
    void run()
    {
        std::unique_lock lock(mutex);
        while (!stop) {
            lock.unlock();
            refresh();
            lock.lock();
            wake.wait_for(lock, period, [this] { return stop; });
        }
    }

    void refresh()
    {
        const std::shared_ptr<class_source_t> target = process_class.lock();
        if (!target)
            return;
        std::map<LONG, seen_t> now = read_seen();
        Batch batch = differences(known, now);
        if (batch.empty())
            return;
        try {
            target->apply(std::move(batch));
            known = std::move(now);
        } catch (const std::invalid_argument&) {
            // A script changed the class's records behind the thread's back: the thread takes the
            // records' ids as they are, so that the next round updates every one of them.
            known = ids_of(target->records_copy());
        }
    }
};

// Runs the refresh thread while a collection of the class runs.
class process_source_t {
public:
    process_source_t(std::weak_ptr<class_source_t> process_class, std::chrono::milliseconds period)
        : state_(std::make_shared<refresh_state_t>())
    {
        state_->process_class = std::move(process_class);
        state_->period = period;
    }
    ~process_source_t() { set_running(false); }
    process_source_t(const process_source_t&) = delete;
    process_source_t& operator=(const process_source_t&) = delete;

    void set_running(bool running)
    {
        std::lock_guard lock(mutex_);
        if (running == thread_.joinable())
            return;
        if (running) {
            state_->stop = false;
            thread_ = std::thread([state = state_] { state->run(); });
            return;
        }
        {
            std::lock_guard stop_lock(state_->mutex);
            state_->stop = true;
        }
        state_->wake.notify_all();
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }

private:
    std::mutex mutex_;
    std::shared_ptr<refresh_state_t> state_;
    std::thread thread_;
};

}  // namespace

void install_live_classes(world_t& world)
{
    world.define(ClassDefinition{process_class_id, L"Process", L"1.0", L"Machine", false, {L"ProcessId"}});
    const std::shared_ptr<class_source_t> process_class = world.find(process_class_id);
    auto source = std::make_shared<process_source_t>(process_class, world.options.refreshPeriod);
    process_class->set_hook([source](bool running) { source->set_running(running); });
}

}  // namespace collector::reference::detail
