// undo RUN: a recorded rebuild's change set written back, or a run over every company's, the
// last company first.
#include <nlohmann/json.hpp>

#include "veriprog/history.h"

namespace veriprog::history {
namespace {

UndoRunResult Refused(std::string why) {
  UndoRunResult r;
  r.stato = tsParametriNonValidi;
  r.errore = std::move(why);
  return r;
}

// Whether the connection reaches the server and database the run worked on: the change set
// belongs to those totals, and to no others.
std::string OtherDatabase(const Run& run, const std::string& connection) {
  Scope here;
  LocateConnection(connection, here);
  if (here.server == run.scope.server && here.database == run.scope.database) return "";
  return "run " + std::to_string(run.id) + " rebuilt server '" + run.scope.server +
         "', database '" + run.scope.database + "'; the connection names server '" + here.server +
         "', database '" + here.database + "': nothing written";
}

}  // namespace

UndoRunResult UndoRun(Store& store, CLSCG_VERIPROG& main, std::int64_t run_id) {
  try {
    std::string error;
    const std::optional<Run> run = store.Get(run_id, &error);
    if (!run)
      return Refused(error.empty() ? "no run " + std::to_string(run_id) + " in the history"
                                   : error);
    if (run->undone_by) {
      return Refused("run " + std::to_string(run_id) + " was taken back already, by run " +
                     std::to_string(run->undone_by));
    }
    std::vector<Run> rebuilds;
    std::vector<std::int64_t> undone;  // of a run over every company, by one undo each
    if (run->operation == "rebuild all") {
      for (const Run& unit : store.Runs(1000000, run_id, &error)) {
        if (unit.has_changes && !unit.undone_by) rebuilds.insert(rebuilds.begin(), unit);
        if (unit.has_changes && unit.undone_by) undone.push_back(unit.id);
      }
    } else if (run->has_changes) {
      rebuilds.push_back(*run);
    }
    if (rebuilds.empty() && !undone.empty()) {
      return Refused("every rebuild of run " + std::to_string(run_id) +
                     " was taken back already, each by an undo of its own (run " +
                     std::to_string(undone.front()) + (undone.size() > 1 ? " and others" : "") +
                     ")");
    }
    if (rebuilds.empty()) {
      return Refused("run " + std::to_string(run_id) + " (" + run->operation +
                     ") kept no change set to take back: only rebuilds run in a transaction with "
                     "the history keep one");
    }
    const std::string connection = main.CPInput()->SConnect.ToText();
    if (std::string other = OtherDatabase(rebuilds.front(), connection); !other.empty())
      return Refused(other);

    UndoRunResult out;
    for (const Run& rebuild : rebuilds) {
      const std::string body = store.ChangeSet(rebuild.id, &error);
      const std::optional<ChangeSet> changes = ChangeSetFromJson(body, &error);
      UndoneUnit unit{rebuild.id, {}, 0};
      if (!changes) {
        unit.result.stato = tsParametriNonValidi;
        unit.result.errore =
            "the change set of run " + std::to_string(rebuild.id) + " cannot be read: " + error;
        out.units.push_back(std::move(unit));
        return out;
      }
      unit.result = UndoChanges(main, *changes);
      // Refused or done, the undo is on record: who tried to take what back, and what stood in
      // the way.
      Run undo;
      undo.operation = "undo";
      undo.scope = rebuild.scope;
      undo.parameters = nlohmann::json{{"undo", rebuild.id}}.dump();
      undo.tool_version = ToolVersion();
      const bool done = unit.result.stato == tsOk;
      undo.exit_code = done ? 0 : unit.result.stato == tsParametriNonValidi ? 4 : 3;
      if (done) undo.rows = unit.result.rows;
      undo.error = unit.result.errore;
      if (!unit.result.moved.empty())
        undo.error += " (moved since: " + unit.result.moved.front() +
                      (unit.result.moved.size() > 1 ? ", ..." : "") + ")";
      const std::int64_t recorded = store.Record(undo, {}, "", &error);
      if (recorded <= 0) {
        out.history_error = error;
      } else if (done) {
        unit.undo_run = recorded;
        if (!store.MarkUndone(rebuild.id, recorded, &error) && out.history_error.empty())
          out.history_error = error.empty() ? "the rebuild could not be marked undone" : error;
      }
      const bool ok = unit.result.stato == tsOk;
      out.units.push_back(std::move(unit));
      if (!ok) return out;
    }
    out.complete = true;
    if (rebuilds.front().id != run_id && out.units.back().undo_run > 0) {
      // The run over every company is taken back when each of its rebuilds is.
      if (!store.MarkUndone(run_id, out.units.back().undo_run, &error) && out.history_error.empty())
        out.history_error = error;
    }
    return out;
  } catch (const std::exception& e) {
    UndoRunResult r;
    r.stato = tsProgramError;
    r.errore = e.what();
    return r;
  }
}

}  // namespace veriprog::history
