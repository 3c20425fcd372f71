// The plafond totals on a hand-built ledger whose figures are worked out below: per company and
// per activity, with and without an activity code, the rebuild and its round trip, a failure at
// every statement, hostile parameters, and the statements byte for byte.
#include <gtest/gtest.h>

#include <set>

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

using testing::kNull;

using testing::Righe;
using testing::Testata;

// Stored: company 1 March exports wrong, May without journal, February right; company 2 and
// the activities of both companies.
void Progressivi(testing::Ledger& l) {
  l.Rows("CG51_PROGPLAFOND", {{1, 2024, 2, 50, 0, 0, 0},
                              {1, 2024, 3, 1000, 500, 300, 100},
                              {1, 2024, 5, 10, 0, 0, 0},
                              {2, 2024, 3, 4000, 0, 0, 0}});
  l.Rows("CGL4_PROGIVAPLAF", {{10, 2024, 3, 1030, 0, 0, 0},
                              {10, 2024, 6, 7, 0, 0, 0},
                              {11, 2024, 2, 50, kNull, kNull, kNull},
                              {11, 2024, 3, 0, 500, 300, 99},
                              {12, 2024, 3, 123, 0, 0, 0},
                              {20, 2024, 3, 5000, 0, 0, 0}});
}

// Company 1, 2024. Activities of kind 0: 10 (code 1, plafond from 1 March; section A) and 11
// (code 2, plafond from 1 January; section B); 12 is of kind 1 (code 1) and is never read.
// Company 2 has activity 20 with the same code 1 (section A).
//
// Journal (taxable amounts of the plafond codes; E1/E5/E6 exports, AI internal purchases,
// IM imports, IN intra-EU purchases, 22 no plafond):
//   Feb  A  E1 999.00   before activity 10's plafond start: not counted
//   Feb  B  E1  50.00   activity 11
//   Mar  A  E1 1000.00 + E5 200.00 + E6 30.00, an E1 line without amount, a 22 line of 777.00
//   Mar  A  credit note E1 200.00                      -> activity 10 exports 1030.00
//   Mar  B  AI 500.00; IM 300.00 + IN 100.00           -> activity 11
//   Mar  A  provisional E1 888.00                      not counted
//   Mar  A  E1 40.00 with competence 2 April           -> April, activity 10
//   Mar  A  company 2, E1 5000.00                      company 2 only
// So company 1: Feb 50 exports; Mar 1030 / 500 / 300 / 100; Apr 40.
void Ledger(testing::Ledger& l) {
  l.Rows("CG28_TABCODIVA", {"CG28_CODICE", "CG28_CODPLAFOND"},
         {{"E1", 1}, {"E5", 5}, {"E6", 6}, {"AI", 2}, {"IM", 3}, {"IN", 4}, {"22", 0}});
  l.Rows("CG86_AZIENDECOLL",
         {"CG86_IDATTIVITA", "CG86_DITTA_CG18", "CG86_CODATTIVITA", "CG86_ANNOIVA", "CG86_INDTIPO",
          "CG86_DATAINPLAFOND"},
         {{10, 1, 1, 2024, 0, "2024-03-01"},
          {11, 1, 2, 2024, 0, "2024-01-01"},
          {12, 1, 1, 2024, 1, "2024-01-01"},
          {20, 2, 1, 2024, 0, "2024-01-01"}});
  l.Rows("CG32_ANADITTAPSEZ", {{1, 2024, "A", 10}, {1, 2024, "B", 11}, {2, 2024, "A", 20}});
  l.VatLine(l.Registration({.data = "2024-02-10"}), 1, "0", "E1", "999.00");
  l.VatLine(l.Registration({.data = "2024-02-11", .sezionale = "B"}), 1, "0", "E1", "50.00");
  const std::string r = l.Registration({.data = "2024-03-10"});
  l.VatLine(r, 1, "0", "E1", "1000.00");
  l.VatLine(r, 1, "0", "E5", "200.00");
  l.VatLine(r, 1, "0", "E6", "30.00");
  l.VatLine(r, 1, "0", "E1", "NULL");
  l.VatLine(r, 1, "0", "22", "777.00");
  l.VatLine(l.Registration({.data = "2024-03-25", .segno = 1}), 1, "0", "E1", "200.00");
  l.VatLine(l.Registration({.data = "2024-03-15", .sezionale = "B"}), 1, "0", "AI", "500.00");
  const std::string b = l.Registration({.data = "2024-03-20", .sezionale = "B"});
  l.VatLine(b, 1, "0", "IM", "300.00");
  l.VatLine(b, 1, "0", "IN", "100.00");
  l.VatLine(l.Registration({.data = "2024-03-21", .provvisoria = 1}), 1, "0", "E1", "888.00");
  l.VatLine(l.Registration({.data = "2024-03-12", .competenza = "2024-04-02"}), 1, "0", "E1",
            "40.00");
  l.VatLine(l.Registration({.data = "2024-03-05", .ditta = 2}), 2, "0", "E1", "5000.00");
  Progressivi(l);
}

