// The three special VAT schemes on hand-built ledgers whose figures are worked out below: each
// check, each rebuild with its round trip (only the stored kinds a rebuild keeps stay flagged),
// other companies' and activities' rows left alone, a failure at every statement, and the
// statements byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "db/text.h"
#include "gen/ledger_generator.h"
#include "selftest/faulty_connection.h"
#include "tests/support/fakes.h"
#include "tests/support/ledger.h"
#include "tests/support/recording_connection.h"
#include "tests/support/statements.h"
#include "veriprog/main_object.h"
#include "veriprog/recordset.h"

namespace veriprog {
namespace {

using testing::Righe;

// The lines sorted: journal groups come back in no fixed order.
std::string Ordinate(const std::string& text) {
  return testing::Sorted(testing::Lines(text));
}

struct Schema : testing::YearMain {
  using YearMain::YearMain;
  db::Recordset& Run(void (CLSCG_VERIPROG::*check)(),
                     std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result) {
    (main.*check)();
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
    return *(main.CPOutput().get()->*result);
  }
  void Rebuild(void (CLSCG_VERIPROG::*rebuild)()) {
    (main.*rebuild)();
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
  }
  // The rebuild's step descriptions, in order.
  std::string Processi() const {
    std::string out;
    for (const auto& l : events->lines) {
      if (l.rfind("ProcessoAzzera", 0) == 0) out += l.substr(l.find('(')) + "\n";
    }
    return out;
  }
};

// --- margin scheme -------------------------------------------------------------------------------

using M = CLSCG_VERIPROG;
constexpr auto kMargine = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviRegimeMargine;

// Company 1, March 2024; section M is activity 30 (code 5), section N activity 31 (code 6);
// company 2's activity 40 shares code 6. Groups (movement type, regime, code, flat rate):
//   0,1,22       100+22 and 50+11, margins 30 and 0 -> kind 6 183, kind 8 30
//   0,2,10       200+20, cost adjustment 80          -> kind 1 220, kind 3 80, kind 4 140
//   1,1,22 (N)   40                                  -> kind 7 40
//   2,2,22 (N)   15                                  -> kind 2 15
//   0,3,22 at 25 / 50 / 60 / 40: 10 / 12 / 14 / 16  -> kinds 9 / 10 / 11 / 0
//   1,3,22 at 25 20                                  left out
//   2,3,22 at 25 18                                  -> kind 0 (16 + 18 = 34)
//   3,1,22       5                                   -> kind 1
// An April registration without VAT date never counts.
void Margine(testing::Ledger& l) {
  l.Rows("CG86_AZIENDECOLL",
         {"CG86_IDATTIVITA", "CG86_DITTA_CG18", "CG86_CODATTIVITA", "CG86_ANNOIVA", "CG86_INDTIPO"},
         {{30, 1, 5, 2024, 0}, {31, 1, 6, 2024, 0}, {40, 2, 6, 2024, 0}});
  l.Rows("CG32_ANADITTAPSEZ", {{1, 2024, "M", 30}, {1, 2024, "N", 31}, {2, 2024, "M", 40}});
  const std::string m = l.Registration({.data = "2024-03-10", .sezionale = "M"});
  l.MarginLine(m, 1, {0, 1, "22", "NULL", "100", "22", "0", "30"});
  l.MarginLine(m, 1, {0, 1, "22", "NULL", "50", "11", "0", "0"});
  l.MarginLine(m, 1, {0, 2, "10", "NULL", "200", "20", "80", "0"});
  const std::string n = l.Registration({.data = "2024-03-11", .sezionale = "N"});
  l.MarginLine(n, 1, {1, 1, "22", "NULL", "40", "0", "0", "0"});
  l.MarginLine(n, 1, {2, 2, "22", "NULL", "15", "0", "0", "0"});
  const std::string f = l.Registration({.data = "2024-03-12", .sezionale = "M"});
  l.MarginLine(f, 1, {0, 3, "22", "25", "10", "0", "0", "0"});
  l.MarginLine(f, 1, {0, 3, "22", "50", "12", "0", "0", "0"});
  l.MarginLine(f, 1, {0, 3, "22", "60", "14", "0", "0", "0"});
  l.MarginLine(f, 1, {0, 3, "22", "40", "16", "0", "0", "0"});
  l.MarginLine(f, 1, {1, 3, "22", "25", "20", "0", "0", "0"});
  l.MarginLine(f, 1, {2, 3, "22", "25", "18", "0", "0", "0"});
  l.MarginLine(f, 1, {3, 1, "22", "NULL", "5", "0", "0", "0"});
  l.MarginLine(l.Registration({.data = "2024-04-10", .data_iva = "NULL", .sezionale = "M"}), 1,
               {0, 1, "22", "NULL", "700", "0", "0", "0"});
  l.MarginLine(l.Registration({.data = "2024-03-10", .sezionale = "M", .ditta = 2}), 2,
               {0, 1, "22", "NULL", "1000", "0", "0", "0"});
  // Stored: kind 8 wrong, kinds 5 and 12 that only the stored side knows, VAT on kind 1, a May
  // row without journal; per activity kind 7 wrong and company 2's row of the shared code.
  l.Rows("CGM3_PROGIVAM", {{1, 2024, 3, 6, "22", 183, 0, 0},
                           {1, 2024, 3, 8, "22", 25, 0, 0},
                           {1, 2024, 3, 5, "22", 99, 0, 0},
                           {1, 2024, 3, 12, "22", 7, 0, 0},
                           {1, 2024, 3, 1, "10", 220, 5, 0},
                           {1, 2024, 5, 6, "22", 50, 0, 0},
                           {2, 2024, 3, 6, "22", 1000, 0, 0}});
  l.Rows("CGL3_PROGIVAMARG", {{30, 2024, 6, 3, "22", 183, 0, 0},
                              {30, 2024, 8, 3, "22", 30, 0, 0},
                              {31, 2024, 7, 3, "22", 41, 0, 0},
                              {40, 2024, 7, 3, "22", 500, 0, 0}});
}

std::string StoredMargine(db::Connection& conn) {
  return Righe(conn,
               "SELECT 'C', CGM3_DITTA_CG18, CGM3_MESE, CGM3_INDMARGINE, CGM3_CODICE_CG28, "
               "CGM3_IMPONIBILE, CGM3_IMPOSTA, CGM3_IMPOSTAND FROM CGM3_PROGIVAM UNION ALL "
               "SELECT 'A', CGL3_IDATTIVITA_CG86, CGL3_MESE, CGL3_INDMARGINE, CGL3_CODICE_CG28, "
               "CGL3_IMPONIBILE, CGL3_IMPOSTA, CGL3_IMPOSTAND FROM CGL3_PROGIVAMARG "
               "ORDER BY 1, 2, 3, 4, 5");
}

TEST(ControlloProgressiviRegimeMargine, KindsPerCompanyAndPerActivity) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Margine(l);
  auto conn = db.Connect();
  // INDMARGINE|CODICEIVA|MESE|DESCRMESE|3 stored|3 journal|FLAGSBIL|IDATTIVITA
  Schema company(conn);
  EXPECT_EQ(Ordinate(Righe(company.Run(&M::ControlloProgressiviRegimeMargine, kMargine))),
            Ordinate("0|22|3|Marzo|0|0|0|34|0|0|Si|\n"
                     "1|10|3|Marzo|220|5|0|220|0|0|Si|\n"
                     "1|22|3|Marzo|0|0|0|5|0|0|Si|\n"
                     "10|22|3|Marzo|0|0|0|12|0|0|Si|\n"
                     "11|22|3|Marzo|0|0|0|14|0|0|Si|\n"
                     "12|22|3|Marzo|7|0|0|0|0|0|Si|\n"
                     "2|22|3|Marzo|0|0|0|15|0|0|Si|\n"
                     "3|10|3|Marzo|0|0|0|80|0|0|Si|\n"
                     "4|10|3|Marzo|0|0|0|140|0|0|Si|\n"
                     "5|22|3|Marzo|99|0|0|0|0|0|Si|\n"
                     "6|22|3|Marzo|183|0|0|183|0|0||\n"
                     "6|22|5|Maggio|50|0|0|0|0|0|Si|\n"
                     "7|22|3|Marzo|0|0|0|40|0|0|Si|\n"
                     "8|22|3|Marzo|25|0|0|30|0|0|Si|\n"
                     "9|22|3|Marzo|0|0|0|10|0|0|Si|\n"));

