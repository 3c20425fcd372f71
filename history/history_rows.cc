// The history's answers as record sets: what the command line prints and the C interface walks.
#include "component/fabricated_rows.h"
#include "veriprog/history.h"

namespace veriprog::history {
namespace {

std::vector<db::FieldDef> Texts(std::initializer_list<const char*> names) {
  std::vector<db::FieldDef> fields;
  for (const char* n : names)
    fields.push_back(db::FieldDef::VarChar(n));
  return fields;
}

db::Variant Count(const std::optional<std::int64_t>& n) {
  return n ? db::Variant(std::to_string(*n)) : db::Variant::Null();
}

db::Variant Changes(const Run& r) {
  if (!r.has_changes) return db::Variant::Null();
  return db::Variant(r.undone_by ? "undone by " + std::to_string(r.undone_by) : "kept");
}

}  // namespace

db::Recordset RunRows(const std::vector<Run>& runs) {
  FabricatedRows t(Texts({"RUN", "STARTED", "OPERATION", "COMPANY", "PERIOD", "PART", "SERVER",
                          "DATABASE", "ROWS", "FLAGGED", "EXIT", "CHANGES", "PART_OF", "ERROR"}));
  for (const Run& r : runs) {
    t.Add({std::to_string(r.id), r.started, r.operation, r.scope.company, r.scope.period,
           r.scope.part, r.scope.server, r.scope.database, Count(r.rows), Count(r.flagged),
           std::to_string(r.exit_code), Changes(r),
           r.parent ? db::Variant(std::to_string(r.parent)) : db::Variant::Null(), r.error});
  }
  return t.Take();
}

db::Recordset FindingRows(const std::vector<RunFinding>& findings) {
  FabricatedRows t(Texts({"KEY", "FINDING", "FIRST_SEEN", "AMOUNTS", "NOTE"}));
  for (const RunFinding& f : findings) {
    t.Add({f.finding.key, StateText(f.state), std::to_string(f.first_seen), f.finding.amounts,
           f.note});
  }
  return t.Take();
}

db::Recordset KeyStoryRows(const std::vector<KeyEvent>& story) {
  FabricatedRows t(
      Texts({"RUN", "STARTED", "SERVER", "DATABASE", "FLAGGED", "AMOUNTS", "ACKNOWLEDGED"}));
  for (const KeyEvent& e : story) {
    t.Add({std::to_string(e.run.id), e.run.started, e.run.scope.server, e.run.scope.database,
           e.flagged ? "Si" : "", e.amounts, e.acknowledged});
  }
  return t.Take();
}

}  // namespace veriprog::history
