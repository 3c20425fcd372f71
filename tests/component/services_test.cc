// The services over the operations, against real ledgers: a dry run lists exactly what the
// rebuild then changes and writes nothing, and leaves a host's transaction alone; explain names
// the month a monthly total went wrong in, or says that the months agree and the year does not;
// check all on four connections gives the rows of the companies checked one by one, tells the
// caller on the caller's thread, and one company's failure leaves the others alone.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <map>
#include <set>
#include <thread>

#include "component/stored_tables.h"
#include "gen/ledger_generator.h"
#include "tests/support/ledger.h"
#include "tests/support/test_database.h"
#include "veriprog/dry_run.h"
#include "veriprog/explain.h"
#include "veriprog/run_all.h"

namespace veriprog {
namespace {

using OperationOptions = OperationParameters;

// One value of a plain SQL query, through libpq: the tests' own view of the tables.
std::string Scalar(const testing::TestDatabase& db, const std::string& sql) {
  PGconn* c = PQconnectdb(db.libpq_conninfo().c_str());
  PGresult* r = PQexec(c, sql.c_str());
  std::string value = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1
                          ? PQgetvalue(r, 0, 0)
                          : std::string("error: ") + PQerrorMessage(c);
  PQclear(r);
  PQfinish(c);
  return value;
}

// Every row of every stored-totals table, identifiers and all: a dump in one digest.
std::string Dump(const testing::TestDatabase& db) {
  std::string parts;
  for (const char* t :
       {"CG53_PROGA", "CG52_PROGM", "CGV0_PROGAVAL", "CGV1_PROGMVAL", "CG59_PROGIVAM",
        "CG68_NUMERDESC", "CG51_PROGPLAFOND", "CGL4_PROGIVAPLAF", "CGM3_PROGIVAM",
        "CGL3_PROGIVAMARG", "CGA0_PROGIVAM", "CGL6_PROGIVAAGVIAG"}) {
    parts += std::string(parts.empty() ? "" : " UNION ALL ") + "SELECT '" + t +
             "' || t::text AS x FROM " + t + " t";
  }
  return Scalar(db, "SELECT md5(string_agg(x, ',' ORDER BY x)) FROM (" + parts + ") s");
}

DryRunResult DryRunOf(const OperationInfo& op, const OperationParameters& p) {
  CLSCG_VERIPROG main;
  FillInput(*main.CPInput(), p, true);
  return DryRun(main, op);
}

OperationOptions Options(const testing::TestDatabase& db, int ditta) {
  OperationOptions o;
  o.connection = db.conninfo();
  o.company = std::to_string(ditta);
  return o;
}

// The rows of a stored table that changed between two copies, read by the test itself: rows of
// `a` that `b` lacks, by whole row and by key alone.
struct Changed {
  std::int64_t rows, keys;
};
Changed Except(const testing::TestDatabase& db, const std::string& a, const std::string& b,
               const std::string& key) {
  return {std::stoll(Scalar(db, "SELECT count(*) FROM (SELECT * FROM " + a +
                                    " EXCEPT SELECT * FROM " + b + ") x")),
          std::stoll(Scalar(db, "SELECT count(*) FROM (SELECT " + key + " FROM " + a +
                                    " EXCEPT SELECT " + key + " FROM " + b + ") x"))};
}

// The rebuild's tables as plain tables of the test database, read with the dry run's own
// projection (keys as the ledger matches them, amounts without identifiers).
void Copy(const testing::TestDatabase& db, const std::vector<StoredTable>& tables,
          const std::string& prefix) {
  for (std::size_t i = 0; i < tables.size(); ++i) {
    std::string select = tables[i].select;
    for (std::size_t at; (at = select.find("ISNULL(")) != std::string::npos;)
      select.replace(at, 7, "COALESCE(");
    db.Run("SET client_min_messages = warning; DROP TABLE IF EXISTS " + prefix + std::to_string(i) +
           "; CREATE TABLE " + prefix + std::to_string(i) + " AS " + select);
  }
}

std::string KeyColumns(const StoredTable& t) {
  std::string key;
  for (const auto& k : t.key)
    key += (key.empty() ? "" : ", ") + k;
  return key;
}

TEST(DryRun, ListsExactlyWhatTheRebuildThenChangesAndWritesNothing) {
  VERIPROG_NEED_DATABASE(db);
  const auto ledger = gen::GenerateLedger(
      db.libpq_conninfo(), {.seed = 17, .lines = 3000, .wrong = 6, .wrong_months = 3});
  struct Case {
    const char* rebuild;
    int ditta;
    bool fiscal_year;
  };
  for (const Case c : {Case{"accounts", 1, true}, Case{"vat", 1, false}, Case{"plafond", 1, false},
                       Case{"margin", 2, false}}) {
    SCOPED_TRACE(c.rebuild);
    OperationOptions o = Options(db, c.ditta);
    if (c.fiscal_year) {
      o.fiscal_year = "2024";
      o.fiscal_seq = "1";
    } else {
      o.year = "2024";
    }
    o.by_activity = std::string(c.rebuild) == "margin";
    const OperationInfo* op = FindOperation(true, c.rebuild);
    const DryRunScope scope{c.ditta, 2024, 1, 2024};
    const auto tables = StoredTablesOf(c.rebuild, scope);

    const std::string before = Dump(db);
    const DryRunResult dry = DryRunOf(*op, o);
    ASSERT_EQ(dry.outcome.stato, tsOk) << dry.outcome.errore;
    EXPECT_EQ(Dump(db), before) << "the dry run wrote";
    ASSERT_EQ(dry.diffs.size(), tables.size());

    // The real rebuild, and what it changed, table by table.
    Copy(db, tables, "before_");
    CLSCG_VERIPROG main;
    FillInput(*main.CPInput(), o, true);
    op->run(main, false);
    ASSERT_EQ(main.Stato(), tsOk) << main.Errore();
    Copy(db, tables, "after_");
    std::int64_t changed = 0;
    for (std::size_t i = 0; i < tables.size(); ++i) {
      SCOPED_TRACE(tables[i].name);
      const std::string a = "after_" + std::to_string(i), b = "before_" + std::to_string(i);
      const Changed written = Except(db, a, b, KeyColumns(tables[i]));
      const Changed gone = Except(db, b, a, KeyColumns(tables[i]));
      const TableDiff& d = dry.diffs[i];
      EXPECT_EQ(d.inserted, written.keys);
      EXPECT_EQ(d.deleted, gone.keys);
      EXPECT_EQ(d.inserted + d.updated, written.rows);
      EXPECT_EQ(d.deleted + d.updated, gone.rows);
      EXPECT_EQ(d.inserted + d.updated + d.deleted + d.unchanged,
                std::stoll(Scalar(db, "SELECT count(*) FROM " + b)) + d.inserted);
      changed += d.inserted + d.updated + d.deleted;
    }
    EXPECT_GT(changed, 0) << "the generated ledger has wrong totals in every family";

    // A second dry run finds the rebuilt totals as the journal has them.
    const DryRunResult again = DryRunOf(*op, o);
    ASSERT_EQ(again.outcome.stato, tsOk) << again.outcome.errore;
    for (const auto& d : again.diffs)
      EXPECT_EQ(d.inserted + d.updated + d.deleted, 0) << d.table;
  }

  // The account totals made wrong on purpose are among the changes, by the amount added.
  OperationOptions o = Options(db, 2);
  o.fiscal_year = "2024";
  o.fiscal_seq = "1";
  const auto dry = DryRunOf(*FindOperation(true, "accounts"), o);
  ASSERT_EQ(dry.outcome.stato, tsOk) << dry.outcome.errore;
  int found = 0, wanted = 0;
  for (const gen::WrongTotal& w : ledger.wrong) {
    if (w.ditta != 2 || w.valuta != "EURO") continue;
    ++wanted;
    const std::string column = w.what;
    for (const auto& d : dry.diffs) {
      for (const auto& change : d.changes) {
        for (const auto& v : change.values) {
          if (v.column != column) continue;
          std::map<std::string, std::string> key;
          for (const auto& [name, value] : change.key)
            key[name.substr(5)] = value.ToText();
          if (key["CONTO_CG24"] != w.account || key["CLIFOR_CG44"] != std::to_string(w.clifor) ||
              key["CODICE_CG31"] != std::to_string(w.sede) ||
              (w.mese != 0 && key["MESE"] != std::to_string(w.mese)))
            continue;
          EXPECT_EQ(*v.before.ToDecimal() - *v.after.ToDecimal(), w.added) << column;
          ++found;
        }
      }
    }
  }
  EXPECT_GT(wanted, 0);
  EXPECT_EQ(found, wanted);
}

// A hand-built account: January 100.00 debit; February 50.00 debit and 20.00 credit, beside a
// provisional 999.00 and an adjustment of 5.00 that no monthly total counts. Stored: January
// right, February's credit missing (0.00), the year right:
// SALDOFIN = 0 opening + 5.00 adjustment + (150.00 - 20.00) movements = 135.00.
TEST(Explain, NamesTheFirstMonthWhereStoredAndJournalPart) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::AccountLedger(db);
  ledger.Registration("2024-01-10", "001",
                      {{.conto = "1001", .dare_avere = 1, .importo = "100.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "100.00"}});
  ledger.Registration("2024-02-03", "001",
                      {{.conto = "1001", .dare_avere = 1, .importo = "50.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "50.00"}});
  ledger.Registration("2024-02-20", "001",
                      {{.conto = "1001", .dare_avere = 2, .importo = "20.00"},
                       {.conto = "4001", .dare_avere = 1, .importo = "20.00"}});
  ledger.Registration("2024-02-21", "001",
                      {{.conto = "1001", .dare_avere = 1, .importo = "999.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "999.00"}},
                      "NULL", 1);
  ledger.Registration("2024-02-28", "900",
                      {{.conto = "1001", .dare_avere = 1, .importo = "5.00"},
                       {.conto = "4001", .dare_avere = 2, .importo = "5.00"}});
  const int year = ledger.Yearly({"1001", "0", "0", "0", "135.00"});
  db.Run(
      "UPDATE CG53_PROGA SET CG53_SALDOAPE = 0, CG53_RETTDARE = 5, CG53_RETTAVERE = 0, "
      "CG53_SALDOCHIU = 0 WHERE CG53_IDPROGA = " +
      std::to_string(year));
  ledger.Monthly({0, year, "1001", "0", "0", "0", 2024, 1, "100.00", "0", "NULL"});
  ledger.Monthly({0, year, "1001", "0", "0", "0", 2024, 2, "50.00", "0", "NULL"});

  ExplainRequest request{"1", "2024", "1", "", {"1001", 0, 0, 0}, false, "EURO"};
  auto explained = ExplainAccount(db.Connect(), request);
  ASSERT_EQ(explained.stato, tsOk) << explained.errore;
  auto& x = explained.explanation;
  ASSERT_TRUE(x->first_difference);
  EXPECT_EQ(*x->first_difference, Month(2024, 2));
  EXPECT_TRUE(x->year_agrees);
  EXPECT_EQ(x->verdict,
            "stored and journal part in 2024-02: debit stored 50.00, journal 50.00; credit stored "
            "0.00, journal 20.00");
  EXPECT_EQ(x->months.RecordCount(), 12);
  x->months.Filter("FLAGSBIL = 'Si'");
  EXPECT_EQ(x->months.RecordCount(), 1);
  EXPECT_EQ(x->months.Get("DIFFAVERE").ToText(), "20");
  // February's lines, each saying whether the monthly total counts it.
  ASSERT_TRUE(x->lines);
  std::string lines;
  for (x->lines->MoveFirst(); !x->lines->eof(); x->lines->MoveNext())
    lines += x->lines->Get("IMPORTO").ToText() + " " + x->lines->Get("CONTA").ToText() + "\n";
  EXPECT_EQ(lines,
            "50 Si\n20 Si\n999 no: provisional registration\n5 no: adjustment (yearly only)\n");

  // Another year, no such fiscal year.
  request.esercizio = "2030";
  const ExplainResult missing = ExplainAccount(db.Connect(), request);
  EXPECT_EQ(missing.stato, tsParametriNonValidi);
  EXPECT_EQ(missing.errore, "Esercizio 2030/1 della ditta 1 non trovato");
  // A hostile company is refused before any statement.
  request.ditta = "1;DROP TABLE CG53_PROGA";
  EXPECT_EQ(ExplainAccount(db.Connect(), request).stato, tsParametriNonValidi);
}

TEST(Explain, GeneratedMonthlyAndYearlyTotalsMadeWrong) {
  VERIPROG_NEED_DATABASE(db);
  const auto ledger = gen::GenerateLedger(
      db.libpq_conninfo(), {.seed = 23, .lines = 3000, .wrong = 5, .wrong_months = 4});
  int monthly = 0, yearly = 0;
  for (const gen::WrongTotal& w : ledger.wrong) {
    if (w.valuta == "(EURO)") continue;  // the euro twin of a currency the list does not name
    SCOPED_TRACE(w.conto + " " + w.what);
    ExplainRequest request{std::to_string(w.ditta),
                           std::to_string(w.anno),
                           std::to_string(w.progressivo),
                           "",
                           {w.account, w.tipocf, w.clifor, w.sede},
                           false,
                           w.valuta};
    const auto explained = ExplainAccount(db.Connect(), request);
    ASSERT_EQ(explained.stato, tsOk) << explained.errore;
    const auto& x = explained.explanation;
    if (w.mese != 0) {
      ++monthly;
      ASSERT_TRUE(x->first_difference);
      EXPECT_EQ(*x->first_difference, Month(w.annosol, w.mese));
      EXPECT_TRUE(x->year_agrees);
    } else {
      ++yearly;
      EXPECT_FALSE(x->first_difference);
      EXPECT_FALSE(x->year_agrees);
      EXPECT_EQ(x->verdict.rfind("the months agree; the year does not:", 0), 0u) << x->verdict;
    }
  }
  EXPECT_EQ(monthly, 4);
  EXPECT_GT(yearly, 0);
}

// The rows of a check as JSON, without the identifier each call makes anew.
std::vector<std::string> Rows(db::Recordset& rs) {
  std::vector<std::string> rows;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    std::string row;
    for (std::size_t i = 0; i < rs.fields().size(); ++i) {
      if (rs.fields()[i].name != "ID") row += rs.Get(i).ToText() + "|";
    }
    rows.push_back(row);
  }
  return rows;
}

// The exit code a run would end with: the worst outcome of the units that ran.
int Worst(const RunAllResult& r) {
  int worst = 0;
  for (const UnitResult& u : r.units) {
    const std::string outcome = OutcomeText(u);
    worst = std::max(worst, outcome == "flagged"              ? 1
                            : outcome == "invalid parameters" ? 2
                            : outcome == "ok"                 ? 0
                                                              : 3);
  }
  return worst;
}

TEST(CheckAll, GivesTheRowsOfTheCompaniesCheckedOneByOne) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(),
                      {.seed = 29, .lines = 1500, .wrong = 4, .companies = 4, .wrong_months = 1});
  RunAllOptions all;
  all.connection = db.conninfo();
  all.jobs = 4;
  all.keep_rows = true;
  all.forward_events = true;
  const auto caller = std::this_thread::get_id();
  int off_thread = 0, events = 0, finished = 0;
  const RunAllResult r = RunAll(all, {[&](const RunAllProgress& m) {
                                        off_thread += std::this_thread::get_id() != caller;
                                        events += m.kind == RunAllProgress::Kind::kEvent;
                                        finished += m.kind == RunAllProgress::Kind::kUnitFinished;
                                      },
                                      {}});
  EXPECT_EQ(r.companies, 4);
  EXPECT_EQ(Worst(r), 1);  // wrong totals, no failure
  EXPECT_EQ(off_thread, 0) << "a callback ran on a worker's thread";
  EXPECT_GT(events, 0);
  EXPECT_EQ(finished, static_cast<int>(r.units.size()));
  std::set<std::int64_t> companies;
  for (const UnitResult& u : r.units) {
    SCOPED_TRACE(std::to_string(u.ditta) + " " + u.family + " " + u.period);
    companies.insert(u.ditta);
    ASSERT_TRUE(u.run);
    ASSERT_EQ(u.outcome.stato, tsOk) << u.outcome.errore;
    // Kept to the end of the run, the rows hold no session of the server.
    EXPECT_EQ(u.outcome.rows->active_connection(), nullptr);
    // The same check on its own: a main object and a connection of its own, one at a time.
    OperationOptions o = Options(db, static_cast<int>(u.ditta));
    const auto slash = u.period.find('/');
    if (slash != std::string::npos) {
      o.fiscal_year = u.period.substr(0, slash);
      o.fiscal_seq = u.period.substr(slash + 1);
    } else {
      o.year = u.period;
    }
    o.by_activity = u.family.ends_with("-activity");
    const std::string name = o.by_activity ? u.family.substr(0, u.family.find('-')) : u.family;
    CLSCG_VERIPROG main;
    FillInput(*main.CPInput(), o, false);
    const Outcome alone = RunOperation(main, *FindOperation(false, name), u.family == "vat");
    ASSERT_EQ(alone.stato, tsOk) << alone.errore;
    EXPECT_EQ(u.outcome.flagged, alone.flagged);
    EXPECT_EQ(Rows(*u.outcome.rows), Rows(*alone.rows));
  }
  EXPECT_EQ(companies, (std::set<std::int64_t>{1, 2, 3, 4}));

  // Rebuilt, every company on its own transaction: nothing left to flag.
  all.rebuild = true;
  all.jobs = 3;
  EXPECT_EQ(Worst(RunAll(all)), 0);
  all.rebuild = false;
  EXPECT_EQ(Worst(RunAll(all)), 0);

  // Company 3 loses its company record: its checks fail, the others' go on.
  db.Run("DELETE FROM CG18_DITTE WHERE CG18_DITTA = 3");
  all.companies = *NumberSet::Parse("2-4,7", "--companies");
  all.jobs = 64;
  const RunAllResult broken = RunAll(all);
  EXPECT_EQ(broken.jobs, 3);  // one connection per company at most
  EXPECT_EQ(broken.connections, 3);
  EXPECT_EQ(Worst(broken), 2);
  int fine = 0;
  std::set<std::string> failed;
  for (const UnitResult& u : broken.units) {
    if (OutcomeText(u) != "ok") failed.insert(std::to_string(u.ditta) + " " + u.family);
    if (u.ditta == 2 || u.ditta == 4) {
      EXPECT_EQ(OutcomeText(u), "ok") << u.ditta << " " << u.family << " " << u.outcome.errore;
      ++fine;
    }
  }
  EXPECT_GT(fine, 0);
  // Company 3's account check needs its company record; company 7 has no fiscal year.
  EXPECT_TRUE(failed.count("3 accounts"));
  EXPECT_TRUE(failed.count("7 -"));

  // A stop asked for at once: nothing runs, and the run says so.
  const RunAllResult stopped = RunAll(all, {{}, [] { return true; }});
  EXPECT_TRUE(stopped.stopped);
}

// A dry run on a connection the host holds inside its own transaction would roll the host's
// work back with its own: it is refused, and the host's transaction goes on untouched.
TEST(DryRun, RefusesAConnectionAlreadyInsideATransaction) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 5, .lines = 300, .wrong = 2});
  CLSCG_VERIPROG main;
  OperationOptions o = Options(db, 1);
  o.fiscal_year = "2024";
  o.fiscal_seq = "1";
  FillInput(*main.CPInput(), o, true);
  auto connection = db.Connect();
  connection->BeginTrans();
  connection->Execute("UPDATE CG53_PROGA SET CG53_SALDOFIN = 1 WHERE CG53_IDPROGA = 1");
  main.CPInput()->GConnect = connection;
  const DryRunResult refused = DryRun(main, *FindOperation(true, "accounts"));
  EXPECT_EQ(refused.outcome.stato, tsParametriNonValidi);
  EXPECT_TRUE(connection->in_transaction());
  EXPECT_EQ(main.CPInput()->GConnect, connection);
  connection->RollbackTrans();
  // Outside the transaction the same connection serves, and is handed back as it was.
  const DryRunResult dry = DryRun(main, *FindOperation(true, "accounts"));
  EXPECT_EQ(dry.outcome.stato, tsOk) << dry.outcome.errore;
  EXPECT_GT(dry.Changed(), 0);
  EXPECT_FALSE(connection->in_transaction());
  EXPECT_TRUE(main.CPInput()->EseguiTransazione);
}

}  // namespace
}  // namespace veriprog
