#include "tests/support/ledger.h"

#include "veriprog/recordset.h"

namespace veriprog::testing {
namespace {

std::string Q(const std::string& text) {
  return text == "NULL" ? text : "'" + text + "'";
}

}  // namespace

Ledger::Ledger(const TestDatabase& db) : db_(db) {
  db_.Run(
      "INSERT INTO CG18_DITTE VALUES (1, 'Alfa', 1, 0, NULL, NULL, 'PDC '), (2, 'Beta', 2, 0, NULL, NULL, 'PDC ');INSERT INTO CG19_ESERCIZI VALUES (1, 2024, 1, '2024-01-01', '2024-12-31'),  (1, 2023, 1, '2023-01-01', '2023-12-31'), (2, 2024, 1, '2024-07-01', '2025-06-30');INSERT INTO CG24_TABPDC VALUES (1, '1001', 'Cassa', 0), (1, '4001', 'Ricavi', 0),  (1, '1401', 'Clienti', 0), (1, '2901', 'Patrimonio', 0), (2, '1001', 'Cassa B', 0);INSERT INTO CG33_TABCAU (CG33_CODICE, CG33_DESCR, CG33_FLGCOMP) VALUES ('001', 'Ordinaria', 0),  ('150', 'Chiusura', 0), ('151', 'Apertura', 0), ('900', 'Rettifica', 1);INSERT INTO CG16_ANAGGEN VALUES (9, 1, NULL, '2024-06-30', 'Rossi vecchia'),  (9, 2, '2024-07-01', NULL, 'Rossi Spa');INSERT INTO CG44_CLIFOR VALUES (1, 1, 5, 9, 'USD')");
}

std::string Ledger::Registration(const std::string& date, const std::string& causal,
                                 std::initializer_list<LineSpec> lines, const std::string& sede,
                                 int provisional, int ditta, int anno) {
  const std::string numreg = "R" + std::to_string(++next_);
  std::string sql =
      "INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19, CG41_PROGESER_CG19, CG41_DATAREG, CG41_CODICE_CG33, CG41_CODICE_CG31, CG41_INDPROVREG) VALUES (" +
      std::to_string(ditta) + ", '" + numreg + "', " + std::to_string(anno) + ", 1, '" + date +
      "', '" + causal + "', " + sede + ", " + std::to_string(provisional) + ");";
  int n = 0;
  for (const auto& l : lines) {
    sql +=
        "INSERT INTO CG42_MOVCONT (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_NUMRIGA, CG42_ANNO_CG19, CG42_PROGESER_CG19, CG42_DATAREG, CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44, CG42_CODICE_CG31, CG42_CODICE_CG08, CG42_CODICE_CG33, CG42_INDDAAV, CG42_IMPTOTALE, CG42_IMPTOTALEVAL) VALUES (" +
        std::to_string(ditta) + ", '" + numreg + "', " + std::to_string(++n) + ", " +
        std::to_string(anno) + ", 1, '" + date + "', " + (l.conto.empty() ? "NULL" : Q(l.conto)) +
        ", " + l.tipocf + ", " + l.clifor + ", " + l.sede + ", " + Q(l.valuta) + ", '" + causal +
        "', " + std::to_string(l.dare_avere) + ", " + l.importo + ", " + l.importo_val + ");";
  }
  db_.Run(sql);
  return numreg;
}

int Ledger::Yearly(const std::string& conto, const std::string& tipocf, const std::string& clifor,
                   const std::string& sede, const std::string& saldofin, int ditta, int anno) {
  const int id = 1000 + ++next_;
  db_.Run(
      "INSERT INTO CG53_PROGA (CG53_IDPROGA, CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_TIPOCF_CG44, CG53_CLIFOR_CG44, CG53_CODICE_CG31, CG53_SALDOFIN) VALUES (" +
      std::to_string(id) + ", " + std::to_string(ditta) + ", " + std::to_string(anno) + ", 1, " +
      std::to_string(ditta) + ", " + Q(conto) + ", " + tipocf + ", " + clifor + ", " + sede + ", " +
      saldofin + ")");
  return id;
}

void Ledger::YearlyCurrency(int id, const std::string& valuta, const std::string& saldofin,
                            const std::string& saldofin_euro) {
  db_.Run(
      "INSERT INTO CGV0_PROGAVAL (CGV0_IDPROGA_CG53, CGV0_CODICE_CG08, CGV0_SALDOFIN, CGV0_SALDOFINEURO) VALUES (" +
      std::to_string(id) + ", '" + valuta + "', " + saldofin + ", " + saldofin_euro + ")");
}

// Every stored account total, identity keys aside and null keys read as the ledger reads them,
// one line each, sorted: two snapshots compare equal when the totals are the same. The turnover
// and VAT amount columns (CG52_FATTURATO, CG53_IMPORTOIVA) are left out: the turnover rebuild
// owns them, and the account rebuild only writes 0 there.
std::string AccountTotals(db::Connection& conn) {
  const char* sql =
      "SELECT string_agg(x, chr(10) ORDER BY x) AS S FROM ( SELECT concat_ws('|', 'A', CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_GRUPPO_CG10, COALESCE(CG53_CONTO_CG24, ''),  COALESCE(CG53_TIPOCF_CG44, 0), COALESCE(CG53_CLIFOR_CG44, 0), COALESCE(CG53_CODICE_CG31, 0),  CG53_SALDOAPE, CG53_RETTDARE, CG53_RETTAVERE, CG53_SALDOFIN, CG53_SALDOCHIU) AS x FROM CG53_PROGA UNION ALL SELECT concat_ws('|', 'V', CG53_DITTA_CG18, CG53_ANNO_CG19, COALESCE(CG53_CONTO_CG24, ''),  COALESCE(CG53_TIPOCF_CG44, 0), COALESCE(CG53_CLIFOR_CG44, 0), COALESCE(CG53_CODICE_CG31, 0),  CGV0_CODICE_CG08, CGV0_SALDOAPE, CGV0_RETTDARE, CGV0_RETTAVERE, CGV0_SALDOFIN, CGV0_SALDOCHIU,  CGV0_SALDOAPEEURO, CGV0_RETTDAREEURO, CGV0_RETTAVEREEURO, CGV0_SALDOFINEURO, CGV0_SALDOCHIUEURO) FROM CGV0_PROGAVAL JOIN CG53_PROGA ON CG53_IDPROGA = CGV0_IDPROGA_CG53 UNION ALL SELECT concat_ws('|', 'M', CG52_DITTA_CG18, CG52_ANNO_CG53, COALESCE(CG52_CONTO_CG24, ''),  COALESCE(CG52_TIPOCF_CG44, 0), COALESCE(CG52_CLIFOR_CG44, 0), COALESCE(CG52_CODICE_CG31, 0),  CG52_ANNOSOL, CG52_MESE, CG52_IMPORTODARE, CG52_IMPORTOAVERE,  CG52_IDPROGA_CG53 = CG53_IDPROGA) FROM CG52_PROGM JOIN CG53_PROGA ON CG53_IDPROGA = CG52_IDPROGA_CG53 UNION ALL SELECT concat_ws('|', 'W', CG52_DITTA_CG18, COALESCE(CG52_CONTO_CG24, ''), COALESCE(CG52_TIPOCF_CG44, 0),  COALESCE(CG52_CLIFOR_CG44, 0), COALESCE(CG52_CODICE_CG31, 0), CG52_ANNOSOL, CG52_MESE, CGV1_CODICE_CG08,  CGV1_IMPORTODARE, CGV1_IMPORTOAVERE, CGV1_IMPORTODAREEURO, CGV1_IMPORTOAVEREEURO,  CGV1_IDPROGA_CGV0 = CG52_IDPROGA_CG53) FROM CGV1_PROGMVAL JOIN CG52_PROGM ON CG52_IDPROGM = CGV1_IDPROGM_CG52) AS T";
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return rs.Get("S").ToText();
}

}  // namespace veriprog::testing
