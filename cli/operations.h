// The operations of the library's one table (veriprog/operations.h) as the command line offers
// them: the options of their parameter fields, their titles, their exit codes and the lines that
// end every command. The single commands (`check accounts`), the dry run and `check all` /
// `rebuild all` share them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/history_options.h"
#include "veriprog/main_object.h"
#include "veriprog/operation_run.h"
#include "veriprog/operations.h"

namespace veriprog::cli {

struct OperationOptions : OperationParameters {
  bool flagged_only = false;
  bool dry_run = false;
  std::optional<double> recheck;  // seconds before the flagged rows are checked again
  std::string plan, apply;        // --plan FILE, --apply FILE
  std::string format = "table";
  HistoryOptions history;
  bool new_only = false;  // only the flagged keys the previous run of the scope did not flag
  bool keys = false;      // each row's KEY and FINDING, as the history knows it
};

// "check accounts", "rebuild vat", ...
std::string Title(const OperationInfo& op);

// The connection string: the option, else $VERIPROG_CONNECTION, else libpq's own defaults.
std::string ConnectionString(const std::string& given);
// Fills the parameter object from the options, the connection string as ConnectionString gives
// it. Does not touch GConnect.
void FillInput(CLSCG_VERIPROGINPUT& in, const OperationOptions& o, bool rebuild);
// The parameters as given, the connection string as ConnectionString gives it.
OperationParameters ParametersOf(const OperationOptions& o);

// --lock-timeout and --statement-timeout, into `o`.
void AddTimeoutOptions(CLI::App* cmd, OperationParameters& o);
// The options' bounds on waiting, the wait said as a line on stderr.
RunLimits LimitsOf(const OperationParameters& o);

// 0 nothing flagged, 1 rows flagged, 2 invalid parameters, 3 program or database error.
ExitCode ExitCodeOf(const Outcome& outcome);
ExitCode ExitCodeOf(StatoEnum stato);
// The outcome in a word or two: "ok", "flagged", "invalid parameters", "error", "interrupted".
std::string OutcomeText(ExitCode code);

// After Ctrl-C or SIGTERM: rolls back what the operation left open on main's connection, says
// what became of the ledger (`what` names the work: "the rebuild", "the dry run") and returns
// 128 + the signal's number.
int ReportInterruption(CLSCG_VERIPROG& main, bool wrote, bool in_transaction, bool finished,
                       std::string_view what, int signal);

// The last line every operation writes on stderr, for people and for scripts:
//   summary: check accounts rows=1234 flagged=5 elapsed=0.42s exit=1
// Rows and flagged are "-" where the operation has none (a rebuild).
void PrintSummary(std::string_view operation, std::optional<std::int64_t> rows,
                  std::optional<std::int64_t> flagged, double seconds, int exit_code);

// Seconds since `start`, for the summaries.
double SecondsSince(std::int64_t start_ns);
std::int64_t NowNs();

}  // namespace veriprog::cli
