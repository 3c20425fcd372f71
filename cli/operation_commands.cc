// check and rebuild: one subcommand per operation of the main object, each offering the options
// of the parameter fields its operation reads, and nothing else.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/dry_run_command.h"
#include "cli/html_report.h"
#include "cli/interrupt.h"
#include "cli/operations.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "veriprog/explain.h"

namespace veriprog::cli {
namespace {

void AddParameterOptions(CLI::App* cmd, OperationOptions& o, bool rebuild, unsigned reads) {
  cmd->add_option("--connection", o.connection,
                  "postgresql:// URI, libpq key=value text or ODBC Driver=...;/DSN=... string "
                  "(default: $VERIPROG_CONNECTION, "
                  "then libpq's environment)");
  cmd->add_option("--company", o.company, "company code (Ditta)");
  if (reads & kFiscalYear) {
    cmd->add_option("--fiscal-year", o.fiscal_year, "fiscal year (Esercizio)");
    cmd->add_option("--fiscal-seq", o.fiscal_seq, "fiscal-year sequence (Progressivo)");
  }
  if (reads & kYear) cmd->add_option("--year", o.year, "calendar year (Anno)");
  if (reads & kBranch) {
    cmd->add_option("--branch", o.branch, "branch code; all branches when omitted (CodiceSede)");
  }
  if (reads & kActivity) {
    cmd->add_flag("--by-activity", o.by_activity, "work per activity (ElaborazionePerAttivita)");
    cmd->add_option("--activity-code", o.activity_code, "activity code (CodiceAttivita)");
    cmd->add_option("--activity-id", o.activity_id, "activity identifier (IDAttivita)");
  }
  if (reads & kActivityCode) {
    cmd->add_option("--activity-code", o.activity_code,
                    "activity code; every activity of the company when omitted (CodiceAttivita)");
  }
  if (reads & kIncludeStored) {
    cmd->add_flag("--include-stored", o.include_stored,
                  "compare with the stored totals: one row per key with its differences");
  }
  AddTimeoutOptions(cmd, o);
  if (!rebuild) {
    cmd->add_flag("--flagged-only", o.flagged_only, "print only the rows flagged as different");
    cmd->add_option("--format", o.format,
                    "result as table, csv, json or html (one self-contained page)")
        ->check(CLI::IsMember({"table", "csv", "json", "html"}));
  } else {
    cmd->add_flag("--no-transaction", o.no_transaction,
                  "write without a transaction: a failing step leaves earlier steps' writes");
    cmd->add_flag("--dry-run", o.dry_run,
                  "rebuild inside a transaction, list the stored rows it would insert, update "
                  "and delete with their old and new amounts, then roll back: nothing is written "
                  "(exit 1 when something would change)");
    auto* plan = cmd->add_option(
        "--plan", o.plan,
        "a dry run that also saves what the rebuild would write, with a fingerprint of the "
        "journal it read, to FILE for --apply");
    cmd->add_option("--apply", o.apply,
                    "rebuild as planned in FILE: committed only when the journal is as it was and "
                    "the rebuild writes exactly what the plan lists, otherwise rolled back "
                    "(exit 4)")
        ->excludes(plan);
    cmd->add_option("--format", o.format, "outcome: table (plain text), csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
  }
}

// The page of one check: its summary, its flagged rows and, for the account totals, the months
// of each flagged key.
void PrintHtml(CLSCG_VERIPROG& main, const OperationInfo& op, const OperationOptions& o,
               const Outcome& outcome) {
  ReportUnit unit;
  unit.company = o.company.value_or("");
  unit.period = op.reads & kFiscalYear
                    ? o.fiscal_year.value_or("") + "/" + o.fiscal_seq.value_or("")
                    : o.year.value_or("");
  unit.family = op.family;
  unit.rows = outcome.row_count;
  unit.flagged = outcome.flagged;
  unit.seconds = outcome.seconds;
  unit.outcome = OutcomeText(ExitCodeOf(outcome));
  unit.message = outcome.errore;
  unit.result = outcome.rows;
  if (std::string_view(op.family) == "accounts" && outcome.stato == tsOk && outcome.flagged > 0 &&
      outcome.rows) {
    unit.charts = FlaggedAccountCharts(main, *outcome.rows, kChartsPerUnit, &unit.chart_error);
  }
  WriteHtmlReport(std::cout, Title(op) + ", company " + unit.company + ", " + unit.period, {unit});
}

int Run(const OperationInfo& op, const OperationOptions& o) {
  if (op.rebuild && !o.apply.empty()) return RunApply(op, o);
  if (op.rebuild && (o.dry_run || !o.plan.empty())) return RunDryRun(op, o);
  CLSCG_VERIPROG main;
  FillInput(*main.CPInput(), o, op.rebuild);
  main.SetLimits(LimitsOf(o));
  const bool in_transaction = op.rebuild && !o.no_transaction;
  Outcome outcome;
  {
    auto progress = std::make_shared<ProgressSink>(stderr);
    main.Advise(progress);
    outcome = RunOperation(main, op, o.include_stored);
    main.Unadvise(progress.get());
    progress->Finish(outcome.stato == tsOk);
  }
  auto summary = [&](int code) {
    if (op.rebuild) {
      PrintSummary(Title(op), std::nullopt, std::nullopt, outcome.seconds, code);
    } else {
      auto counted = [&](std::int64_t n) {
        return outcome.counted ? std::optional<std::int64_t>(n) : std::nullopt;
      };
      PrintSummary(Title(op), counted(outcome.row_count), counted(outcome.flagged), outcome.seconds,
                   code);
    }
    return code;
  };
  if (const int signal = InterruptSignal()) {
    return summary(ReportInterruption(main, op.rebuild, in_transaction, main.Stato() == tsOk,
                                      op.rebuild ? "the rebuild" : "the check", signal));
  }

  std::shared_ptr<db::Recordset> rows = outcome.rows;
  // The page lists the flagged rows anyway, and its charts read the rows around them.
  if (rows && o.flagged_only && o.format != "html" && rows->FieldIndex("FLAGSBIL")) {
    // Within the operation's own view (per activity: the company, or the named activity).
    const std::string view = rows->filter();
    rows->Filter((view.empty() ? "" : view + " AND ") + "FLAGSBIL <> ''");
  }
  if (o.format == "json") {
    nlohmann::ordered_json out{{"format_version", kJsonFormatVersion},
                               {"operation", Title(op)},
                               {"stato", static_cast<int>(outcome.stato)},
                               {"errore", outcome.errore}};
    out["rows"] = rows ? RowsToJson(*rows) : nlohmann::ordered_json::array();
    std::cout << out.dump(2) << '\n';
  } else if (o.format == "html") {
    PrintHtml(main, op, o, outcome);
  } else if (rows && outcome.stato == tsOk) {
    if (o.format == "csv") {
      PrintCsv(std::cout, *rows);
    } else {
      PrintTable(std::cout, *rows);
    }
  }
  if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
  if (!outcome.causa.empty()) std::cerr << "  (" << outcome.causa << ")\n";
  return summary(static_cast<int>(ExitCodeOf(outcome)));
}

void AddOperation(CLI::App* parent, const OperationInfo& op, ExitCode& code) {
  auto options = std::make_shared<OperationOptions>();
  CLI::App* cmd = parent->add_subcommand(op.family, op.help);
  AddParameterOptions(cmd, *options, op.rebuild, op.reads);
  cmd->callback([options, &op, &code] { code = static_cast<ExitCode>(Run(op, *options)); });
}

}  // namespace

void AddOperationCommands(CLI::App& app, ExitCode& code) {
  CLI::App* check = app.add_subcommand("check", "Compare stored totals with the journal");
  check->require_subcommand(1);
  for (const OperationInfo& op : Operations()) {
    if (!op.rebuild) AddOperation(check, op, code);
  }
  AddAllCommand(check, false, code);

  CLI::App* rebuild = app.add_subcommand(
      "rebuild", "Reset stored totals and write them again from the journal (in one transaction)");
  rebuild->require_subcommand(1);
  for (const OperationInfo& op : Operations()) {
    if (op.rebuild) AddOperation(rebuild, op, code);
  }
  AddAllCommand(rebuild, true, code);
}

}  // namespace veriprog::cli
