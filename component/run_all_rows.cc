// The units of a run over every company as words and as a record set, for every host.
#include <cstdio>

#include "veriprog/run_all.h"

namespace veriprog {

std::string OutcomeText(const UnitResult& u) {
  if (!u.run) return "not run";
  if (u.interrupted) return "interrupted";
  switch (u.outcome.stato) {
    case tsOk:
      return u.outcome.flagged > 0 ? "flagged" : "ok";
    case tsParametriNonValidi:
      return "invalid parameters";
    default:
      return "error";
  }
}

bool Failed(const UnitResult& u) {
  return !u.run || u.interrupted || u.outcome.stato != tsOk;
}

std::string MessageOf(const UnitResult& u) {
  std::string m = u.outcome.errore;
  if (!u.outcome.causa.empty()) m += " (" + u.outcome.causa + ")";
  return m;
}

db::Recordset UnitRows(const RunAllResult& r, bool counts) {
  db::Recordset rs;
  rs.AppendField(db::FieldDef::Integer("COMPANY", 8));
  rs.AppendField(db::FieldDef::VarChar("PERIOD"));
  rs.AppendField(db::FieldDef::VarChar("FAMILY"));
  if (counts) {
    rs.AppendField(db::FieldDef::Integer("ROWS", 8));
    rs.AppendField(db::FieldDef::Integer("FLAGGED", 8));
  }
  rs.AppendField(db::FieldDef::Numeric("SECONDS", 12, 2));
  rs.AppendField(db::FieldDef::VarChar("OUTCOME"));
  rs.AppendField(db::FieldDef::VarChar("MESSAGE"));
  rs.Open();
  for (const UnitResult& u : r.units) {
    rs.AddNew();
    rs.Set("COMPANY", u.ditta);
    rs.Set("PERIOD", u.period);
    rs.Set("FAMILY", u.family);
    if (counts) {
      const bool counted = u.run && u.outcome.stato == tsOk;
      rs.Set("ROWS", counted ? db::Variant(u.outcome.row_count) : db::Variant::Null());
      rs.Set("FLAGGED", counted ? db::Variant(u.outcome.flagged) : db::Variant::Null());
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", u.outcome.seconds);
    rs.Set("SECONDS", db::Decimal::Parse(seconds));
    rs.Set("OUTCOME", OutcomeText(u));
    rs.Set("MESSAGE", MessageOf(u));
    rs.Update();
  }
  return rs;
}

}  // namespace veriprog
