// Every stored running total of the ledger as lines of text, sorted, so that the self-test can
// show that a rebuild which failed, or a dry run, left them exactly as they were.
#pragma once

#include <string>
#include <vector>

#include "veriprog/connection.h"

namespace veriprog::selftest {

// The tables of stored totals that some rebuild writes.
const std::vector<std::string>& StoredTotalTables();

struct StoredTotals {
  std::vector<std::string> lines;  // "TABLE: value|value|...", sorted
};
StoredTotals ReadStoredTotals(db::Connection& connection);

// The first line that one holds and the other does not, said as "before: ..." or "after: ...";
// empty when they are the same.
std::string FirstDifference(const StoredTotals& before, const StoredTotals& after);

}  // namespace veriprog::selftest
