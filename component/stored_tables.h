// The stored tables a rebuild writes, as the dry run reads them, and their comparison by key.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/dry_run.h"
#include "veriprog/variant.h"

namespace veriprog {

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
  std::vector<std::pair<std::string, Row>> rows;
};
TableRows ReadTable(db::Connection& connection, const StoredTable& table);

// Before against after, by key. Amounts compare by value (1.5 = 1.50), texts without their
// trailing blanks, Null only with Null.
TableDiff CompareTables(const StoredTable& table, const TableRows& before, const TableRows& after);

}  // namespace veriprog
