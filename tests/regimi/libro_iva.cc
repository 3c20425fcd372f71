#include "tests/regimi/libro_iva.h"

#include "db/text.h"

namespace veriprog::testing::libro {
namespace {

std::string Data(const std::string& d) {
  return d.empty() ? "NULL" : "'" + d + "'";
}

}  // namespace

LibroIva::LibroIva(const TestDatabase& db) : db_(db) {
  db_.Run(
      "INSERT INTO CG18_DITTE VALUES (1, 'Alfa', 1, 0, NULL, NULL, 'PDC '),"
      " (2, 'Beta', 2, 0, NULL, NULL, 'PDC ');"
      "INSERT INTO CG19_ESERCIZI VALUES (1, 2024, 1, '2024-01-01', '2024-12-31'),"
      " (2, 2024, 1, '2024-01-01', '2024-12-31')");
}

std::string LibroIva::Registrazione(const Testata& t) {
  const std::string numreg = "IVA" + std::to_string(++next_);
  db_.Run(
      "INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19, "
      "CG41_PROGESER_CG19, CG41_DATAREG, CG41_DATAREGIVA, CG41_DATACOMP, CG41_CODICE_CG33, "
      "CG41_INDTIPOMOV, CG41_INDPROVREG, CG41_SEZIONALE, CG41_FLGSEGNOIVA) VALUES (" +
      std::to_string(t.ditta) + ", '" + numreg + "', " + t.data.substr(0, 4) + ", 1, '" + t.data +
      "', " + (t.senza_data_iva ? "NULL" : Data(t.data)) + ", " +
      Data(t.competenza.empty() ? t.data : t.competenza) + ", '001', " + std::to_string(t.tipomov) +
      ", " + std::to_string(t.provvisoria) + ", " +
      (t.sezionale.empty() ? "NULL" : "'" + t.sezionale + "'") + ", " + std::to_string(t.segno) +
      ")");
  return numreg;
}

void LibroIva::Riga(const std::string& numreg, int ditta, const std::string& indtipo,
                    const std::string& codice, const std::string& imponibile,
                    const std::string& imposta, const std::string& impostand) {
  db_.Run(
      "INSERT INTO CG43_MOVIVA (CG43_DITTA_CG18, CG43_NUMREG_CG41, CG43_NUMRIGAIVA, "
      "CG43_INDTIPO, CG43_ALIQIVA1_CG28, CG43_IMPONIBILE, CG43_IMPOSTA, CG43_IMPOSTAND) "
      "SELECT " +
      std::to_string(ditta) + ", '" + numreg + "', COALESCE(MAX(CG43_NUMRIGAIVA), 0) + 1, " +
      indtipo + ", '" + codice + "', " + imponibile + ", " + imposta + ", " + impostand +
      " FROM CG43_MOVIVA WHERE CG43_DITTA_CG18 = " + std::to_string(ditta) +
      " AND CG43_NUMREG_CG41 = '" + numreg + "'");
}

void LibroIva::RigaMargine(const std::string& numreg, int ditta, int tipomov, int regime,
                           const std::string& codice, const std::string& percforf,
                           const std::string& imponibile, const std::string& imposta,
                           const std::string& rettcosto, const std::string& margine) {
  db_.Run("INSERT INTO CGM2_MOVBENIUSATI SELECT " + std::to_string(ditta) + ", '" + numreg +
          "', COALESCE(MAX(CGM2_PROGRIGA), 0) + 1, " + std::to_string(tipomov) + ", " +
          std::to_string(regime) + ", '" + codice + "', " + percforf + ", " + imponibile + ", " +
          imposta + ", " + rettcosto + ", " + margine +
          " FROM CGM2_MOVBENIUSATI WHERE CGM2_DITTA_CG18 = " + std::to_string(ditta) +
          " AND CGM2_NUMREG_CG41 = '" + numreg + "'");
}

std::string Righe(db::Recordset& rs) {
  std::string out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < rs.fields().size(); ++f) {
      if (f > 0) out += '|';
      out += db::Trim(rs.Get(f).ToText());
    }
    out += '\n';
  }
  return out;
}

std::string Righe(db::Connection& conn, const std::string& sql) {
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return Righe(rs);
}

}  // namespace veriprog::testing::libro
