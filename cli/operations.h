// The operations of the main object as the command line offers them, made from the library's
// one table (veriprog/operations.h): every check and rebuild, the parameter fields it reads, how
// it runs on a main object and where it leaves its rows. The single commands (`check accounts`),
// the dry run and `check all` / `rebuild all` share them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "veriprog/main_object.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"

namespace veriprog::cli {

struct OperationOptions {
  std::string connection;
  std::optional<std::string> company, fiscal_year, fiscal_seq, year, branch, activity_code,
      activity_id;
  bool by_activity = false;
  bool include_stored = false;
  bool flagged_only = false;
  bool no_transaction = false;
  bool dry_run = false;
  std::string format = "table";
};

using Operation = std::function<void(CLSCG_VERIPROG&, const OperationOptions&)>;

struct OperationEntry {
  std::string name;  // as on the command line: "accounts", "vat", ...
  std::string help;
  bool rebuild = false;
  unsigned reads = 0;
  Operation run;
  // Where a check leaves its rows; null for a rebuild.
  std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result = nullptr;

  std::string Title() const { return (rebuild ? "rebuild " : "check ") + name; }
};

const std::vector<OperationEntry>& Checks();
const std::vector<OperationEntry>& Rebuilds();
// The entry of that name, or null.
const OperationEntry* FindOperation(bool rebuild, std::string_view name);

// The connection string: the option, else $VERIPROG_CONNECTION, else libpq's own defaults.
std::string ConnectionString(const std::string& given);
// Fills the parameter object from the options (a rebuild runs in a transaction unless told not
// to). Does not touch GConnect.
void FillInput(CLSCG_VERIPROGINPUT& in, const OperationOptions& o, bool rebuild);

// What one operation left behind.
struct Outcome {
  StatoEnum stato = tsOk;
  std::string errore;                   // Errore
  std::string causa;                    // CausaConnessione: why the connection could not be made
  std::shared_ptr<db::Recordset> rows;  // a check's rows, in the operation's own view
  std::int64_t row_count = 0;           // rows in that view
  std::int64_t flagged = 0;             // of them, flagged as different (FLAGSBIL not blank)
  double seconds = 0;
};

// Runs the operation on main, whose parameter object is filled, and counts its rows. Never
// throws; the progress goes to whatever sinks main has.
Outcome RunOperation(CLSCG_VERIPROG& main, const OperationEntry& op, const OperationOptions& o);

// 0 nothing flagged, 1 rows flagged, 2 invalid parameters, 3 program or database error.
ExitCode ExitCodeOf(const Outcome& outcome);
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
