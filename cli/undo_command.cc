// undo RUN: a rebuild the history recorded, taken back; what refused it, named key by key.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/history_options.h"
#include "cli/operations.h"
#include "cli/progress.h"

namespace veriprog::cli {
namespace {

struct UndoOptions : OperationParameters {
  HistoryOptions history;
  std::int64_t run = 0;
};

std::string StoredRows(std::int64_t n) {
  return std::to_string(n) + (n == 1 ? " stored row" : " stored rows");
}

int Undo(const UndoOptions& o) {
  const std::int64_t start = NowNs();
  auto finish = [&](ExitCode code) {
    PrintSummary("undo", std::nullopt, std::nullopt, SecondsSince(start), static_cast<int>(code));
    return static_cast<int>(code);
  };
  bool refused = false;
  const std::unique_ptr<history::Store> store = OpenHistory(o.history, refused);
  if (!store) {
    if (!refused) std::cerr << "undo needs the run history (not --no-history)\n";
    return finish(ExitCode::kInvalidParameters);
  }
  CLSCG_VERIPROG main;
  main.CPInput()->SConnect = db::Variant(ConnectionString(o.connection));
  main.SetLimits(LimitsOf(o));
  const history::UndoRunResult r = history::UndoRun(*store, main, o.run);
  if (r.stato != tsOk) {
    std::cerr << r.errore << '\n';
    return finish(ExitCodeOf(r.stato));
  }
  // A run over every company names its units; those that rewrote nothing are only counted.
  const bool over_companies = !r.units.empty() && r.units.front().run != o.run;
  std::int64_t taken_back = 0, rows = 0, empty = 0;
  for (const history::UndoneUnit& u : r.units) {
    if (u.result.stato == tsOk) {
      ++taken_back;
      rows += u.result.rows;
      if (u.result.rows == 0) ++empty;
      if (over_companies && u.result.rows == 0) continue;
      std::cerr << "run " << u.run << ": " << StoredRows(u.result.rows) << " written back (run "
                << u.undo_run << ")\n";
      continue;
    }
    std::cerr << "run " << u.run << " not taken back: " << u.result.errore << '\n';
    constexpr std::size_t kShown = 20;
    for (std::size_t i = 0; i < u.result.moved.size() && i < kShown; ++i)
      std::cerr << "  moved since: " << u.result.moved[i] << '\n';
    if (u.result.moved.size() > kShown)
      std::cerr << "  ... and " << u.result.moved.size() - kShown << " more keys moved\n";
    if (!u.result.rollback_error.empty())
      std::cerr << "  (the rollback failed: " << u.result.rollback_error << ")\n";
  }
  if (over_companies && taken_back > 0) {
    std::cerr << taken_back << (taken_back == 1 ? " rebuild" : " rebuilds") << " taken back ("
              << StoredRows(rows) << ")";
    if (empty > 0) std::cerr << ", " << empty << " of them had nothing to take back";
    std::cerr << '\n';
  }
  if (!r.complete && r.units.size() > 1) {
    std::cerr << r.units.size() - 1 << " of the run's rebuilds were taken back before the refusal; "
              << "undo " << o.run << " again once the moved totals are settled\n";
  }
  if (!r.history_error.empty()) {
    // The ledger holds the totals from before the rebuild; only the record of it is missing.
    std::cerr << "the totals were written back, but the history could not record the undo: "
              << r.history_error << '\n';
    return finish(ExitCode::kProgramError);
  }
  if (r.complete) return finish(ExitCode::kOk);
  const StatoEnum last = r.units.back().result.stato;
  return finish(last == tsParametriNonValidi ? ExitCode::kRefused : ExitCodeOf(last));
}

}  // namespace

void AddUndoCommand(CLI::App& app, ExitCode& code) {
  auto o = std::make_shared<UndoOptions>();
  CLI::App* cmd = app.add_subcommand(
      "undo",
      "Write back the stored totals a recorded rebuild replaced (a run over every company: each "
      "company's, the last first), if nothing moved them since; exit 4 when refused");
  cmd->add_option("run", o->run, "the rebuild's run, as history lists it")
      ->required()
      ->check(kRunNumber);
  cmd->add_option("--connection", o->connection,
                  "the database the rebuild ran on (default: $VERIPROG_CONNECTION, then libpq's "
                  "environment)");
  AddTimeoutOptions(cmd, *o);
  AddHistoryOptions(cmd, o->history);
  cmd->callback([o, &code] { code = static_cast<ExitCode>(Undo(*o)); });
}

}  // namespace veriprog::cli
