// The live-object ledger: every fake COM object registers here while it exists, so that a test which
// leaves one alive, or leaves a reference count changed, can be told so by name.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace fake {

// One live fake as the ledger saw it at a given moment.
struct LedgerEntry {
    std::uint64_t id;
    std::string name;
    ULONG references;
};

class Ledger {
public:
    static Ledger& instance();

    // Registers a fake whose count lives at `references`; the ledger reads it until `leave`.
    std::uint64_t enter(std::string name, const std::atomic<ULONG>& references);
    void leave(std::uint64_t id) noexcept;

    // Stops reporting these fakes (they were reported once already); `alive` still knows them.
    void forget(const std::vector<std::uint64_t>& ids);
    bool alive(std::uint64_t id) const;

    // The fakes alive and reported, in creation order.
    std::vector<LedgerEntry> snapshot() const;

    // Problems seen while they happened (an over-release caught by a holder), reported with the leaks.
    void note(std::string problem);
    std::vector<std::string> take_notes();

private:
    struct Record {
        std::string name;
        const std::atomic<ULONG>* references;
    };

    mutable std::mutex mutex_;
    std::uint64_t next_id_ = 1;
    std::map<std::uint64_t, Record> reported_;
    std::set<std::uint64_t> forgotten_;
    std::vector<std::string> notes_;
};

// A difference between a snapshot taken when a scope began and one taken when it ended: a fake made in
// the scope and still alive (no count before), or a fake of the outer scope whose count moved.
struct LedgerFinding {
    LedgerEntry now;
    bool existed_before;
    ULONG references_before;
};

std::vector<LedgerFinding> compare(const std::vector<LedgerEntry>& before, const std::vector<LedgerEntry>& after);

// One line per finding and per note, naming the objects and their counts; empty when all is clean.
std::string describe(const std::vector<LedgerFinding>& findings, const std::vector<std::string>& notes);

// Ends a scope that began with `baseline`: adds a non-fatal failure to the running test naming every
// leak, imbalance and note, then forgets the leaked fakes so that they do not fail later scopes too.
void check_ledger_since(const std::vector<LedgerEntry>& baseline);

} // namespace fake
