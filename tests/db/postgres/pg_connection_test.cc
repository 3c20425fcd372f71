// The PostgreSQL backend run with the statement shapes the component sends, checked by the rows
// they produce.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <set>

#include "db/odbc/odbc_connection.h"
#include "tests/support/test_database.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::db {
namespace {

using testing::TestDatabase;

// Rows of a query as "a|b|c" lines, Null as "NULL".
std::string Rows(Connection& conn, const std::string& sql) {
  auto result = conn.Query(sql);
  Recordset rs = Recordset::FromResult(std::move(result), nullptr);
  std::string out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < rs.fields().size(); ++f) {
      out += (f ? "|" : "") + (rs.Get(f).is_null() ? std::string("NULL") : rs.Get(f).ToText());
    }
    out += "\n";
  }
  return out;
}

const char* kCR = "\r";

TEST(PgConnection, TempTablesBelongToTheirConnectionAndSurviveBatches) {
  VERIPROG_NEED_DATABASE(db);
  auto a = db.Connect();
  auto b = db.Connect();
  a->Execute(" SELECT  *\r     INTO #CG42MOV FROM (SELECT 1 AS X UNION ALL SELECT 2) AS T");
  EXPECT_EQ(Rows(*a, "SELECT SUM(X) AS S FROM #cg42mov"), "3\n") << "one table whatever the case";
  EXPECT_THROW(b->Execute("SELECT * FROM #CG42MOV"), DbError);

  // A permanent table of the same name is never reached by the temp-table drop.
  db.Run("CREATE TABLE \"#CG42MOV\" (x int); INSERT INTO \"#CG42MOV\" VALUES (7)");
  const std::string drop = std::string("IF OBJECT_ID(N'tempdb..#CG42MOV', N'U') IS NOT NULL") +
                           kCR + "  DROP TABLE #CG42MOV ;" + kCR + kCR +
                           "IF OBJECT_ID(N'tempdb..#SALDIAPE', N'U') IS NOT NULL" + kCR +
                           "  DROP TABLE #SALDIAPE ;" + kCR;
  a->Execute(drop);
  a->Execute(drop);  // a second run finds nothing to drop
  EXPECT_THROW(a->Execute("SELECT * FROM #CG42MOV"), DbError);
  db.Run(
      "DO $$ BEGIN IF (SELECT x FROM public.\"#CG42MOV\") IS DISTINCT FROM 7 THEN "
      "RAISE EXCEPTION 'the permanent table was touched'; END IF; END $$");
}

TEST(PgConnection, TransactionsBehaveAsOnSqlServer) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  db.Run("INSERT INTO CG18_DITTE (CG18_DITTA, CG18_GRUPPO_CG10) VALUES (1, 1)");

  conn->BeginTrans();
  conn->Execute("UPDATE CG18_DITTE SET CG18_RAGSOC = 'prima' WHERE CG18_DITTA = 1");
  EXPECT_THROW(conn->Execute("INSERT INTO CG18_DITTE (CG18_DITTA, CG18_GRUPPO_CG10) VALUES (1, 1)"),
               DbError);  // duplicate key: only this statement is undone
  conn->Execute("SELECT 5 AS N INTO #ANCORA");
  conn->CommitTrans();
  EXPECT_EQ(Rows(*conn, "SELECT CG18_RAGSOC FROM CG18_DITTE"), "prima\n");
  EXPECT_EQ(Rows(*conn, "SELECT N FROM #ANCORA"), "5\n");

  conn->BeginTrans();
  conn->Execute("DELETE FROM CG18_DITTE");
  conn->Execute("SELECT 1 AS N INTO #PERSA");
  conn->RollbackTrans();
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*) AS N FROM CG18_DITTE"), "1\n");
  EXPECT_THROW(conn->Execute("SELECT * FROM #PERSA"), DbError) << "the temp table is undone too";
  EXPECT_FALSE(conn->in_transaction());
  EXPECT_THROW(conn->CommitTrans(), DbError);

  try {
    conn->Execute("SELECT * FROM NON_ESISTE");
    FAIL();
  } catch (const DbError& e) {
    // The server's own text; through ODBC with its SQLSTATE.
    EXPECT_NE(std::string(e.what()).find("relation \"non_esiste\" does not exist"),
              std::string::npos)
        << e.what();
    if (db.odbc()) {
      EXPECT_NE(std::string(e.what()).find("42P01"), std::string::npos) << e.what();
    }
  }
}

