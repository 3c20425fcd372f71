// check and rebuild: one subcommand per operation of the main object, each offering the options
// of the parameter fields its operation reads, and nothing else.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/dry_run_command.h"
#include "cli/html_report.h"
#include "cli/interrupt.h"
#include "cli/openmetrics.h"
#include "cli/operations.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "veriprog/change_set.h"
#include "veriprog/explain.h"
#include "veriprog/history.h"
#include "veriprog/recheck.h"

namespace veriprog::cli {
namespace {

// Seconds from 0 to kMaxRecheckSeconds; "nan" and "inf" are no pause.
const CLI::Validator kRecheckSeconds(
    [](std::string& text) {
      char* end = nullptr;
      const double v = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(v >= 0 && v <= kMaxRecheckSeconds))
        return std::string("seconds from 0 to 3600, not ") + text;
      return std::string();
    },
    "SECONDS");

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
  AddHistoryOptions(cmd, o.history);
  if (!rebuild) {
    cmd->add_flag("--flagged-only", o.flagged_only, "print only the rows flagged as different");
    cmd->add_flag("--new-only", o.new_only,
                  "print only the flagged keys that the previous run of the same check did not "
                  "flag and nobody acknowledged (with KEY and FINDING columns); exit 1 only when "
                  "there is one");
    cmd->add_flag("--keys", o.keys,
                  "add each row's KEY (as ack takes it) and FINDING (new, known, acknowledged)");
    cmd->add_option("--format", o.format,
                    "result as table, csv, json, html (one self-contained page) or openmetrics "
                    "(for a metrics collector; no rows)")
        ->check(CLI::IsMember({"table", "csv", "json", "html", "openmetrics"}));
    cmd->add_option("--recheck", o.recheck,
                    "when rows are flagged, wait SECONDS (at most 3600) and check them again: "
                    "each flagged row gets RECHECK confirmed (still different) or transient (gone: "
                    "a posting in flight); exit 1 when one is confirmed, 0 when all were transient")
        ->check(kRecheckSeconds);
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

// "2024/1" for a fiscal year, "2024" for a calendar year, as the options give them.
std::string Period(const OperationInfo& op, const OperationOptions& o) {
  return op.reads & kFiscalYear ? o.fiscal_year.value_or("") + "/" + o.fiscal_seq.value_or("")
                                : o.year.value_or("");
}

// The page of one check: its summary, its flagged rows and, for the account totals, the months
// of each flagged key.
void PrintHtml(CLSCG_VERIPROG& main, history::Store* store, const OperationInfo& op,
               const OperationOptions& o, const Outcome& outcome,
               const std::shared_ptr<db::Recordset>& rows) {
  ReportUnit unit;
  unit.company = o.company.value_or("");
  unit.period = Period(op, o);
  unit.family = op.family;
  unit.rows = outcome.row_count;
  unit.flagged = outcome.flagged;
  unit.seconds = outcome.seconds;
  unit.outcome = OutcomeText(ExitCodeOf(outcome));
  unit.message = outcome.errore;
  unit.result = rows;  // the check's own, or with the recheck's verdicts
  if (std::string_view(op.family) == "accounts" && outcome.stato == tsOk && outcome.flagged > 0 &&
      outcome.rows) {
    unit.charts = FlaggedAccountCharts(main, *outcome.rows, kChartsPerUnit, &unit.chart_error);
  }
  unit.trend = TrendOf(store, history::RunOf(op, ParametersOf(o)));
  WriteHtmlReport(std::cout, Title(op) + ", company " + unit.company + ", " + unit.period, {unit});
}

// The flagged rows checked again after the pause, its progress on stderr as the first check's.
Recheck RunRecheck(CLSCG_VERIPROG& main, const OperationInfo& op, const OperationOptions& o,
                   const Outcome& first) {
  auto progress = std::make_shared<ProgressSink>(stderr);
  main.Advise(progress);
  const Recheck recheck =
      RecheckFlagged(main, op, o, first, {*o.recheck, [&] {
                                            std::cerr << "recheck: " << first.flagged
                                                      << " flagged, checked again in " << *o.recheck
                                                      << " s" << std::endl;
                                          }});
  main.Unadvise(progress.get());
  progress->Finish(recheck.second.stato == tsOk);
  return recheck;
}

int Run(const OperationInfo& op, const OperationOptions& o) {
  if (op.rebuild && !o.apply.empty()) return RunApply(op, o);
  if (op.rebuild && (o.dry_run || !o.plan.empty())) return RunDryRun(op, o);
  bool refused = false;
  const std::unique_ptr<history::Store> store = OpenHistory(o.history, refused);
  if (refused) return static_cast<int>(ExitCode::kInvalidParameters);
  if ((o.new_only || o.keys) && !store) {
    std::cerr << "--new-only and --keys need the run history (not --no-history)\n";
    return static_cast<int>(ExitCode::kInvalidParameters);
  }
  CLSCG_VERIPROG main;
  FillInput(*main.CPInput(), o, op.rebuild);
  main.SetLimits(LimitsOf(o));
  const bool in_transaction = op.rebuild && !o.no_transaction;
  Outcome outcome;
  std::string change_set;  // a rebuild's, for the history: what undo takes back
  {
    auto progress = std::make_shared<ProgressSink>(stderr);
    main.Advise(progress);
    if (in_transaction && store) {
      const RecordedRebuild recorded = RebuildRecorded(main, op);
      outcome = recorded.outcome;
      if (recorded.committed) change_set = ChangeSetToJson(recorded.changes);
    } else {
      outcome = RunOperation(main, op, o.include_stored);
    }
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
    if (store && !change_set.empty()) {
      // Committed before the signal came: its way back is kept all the same.
      PrintRecorded(history::RecordOperation(*store, op, ParametersOf(o), outcome,
                                             static_cast<int>(ExitCodeOf(outcome)), change_set));
    }
    return summary(ReportInterruption(main, op.rebuild, in_transaction, main.Stato() == tsOk,
                                      op.rebuild ? "the rebuild" : "the check", signal));
  }

  int code = static_cast<int>(ExitCodeOf(outcome));
  std::optional<Recheck> recheck;
  if (o.recheck && outcome.stato == tsOk && outcome.flagged > 0) {
    recheck = RunRecheck(main, op, o, outcome);
    if (const int signal = InterruptSignal()) {
      return summary(ReportInterruption(main, false, false, true, "the recheck", signal));
    }
  }

  history::Recorded recorded;
  if (store) {
    std::vector<Finding> confirmed;
    if (recheck && recheck->done) {
      for (const RecheckedFinding& f : recheck->findings)
        if (f.confirmed) confirmed.push_back(f.first);
    }
    recorded = history::RecordOperation(*store, op, ParametersOf(o), outcome, code, change_set, 0,
                                        recheck && recheck->done ? &confirmed : nullptr);
    PrintRecorded(recorded);
    if ((o.new_only || o.keys) && !recorded.error.empty()) {
      // Without the history's word no row can be told new: "nothing new" would be a lie.
      std::cerr << "--new-only and --keys need the history to record the run\n";
      return summary(static_cast<int>(ExitCode::kProgramError));
    }
    if (!change_set.empty() && recorded.run > 0) {
      std::cerr << "history: the rebuild's change set is kept (veriprog-cli undo " << recorded.run
                << " writes the totals back as they were)\n";
    } else if (!change_set.empty()) {
      // The totals are written; what is lost is the way back, and the user should know it.
      std::cerr << "the rebuild was committed, but the history could not keep its change set: "
                   "undo cannot take it back\n";
      code = static_cast<int>(ExitCode::kProgramError);
    }
  }
  std::shared_ptr<db::Recordset> rows = outcome.rows;
  if (rows && outcome.stato == tsOk && (o.new_only || o.keys) && rows->FieldIndex("FLAGSBIL")) {
    rows = history::WithFindings(*rows, op, ParametersOf(o), recorded.findings);
    if (o.new_only) {
      rows->Filter("FINDING = 'new'");
      code = rows->RecordCount() > 0 ? static_cast<int>(ExitCode::kFlagged)
                                     : static_cast<int>(ExitCode::kOk);
    }
  }
  // The page lists the flagged rows anyway, and its charts read the rows around them.
  if (rows && o.flagged_only && !o.new_only && o.format != "html" && rows->FieldIndex("FLAGSBIL")) {
    // Within the operation's own view (per activity: the company, or the named activity).
    const std::string view = rows->filter();
    rows->Filter((view.empty() ? "" : view + " AND ") + "FLAGSBIL <> ''");
  }
  if (recheck && recheck->done && rows) {
    rows = RecheckedRows(*recheck, op, o, *rows);
    if (!rows) {
      std::cerr << "recheck: its verdicts could not be added to the rows\n";
      return summary(static_cast<int>(ExitCode::kProgramError));
    }
  }
  if (o.format == "json") {
    nlohmann::ordered_json out{{"format_version", kJsonFormatVersion},
                               {"operation", Title(op)},
                               {"stato", static_cast<int>(outcome.stato)},
                               {"errore", outcome.errore}};
    out["rows"] = rows ? RowsToJson(*rows) : nlohmann::ordered_json::array();
    if (recheck && recheck->done) {
      out["recheck"] = {{"seconds", *o.recheck},
                        {"confirmed", recheck->confirmed},
                        {"transient", recheck->transient}};
    }
    std::cout << out.dump(2) << '\n';
  } else if (o.format == "html") {
    PrintHtml(main, store.get(), op, o, outcome, rows);
  } else if (o.format == "openmetrics") {
    const int ran = static_cast<int>(ExitCodeOf(outcome));
    // A failed run tells when the check last went through, as the history remembers it.
    std::optional<double> last_success;
    if (WentThrough(ran)) {
      last_success = UnixSeconds();
    } else if (store) {
      last_success = store->LastSuccess(history::RunOf(op, ParametersOf(o)), nullptr);
    }
    WriteOpenMetrics(std::cout, "check",
                     {{o.company.value_or(""), Period(op, o), op.family,
                       outcome.counted ? std::optional(outcome.flagged) : std::nullopt,
                       outcome.seconds, ran, last_success}});
  } else if (rows && outcome.stato == tsOk) {
    if (o.format == "csv") {
      PrintCsv(std::cout, *rows);
    } else {
      PrintTable(std::cout, *rows);
    }
  }
  if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
  if (!outcome.causa.empty()) std::cerr << "  (" << outcome.causa << ")\n";
  if (recheck) {
    if (!recheck->done) {
      // No verdicts: the first check's differences stand, and the failure is the outcome.
      std::cerr << "recheck failed: " << recheck->second.errore << '\n';
      if (!recheck->second.causa.empty()) std::cerr << "  (" << recheck->second.causa << ")\n";
      const ExitCode second = ExitCodeOf(recheck->second.stato);
      return summary(static_cast<int>(second == ExitCode::kOk ? ExitCode::kProgramError : second));
    }
    std::cerr << "recheck: " << recheck->confirmed << " confirmed, " << recheck->transient
              << " transient after " << *o.recheck << " s\n";
    // With --new-only, only a confirmed difference among the new ones counts.
    std::int64_t counted = recheck->confirmed;
    if (o.new_only && rows) {
      counted = 0;
      const auto verdict = rows->FieldIndex("RECHECK");
      for (rows->MoveFirst(); verdict && !rows->eof(); rows->MoveNext())
        counted += rows->Get(*verdict).ToText() == "confirmed" ? 1 : 0;
    }
    if (counted == 0) code = static_cast<int>(ExitCode::kOk);
  }
  return summary(code);
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
