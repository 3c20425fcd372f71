// Hand-built VAT journals for the VAT register tests: causals and VAT codes of every kind the
// classification knows, registrations with their VAT lines, payments of suspended-VAT and
// publishing documents, and the check's rows as text.
#pragma once

#include <string>

#include "tests/support/test_database.h"
#include "veriprog/main_object.h"

namespace veriprog::testing::registri {

struct VatRegistration {
  std::string numreg;
  std::string datareg;
  std::string dataregiva = "";  // "" : the registration date
  std::string causal;
  int tiporeg;  // 1 purchases, 2 sales, 3 receipts, 0 none (payments)
  std::string sezionale = "A";
  int segno = 0;  // CG41_FLGSEGNOIVA
  std::string rifpadre = "";
  std::string flgdelete = "NULL";
  int provvisoria = 0;
  int ditta = 1;
};

struct VatLineSpec {
  std::string code;
  std::string imponibile;
  std::string imposta;
  std::string impostand = "NULL";
  int causaleiva = 1;
  std::string indtipo = "NULL";
};

class VatLedger {
 public:
  // Companies 1 (no VAT sections) and 2 (VAT sections from 2024-03-15, last definitive summary
  // print 2023-11-30); causals FA/FV/CO (purchases, sales, receipts), FAD/FVD (deferred
  // invoices), SUB (subcontracting), INT (VAT causal 51), RSM (41), AUT (62), PAG (payments);
  // VAT codes 22 and 10 (immediate), S1/S2/S3 (deferred: public body, other company, split
  // payment), N1 (deferred but neutral), V22 (ventilation purchases, related sales code 22).
  explicit VatLedger(const TestDatabase& db);

  void Registration(const VatRegistration& r, std::initializer_list<VatLineSpec> lines);
  // A payment of a suspended-VAT document: its line `riga` (code, VAT type) paid in part.
  void SuspendedPayment(const std::string& document, int riga, const std::string& code, int numpag,
                        const std::string& payment, const std::string& imponibile,
                        const std::string& imposta);
  // A publishing document and its one payment of line 1.
  void Publishing(const std::string& document, const std::string& payment, const std::string& code,
                  const std::string& imponibile, const std::string& imposta);
  void Stored(int anno, int mese, int tipo, const std::string& sezionale, const std::string& code,
              int tipoiva, const std::string& imponibile, int ditta = 1);

 private:
  const TestDatabase& db_;
};

// The rows of the check's record set as "TIPO|SEZ|CODICE|TIPOIVA|MESE|IMPONIBILE|IMPOSTA|
// IMPOSTAND|REC" lines in its order, the amounts of the row's own kind (MOV or PGR); rows of
// the summary section 'RP' only when asked for.
std::string VatRows(CLSCG_VERIPROG& main, bool with_summary = false);

// CG59_PROGIVAM as "DITTA|ANNO|TIPO|SEZ|CODICE|TIPOIVA|MESE|IMPONIBILE|IMPOSTA|IMPOSTAND"
// lines, sorted.
std::string StoredVatTotals(db::Connection& conn);

}  // namespace veriprog::testing::registri
