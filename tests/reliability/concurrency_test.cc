// Rebuilds and checks side by side on separate connections, as an accounting firm's server sees
// them: rebuilds of different companies go together and each gives exact totals; two rebuilds of
// one company never double or lose a total (the second waits for the first); a check beside a
// rebuild of its company sees the totals before it or after it, never half of it; and a
// registration posted while a rebuild runs is in the totals once the rebuild reads the journal.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "gen/ledger_generator.h"
#include "tests/support/ledger.h"
#include "tests/support/test_database.h"
#include "veriprog/main_object.h"
#include "veriprog/recordset.h"

namespace veriprog {
namespace {

using namespace std::chrono_literals;

void Rebuild(const testing::TestDatabase& db, int ditta, StatoEnum* stato) {
  CLSCG_VERIPROG main;
  main.CPInput()->GConnect = db.Connect();
  main.CPInput()->Ditta = ditta;
  main.CPInput()->Esercizio = 2024;
  main.CPInput()->Progressivo = 1;
  main.CPInput()->EseguiTransazione = true;
  main.AzzeraAggiornaProgressiviContabili();
  *stato = main.Stato();
}

// Rows the account check flags for a company, or -1 when the check failed.
int Flagged(const testing::TestDatabase& db, int ditta) {
  CLSCG_VERIPROG main;
  main.CPInput()->GConnect = db.Connect();
  main.CPInput()->Ditta = ditta;
  main.CPInput()->Esercizio = 2024;
  main.CPInput()->Progressivo = 1;
  main.ControlloProgressiviContabili();
  if (main.Stato() != tsOk) return -1;
  auto rs = main.CPOutput()->RecSetControlloProgressivi;
  rs->Filter("FLAGSBIL = 'Si'");
  return static_cast<int>(rs->RecordCount());
}

// A session of someone else's that holds a table locked until Release: a rebuild that reaches
// the table waits there, in the middle of its transaction.
class TableLock {
 public:
  TableLock(const testing::TestDatabase& db, const char* table)
      : conn_(PQconnectdb(db.libpq_conninfo().c_str())) {
    PQclear(PQexec(conn_, "BEGIN"));
    PQclear(
        PQexec(conn_, (std::string("LOCK TABLE ") + table + " IN ACCESS EXCLUSIVE MODE").c_str()));
  }
  ~TableLock() {
    Release();
    PQfinish(conn_);
  }
  void Release() { PQclear(PQexec(conn_, "ROLLBACK")); }

 private:
  PGconn* conn_;
};

// Waits until `sessions` veriprog sessions of the database wait for a lock.
bool SomeoneWaits(const testing::TestDatabase& db, const char* what, int sessions = 1) {
  PGconn* c = PQconnectdb(db.libpq_conninfo().c_str());
  bool waits = false;
  for (int i = 0; i < 400 && !waits; ++i) {
    PGresult* r = PQexec(c, (std::string("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                         "current_database() AND application_name = 'veriprog' "
                                         "AND wait_event_type = '") +
                             what + "'")
                                .c_str());
    waits = PQresultStatus(r) == PGRES_TUPLES_OK && std::atoi(PQgetvalue(r, 0, 0)) >= sessions;
    PQclear(r);
    if (!waits) std::this_thread::sleep_for(25ms);
  }
  PQfinish(c);
  return waits;
}

TEST(Concurrency, RebuildsOfDifferentCompaniesGoTogether) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 31, .lines = 6000, .wrong = 8});
  ASSERT_GT(Flagged(db, 1) + Flagged(db, 2), 0);
  StatoEnum one = tsProgramError, two = tsProgramError;
  std::thread a(Rebuild, std::cref(db), 1, &one);
  std::thread b(Rebuild, std::cref(db), 2, &two);
  a.join();
  b.join();
  EXPECT_EQ(one, tsOk);
  EXPECT_EQ(two, tsOk);
  EXPECT_EQ(Flagged(db, 1), 0);
  EXPECT_EQ(Flagged(db, 2), 0);
}

