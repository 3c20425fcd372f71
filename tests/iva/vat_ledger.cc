#include "tests/iva/vat_ledger.h"

#include "db/text.h"
#include "veriprog/recordset.h"

namespace veriprog::testing::registri {

VatLedger::VatLedger(const TestDatabase& db) : db_(db) {
  db_.Run(
      "INSERT INTO CG18_DITTE VALUES (1, 'Alfa', 1, 0, NULL, NULL, 'PDC '),"
      " (2, 'Beta', 2, 1, '2024-03-15', '2023-11-30', 'PDC ');"
      "INSERT INTO CG33_TABCAU (CG33_CODICE, CG33_DESCR, CG33_CAUSALEIVA, CG33_INDTIPOREG,"
      " CG33_FLGFATTDIFF, CG33_FLGSUBFORNI) VALUES"
      " ('FA', 'Fattura acquisto', NULL, 1, 0, 0), ('FV', 'Fattura vendita', NULL, 2, 0, 0),"
      " ('CO', 'Corrispettivi', NULL, 3, 0, 0), ('FAD', 'Acquisto differito', NULL, 1, 1, 0),"
      " ('FVD', 'Vendita differita', NULL, 2, 1, 0), ('SUB', 'Subfornitura', NULL, 2, 0, 1),"
      " ('INT', 'Acquisto intra', '51  ', 1, 0, 0), ('RSM', 'Acquisto San Marino', '41', 1, 0, 0),"
      " ('AUT', 'Autofattura', ' 62', 2, 0, 0), ('PAG', 'Incasso', NULL, 0, 0, 0);"
      "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_TIPOLOGIA, CG28_FLGSOSPIMP,"
      " CG28_ALIQIVAVENT) VALUES ('22', 1, 0, NULL), ('10', 1, 0, 0), ('S1', 1, 1, NULL),"
      " ('S2', 1, 2, NULL), ('S3', 1, 3, NULL), ('N1', 0, 1, NULL), ('V22', 1, 0, 22)");
}

void VatLedger::Registration(const VatRegistration& r, std::initializer_list<VatLineSpec> lines) {
  const std::string d = std::to_string(r.ditta);
  std::string sql =
      "INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19,"
      " CG41_PROGESER_CG19, CG41_DATAREG, CG41_DATAREGIVA, CG41_CODICE_CG33, CG41_INDTIPOREG,"
      " CG41_SEZIONALE, CG41_FLGSEGNOIVA, CG41_RIFPADRE, CG41_FLGDELETE, CG41_INDPROVREG)"
      " VALUES (" +
      d + ", '" + r.numreg + "', " + r.datareg.substr(0, 4) + ", 1, '" + r.datareg + "', '" +
      (r.dataregiva.empty() ? r.datareg : r.dataregiva) + "', '" + r.causal + "', " +
      std::to_string(r.tiporeg) + ", '" + r.sezionale + "', " + std::to_string(r.segno) + ", '" +
      r.rifpadre + "', " + r.flgdelete + ", " + std::to_string(r.provvisoria) + ");";
  int n = 0;
  for (const auto& l : lines) {
    sql +=
        "INSERT INTO CG43_MOVIVA (CG43_DITTA_CG18, CG43_NUMREG_CG41, CG43_NUMRIGAIVA,"
        " CG43_INDTIPO, CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG43_IMPONIBILE, CG43_IMPOSTA,"
        " CG43_IMPOSTAND) VALUES (" +
        d + ", '" + r.numreg + "', " + std::to_string(++n) + ", " + l.indtipo + ", '" + l.code +
        "', " + std::to_string(l.causaleiva) + ", " + l.imponibile + ", " + l.imposta + ", " +
        l.impostand + ");";
  }
  db_.Run(sql);
}

void VatLedger::SuspendedPayment(const std::string& document, int riga, const std::string& code,
                                 int numpag, const std::string& payment,
                                 const std::string& imponibile, const std::string& imposta) {
  const std::string r = std::to_string(riga);
  const std::string p = std::to_string(numpag);
  db_.Run("INSERT INTO CG48_MOVSOSP VALUES (1, '" + document + "', " + r + ", '" + code +
          "', 1) ON CONFLICT DO NOTHING;"
          "INSERT INTO CG49_PAGSOSP VALUES (1, '" +
          document + "', " + p + ", '" + payment +
          "') ON CONFLICT DO NOTHING;"
          "INSERT INTO CG50_MOVPAGSOSP VALUES (1, '" +
          document + "', " + p + ", " + r + ", '" + code + "', " + imponibile + ", " + imposta +
          ")");
}

void VatLedger::Publishing(const std::string& document, const std::string& payment,
                           const std::string& code, const std::string& imponibile,
                           const std::string& imposta) {
  db_.Run("INSERT INTO CGE0_DOCEDITORIA VALUES (1, '" + document +
          "');"
          "INSERT INTO CGE1_MOVEDITORIA VALUES (1, '" +
          document + "', 1, '" + code +
          "', 1);"
          "INSERT INTO CGE2_PAGEDITORIA VALUES (1, '" +
          document + "', '" + payment +
          "');"
          "INSERT INTO CGE3_MOVPAGEDITORIA VALUES (1, '" +
          document + "', 1, " + imponibile + ", " + imposta + ")");
}

void VatLedger::Stored(int anno, int mese, int tipo, const std::string& sezionale,
                       const std::string& code, int tipoiva, const std::string& imponibile,
                       int ditta) {
  db_.Run("INSERT INTO CG59_PROGIVAM VALUES (" + std::to_string(ditta) + ", " +
          std::to_string(anno) + ", " + std::to_string(mese) + ", " + std::to_string(tipo) + ", '" +
          sezionale + "', '" + code + "', " + std::to_string(tipoiva) + ", " + imponibile +
          ", 0, 0)");
}

namespace {

std::string Cell(const db::Variant& v) {
  if (v.is_null()) return "NULL";
  if (v.kind() == db::Variant::Kind::kDecimal) return v.AsDecimal().ToString();
  return std::string(db::TrimRight(v.ToText()));
}

}  // namespace

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