// A ledger loaded in bulk has no statistics: each table of a megabyte or more is analysed before
// the first statement that reads it (through a view too), once, and never by waiting on another
// run that holds the analyse lock, in a transaction or not. Small tables are left as they are.
TEST(PgConnection, TablesNeverAnalysedGetStatisticsWithoutWaiting) {
  VERIPROG_NEED_DATABASE(db);
  // Loaded and looked at from outside, as a restore would.
  std::unique_ptr<PGconn, decltype(&PQfinish)> other(PQconnectdb(db.libpq_conninfo().c_str()),
                                                     &PQfinish);
  auto raw = [&](const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(other.get(), sql.c_str()), &PQclear);
    const auto status = PQresultStatus(r.get());
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << sql << ": " << PQerrorMessage(other.get());
    return status == PGRES_TUPLES_OK && PQntuples(r.get()) > 0
               ? std::string(PQgetvalue(r.get(), 0, 0))
               : std::string();
  };
  auto tuples = [&](const std::string& table) {
    return raw("SELECT CAST(reltuples AS integer) FROM pg_class WHERE oid = to_regclass('" + table +
               "')");
  };
  raw("INSERT INTO CG18_DITTE (CG18_DITTA, CG18_RAGSOC, CG18_GRUPPO_CG10) SELECT n, "
      "repeat('x', 40), 1 FROM generate_series(1, 30000) AS n");
  raw("INSERT INTO CG19_ESERCIZI SELECT CG18_DITTA, 2024, 1, '2024-01-01', '2024-12-31' FROM "
      "CG18_DITTE");
  raw("INSERT INTO CG24_TABPDC (CG24_GRUPPO_CG10, CG24_CONTO, CG24_DESCR) SELECT 1, n::text, "
      "repeat('x', 40) FROM generate_series(1, 30000) AS n");
  raw("INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19, "
      "CG41_PROGESER_CG19, CG41_DATAREG) VALUES (1, 'R1', 2024, 1, '2024-01-02')");
  raw("INSERT INTO CG42_MOVCONT (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_NUMRIGA, CG42_ANNO_CG19, "
      "CG42_PROGESER_CG19, CG42_DATAREG, CG42_INDDAAV) SELECT 1, 'R1', n, 2024, 1, '2024-01-02', "
      "1 FROM generate_series(1, 20000) AS n");
  auto a = db.Connect();
  ASSERT_EQ(tuples("cg18_ditte"), "-1") << "loaded, never analysed";
  EXPECT_EQ(Rows(*a, "SELECT COUNT(*) AS N FROM CG18_DITTE"), "30000\n");
  EXPECT_NE(tuples("cg18_ditte"), "-1");
  EXPECT_EQ(Rows(*a, "SELECT COUNT(*) AS N FROM VCG42_MOVCONT"), "20000\n");
  EXPECT_NE(tuples("cg42_movcont"), "-1") << "read through its view";
  EXPECT_EQ(Rows(*a, "SELECT COUNT(*) AS N FROM CG41_PRIMANOTA"), "1\n");
  EXPECT_EQ(tuples("cg41_primanota"), "-1") << "too small to matter";

  // Another run holds the analyse lock to its end: this one goes on without statistics, and
  // without waiting, inside a transaction or alone.
  raw("BEGIN");
  raw("LOCK TABLE CG19_ESERCIZI, CG24_TABPDC IN SHARE UPDATE EXCLUSIVE MODE");
  a->BeginTrans();
  a->Execute(
      "INSERT INTO CG19_ESERCIZI (CG19_DITTA_CG18, CG19_ANNO, CG19_PROGESER, CG19_DATAINIZIO, "
      "CG19_DATAFINE) SELECT CG18_DITTA, 2026, 1, '2026-01-01', '2026-12-31' FROM CG18_DITTE");
  a->CommitTrans();
  EXPECT_EQ(Rows(*a, "SELECT COUNT(*) AS N FROM CG24_TABPDC"), "30000\n");
  EXPECT_EQ(Rows(*a, "SELECT current_setting('lock_timeout') AS T"), "0\n") << "as it was";
  EXPECT_EQ(Rows(*a, "SELECT current_setting('default_statistics_target') AS T"), "100\n");
  raw("ROLLBACK");
  EXPECT_EQ(tuples("cg19_esercizi"), "-1");
  EXPECT_EQ(tuples("cg24_tabpdc"), "-1");
  EXPECT_EQ(Rows(*a, "SELECT COUNT(*) AS N FROM CG19_ESERCIZI"), "60000\n") << "committed";
}