  // All activities together; company 2's activity 40 (code 6 too) is not summed in.
  Schema all(conn, true);
  db::Recordset& rs = all.Run(&M::ControlloProgressiviRegimeMargine, kMargine);
  EXPECT_EQ(rs.filter(), "IDATTIVITA = -1");
  EXPECT_EQ(Ordinate(Righe(rs)), Ordinate("0|22|3|Marzo|0|0|0|34|0|0|Si|-1\n"
                                          "1|10|3|Marzo|0|0|0|220|0|0|Si|-1\n"
                                          "1|22|3|Marzo|0|0|0|5|0|0|Si|-1\n"
                                          "10|22|3|Marzo|0|0|0|12|0|0|Si|-1\n"
                                          "11|22|3|Marzo|0|0|0|14|0|0|Si|-1\n"
                                          "2|22|3|Marzo|0|0|0|15|0|0|Si|-1\n"
                                          "3|10|3|Marzo|0|0|0|80|0|0|Si|-1\n"
                                          "4|10|3|Marzo|0|0|0|140|0|0|Si|-1\n"
                                          "6|22|3|Marzo|183|0|0|183|0|0||-1\n"
                                          "7|22|3|Marzo|41|0|0|40|0|0|Si|-1\n"
                                          "8|22|3|Marzo|30|0|0|30|0|0||-1\n"
                                          "9|22|3|Marzo|0|0|0|10|0|0|Si|-1\n"));

