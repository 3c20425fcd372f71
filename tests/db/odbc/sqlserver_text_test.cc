// What reaches a SQL Server through the ODBC backend is the T-SQL the operations composed, byte
// for byte: a stand-in server records every text the backend sends, and a recording connection
// above the backend records every text the operations hand it; the two lists must be equal.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which build on its types
#endif
#include <sql.h>

#include <deque>

#include "db/odbc/odbc_connection.h"
#include "tests/support/fakes.h"
#include "tests/support/recording_connection.h"
#include "veriprog/error.h"
#include "veriprog/main_object.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"

namespace veriprog {
namespace {

// Stands for a SQL Server: records texts, parameters and transaction ends; gives the replies it
// was handed in order, then answers the fiscal-year look-up with one row and every other query
// with no rows.
class RecordingServer final : public db::odbc::Channel {
 public:
  std::vector<std::string> texts;
  std::vector<std::string> parameters;  // "a|b|c" per text
  std::vector<std::string> transactions;
  std::deque<std::vector<db::odbc::Result>> replies;
  std::vector<std::string> key = {};

  std::string dbms_name() const override { return "Microsoft SQL Server"; }
  std::vector<db::odbc::Result> Run(std::string_view sql,
                                    const std::vector<db::odbc::Parameter>& params) override {
    texts.emplace_back(sql);
    std::string joined;
    for (const auto& p : params)
      joined += (joined.empty() ? "" : "|") + (p.value.kind() == db::Variant::Kind::kDecimal
                                                   ? p.value.AsDecimal().ToString()
                                                   : p.value.ToText());
    parameters.push_back(joined);
    if (!replies.empty()) {
      auto reply = std::move(replies.front());
      replies.pop_front();
      return reply;
    }
    db::odbc::Result result;
    if (sql.find("FROM CG19_ESERCIZI") != std::string_view::npos) {
      result.has_rows = true;
      for (const char* name : {"CG19_DATAINIZIO", "CG19_DATAFINE"}) {
        db::odbc::Column& c = result.columns.emplace_back();
        c.name = name;
        c.sql_type = SQL_TYPE_TIMESTAMP;
      }
      result.rows = {{"2024-01-01 00:00:00.000000", "2024-12-31 00:00:00.000000"}};
    } else if (sql.find("SELECT") == sql.find_first_not_of(" \r\n")) {
      result.has_rows = true;
    }
    return {result};
  }
  void SetAutoCommit(bool on) override { transactions.push_back(on ? "auto" : "begin"); }
  void EndTransaction(bool commit) override {
    transactions.push_back(commit ? "commit" : "rollback");
  }
  std::vector<std::string> PrimaryKey(const std::string&, const std::string&) override {
    return key;
  }
};

db::odbc::Column Col(const char* name, int sql_type, int size = 0, int digits = 0) {
  db::odbc::Column c;
  c.name = name;
  c.sql_type = sql_type;
  c.size = size;
  c.digits = digits;
  return c;
}

db::odbc::Result Rows(std::vector<std::vector<std::optional<std::string>>> rows) {
  db::odbc::Result r;
  r.has_rows = true;
  r.columns = {Col("CG53_IDPROGA", SQL_INTEGER), Col("CG53_CONTO_CG24", SQL_VARCHAR, 10),
               Col("CG53_SALDOFIN", SQL_DECIMAL, 17, 2)};
  r.columns[0].auto_unique = true;
  r.rows = std::move(rows);
  r.count = static_cast<std::int64_t>(r.rows.size());
  return r;
}

db::odbc::Result Count(std::int64_t n) {
  db::odbc::Result r;
  r.count = n;
  return r;
}

using testing::RecordingConnection;

// A T-SQL construct the dialect layer would have rewritten, for each operation.
const char* Marker(std::string_view operation) {
  if (operation == "ControlloProgressiviContabili") return "#CG42MOV";
  if (operation.find("ProgressiviIVA") != std::string_view::npos) return "#PROGIVA_";
  if (operation.find("Plafond") != std::string_view::npos) return "WITH (NOLOCK)";
  if (operation == "AzzeraAggiornaFatturatoImportoIVA") return "UPDATE ";
  return "ISNULL(";
}

TEST(SqlServerText, EveryOperationSendsTheComposedTextUnchanged) {
  for (const OperationInfo& op : Operations()) {
    SCOPED_TRACE(op.name);
    auto server_owned = std::make_unique<RecordingServer>();
    RecordingServer& server = *server_owned;
    auto backend = std::make_shared<db::odbc::OdbcConnection>(std::move(server_owned));
    ASSERT_EQ(backend->dialect(), db::odbc::Dialect::kSqlServer);
    auto recorder = std::make_shared<RecordingConnection>(backend);

    CLSCG_VERIPROG main(testing::FakeOutside(std::make_shared<testing::FakeCompany>()));
    main.CPInput()->GConnect = recorder;
    main.CPInput()->Ditta = 1;
    main.CPInput()->Esercizio = 2024;
    main.CPInput()->Progressivo = 1;
    main.CPInput()->Anno = 2024;
    main.CPInput()->EseguiTransazione = true;
    op.run(main, true);
    // A server with no rows to give may stop an operation early; what it was sent still counts.

    ASSERT_GT(recorder->batches.size(), 3u);
    // Between taking the company's application lock and releasing it, the composed text alone.
    // The lock is asked for without waiting first: only a company held elsewhere waits.
    ASSERT_EQ(server.texts.size(), recorder->batches.size() + 2);
    const bool rebuild = op.rebuild;
    const char* marker = Marker(op.name);
    EXPECT_EQ(server.texts.front(),
              std::string("DECLARE @esito int; EXEC @esito = sp_getapplock @Resource = ?, "
                          "@LockMode = '") +
                  (rebuild ? "Exclusive" : "Shared") +
                  "', @LockOwner = 'Session', @LockTimeout = 0; SELECT @esito");
    EXPECT_EQ(server.texts.back(), "EXEC sp_releaseapplock @Resource = ?, @LockOwner = 'Session'");
    EXPECT_EQ(std::vector<std::string>(server.texts.begin() + 1, server.texts.end() - 1),
              recorder->batches);
    bool marked = false;
    for (const auto& text : server.texts)
      marked = marked || text.find(marker) != std::string::npos;
    EXPECT_TRUE(marked) << marker << " never reached the server";
    if (rebuild && main.Stato() == tsOk) {
      EXPECT_EQ(server.transactions, (std::vector<std::string>{"begin", "commit", "auto"}));
    }
  }
}

// Write-back on SQL Server: values bound as parameters, a changed row found by its key and its
// values as read, the row read back in the same batch (the identity by SCOPE_IDENTITY()).
TEST(SqlServerText, WriteBackBindsValuesAndReadsTheRowBack) {
  auto server_owned = std::make_unique<RecordingServer>();
  RecordingServer& server = *server_owned;
  server.key = {"CG53_IDPROGA"};
  server.replies.push_back({Rows({{"7", "1001", "10.00"}})});
  auto conn = std::make_shared<db::odbc::OdbcConnection>(std::move(server_owned));
  db::Recordset rs;
  rs.Open("SELECT * FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1", conn);
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(rs.fields()[2].precision, 17);
  EXPECT_EQ(rs.fields()[2].scale, 2);

  server.replies.push_back({Count(1), Rows({{"7", "1001", "12.50"}})});
  rs.Set("CG53_SALDOFIN", db::Decimal::Parse("12.5"));
  rs.UpdateBatch();
  const std::string all = "[CG53_IDPROGA], [CG53_CONTO_CG24], [CG53_SALDOFIN]";
  EXPECT_EQ(server.texts.back(),
            "UPDATE [CG53_PROGA] SET [CG53_SALDOFIN] = ? WHERE [CG53_IDPROGA] = ? AND "
            "[CG53_SALDOFIN] = ?; IF @@ROWCOUNT = 1 SELECT " +
                all + " FROM [CG53_PROGA] WHERE [CG53_IDPROGA] = ?");
  EXPECT_EQ(server.parameters.back(), "12.50|7|10.00|7");

  server.replies.push_back({Count(1), Rows({{"8", "O'B", "0.01"}})});
  rs.AddNew();
  rs.Set("CG53_CONTO_CG24", "O'B");
  rs.Set("CG53_SALDOFIN", db::Decimal::Parse("0.01"));
  rs.Update();
  rs.UpdateBatch(db::AffectRecords::kCurrent);
  EXPECT_EQ(server.texts.back(),
            "INSERT INTO [CG53_PROGA] ([CG53_CONTO_CG24], [CG53_SALDOFIN]) VALUES (?, ?); SELECT " +
                all + " FROM [CG53_PROGA] WHERE [CG53_IDPROGA] = SCOPE_IDENTITY()");
  EXPECT_EQ(server.parameters.back(), "O'B|0.01");
  EXPECT_EQ(rs.Get("CG53_IDPROGA"), db::Variant(8)) << "identity read back";

  // Changed meanwhile by someone else: no row matches, nothing is read back, an error.
  server.replies.push_back({Count(0)});
  rs.Set("CG53_SALDOFIN", db::Decimal::Parse("1"));
  EXPECT_THROW(rs.UpdateBatch(db::AffectRecords::kCurrent), db::DbError);
}

// Only SQL Server and PostgreSQL are spoken: another server is refused when connecting.
TEST(SqlServerText, AnotherServerIsRefused) {
  class OtherServer final : public db::odbc::Channel {
    std::string dbms_name() const override { return "SQLite"; }
    std::vector<db::odbc::Result> Run(std::string_view,
                                      const std::vector<db::odbc::Parameter>&) override {
      return {};
    }
    void SetAutoCommit(bool) override {}
    void EndTransaction(bool) override {}
    std::vector<std::string> PrimaryKey(const std::string&, const std::string&) override {
      return {};
    }
  };
  try {
    db::odbc::OdbcConnection conn(std::make_unique<OtherServer>());
    FAIL();
  } catch (const db::DbError& e) {
    EXPECT_NE(std::string(e.what()).find("'SQLite'"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace veriprog
