// A check looked at twice on a hand-built ledger: a stored total mended while the check waits is
// transient, one still wrong confirmed (with the amounts of the second look), and an interrupt
// ends the pause without a second check.
#include "veriprog/recheck.h"

#include <gtest/gtest.h>

#include "tests/support/ledger.h"
#include "tests/support/test_database.h"

namespace veriprog {
namespace {

// Cassa 1001 100.00 debit, Ricavi 4001 100.00 credit; stored 90.00 and -110.00: both flagged.
struct TwoWrongTotals {
  explicit TwoWrongTotals(const testing::TestDatabase& database) : db(database) {
    auto ledger = testing::AccountLedger(db);
    ledger.Registration("2024-02-01", "001",
                        {{.conto = "1001", .importo = "100.00"},
                         {.conto = "4001", .dare_avere = 2, .importo = "100.00"}});
    ledger.Yearly({"1001", "0", "0", "0", "90.00"});
    ledger.Yearly({"4001", "0", "0", "0", "-110.00"});
    p.connection = db.conninfo();
    p.company = "1";
    p.fiscal_year = "2024";
    p.fiscal_seq = "1";
    FillInput(*main.CPInput(), p, false);
    first = RunOperation(main, op, false);
  }
  void Store(const char* conto, const char* saldo) const {
    db.Run(std::string("UPDATE CG53_PROGA SET CG53_SALDOFIN = ") + saldo +
           " WHERE CG53_CONTO_CG24 = '" + conto + "'");
  }

  const testing::TestDatabase& db;
  const OperationInfo& op = *FindOperation(false, "accounts");
  OperationParameters p;
  CLSCG_VERIPROG main;
  Outcome first;
};

bool Names(const RecheckedFinding& f, const std::string& conto) {
  return f.first.key.find("CONTO=" + conto + ",") != std::string::npos;
}

TEST(Recheck, OneMendedDuringThePauseIsTransientTheOtherConfirmed) {
  VERIPROG_NEED_DATABASE(db);
  TwoWrongTotals t(db);
  ASSERT_EQ(t.first.stato, tsOk) << t.first.errore;
  ASSERT_EQ(t.first.flagged, 2);
  // Cassa's total written in the meantime; Ricavi's still wrong, by another amount.
  const Recheck r = RecheckFlagged(t.main, t.op, t.p, t.first, {0.1, [&] {
                                                                  t.Store("1001", "100.00");
                                                                  t.Store("4001", "-120.00");
                                                                }});
  ASSERT_TRUE(r.done) << r.second.errore;
  EXPECT_EQ(r.confirmed, 1);
  EXPECT_EQ(r.transient, 1);
  ASSERT_EQ(r.findings.size(), 2u);
  EXPECT_TRUE(Names(r.findings[0], "1001"));
  EXPECT_FALSE(r.findings[0].confirmed);
  EXPECT_TRUE(Names(r.findings[1], "4001"));
  EXPECT_TRUE(r.findings[1].confirmed);
  EXPECT_NE(r.findings[1].amounts.find("-120"), std::string::npos) << r.findings[1].amounts;
  EXPECT_NE(r.findings[1].first.amounts.find("-110"), std::string::npos);
  EXPECT_EQ(r.second.flagged, 1);

  // The first check's rows as they were, each flagged one with its verdict.
  auto rows = RecheckedRows(r, t.op, t.p, *t.first.rows);
  ASSERT_TRUE(rows);
  std::string verdicts;
  for (rows->MoveFirst(); !rows->eof(); rows->MoveNext())
    verdicts += std::string(rows->Get("CONTO").ToText()).substr(0, 4) + " " +
                rows->Get("RECHECK").ToText() + "\n";
  EXPECT_EQ(verdicts, "1001 transient\n4001 confirmed\n");
}

TEST(Recheck, AnInterruptEndsThePauseWithoutASecondCheck) {
  VERIPROG_NEED_DATABASE(db);
  TwoWrongTotals t(db);
  ASSERT_EQ(t.first.flagged, 2);
  // The hour's pause ends at the interrupt, and no second check runs.
  const Recheck stopped =
      RecheckFlagged(t.main, t.op, t.p, t.first,
                     {kMaxRecheckSeconds, [&] { t.main.CPInput()->GConnect->Interrupt(); }});
  EXPECT_TRUE(stopped.interrupted);
  EXPECT_FALSE(stopped.done);
  EXPECT_EQ(stopped.second.stato, tsProgramError);
}

}  // namespace
}  // namespace veriprog
