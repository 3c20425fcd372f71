#include "db/odbc/odbc_connection.h"

#include <algorithm>
#include <cmath>

#include "db/odbc/connection_string.h"
#include "db/postgres/tsql_runner.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {

std::vector<Result> Channel::RunArray(std::string_view sql,
                                      const std::vector<std::vector<Parameter>>& sets) {
  std::vector<Result> out;
  out.reserve(sets.size());
  for (const auto& params : sets) {
    auto results = Run(sql, params);
    // A set's result is its row set when it has one, otherwise its count.
    auto rows =
        std::find_if(results.begin(), results.end(), [](const Result& r) { return r.has_rows; });
    if (rows != results.end()) {
      out.push_back(std::move(*rows));
    } else {
      out.push_back(results.empty() ? Result{} : std::move(results.back()));
    }
  }
  return out;
}

// Plain PostgreSQL statements carried over the channel, for the T-SQL runner.
class OdbcConnection::Statements final : public pg::StatementChannel {
 public:
  explicit Statements(OdbcConnection& owner) : owner_(owner) {}

  std::unique_ptr<pg::StatementOutcome> Send(const std::string& sql) override {
    auto results = owner_.Run(sql, {});
    return std::make_unique<Outcome>(owner_, results.empty() ? Result{} : std::move(results[0]),
                                     sql);
  }

  std::unique_ptr<pg::StatementOutcome> SendUnderSavepoint(const std::string& sql,
                                                           std::string_view savepoint) override {
    auto results = owner_.RunUnderSavepoint(sql, {}, savepoint);
    return std::make_unique<Outcome>(owner_, std::move(results.front()), sql);
  }

  QueryResult SendKeeping(const std::string& sql, const RowFilter& keep) override {
    auto results = owner_.Run(sql, {});
    if (results.empty() || !results[0].has_rows)
      throw DbError("the statement returned no rows to open a record set on");
    return owner_.ToQueryResult(std::move(results[0]), sql, &keep);
  }

 private:
  class Outcome final : public pg::StatementOutcome {
   public:
    Outcome(OdbcConnection& owner, Result result, std::string sql)
        : owner_(owner), result_(std::move(result)), sql_(std::move(sql)) {}
    bool has_rows() const override { return result_.has_rows; }
    std::int64_t count() const override { return result_.count; }
    std::optional<std::string> FirstValue() const override {
      if (result_.rows.empty() || result_.rows[0].empty()) return std::nullopt;
      return result_.rows[0][0];
    }
    QueryResult ToQueryResult() override { return owner_.ToQueryResult(std::move(result_), sql_); }

   private:
    OdbcConnection& owner_;
    Result result_;
    std::string sql_;
  };

  OdbcConnection& owner_;
};

OdbcConnection::OdbcConnection(std::unique_ptr<Channel> channel) : channel_(std::move(channel)) {
  const std::string name = channel_->dbms_name();
  if (name == "Microsoft SQL Server") {
    dialect_ = Dialect::kSqlServer;
  } else if (name.rfind("PostgreSQL", 0) == 0) {
    dialect_ = Dialect::kPostgres;
    statements_ = std::make_unique<Statements>(*this);
    runner_ = std::make_unique<pg::TsqlRunner>(*statements_);
    for (const auto& setting : pg::SessionSettings())
      channel_->Run(setting);
    runner_->WatchUnanalysedTables();
  } else {
    throw DbError("the ODBC data source is a '" + name +
                  "' server: the statements are written for Microsoft SQL Server (PostgreSQL "
                  "serves for development)");
  }
}

OdbcConnection::~OdbcConnection() = default;

std::shared_ptr<OdbcConnection> OdbcConnection::Open(std::string_view connection_string,
                                                     const ConnectOptions& options) {
  auto channel = OpenDriverChannel(connection_string);
  // PostgreSQL's driver would put a savepoint of its own around every statement, two more round
  // trips each, where the T-SQL runner already keeps its own: unless told otherwise, it is asked
  // to leave failed statements to the runner ("Protocol=7.4-0").
  if (channel->dbms_name().rfind("PostgreSQL", 0) == 0 &&
      !Find(ParseConnectionString(connection_string), "Protocol")) {
    std::string own(Trim(connection_string));
    if (!own.empty() && own.back() != ';') own += ';';
    channel.reset();
    channel = OpenDriverChannel(own + "Protocol=7.4-0");
  }
  // ODBC counts the query timeout in whole seconds: a part of one is one more.
  if (options.statement_timeout) {
    channel->SetQueryTimeout(
        static_cast<int>(std::ceil(std::clamp(*options.statement_timeout, 1.0, kMaxWaitSeconds))));
  }
  return std::make_shared<OdbcConnection>(std::move(channel));
}

