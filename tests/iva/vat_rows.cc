#include "tests/iva/vat_rows.h"

#include "db/text.h"
#include "veriprog/recordset.h"

namespace veriprog::testing::registri {

namespace {

std::string Cell(const db::Variant& v) {
  if (v.is_null()) return "NULL";
  if (v.kind() == db::Variant::Kind::kDecimal) return v.AsDecimal().ToString();
  return std::string(db::TrimRight(v.ToText()));
}

}  // namespace

void SelfInvoices(Ledger& ledger) {
  ledger.Registration({"R1", "2024-06-10", "", "RSM", 1, "B"}, {}, {{"22", "500.00", "110.00"}});
  ledger.Registration({"R2", "2024-06-10", "", "AUT", 2, "B", 0, "R1"}, {},
                      {{"22", "500.00", "110.00"}});
  ledger.Registration({"R3", "2024-06-15", "", "AUT", 2, "B"}, {}, {{"22", "500.00", "110.00"}});
}

std::string VatRows(CLSCG_VERIPROG& main, bool with_summary) {
  auto rs = main.CPOutput()->RecSetControlloProgressiviIVA;
  if (!rs) return "(none)";
  std::string out;
  for (rs->MoveFirst(); !rs->eof(); rs->MoveNext()) {
    if (!with_summary && Cell(rs->Get("SEZIONALE")) == "RP") continue;
    const bool stored = Cell(rs->Get("TIPORECORD")) == "PGR";
    for (const char* f : {"TIPOREGISTRO", "SEZIONALE", "CODICEIVA", "TIPOIVA", "MESE"})
      out += Cell(rs->Get(f)) + "|";
    for (const char* f : {"IMPONIBILE", "IMPOSTA", "IMPOSTAND"})
      out += Cell(rs->Get(std::string(f) + (stored ? "PROGR" : "MOV"))) + "|";
    out += Cell(rs->Get("TIPORECORD")) + "\n";
  }
  return out;
}

std::string StoredVatTotals(db::Connection& conn) {
  auto rs = db::Recordset::FromResult(
      conn.Query("SELECT COALESCE(string_agg(x, chr(10) ORDER BY x), '') AS S FROM ("
                 " SELECT concat_ws('|', CG59_DITTA_CG18, CG59_ANNO, CG59_INDTIPO,"
                 " rtrim(CG59_SEZIONALE), rtrim(CG59_ALIQIVA_CG28), CG59_INDCAUSIVA, CG59_MESE,"
                 " CG59_IMPONIBILE, CG59_IMPOSTA, CG59_IMPOSTAND) AS x FROM CG59_PROGIVAM) AS T"),
      nullptr);
  return rs.Get("S").ToText();
}

}  // namespace veriprog::testing::registri