struct Plafond : testing::YearMain {
  using YearMain::YearMain;
  db::Recordset& Check() {
    main.ControlloProgressiviPlafond();
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
    return *main.CPOutput()->RecSetControlloProgressiviPlafond;
  }
  void Rebuild() {
    main.AzzeraAggiornaProgressiviPlafond();
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
  }
};

std::string Stored(db::Connection& conn) {
  return Righe(
      conn,
      "SELECT 'C', CG51_DITTA_CG18, CG51_ANNO, CG51_MESE, CG51_PLAFEXPORT, "
      "CG51_PLAFACQINT, CG51_PLAFACQIMP, CG51_PLAFACQINTRA FROM CG51_PROGPLAFOND UNION ALL "
      "SELECT 'A', CGL4_IDATTIVITA_CG86, CGL4_ANNO, CGL4_MESE, CGL4_PLAFEXPORT, "
      "CGL4_PLAFACQINT, CGL4_PLAFACQIMP, CGL4_PLAFACQINTRA FROM CGL4_PROGIVAPLAF "
      "ORDER BY 1, 2, 3, 4");
}

constexpr const char* kZeroMonths =
    "7|Luglio|0|0|0|0|0|0|0|0||-1\n8|Agosto|0|0|0|0|0|0|0|0||-1\n"
    "9|Settembre|0|0|0|0|0|0|0|0||-1\n10|Ottobre|0|0|0|0|0|0|0|0||-1\n"
    "11|Novembre|0|0|0|0|0|0|0|0||-1\n12|Dicembre|0|0|0|0|0|0|0|0||-1\n";

TEST(ControlloProgressiviPlafond, PerCompanyEveryMonthHasItsRow) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Ledger(l);
  Plafond p(db.Connect());
  // MESE|DESCRMESE|4 stored|4 journal|FLAGSBIL|IDATTIVITA
  EXPECT_EQ(Righe(p.Check()), std::string("1|Gennaio|0|0|0|0|0|0|0|0||-1\n"
                                          "2|Febbraio|50|0|0|0|50|0|0|0||-1\n"
                                          "3|Marzo|1000|500|300|100|1030|500|300|100|Si|-1\n"
                                          "4|Aprile|0|0|0|0|40|0|0|0|Si|-1\n"
                                          "5|Maggio|10|0|0|0|0|0|0|0|Si|-1\n"
                                          "6|Giugno|0|0|0|0|0|0|0|0||-1\n") +
                                  kZeroMonths);
  std::string expected;
  for (int m = 1; m <= 12; ++m)
    expected += "BeginControlloProgressiviPlafond(12)\nAvanzamentoControlloProgressiviPlafond(" +
                std::to_string(m) + ")\n";
  EXPECT_EQ(p.events->Joined(), expected + "EndControlloProgressiviPlafond()\n");
}

