#include "component/undo_statements.h"

#include "db/sql_text.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog {
namespace {

// "A = 1 AND ISNULL(B, '') = N'x' ..." for the columns [from, to) of a key.
std::string KeyCondition(const std::vector<std::string>& columns,
                         const std::vector<std::string>& null_as,
                         const std::vector<db::Variant>& key, std::size_t from, std::size_t to,
                         const std::string& rename_from = "", const std::string& rename_to = "") {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    std::string column = columns[i];
    if (!rename_from.empty() && column.rfind(rename_from, 0) == 0)
      column = rename_to + column.substr(rename_from.size());
    const std::string lhs =
        null_as[i].empty() ? column : "ISNULL(" + column + ", " + null_as[i] + ")";
    out += (out.empty() ? "" : " AND ") + (key[i].is_null() && null_as[i].empty()
                                               ? lhs + " IS NULL"
                                               : lhs + " = " + SqlLiteral(key[i]));
  }
  return out;
}

std::string ScopeCondition(const StoredTable& t) {
  std::string out;
  for (const auto& [column, value] : t.scope)
    out += (out.empty() ? "" : " AND ") + column + " = " + value;
  return out;
}

std::string And(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + " AND " + b;
}

std::string List(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items)
    out += (out.empty() ? "" : ", ") + item;
  return out;
}

// The link of a currency twin, or of a monthly total, to its parent row.
struct Link {
  const char* parent_prefix;   // the parent table's
  const char* column;          // the row's column holding the parent's identity
  const char* parent_id;       // the parent's identity column
  std::size_t parent_columns;  // the key columns that are the parent's key
};
Link LinkOf(StoredLink link) {
  switch (link) {
    case StoredLink::kYearlyTwin:
      return {"CG53", "CGV0_IDPROGA_CG53", "CG53_IDPROGA", 5};
    case StoredLink::kYearly:
      return {"CG53", "CG52_IDPROGA_CG53", "CG53_IDPROGA", 5};
    case StoredLink::kMonthlyTwin:
      return {"CG52", "CGV1_IDPROGM_CG52", "CG52_IDPROGM", 7};
    case StoredLink::kScope:
      break;
  }
  throw db::ValueError("a stored table without a parent has no link");
}

}  // namespace

std::string SqlLiteral(const db::Variant& v) {
  switch (v.kind()) {
    case db::Variant::Kind::kEmpty:
    case db::Variant::Kind::kNull:
      return "NULL";
    case db::Variant::Kind::kBoolean:
      return v.AsBoolean() ? "1" : "0";
    case db::Variant::Kind::kInteger:
      return db::SqlNumber(v.AsInteger());
    case db::Variant::Kind::kDecimal:
      return v.AsDecimal().ToString();
    case db::Variant::Kind::kString:
      return "N'" + db::DoubledQuotes(v.AsString()) + "'";
    case db::Variant::Kind::kDateTime:
      break;
  }
  throw db::ValueError("a date has no place in the stored totals: " + v.ToText());
}

const StoredTable& UndoStatements::Parent(const StoredTable& table) const {
  const std::string prefix = LinkOf(table.link).parent_prefix;
  for (const StoredTable& t : tables_) {
    if (t.name.rfind(prefix, 0) == 0) return t;
  }
  throw db::ValueError("no parent table for " + table.name);
}

std::string UndoStatements::Where(const StoredTable& t, const std::vector<db::Variant>& key) const {
  if (t.link == StoredLink::kScope || t.link == StoredLink::kYearly)
    return And(ScopeCondition(t), KeyCondition(t.key, t.null_as, key, 0, key.size()));
  // A twin: its currency, and its parent found by the parent's key, which its key begins with.
  const Link link = LinkOf(t.link);
  const StoredTable& parent = Parent(t);
  return KeyCondition(t.key, t.null_as, key, link.parent_columns, key.size()) + " AND " +
         link.column + " IN (SELECT " + link.parent_id + " FROM " + parent.target + " WHERE " +
         And(ScopeCondition(parent), KeyCondition(t.key, t.null_as, key, 0, link.parent_columns)) +
         ")";
}

std::string UndoStatements::Delete(const StoredTable& t,
                                   const std::vector<db::Variant>& key) const {
  return "DELETE FROM " + t.target + " WHERE " + Where(t, key);
}

std::string UndoStatements::Update(const StoredTable& t, const std::vector<db::Variant>& key,
                                   const std::vector<db::Variant>& values) const {
  std::vector<std::string> set;
  for (std::size_t i = 0; i < t.values.size(); ++i)
    set.push_back(t.values[i] + " = " + SqlLiteral(values[i]));
  return "UPDATE " + t.target + " SET " + List(set) + " WHERE " + Where(t, key);
}

std::string UndoStatements::Insert(const StoredTable& t, const std::vector<db::Variant>& key,
                                   const std::vector<db::Variant>& values) const {
  std::vector<std::string> columns, row;
  for (const auto& [column, value] : t.scope) {
    columns.push_back(column);
    row.push_back(value);
  }
  const std::size_t own = t.link == StoredLink::kYearlyTwin || t.link == StoredLink::kMonthlyTwin
                              ? LinkOf(t.link).parent_columns
                              : 0;
  for (std::size_t i = own; i < t.key.size(); ++i) {
    columns.push_back(t.key[i]);
    row.push_back(SqlLiteral(key[i]));
  }
  for (std::size_t i = 0; i < t.values.size(); ++i) {
    columns.push_back(t.values[i]);
    row.push_back(SqlLiteral(values[i]));
  }
  if (t.link == StoredLink::kScope)
    return "INSERT INTO " + t.target + " (" + List(columns) + ") VALUES (" + List(row) + ")";
  const Link link = LinkOf(t.link);
  const StoredTable& parent = Parent(t);
  const std::string parent_where =
      And(ScopeCondition(parent),
          t.link == StoredLink::kYearly
              ? KeyCondition(t.key, t.null_as, key, 0, link.parent_columns, "CG52_", "CG53_")
              : KeyCondition(t.key, t.null_as, key, 0, link.parent_columns));
  if (t.link == StoredLink::kYearly) {
    // A monthly total keeps its link to the yearly one of its key, or none when there is none.
    columns.push_back(link.column);
    row.push_back("(SELECT " + std::string(link.parent_id) + " FROM " + parent.target + " WHERE " +
                  parent_where + ")");
    return "INSERT INTO " + t.target + " (" + List(columns) + ") SELECT " + List(row);
  }
  // A twin is written beside its parent row: without one it is not written at all.
  columns.insert(columns.begin(), link.column);
  row.insert(row.begin(), link.parent_id);
  if (t.link == StoredLink::kMonthlyTwin) {
    // The monthly twin also names the yearly total, as its monthly total does.
    columns.insert(columns.begin(), "CGV1_IDPROGA_CGV0");
    row.insert(row.begin(), "CG52_IDPROGA_CG53");
  }
  return "INSERT INTO " + t.target + " (" + List(columns) + ") SELECT " + List(row) + " FROM " +
         parent.target + " WHERE " + parent_where;
}

}  // namespace veriprog