  Schema code6(conn, true, 6, 31);
  EXPECT_EQ(Ordinate(Righe(code6.Run(&M::ControlloProgressiviRegimeMargine, kMargine))),
            Ordinate("2|22|3|Marzo|0|0|0|15|0|0|Si|31\n"
                     "7|22|3|Marzo|41|0|0|40|0|0|Si|31\n"));
}

TEST(AzzeraAggiornaProgressiviRegimeMargine, RoundTripsKeepKinds5And12) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Margine(l);
  auto conn = db.Connect();
  const std::string activities =
      "A|30|3|6|22|183|0|0\nA|30|3|8|22|30|0|0\nA|31|3|7|22|41|0|0\nA|40|3|7|22|500|0|0\n";
  const std::string company =
      "C|1|3|0|22|34|0|0\nC|1|3|1|10|220|0|0\nC|1|3|1|22|5|0|0\nC|1|3|2|22|15|0|0\n"
      "C|1|3|3|10|80|0|0\nC|1|3|4|10|140|0|0\nC|1|3|5|22|99|0|0\nC|1|3|6|22|183|0|0\n"
      "C|1|3|7|22|40|0|0\nC|1|3|8|22|30|0|0\nC|1|3|9|22|10|0|0\nC|1|3|10|22|12|0|0\n"
      "C|1|3|11|22|14|0|0\nC|1|3|12|22|7|0|0\nC|2|3|6|22|1000|0|0\n";
  for (int round = 0; round < 2; ++round) {
    Schema s(conn);
    s.Rebuild(&M::AzzeraAggiornaProgressiviRegimeMargine);
    EXPECT_EQ(s.Processi(),
              "(1,Azzeramento progressivi regime del margine)\n"
              "(2,Calcolo progressivi regime del margine per mese)\n"
              "(3,Scrittura progressivi mensili)\n");
    EXPECT_EQ(StoredMargine(*conn), activities + company);
  }
  Schema check(conn);
  db::Recordset& rs = check.Run(&M::ControlloProgressiviRegimeMargine, kMargine);
  rs.Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(Ordinate(Righe(rs)), Ordinate("12|22|3|Marzo|7|0|0|0|0|0|Si|\n"
                                          "5|22|3|Marzo|99|0|0|0|0|0|Si|\n"));

