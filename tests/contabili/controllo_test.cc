// The account totals check on hand-built ledgers whose balances are worked out in the comments,
// and on generated ledgers whose wrong totals are known.
#include <gtest/gtest.h>

#include <set>

#include "db/text.h"
#include "gen/ledger_generator.h"
#include "tests/support/fakes.h"
#include "tests/support/ledger.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

using testing::Ledger;

// The result as "CONTO|VALUTA|SEDE|MOV|PROGR|DIFF|FLAG|DESCRIZIONE" lines, blanks trimmed.
std::string Result(CLSCG_VERIPROG& main) {
  auto rs = main.CPOutput()->RecSetControlloProgressivi;
  if (!rs) return "(none)";
  std::string out;
  for (rs->MoveFirst(); !rs->eof(); rs->MoveNext()) {
    for (const char* f : {"CONTO", "VALUTA", "SEDE", "SALDOFINALEMOV", "SALDOFINALEPROGR",
                          "DIFFSALDO", "FLAGSBIL", "DESCRIZIONE"}) {
      const db::Variant& v = rs->Get(f);
      const std::string text = v.is_null() ? "NULL"
                               : v.kind() == db::Variant::Kind::kDecimal
                                   ? v.AsDecimal().ToString()
                                   : std::string(db::TrimRight(v.ToText()));
      out += std::string(f[0] == 'C' ? "" : "|") + text;
    }
    out += "\n";
  }
  return out;
}

struct Check {
  std::shared_ptr<testing::EventLog> events = std::make_shared<testing::EventLog>();
  CLSCG_VERIPROG main;

  Check(const testing::TestDatabase& db, db::Variant ditta = 1, db::Variant esercizio = 2024) {
    main.CPInput()->SConnect = db.conninfo();
    main.CPInput()->Ditta = std::move(ditta);
    main.CPInput()->Esercizio = std::move(esercizio);
    main.CPInput()->Progressivo = 1;
    main.Advise(events);
  }
  std::string Run() {
    main.ControlloProgressiviContabili();
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
    return Result(main);
  }
};

