// The acceptance kit users run on a scratch database of their own server: it installs the
// development schema, generates a ledger with totals made wrong on purpose in every family, runs
// every operation, the dry runs and the run over every company, compares each result with what
// the generator reckoned, makes one rebuild per family fail midway (on the client and on the
// server) and shows the totals unchanged, and removes what it made. Each step passes or fails
// with the first row that differs. Never throws.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace veriprog::selftest {

struct SelftestOptions {
  std::string connection;      // of the scratch database
  std::int64_t lines = 20000;  // journal lines to generate, about
  std::uint64_t seed = 1;
  int jobs = 2;       // connections of the run over every company
  bool keep = false;  // leave the schema and the ledger in place
  // For the kit's own tests: the check family ("vat", "plafond", ...) one of whose result rows
  // is falsified before it is compared, so that the kit must fail on that row.
  std::string corrupt_family = {};
};

struct StepResult {
  std::string step;        // "check", "dry run", "rebuild", "client fault", ...
  std::string operation;   // "accounts", "vat", "plafond-activity", "every company", ...
  std::int64_t units = 0;  // companies and periods it ran on
  std::int64_t rows = 0;   // rows of its results (check rows, rows changed, rows written)
  std::int64_t flagged = 0;
  double seconds = 0;
  bool passed = false;
  std::string message = {};     // what went wrong, or what it showed
  std::string difference = {};  // the first row that differs from what was expected
  std::string statement = {};   // the statement that failed, when one did
};

struct SelftestResult {
  // The database is no place for the self-test (it holds a ledger, tables cannot be made, it
  // cannot be reached): nothing was written, and this says why.
  std::string refused = {};
  std::vector<StepResult> steps = {};
  std::vector<std::pair<std::string, std::string>> server = {};  // ServerFacts
  bool passed() const;
};

// Runs the kit; `on_step` is told each step as it ends (on the caller's thread).
SelftestResult RunSelftest(const SelftestOptions& options,
                           const std::function<void(const StepResult&)>& on_step = nullptr);

}  // namespace veriprog::selftest
