// The PostgreSQL backend run with the statement shapes the component sends, checked by the rows
// they produce.
#include <gtest/gtest.h>

#include <cstdlib>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "db/recordset.h"
#include "tests/support/test_database.h"

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

TEST(PgConnection, BlankPaddedCodesAndExactAmounts) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  db.Run(
      "INSERT INTO CG33_TABCAU (CG33_CODICE, CG33_DESCR) VALUES ('150', 'Chiusura'), ('151 ', "
      "'Apertura');"
      "CREATE TABLE T (v numeric(17,2)); INSERT INTO T SELECT 0.10 FROM generate_series(1, 1000)");
  EXPECT_EQ(
      Rows(*conn, "SELECT CG33_DESCR FROM CG33_TABCAU WITH (NOLOCK) WHERE CG33_CODICE = N'150 '"),
      "Chiusura\n");
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*) AS N FROM CG33_TABCAU WHERE CG33_CODICE <> '151'"), "1\n");
  auto result = conn->Query(
      "SELECT SUM(v) AS S, CAST(SUM(v) AS DECIMAL(17,2)) AS C, N'a  ' + 'b' AS K FROM T");
  Recordset rs = Recordset::FromResult(std::move(result), nullptr);
  EXPECT_EQ(rs.Get("S").AsDecimal().ToString(), "100.00");
  EXPECT_EQ(rs.fields()[1].precision, 17);
  EXPECT_EQ(rs.fields()[1].scale, 2);
  EXPECT_EQ(rs.Get("K"), Variant("a  b")) << "N'' literals keep their blanks";
  EXPECT_EQ(
      Rows(*conn, "SELECT ISNULL(NULL, 'x') AS A, RIGHT('00000000' + CAST(42 AS VARCHAR), 8) AS B"),
      "x|00000042\n");
}

TEST(PgConnection, ControlFlowRunsOnTheClient) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  const std::string upsert =
      " UPDATE CG51_PROGPLAFOND SET CG51_PLAFEXPORT = CG51_PLAFEXPORT + 10.50"
      " WHERE CG51_DITTA_CG18 = 1 AND CG51_ANNO = 2024 AND CG51_MESE = 3\r\n"
      " IF @@ROWCOUNT = 0\r\n"
      " INSERT INTO CG51_PROGPLAFOND (CG51_DITTA_CG18, CG51_ANNO, CG51_MESE, CG51_PLAFEXPORT)\r\n"
      " VALUES (1, 2024, 3, 10.50)";
  conn->Execute(upsert);
  conn->Execute(upsert);
  EXPECT_EQ(Rows(*conn, "SELECT CG51_PLAFEXPORT FROM CG51_PROGPLAFOND"), "21\n");

  const std::string batch =
      "\r\n DECLARE @Anno DECIMAL(4,0)\r\n DECLARE @FlagGestSezIVA BIT\r\n"
      " DECLARE @DataAttivazioneSezionali DATETIME\r\n DECLARE @Mese DECIMAL(2,0)\r\n"
      " SET @Anno = 2024\r\n SET @FlagGestSezIVA = 1\r\n"
      " SET @DataAttivazioneSezionali = '20240315'\r\n"
      "-- Determino il mese di attivazione dei sezionali IVA\r\n"
      " IF @FlagGestSezIVA = 1\r\n BEGIN\r\n"
      "   SET @Mese = MONTH(@DataAttivazioneSezionali)\r\n"
      "   IF YEAR(@DataAttivazioneSezionali) < @Anno SET @Mese = 0\r\n"
      "   ELSE IF YEAR(@DataAttivazioneSezionali) > @Anno SET @Mese = 13\r\n"
      " END\r\n ELSE\r\n   SET @Mese = 0\r\n"
      " SELECT @Mese AS MESE, CASE WHEN @Mese = 3 THEN 'marzo' ELSE 'altro' END AS NOME";
  EXPECT_EQ(Rows(*conn, batch), "3|marzo\n");

  // IF ... BEGIN TRUNCATE END ELSE BEGIN CREATE TABLE END, as the VAT check prepares its table.
  const std::string prepare =
      " IF OBJECT_ID('TEMPDB..#PROGIVA_AB12', N'U') IS NOT NULL\r\n BEGIN\r\n"
      "     TRUNCATE TABLE #PROGIVA_AB12\r\n END\r\n ELSE\r\n BEGIN\r\n"
      "     CREATE TABLE #PROGIVA_AB12 (ANNO DECIMAL(4,0) NULL, SEZIONALE NCHAR(2) COLLATE "
      "DATABASE_DEFAULT NULL, TIPORECORD NCHAR(3) COLLATE DATABASE_DEFAULT NULL)\r\n END";
  conn->Execute(prepare);
  conn->Execute("INSERT INTO #PROGIVA_AB12 VALUES (2024, 'A', 'MOV')");
  conn->Execute(prepare);
  EXPECT_EQ(Rows(*conn, "SELECT COUNT(*) AS N FROM #progiva_ab12"), "0\n")
      << "emptied, not recreated";
  EXPECT_THROW(conn->Execute("SET @Nessuna = 1"), DbError);
}

