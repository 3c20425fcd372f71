// Every family of every company and fiscal year of the ledger (or of those chosen), checked or
// rebuilt on several connections at once. A company is the unit of work: one worker at a time
// takes it, with a connection and a main object of its own, and runs its families in order (the
// account totals before the turnover that the account rebuild resets). One company's failure
// never stops the others; each rebuild is its own transaction. The caller's callbacks run on the
// caller's thread, never on a worker's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "veriprog/explain.h"
#include "veriprog/findings.h"
#include "veriprog/operation_run.h"
#include "veriprog/recordset.h"

namespace veriprog {

// Whole numbers and ranges: "1,3,5-9"; the empty text is every number.
class NumberSet {
 public:
  NumberSet() = default;  // every number
  // nullopt with the reason in `error` (naming `what`) when the text is none.
  static std::optional<NumberSet> Parse(const std::string& text, const char* what,
                                        std::string* error = nullptr);
  bool Contains(std::int64_t n) const;
  bool all() const { return ranges_.empty(); }
  // The single numbers named (not ranges), to say which were not found.
  const std::vector<std::int64_t>& singles() const { return singles_; }

 private:
  std::vector<std::pair<std::int64_t, std::int64_t>> ranges_;
  std::vector<std::int64_t> singles_;
};

// The families in the order a company runs them: the name in the summary, the operation's
// family in the operation table, whether it works per fiscal year (the account families) or per
// calendar year (the VAT families), and per activity.
struct RunAllFamily {
  std::string name;
  std::string operation;
  bool per_fiscal_year;
  bool by_activity;
};
const std::vector<RunAllFamily>& RunAllFamilies(bool rebuild);

struct RunAllOptions {
  std::string connection;  // SConnect of every worker
  NumberSet companies, fiscal_years;
  std::vector<std::string> families;  // names of RunAllFamilies; empty: every family
  int jobs = 1;                       // workers, each on its own connection
  bool rebuild = false;
  bool keep_rows = false;  // keep every check's rows (otherwise only the counts stay)
  // Monthly charts of the flagged account keys, at most this many per check (0: none).
  std::size_t charts = 0;
  bool forward_events = false;  // the main objects' events reach on_progress too
  // Seconds a unit waits for its company's lock, and that each statement may run; nullopt: no
  // limit (veriprog/run_limits.h).
  std::optional<double> lock_timeout, statement_timeout;
  // A JSON run report, rewritten whole after every unit so that it always tells what was done,
  // what failed and why, and what never ran; empty: none.
  std::string report;
  // The report of an earlier run of the same kind: only its units that failed, were interrupted
  // or never ran run again, and the new report (this file, unless `report` names another) keeps
  // the others as they were.
  std::string retry_failed;
  // Each check's flagged keys kept with its unit (UnitResult::findings), for a run history,
  // though its rows are not kept.
  bool keep_findings = false;
  // Each rebuild run so that it keeps its change set (UnitResult::change_set), for undo: the
  // stored totals read before and after, in the rebuild's own transaction.
  bool record_changes = false;
};

struct UnitResult {
  std::int64_t ditta = 0;
  std::string period = {};  // "2024/1" for a fiscal year, "2024" for a calendar year
  std::string family = {};
  bool run = false;          // false: not started (stopped before it)
  bool interrupted = false;  // stopped while it ran
  int attempts = 0;          // a rebuild the server chose as a deadlock victim runs again
  Outcome outcome = {};
  OperationParameters parameters = {};  // as the unit ran with them
  std::vector<Finding> findings = {};   // with keep_findings: the check's flagged keys
  std::string change_set = {};          // with record_changes: the rebuild's (JSON)
  std::vector<MonthSeries> charts = {};
  std::string chart_error = {};
};

// What the caller's thread is told while the companies run.
struct RunAllProgress {
  enum class Kind {
    kStarted,          // `count` units of `companies` companies are planned
    kUnitStarted,      // units[0] of company `ditta` begins
    kUnitFinished,     // units[0] has its outcome
    kCompanyFinished,  // units[0..count) are the company's, done in `seconds`
    kEvent,            // an event of the main object working for `ditta`
    kNotice            // `event` says what a unit of `ditta` waits for or does again
  };
  Kind kind;
  std::int64_t ditta = 0;
  const UnitResult* units = nullptr;
  std::size_t count = 0;
  std::size_t companies = 0;
  double seconds = 0;
  std::string event = {};
  std::vector<db::Variant> args = {};
};

struct RunAllCallbacks {
  std::function<void(const RunAllProgress&)> on_progress;
  // Asked on the caller's thread about ten times a second: true stops the run (the statements
  // under way are interrupted and their rebuilds roll back; the units not begun stay not run).
  std::function<bool()> should_stop;
};

struct RunAllResult {
  // tsParametriNonValidi when the first connection, the one that lists the companies, could not
  // be made (causa says why), or the report to retry cannot be read or the report cannot be
  // written at the start; tsProgramError when the companies could not be listed.
  StatoEnum stato = tsOk;
  std::string errore, causa;
  std::vector<UnitResult> units;  // by company, then in the order each company ran them
  int companies = 0;
  int jobs = 0;         // workers started, each on a connection at a time: at most one per company
  int connections = 0;  // the workers' connections actually made (a company each), refused ones not
  bool stopped = false;
  double seconds = 0;
  // Why the run report could not be written after some unit, if it could not (the run went on).
  std::string report_error;
};

// The operation a unit of a run of that kind runs, or nullptr for a family not named so.
const OperationInfo* OperationOf(const UnitResult& unit, bool rebuild);

// Whether the unit failed: an error, an interruption, or not run; never merely flagged.
bool Failed(const UnitResult& unit);

// The unit's outcome in a word or two: "ok", "flagged", "invalid parameters", "error",
// "interrupted", "not run".
std::string OutcomeText(const UnitResult& unit);
// Errore, and in brackets why no connection could be made.
std::string MessageOf(const UnitResult& unit);
// One row per unit: COMPANY, PERIOD, FAMILY, with `counts` ROWS and FLAGGED (Null where the unit
// gave no rows), SECONDS, OUTCOME, MESSAGE.
db::Recordset UnitRows(const RunAllResult& result, bool counts);

// Runs them all. Never throws.
RunAllResult RunAll(const RunAllOptions& options, const RunAllCallbacks& callbacks = {});

}  // namespace veriprog