TEST(ControlloProgressiviPlafond, PerActivityWithAndWithoutCode) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Ledger(l);
  auto conn = db.Connect();
  {
    // Without a code the host sees the company total (-1) of the kind-0 activities 10 and 11:
    // March stored 1030 + 0 / 500 / 300 / 99 against the journal's 1030 / 500 / 300 / 100; June
    // holds activity 10's stored 7. Company 2's activity 20 and the kind-1 activity 12 are not
    // read.
    Plafond p(conn, true);
    db::Recordset& rs = p.Check();
    EXPECT_EQ(rs.filter(), "IDATTIVITA = -1");
    EXPECT_EQ(Righe(rs), std::string("1|Gennaio|0|0|0|0|0|0|0|0||-1\n"
                                     "2|Febbraio|50|0|0|0|50|0|0|0||-1\n"
                                     "3|Marzo|1030|500|300|99|1030|500|300|100|Si|-1\n"
                                     "4|Aprile|0|0|0|0|40|0|0|0|Si|-1\n"
                                     "5|Maggio|0|0|0|0|0|0|0|0||-1\n"
                                     "6|Giugno|7|0|0|0|0|0|0|0|Si|-1\n") +
                             kZeroMonths);
    rs.Filter("IDATTIVITA = 10");
    EXPECT_EQ(Righe(rs),
              "3|Marzo|1030|0|0|0|1030|0|0|0||10\n4|Aprile|0|0|0|0|40|0|0|0|Si|10\n"
              "6|Giugno|7|0|0|0|0|0|0|0|Si|10\n");
    rs.Filter("IDATTIVITA = 11");
    EXPECT_EQ(Righe(rs),
              "2|Febbraio|50|0|0|0|50|0|0|0||11\n3|Marzo|0|500|300|99|0|500|300|100|Si|11\n");
  }
  {
    // Code 1 of company 1 is activity 10 alone (company 2's activity 20 shares the code); every
    // month without journal amounts gets the named activity's row.
    Plafond p(conn, true, 1, 10);
    db::Recordset& rs = p.Check();
    EXPECT_EQ(rs.filter(), "IDATTIVITA = 10");
    EXPECT_EQ(Righe(rs),
              "1|Gennaio|0|0|0|0|0|0|0|0||10\n2|Febbraio|0|0|0|0|0|0|0|0||10\n"
              "3|Marzo|1030|0|0|0|1030|0|0|0||10\n4|Aprile|0|0|0|0|40|0|0|0|Si|10\n"
              "5|Maggio|0|0|0|0|0|0|0|0||10\n6|Giugno|7|0|0|0|0|0|0|0|Si|10\n"
              "7|Luglio|0|0|0|0|0|0|0|0||10\n8|Agosto|0|0|0|0|0|0|0|0||10\n"
              "9|Settembre|0|0|0|0|0|0|0|0||10\n10|Ottobre|0|0|0|0|0|0|0|0||10\n"
              "11|Novembre|0|0|0|0|0|0|0|0||10\n12|Dicembre|0|0|0|0|0|0|0|0||10\n");
    rs.Filter("IDATTIVITA = 20");
    EXPECT_EQ(rs.RecordCount(), 0);
  }
}