TEST(PgConnection, QueryShapesOfTheChecks) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  db.Run(
      "INSERT INTO CG24_TABPDC VALUES (1, '10', 'Cassa', 0), (1, '20', 'Banca', 0);"
      "INSERT INTO CG16_ANAGGEN VALUES (7, 1, NULL, '2023-12-31', 'Vecchio nome'),"
      "                                (7, 2, '2024-01-01', NULL, 'Nuovo nome');"
      "INSERT INTO CG44_CLIFOR VALUES (1, 1, 5, 7, NULL);"
      "CREATE TABLE K (conto varchar(10), clifor int, v numeric(17,2));"
      "INSERT INTO K VALUES ('10', 0, 1), (NULL, 0, 2), ('20', 0, NULL), ('40', 5, 3)");
  // OUTER APPLY of the description function, registry version valid at a date, NULLs first.
  EXPECT_EQ(
      Rows(*conn,
           " SELECT CONTO, CAST(CASE WHEN CLIFOR = 0 THEN CG24_DESCR ELSE VCG16.CG16_RAGSOANAG END "
           "AS NVARCHAR(40)) AS D\r FROM K\r OUTER APPLY DBO.FNCG_CG24_CONTO(1, CONTO, 1, 'PDC ')\r"
           " LEFT OUTER JOIN VCG16_ANAGRALLADATA AS VCG16 WITH(NOLOCK)\r"
           "   ON VCG16.CG44_DITTA_CG18 = 1 AND VCG16.CG44_TIPOCF = 1 AND VCG16.CG44_CLIFOR = "
           "CLIFOR\r"
           "  AND ISNULL('20241231', dbo.CRV_GETDATE())\r"
           "      BETWEEN ISNULL(VCG16.DATAINIZIOVALIDITA,ISNULL('20241231', dbo.CRV_GETDATE()))\r"
           "          AND ISNULL(VCG16.DATAFINEVALIDITA,ISNULL('20241231', dbo.CRV_GETDATE()))\r"
           " ORDER BY CONTO"),
      "NULL|NULL\n10|Cassa\n20|Banca\n40|Nuovo nome\n");
  // TOP inside EXISTS and as a scalar sub-query.
  EXPECT_EQ(
      Rows(*conn,
           "SELECT CONTO FROM K AS A WHERE EXISTS ( SELECT TOP 1 1\r FROM K AS B\r WHERE "
           "B.CONTO = A.CONTO\r) AND ISNULL((SELECT TOP 1 V FROM K AS C WHERE C.CONTO = A.CONTO "
           "ORDER BY V DESC), 0) > 1 ORDER BY CONTO DESC"),
      "40\n");
  EXPECT_EQ(Rows(*conn, "SELECT TOP 2 CONTO FROM K ORDER BY CONTO"), "NULL\n10\n");
  // Month list with unseparated dates, cross-joined and compared with a date column.
  EXPECT_EQ(
      Rows(*conn,
           "SELECT MESI.MESE FROM K CROSS JOIN ( SELECT 2024 AS ANNO, 1 AS MESE, '20240101' AS "
           "DATAINIZIOMESE, '20240131' AS DATAFINEMESE\r\n UNION\r\n SELECT 2024 AS ANNO, 2 AS "
           "MESE, '20240201' AS DATAINIZIOMESE, '20240229' AS DATAFINEMESE ) MESI WHERE "
           "CAST('2024-02-29' AS DATE) BETWEEN DATAINIZIOMESE AND DATAFINEMESE AND K.CONTO = '10'"),
      "2\n");
  // NEWID gives a 36-character text.
  EXPECT_EQ(Rows(*conn, "SELECT LEN(CAST(NEWID() AS VARCHAR(36))) AS L"), "36\n");
  // A joined DELETE removes only the joined rows, never the whole table.
  db.Run(
      "INSERT INTO CG86_AZIENDECOLL (CG86_IDATTIVITA, CG86_DITTA_CG18, CG86_INDTIPO) VALUES (1, 1, "
      "0), (2, 2, 0);"
      "INSERT INTO CGL4_PROGIVAPLAF (CGL4_IDATTIVITA_CG86, CGL4_ANNO, CGL4_MESE) VALUES (1, 2024, "
      "1), "
      "(1, 2023, 1), (2, 2024, 1)");
  std::int64_t affected = 0;
  conn->Execute(
      " DELETE CGL4_PROGIVAPLAF\r\n FROM CGL4_PROGIVAPLAF\r\n     INNER JOIN CG86_AZIENDECOLL WITH "
      "(NOLOCK)\r\n"
      "         ON CGL4_IDATTIVITA_CG86 = CG86_IDATTIVITA\r\n WHERE CG86_DITTA_CG18 = 1\r\n AND "
      "CGL4_ANNO = 2024\r\n"
      " AND CG86_INDTIPO = 0",
      &affected);
  EXPECT_EQ(affected, 1);
  EXPECT_EQ(
      Rows(*conn, "SELECT CGL4_IDATTIVITA_CG86, CGL4_ANNO FROM CGL4_PROGIVAPLAF ORDER BY 1, 2"),
      "1|2023\n2|2024\n");
  // ;WITH before INSERT, into a temp table.
  conn->Execute("CREATE TABLE #R (N INT)");
  conn->Execute(
      "-- Definizione CTE\r\n ;WITH CTE_A AS (\r\n SELECT 1 AS N UNION ALL SELECT 2\r\n ) -- "
      "CTE_A\r\n"
      " INSERT INTO #R (N) SELECT N FROM CTE_A");
  EXPECT_EQ(Rows(*conn, "SELECT SUM(N) AS S FROM #R"), "3\n");
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
TEST(PgConnection, BackendUnderTest) {
  VERIPROG_NEED_DATABASE(db);
  auto conn = db.Connect();
  EXPECT_EQ(dynamic_cast<odbc::OdbcConnection*>(conn.get()) != nullptr, db.odbc());
}

}  // namespace
}  // namespace veriprog::db