  // Per activity with code 6: activity 31 alone; then every activity of company 1, twice.
  Schema code6(conn, true, 6, 31);
  code6.Rebuild(&M::AzzeraAggiornaProgressiviRegimeMargine);
  const std::string a30 = "A|30|3|6|22|183|0|0\nA|30|3|8|22|30|0|0\n";
  const std::string a31 = "A|31|3|2|22|15|0|0\nA|31|3|7|22|40|0|0\n";
  const std::string a40 = "A|40|3|7|22|500|0|0\n";
  EXPECT_EQ(StoredMargine(*conn), a30 + a31 + a40 + company);
  for (int round = 0; round < 2; ++round) {
    Schema all(conn, true);
    all.Rebuild(&M::AzzeraAggiornaProgressiviRegimeMargine);
    EXPECT_EQ(StoredMargine(*conn),
              "A|30|3|0|22|34|0|0\nA|30|3|1|10|220|0|0\nA|30|3|1|22|5|0|0\nA|30|3|3|10|80|0|0\n"
              "A|30|3|4|10|140|0|0\nA|30|3|6|22|183|0|0\nA|30|3|8|22|30|0|0\n"
              "A|30|3|9|22|10|0|0\nA|30|3|10|22|12|0|0\nA|30|3|11|22|14|0|0\n" +
                  a31 + a40 + company);
  }
  Schema after(conn, true);
  db::Recordset& per_activity = after.Run(&M::ControlloProgressiviRegimeMargine, kMargine);
  per_activity.Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(per_activity.RecordCount(), 0);
}

// --- agricultural scheme -------------------------------------------------------------------------

constexpr auto kAgricoltura = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviAgricoltura;

// Company 1, 2024 (taxable / VAT):
//   Mar A  50 A4 100/4, 51 A4 200/8, 52 A4 999 (not agricultural), 55 ZZ 50 (no such code)
//   Mar A  credit note 50 A4 30/1.20              -> 50 A A4: 70/2.80
//   Mar B  56 A10 300/30
//   Mar A  provisional 50 A4 500                  not counted
//   Apr A  55 A10 40/4
void Agricoltura(testing::Ledger& l) {
  l.Rows("CG28_TABCODIVA", {"CG28_CODICE"}, {{"A4"}, {"A10"}});
  const std::string a = l.Registration({.data = "2024-03-10"});
  l.VatLine(a, 1, "50", "A4", "100", "4");
  l.VatLine(a, 1, "51", "A4", "200", "8");
  l.VatLine(a, 1, "52", "A4", "999", "0");
  l.VatLine(a, 1, "55", "ZZ", "50", "5");
  l.VatLine(l.Registration({.data = "2024-03-12", .segno = 1}), 1, "50", "A4", "30", "1.20");
  l.VatLine(l.Registration({.data = "2024-03-13", .sezionale = "B"}), 1, "56", "A10", "300", "30");
  l.VatLine(l.Registration({.data = "2024-03-14", .provvisoria = 1}), 1, "50", "A4", "500", "0");
  l.VatLine(l.Registration({.data = "2024-04-02"}), 1, "55", "A10", "40", "4");
  l.VatLine(l.Registration({.data = "2024-03-02", .ditta = 2}), 2, "50", "A4", "5", "0");
  l.Rows("CGA0_PROGIVAM", {{1, 2024, 3, 50, "A", "A4", 70, "2.80"},
                           {1, 2024, 3, 51, "A", "A4", 200, 9},
                           {1, 2024, 3, 52, "A", "A4", 999, 0},
                           {1, 2024, 5, 56, "B", "A10", 10, 1},
                           {2, 2024, 3, 50, "A", "A4", 5, 0}});
}

std::string StoredAgricoltura(db::Connection& conn) {
  return Righe(conn,
               "SELECT CGA0_DITTA_CG18, CGA0_MESE, CGA0_INDAGRI, CGA0_SEZIONALE, CGA0_ALIQIVA, "
               "CGA0_IMPONIBILE, CGA0_IMPOSTA FROM CGA0_PROGIVAM ORDER BY 1, 2, 3, 4, 5");
}

