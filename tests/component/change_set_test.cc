// A rebuild's change set against real ledgers: the undo puts every account and VAT total back by
// key (rows the rebuild deleted and inserted, currency twins and their links included), refuses a
// total moved since and writes nothing then; a plan applies only to the journal it was made on.
#include "veriprog/change_set.h"

#include <gtest/gtest.h>

#include <set>

#include "component/journal_fingerprint.h"
#include "component/stored_tables.h"
#include "db/text.h"
#include "gen/ledger_generator.h"
#include "tests/support/ledger.h"
#include "tests/support/test_database.h"

namespace veriprog {
namespace {

OperationParameters Accounts(const testing::TestDatabase& db, int ditta = 1) {
  OperationParameters o;
  o.connection = db.conninfo();
  o.company = std::to_string(ditta);
  o.fiscal_year = "2024";
  o.fiscal_seq = "1";
  return o;
}

// Every stored row of the family's tables in scope, by key, every value: identities aside.
std::string Totals(const testing::TestDatabase& db, const std::string& family, int ditta = 1) {
  auto c = db.Connect();
  std::vector<std::string> lines;
  for (const StoredTable& t : StoredTablesOf(family, {ditta, 2024, 1, 2024})) {
    for (const auto& [text, row] : ReadTable(*c, t).rows) {
      std::string line = t.name + " " + text;
      for (const auto& v : row.values)
        line += "|" + (v.is_null() ? std::string("NULL") : v.ToText());
      lines.push_back(line);
    }
  }
  return testing::Sorted(lines);
}

RecordedRebuild Rebuild(const OperationInfo& op, const OperationParameters& p,
                        const ChangeSet* plan = nullptr) {
  CLSCG_VERIPROG main;
  FillInput(*main.CPInput(), p, true);
  return RebuildRecorded(main, op, plan);
}

UndoResult Undo(const testing::TestDatabase& db, const ChangeSet& changes) {
  CLSCG_VERIPROG main;
  main.CPInput()->SConnect = db.conninfo();
  return UndoChanges(main, changes);
}

// A generated ledger made wrong three more ways in company 1, 2024/1: a total (with its months
// and currency twins) for an account the journal never names, which the rebuild deletes; the
// totals of a key in a currency gone, which it writes again; and a twin's amount off.
void MakeWrong(const testing::TestDatabase& db) {
  db.Run(
      "WITH a AS (INSERT INTO CG53_PROGA (CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, "
      "CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_TIPOCF_CG44, CG53_CLIFOR_CG44, CG53_CODICE_CG31, "
      "CG53_SALDOAPE, CG53_RETTDARE, CG53_RETTAVERE, CG53_SALDOFIN, CG53_SALDOCHIU, "
      "CG53_IMPORTOIVA) SELECT 1, 2024, 1, CG18_GRUPPO_CG10, 'ZZ''9', NULL, NULL, NULL, 0, 0, 0, "
      "12.34, 0, NULL FROM CG18_DITTE WHERE CG18_DITTA = 1 RETURNING CG53_IDPROGA, "
      "CG53_GRUPPO_CG10), v AS (INSERT INTO CGV0_PROGAVAL SELECT CG53_IDPROGA, 'USD', 0, 0, 0, "
      "10, 0, 0, 0, 0, 0, 12.34, 0, 0 FROM a), m AS (INSERT INTO CG52_PROGM (CG52_IDPROGA_CG53, "
      "CG52_DITTA_CG18, CG52_ANNO_CG53, CG52_PROGESER_CG53, CG52_GRUPPO_CG10, CG52_CONTO_CG24, "
      "CG52_TIPOCF_CG44, CG52_CLIFOR_CG44, CG52_CODICE_CG31, CG52_ANNOSOL, CG52_MESE, "
      "CG52_IMPORTODARE, CG52_IMPORTOAVERE, CG52_FATTURATO) SELECT CG53_IDPROGA, 1, 2024, 1, "
      "CG53_GRUPPO_CG10, 'ZZ''9', NULL, NULL, NULL, 2024, 3, 12.34, 0, NULL FROM a RETURNING "
      "CG52_IDPROGM, CG52_IDPROGA_CG53) INSERT INTO CGV1_PROGMVAL SELECT CG52_IDPROGA_CG53, "
      "CG52_IDPROGM, 'USD', 10, 0, 0, 12.34, 0, 0 FROM m");
  const std::string twin =
      "(SELECT min(CGV0_IDPROGA_CG53) FROM CGV0_PROGAVAL JOIN CG53_PROGA ON CG53_IDPROGA = "
      "CGV0_IDPROGA_CG53 WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 AND "
      "CG53_CONTO_CG24 <> 'ZZ''9')";
  db.Run(
      "DELETE FROM CGV1_PROGMVAL WHERE CGV1_IDPROGM_CG52 IN (SELECT CG52_IDPROGM FROM "
      "CG52_PROGM WHERE CG52_IDPROGA_CG53 = " +
      twin + "); DELETE FROM CG52_PROGM WHERE CG52_IDPROGA_CG53 = " + twin +
      "; DELETE FROM CG53_PROGA WHERE CG53_IDPROGA = " + twin +
      "; DELETE FROM CGV0_PROGAVAL WHERE CGV0_IDPROGA_CG53 NOT IN (SELECT CG53_IDPROGA FROM "
      "CG53_PROGA)");
  db.Run(
      "UPDATE CGV1_PROGMVAL SET CGV1_IMPORTODARE = CGV1_IMPORTODARE + 1 WHERE CGV1_IDPROGM_CG52 = "
      "(SELECT min(CGV1_IDPROGM_CG52) FROM CGV1_PROGMVAL JOIN CG52_PROGM ON CG52_IDPROGM = "
      "CGV1_IDPROGM_CG52 WHERE CG52_DITTA_CG18 = 1 AND CG52_ANNO_CG53 = 2024 AND "
      "CG52_CONTO_CG24 <> 'ZZ''9')");
}

std::int64_t Count(const ChangeSet& c, const std::string& table, const std::string& kind) {
  for (const TableDiff& d : c.diffs) {
    if (d.table != table) continue;
    return kind == "inserted" ? d.inserted : kind == "deleted" ? d.deleted : d.updated;
  }
  return 0;
}

TEST(ChangeSet, AccountUndoPutsEveryTotalBackByKey) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 41,
                                            .lines = 3000,
                                            .wrong = 6,
                                            .wrong_months = 3,
                                            .shape = gen::LedgerShape::kManyParties});
  MakeWrong(db);
  const OperationInfo& op = *FindOperation(true, "accounts");
  auto conn = db.Connect();
  const std::string before = Totals(db, "accounts"), linked = testing::AccountTotals(*conn);

  const RecordedRebuild done = Rebuild(op, Accounts(db));
  ASSERT_EQ(done.outcome.stato, tsOk) << done.outcome.errore;
  ASSERT_TRUE(done.committed);
  const ChangeSet& c = done.changes;
  EXPECT_EQ(c.operation, "AzzeraAggiornaProgressiviContabili");
  EXPECT_EQ(c.family, "accounts");
  for (const char* t : {"CG53_PROGA", "CGV0_PROGAVAL", "CG52_PROGM", "CGV1_PROGMVAL"}) {
    SCOPED_TRACE(t);
    EXPECT_GT(Count(c, t, "deleted"), 0);
    EXPECT_GT(Count(c, t, "inserted"), 0);
  }
  EXPECT_GT(Count(c, "CGV1_PROGMVAL", "updated"), 0);
  const std::string rebuilt = Totals(db, "accounts");
  ASSERT_NE(rebuilt, before);

  // Through its text, as the history keeps it.
  std::string error;
  const auto read = ChangeSetFromJson(ChangeSetToJson(c), &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(ChangeSetToJson(*read), ChangeSetToJson(c));
  const UndoResult undone = Undo(db, *read);
  ASSERT_EQ(undone.stato, tsOk) << undone.errore;
  EXPECT_EQ(undone.rows, c.Rows());
  EXPECT_EQ(Totals(db, "accounts"), before);
  EXPECT_EQ(testing::AccountTotals(*conn), linked) << "links to the parent rows";
  EXPECT_EQ(
      testing::Righe(*conn,
                     "SELECT count(*) FROM CGV1_PROGMVAL LEFT JOIN CG52_PROGM ON CG52_IDPROGM "
                     "= CGV1_IDPROGM_CG52 WHERE CG52_IDPROGM IS NULL OR CGV1_IDPROGA_CGV0 "
                     "IS DISTINCT FROM CG52_IDPROGA_CG53"),
      "0\n");

  // Undone once, the same change set finds its rows moved: refused, nothing written.
  const UndoResult again = Undo(db, *read);
  EXPECT_EQ(again.stato, tsParametriNonValidi);
  EXPECT_EQ(static_cast<std::int64_t>(again.moved.size()), c.Rows());
  EXPECT_EQ(Totals(db, "accounts"), before);
}