TEST(ControlloProgressiviContabili, AccountInEuroOnlyGivesOneRow) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::AccountLedger(db);
  // Cassa: 100.00 + 50.25 debit, 20.00 credit = 130.25; stored 130.25, written with null keys.
  ledger.Registration("2024-02-01", "001",
                      {{.conto = "1001", .importo = "100.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "100.00"}});
  ledger.Registration(
      "2024-03-01", "001",
      {{.conto = "1001", .tipocf = "0", .clifor = "0", .importo = "50.25", .valuta = "EURO"},
       {.conto = "1001", .dare_avere = 2, .importo = "20.00"},
       {.conto = "4001", .dare_avere = 2, .importo = "30.25"}});
  ledger.Yearly({"1001", "NULL", "NULL", "NULL", "130.25"});
  ledger.Yearly({"4001", "0", "0", "0", "-130.24"});
  Check check(db);
  EXPECT_EQ(check.Run(),
            "1001|EURO|0|130.25|130.25|NULL||Cassa\n"
            "4001|EURO|0|-130.25|-130.24|-0.01|Si|Ricavi\n");
  EXPECT_EQ(check.events->Joined(),
            "Begin(8)\nAvanzamento(1)\nAvanzamento(2)\nAvanzamento(3)\nAvanzamento(4)\n"
            "Avanzamento(5)\nAvanzamento(6)\nAvanzamento(7)\nAvanzamento(8)\nEnd()\n");
  // Twice on one connection: the first step drops the tables of the earlier run.
  EXPECT_EQ(check.Run(), Result(check.main));
  EXPECT_EQ(check.main.CPOutput()->RecSetControlloProgressivi->RecordCount(), 2);
  // The result stays readable once the temporary tables are gone.
  check.main.CPInput()->GConnect->Execute("DROP TABLE #CONTROLLOPROGR");
  EXPECT_EQ(Result(check.main).substr(0, 4), "1001");
}

TEST(ControlloProgressiviContabili, CustomerInForeignCurrencyGivesThreeRows) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::AccountLedger(db);
  // Customer 5 in USD: 110 USD = 100.00 EUR debit, then 11 USD = 9.90 EUR credit.
  // EURO row: 100.00 - 9.90 = 90.10; USD row: 110 - 11 = 99.00; (EURO) row: 90.10.
  ledger.Registration("2024-04-01", "001",
                      {{.conto = "1401",
                        .tipocf = "1",
                        .clifor = "5",
                        .importo = "100.00",
                        .valuta = "USD",
                        .importo_val = "110.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "100.00"}});
  ledger.Registration("2024-09-01", "001",
                      {{.conto = "1401",
                        .tipocf = "1",
                        .clifor = "5",
                        .dare_avere = 2,
                        .importo = "9.90",
                        .valuta = "USD",
                        .importo_val = "11.00"},
                       {.conto = "1001", .importo = "9.90"}});
  const int id = ledger.Yearly({"1401", "1", "5", "0", "90.10"});
  // The euro twin is 0.10 short.
  ledger.Rows("CGV0_PROGAVAL",
              {"CGV0_IDPROGA_CG53", "CGV0_CODICE_CG08", "CGV0_SALDOFIN", "CGV0_SALDOFINEURO"},
              {{id, "USD", "99.00", "90.00"}});
  Check check(db);
  EXPECT_EQ(check.Run(),
            "1001|EURO|0|9.90|0.00|9.90|Si|Cassa\n"
            "1400000005|EURO|0|90.10|90.10|NULL||Rossi Spa\n"
            "1400000005|USD|0|99.00|99.00|NULL||Rossi Spa\n"
            "1400000005|(EURO)|0|90.10|90.00|0.10|Si|Rossi Spa\n"
            "4001|EURO|0|-100.00|0.00|-100.00|Si|Ricavi\n");
}

TEST(ControlloProgressiviContabili, OpeningBalancesProvisionalLinesAndBranches) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::AccountLedger(db);
  // 2901 and 1001 (branch 0) have only opening balances, stored as such: explained, no row.
  // 1001 moves +10.00 in branch 2 (line branch null: the header's), 4001 in branch 3.
  ledger.Registration("2024-01-01", "151",
                      {{.conto = "1001", .importo = "500.00"},
                       {.conto = "2901", .dare_avere = 2, .importo = "500.00"}});
  ledger.Yearly({"2901", "0", "0", "0", "-500.00"});
  ledger.Registration("2024-05-05", "001",
                      {{.conto = "1001", .importo = "10.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "10.00", .sede = "3"}},
                      "2");
  // A provisional registration and a closing one never count.
  ledger.Registration("2024-06-06", "001",
                      {{.conto = "1001", .importo = "999.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "999.00"}},
                      "NULL", /*provisional=*/1);
  ledger.Registration("2024-12-31", "150",
                      {{.conto = "1001", .dare_avere = 2, .importo = "510.00"},
                       {.conto = "2901", .importo = "510.00"}});
  ledger.Yearly({"1001", "0", "0", "0", "500.00"});
  ledger.Yearly({"1001", "0", "0", "2", "10.00"});
  ledger.Yearly({"4001", "0", "0", "3", "-10.00"});
  Check all(db);
  EXPECT_EQ(all.Run(),
            "1001|EURO|2|10.00|10.00|NULL||Cassa\n"
            "4001|EURO|3|-10.00|-10.00|NULL||Ricavi\n");
  Check branch(db);
  branch.main.CPInput()->CodiceSede = 2;
  EXPECT_EQ(branch.Run(), "1001|EURO|2|10.00|10.00|NULL||Cassa\n");
  // A stored balance that the opening balance does not explain is a difference.
  db.Run("UPDATE CG53_PROGA SET CG53_SALDOFIN = -499.99 WHERE CG53_CONTO_CG24 = '2901'");
  Check again(db);
  EXPECT_NE(again.Run().find("2901|EURO|0|-500.00|-499.99|-0.01|Si|Patrimonio"), std::string::npos);
}

TEST(ControlloProgressiviContabili, EmptyLedgerAndMissingFiscalYear) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::AccountLedger(db);
  Check empty(db);
  EXPECT_EQ(empty.Run(), "");
  Check missing(db, 1, 2031);
  missing.main.ControlloProgressiviContabili();
  EXPECT_EQ(missing.main.Stato(), tsParametriNonValidi);
  EXPECT_EQ(missing.main.Errore(), "Esercizio 2031/1 della ditta 1 non trovato");
  EXPECT_EQ(missing.events->lines.back(), "End()");
}

// On generated ledgers the flagged rows are exactly the totals made wrong, with the difference
// that was put in, for both fiscal years under check (one of them across two calendar years).
TEST(ControlloProgressiviContabili, FlagsExactlyTheWrongTotalsOfAGeneratedLedger) {
  VERIPROG_NEED_DATABASE(db);
  const auto ledger =
      gen::GenerateLedger(db.libpq_conninfo(), {.seed = 11, .lines = 6000, .wrong = 12});
  ASSERT_EQ(ledger.wrong.size(), 12u);
  for (int ditta : {1, 2}) {
    std::set<std::string> expected, flagged;
    for (const auto& w : ledger.wrong) {
      if (w.ditta == ditta) {
        expected.insert(w.conto + "|" + w.valuta + "|" + std::to_string(w.sede) + "|" +
                        (-w.added).ToString());
      }
    }
    Check check(db, ditta);
    check.Run();
    auto rs = check.main.CPOutput()->RecSetControlloProgressivi;
    ASSERT_GT(rs->RecordCount(), 100);
    rs->Filter("FLAGSBIL = 'Si'");
    for (rs->MoveFirst(); !rs->eof(); rs->MoveNext()) {
      flagged.insert(std::string(db::TrimRight(rs->Get("CONTO").ToText())) + "|" +
                     std::string(db::TrimRight(rs->Get("VALUTA").ToText())) + "|" +
                     rs->Get("SEDE").ToText() + "|" + rs->Get("DIFFSALDO").AsDecimal().ToString());
    }
    EXPECT_EQ(flagged, expected) << "company " << ditta;
  }
}

}  // namespace
}  // namespace veriprog
