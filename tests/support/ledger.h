// Ledger: hand-built journals and stored totals for the account tests, written as plain SQL into
// a TestDatabase. Company 1 uses chart group 1 and the fiscal year 2024/1 (calendar 2024) unless
// a test adds its own.
#pragma once

#include <string>

#include "tests/support/test_database.h"

namespace veriprog::testing {

struct LineSpec {
  std::string conto;  // "" writes NULL
  std::string tipocf = "NULL";
  std::string clifor = "NULL";
  std::string sede = "NULL";  // branch of the line
  std::string valuta = "NULL";
  int dare_avere = 1;  // 1 debit, 2 credit
  std::string importo;
  std::string importo_val = "NULL";
};

class Ledger {
 public:
  explicit Ledger(const TestDatabase& db);

  // A registration with its lines; causal '001' ordinary, '150' closing, '151' opening,
  // '900' adjustment. Returns its number.
  std::string Registration(const std::string& date, const std::string& causal,
                           std::initializer_list<LineSpec> lines, const std::string& sede = "NULL",
                           int provisional = 0, int ditta = 1, int anno = 2024);
  // A stored yearly total; returns its identifier.
  int Yearly(const std::string& conto, const std::string& tipocf, const std::string& clifor,
             const std::string& sede, const std::string& saldofin, int ditta = 1, int anno = 2024);
  void YearlyCurrency(int id, const std::string& valuta, const std::string& saldofin,
                      const std::string& saldofin_euro);

 private:
  const TestDatabase& db_;
  int next_ = 0;
};

// Every stored account total, identity keys aside and null keys read as the ledger reads them,
// one line each, sorted: two snapshots compare equal when the totals are the same. The turnover
// and VAT amount columns are left out: the turnover rebuild owns them.
std::string AccountTotals(db::Connection& conn);

}  // namespace veriprog::testing
