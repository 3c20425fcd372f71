// The dry run's differences as record sets, for hosts that print or walk them like a check's rows.
#include <vector>

#include "component/fabricated_rows.h"
#include "db/text.h"
#include "veriprog/dry_run.h"

namespace veriprog {
namespace {

std::string KeyShown(const RowChange& c) {
  std::string text;
  for (const auto& [column, value] : c.key) {
    const auto cut = column.find('_');
    text += (text.empty() ? "" : " ") +
            (cut == std::string::npos ? column : column.substr(cut + 1)) + "=" +
            (value.is_null() ? "NULL" : std::string(db::TrimRight(value.ToText())));
  }
  return text;
}

std::string Shown(const db::Variant& v) {
  if (v.kind() == db::Variant::Kind::kDecimal) return v.AsDecimal().ToString();
  return std::string(db::TrimRight(v.ToText()));
}

}  // namespace

db::Recordset ChangeRows(const std::vector<TableDiff>& diffs) {
  FabricatedRows changes({db::FieldDef::VarChar("TABLE"), db::FieldDef::VarChar("CHANGE"),
                          db::FieldDef::VarChar("KEY"), db::FieldDef::VarChar("COLUMN"),
                          db::FieldDef::VarChar("OLD"), db::FieldDef::VarChar("NEW")});
  for (const TableDiff& d : diffs) {
    for (const RowChange& c : d.changes) {
      for (const ValueChange& v : c.values) {
        changes.Add({d.table, c.kind, KeyShown(c), v.column,
                     v.before.is_empty() ? db::Variant::Null() : db::Variant(Shown(v.before)),
                     v.after.is_empty() ? db::Variant::Null() : db::Variant(Shown(v.after))});
      }
    }
  }
  return changes.Take();
}

db::Recordset CountRows(const std::vector<TableDiff>& diffs) {
  FabricatedRows counts({db::FieldDef::VarChar("TABLE"), db::FieldDef::Integer("INSERTED", 8),
                         db::FieldDef::Integer("UPDATED", 8), db::FieldDef::Integer("DELETED", 8),
                         db::FieldDef::Integer("UNCHANGED", 8)});
  for (const TableDiff& d : diffs)
    counts.Add({d.table, d.inserted, d.updated, d.deleted, d.unchanged});
  return counts.Take();
}

}  // namespace veriprog
