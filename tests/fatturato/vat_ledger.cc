#include "tests/fatturato/vat_ledger.h"

#include <sstream>

#include "veriprog/recordset.h"

namespace veriprog::testing {
namespace {

std::string Q(const std::string& text) {
  return text == "NULL" ? text : "'" + text + "'";
}

std::string Scalar(db::Connection& conn, const std::string& sql) {
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return rs.Get(std::size_t{0}).ToText();
}

}  // namespace

VatLedger::VatLedger(const TestDatabase& db) : db_(db) {
  db_.Run(
      "INSERT INTO CG18_DITTE VALUES (1, 'Alfa', 1, 0, NULL, NULL, 'PDC '),"
      "  (2, 'Beta', 2, 0, NULL, NULL, 'PDC ');"
      "INSERT INTO CG19_ESERCIZI VALUES (1, 2024, 1, '2024-01-01', '2024-12-31'),"
      "  (1, 2023, 1, '2023-01-01', '2023-12-31'), (2, 2024, 1, '2024-01-01', '2024-12-31');"
      "INSERT INTO CG24_TABPDC VALUES (1, '1401', 'Clienti', 0), (1, '2401', 'Fornitori', 0),"
      "  (1, '4001', 'Ricavi', 1), (1, '4002', 'Ricavi estero', 1), (1, '6001', 'Costi', 1),"
      "  (1, '2601', 'IVA vendite', 0), (1, '1601', 'IVA acquisti', 0), (2, '4001', 'Ricavi', 1);"
      "INSERT INTO CG33_TABCAU (CG33_CODICE, CG33_DESCR, CG33_INDTIPOREG) VALUES"
      "  ('FV', 'Fattura di vendita', 2), ('FA', 'Fattura di acquisto', 1),"
      "  ('NC', 'Nota di credito', 2), ('CO', 'Corrispettivi', 3), ('XX', 'Fuori registro', 0)");
}

void VatLedger::Registrazione(const Testata& t, const std::vector<Riga>& righe,
                              const std::vector<RigaIva>& iva) {
  std::string sql =
      "INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19,"
      " CG41_PROGESER_CG19, CG41_DATAREG, CG41_DATAREGIVA, CG41_CODICE_CG33, CG41_CODICE_CG31,"
      " CG41_INDPROVREG, CG41_INDTIPOREG, CG41_FLGSEGNOIVA) VALUES (" +
      std::to_string(t.ditta) + ", '" + t.numreg + "', " + std::to_string(t.anno) + ", 1, '" +
      t.data + "', '" + t.data + "', '" + t.causale + "', " + t.sede + ", " +
      std::to_string(t.provvisoria) + ", " + std::to_string(t.tipo_reg) + ", " +
      std::to_string(t.segno_iva) + ");";
  int n = 0;
  for (const Riga& r : righe) {
    sql +=
        "INSERT INTO CG42_MOVCONT (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_NUMRIGA,"
        " CG42_ANNO_CG19, CG42_PROGESER_CG19, CG42_DATAREG, CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44,"
        " CG42_CLIFORPAR_CG44, CG42_CODICE_CG31, CG42_CODICE_CG08, CG42_CODICE_CG33,"
        " CG42_INDDAAV, CG42_IMPTOTALE, CG42_IMPTOTALEVAL, CG42_INDTIPOOPER, CG42_PROGIVA_CG43)"
        " VALUES (" +
        std::to_string(t.ditta) + ", '" + t.numreg + "', " + std::to_string(++n) + ", " +
        std::to_string(t.anno) + ", 1, '" + t.data + "', " + Q(r.conto) + ", " + r.tipocf + ", " +
        r.clifor + ", " + r.sede + ", " + Q(r.valuta) + ", '" + t.causale + "', " +
        std::to_string(r.dare_avere) + ", " + r.importo + ", " + r.importo_val + ", " +
        std::to_string(r.tipo_oper) + ", " + r.prog_iva + ");";
  }
  for (const RigaIva& v : iva) {
    sql +=
        "INSERT INTO CG43_MOVIVA (CG43_DITTA_CG18, CG43_NUMREG_CG41, CG43_NUMRIGAIVA,"
        " CG43_IMPOSTA, CG43_IMPOSTAND, CG43_IMPOSTAVAL, CG43_IMPOSTANDVAL) VALUES (" +
        std::to_string(t.ditta) + ", '" + t.numreg + "', " + std::to_string(v.riga) + ", " +
        v.imposta + ", " + v.impostand + ", " + v.imposta_val + ", " + v.impostand_val + ");";
  }
  db_.Run(sql);
}

void VatLedger::Elimina(const std::string& numreg) {
  db_.Run("DELETE FROM CG43_MOVIVA WHERE CG43_NUMREG_CG41 = '" + numreg +
          "'; DELETE FROM CG42_MOVCONT WHERE CG42_NUMREG_CG41 = '" + numreg +
          "'; DELETE FROM CG41_PRIMANOTA WHERE CG41_NUMREG = '" + numreg + "'");
}

void VatLedger::Annuale(int id, const std::string& conto, const std::string& tipocf,
                        const std::string& clifor, const std::string& sede, const std::string& iva,
                        int ditta, int anno, int gruppo) {
  db_.Run(
      "INSERT INTO CG53_PROGA (CG53_IDPROGA, CG53_DITTA_CG18, CG53_ANNO_CG19, "
      "CG53_PROGESER_CG19, CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_TIPOCF_CG44, "
      "CG53_CLIFOR_CG44, CG53_CODICE_CG31, CG53_SALDOFIN, CG53_IMPORTOIVA) VALUES (" +
      std::to_string(id) + ", " + std::to_string(ditta) + ", " + std::to_string(anno) + ", 1, " +
      std::to_string(gruppo) + ", " + Q(conto) + ", " + tipocf + ", " + clifor + ", " + sede +
      ", 1.00, " + iva + ")");
}

void VatLedger::Mensile(int id, int id_annuale, const std::string& conto, const std::string& tipocf,
                        const std::string& clifor, const std::string& sede, int annosol, int mese,
                        const std::string& fatturato, int ditta, int anno, int gruppo) {
  db_.Run(
      "INSERT INTO CG52_PROGM (CG52_IDPROGM, CG52_IDPROGA_CG53, CG52_DITTA_CG18, "
      "CG52_ANNO_CG53, CG52_PROGESER_CG53, CG52_GRUPPO_CG10, CG52_CONTO_CG24, CG52_TIPOCF_CG44, "
      "CG52_CLIFOR_CG44, CG52_CODICE_CG31, CG52_ANNOSOL, CG52_MESE, CG52_IMPORTODARE, "
      "CG52_IMPORTOAVERE, CG52_FATTURATO) VALUES (" +
      std::to_string(id) + ", " + std::to_string(id_annuale) + ", " + std::to_string(ditta) + ", " +
      std::to_string(anno) + ", 1, " + std::to_string(gruppo) + ", " + Q(conto) + ", " + tipocf +
      ", " + clifor + ", " + sede + ", " + std::to_string(annosol) + ", " + std::to_string(mese) +
      ", 2.00, 3.00, " + fatturato + ")");
}

void VatLedger::ValutaAnnuale(int id_annuale, const std::string& valuta, const std::string& iva,
                              const std::string& iva_euro) {
  db_.Run(
      "INSERT INTO CGV0_PROGAVAL (CGV0_IDPROGA_CG53, CGV0_CODICE_CG08, CGV0_SALDOFIN,"
      " CGV0_IMPORTOIVA, CGV0_IMPORTOIVAEURO) VALUES (" +
      std::to_string(id_annuale) + ", '" + valuta + "', 4.00, " + iva + ", " + iva_euro + ")");
}

void VatLedger::ValutaMensile(int id_annuale, int id_mensile, const std::string& valuta,
                              const std::string& fatturato, const std::string& fatturato_euro) {
  db_.Run(
      "INSERT INTO CGV1_PROGMVAL (CGV1_IDPROGA_CGV0, CGV1_IDPROGM_CG52, CGV1_CODICE_CG08,"
      " CGV1_IMPORTODARE, CGV1_FATTURATO, CGV1_FATTURATOEURO) VALUES (" +
      std::to_string(id_annuale) + ", " + std::to_string(id_mensile) + ", '" + valuta +
      "', 6.00, " + fatturato + ", " + fatturato_euro + ")");
}

std::string Figures(db::Connection& conn) {
  const std::string m =
      "CG52_DITTA_CG18, CG52_ANNO_CG53, CG52_GRUPPO_CG10, COALESCE(CG52_CODICE_CG31, 0),"
      " COALESCE(CG52_CONTO_CG24, ''), COALESCE(CG52_TIPOCF_CG44, 0),"
      " COALESCE(CG52_CLIFOR_CG44, 0), CG52_ANNOSOL, CG52_MESE";
  const std::string a =
      "CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_GRUPPO_CG10, COALESCE(CG53_CODICE_CG31, 0),"
      " COALESCE(CG53_CONTO_CG24, ''), COALESCE(CG53_TIPOCF_CG44, 0),"
      " COALESCE(CG53_CLIFOR_CG44, 0)";
  return Scalar(
      conn,
      "SELECT COALESCE(string_agg(x, chr(10) ORDER BY x), '') FROM ("
      " SELECT concat_ws('|', 'M', " +
          m + ", CG52_FATTURATO) AS x FROM CG52_PROGM" + " UNION ALL SELECT concat_ws('|', 'W', " +
          m +
          ", rtrim(CGV1_CODICE_CG08), CGV1_FATTURATO, CGV1_FATTURATOEURO)"
          " FROM CGV1_PROGMVAL JOIN CG52_PROGM ON CG52_IDPROGM = CGV1_IDPROGM_CG52"
          " UNION ALL SELECT concat_ws('|', 'A', " +
          a + ", CG53_IMPORTOIVA) FROM CG53_PROGA" + " UNION ALL SELECT concat_ws('|', 'V', " + a +
          ", rtrim(CGV0_CODICE_CG08), CGV0_IMPORTOIVA, CGV0_IMPORTOIVAEURO)"
          " FROM CGV0_PROGAVAL JOIN CG53_PROGA ON CG53_IDPROGA = CGV0_IDPROGA_CG53) AS T");
}

std::string OtherColumns(db::Connection& conn) {
  return Scalar(
      conn,
      "SELECT concat_ws(chr(10),"
      " (SELECT string_agg((to_jsonb(T) - 'cg52_fatturato')::text, chr(10) ORDER BY"
      "  T.CG52_IDPROGM) FROM CG52_PROGM T),"
      " (SELECT string_agg((to_jsonb(T) - 'cgv1_fatturato' - 'cgv1_fatturatoeuro')::text,"
      "  chr(10) ORDER BY T.CGV1_IDPROGM_CG52, T.CGV1_CODICE_CG08) FROM CGV1_PROGMVAL T),"
      " (SELECT string_agg((to_jsonb(T) - 'cg53_importoiva')::text, chr(10) ORDER BY"
      "  T.CG53_IDPROGA) FROM CG53_PROGA T),"
      " (SELECT string_agg((to_jsonb(T) - 'cgv0_importoiva' - 'cgv0_importoivaeuro')::text,"
      "  chr(10) ORDER BY T.CGV0_IDPROGA_CG53, T.CGV0_CODICE_CG08) FROM CGV0_PROGAVAL T))");
}

std::vector<std::string> Lines(const std::string& snapshot) {
  std::vector<std::string> out;
  std::istringstream in(snapshot);
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

std::string Field(const std::string& line, int n) {
  std::size_t from = 0;
  for (int i = 0; i < n; ++i) {
    from = line.find('|', from);
    if (from == std::string::npos) return "";
    ++from;
  }
  return line.substr(from, line.find('|', from) - from);
}

}  // namespace veriprog::testing