TEST(ChangeSet, UndoRefusesATotalChangedSinceAndWritesNothing) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 43, .lines = 2000, .wrong = 4});
  MakeWrong(db);
  const RecordedRebuild done = Rebuild(*FindOperation(true, "accounts"), Accounts(db));
  ASSERT_TRUE(done.committed) << done.outcome.errore;

  // A later hand on one total the rebuild wrote: the yearly total of the account it deleted is
  // back, and another's closing balance changed.
  db.Run(
      "INSERT INTO CG53_PROGA (CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, "
      "CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_SALDOFIN) SELECT 1, 2024, 1, CG18_GRUPPO_CG10, "
      "'ZZ''9', 1 FROM CG18_DITTE WHERE CG18_DITTA = 1");
  const std::string moved = Totals(db, "accounts");
  const UndoResult undone = Undo(db, done.changes);
  EXPECT_EQ(undone.stato, tsParametriNonValidi);
  ASSERT_EQ(undone.moved.size(), 1u) << undone.errore;
  EXPECT_EQ(undone.moved[0].rfind("CG53_PROGA GRUPPO_CG10=", 0), 0u) << undone.moved[0];
  EXPECT_NE(undone.moved[0].find(" CONTO_CG24=ZZ'9 TIPOCF_CG44=0"), std::string::npos);
  EXPECT_NE(undone.moved[0].find("the row is there again"), std::string::npos) << undone.moved[0];
  EXPECT_EQ(Totals(db, "accounts"), moved);

  // A key written twice: which row to put back cannot be told, so nothing is.
  db.Run("DELETE FROM CG53_PROGA WHERE CG53_CONTO_CG24 = 'ZZ''9'");
  const RowChange* written = nullptr;
  for (const TableDiff& d : done.changes.diffs) {
    for (const RowChange& r : d.changes) {
      if (d.table == "CG52_PROGM" && r.kind != "deleted" && !written) written = &r;
    }
  }
  ASSERT_TRUE(written);
  std::string where = " WHERE CG52_DITTA_CG18 = 1 AND CG52_ANNO_CG53 = 2024";
  for (const auto& [column, value] : written->key) {
    const bool text = value.kind() == db::Variant::Kind::kString;
    where += " AND COALESCE(" + column + (text ? ", '')" : ", 0)") + " = '" +
             db::DoubledQuotes(db::TrimRight(value.ToText())) + "'";
  }
  const std::string columns =
      "CG52_IDPROGA_CG53, CG52_DITTA_CG18, CG52_ANNO_CG53, CG52_PROGESER_CG53, CG52_GRUPPO_CG10, "
      "CG52_CONTO_CG24, CG52_TIPOCF_CG44, CG52_CLIFOR_CG44, CG52_CODICE_CG31, CG52_ANNOSOL, "
      "CG52_MESE, CG52_IMPORTODARE, CG52_IMPORTOAVERE, CG52_FATTURATO";
  db.Run("INSERT INTO CG52_PROGM (" + columns + ") SELECT " + columns + " FROM CG52_PROGM" + where);
  const std::string twice = Totals(db, "accounts");
  const UndoResult refused = Undo(db, done.changes);
  EXPECT_EQ(refused.stato, tsParametriNonValidi);
  ASSERT_FALSE(refused.moved.empty());
  EXPECT_NE(refused.moved[0].find("repeats"), std::string::npos) << refused.moved[0];
  EXPECT_EQ(Totals(db, "accounts"), twice);

  // Another run holding the company: past the lock's timeout the undo and the recorded rebuild
  // end, having written nothing.
  {
    auto holder = db.Connect();
    holder->Lock("veriprog ditta 1", true);
    CLSCG_VERIPROG main;
    FillInput(*main.CPInput(), Accounts(db), true);
    main.SetLimits({.lock_timeout = 0.2});
    const UndoResult waited = UndoChanges(main, done.changes);
    EXPECT_EQ(waited.stato, tsProgramError);
    EXPECT_NE(waited.errore.find("company 1 is locked by another run"), std::string::npos)
        << waited.errore;
    EXPECT_EQ(RebuildRecorded(main, *FindOperation(true, "accounts")).outcome.stato,
              tsProgramError);
    holder->Unlock("veriprog ditta 1", true);
  }
  EXPECT_EQ(Totals(db, "accounts"), twice);

  // A change set of another family's tables, or without its whole rows, is refused outright.
  ChangeSet foreign = done.changes;
  foreign.family = "vat";
  EXPECT_EQ(Undo(db, foreign).stato, tsParametriNonValidi);
  ChangeSet partial = done.changes;
  for (TableDiff& d : partial.diffs) {
    for (RowChange& r : d.changes) {
      if (r.kind == "updated") r.values.pop_back();
    }
  }
  const UndoResult part = Undo(db, partial);
  EXPECT_EQ(part.stato, tsParametriNonValidi);
  EXPECT_NE(part.errore.find("whole row"), std::string::npos) << part.errore;
  EXPECT_EQ(Totals(db, "accounts"), twice);
}

