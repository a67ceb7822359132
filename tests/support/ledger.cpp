#include "support/ledger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

namespace fake {

Ledger& Ledger::instance()
{
    // Never destroyed: fakes leaked by a test may still leave during static destruction.
    static auto* ledger = new Ledger;
    return *ledger;
}

std::uint64_t Ledger::enter(std::string name, const std::atomic<ULONG>& references)
{
    std::lock_guard lock(mutex_);
    records_.emplace(next_id_, Record{std::move(name), &references});
    return next_id_++;
}

void Ledger::leave(std::uint64_t id) noexcept
{
    std::lock_guard lock(mutex_);
    records_.erase(id);
}

bool Ledger::alive(std::uint64_t id) const
{
    std::lock_guard lock(mutex_);
    return records_.contains(id);
}

std::vector<LedgerEntry> Ledger::snapshot() const
{
    std::lock_guard lock(mutex_);
    std::vector<LedgerEntry> entries;
    for (const auto& [id, record] : records_)
        if (!record.reported)
            entries.push_back({id, record.name, record.references->load()});
    return entries;
}

void Ledger::note(std::string problem)
{
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(problem));
}

void check_ledger_since(const std::vector<LedgerEntry>& baseline)
{
    Ledger& ledger = Ledger::instance();
    std::ostringstream text;
    {
        std::lock_guard lock(ledger.mutex_);
        for (auto& [id, record] : ledger.records_) {
            if (record.reported)
                continue;
            const auto before = std::ranges::find(baseline, id, &LedgerEntry::id);
            const ULONG references = record.references->load();
            if (before == baseline.end()) {
                text << "fake '" << record.name << "' is still alive with " << references << " reference(s)\n";
                record.reported = true;
            } else if (before->references != references) {
                text << "fake '" << record.name << "' reference count changed from " << before->references << " to "
                     << references << '\n';
            }
        }
        for (const auto& note : std::exchange(ledger.notes_, {}))
            text << note << '\n';
    }
    if (!text.str().empty())
        ADD_FAILURE() << "COM objects left behind:\n" << text.str();
}

} // namespace fake
