// The account totals rebuild: against the generator's own reckoning of the totals, on hand-built
// edge cases, with a failure injected at every statement, and in its legacy form.
#include <gtest/gtest.h>

#include "gen/ledger_generator.h"
#include "selftest/faulty_connection.h"
#include "tests/support/fakes.h"
#include "tests/support/ledger.h"
#include "veriprog/main_object.h"
#include "veriprog/recordset.h"

namespace veriprog {
namespace {

using testing::Ledger;

std::string Snapshot(db::Connection& conn) {
  return testing::AccountTotals(conn);
}

// The first lines where two snapshots differ, for a readable failure.
std::string Diff(const std::string& got, const std::string& want) {
  if (got == want) return "";
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i])
    ++i;
  const std::size_t from = got.rfind('\n', i) == std::string::npos ? 0 : got.rfind('\n', i) + 1;
  return "got:  " + got.substr(from, 300) + "\nwant: " + want.substr(from, 300);
}

struct Rebuild : testing::FiscalYearMain {
  using FiscalYearMain::FiscalYearMain;
  void Run(bool legacy = false) {
    legacy ? main.AzzeraAggiornaProgressiviContabiliOld()
           : main.AzzeraAggiornaProgressiviContabili();
  }
};

// The generator reckons the totals on its own: a rebuild must write exactly what it wrote, for a
// calendar fiscal year and for one running July to June; the legacy form too; a second rebuild
// changes nothing; the check then flags nothing.
TEST(AzzeraAggiornaProgressiviContabili, WritesWhatTheJournalSaysOnGeneratedLedgers) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 5, .lines = 5000, .wrong = 0});
  auto conn = db.Connect();
  const std::string reckoned = Snapshot(*conn);
  ASSERT_GT(reckoned.size(), 10000u);

  db.Run(
      "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 1 WHERE CG53_ANNO_CG19 = 2024;"
      "DELETE FROM CGV1_PROGMVAL WHERE CGV1_IDPROGM_CG52 % 3 = 0 AND CGV1_IDPROGM_CG52 IN"
      " (SELECT CG52_IDPROGM FROM CG52_PROGM WHERE CG52_ANNO_CG53 = 2024)");
  for (bool legacy : {false, true, false}) {
    for (int ditta : {1, 2}) {
      Rebuild rebuild(conn, ditta);
      rebuild.Run(legacy);
      ASSERT_EQ(rebuild.main.Stato(), tsOk) << rebuild.main.Errore();
    }
    EXPECT_EQ(Diff(Snapshot(*conn), reckoned), "") << (legacy ? "legacy" : "rebuild");
  }
  CLSCG_VERIPROG check;
  check.CPInput()->GConnect = conn;
  check.CPInput()->Ditta = 2;
  check.CPInput()->Esercizio = 2024;
  check.CPInput()->Progressivo = 1;
  check.ControlloProgressiviContabili();
  auto rs = check.CPOutput()->RecSetControlloProgressivi;
  rs->Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(rs->RecordCount(), 0);
}

