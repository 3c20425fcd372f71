// Waits with an end: a run behind another run's company lock says so and, given a limit, gives
// up with nothing written; a statement held up on the server ends at the statement timeout and
// its rebuild rolls back. Run through each backend.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <string>
#include <vector>

#include "gen/ledger_generator.h"
#include "tests/support/ledger.h"
#include "tests/support/test_database.h"
#include "veriprog/error.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

void AskRebuild(CLSCG_VERIPROG& main, std::shared_ptr<db::Connection> connection) {
  main.CPInput()->GConnect = std::move(connection);
  main.CPInput()->Ditta = 1;
  main.CPInput()->Esercizio = 2024;
  main.CPInput()->Progressivo = 1;
  main.CPInput()->EseguiTransazione = true;
}

TEST(Waits, ALockHeldElsewhereIsToldAndBoundedAndNothingIsWritten) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 41, .lines = 3000, .wrong = 4});
  auto reader = db.Connect();
  const std::string wrong = testing::AccountTotals(*reader);

  // Another run's rebuild of company 1, holding the lock as the tool names it.
  auto other = db.Connect();
  other->Lock("veriprog ditta 1", true);
  // Another company is free, and a shared holder of company 1 would be refused at once too.
  EXPECT_TRUE(reader->TryLock("veriprog ditta 2", true));
  reader->Unlock("veriprog ditta 2", true);
  EXPECT_FALSE(reader->TryLock("veriprog ditta 1", false));

  std::vector<std::string> told;
  CLSCG_VERIPROG main;
  AskRebuild(main, db.Connect());
  main.SetLimits(
      {.lock_timeout = 0.5, .on_wait = [&](const std::string& w) { told.push_back(w); }});
  main.AzzeraAggiornaProgressiviContabili();
  EXPECT_EQ(main.Stato(), tsProgramError);
  EXPECT_NE(main.Errore().find("company 1 is locked by another run"), std::string::npos)
      << main.Errore();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("'veriprog ditta 1'"), std::string::npos) << told[0];
  EXPECT_EQ(testing::AccountTotals(*reader), wrong);

  // Once the other run ends, the same object goes through.
  other->Unlock("veriprog ditta 1", true);
  told.clear();
  main.AzzeraAggiornaProgressiviContabili();
  EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
  EXPECT_TRUE(told.empty());
  EXPECT_NE(testing::AccountTotals(*reader), wrong);
}

TEST(Waits, AStatementPastItsTimeoutEndsAndItsRebuildRollsBack) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 42, .lines = 3000, .wrong = 4});
  auto bounded = db::Connect(db.conninfo(), {.statement_timeout = 0.5});
  EXPECT_THROW(bounded->Execute("SELECT pg_sleep(3)"), db::DbError);
  EXPECT_NO_THROW(bounded->Execute("SELECT 1 AS N"));  // the session goes on

  auto reader = db.Connect();
  const std::string wrong = testing::AccountTotals(*reader);
  // Someone else's session holds a table the rebuild reads halfway through, longer than the
  // statement may wait.
  PGconn* holder = PQconnectdb(db.libpq_conninfo().c_str());
  PQclear(PQexec(holder, "BEGIN"));
  PQclear(PQexec(holder, "LOCK TABLE CG33_TABCAU IN ACCESS EXCLUSIVE MODE"));
  CLSCG_VERIPROG main;
  AskRebuild(main, nullptr);
  main.CPInput()->SConnect = db.conninfo();
  main.SetLimits({.statement_timeout = 1});
  main.AzzeraAggiornaProgressiviContabili();
  PQclear(PQexec(holder, "ROLLBACK"));
  PQfinish(holder);
  EXPECT_EQ(main.Stato(), tsProgramError);
  EXPECT_FALSE(main.Errore().empty());
  EXPECT_EQ(testing::AccountTotals(*reader), wrong);
}

}  // namespace
}  // namespace veriprog