std::optional<QueryResult> OdbcConnection::Execute(std::string_view batch,
                                                   std::int64_t* rows_affected) {
  if (runner_) return runner_->Execute(batch, rows_affected);
  // SQL Server: the batch goes as it is; its first row set is the result.
  auto results = Run(batch, {});
  if (rows_affected != nullptr) *rows_affected = results.empty() ? 0 : results.back().count;
  for (auto& result : results) {
    if (result.has_rows) return ToQueryResult(std::move(result), batch);
  }
  return std::nullopt;
}

QueryResult OdbcConnection::QueryNative(std::string_view sql) {
  for (auto& result : Run(sql, {})) {
    if (result.has_rows) return ToQueryResult(std::move(result), sql);
  }
  throw DbError("the statement returned no rows to open a record set on");
}

QueryResult OdbcConnection::QueryKeeping(std::string_view sql, const RowFilter& keep) {
  if (runner_) return runner_->QueryKeeping(sql, keep);
  for (auto& result : Run(sql, {})) {
    if (result.has_rows) return ToQueryResult(std::move(result), sql, &keep);
  }
  throw DbError("the statement returned no rows to open a record set on");
}

QueryResult OdbcConnection::Query(std::string_view sql) {
  auto result = Execute(sql);
  if (!result) throw DbError("the statement returned no rows to open a record set on");
  return std::move(*result);
}

void OdbcConnection::BeginTrans() {
  if (in_transaction_) throw DbError("a transaction is already open on this connection");
  channel_->SetAutoCommit(false);
  in_transaction_ = true;
  if (runner_) runner_->set_in_transaction(true);
}

void OdbcConnection::CommitTrans() {
  if (!in_transaction_) throw DbError("no transaction is open to commit");
  ThrowIfInterrupted();  // an interrupted operation is rolled back, never committed
  in_transaction_ = false;
  if (runner_) runner_->set_in_transaction(false);
  // PostgreSQL would answer the commit of an aborted transaction with a silent rollback.
  if (runner_) {
    try {
      channel_->Run("SELECT 1");
    } catch (const DbError& e) {
      const DbError aborted(
          std::string("the transaction had been aborted by the server and was rolled back: ") +
          e.what());
      try {
        End(false);
      } catch (const DbError&) {
        // The abort is the failure to report.
      }
      throw aborted;
    }
  }
  End(true);
}

void OdbcConnection::RollbackTrans() {
  if (!in_transaction_) throw DbError("no transaction is open to roll back");
  in_transaction_ = false;
  if (runner_) runner_->set_in_transaction(false);
  End(false);
}

void OdbcConnection::End(bool commit) {
  try {
    channel_->EndTransaction(commit);
  } catch (const DbError&) {
    if (commit) {
      try {
        channel_->EndTransaction(false);
      } catch (const DbError&) {
        // The commit's own failure is the one to report.
      }
    }
    channel_->SetAutoCommit(true);
    throw;
  }
  channel_->SetAutoCommit(true);
}

std::vector<Result> OdbcConnection::RunWrite(const std::string& sql,
                                             const std::vector<Parameter>& params) {
  if (!runner_ || !runner_->in_transaction()) return Run(sql, params);
  return RunUnderSavepoint(sql, params, pg::TsqlRunner::kSavepointName);
}