// Inside a transaction a write-back travels in pipelines and counts as one statement: all its
// rows or, on a conflict anywhere, none of them; the transaction goes on either way.
TEST(PgConnection, WriteBackInsideATransactionIsOneStatement) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  conn->BeginTrans();
  Recordset rs;
  rs.Open("SELECT * FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1", conn);
  for (int i = 1; i <= 250; ++i) {  // more than one pipeline
    rs.AddNew();
    rs.Set("CG53_DITTA_CG18", 1);
    rs.Set("CG53_ANNO_CG19", 2024);
    rs.Set("CG53_PROGESER_CG19", 1);
    rs.Set("CG53_GRUPPO_CG10", 1);
    rs.Set("CG53_CONTO_CG24", "C" + std::to_string(i));
  }
  rs.UpdateBatch();
  std::set<std::int64_t> ids;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext())
    ids.insert(rs.Get("CG53_IDPROGA").AsInteger());
  EXPECT_EQ(ids.size(), 250u) << "every identity read back";

  rs.Requery();
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext())
    rs.Set("CG53_SALDOFIN", 2);
  conn->Execute("UPDATE CG53_PROGA SET CG53_SALDOFIN = 5 WHERE CG53_CONTO_CG24 = 'C150'");
  EXPECT_THROW(rs.UpdateBatch(), DbError);
  EXPECT_TRUE(conn->in_transaction());
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*) FROM CG53_PROGA WHERE CG53_SALDOFIN = 2"), "0\n")
      << "none of the rows before or after the conflict";

  // One row alone: its conflict leaves it unwritten and the transaction usable.
  rs.Requery();
  rs.Filter("CG53_CONTO_CG24 = 'C7'");
  rs.Set("CG53_SALDOFIN", 3);
  conn->Execute("UPDATE CG53_PROGA SET CG53_SALDOFIN = 4 WHERE CG53_CONTO_CG24 = 'C7'");
  EXPECT_THROW(rs.UpdateBatch(AffectRecords::kCurrent), DbError);
  EXPECT_TRUE(conn->in_transaction());
  conn->CommitTrans();
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*), SUM(CG53_SALDOFIN) FROM CG53_PROGA"), "250|9\n");
}

TEST(PgConnection, WriteBackRoundTrip) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  Recordset rs;
  rs.Open("SELECT * FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1", conn);
  EXPECT_EQ(rs.RecordCount(), 0);
  rs.AddNew();
  rs.Set("CG53_DITTA_CG18", 1);
  rs.Set("CG53_ANNO_CG19", 2024);
  rs.Set("CG53_PROGESER_CG19", 1);
  rs.Set("CG53_GRUPPO_CG10", 1);
  rs.Set("CG53_CONTO_CG24", "O'B; --");  // quotes and semicolons travel as parameters
  rs.Set("CG53_SALDOFIN", Decimal::Parse("1234.565"));
  rs.Update();
  rs.UpdateBatch(AffectRecords::kCurrent);
  const Variant id = rs.Get("CG53_IDPROGA");
  EXPECT_EQ(id.kind(), Variant::Kind::kInteger) << "identity read back";
  EXPECT_TRUE(rs.Get("CG53_SALDOAPE").is_null());

  rs.Set("CG53_SALDOAPE", Decimal::Parse("0.01"));
  rs.UpdateBatch();
  rs.Requery();
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(rs.Get("CG53_CONTO_CG24"), Variant("O'B; --"));
  EXPECT_EQ(rs.Get("CG53_SALDOFIN").AsDecimal().ToString(), "1234.57");
  EXPECT_EQ(rs.Get("CG53_SALDOAPE").AsDecimal().ToString(), "0.01");
  EXPECT_EQ(rs.Get("CG53_IDPROGA"), id);

  // Someone else changes the row: writing our stale change is a conflict, not a silent success.
  db.Run("UPDATE CG53_PROGA SET CG53_SALDOAPE = 5");
  rs.Set("CG53_SALDOAPE", Decimal::Parse("7"));
  EXPECT_THROW(rs.UpdateBatch(), DbError);
  EXPECT_EQ(Rows(*conn, "SELECT CG53_SALDOAPE FROM CG53_PROGA"), "5\n");

  // Only the rows in view are sent: a changed row hidden by the filter waits.
  db.Run(
      "UPDATE CG53_PROGA SET CG53_SALDOAPE = 0;"
      "INSERT INTO CG53_PROGA (CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, "
      "CG53_GRUPPO_CG10,"
      " CG53_CONTO_CG24, CG53_SALDOAPE) VALUES (1, 2024, 1, 1, 'ALTRO', 0)");
  rs.Requery();
  ASSERT_EQ(rs.RecordCount(), 2);
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext())
    rs.Set("CG53_SALDOAPE", Decimal::Parse("1.11"));
  rs.Filter("CG53_CONTO_CG24 = 'altro'");
  rs.UpdateBatch();
  EXPECT_EQ(Rows(*conn, "SELECT CG53_CONTO_CG24, CG53_SALDOAPE FROM CG53_PROGA ORDER BY 1"),
            "ALTRO|1.11\nO'B; --|0\n");

  // Results of joins or computed columns are readable but not writable.
  Recordset joined;
  joined.Open("SELECT CG53_IDPROGA, 1 + 1 AS DUE FROM CG53_PROGA", conn);
  joined.Set("DUE", 3);
  EXPECT_THROW(joined.UpdateBatch(), DbError);
  joined.Detach();
  EXPECT_EQ(joined.Get("DUE"), Variant(3)) << "detached rows stay usable";
}