TEST(ControlloProgressiviAgricoltura, CheckAndRoundTrip) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Agricoltura(l);
  auto conn = db.Connect();
  Schema s(conn);
  // INDAGRI|SEZIONALE|CODICEIVA|MESE|DESCRMESE|2 stored|2 journal|FLAGSBIL
  EXPECT_EQ(Ordinate(Righe(s.Run(&M::ControlloProgressiviAgricoltura, kAgricoltura))),
            Ordinate("50|A|A4|3|Marzo|70|2.8|70|2.8|\n"
                     "51|A|A4|3|Marzo|200|9|200|8|Si\n"
                     "55|A|A10|4|Aprile|0|0|40|4|Si\n"
                     "56|B|A10|3|Marzo|0|0|300|30|Si\n"
                     "56|B|A10|5|Maggio|10|1|0|0|Si\n"));
  const std::string rebuilt =
      "1|3|50|A|A4|70|2.8\n1|3|51|A|A4|200|8\n1|3|52|A|A4|999|0\n1|3|56|B|A10|300|30\n"
      "1|4|55|A|A10|40|4\n2|3|50|A|A4|5|0\n";
  for (int round = 0; round < 2; ++round) {
    Schema r(conn);
    r.Rebuild(&M::AzzeraAggiornaProgressiviAgricoltura);
    EXPECT_EQ(r.Processi(),
              "(1,Azzeramento progressivi agricoltura)\n"
              "(2,Calcolo progressivi agricoltura per mese)\n"
              "(3,Scrittura progressivi mensili)\n");
    EXPECT_EQ(StoredAgricoltura(*conn), rebuilt);
  }
  Schema again(conn);
  db::Recordset& rs = again.Run(&M::ControlloProgressiviAgricoltura, kAgricoltura);
  rs.Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(rs.RecordCount(), 0);
}

// --- travel agencies -----------------------------------------------------------------------------

constexpr auto kAgenzie = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviAgenzieViaggio;

// Company 1, 2024: section V is activity 50 (code 7), W activity 51 (code 8); company 2's
// activity 60 shares code 7. Gross amounts (taxable + VAT + non-deductible VAT):
//   Mar V  60 22 100+22                -> kind 5, activity 50: 122
//   Mar W  60 22 200+44                -> kind 5, activity 51: 244 (same month, kind and code)
//   Mar V  63 10 50+5+1, credit 10+1   -> kind 1: 45
//   Mar V  67 22 (not a travel kind)   not counted
//   Apr V  61..66 on 22: 1, 2, 4, 5, 6 -> kinds 6, 7, 2, 3, 4
void Agenzie(testing::Ledger& l) {
  l.Rows("CG86_AZIENDECOLL",
         {"CG86_IDATTIVITA", "CG86_DITTA_CG18", "CG86_CODATTIVITA", "CG86_ANNOIVA", "CG86_INDTIPO"},
         {{50, 1, 7, 2024, 0}, {51, 1, 8, 2024, 0}, {60, 2, 7, 2024, 0}});
  l.Rows("CG32_ANADITTAPSEZ", {{1, 2024, "V", 50}, {1, 2024, "W", 51}, {2, 2024, "V", 60}});
  const std::string v = l.Registration({.data = "2024-03-10", .sezionale = "V"});
  l.VatLine(v, 1, "60", "22", "100", "22");
  l.VatLine(v, 1, "63", "10", "50", "5", "1");
  l.VatLine(v, 1, "67", "22", "900", "0");
  l.VatLine(l.Registration({.data = "2024-03-11", .sezionale = "W"}), 1, "60", "22", "200", "44");
  l.VatLine(l.Registration({.data = "2024-03-12", .sezionale = "V", .segno = 1}), 1, "63", "10",
            "10", "1");
  const std::string a = l.Registration({.data = "2024-04-10", .sezionale = "V"});
  for (auto [kind, amount] :
       {std::pair{"61", "1"}, {"62", "2"}, {"64", "4"}, {"65", "5"}, {"66", "6"}}) {
    l.VatLine(a, 1, kind, "22", amount);
  }
  l.VatLine(l.Registration({.data = "2024-03-10", .sezionale = "V", .ditta = 2}), 2, "60", "22",
            "1000");
  // Stored: activity 51 with VAT, a wrong kind 1, a kind 9 the rebuild keeps, a June row without
  // journal; company 2's row of the shared code.
  l.Rows("CGL6_PROGIVAAGVIAG", {{50, 2024, 5, 3, "22", 122, 0, 0},
                                {51, 2024, 5, 3, "22", 244, 44, 0},
                                {50, 2024, 1, 3, "10", 40, 0, 0},
                                {50, 2024, 9, 3, "22", 77, 0, 0},
                                {50, 2024, 3, 6, "22", 8, 0, 0},
                                {60, 2024, 5, 3, "22", 1000, 0, 0}});
}