// The savepoint, the statement and the release as one batch: one round trip, as over libpq. A
// failing statement aborts the rest; its savepoint is taken back in a second batch.
std::vector<Result> OdbcConnection::RunUnderSavepoint(std::string_view sql,
                                                      const std::vector<Parameter>& params,
                                                      std::string_view savepoint) {
  const std::string name(savepoint);
  std::string_view statement = Trim(sql);
  while (!statement.empty() && statement.back() == ';')
    statement = Trim(statement.substr(0, statement.size() - 1));
  std::vector<Result> results;
  try {
    results =
        Run("SAVEPOINT " + name + "; " + std::string(statement) + "; RELEASE SAVEPOINT " + name,
            params);
  } catch (const DbError&) {
    try {
      Run("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name, {});
    } catch (const DbError&) {
      // The connection is gone or interrupted: the statement's own error says why, and the
      // transaction is undone as a whole.
    }
    throw;
  }
  if (results.size() != 3) {
    throw DbError("a statement under its savepoint gave " + std::to_string(results.size()) +
                  " results instead of three");
  }
  // Moved, not listed: a braced list would copy every row of the statement's result.
  std::vector<Result> statement_result;
  statement_result.push_back(std::move(results[1]));
  return statement_result;
}

// SQL Server's application locks, or PostgreSQL's advisory locks, owned by the session.
void OdbcConnection::Lock(std::string_view resource, bool exclusive) {
  const std::vector<Parameter> name = {
      Parameter{Variant(std::string(resource)), FieldDef::VarChar("RESOURCE", 255)}};
  if (dialect_ == Dialect::kSqlServer) {
    const auto results =
        Run(std::string(
                "DECLARE @esito int; EXEC @esito = sp_getapplock @Resource = ?, @LockMode = '") +
                (exclusive ? "Exclusive" : "Shared") +
                "', @LockOwner = 'Session', @LockTimeout = -1; SELECT @esito",
            name);
    for (const auto& r : results) {
      if (!r.has_rows || r.rows.empty() || !r.rows[0][0]) continue;
      if (std::stoi(*r.rows[0][0]) < 0) {
        throw DbError("the server refused the application lock " + std::string(resource) +
                      " (sp_getapplock " + *r.rows[0][0] + ")");
      }
    }
    return;
  }
  RunWrite(exclusive ? "SELECT pg_advisory_lock(hashtextextended(?, 0))"
                     : "SELECT pg_advisory_lock_shared(hashtextextended(?, 0))",
           name);
}

bool OdbcConnection::TryLock(std::string_view resource, bool exclusive) {
  const std::vector<Parameter> name = {
      Parameter{Variant(std::string(resource)), FieldDef::VarChar("RESOURCE", 255)}};
  std::string sql;
  if (dialect_ == Dialect::kSqlServer) {
    // 0 granted, 1 granted after a wait, -1 not granted at once; below that, a refusal.
    sql = std::string(
              "DECLARE @esito int; EXEC @esito = sp_getapplock @Resource = ?, @LockMode = '") +
          (exclusive ? "Exclusive" : "Shared") +
          "', @LockOwner = 'Session', @LockTimeout = 0; SELECT @esito";
  } else {
    sql = exclusive
              ? "SELECT CASE WHEN pg_try_advisory_lock(hashtextextended(?, 0)) THEN 0 ELSE -1 END"
              : "SELECT CASE WHEN pg_try_advisory_lock_shared(hashtextextended(?, 0)) THEN 0 "
                "ELSE -1 END";
  }
  const auto results = dialect_ == Dialect::kSqlServer ? Run(sql, name) : RunWrite(sql, name);
  for (const auto& r : results) {
    if (!r.has_rows || r.rows.empty() || !r.rows[0][0]) continue;
    const int esito = std::stoi(*r.rows[0][0]);
    if (esito < -1) {
      throw DbError("the server refused the application lock " + std::string(resource) +
                    " (sp_getapplock " + *r.rows[0][0] + ")");
    }
    return esito >= 0;
  }
  return true;  // no answer to read, as Lock takes it: granted
}

void OdbcConnection::Unlock(std::string_view resource, bool exclusive) {
  const std::vector<Parameter> name = {
      Parameter{Variant(std::string(resource)), FieldDef::VarChar("RESOURCE", 255)}};
  // Also after an interruption: a lock left held would keep other sessions waiting.
  if (dialect_ == Dialect::kSqlServer) {
    channel_->Run("EXEC sp_releaseapplock @Resource = ?, @LockOwner = 'Session'", name);
  } else {
    channel_->Run(exclusive ? "SELECT pg_advisory_unlock(hashtextextended(?, 0))"
                            : "SELECT pg_advisory_unlock_shared(hashtextextended(?, 0))",
                  name);
  }
}

std::vector<Result> OdbcConnection::Run(std::string_view sql,
                                        const std::vector<Parameter>& params) {
  ThrowIfInterrupted();
  return channel_->Run(sql, params);
}

void OdbcConnection::CancelRunning() noexcept {
  channel_->Cancel();
}

std::string OdbcConnection::QuoteName(std::string_view name) const {
  const char open = dialect_ == Dialect::kSqlServer ? '[' : '"';
  const char close = dialect_ == Dialect::kSqlServer ? ']' : '"';
  return open + DoubledQuotes(name, close) + close;
}

}  // namespace veriprog::db::odbc