// The turnover rebuild writes into the same account totals: where it changed one the account
// rebuild wrote, that total has moved, and the account rebuild's undo refuses.
TEST(ChangeSet, AnotherFamilysRebuildMovesTheTotalsItRewrote) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 59, .lines = 2000, .wrong = 4});
  const RecordedRebuild accounts = Rebuild(*FindOperation(true, "accounts"), Accounts(db));
  ASSERT_TRUE(accounts.committed) << accounts.outcome.errore;
  const RecordedRebuild turnover = Rebuild(*FindOperation(true, "turnover"), Accounts(db));
  ASSERT_TRUE(turnover.committed) << turnover.outcome.errore;
  std::set<std::string> rewritten;
  for (const TableDiff& d : turnover.changes.diffs) {
    for (const RowChange& r : d.changes)
      rewritten.insert(d.table + " " + KeyShown(r.key));
  }
  std::set<std::string> both;
  for (const TableDiff& d : accounts.changes.diffs) {
    for (const RowChange& r : d.changes) {
      if (rewritten.count(d.table + " " + KeyShown(r.key)))
        both.insert(d.table + " " + KeyShown(r.key));
    }
  }
  ASSERT_FALSE(both.empty());
  const std::string before = Totals(db, "accounts");
  const UndoResult undone = Undo(db, accounts.changes);
  EXPECT_EQ(undone.stato, tsParametriNonValidi);
  std::set<std::string> moved;
  for (const std::string& m : undone.moved)
    moved.insert(m.substr(0, m.find(':')));
  EXPECT_EQ(moved, both);
  EXPECT_EQ(Totals(db, "accounts"), before);
  // Undone in the order they ran, each finds its rows as it left them.
  ASSERT_EQ(Undo(db, turnover.changes).stato, tsOk);
  ASSERT_EQ(Undo(db, accounts.changes).stato, tsOk);
}

