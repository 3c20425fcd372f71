// PgConnection: the Connection over libpq. T-SQL batches are split and translated statement by
// statement; control flow (IF, DECLARE/SET @variables, @@ROWCOUNT) runs here on the client, with
// expressions evaluated by the server. Inside a transaction every statement runs under a
// savepoint, so a failing one is undone alone, as SQL Server does.
#pragma once

#include <libpq-fe.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/postgres/tsql_script.h"

namespace veriprog::db::pg {

class PgConnection final : public Connection {
 public:
  // Throws DbError with libpq's reason when the connection cannot be made.
  explicit PgConnection(std::string_view conninfo);

  std::optional<QueryResult> Execute(std::string_view batch,
                                     std::int64_t* rows_affected = nullptr) override;
  QueryResult Query(std::string_view sql) override;
  void BeginTrans() override;
  void CommitTrans() override;
  void RollbackTrans() override;
  bool in_transaction() const override { return in_transaction_; }
  void WriteBack(RowTable& table, const WriteTarget& target,
                 const std::vector<RowId>& rows) override;

  // The PostgreSQL text of a T-SQL batch, control flow shown as comments; nothing runs.
  static std::string Translate(std::string_view batch);

 private:
  struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
  };
  using Result = std::unique_ptr<PGresult, ResultDeleter>;
  struct ConnDeleter {
    void operator()(PGconn* c) const { PQfinish(c); }
  };
  struct Variable {
    std::string type;                  // PostgreSQL type
    std::optional<std::string> value;  // text form; nullopt is NULL
  };
  struct RunState {
    std::map<std::string, Variable> variables;
    std::int64_t row_count = 0;
    std::optional<QueryResult> first_result;
  };

  // The statement that writes one row back, with its parameters (nullopt for NULL).
  struct RowStatement {
    RowId id;
    std::string sql;
    std::vector<std::optional<std::string>> values;
  };

  void Run(const std::vector<tsql::Node>& nodes, RunState& state);
  void RunNode(const tsql::Node& node, RunState& state);
  // One statement under a savepoint when a transaction is open; throws with the server message.
  Result Send(const std::string& sql, int nparams = 0, const char* const* params = nullptr);
  Result SendRaw(const std::string& sql, int nparams, const char* const* params);
  std::optional<std::string> Scalar(const std::string& sql);
  // Statements [from, to) in one pipeline: one round trip, every result read. Throws the first
  // failure once the pipeline is drained.
  std::vector<Result> SendPipeline(
      const std::vector<RowStatement>& statements, std::size_t from, std::size_t to,
      const std::function<std::vector<const char*>(const RowStatement&)>& params_of);
  // A temporary table just filled: indexed on its order columns when it has them, otherwise
  // analysed, so that the statements after it are planned on its real size.
  void PrepareTempTable(const std::string& temp, const std::vector<std::string>& index_columns);
  // Prepares the filled temporary tables that the statement about to run reads.
  void PrepareTempTablesUsedBy(const std::string& sql);
  QueryResult ToQueryResult(PGresult* result);
  std::shared_ptr<const WriteTarget> TargetOf(PGresult* result);
  void Command(const char* sql);

  std::unique_ptr<PGconn, ConnDeleter> conn_;
  bool in_transaction_ = false;
  bool timing_ = false;  // VERIPROG_SQL_TIMES set: each statement's time on stderr
  std::map<Oid, std::shared_ptr<const WriteTarget>> targets_;  // by table OID
  // Temporary tables filled and not yet indexed or analysed, with their order columns.
  std::map<std::string, std::vector<std::string>> unprepared_;
};

}  // namespace veriprog::db::pg