std::string StoredAgenzie(db::Connection& conn) {
  return Righe(conn,
               "SELECT CGL6_IDATTIVITA_CG86, CGL6_MESE, CGL6_INDAGVIAG, CGL6_CODICE_CG28, "
               "CGL6_IMPONIBILE, CGL6_IMPOSTA, CGL6_IMPOSTAND FROM CGL6_PROGIVAAGVIAG "
               "ORDER BY 1, 2, 3, 4");
}

TEST(ControlloProgressiviAgenzieViaggio, TwoActivitiesNeverShareARow) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Agenzie(l);
  auto conn = db.Connect();
  // INDAGVIAG|CODICEIVA|MESE|DESCRMESE|3 stored|3 journal|FLAGSBIL|IDATTIVITA
  Schema all(conn);
  EXPECT_EQ(Ordinate(Righe(all.Run(&M::ControlloProgressiviAgenzieViaggio, kAgenzie))),
            Ordinate("1|10|3|Marzo|40|0|0|45|0|0|Si|50\n"
                     "2|22|4|Aprile|0|0|0|4|0|0|Si|50\n"
                     "3|22|4|Aprile|0|0|0|5|0|0|Si|50\n"
                     "3|22|6|Giugno|8|0|0|0|0|0|Si|50\n"
                     "4|22|4|Aprile|0|0|0|6|0|0|Si|50\n"
                     "5|22|3|Marzo|122|0|0|122|0|0||50\n"
                     "5|22|3|Marzo|244|44|0|244|0|0|Si|51\n"
                     "6|22|4|Aprile|0|0|0|1|0|0|Si|50\n"
                     "7|22|4|Aprile|0|0|0|2|0|0|Si|50\n"));
  Schema code8(conn, false, 8);
  EXPECT_EQ(Righe(code8.Run(&M::ControlloProgressiviAgenzieViaggio, kAgenzie)),
            "5|22|3|Marzo|244|44|0|244|0|0|Si|51\n");
}

TEST(AzzeraAggiornaProgressiviAgenzieViaggio, ASecondRebuildChangesNothing) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Agenzie(l);
  auto conn = db.Connect();
  // With code 8 only activity 51 is rewritten: its VAT goes, the gross amount stays.
  Schema code8(conn, false, 8);
  code8.Rebuild(&M::AzzeraAggiornaProgressiviAgenzieViaggio);
  EXPECT_EQ(code8.Processi(),
            "(1,Azzeramento progressivi agenzie di viaggio)\n"
            "(2,Calcolo progressivi agenzie di viaggio)\n"
            "(3,Scrittura progressivi mensili)\n");
  const std::string a60 = "60|3|5|22|1000|0|0\n";
  EXPECT_EQ(StoredAgenzie(*conn),
            "50|3|1|10|40|0|0\n50|3|5|22|122|0|0\n50|3|9|22|77|0|0\n50|6|3|22|8|0|0\n"
            "51|3|5|22|244|0|0\n" +
                a60);
  // Without a code: every activity of company 1, kind 9 kept, company 2 untouched; twice.
  const std::string rebuilt =
      "50|3|1|10|45|0|0\n50|3|5|22|122|0|0\n50|3|9|22|77|0|0\n50|4|2|22|4|0|0\n"
      "50|4|3|22|5|0|0\n50|4|4|22|6|0|0\n50|4|6|22|1|0|0\n50|4|7|22|2|0|0\n"
      "51|3|5|22|244|0|0\n" +
      a60;
  for (int round = 0; round < 2; ++round) {
    Schema all(conn);
    all.Rebuild(&M::AzzeraAggiornaProgressiviAgenzieViaggio);
    EXPECT_EQ(StoredAgenzie(*conn), rebuilt) << "round " << round;
  }
  Schema check(conn);
  db::Recordset& rs = check.Run(&M::ControlloProgressiviAgenzieViaggio, kAgenzie);
  rs.Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(rs.RecordCount(), 0);
}

