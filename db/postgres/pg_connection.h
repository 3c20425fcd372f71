// PgConnection: the Connection over libpq. T-SQL batches run through the shared T-SQL runner
// (client-side control flow, a savepoint per statement inside a transaction); this class carries
// the statements, turns libpq results into record-set rows and writes changed rows back.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/bulk_writer.h"
#include "db/postgres/tsql_runner.h"
#include "veriprog/connection.h"

// libpq's handles, declared as libpq-fe.h declares them, so that this header needs no libpq.
struct pg_conn;
typedef struct pg_conn PGconn;
struct pg_result;
typedef struct pg_result PGresult;
struct pg_cancel;
typedef struct pg_cancel PGcancel;

namespace veriprog::db::pg {

// The server's own words for a failed result, or the connection's when there is no result.
std::string ServerMessage(const PGresult* result, PGconn* conn);

class PgConnection final : public Connection, private StatementChannel {
 public:
  // Throws DbError with libpq's reason when the connection cannot be made.
  explicit PgConnection(std::string_view conninfo, const ConnectOptions& options = {});
  ~PgConnection() override;

  std::optional<QueryResult> Execute(std::string_view batch,
                                     std::int64_t* rows_affected = nullptr) override;
  QueryResult Query(std::string_view sql) override;
  // The rows arrive one at a time (libpq's single-row mode) and only the kept ones stay.
  QueryResult QueryKeeping(std::string_view sql, const RowFilter& keep) override;
  void BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;
  bool in_transaction() const override { return runner_.in_transaction(); }
  void WriteBack(RowTable& table, const WriteTarget& target,
                 const std::vector<RowId>& rows) override;
  void Lock(std::string_view resource, bool exclusive) override;
  bool TryLock(std::string_view resource, bool exclusive) override;
  void Unlock(std::string_view resource, bool exclusive) override;

  // Rows into one table by COPY (db/postgres/pg_bulk_writer.cc); see db/bulk_writer.h.
  std::unique_ptr<BulkWriter> OpenBulkWriter(BulkTable table, BulkMode mode);
  // A PostgreSQL statement sent as it is, past the dialect layer and its savepoints.
  void RunNative(const std::string& sql) { SendRaw(sql, 0, nullptr); }
  // Many statements in one simple-query message, as psql sends a file.
  void RunScript(const std::string& script);
  QueryResult QueryNative(const std::string& sql) {
    return ToQueryResult(SendRaw(sql, 0, nullptr).get());
  }
  // "libpq" and its version.
  std::string client() const;

  // The PostgreSQL text of a T-SQL batch, control flow shown as comments; nothing runs.
  static std::string Translate(std::string_view batch) { return TsqlRunner::Translate(batch); }

  // What this connection has cost so far, for the benchmarks: round trips to the server and rows
  // it sent back into record sets.
  std::int64_t round_trips() const { return round_trips_; }
  std::int64_t rows_received() const { return rows_received_; }

 private:
  struct ResultDeleter {
    void operator()(PGresult* r) const;
  };
  using Result = std::unique_ptr<PGresult, ResultDeleter>;
  struct ConnDeleter {
    void operator()(PGconn* c) const;
  };
  struct CancelDeleter {
    void operator()(PGcancel* c) const;
  };
  class Outcome;

  // The statement that writes one row back, with its parameters (nullopt for NULL).
  struct RowStatement {
    RowId id;
    const std::string* sql;  // rows that change the same columns share one text
    std::vector<std::optional<std::string>> values;
  };

  std::unique_ptr<StatementOutcome> Send(const std::string& sql) override;
  void CancelRunning() noexcept override;
  // One statement with text parameters (nullptr for NULL), as it is; throws with the server text.
  Result SendRaw(const std::string& sql, int nparams, const char* const* params);
  // The same, sent even after an interruption (releases).
  Result ExecRaw(const std::string& sql, int nparams, const char* const* params);
  // The same as one statement of the runner: under a savepoint while a transaction is open.
  Result SendAtomically(const std::string& sql, int nparams, const char* const* params);
  // One statement of a pipeline: its text and its parameters (nullptr for NULL).
  struct Piped {
    const std::string* sql;
    std::vector<const char*> params;
  };
  // Statements in one pipeline: one round trip, every result read. Throws the first failure
  // once the pipeline is drained.
  std::vector<Result> SendPipeline(const std::vector<Piped>& statements);
  // Statements under the runner's savepoint in as few round trips as the pipeline allows: the
  // savepoint goes with the first, its release with the last; a failure takes it back.
  // With a check, every result passes it before the release, which then goes on its own (with
  // the statement when there is only one: failing its check, it has written nothing), and is
  // let go once checked: none come back. Without one, the results come back in order.
  using ResultCheck = std::function<void(std::size_t index, PGresult* result)>;
  std::vector<Result> SendUnderSavepoint(const std::vector<Piped>& statements,
                                         std::string_view savepoint,
                                         const ResultCheck& check = nullptr);
  std::unique_ptr<StatementOutcome> SendUnderSavepoint(const std::string& sql,
                                                       std::string_view savepoint) override;
  QueryResult SendKeeping(const std::string& sql, const RowFilter& keep) override;
  QueryResult ToQueryResult(PGresult* result);
  // The parts of ToQueryResult: the fields of a result, the values of one of its rows, and the
  // record-set result of rows read from `result` (or from results of the same statement).
  static std::vector<FieldDef> FieldsOf(PGresult* result);
  static std::vector<Variant> ValuesOf(PGresult* result, int row,
                                       const std::vector<FieldDef>& fields);
  QueryResult Assemble(PGresult* result, std::vector<FieldDef> fields,
                       std::vector<std::vector<Variant>> rows);
  std::shared_ptr<const WriteTarget> TargetOf(PGresult* result);
  void Command(const char* sql);

  std::unique_ptr<PGconn, ConnDeleter> conn_;
  std::unique_ptr<PGcancel, CancelDeleter> cancel_;  // for a cancel from another thread
  TsqlRunner runner_{*this};
  std::map<unsigned int, std::shared_ptr<const WriteTarget>> targets_;  // by table OID
  std::int64_t round_trips_ = 0;
  std::int64_t rows_received_ = 0;
};

}  // namespace veriprog::db::pg
