// The C interface to the run history: a host opens one by its path, runs its operations through
// it, reads findings and runs back, acknowledges keys and undoes rebuilds. Like the rest of the C
// interface, it turns texts into calls and never lets an exception through.
#include <memory>
#include <string>

#include "component/c_handles.h"
#include "component/fabricated_rows.h"
#include "veriprog/change_set.h"
#include "veriprog/history.h"
#include "veriprog/veriprog.h"

struct veriprog_history {
  std::unique_ptr<veriprog::history::Store> store;
  std::string errore;
};

namespace {

using veriprog::c_api::Refuse;
using veriprog::c_api::RowsOf;

// The store, or nullptr with the reason kept when the history was refused at its opening.
veriprog::history::Store* StoreOf(veriprog_history* h) {
  if (h != nullptr && !h->store && h->errore.empty()) h->errore = "the history is not open";
  return h != nullptr ? h->store.get() : nullptr;
}

int Status(veriprog_history* h, veriprog::StatoEnum stato, std::string errore) {
  if (h != nullptr) h->errore = std::move(errore);
  return static_cast<int>(stato);
}

}  // namespace

extern "C" {

int veriprog_history_open(const char* path, veriprog_history** out) {
  if (out == nullptr) return VERIPROG_PROGRAM_ERROR;
  *out = nullptr;
  try {
    auto h = std::make_unique<veriprog_history>();
    h->store = veriprog::history::Store::Open(path != nullptr ? path : "", &h->errore);
    const int stato = h->store ? VERIPROG_OK : VERIPROG_PARAMETRI_NON_VALIDI;
    *out = h.release();
    return stato;
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

const char* veriprog_history_errore(const veriprog_history* h) {
  return h != nullptr ? h->errore.c_str() : "";
}

void veriprog_history_close(veriprog_history* h) {
  delete h;
}

int veriprog_run_recorded(veriprog_main* v, const char* operation, veriprog_history* h,
                          long long* run) {
  if (run != nullptr) *run = 0;
  if (v == nullptr || operation == nullptr) return -1;
  try {
    const veriprog::OperationInfo* op = veriprog::FindOperation(operation);
    if (op == nullptr) return -1;
    const veriprog::OperationParameters p = veriprog::c_api::ParametersOf(*v);
    veriprog::Outcome outcome;
    std::string change_set;
    if (op->rebuild && !p.no_transaction && StoreOf(h) != nullptr) {
      const veriprog::RecordedRebuild r = veriprog::RebuildRecorded(v->main, *op);
      outcome = r.outcome;
      if (r.committed) change_set = veriprog::ChangeSetToJson(r.changes);
      // The rebuild ran on a connection of its own: its Stato and Errore go to the host as an
      // operation leaves them.
      Refuse(v, outcome.stato, outcome.errore);
    } else {
      outcome = veriprog::RunOperation(v->main, *op, v->include_stored);
    }
    v->last_result = op->result;
    if (veriprog::history::Store* store = StoreOf(h)) {
      const veriprog::history::Recorded recorded = veriprog::history::RecordOperation(
          *store, *op, p, outcome, veriprog::CommandExitCode(outcome), change_set);
      h->errore = recorded.error;
      if (run != nullptr) *run = recorded.run;
    }
    return static_cast<int>(outcome.stato);
  } catch (const std::exception& e) {
    return Refuse(v, veriprog::tsProgramError, e.what());
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

veriprog_rows* veriprog_history_findings(veriprog_history* h, long long run) {
  veriprog::history::Store* store = StoreOf(h);
  if (store == nullptr) return nullptr;
  try {
    const auto findings = store->Findings(run, &h->errore);
    if (!h->errore.empty()) return nullptr;
    return RowsOf(veriprog::history::FindingRows(findings));
  } catch (...) {
    return nullptr;
  }
}

veriprog_rows* veriprog_history_runs(veriprog_history* h, int limit) {
  veriprog::history::Store* store = StoreOf(h);
  if (store == nullptr) return nullptr;
  try {
    const auto runs = store->Runs(limit > 0 ? limit : 20, 0, &h->errore);
    if (!h->errore.empty()) return nullptr;
    return RowsOf(veriprog::history::RunRows(runs));
  } catch (...) {
    return nullptr;
  }
}

int veriprog_history_ack(veriprog_history* h, const char* key, const char* note) {
  veriprog::history::Store* store = StoreOf(h);
  if (store == nullptr) return VERIPROG_PARAMETRI_NON_VALIDI;
  if (key == nullptr) return Status(h, veriprog::tsParametriNonValidi, "no key to acknowledge");
  try {
    store->Acknowledge({key}, note != nullptr ? note : "", nullptr, &h->errore);
    return h->errore.empty() ? VERIPROG_OK : VERIPROG_PARAMETRI_NON_VALIDI;
  } catch (const std::exception& e) {
    return Status(h, veriprog::tsProgramError, e.what());
  }
}

int veriprog_history_undo(veriprog_history* h, veriprog_main* v, long long run,
                          veriprog_rows** moved) {
  if (moved != nullptr) *moved = nullptr;
  veriprog::history::Store* store = StoreOf(h);
  if (store == nullptr) return VERIPROG_PARAMETRI_NON_VALIDI;
  if (v == nullptr) return Status(h, veriprog::tsParametriNonValidi, "no main object");
  try {
    const veriprog::history::UndoRunResult r = veriprog::history::UndoRun(*store, v->main, run);
    if (r.stato != veriprog::tsOk) return Status(h, r.stato, r.errore);
    if (r.complete) return Status(h, veriprog::tsOk, "");
    const veriprog::UndoResult& last = r.units.back().result;
    if (moved != nullptr && !last.moved.empty()) {
      veriprog::FabricatedRows keys({veriprog::db::FieldDef::VarChar("KEY")});
      for (const std::string& k : last.moved)
        keys.Add({veriprog::db::Variant(k)});
      *moved = RowsOf(keys.Take());
    }
    return Status(h, last.stato,
                  "run " + std::to_string(r.units.back().run) + " not taken back: " + last.errore);
  } catch (const std::exception& e) {
    return Status(h, veriprog::tsProgramError, e.what());
  }
}

}  // extern "C"
