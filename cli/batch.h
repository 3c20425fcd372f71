// check all and rebuild all: every family of every company and fiscal year of the ledger (or of
// those chosen), on several connections at once. A company is the unit of work: one thread at a
// time takes it, with a connection and a main object of its own, and runs its families in order
// (the account totals before the turnover that the account rebuild resets). One company's
// failure never stops the others; each rebuild is its own transaction.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/account_months.h"
#include "cli/operations.h"

namespace veriprog::cli {

// Whole numbers and ranges: "1,3,5-9". Throws std::invalid_argument with the reason.
class NumberSet {
 public:
  NumberSet() = default;  // every number
  static NumberSet Parse(const std::string& text, const char* what);
  bool Contains(std::int64_t n) const;
  bool all() const { return ranges_.empty(); }
  // The single numbers named (not ranges), to say which were not found.
  const std::vector<std::int64_t>& singles() const { return singles_; }

 private:
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges_;
  std::vector<std::int64_t> singles_;
};

struct BatchOptions {
  std::string connection;
  NumberSet companies, fiscal_years;
  std::vector<std::string> families;  // empty: every family
  int jobs = 1;
  bool rebuild = false;
  bool keep_rows = false;  // keep every check's rows (otherwise only the counts stay)
  bool charts = false;     // monthly charts of the flagged account keys (the HTML page)
  bool show_progress = false;
};

// The families, in the order a company runs them: the name in the summary, the operation, and
// whether it works per fiscal year (accounts) or per calendar year (the VAT families).
struct BatchFamily {
  std::string name;
  std::string operation;
  bool per_fiscal_year;
  bool by_activity;
};
const std::vector<BatchFamily>& BatchFamilies(bool rebuild);

struct UnitResult {
  std::int64_t ditta = 0;
  std::string period = {};  // "2024/1" for a fiscal year, "2024" for a calendar year
  std::string family = {};
  bool run = false;          // false: not started (interrupted before it)
  bool interrupted = false;  // stopped by Ctrl-C or SIGTERM while it ran
  Outcome outcome = {};
  ExitCode code = ExitCode::kOk;
  std::vector<MonthSeries> charts = {};
  std::string chart_error = {};
};

struct BatchResult {
  std::vector<UnitResult> units;  // by company, then in the order each company ran them
  int exit_code = 0;              // the worst outcome; 128 + signal when interrupted
  int companies = 0;
  double seconds = 0;
};

// The first connection, the one that lists the companies, could not be made.
class NoConnection : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs them all. Throws NoConnection, or std::exception when the companies cannot be listed;
// every later failure is a unit's outcome.
BatchResult RunBatch(const BatchOptions& options);

}  // namespace veriprog::cli
