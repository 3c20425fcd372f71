#include "veriprog/findings.h"

#include "db/text.h"

namespace veriprog {
namespace {

// Amounts are the decimals with a fraction; a code cast to a whole decimal (the branch) is not.
bool IsAmount(const db::FieldDef& f) {
  return f.type == db::FieldType::kDecimal && f.scale > 0;
}

// Columns that name the row: neither amounts, nor the flag, nor texts that only describe it,
// nor the identifier a check gives each row afresh.
bool NamesTheRow(const db::FieldDef& f) {
  if (IsAmount(f)) return false;
  if (f.name == "FLAGSBIL" || f.name == "ID" || f.name.rfind("DESCR", 0) == 0) return false;
  // What the history and the recheck add to a copy of the rows.
  return f.name != "KEY" && f.name != "FINDING" && f.name != "RECHECK";
}

std::string Amounts(const db::Recordset& rows) {
  std::string text;
  const auto& fields = rows.fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!IsAmount(fields[i])) continue;
    if (!text.empty()) text += ',';
    text += fields[i].name + '=' + rows.Get(i).ToText();
  }
  return text;
}

}  // namespace

std::string PeriodOf(const OperationInfo& op, const OperationParameters& p) {
  if (op.reads & kFiscalYear) return p.fiscal_year.value_or("") + "/" + p.fiscal_seq.value_or("");
  return p.year.value_or("");
}

std::string KeyOfRow(const OperationInfo& op, const OperationParameters& p,
                     const db::Recordset& rows) {
  std::string key = std::string(op.family) + ":" + p.company.value_or("") + ":" + PeriodOf(op, p);
  char separator = ':';
  const auto& fields = rows.fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!NamesTheRow(fields[i])) continue;
    key += separator;
    key += fields[i].name + '=' + std::string(db::Trim(rows.Get(i).ToText()));
    separator = ',';
  }
  return key;
}

std::vector<Finding> FlaggedFindings(const OperationInfo& op, const OperationParameters& p,
                                     db::Recordset& rows) {
  std::vector<Finding> found;
  const auto flag = rows.FieldIndex("FLAGSBIL");
  if (!flag || !rows.is_open()) return found;
  for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
    if (db::Trim(rows.Get(*flag).ToText()).empty()) continue;
    found.push_back({KeyOfRow(op, p, rows), Amounts(rows)});
  }
  rows.MoveFirst();
  return found;
}

}  // namespace veriprog
