// rebuild <family> --dry-run: the differences the library's dry run found, as tables for people,
// CSV or JSON.
#include "cli/dry_run_command.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/interrupt.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "db/text.h"
#include "veriprog/change_set.h"
#include "veriprog/dry_run.h"

namespace veriprog::cli {
namespace {

nlohmann::ordered_json DiffToJson(const std::vector<TableDiff>& diffs) {
  auto tables = nlohmann::ordered_json::array();
  for (const TableDiff& d : diffs) {
    auto changes = nlohmann::ordered_json::array();
    for (const RowChange& c : d.changes) {
      nlohmann::ordered_json key = nlohmann::ordered_json::object();
      for (const auto& [column, value] : c.key) {
        // Codes without their padding, as the database compares them.
        key[column] = value.kind() == db::Variant::Kind::kString
                          ? nlohmann::ordered_json(std::string(db::TrimRight(value.AsString())))
                          : ValueToJson(value);
      }
      auto values = nlohmann::ordered_json::array();
      for (const ValueChange& v : c.values) {
        values.push_back(
            {{"column", v.column}, {"old", ValueToJson(v.before)}, {"new", ValueToJson(v.after)}});
      }
      changes.push_back({{"change", c.kind}, {"key", key}, {"values", values}});
    }
    tables.push_back({{"table", d.table},
                      {"inserted", d.inserted},
                      {"updated", d.updated},
                      {"deleted", d.deleted},
                      {"unchanged", d.unchanged},
                      {"changes", changes}});
  }
  return tables;
}

// A rollback that failed: what the user should know of it, nothing more to do.
void SayRollbackFailed(const std::string& error) {
  if (error.empty()) return;
  std::cerr << "rollback failed (" << error
            << "); the server undoes the transaction when the connection closes\n";
}

}  // namespace

int RunDryRun(const OperationInfo& op, const OperationOptions& o) {
  const std::int64_t start = NowNs();
  const bool planning = !o.plan.empty();
  const std::string title = Title(op) + (planning ? " --plan" : " --dry-run");
  auto finish = [&](int code, std::optional<std::int64_t> rows = std::nullopt,
                    std::optional<std::int64_t> flagged = std::nullopt) {
    PrintSummary(title, rows, flagged, SecondsSince(start), code);
    return code;
  };
  if (o.no_transaction) {
    std::cerr << "--dry-run runs in a transaction that it rolls back: --no-transaction does not "
                 "go with it\n";
    return finish(static_cast<int>(ExitCode::kInvalidParameters));
  }
  if (planning) {
    if (const std::string problem = PlanDestinationProblem(o.plan); !problem.empty()) {
      std::cerr << problem << '\n';
      return finish(static_cast<int>(ExitCode::kInvalidParameters));
    }
  }
  CLSCG_VERIPROG main;
  FillInput(*main.CPInput(), o, true);
  main.SetLimits(LimitsOf(o));
  auto progress = std::make_shared<ProgressSink>(stderr);
  main.Advise(progress);
  DryRunResult result;
  ChangeSet plan;
  if (planning) {
    RecordedRebuild planned = PlanRebuild(main, op);
    result.outcome = std::move(planned.outcome);
    result.rollback_error = std::move(planned.rollback_error);
    result.diffs = ChangedValuesOnly(planned.changes.diffs);
    plan = std::move(planned.changes);
  } else {
    result = DryRun(main, op);
  }
  main.Unadvise(progress.get());
  progress->Finish(result.outcome.stato == tsOk);
  SayRollbackFailed(result.rollback_error);
  const Outcome& outcome = result.outcome;
  const std::vector<TableDiff>& diffs = result.diffs;
  if (const int signal = InterruptSignal()) {
    if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
    std::cerr << "interrupted: the dry run was rolled back; nothing was written\n";
    return finish(128 + signal);
  }
  if (outcome.stato != tsOk) {
    if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
    if (!outcome.causa.empty()) std::cerr << "  (" << outcome.causa << ")\n";
    return finish(static_cast<int>(ExitCodeOf(outcome.stato)));
  }
  const std::int64_t rows = result.Rows(), changed = result.Changed();
  if (o.format == "json") {
    std::cout << nlohmann::ordered_json{{"format_version", kJsonFormatVersion},
                                        {"operation", Title(op)},
                                        {"dry_run", true},
                                        {"stato", static_cast<int>(outcome.stato)},
                                        {"errore", outcome.errore},
                                        {"tables", DiffToJson(diffs)}}
                     .dump(2)
              << '\n';
  } else if (o.format == "csv") {
    db::Recordset changes = ChangeRows(diffs);
    PrintCsv(std::cout, changes);
  } else {
    std::cout << "Dry run of " << Title(op) << ": rolled back, nothing was written.\n\n";
    db::Recordset counts = CountRows(diffs);
    PrintTable(std::cout, counts);
    if (changed > 0) {
      std::cout << '\n';
      db::Recordset changes = ChangeRows(diffs);
      PrintTable(std::cout, changes);
    }
  }
  std::cerr << "dry run: " << changed << (changed == 1 ? " row" : " rows")
            << " would change; rolled back, nothing was written\n";
  if (planning) {
    std::string error;
    if (!SavePlan(plan, o.plan, &error)) {
      std::cerr << error << ": no plan was saved\n";
      return finish(static_cast<int>(ExitCode::kProgramError), rows, changed);
    }
    std::cerr << "plan saved to " << o.plan << "; apply it with --apply " << o.plan << '\n';
  }
  return finish(static_cast<int>(changed > 0 ? ExitCode::kFlagged : ExitCode::kOk), rows, changed);
}

int RunApply(const OperationInfo& op, const OperationOptions& o) {
  const std::int64_t start = NowNs();
  const std::string title = Title(op) + " --apply";
  auto finish = [&](ExitCode code, std::optional<std::int64_t> rows = std::nullopt) {
    PrintSummary(title, rows, std::nullopt, SecondsSince(start), static_cast<int>(code));
    return static_cast<int>(code);
  };
  if (o.no_transaction || o.dry_run) {
    std::cerr << "--apply commits or rolls back a transaction of its own: --no-transaction and "
                 "--dry-run do not go with it\n";
    return finish(ExitCode::kInvalidParameters);
  }
  std::string error;
  const auto plan = LoadPlan(o.apply, &error);
  if (!plan) {
    std::cerr << error << '\n';
    return finish(ExitCode::kInvalidParameters);
  }
  bool refused = false;
  const std::unique_ptr<history::Store> store = OpenHistory(o.history, refused);
  if (refused) return finish(ExitCode::kInvalidParameters);
  CLSCG_VERIPROG main;
  FillInput(*main.CPInput(), o, true);
  main.SetLimits(LimitsOf(o));
  auto progress = std::make_shared<ProgressSink>(stderr);
  main.Advise(progress);
  const RecordedRebuild result = RebuildRecorded(main, op, &*plan);
  main.Unadvise(progress.get());
  progress->Finish(result.outcome.stato == tsOk);
  SayRollbackFailed(result.rollback_error);
  const Outcome& outcome = result.outcome;
  // A signal after the commit stops nothing: the plan stands applied, and is recorded below.
  if (const int signal = InterruptSignal(); signal && !result.committed) {
    if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
    std::cerr << "interrupted: the rebuild was rolled back; nothing was written\n";
    PrintSummary(title, std::nullopt, std::nullopt, SecondsSince(start), 128 + signal);
    return 128 + signal;
  }
  ExitCode code = ExitCode::kOk;
  if (outcome.stato != tsOk) {
    if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
    if (!outcome.causa.empty()) std::cerr << "  (" << outcome.causa << ")\n";
    code = ExitCodeOf(outcome.stato);
  } else if (!result.committed) {
    std::cerr << "refused: " << result.refusal << "; rolled back, nothing was written\n";
    code = ExitCode::kRefused;
  } else {
    std::cerr << "applied: " << result.changes.Rows()
              << (result.changes.Rows() == 1 ? " row" : " rows") << " written as planned\n";
  }
  if (store) {
    // An applied plan is a rebuild like any other: undo takes it back. A refused one is on
    // record too, with its reason.
    Outcome recorded_outcome = outcome;
    if (outcome.stato == tsOk && !result.committed) recorded_outcome.errore = result.refusal;
    const history::Recorded recorded = history::RecordOperation(
        *store, op, ParametersOf(o), recorded_outcome, static_cast<int>(code),
        result.committed ? ChangeSetToJson(result.changes) : "");
    PrintRecorded(recorded);
    if (result.committed && recorded.run > 0) {
      std::cerr << "history: the rebuild's change set is kept (veriprog-cli undo " << recorded.run
                << " writes the totals back as they were)\n";
    } else if (result.committed) {
      std::cerr << "the plan was applied, but the history could not keep its change set: undo "
                   "cannot take it back\n";
      code = ExitCode::kProgramError;
    }
  }
  if (o.format == "json") {
    std::cout << nlohmann::ordered_json{{"format_version", kJsonFormatVersion},
                                        {"operation", Title(op)},
                                        {"applied", result.committed},
                                        {"stato", static_cast<int>(outcome.stato)},
                                        {"errore", outcome.errore},
                                        {"refusal", result.refusal},
                                        {"rows", result.changes.Rows()}}
                     .dump(2)
              << '\n';
  }
  return finish(
      code, result.committed ? std::optional<std::int64_t>(result.changes.Rows()) : std::nullopt);
}

}  // namespace veriprog::cli
