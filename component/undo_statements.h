// The statements that write a change set's before-values back, one row each, found by key: the
// deletion of a row the rebuild inserted, the update of one it changed, the insertion again of one
// it deleted, with the links to its parent rows found by the parent's key. Every value pasted in
// is printed by the whole-number and decimal printers or quoted with its quotes doubled.
#pragma once

#include <string>
#include <vector>

#include "component/stored_tables.h"

namespace veriprog {

class UndoStatements {
 public:
  // `tables`: the family's stored tables for the scope, as StoredTablesOf gives them.
  explicit UndoStatements(const std::vector<StoredTable>& tables) : tables_(tables) {}

  // `table` is one of the family's; key values in its key's order, values in its values' order.
  std::string Delete(const StoredTable& table, const std::vector<db::Variant>& key) const;
  std::string Update(const StoredTable& table, const std::vector<db::Variant>& key,
                     const std::vector<db::Variant>& values) const;
  std::string Insert(const StoredTable& table, const std::vector<db::Variant>& key,
                     const std::vector<db::Variant>& values) const;

 private:
  const StoredTable& Parent(const StoredTable& table) const;
  // The condition that finds the row: its own columns, and its parent's through the link.
  std::string Where(const StoredTable& table, const std::vector<db::Variant>& key) const;

  const std::vector<StoredTable>& tables_;
};

// A value as SQL text: NULL, a whole number, a decimal, or a text between quotes.
std::string SqlLiteral(const db::Variant& value);

}  // namespace veriprog
