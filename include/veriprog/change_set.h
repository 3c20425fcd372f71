// A rebuild's change set: every stored row it touched, by key, before and after; the rebuild
// run so that it records one (and, given a plan, commits only when it writes what the plan
// says), and the undo that writes a change set's before-values back. The run history keeps
// change sets as the JSON text below; the caller owns every value here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/dry_run.h"
#include "veriprog/main_object.h"
#include "veriprog/operation_run.h"
#include "veriprog/operations.h"

namespace veriprog {

struct ChangeSet {
  std::string operation;  // the rebuild's member name: "RicalcoloProgressiviContabili", ...
  std::string family;     // the stored tables' family: "accounts" (also for the earlier account
                          // rebuild and the turnover), "vat", "plafond", "margin", ...
  std::int64_t ditta = 0, esercizio = 0, progressivo = 0, anno = 0;  // the scope
  // What the rebuild was narrowed to, when it reads it and it was given.
  std::optional<std::int64_t> branch;                   // CodiceSede
  bool per_activity = false;                            // ElaborazionePerAttivita
  std::optional<std::int64_t> activity_code, activity;  // CodiceAttivita, IDAttivita
  // Touched rows only, in the order of the family's stored tables. Updated rows carry every
  // value of the row before and after, not only the changed ones: the undo checks whole rows.
  std::vector<TableDiff> diffs;
  std::string fingerprint;    // of the journal lines the rebuild reads; empty when not taken
  std::int64_t Rows() const;  // rows inserted, updated or deleted
};

// {"change_set_version":1, ...}: decimals as exact strings, a digest over the rest.
std::string ChangeSetToJson(const ChangeSet& changes);
// The change set the text holds, or nullopt with `error` saying why: not JSON, another version,
// a field missing or of the wrong kind, a digest that does not match (the text was altered).
std::optional<ChangeSet> ChangeSetFromJson(std::string_view text, std::string* error);

// A plan file: the change set's text written to PATH.part and renamed to PATH, so that a plan is
// whole or not there; read back, refused as ChangeSetFromJson refuses (naming the file).
bool SavePlan(const ChangeSet& plan, const std::string& path, std::string* error);
std::optional<ChangeSet> LoadPlan(const std::string& path, std::string* error);
// Why a plan could not be saved at `path` ("" when it can): a folder, a folder that is not there
// or not writable. Asked before the dry run, so that an hour's reading is not lost to a typo.
std::string PlanDestinationProblem(const std::string& path);

// The same rebuild, the same scope and narrowing: a plan of one applies only to the other.
bool SameScope(const ChangeSet& a, const ChangeSet& b);

// The same rows touched, in the same way, with the same values (compared as the dry run compares
// them: 1.5 = 1.50, texts without trailing blanks). nullopt when they agree; otherwise the
// difference in words.
std::optional<std::string> DifferenceFrom(const ChangeSet& plan, const ChangeSet& done);

struct RecordedRebuild {
  Outcome outcome;             // the rebuild's
  ChangeSet changes;           // what it wrote (or, rolled back, would have written)
  bool committed = false;      // its work stands
  std::string refusal;         // why it rolled back although the rebuild succeeded
  std::string rollback_error;  // the rollback failed: the server undoes it at disconnection
};

// The rebuild `op` as the dry run runs it (a transaction of its own, under the company's lock from
// before the first reading to after the end, the stored tables read before and after), but
// committed: the change set is what it wrote. With `plan`, it takes the journal's fingerprint
// before the rebuild and commits only when the fingerprint is the plan's and the change set equals
// the plan's by key and value; otherwise it rolls back and `refusal` says why, with tsOk in the
// outcome. A plan of another operation or scope is refused before anything runs
// (tsParametriNonValidi). The lock is waited for, and statements run, as main's limits allow.
// The parameter object is left as it was. Never throws.
RecordedRebuild RebuildRecorded(CLSCG_VERIPROG& main, const OperationInfo& op,
                                const ChangeSet* plan = nullptr);

// The dry run of `op` with its change set and the journal's fingerprint, for a plan: rolled
// back, nothing written. Never throws.
RecordedRebuild PlanRebuild(CLSCG_VERIPROG& main, const OperationInfo& op);

// The changes with only the values that differ in updated rows: what the dry run lists.
std::vector<TableDiff> ChangedValuesOnly(const std::vector<TableDiff>& diffs);

struct UndoResult {
  // tsOk: written back. tsParametriNonValidi: refused, nothing written; `moved` lists the keys
  // that are no longer as the rebuild left them, or `errore` says what else stands in the way (a
  // change set of another family, a key that repeats). tsProgramError: a failure, rolled back.
  StatoEnum stato = tsOk;
  std::string errore;
  std::vector<std::string> moved;  // "TABLE KEY=value KEY=value ...: what became of it"
  std::int64_t rows = 0;           // rows written back
  std::string rollback_error;
};

// Writes the before-values of `changes` back, in one transaction under the company's lock, after
// checking that every touched key still holds exactly what the rebuild left (values compared as
// the dry run compares them). Rows the rebuild inserted are deleted, rows it deleted are inserted
// again with their links to the parent rows found by key (yearly currency twins to their yearly
// total, monthly totals to the yearly one, monthly twins to their monthly total), updated rows
// get their before-values. A later rebuild, of any family, that changed a value of a touched row
// counts as a move. Keys that repeat in a table make it refuse rather than guess. It works on
// main's GConnect when set (refused when already inside a transaction), otherwise on a connection
// of its own to SConnect; the rest of the parameter object is not read. It waits for the lock,
// and each statement runs, as main's limits allow (SetLimits). Never throws.
UndoResult UndoChanges(CLSCG_VERIPROG& main, const ChangeSet& changes);

}  // namespace veriprog
