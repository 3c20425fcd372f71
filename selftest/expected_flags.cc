#include "selftest/expected_flags.h"

#include "db/text.h"

namespace veriprog::selftest {
namespace {

std::string Text(db::Recordset& rs, const char* field) {
  return std::string(db::Trim(rs.Get(field).ToText()));
}

bool Has(db::Recordset& rs, const char* field) {
  return rs.FieldIndex(field).has_value();
}

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The generator's family of a check family, and whether its keys are those per activity.
struct Source {
  std::string family;
  enum { kAll, kPerActivity, kCompany } keys;
};
Source SourceOf(const std::string& family) {
  if (family == "plafond-activity") return {"plafond", Source::kPerActivity};
  if (family == "margin-activity") return {"margin", Source::kPerActivity};
  if (family == "plafond" || family == "margin") return {family, Source::kCompany};
  return {family, Source::kAll};
}

// "2024/1" -> 2024 and 1; "2024" -> 2024 and 0.
std::pair<int, int> Period(const std::string& period) {
  const auto slash = period.find('/');
  if (slash == std::string::npos) return {std::stoi(period), 0};
  return {std::stoi(period.substr(0, slash)), std::stoi(period.substr(slash + 1))};
}

}  // namespace

std::string KeyOfRow(const std::string& family, db::Recordset& rs) {
  if (family == "accounts") {
    const auto difference = rs.Get("DIFFSALDO").ToDecimal();
    return Text(rs, "CONTO") + "|" + Text(rs, "VALUTA") + "|" + Text(rs, "SEDE") + "|" +
           (difference ? difference->ToString() : std::string("(null)"));
  }
  if (family == "vat") {
    return "register type " + Text(rs, "TIPOREGISTRO") + ", section " + Text(rs, "SEZIONALE") +
           ", VAT code " + Text(rs, "CODICEIVA") + ", VAT type " + Text(rs, "TIPOIVA") +
           ", month " + Text(rs, "MESE");
  }
  std::string key;
  // The plafond's rows name their activity only when it is checked per activity; a check per
  // activity with no activity chosen sums every activity under -1.
  const bool plafond = StartsWith(family, "plafond");
  const std::string activity = Has(rs, "IDATTIVITA") ? Text(rs, "IDATTIVITA") : "";
  if ((!plafond || family == "plafond-activity") && !activity.empty() && activity != "-1")
    key = "activity " + activity + " ";
  key += "month " + Text(rs, "MESE");
  if (plafond) return key;
  key += " kind ";
  if (Has(rs, "INDAGRI")) {
    key += Text(rs, "INDAGRI") + " section " + Text(rs, "SEZIONALE");
  } else {
    key += Text(rs, Has(rs, "INDMARGINE") ? "INDMARGINE" : "INDAGVIAG");
  }
  return key + " code " + Text(rs, "CODICEIVA");
}

bool IsFlagged(db::Recordset& rs) {
  return !Text(rs, "FLAGSBIL").empty();
}

std::set<std::string> FlaggedKeys(const std::string& family, db::Recordset& rs) {
  std::set<std::string> keys;
  if (!rs.is_open()) return keys;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    if (!IsFlagged(rs)) continue;
    keys.insert(KeyOfRow(family, rs));
  }
  return keys;
}

std::set<std::string> ExpectedKeys(const gen::GeneratedLedger& ledger, const std::string& family,
                                   std::int64_t ditta, const std::string& period) {
  const auto [anno, progressivo] = Period(period);
  std::set<std::string> keys;
  if (family == "accounts") {
    for (const gen::WrongTotal& w : ledger.wrong) {
      // A monthly total made wrong shows only beside the journal's months, never in the check.
      if (w.ditta != ditta || w.anno != anno || w.progressivo != progressivo || w.mese != 0)
        continue;
      keys.insert(w.conto + "|" + w.valuta + "|" + std::to_string(w.sede) + "|" +
                  (-w.added).ToString());
    }
    return keys;
  }
  const Source source = SourceOf(family);
  for (const gen::WrongStored& w : ledger.wrong_stored) {
    if (w.family != source.family || w.ditta != ditta || w.anno != anno) continue;
    const bool per_activity = StartsWith(w.key, "activity ");
    if (source.keys == Source::kPerActivity && !per_activity) continue;
    if (source.keys == Source::kCompany && per_activity) continue;
    // Checked per activity with none chosen, the activities are summed: the key without it.
    if (source.keys == Source::kPerActivity) {
      const auto month = w.key.find("month ");
      keys.insert(month == std::string::npos ? w.key : w.key.substr(month));
      continue;
    }
    keys.insert(w.key);
  }
  return keys;
}

std::size_t ExpectedTurnover(const gen::GeneratedLedger& ledger, std::int64_t ditta,
                             const std::string& period) {
  const int anno = Period(period).first;
  std::size_t n = 0;
  for (const gen::WrongStored& w : ledger.wrong_stored)
    n += w.family == "turnover" && w.ditta == ditta && w.anno == anno;
  return n;
}

bool LeftByRebuild(const std::string& family, db::Recordset& rs) {
  if (family != "vat") return false;
  const std::string tipo = Text(rs, "TIPOREGISTRO");
  return tipo == "5" || tipo == "17";
}

}  // namespace veriprog::selftest