TEST(Concurrency, TwoRebuildsOfOneCompanyNeverDoubleATotal) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 32, .lines = 6000, .wrong = 8});
  auto conn = db.Connect();
  StatoEnum stato = tsProgramError;
  Rebuild(db, 1, &stato);
  ASSERT_EQ(stato, tsOk);
  // The totals, and how many rows hold them: a currency row left behind by a rebuild that
  // deleted its parent's old rows only would hide from the totals, not from the count.
  auto state = [&] {
    return testing::AccountTotals(*conn) + "\n" +
           db::Recordset::FromResult(
               conn->Query("SELECT (SELECT count(*) FROM CG53_PROGA) || '/' || (SELECT count(*) "
                           "FROM CG52_PROGM) || '/' || (SELECT count(*) FROM CGV0_PROGAVAL) || "
                           "'/' || (SELECT count(*) FROM CGV1_PROGMVAL) AS N"),
               nullptr)
               .Get("N")
               .ToText();
  };
  const std::string exact = state();
  for (int round = 0; round < 3; ++round) {
    db.Run(
        "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 1 WHERE CG53_DITTA_CG18 = 1 "
        "AND CG53_ANNO_CG19 = 2024");
    // The first rebuild stops in the middle of its transaction, the second starts meanwhile.
    TableLock lock(db, "CG33_TABCAU");
    StatoEnum one = tsProgramError, two = tsProgramError;
    std::thread a(Rebuild, std::cref(db), 1, &one);
    ASSERT_TRUE(SomeoneWaits(db, "Lock"));
    std::thread b(Rebuild, std::cref(db), 1, &two);
    ASSERT_TRUE(SomeoneWaits(db, "Lock", 2));
    lock.Release();
    a.join();
    b.join();
    EXPECT_EQ(one, tsOk);
    EXPECT_EQ(two, tsOk);
    const std::string got = state();
    if (got != exact) {
      std::size_t i = 0;
      while (i < got.size() && i < exact.size() && got[i] == exact[i])
        ++i;
      const std::size_t from = got.rfind('\n', i) == std::string::npos ? 0 : got.rfind('\n', i) + 1;
      ADD_FAILURE() << "round " << round << "\ngot:  " << got.substr(from, 200)
                    << "\nwant: " << exact.substr(from, 200);
    }
  }
}

TEST(Concurrency, ACheckBesideARebuildSeesTheTotalsBeforeOrAfterIt) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 33, .lines = 6000, .wrong = 8});
  ASSERT_GT(Flagged(db, 1), 0);
  // The rebuild stops at its third step, when the totals of the year have been deleted.
  TableLock lock(db, "CG33_TABCAU");
  StatoEnum stato = tsProgramError;
  std::thread rebuild(Rebuild, std::cref(db), 1, &stato);
  ASSERT_TRUE(SomeoneWaits(db, "Lock"));
  std::atomic<int> flagged{-2};
  std::thread check([&] { flagged = Flagged(db, 1); });
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(flagged, -2) << "the check read the totals while the rebuild had them half written";
  lock.Release();
  rebuild.join();
  check.join();
  EXPECT_EQ(stato, tsOk);
  EXPECT_EQ(flagged, 0) << "the check waited, and saw the rebuilt totals";
}

TEST(Concurrency, ARegistrationPostedDuringARebuildIsInItsTotals) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 34, .lines = 3000, .wrong = 0});
  TableLock lock(db, "CG33_TABCAU");
  StatoEnum stato = tsProgramError;
  std::thread rebuild(Rebuild, std::cref(db), 1, &stato);
  ASSERT_TRUE(SomeoneWaits(db, "Lock"));
  // Posted and committed while the rebuild, its totals deleted, waits to read the journal.
  testing::Ledger(db, {}).Registration(
      {.numreg = "POSTED", .data = "2024-06-30", .data_iva = "NULL", .causale = "001"},
      {{.conto = "1001", .importo = "123.45"},
       {.conto = "4001", .dare_avere = 2, .importo = "123.45"}});
  lock.Release();
  rebuild.join();
  EXPECT_EQ(stato, tsOk);
  EXPECT_EQ(Flagged(db, 1), 0) << "the rebuild read the journal after the posting";
}

}  // namespace
}  // namespace veriprog
