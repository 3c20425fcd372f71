// OdbcConnection: the Connection over ODBC. Its dialect follows the server it reaches:
// - SQL Server gets each T-SQL batch exactly as the component composed it; a failing statement
//   inside a transaction is undone alone by the server itself;
// - PostgreSQL, reached through its ODBC driver, gets the same dialect layer as the libpq backend
//   (translation, client-side control flow, a savepoint per statement inside a transaction).
// Transactions run in manual-commit mode at read committed. Record sets are fully fetched, with
// decimals read as text, never as floating point; write-back binds every value as a parameter.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/bulk_writer.h"
#include "db/odbc/odbc_channel.h"
#include "veriprog/connection.h"

namespace veriprog::db::pg {
class TsqlRunner;
}

namespace veriprog::db::odbc {

enum class Dialect { kSqlServer, kPostgres };

struct RowWrite;  // one row's statement of a write-back

class OdbcConnection final : public Connection {
 public:
  // Over an open channel. Throws DbError when the server is neither SQL Server nor PostgreSQL.
  explicit OdbcConnection(std::unique_ptr<Channel> channel);
  ~OdbcConnection() override;
  // Connects through the driver manager; throws DbError saying what was wrong and what to do.
  static std::shared_ptr<OdbcConnection> Open(std::string_view connection_string,
                                              const ConnectOptions& options = {});

  Dialect dialect() const { return dialect_; }

  std::optional<QueryResult> Execute(std::string_view batch,
                                     std::int64_t* rows_affected = nullptr) override;
  QueryResult Query(std::string_view sql) override;
  // The driver hands the rows over all at once; only the kept ones become record-set rows, and
  // each row's text is let go once seen.
  QueryResult QueryKeeping(std::string_view sql, const RowFilter& keep) override;
  void BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;
  bool in_transaction() const override { return in_transaction_; }
  void WriteBack(RowTable& table, const WriteTarget& target,
                 const std::vector<RowId>& rows) override;
  void Lock(std::string_view resource, bool exclusive) override;
  bool TryLock(std::string_view resource, bool exclusive) override;
  void Unlock(std::string_view resource, bool exclusive) override;

  // Rows into one table by multi-row INSERTs (db/odbc/odbc_bulk_writer.cc); see db/bulk_writer.h.
  std::unique_ptr<BulkWriter> OpenBulkWriter(BulkTable table, BulkMode mode);
  // A statement in the server's own dialect with its parameters, past the dialect layer and its
  // savepoints; every result. Refused once the connection has been interrupted.
  std::vector<Result> RunNative(std::string_view sql, const std::vector<Parameter>& params = {}) {
    return Run(sql, params);
  }
  // The first result of a query in the server's own dialect, fully fetched.
  QueryResult QueryNative(std::string_view sql);
  // The driver and its version, as it names itself.
  std::string client() const { return channel_->driver(); }

 private:
  class Statements;
  // What write-back needs of a table beyond the target: its identity column, if any.
  struct TableInfo {
    std::vector<std::string> key;
    std::string identity;
  };

  // With `keep`, only the rows it accepts (see Connection::QueryKeeping).
  QueryResult ToQueryResult(Result result, std::string_view source,
                            const RowFilter* keep = nullptr);
  std::shared_ptr<const WriteTarget> TargetOf(const Result& result, std::string_view source);
  std::string QuoteName(std::string_view name) const;
  // Every statement goes through here: refused once the connection has been interrupted.
  std::vector<Result> Run(std::string_view sql, const std::vector<Parameter>& params);
  void CancelRunning() noexcept override;
  // Ends the transaction (a commit that fails rolls back) and returns to autocommit either way.
  void End(bool commit);
  // Runs one write of a write-back: under a savepoint on PostgreSQL inside a transaction.
  std::vector<Result> RunWrite(const std::string& sql, const std::vector<Parameter>& params);
  // One PostgreSQL statement between its savepoint and the release, sent as one batch; its own
  // result. A failing statement's savepoint is taken back before its error is thrown.
  std::vector<Result> RunUnderSavepoint(std::string_view sql, const std::vector<Parameter>& params,
                                        std::string_view savepoint);

  // Write-back: each row's statement, and the values each row holds once written.
  using Written = std::vector<std::pair<RowId, std::vector<Variant>>>;
  void WriteRowByRow(const RowTable& table, const WriteTarget& target,
                     const std::vector<RowWrite>& writes, Written& written);
  // Consecutive rows of the same statement in one execution each, with no savepoint of their
  // own: for a write-back that runs as one statement inside a transaction.
  void WriteInArrays(const RowTable& table, const WriteTarget& target,
                     const std::vector<RowWrite>& writes, Written& written);
  // The row as the database holds it after its write, from the row the statement read back;
  // throws DbError when there is none (an update that found the row changed meanwhile).
  static std::vector<Variant> SavedValues(const RowTable& table, const WriteTarget& target,
                                          const RowWrite& w, const Result* read_back);

  std::unique_ptr<Channel> channel_;
  Dialect dialect_ = Dialect::kSqlServer;
  std::unique_ptr<Statements> statements_;  // PostgreSQL only
  std::unique_ptr<pg::TsqlRunner> runner_;  // PostgreSQL only
  bool in_transaction_ = false;
  std::map<std::string, TableInfo> tables_;  // by the table's name in SQL
};

}  // namespace veriprog::db::odbc
