// What reaches a SQL Server through the ODBC backend is the T-SQL the operations composed, byte
// for byte: a stand-in server records every text the backend sends, and a recording connection
// above the backend records every text the operations hand it; the two lists must be equal.
#include <gtest/gtest.h>
#include <sql.h>

#include "db/error.h"
#include "db/odbc/odbc_connection.h"
#include "frame/main_object.h"
#include "tests/support/fakes.h"

namespace veriprog {
namespace {

// Stands for a SQL Server: records texts and transaction ends, answers the fiscal-year look-up
// with one row and every other query with no rows.
class RecordingServer final : public db::odbc::Channel {
 public:
  std::vector<std::string> texts;
  std::vector<std::string> transactions;

  std::string dbms_name() const override { return "Microsoft SQL Server"; }
  std::vector<db::odbc::Result> Run(std::string_view sql,
                                    const std::vector<db::odbc::Parameter>&) override {
    texts.emplace_back(sql);
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
    return {};
  }
};

// Records what the operations hand to the connection, and passes it on.
class RecordingConnection final : public db::Connection {
 public:
  explicit RecordingConnection(std::shared_ptr<db::Connection> inner) : inner_(std::move(inner)) {}
  std::vector<std::string> texts;

  std::optional<db::QueryResult> Execute(std::string_view batch, std::int64_t* rows) override {
    texts.emplace_back(batch);
    return inner_->Execute(batch, rows);
  }
  db::QueryResult Query(std::string_view sql) override {
    texts.emplace_back(sql);
    return inner_->Query(sql);
  }
  void BeginTrans() override { inner_->BeginTrans(); }
  void CommitTrans() override { inner_->CommitTrans(); }
  void RollbackTrans() override { inner_->RollbackTrans(); }
  bool in_transaction() const override { return inner_->in_transaction(); }
  void WriteBack(db::RowTable& table, const db::WriteTarget& target,
                 const std::vector<db::RowId>& rows) override {
    inner_->WriteBack(table, target, rows);
  }

 private:
  std::shared_ptr<db::Connection> inner_;
};

struct Operation {
  const char* name;
  void (CLSCG_VERIPROG::*run)();
  const char* marker;  // a T-SQL construct the dialect layer would have rewritten
};

TEST(SqlServerText, EveryOperationSendsTheComposedTextUnchanged) {
  const Operation operations[] = {
      {"check", &CLSCG_VERIPROG::ControlloProgressiviContabili, "#CG42MOV"},
      {"rebuild", &CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili, "ISNULL("},
      {"legacy rebuild", &CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld, "ISNULL("},
  };
  for (const auto& op : operations) {
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
    main.CPInput()->EseguiTransazione = true;
    (main.*op.run)();
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();

    ASSERT_GT(recorder->texts.size(), 3u);
    EXPECT_EQ(server.texts, recorder->texts);
    bool marked = false;
    for (const auto& text : server.texts)
      marked = marked || text.find(op.marker) != std::string::npos;
    EXPECT_TRUE(marked) << op.marker << " never reached the server";
    if (main.CPInput()->EseguiTransazione && std::string(op.name) != "check") {
      EXPECT_EQ(server.transactions, (std::vector<std::string>{"begin", "commit", "auto"}));
    }
  }
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
