// A hand-built ledger for the turnover rebuild: company 1 (chart group 1) and company 2 (group
// 2), fiscal years 2024/1 and 2023/1 of company 1 and 2024/1 of company 2; a chart where the
// revenue and cost accounts make turnover; causals of the purchase (FA), sales (FV, NC) and
// receipts (CO) registers and one of no register (XX). Registrations, VAT lines and stored totals
// are added by the tests, each figure in plain SQL so that a test reads as the ledger it builds.
#pragma once

#include <string>
#include <vector>

#include "tests/support/recording_connection.h"
#include "tests/support/test_database.h"
#include "veriprog/connection.h"

namespace veriprog::testing {

struct Riga {
  std::string conto;
  std::string tipocf = "NULL";
  std::string clifor = "NULL";
  int dare_avere = 1;  // 1 debit, 2 credit
  std::string importo;
  int tipo_oper = 3;  // 1 open item, 2 VAT, 3 counter-account
  std::string prog_iva = "NULL";
  std::string sede = "NULL";
  std::string valuta = "NULL";
  std::string importo_val = "NULL";
};

struct RigaIva {
  int riga;
  std::string imposta;
  std::string impostand = "NULL";
  std::string imposta_val = "NULL";
  std::string impostand_val = "NULL";
};

struct Testata {
  std::string numreg;
  std::string data;
  std::string causale;
  int tipo_reg = 2;  // CG41_INDTIPOREG
  std::string sede = "NULL";
  int segno_iva = 0;
  int provvisoria = 0;
  int ditta = 1;
  int anno = 2024;
};

class VatLedger {
 public:
  explicit VatLedger(const TestDatabase& db);

  void Registrazione(const Testata& t, const std::vector<Riga>& righe,
                     const std::vector<RigaIva>& iva = {});
  void Elimina(const std::string& numreg);
  // Stored totals; the identifiers are given, so that a test can name its rows.
  void Annuale(int id, const std::string& conto, const std::string& tipocf,
               const std::string& clifor, const std::string& sede, const std::string& iva,
               int ditta = 1, int anno = 2024, int gruppo = 1);
  void Mensile(int id, int id_annuale, const std::string& conto, const std::string& tipocf,
               const std::string& clifor, const std::string& sede, int annosol, int mese,
               const std::string& fatturato, int ditta = 1, int anno = 2024, int gruppo = 1);
  void ValutaAnnuale(int id_annuale, const std::string& valuta, const std::string& iva,
                     const std::string& iva_euro);
  void ValutaMensile(int id_annuale, int id_mensile, const std::string& valuta,
                     const std::string& fatturato, const std::string& fatturato_euro);

 private:
  const TestDatabase& db_;
};

// Write-backs recorded too: "-- UpdateBatch <table>: <n> row(s)".
inline std::shared_ptr<RecordingConnection> Recording(std::shared_ptr<db::Connection> inner) {
  return std::make_shared<RecordingConnection>(std::move(inner), true);
}

// The turnover and VAT amounts stored, one line per row, sorted:
//   M|ditta|anno|gruppo|sede|conto|tipocf|clifor|annosol|mese|CG52_FATTURATO
//   W|ditta|anno|gruppo|sede|conto|tipocf|clifor|annosol|mese|valuta|FATTURATO|FATTURATOEURO
//   A|ditta|anno|gruppo|sede|conto|tipocf|clifor|CG53_IMPORTOIVA
//   V|ditta|anno|gruppo|sede|conto|tipocf|clifor|valuta|IMPORTOIVA|IMPORTOIVAEURO
// Null keys read as the ledger reads them; the branch is the fifth field of every line.
std::string Figures(db::Connection& conn);
// Every other column of the four tables, identifiers included: what the rebuild must not touch.
std::string OtherColumns(db::Connection& conn);
// The lines of a snapshot, split, and the branch field of a line.
std::vector<std::string> Lines(const std::string& snapshot);
std::string Field(const std::string& line, int n);

}  // namespace veriprog::testing
