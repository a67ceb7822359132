// The live-object ledger: every fake COM object registers here while it exists, so that a test which
// leaves one alive, or leaves a reference count changed, can be told so by name.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
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
    bool alive(std::uint64_t id) const;

    // The fakes alive and not yet reported as leaked, in creation order.
    std::vector<LedgerEntry> snapshot() const;

    // Problems seen while they happened (an over-release caught by a holder), reported with the leaks.
    void note(std::string problem);

private:
    friend void check_ledger_since(const std::vector<LedgerEntry>& baseline);

    struct Record {
        std::string name;
        const std::atomic<ULONG>* references;
        // Reported as leaked once, so that it does not fail later scopes too; `alive` still knows it.
        bool reported = false;
    };

    mutable std::mutex mutex_;
    std::uint64_t next_id_ = 1;
    std::map<std::uint64_t, Record> records_;
    std::vector<std::string> notes_;
};

// Ends a scope that began with `baseline`: adds a non-fatal failure to the running test naming every fake
// made in the scope and still alive, every fake of the outer scope whose count moved, and every note.
void check_ledger_since(const std::vector<LedgerEntry>& baseline);

} // namespace fake
