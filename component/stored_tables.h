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
// How a row of the table reaches its company and period, for the undo that writes it again: by
// columns of its own, or through the identity of a parent row found by the parent's key.
enum class StoredLink {
  kScope,        // its own scope columns (the VAT tables, the yearly account totals)
  kYearly,       // a monthly account total: its own scope, and its yearly total's identity
  kYearlyTwin,   // a yearly currency twin: only through its yearly total
  kMonthlyTwin,  // a monthly currency twin: only through its monthly total
};

struct StoredTable {
  std::string name;
  std::vector<std::string> key;     // column names, in the key's order
  std::vector<std::string> values;  // column names
  std::string select;               // key columns, then value columns, of the scope's rows
  // For writing rows back: the table written, the columns placing a row in the scope with their
  // values as SQL text, the replacement of each key column that may be null ("" when read as it
  // is), and the link to a parent row.
  std::string target = {};
  std::vector<std::pair<std::string, std::string>> scope = {};
  std::vector<std::string> null_as = {};
  StoredLink link = StoredLink::kScope;
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
// With `all_values`, updated rows carry every value before and after, not only the changed ones.
TableDiff CompareTables(const StoredTable& table, const TableRows& before, const TableRows& after,
                        bool all_values = false);

// The text a key is matched by (codes without their padding, as the database compares them).
std::string KeyText(const std::vector<db::Variant>& key);
// A key as a person reads it: NAME=value for each column, without the table's prefix.
std::string KeyShown(const std::vector<std::pair<std::string, db::Variant>>& key);
// Two values as the comparison compares them.
bool SameValue(const db::Variant& a, const db::Variant& b);

}  // namespace veriprog