TEST(AzzeraAggiornaProgressiviPlafond, RoundTripsLeaveOtherRowsAlone) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Ledger(l);
  auto conn = db.Connect();

  // Per company: twelve rows of the journal's figures; company 2 and the activities untouched.
  Plafond company(conn);
  company.Rebuild();
  std::string events =
      "BeginAzzeraAggiornaProgressiviPlafond(3)\n"
      "ProcessoAzzeraAggiornaProgressiviPlafond(1,Azzeramento progressivi mensili)\n"
      "ProcessoAzzeraAggiornaProgressiviPlafond(2,Calcolo progressivi plafond per mese)\n";
  for (int m = 1; m <= 12; ++m)
    events += "BeginControlloProgressiviPlafond(12)\nAvanzamentoControlloProgressiviPlafond(" +
              std::to_string(m) + ")\n";
  EXPECT_EQ(company.events->Joined(),
            events +
                "EndControlloProgressiviPlafond()\n"
                "ProcessoAzzeraAggiornaProgressiviPlafond(3,Scrittura progressivi mensili)\n"
                "EndAzzeraAggiornaProgressiviPlafond()\n");
  const std::string activities =
      "A|10|2024|3|1030|0|0|0\nA|10|2024|6|7|0|0|0\nA|11|2024|2|50|||\n"
      "A|11|2024|3|0|500|300|99\nA|12|2024|3|123|0|0|0\nA|20|2024|3|5000|0|0|0\n";
  std::string company_rows;
  for (int m = 1; m <= 12; ++m) {
    const char* figures = m == 2   ? "50|0|0|0"
                          : m == 3 ? "1030|500|300|100"
                          : m == 4 ? "40|0|0|0"
                                   : "0|0|0|0";
    company_rows += "C|1|2024|" + std::to_string(m) + "|" + figures + "\n";
  }
  const std::string after_company = activities + company_rows + "C|2|2024|3|4000|0|0|0\n";
  EXPECT_EQ(Stored(*conn), after_company);
  company.Rebuild();
  EXPECT_EQ(Stored(*conn), after_company);
  {
    Plafond check(conn);
    db::Recordset& rs = check.Check();
    rs.Filter("FLAGSBIL = 'Si'");
    EXPECT_EQ(rs.RecordCount(), 0);
  }

  // Per activity without a code: every kind-0 activity of company 1 is rewritten, activity 10
  // loses its June row; the kind-1 activity 12 and company 2's activity 20 keep theirs.
  Plafond all(conn, true);
  all.Rebuild();
  const std::string per_activity =
      "A|10|2024|3|1030|0|0|0\nA|10|2024|4|40|0|0|0\nA|11|2024|2|50|0|0|0\n"
      "A|11|2024|3|0|500|300|100\nA|12|2024|3|123|0|0|0\nA|20|2024|3|5000|0|0|0\n";
  EXPECT_EQ(Stored(*conn), per_activity + company_rows + "C|2|2024|3|4000|0|0|0\n");
  all.Rebuild();
  EXPECT_EQ(Stored(*conn), per_activity + company_rows + "C|2|2024|3|4000|0|0|0\n");
  Plafond check(conn, true);
  db::Recordset& rs = check.Check();
  rs.Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(rs.RecordCount(), 0);
}

TEST(AzzeraAggiornaProgressiviPlafond, WithACodeRewritesThatActivityAlone) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Ledger(l);
  auto conn = db.Connect();
  Plafond p(conn, true, 2, 11);
  p.Rebuild();
  // Activity 11: the journal's February and March, and a zero row for each month the check
  // showed for it; activity 10 keeps its stored rows, right or wrong.
  std::string expected = "A|10|2024|3|1030|0|0|0\nA|10|2024|6|7|0|0|0\n";
  for (int m = 1; m <= 12; ++m) {
    expected += "A|11|2024|" + std::to_string(m) + "|" +
                (m == 2   ? "50|0|0|0"
                 : m == 3 ? "0|500|300|100"
                          : "0|0|0|0") +
                "\n";
  }
  expected += "A|12|2024|3|123|0|0|0\nA|20|2024|3|5000|0|0|0\n";
  EXPECT_EQ(Righe(*conn,
                  "SELECT 'A', CGL4_IDATTIVITA_CG86, CGL4_ANNO, CGL4_MESE, CGL4_PLAFEXPORT, "
                  "CGL4_PLAFACQINT, CGL4_PLAFACQIMP, CGL4_PLAFACQINTRA FROM CGL4_PROGIVAPLAF "
                  "ORDER BY 2, 4"),
            expected);
}

