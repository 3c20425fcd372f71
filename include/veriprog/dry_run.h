// The dry run of a rebuild: the family's stored tables are read before and after the rebuild,
// inside one transaction that is then rolled back, and compared row by row by their key. It
// lists what a real rebuild would insert, update and delete, with the old and new amounts, and
// writes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "veriprog/main_object.h"
#include "veriprog/operation_run.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"
#include "veriprog/variant.h"

namespace veriprog {

struct ValueChange {
  std::string column;
  db::Variant before, after;  // Empty where the row is not there
};
struct RowChange {
  std::string kind;  // "inserted", "updated", "deleted"
  std::vector<std::pair<std::string, db::Variant>> key;
  std::vector<ValueChange> values;  // updated: the changed ones; otherwise every value
};
struct TableDiff {
  std::string table;
  std::int64_t inserted = 0, updated = 0, deleted = 0, unchanged = 0;
  std::vector<RowChange> changes = {};
};

struct DryRunResult {
  Outcome outcome;               // the rebuild's, before the rollback
  std::vector<TableDiff> diffs;  // when the rebuild succeeded
  std::string rollback_error;    // the rollback failed: the server undoes it at disconnection
  std::int64_t Changed() const;  // rows inserted, updated or deleted
  std::int64_t Rows() const;     // rows read after the rebuild, and deleted ones
};

// Runs the rebuild `op` on main, whose parameter object is filled as for the rebuild itself,
// inside a transaction of its own that it rolls back, under the company's lock from before the
// first reading to after the rollback, waited for as main's limits allow (SetLimits, which also
// bound each statement on a connection it opens). It works on GConnect when one is set, and
// refuses it
// (tsParametriNonValidi) when it is already inside a transaction: that one is not the dry run's
// to roll back; otherwise on a connection of its own to SConnect. The parameter object is left
// as it was. Events go to main's sinks. Never throws.
DryRunResult DryRun(CLSCG_VERIPROG& main, const OperationInfo& op);

// One row per changed value: TABLE, CHANGE ("inserted", "updated", "deleted"), KEY (the key's
// columns as NAME=value, without the table's prefix), COLUMN, OLD and NEW (as texts, Null where
// the row is not there).
db::Recordset ChangeRows(const std::vector<TableDiff>& diffs);
// One row per table: TABLE, INSERTED, UPDATED, DELETED, UNCHANGED.
db::Recordset CountRows(const std::vector<TableDiff>& diffs);

}  // namespace veriprog