// --- what the three share ------------------------------------------------------------------------

struct Operazione {
  const char* name;
  void (*ledger)(testing::Ledger&);
  void (CLSCG_VERIPROG::*check)();
  void (CLSCG_VERIPROG::*rebuild)();
  bool per_attivita;
  db::Variant codice = {}, id = {};
};

const std::vector<Operazione>& Operazioni() {
  const auto margine = &M::ControlloProgressiviRegimeMargine;
  const auto r_margine = &M::AzzeraAggiornaProgressiviRegimeMargine;
  const auto agricoltura = &M::ControlloProgressiviAgricoltura;
  const auto r_agricoltura = &M::AzzeraAggiornaProgressiviAgricoltura;
  const auto agenzie = &M::ControlloProgressiviAgenzieViaggio;
  const auto r_agenzie = &M::AzzeraAggiornaProgressiviAgenzieViaggio;
  static const std::vector<Operazione> ops = {
      {"margin_company", Margine, margine, r_margine, false},
      {"margin_activity", Margine, margine, r_margine, true},
      {"margin_activity_code", Margine, margine, r_margine, true, 6, 31},
      {"agriculture", Agricoltura, agricoltura, r_agricoltura, false},
      {"travel", Agenzie, agenzie, r_agenzie, false},
      {"travel_code", Agenzie, agenzie, r_agenzie, false, 8},
  };
  return ops;
}

// A statement failing in the month loop ends the check there: no later month is read, the
// failing month gets no Avanzamento, there is no End, and the error names the check.
TEST(SpecialSchemes, AFailingMonthEndsTheCheck) {
  struct Caso {
    const char* name;
    void (*ledger)(testing::Ledger&);
    void (CLSCG_VERIPROG::*check)();
  };
  for (const Caso& c : {Caso{"RegimeMargine", Margine, &M::ControlloProgressiviRegimeMargine},
                        Caso{"Agricoltura", Agricoltura, &M::ControlloProgressiviAgricoltura},
                        Caso{"AgenzieViaggio", Agenzie, &M::ControlloProgressiviAgenzieViaggio}}) {
    VERIPROG_NEED_DATABASE(db);
    auto l = testing::VatBookLedger(db);
    c.ledger(l);
    // The third statement is February's journal statement.
    auto faulty = std::make_shared<selftest::FaultyConnection>(db.Connect(), 3);
    Schema s(faulty);
    (s.main.*c.check)();
    const std::string name = std::string("ControlloProgressivi") + c.name;
    EXPECT_EQ(s.main.Stato(), tsProgramError) << name;
    EXPECT_EQ(s.main.Errore(), "guasto simulato in " + name);
    EXPECT_EQ(faulty->statements(), 3) << name;
    EXPECT_EQ(s.events->Joined(),
              "Begin" + name + "(12)\nAvanzamento" + name + "(1)\nBegin" + name + "(12)\n");
  }
}