// A statement failing in the month loop ends the check there: February's stored statement
// fails, nothing later is read, February gets no Avanzamento and there is no End.
TEST(ControlloProgressiviPlafond, AFailingMonthEndsTheCheck) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Ledger(l);
  auto faulty = std::make_shared<selftest::FaultyConnection>(db.Connect(), 4);
  Plafond p(faulty);
  p.main.ControlloProgressiviPlafond();
  EXPECT_EQ(p.main.Stato(), tsProgramError);
  EXPECT_EQ(p.main.Errore(), "guasto simulato in ControlloProgressiviPlafond");
  EXPECT_EQ(faulty->statements(), 4);
  EXPECT_EQ(p.events->Joined(),
            "BeginControlloProgressiviPlafond(12)\nAvanzamentoControlloProgressiviPlafond(1)\n"
            "BeginControlloProgressiviPlafond(12)\n");
  // February's journal figures were merged before its stored statement failed; no balance pass.
  db::Recordset& rs = *p.main.CPOutput()->RecSetControlloProgressiviPlafond;
  EXPECT_EQ(rs.filter(), "");
  EXPECT_EQ(Righe(rs), "1|Gennaio|0|0|0|0|0|0|0|0||-1\n2|Febbraio|0|0|0|0|50|0|0|0||-1\n");
}

// On a generated ledger the checks flag exactly the totals the generator made wrong; the rebuilds
// mend them and a second rebuild changes nothing.
TEST(AzzeraAggiornaProgressiviPlafond, MendsWhatTheGeneratorMadeWrong) {
  VERIPROG_NEED_DATABASE(db);
  const auto ledger =
      gen::GenerateLedger(db.libpq_conninfo(), {.seed = 9, .lines = 4000, .wrong = 8});
  std::set<std::string> wrong;
  for (const auto& w : ledger.wrong_stored) {
    if (w.family == "plafond") wrong.insert(std::to_string(w.ditta) + " " + w.key);
  }
  ASSERT_EQ(wrong.size(), 8u);
  auto conn = db.Connect();
  auto flagged = [&] {
    std::set<std::string> out;
    for (int ditta : {1, 2}) {
      for (bool per_attivita : {false, true}) {
        Plafond p(conn, per_attivita);
        p.main.CPInput()->Ditta = ditta;
        db::Recordset& rs = p.Check();
        rs.Filter("FLAGSBIL = 'Si'");
        for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
          const std::string id = rs.Get("IDATTIVITA").ToText();
          if (per_attivita && id == "-1") continue;
          out.insert(std::to_string(ditta) + " " + (per_attivita ? "activity " + id + " " : "") +
                     "month " + rs.Get("MESE").ToText());
        }
      }
    }
    return out;
  };
  EXPECT_EQ(flagged(), wrong);
  std::string first;
  for (int round = 0; round < 2; ++round) {
    for (int ditta : {1, 2}) {
      for (bool per_attivita : {false, true}) {
        Plafond p(conn, per_attivita);
        p.main.CPInput()->Ditta = ditta;
        p.Rebuild();
      }
    }
    if (round == 0) first = Stored(*conn);
  }
  EXPECT_EQ(Stored(*conn), first);
  EXPECT_EQ(flagged(), std::set<std::string>());
}

// Every batch the operations send, with the test ledger so that the writers have rows to write.
TEST(PlafondStatements, AreTheComposedTextByteForByte) {
  VERIPROG_NEED_DATABASE(db);
  auto l = testing::VatBookLedger(db);
  Ledger(l);
  struct Case {
    const char* name;
    bool per_attivita;
    db::Variant codice, id;
  };
  for (const Case& c : {Case{"company", false, {}, {}}, Case{"activity", true, {}, {}},
                        Case{"activity_code", true, 2, 11}}) {
    for (bool rebuild : {false, true}) {
      auto conn = std::make_shared<testing::RecordingConnection>(db.Connect());
      CLSCG_VERIPROG main(testing::FakeOutside(std::make_shared<testing::FakeCompany>()));
      auto& in = *main.CPInput();
      in.GConnect = conn;
      in.Ditta = 1;
      in.Anno = 2024;
      in.ElaborazionePerAttivita = c.per_attivita;
      in.CodiceAttivita = c.codice;
      in.IDAttivita = c.id;
      in.EseguiTransazione = true;
      rebuild ? main.AzzeraAggiornaProgressiviPlafond() : main.ControlloProgressiviPlafond();
      ASSERT_EQ(main.Stato(), tsOk) << main.Errore();
      testing::ExpectStatements(
          conn->batches, std::string(rebuild ? "plafond_rebuild_" : "plafond_check_") + c.name);
    }
  }
}

}  // namespace
}  // namespace veriprog
