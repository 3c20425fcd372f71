// The dry run's differences as record sets, for hosts that print or walk them like a check's rows.
#include <vector>

#include "db/text.h"
#include "veriprog/dry_run.h"

namespace veriprog {
namespace {

// A fabricated record set of texts and counts, printed like any other.
class Rows {
 public:
  explicit Rows(std::vector<db::FieldDef> fields) {
    for (auto& f : fields)
      rs_.AppendField(std::move(f));
    rs_.Open();
  }
  void Add(const std::vector<db::Variant>& values) {
    rs_.AddNew();
    for (std::size_t i = 0; i < values.size(); ++i)
      rs_.Set(i, values[i]);
    rs_.Update();
  }
  db::Recordset& rs() { return rs_; }

 private:
  db::Recordset rs_;
};

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
  Rows changes({db::FieldDef::VarChar("TABLE"), db::FieldDef::VarChar("CHANGE"),
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
  return std::move(changes.rs());
}

db::Recordset CountRows(const std::vector<TableDiff>& diffs) {
  Rows counts({db::FieldDef::VarChar("TABLE"), db::FieldDef::Integer("INSERTED", 8),
               db::FieldDef::Integer("UPDATED", 8), db::FieldDef::Integer("DELETED", 8),
               db::FieldDef::Integer("UNCHANGED", 8)});
  for (const TableDiff& d : diffs)
    counts.Add({d.table, d.inserted, d.updated, d.deleted, d.unchanged});
  return std::move(counts.rs());
}

}  // namespace veriprog
