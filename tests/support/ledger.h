// Ledger: the one way the tests write hand-built ledgers into a TestDatabase: companies, fiscal
// years, charts, causals and VAT codes (Rows), registrations with their journal, VAT and margin
// lines, stored totals. A test reads as the ledger it builds; what it reads back is text.
//
// Values are given as text: "NULL" writes a null; a code or a date is quoted (quotes doubled); a
// number or an amount must be one, or the test fails before anything is written. What a field
// left out of a registration becomes is the ledger's habit (Usi), declared once by each kind of
// ledger below; a column no habit names keeps the schema's default.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_database.h"
#include "veriprog/recordset.h"

namespace veriprog::testing {

// One cell of Rows: a whole number, a text (quoted; amounts and dates too, which the database
// reads as the column's type) or kNull.
class Value {
 public:
  Value(int n) : sql_(std::to_string(n)) {}  // NOLINT: a cell reads as its number
  Value(const char* text);                   // NOLINT: a cell reads as its text
  static Value Null() { return Value(); }
  const std::string& sql() const { return sql_; }

 private:
  Value() : sql_("NULL") {}
  std::string sql_;
};

inline const Value kNull = Value::Null();

// A registration header (CG41_PRIMANOTA). The optional fields, left out, take the ledger's habit.
struct Testata {
  std::string numreg{};                    // "": numbered by the ledger
  std::string data{};                      // CG41_DATAREG, YYYY-MM-DD
  std::optional<std::string> data_iva{};   // CG41_DATAREGIVA; "": the registration date
  std::optional<std::string> causale{};    // CG41_CODICE_CG33
  std::optional<int> tipo_reg{};           // CG41_INDTIPOREG: 1 purchases, 2 sales, 3 receipts
  std::optional<std::string> sezionale{};  // CG41_SEZIONALE (VAT section)
  int segno = 0;                           // CG41_FLGSEGNOIVA: not 0 for a credit note
  std::string rif_padre = "";              // CG41_RIFPADRE
  std::string flg_delete = "NULL";         // CG41_FLGDELETE
  int provvisoria = 0;                     // CG41_INDPROVREG
  int ditta = 1;
  int anno = 0;                             // CG41_ANNO_CG19; 0: the year of the registration
  std::string sede = "NULL";                // CG41_CODICE_CG31 (branch)
  std::optional<std::string> competenza{};  // CG41_DATACOMP; "": the registration date
  int tipo_mov = 0;                         // CG41_INDTIPOMOV
};

// A journal line (CG42_MOVCONT), numbered in its registration from 1.
struct Riga {
  std::string conto{}, tipocf = "NULL", clifor = "NULL";  // conto "" or "NULL": none
  int dare_avere = 1;                                     // 1 debit, 2 credit
  std::string importo{};
  std::optional<int> tipo_oper{};  // 1 open item, 2 VAT, 3 counter-account
  std::string prog_iva = "NULL", sede = "NULL", valuta = "NULL", importo_val = "NULL";
};

// A VAT line (CG43_MOVIVA), numbered in its registration from 1.
struct RigaIva {
  std::string codice = "NULL", imponibile = "NULL", imposta = "NULL", impostand = "NULL";
  std::optional<int> causale_iva{};
  std::string tipo = "NULL", imposta_val = "NULL", impostand_val = "NULL";  // tipo: CG43_INDTIPO
};

// A margin-scheme line (CGM2_MOVBENIUSATI), numbered in its registration from 1.
struct RigaMargine {
  int tipo_mov{}, regime{};
  std::string codice{}, perc_forf{}, imponibile{}, imposta{}, rett_costo{}, margine{};
};

// A stored yearly total (CG53_PROGA).
struct Annuale {
  std::string conto{}, tipocf = "NULL", clifor = "NULL", sede = "NULL", saldofin = "NULL";
  int ditta = 1, anno = 2024;
  std::string importo_iva = "NULL";
  int id = 0;      // 0: numbered by the ledger
  int gruppo = 0;  // 0: the company's number
};

// A stored monthly total (CG52_PROGM) of the yearly total id_annuale.
struct Mensile {
  int id{}, id_annuale{};  // id 0: the table numbers it
  std::string conto{}, tipocf{}, clifor{}, sede{};
  int annosol{}, mese{};
  std::string dare{}, avere{}, fatturato{};
  int ditta = 1, anno = 2024, gruppo = 1;
};

// What a registration gets where a test leaves a field out: each kind of ledger has its own.
struct Usi {
  std::string prefisso = "R";  // registration numbers R1, R2, ...
  std::string data_iva = "NULL";
  std::string competenza = "NULL";
  std::string causale = "NULL";
  std::optional<int> tipo_reg{};
  std::string sezionale = "NULL";
  std::optional<int> tipo_oper{};    // of a journal line
  std::optional<int> causale_iva{};  // of a VAT line
};

class Ledger {
 public:
  Ledger(const TestDatabase& db, Usi usi);