// On a generated ledger each check flags exactly the totals the generator made wrong; the rebuilds
// mend them, and a second round of rebuilds changes nothing.
TEST(SpecialSchemes, MendWhatTheGeneratorMadeWrong) {
  VERIPROG_NEED_DATABASE(db);
  const auto ledger =
      gen::GenerateLedger(db.libpq_conninfo(), {.seed = 11, .lines = 4000, .wrong = 9});
  std::set<std::string> wrong;
  for (const auto& w : ledger.wrong_stored) {
    if (w.family == "margin" || w.family == "agriculture" || w.family == "travel")
      wrong.insert(w.family + " " + std::to_string(w.ditta) + " " + w.key);
  }
  ASSERT_EQ(wrong.size(), 12u);  // three per table
  auto conn = db.Connect();
  struct Mode {
    const char* family;
    bool per_attivita;
    void (CLSCG_VERIPROG::*check)();
    void (CLSCG_VERIPROG::*rebuild)();
    std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result;
  };
  const Mode modes[] = {
      {"margin", false, &M::ControlloProgressiviRegimeMargine,
       &M::AzzeraAggiornaProgressiviRegimeMargine, kMargine},
      {"margin", true, &M::ControlloProgressiviRegimeMargine,
       &M::AzzeraAggiornaProgressiviRegimeMargine, kMargine},
      {"agriculture", false, &M::ControlloProgressiviAgricoltura,
       &M::AzzeraAggiornaProgressiviAgricoltura, kAgricoltura},
      {"travel", false, &M::ControlloProgressiviAgenzieViaggio,
       &M::AzzeraAggiornaProgressiviAgenzieViaggio, kAgenzie},
  };
  auto text = [](db::Recordset& rs, const char* field) {
    return std::string(db::Trim(rs.Get(field).ToText()));
  };
  auto flagged = [&] {
    std::set<std::string> out;
    for (const Mode& mode : modes) {
      for (int ditta : {1, 2}) {
        Schema s(conn, mode.per_attivita);
        s.main.CPInput()->Ditta = ditta;
        db::Recordset& rs = s.Run(mode.check, mode.result);
        rs.Filter("FLAGSBIL = 'Si'");
        for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
          std::string key = std::string(mode.family) + " " + std::to_string(ditta) + " ";
          const bool activity = rs.FieldIndex("IDATTIVITA") && text(rs, "IDATTIVITA") != "";
          if (activity && text(rs, "IDATTIVITA") == "-1") continue;
          if (activity) key += "activity " + text(rs, "IDATTIVITA") + " ";
          key += "month " + text(rs, "MESE") + " kind ";
          if (rs.FieldIndex("INDAGRI")) {
            key += text(rs, "INDAGRI") + " section " + text(rs, "SEZIONALE");
          } else {
            key += text(rs, rs.FieldIndex("INDMARGINE") ? "INDMARGINE" : "INDAGVIAG");
          }
          out.insert(key + " code " + text(rs, "CODICEIVA"));
        }
      }
    }
    return out;
  };
  EXPECT_EQ(flagged(), wrong);
  std::string first;
  for (int round = 0; round < 2; ++round) {
    for (const Mode& mode : modes) {
      for (int ditta : {1, 2}) {
        Schema s(conn, mode.per_attivita);
        s.main.CPInput()->Ditta = ditta;
        s.Rebuild(mode.rebuild);
      }
    }
    const std::string now = StoredMargine(*conn) + StoredAgricoltura(*conn) + StoredAgenzie(*conn);
    if (round == 0) first = now;
    EXPECT_EQ(now, first) << "the second round changed the totals";
  }
  EXPECT_EQ(flagged(), std::set<std::string>());
}

// Every batch the operations send, on the test ledgers so that the writers have rows to write.
TEST(SpecialSchemesStatements, AreTheComposedTextByteForByte) {
  for (const Operazione& op : Operazioni()) {
    VERIPROG_NEED_DATABASE(db);
    auto l = testing::VatBookLedger(db);
    op.ledger(l);
    for (bool rebuild : {false, true}) {
      auto conn = std::make_shared<testing::RecordingConnection>(db.Connect());
      Schema s(conn, op.per_attivita, op.codice, op.id);
      rebuild ? (s.main.*op.rebuild)() : (s.main.*op.check)();
      ASSERT_EQ(s.main.Stato(), tsOk) << s.main.Errore();
      testing::ExpectStatements(conn->batches,
                                std::string(rebuild ? "rebuild_" : "check_") + op.name);
    }
  }
}

}  // namespace
}  // namespace veriprog