TEST(PgConnection, ConnectionFailuresAreClear) {
  EXPECT_THROW(Connect("Driver={SQL Server};Server=x;Database=y"), DbError);
  try {
    Connect("host=127.0.0.1 port=1 connect_timeout=2");
    FAIL();
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot connect"), std::string::npos);
  }
}

TEST(PgConnection, RefusedLoginsAreClear) {
  VERIPROG_NEED_DATABASE(db);
  const char* host = std::getenv("PGHOST");
  const char* port = std::getenv("PGPORT");
  const std::string where = std::string(host != nullptr ? host : "localhost");
  for (const std::string& text :
       {"host=" + where + " port=" + (port != nullptr ? port : "5432") + " user=nessuno",
        "Driver={PostgreSQL Unicode};Server=" + where +
            ";Port=" + (port != nullptr ? port : "5432") + ";Database=postgres;UID=nessuno"}) {
    try {
      Connect(text);
      ADD_FAILURE() << "connected as a user that does not exist: " << text;
    } catch (const DbError& e) {
      EXPECT_NE(std::string(e.what()).find("cannot connect"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("\"nessuno\""), std::string::npos) << e.what();
    }
  }
}

// The tests of the ODBC run really go through the ODBC backend.
TEST(PgConnection, QueryKeepingKeepsTheChosenRowsInOrderAndWritesThemBack) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  conn->Execute(
      "INSERT INTO CG53_PROGA (CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, "
      "CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_IMPORTOIVA) SELECT 1, 2024, 1, 1, 'C' || n, n "
      "FROM generate_series(1, 50) AS n");
  for (const bool transaction : {false, true}) {
    if (transaction) conn->BeginTrans();
    std::size_t seen = 0;
    QueryResult result = conn->QueryKeeping(
        "SELECT * FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1 ORDER BY CG53_IDPROGA",
        [&](const std::vector<FieldDef>& fields, const std::vector<Variant>& values) {
          ++seen;
          EXPECT_EQ(fields.size(), values.size());
          return values[5].ToText() == "C7" || values[5].ToText() == "C42";
        });
    EXPECT_EQ(seen, 50u);
    Recordset rs = Recordset::FromResult(std::move(result), conn);
    ASSERT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(rs.Get("CG53_CONTO_CG24"), Variant("C7"));
    rs.MoveNext();
    EXPECT_EQ(rs.Get("CG53_CONTO_CG24"), Variant("C42"));
    rs.Set("CG53_IMPORTOIVA", Decimal::Parse(transaction ? "4.20" : "4.10"));
    rs.UpdateBatch();

    // A filter that fails ends the reading; the connection goes on with the next statement.
    EXPECT_THROW(
        conn->QueryKeeping("SELECT * FROM CG53_PROGA",
                           [](const std::vector<FieldDef>&, const std::vector<Variant>&) -> bool {
                             throw ValueError("no");
                           }),
        ValueError);
    EXPECT_THROW(conn->QueryKeeping("SELECT * FROM NO_SUCH_TABLE",
                                    [](const std::vector<FieldDef>&, const std::vector<Variant>&) {
                                      return true;
                                    }),
                 DbError);
    EXPECT_EQ(Rows(*conn, "SELECT CG53_IMPORTOIVA FROM CG53_PROGA WHERE CG53_CONTO_CG24 = 'C42'"),
              transaction ? "4.2\n" : "4.1\n");
    if (transaction) conn->CommitTrans();
  }
  EXPECT_EQ(Rows(*conn, "SELECT CG53_IMPORTOIVA FROM CG53_PROGA WHERE CG53_CONTO_CG24 = 'C42'"),
            "4.2\n");
}

