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
    const auto id = next_id_++;
    reported_.emplace(id, Record{std::move(name), &references});
    return id;
}

void Ledger::leave(std::uint64_t id) noexcept
{
    std::lock_guard lock(mutex_);
    reported_.erase(id);
    forgotten_.erase(id);
}

void Ledger::forget(const std::vector<std::uint64_t>& ids)
{
    std::lock_guard lock(mutex_);
    for (const auto id : ids)
        if (reported_.erase(id) != 0)
            forgotten_.insert(id);
}

bool Ledger::alive(std::uint64_t id) const
{
    std::lock_guard lock(mutex_);
    return reported_.contains(id) || forgotten_.contains(id);
}

std::vector<LedgerEntry> Ledger::snapshot() const
{
    std::lock_guard lock(mutex_);
    std::vector<LedgerEntry> entries;
    entries.reserve(reported_.size());
    for (const auto& [id, record] : reported_)
        entries.push_back({id, record.name, record.references->load()});
    return entries;
}

void Ledger::note(std::string problem)
{
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(problem));
}

std::vector<std::string> Ledger::take_notes()
{
    std::lock_guard lock(mutex_);
    return std::exchange(notes_, {});
}

std::vector<LedgerFinding> compare(const std::vector<LedgerEntry>& before, const std::vector<LedgerEntry>& after)
{
    std::vector<LedgerFinding> findings;
    for (const auto& now : after) {
        const auto old = std::find_if(before.begin(), before.end(), [&](const LedgerEntry& e) { return e.id == now.id; });
        if (old == before.end())
            findings.push_back({now, false, 0});
        else if (old->references != now.references)
            findings.push_back({now, true, old->references});
    }
    return findings;
}

std::string describe(const std::vector<LedgerFinding>& findings, const std::vector<std::string>& notes)
{
    std::ostringstream text;
    for (const auto& finding : findings) {
        if (finding.existed_before)
            text << "fake '" << finding.now.name << "' reference count changed from " << finding.references_before
                 << " to " << finding.now.references << '\n';
        else
            text << "fake '" << finding.now.name << "' is still alive with " << finding.now.references
                 << " reference(s)\n";
    }
    for (const auto& note : notes)
        text << note << '\n';
    return text.str();
}

void check_ledger_since(const std::vector<LedgerEntry>& baseline)
{
    auto& ledger = Ledger::instance();
    const auto findings = compare(baseline, ledger.snapshot());
    const auto notes = ledger.take_notes();
    if (findings.empty() && notes.empty())
        return;
    ADD_FAILURE() << "COM objects left behind:\n" << describe(findings, notes);

    std::vector<std::uint64_t> leaked;
    for (const auto& finding : findings)
        if (!finding.existed_before)
            leaked.push_back(finding.now.id);
    ledger.forget(leaked);
}

} // namespace fake