TEST(ChangeSet, PlanAppliesOnlyToTheJournalItWasMadeOn) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 47, .lines = 2000, .wrong = 5});
  const OperationInfo& op = *FindOperation(true, "accounts");
  const std::string before = Totals(db, "accounts");
  CLSCG_VERIPROG planner;
  FillInput(*planner.CPInput(), Accounts(db), true);
  const RecordedRebuild planned = PlanRebuild(planner, op);
  ASSERT_EQ(planned.outcome.stato, tsOk) << planned.outcome.errore;
  EXPECT_FALSE(planned.committed);
  EXPECT_EQ(Totals(db, "accounts"), before) << "the plan wrote";
  ASSERT_FALSE(planned.changes.fingerprint.empty());
  // The same journal has the same fingerprint through either backend: a plan made through one
  // applies through the other.
  const DryRunScope scope{1, 2024, 1, 0};
  EXPECT_EQ(JournalFingerprint(*db::Connect(db.libpq_conninfo()), "accounts", scope),
            planned.changes.fingerprint);
  EXPECT_EQ(JournalFingerprint(*db::Connect(db.odbc_conninfo()), "accounts", scope),
            planned.changes.fingerprint);
  std::string error;
  const auto plan = ChangeSetFromJson(ChangeSetToJson(planned.changes), &error);
  ASSERT_TRUE(plan) << error;

  // An altered plan, a plan of another company: refused before anything runs.
  std::string text = ChangeSetToJson(planned.changes);
  text.replace(text.find("\"ditta\": 1"), 10, "\"ditta\": 2");
  EXPECT_FALSE(ChangeSetFromJson(text, &error));
  EXPECT_NE(error.find("altered"), std::string::npos) << error;
  EXPECT_FALSE(ChangeSetFromJson("{\"change_set_version\": 7}", &error));
  EXPECT_EQ(Rebuild(op, Accounts(db, 2), &*plan).outcome.stato, tsParametriNonValidi);

  // One line's amount changed and then put back: refused while it differs.
  const std::string line =
      " WHERE (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_NUMRIGA) = (SELECT CG42_DITTA_CG18, "
      "CG42_NUMREG_CG41, CG42_NUMRIGA FROM CG42_MOVCONT WHERE CG42_DITTA_CG18 = 1 AND "
      "CG42_ANNO_CG19 = 2024 ORDER BY 2, 3 LIMIT 1)";
  db.Run("UPDATE CG42_MOVCONT SET CG42_IMPTOTALE = CG42_IMPTOTALE + 0.01" + line);
  const RecordedRebuild changed = Rebuild(op, Accounts(db), &*plan);
  EXPECT_EQ(changed.outcome.stato, tsOk) << changed.outcome.errore;
  EXPECT_FALSE(changed.committed);
  EXPECT_EQ(changed.refusal, "the journal changed since the plan was made");
  EXPECT_EQ(Totals(db, "accounts"), before);
  db.Run("UPDATE CG42_MOVCONT SET CG42_IMPTOTALE = CG42_IMPTOTALE - 0.01" + line);

  // A stored total the plan does not know of, written since: the rebuild would delete it too.
  db.Run(
      "INSERT INTO CG53_PROGA (CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, "
      "CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_SALDOFIN) SELECT 1, 2024, 1, CG18_GRUPPO_CG10, "
      "'ZZ8', 1 FROM CG18_DITTE WHERE CG18_DITTA = 1");
  const RecordedRebuild more = Rebuild(op, Accounts(db), &*plan);
  EXPECT_FALSE(more.committed);
  EXPECT_EQ(more.refusal.rfind("the rebuild would change 1 row the plan does not list (first: "
                               "CG53_PROGA GRUPPO_CG10=",
                               0),
            0u)
      << more.refusal;
  db.Run("DELETE FROM CG53_PROGA WHERE CG53_CONTO_CG24 = 'ZZ8'");
  EXPECT_EQ(Totals(db, "accounts"), before);

  // As planned: applied, and what a plain rebuild then finds is nothing left to change.
  const RecordedRebuild applied = Rebuild(op, Accounts(db), &*plan);
  ASSERT_EQ(applied.outcome.stato, tsOk) << applied.outcome.errore;
  ASSERT_TRUE(applied.committed) << applied.refusal;
  EXPECT_EQ(applied.changes.Rows(), plan->Rows());
  const std::string after = Totals(db, "accounts");
  const RecordedRebuild plain = Rebuild(op, Accounts(db));
  ASSERT_TRUE(plain.committed) << plain.outcome.errore;
  EXPECT_EQ(plain.changes.Rows(), 0);
  EXPECT_EQ(Totals(db, "accounts"), after);
}

TEST(ChangeSet, VatAndPlafondUndoRoundTrips) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 53, .lines = 3000, .wrong = 6});
  for (const char* family : {"vat", "plafond"}) {
    SCOPED_TRACE(family);
    OperationParameters o;
    o.connection = db.conninfo();
    o.company = "1";
    o.year = "2024";
    const std::string before = Totals(db, family);
    const RecordedRebuild done = Rebuild(*FindOperation(true, family), o);
    ASSERT_TRUE(done.committed) << done.outcome.errore;
    ASSERT_GT(done.changes.Rows(), 0);
    ASSERT_NE(Totals(db, family), before);
    std::string error;
    const auto read = ChangeSetFromJson(ChangeSetToJson(done.changes), &error);
    ASSERT_TRUE(read) << error;
    const UndoResult undone = Undo(db, *read);
    ASSERT_EQ(undone.stato, tsOk) << undone.errore;
    EXPECT_EQ(Totals(db, family), before);
  }
}

}  // namespace
}  // namespace veriprog
