// Fails the test (or test suite) that leaves a fake COM object alive or a reference count changed.
#pragma once

#include "support/ledger.h"

#include <gtest/gtest.h>

#include <vector>

namespace fake {

class LeakListener : public testing::EmptyTestEventListener {
public:
    void OnTestSuiteStart(const testing::TestSuite&) override { suite_baseline_ = Ledger::instance().snapshot(); }
    void OnTestStart(const testing::TestInfo&) override { test_baseline_ = Ledger::instance().snapshot(); }
    // Runs before the result printer's OnTestEnd (listeners end in reverse order), so the failure
    // counts against the test that caused it.
    void OnTestEnd(const testing::TestInfo&) override { check_ledger_since(test_baseline_); }
    // Fakes made by SetUpTestSuite must be gone after TearDownTestSuite.
    void OnTestSuiteEnd(const testing::TestSuite&) override { check_ledger_since(suite_baseline_); }

private:
    std::vector<LedgerEntry> suite_baseline_;
    std::vector<LedgerEntry> test_baseline_;
};

} // namespace fake