  // Rows of any table, in the order of its columns, or of the columns named.
  void Rows(const std::string& table, std::initializer_list<std::initializer_list<Value>> rows);
  void Rows(const std::string& table, const std::vector<std::string>& columns,
            std::initializer_list<std::initializer_list<Value>> rows);

  // A registration with its journal and VAT lines; returns its number.
  std::string Registration(const Testata& t, const std::vector<Riga>& righe = {},
                           const std::vector<RigaIva>& iva = {});
  // A registration of the journal alone: no VAT date, no section.
  std::string Registration(const std::string& data, const std::string& causale,
                           const std::vector<Riga>& righe, const std::string& sede = "NULL",
                           int provvisoria = 0, int ditta = 1, int anno = 2024);
  // A VAT line or a margin-scheme line more for a registration already written.
  void VatLine(const std::string& numreg, int ditta, const RigaIva& v);
  void VatLine(const std::string& numreg, int ditta, const std::string& tipo,
               const std::string& codice, const std::string& imponibile,
               const std::string& imposta = "0", const std::string& impostand = "0");
  void MarginLine(const std::string& numreg, int ditta, const RigaMargine& m);
  // A registration gone, with its lines.
  void Delete(const std::string& numreg);

  // Stored totals. Yearly returns the total's identifier.
  int Yearly(const Annuale& a);
  void Monthly(const Mensile& m);

 private:
  std::string VatLineSql(const std::string& numreg, int ditta, const RigaIva& v);

  const TestDatabase& db_;
  Usi usi_;
  int next_ = 0;
  std::map<std::pair<int, std::string>, int> vat_lines_, margin_lines_;
};

// The kinds of ledger the families' tests start from.
//
// Accounts: company 1 (chart group 1, fiscal years 2024/1 and 2023/1) and company 2 (group 2,
// 2024/1 from July to June); accounts 1001, 4001, 1401, 2901 (and 1001 of group 2); causals
// '001' ordinary, '150' closing, '151' opening, '900' adjustment; customer 5 of company 1, named
// after registry 9 (renamed on 1 July 2024), in USD.
Ledger AccountLedger(const TestDatabase& db);
// Turnover: companies 1 and 2 (groups 1 and 2), fiscal years 2024/1 and 2023/1 of company 1 and
// 2024/1 of company 2; revenue and cost accounts that make turnover (4001, 4002, 6001) and others
// that do not; causals of the purchase (FA), sales (FV, NC) and receipts (CO) registers and one of
// no register (XX). A registration is a sale (register 2) unless it says otherwise, a journal
// line a counter-account line.
Ledger TurnoverLedger(const TestDatabase& db);
// VAT registers: companies 1 (no VAT sections) and 2 (VAT sections from 2024-03-15, last
// definitive summary print 2023-11-30); causals FA/FV/CO (purchases, sales, receipts), FAD/FVD
// (deferred invoices), SUB (subcontracting), INT (VAT causal 51), RSM (41), AUT (62), PAG
// (payments); VAT codes 22 and 10 (immediate), S1/S2/S3 (deferred: public body, other company,
// split payment), N1 (deferred but neutral), V22 (ventilation purchases, related sales code 22).
// Section A unless a registration says otherwise; VAT causal 1 on every line.
Ledger VatRegisterLedger(const TestDatabase& db);
// VAT book: companies 1 and 2 with their fiscal years 2024; registrations numbered IVA1, IVA2, ...
// of causal '001' in section A, with VAT and competence on the registration date.
Ledger VatBookLedger(const TestDatabase& db);

// Every stored account total, identity keys aside and null keys read as the ledger reads them,
// one line each, sorted: two snapshots compare equal when the totals are the same. The turnover
// and VAT amount columns are left out: the turnover rebuild owns them.
std::string AccountTotals(db::Connection& conn);

// The rows in view, one line each: the fields' text forms joined by '|' (blanks padding a code
// cut), numbers without trailing fraction zeros.
std::string Righe(db::Recordset& rs);

// The rows of a query, rendered as Righe renders them.
std::string Righe(db::Connection& conn, const std::string& sql);

// The lines of a text; lines sorted, each ended by a line break, for results in no fixed order.
std::vector<std::string> Lines(const std::string& text);
std::string Sorted(std::vector<std::string> lines);

}  // namespace veriprog::testing