TEST(AzzeraAggiornaProgressiviContabili, HandBuiltEdgeCases) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::AccountLedger(db);
  ledger.Rows("CG19_ESERCIZI", {{1, 2025, 1, "2025-01-01", "2025-06-15"}});
  // Only an opening balance for 1001 and 2901; a closing registration only for 4001 and 2901.
  ledger.Registration("2025-01-01", "151",
                      {{.conto = "1001", .importo = "70.00"},
                       {.conto = "2901", .dare_avere = 2, .importo = "70.00"}},
                      "NULL", 0, 1, 2025);
  ledger.Registration(
      "2025-06-15", "150",
      {{.conto = "4001", .importo = "5.00"}, {.conto = "2901", .dare_avere = 2, .importo = "5.00"}},
      "NULL", 0, 1, 2025);
  // An adjustment causal counts only as adjustment; two lines of one month, customer type null
  // and 0, are one key; the last, partial month of the fiscal year still counts.
  ledger.Registration("2025-03-03", "900",
                      {{.conto = "1401", .tipocf = "1", .clifor = "5", .importo = "8.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "8.00"}},
                      "NULL", 0, 1, 2025);
  ledger.Registration(
      "2025-06-10", "001",
      {{.conto = "1001", .importo = "1.50"},
       {.conto = "4001", .tipocf = "0", .clifor = "0", .dare_avere = 2, .importo = "1.00"},
       {.conto = "4001", .dare_avere = 2, .importo = "0.50"}},
      "NULL", 0, 1, 2025);
  auto conn = db.Connect();
  Rebuild rebuild(conn, 1, 2025);
  rebuild.Run();
  ASSERT_EQ(rebuild.main.Stato(), tsOk) << rebuild.main.Errore();
  const std::string totals = Snapshot(*conn);
  EXPECT_EQ(totals,
            "A|1|2025|1|1001|0|0|0|70.00|0.00|0.00|71.50|0.00\n"
            "A|1|2025|1|1401|1|5|0|0.00|8.00|0.00|8.00|0.00\n"
            "A|1|2025|1|2901|0|0|0|-70.00|0.00|0.00|-70.00|-5.00\n"
            "A|1|2025|1|4001|0|0|0|0.00|0.00|8.00|-9.50|5.00\n"
            "M|1|2025|1001|0|0|0|2025|6|1.50|0.00|t\n"
            "M|1|2025|4001|0|0|0|2025|6|0.00|1.50|t");
  const std::string events = rebuild.events->Joined();
  EXPECT_TRUE(
      events.starts_with("Begin(9)\nProcesso(1,Azzeramento progressivi mensili)\nBeginProcesso(1)\n"
                         "AvanzamentoProcesso(1)\nEndProcesso()\nBeginProcesso(1)\n"));
  EXPECT_NE(
      events.find("Processo(3,Calcolo progressivi contabili per anno/mese)\nBeginProcesso(06)\n"
                  "AvanzamentoProcesso(1)\nEndProcesso()\n"),
      std::string::npos)
      << "165 days read as a date fall in June 1900; one calendar year";
  EXPECT_TRUE(
      events.ends_with("Processo(9,Scrittura progressivi mensili)\nBeginProcesso(2)\n"
                       "AvanzamentoProcesso(1)\nAvanzamentoProcesso(2)\nEndProcesso()\nEnd()\n"));

  // A branch-scoped rebuild leaves the other branches' rows alone.
  ledger.Rows("CG53_PROGA",
              {"CG53_DITTA_CG18", "CG53_ANNO_CG19", "CG53_PROGESER_CG19", "CG53_GRUPPO_CG10",
               "CG53_CONTO_CG24", "CG53_CODICE_CG31", "CG53_SALDOFIN"},
              {{1, 2025, 1, 1, "9999", 3, 42}});
  Rebuild branch(conn, 1, 2025);
  branch.main.CPInput()->CodiceSede = 2;
  branch.Run();
  ASSERT_EQ(branch.main.Stato(), tsOk) << branch.main.Errore();
  std::string expected = totals;
  expected.insert(expected.find("M|"), "A|1|2025|1|9999|0|0|3|42.00\n");  // nulls are left out
  EXPECT_EQ(Snapshot(*conn), expected) << "branch 2 has no rows, branch 3 is not touched";
}

// Without a transaction a failure in step 5 leaves the deletions of steps 1 and 2 done (with one,
// the faults suite shows every failure rolled back).
TEST(AzzeraAggiornaProgressiviContabili, WithoutTransactionEarlierStepsStay) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 9, .lines = 400, .wrong = 3});
  auto conn = db.Connect();
  ASSERT_NE(Snapshot(*conn).find("A|1|2024"), std::string::npos);
  Rebuild bare(std::make_shared<selftest::FaultyConnection>(conn, 9));
  bare.main.CPInput()->EseguiTransazione = false;
  bare.Run();
  EXPECT_NE(bare.main.Stato(), tsOk);
  EXPECT_EQ(Snapshot(*conn).find("A|1|2024"), std::string::npos);
}

}  // namespace
}  // namespace veriprog