TEST(PgConnection, BackendUnderTest) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  EXPECT_EQ(dynamic_cast<odbc::OdbcConnection*>(conn.get()) != nullptr, db.odbc());
}

// Results read in blocks: more rows than one block, its boundaries inside the result, texts
// longer than their buffers, Null in every type, accented letters and the euro sign, decimals of
// 38 digits and microseconds, each checked against the server's own text of the value.
TEST(PgConnection, LargeResultsKeepEveryValue) {
  VERIPROG_NEED_DATABASE(db);
  db.Run(
      "CREATE TABLE T_BLOCCHI (ID integer PRIMARY KEY, IMPORTO numeric(38,10), "
      "DESCR varchar(4000), NOTA text, CODICE char(3), DATA timestamp, FLAG boolean);"
      "INSERT INTO T_BLOCCHI SELECT g,"
      " CASE WHEN g % 7 = 0 THEN NULL ELSE 1234567890123456789012345678.0123456789 - g END,"
      " CASE WHEN g % 7 = 1 THEN NULL"
      "  ELSE 'è€' || repeat('x', CASE WHEN g % 500 = 0 THEN 3000 ELSE g % 40 END) END,"
      " CASE WHEN g % 7 = 2 THEN NULL WHEN g % 1000 = 3 THEN repeat('€', 9000)"
      "  ELSE 'nota ' || g END,"
      " CASE WHEN g % 7 = 3 THEN NULL ELSE 'è' END,"
      " CASE WHEN g % 7 = 4 THEN NULL"
      "  ELSE TIMESTAMP '2024-02-29 23:59:58.123456' + g * INTERVAL '1 day' END,"
      " CASE WHEN g % 7 = 5 THEN NULL ELSE g % 2 = 0 END"
      " FROM generate_series(1, 2600) g;"
      "INSERT INTO T_BLOCCHI (ID) VALUES (2601);"
      "CREATE VIEW V_BLOCCHI AS SELECT *, IMPORTO::text AS IMPORTO_TESTO,"
      " to_char(DATA, 'YYYY-MM-DD HH24:MI:SS.US') AS DATA_TESTO FROM T_BLOCCHI");
  auto conn = db.Connect();
  Recordset rs = Recordset::FromResult(conn->Query("SELECT * FROM V_BLOCCHI ORDER BY ID"), nullptr);
  ASSERT_EQ(rs.RecordCount(), 2601);
  std::string wrong;
  auto expect = [&](int id, const char* field, const std::optional<std::string>& want,
                    const std::optional<std::string>& got) {
    if (want == got || wrong.size() > 2000) return;
    wrong += std::to_string(id) + " " + field + ": " + got.value_or("NULL").substr(0, 40) +
             " instead of " + want.value_or("NULL").substr(0, 40) + "\n";
  };
  auto text = [&](const char* field) -> std::optional<std::string> {
    const Variant& v = rs.Get(field);
    if (v.is_null()) return std::nullopt;
    return v.AsString();
  };
  int id = 0;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    ++id;
    const bool all_null = id == 2601;
    expect(id, "ID", std::to_string(id), rs.Get("ID").ToText());
    const Variant& importo = rs.Get("IMPORTO");
    expect(id, "IMPORTO", text("IMPORTO_TESTO"),
           importo.is_null() ? std::nullopt
                             : std::optional<std::string>(importo.AsDecimal().ToString()));
    std::string descr = "è€" + std::string(id % 500 == 0 ? 3000 : id % 40, 'x');
    expect(id, "DESCR", id % 7 == 1 || all_null ? std::nullopt : std::optional(descr),
           text("DESCR"));
    std::string nota = "nota " + std::to_string(id);
    if (id % 1000 == 3) {
      nota.clear();
      for (int i = 0; i < 9000; ++i)
        nota += "€";
    }
    expect(id, "NOTA", id % 7 == 2 || all_null ? std::nullopt : std::optional(nota), text("NOTA"));
    auto codice = text("CODICE");
    if (codice) codice->erase(codice->find_last_not_of(' ') + 1);
    expect(id, "CODICE", id % 7 == 3 || all_null ? std::nullopt : std::optional<std::string>("è"),
           codice);
    const Variant& data = rs.Get("DATA");
    std::optional<std::string> data_text;
    if (!data.is_null()) {
      const DateTime& t = data.AsDateTime();
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%06d", t.year, t.month,
                    t.day, t.hour, t.minute, t.second, t.microsecond);
      data_text = buffer;
    }
    expect(id, "DATA", text("DATA_TESTO"), data_text);
    const Variant& flag = rs.Get("FLAG");
    expect(
        id, "FLAG",
        id % 7 == 5 || all_null ? std::nullopt
                                : std::optional<std::string>(id % 2 == 0 ? "1" : "0"),
        flag.is_null() ? std::nullopt : std::optional<std::string>(flag.AsBoolean() ? "1" : "0"));
  }
  EXPECT_EQ(wrong, "");
}

