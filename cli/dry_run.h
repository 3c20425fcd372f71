// The dry run of a rebuild: the family's stored tables are read before and after the rebuild,
// inside one transaction that is then rolled back, and compared row by row by their key. It
// lists what a real rebuild would insert, update and delete, with the old and new amounts, and
// writes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/operations.h"
#include "veriprog/connection.h"
#include "veriprog/variant.h"

namespace veriprog::cli {

// Where a family's stored totals live for one company and period.
struct DryRunScope {
  std::int64_t ditta = 0;
  std::int64_t esercizio = 0, progressivo = 0;  // the account families
  std::int64_t anno = 0;                        // the VAT families
};

// One stored table as the dry run reads it: its key (null keys as the ledger reads them) and the
// amounts (and texts) a rebuild writes. Identifiers the database assigns are left out: a rebuild
// that deletes and writes a row again gives it a new one, and that changes no total.
struct StoredTable {
  std::string name;
  std::vector<std::string> key;     // column names, in the key's order
  std::vector<std::string> values;  // column names
  std::string select;               // key columns, then value columns, of the scope's rows
};

// The tables a rebuild of `family` writes ("accounts", "vat", ...), read for the scope.
std::vector<StoredTable> StoredTablesOf(const std::string& family, const DryRunScope& scope);

// The rows of a table: key text -> (key values, values). Keys that repeat get "#2", "#3".
struct TableRows {
  struct Row {
    std::vector<db::Variant> key, values;
  };
  std::vector<std::string> order;  // key texts in reading order
  std::vector<std::pair<std::string, Row>> rows;
};
TableRows ReadTable(db::Connection& connection, const StoredTable& table);

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

// Before against after, by key. Amounts compare by value (1.5 = 1.50), texts without their
// trailing blanks, Null only with Null.
TableDiff CompareTables(const StoredTable& table, const TableRows& before, const TableRows& after);

// The dry run itself: the rebuild on a connection of its own, inside a transaction it rolls
// back, under the company's lock from before the first reading to after the rollback. The
// differences are there when the rebuild succeeded; `connect_error` says why no connection could
// be made. Never throws.
struct DryRunResult {
  Outcome outcome;
  std::vector<TableDiff> diffs;
  std::string connect_error;
};
DryRunResult DryRun(const OperationEntry& op, const OperationOptions& o, bool show_progress);

// `rebuild <family> --dry-run`: prints the differences in o.format and returns the exit code
// (0 nothing would change, 1 something would, 2, 3, 130, 143 as every command).
int RunDryRun(const OperationEntry& op, const OperationOptions& o);

}  // namespace veriprog::cli
