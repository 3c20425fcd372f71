// A check's rows with the history's word on each flagged one.
#include <map>

#include "db/text.h"
#include "veriprog/history.h"

namespace veriprog::history {

const char* StateText(FindingState state) {
  switch (state) {
    case FindingState::kNew:
      return "new";
    case FindingState::kKnown:
      return "known";
    case FindingState::kAcknowledged:
      return "acknowledged";
  }
  return "";
}

std::shared_ptr<db::Recordset> WithFindings(db::Recordset& rows, const OperationInfo& op,
                                            const OperationParameters& p,
                                            const std::vector<RunFinding>& findings) {
  std::map<std::string, FindingState> state;
  for (const RunFinding& f : findings)
    state.emplace(f.finding.key, f.state);
  auto out = std::make_shared<db::Recordset>();
  for (const db::FieldDef& f : rows.fields())
    out->AppendField(f);
  out->AppendField(db::FieldDef::VarChar("KEY"));
  out->AppendField(db::FieldDef::VarChar("FINDING"));
  out->Open();
  const std::size_t width = rows.fields().size();
  const auto flag = rows.FieldIndex("FLAGSBIL");
  for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
    out->AddNew();
    for (std::size_t i = 0; i < width; ++i)
      out->Set(i, rows.Get(i));
    if (flag && !db::Trim(rows.Get(*flag).ToText()).empty()) {
      const std::string key = KeyOfRow(op, p, rows);
      out->Set(width, db::Variant(key));
      const auto it = state.find(key);
      out->Set(width + 1, db::Variant(it == state.end() ? "" : StateText(it->second)));
    } else {
      out->Set(width, db::Variant(""));
      out->Set(width + 1, db::Variant(""));
    }
    out->Update();
  }
  rows.MoveFirst();
  out->MoveFirst();
  return out;
}

}  // namespace veriprog::history