// A write-back of more rows than one array of parameters: a key violation in the second array
// takes back the rows of the first too, the transaction goes on, and once the row is put right
// every value arrives as it was set. Then a conflict among the updates does the same.
TEST(PgConnection, WriteBackOfManyRowsIsAllOrNothing) {
  VERIPROG_NEED_DATABASE(db);
  db.Run(
      "CREATE TABLE T_SCRITTURE (ID integer PRIMARY KEY, IMPORTO numeric(18,2), "
      "DESCR varchar(40), DATA timestamp, FLAG boolean);"
      "INSERT INTO T_SCRITTURE (ID, DESCR) VALUES (900, 'c''era già');"
      "CREATE VIEW V_SCRITTURE AS SELECT *,"
      " CASE WHEN FLAG THEN 'si' WHEN NOT FLAG THEN 'no' END AS FLAG_TESTO FROM T_SCRITTURE");
  auto conn = db.Connect();
  conn->BeginTrans();
  Recordset rs;
  rs.Open("SELECT * FROM T_SCRITTURE WHERE ID <> 900", conn);
  for (int i = 1; i <= 1200; ++i) {
    rs.AddNew();
    rs.Set("ID", i);
    rs.Set("IMPORTO",
           i % 5 == 0 ? Variant::Null() : Variant(Decimal::Parse(std::to_string(i) + ".05")));
    rs.Set("DESCR", i % 5 == 1 ? Variant::Null() : Variant("riga è € " + std::to_string(i)));
    rs.Set("DATA",
           i % 5 == 2 ? Variant::Null() : Variant(*DateTime::FromParts(2024, 2, 29, 23, 59, 58)));
    rs.Set("FLAG", i % 5 == 3 ? Variant::Null() : Variant(i % 2 == 0));
  }
  try {
    rs.UpdateBatch();
    FAIL() << "a duplicate key was written";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("t_scritture_pkey"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(conn->in_transaction());
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*) FROM T_SCRITTURE"), "1\n") << "nothing half-written";

  rs.Filter("ID = 900");
  rs.Set("ID", 1201);
  rs.ClearFilter();
  rs.UpdateBatch();
  conn->CommitTrans();
  EXPECT_EQ(
      Rows(*conn, "SELECT COUNT(*), SUM(IMPORTO), COUNT(DESCR), COUNT(DATA) FROM T_SCRITTURE"),
      "1201|576048|961|960\n");
  EXPECT_EQ(
      Rows(*conn,
           "SELECT ID, IMPORTO, DESCR, FLAG_TESTO FROM V_SCRITTURE WHERE ID IN (1, 2, 3, 1201) "
           "ORDER BY ID"),
      "1|1.05|NULL|no\n2|2.05|riga è € 2|si\n3|3.05|riga è € 3|NULL\n1201|NULL|riga è € 900|si\n");

  // Updates: one row changed meanwhile by someone else stops them all.
  conn->BeginTrans();
  rs.Requery();
  ASSERT_EQ(rs.RecordCount(), 1200);
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext())
    rs.Set("IMPORTO", 1);
  db.Run("UPDATE T_SCRITTURE SET IMPORTO = 7 WHERE ID = 700");
  EXPECT_THROW(rs.UpdateBatch(), DbError);
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*) FROM T_SCRITTURE WHERE IMPORTO = 1"), "0\n");
  conn->RollbackTrans();
}

}  // namespace
}  // namespace veriprog::db
