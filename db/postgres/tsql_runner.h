// TsqlRunner: runs T-SQL batches on a PostgreSQL server, whatever carries the statements there
// (libpq, or an ODBC driver). A batch is split and translated statement by statement; control
// flow (IF, DECLARE/SET @variables, @@ROWCOUNT) runs here on the client, with expressions
// evaluated by the server. While a transaction is open every statement runs under a savepoint,
// so a failing one is undone alone, as SQL Server does. Temporary tables just filled are indexed
// or analysed when a later statement reads them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/postgres/tsql_rewrite.h"
#include "db/postgres/tsql_script.h"
#include "veriprog/connection.h"

namespace veriprog::db::pg {

// What one PostgreSQL statement gave back: rows, or the count of rows it touched.
class StatementOutcome {
 public:
  virtual ~StatementOutcome() = default;
  // True for a statement that returns rows (even none).
  virtual bool has_rows() const = 0;
  // Rows returned, or rows inserted, updated or deleted.
  virtual std::int64_t count() const = 0;
  // The value of the first column of the first row as text; nullopt for NULL or no row.
  virtual std::optional<std::string> FirstValue() const = 0;
  // The rows as a record-set result. Only for has_rows().
  virtual QueryResult ToQueryResult() = 0;
};

// The carrier of plain PostgreSQL statements: one statement in, its outcome out.
class StatementChannel {
 public:
  virtual ~StatementChannel() = default;
  // Sends one statement as it is. Throws DbError with the server's message.
  virtual std::unique_ptr<StatementOutcome> Send(const std::string& sql) = 0;
  // Sends one statement inside a transaction under the savepoint `savepoint` names, released
  // after it; a failing statement takes the savepoint back, releases it and throws its own error.
  // This sends the three one after another; a carrier that can queue statements sends them in
  // one round trip.
  virtual std::unique_ptr<StatementOutcome> SendUnderSavepoint(const std::string& sql,
                                                               std::string_view savepoint);
  // Sends one query as it is and keeps the rows `keep` accepts (see Connection::QueryKeeping).
  // This fetches them all first; a carrier that can hand rows over as they arrive lets the
  // others go at once.
  virtual QueryResult SendKeeping(const std::string& sql, const RowFilter& keep);
};

// Session settings both carriers apply once connected: ISO dates, no JIT for short statements
// planned once, sums of a fiscal year hashed in memory, temporary tables in session memory.
const std::vector<std::string>& SessionSettings();

class TsqlRunner {
 public:
  // The savepoint each statement runs under while a transaction is open.
  static constexpr const char* kSavepointName = "veriprog_statement";

  explicit TsqlRunner(StatementChannel& channel);

  // Runs a T-SQL batch: the first result set it produced, if any; rows_affected gets the count
  // of the last statement. Throws DbError with the server's message or the construct it cannot
  // translate.
  std::optional<QueryResult> Execute(std::string_view batch, std::int64_t* rows_affected);
  // Runs a T-SQL query and keeps the rows `keep` accepts (see Connection::QueryKeeping). A
  // single statement goes through the carrier's SendKeeping; any other batch runs as Execute
  // runs it and is filtered afterwards.
  QueryResult QueryKeeping(std::string_view batch, const RowFilter& keep);

  // While a transaction is open statements run under a savepoint; the backend says when.
  void set_in_transaction(bool open) { in_transaction_ = open; }
  bool in_transaction() const { return in_transaction_; }

  // Looks up, once, the ledger tables (and views over them) that have never been analysed, to
  // analyse each before the first statement that reads it. The carriers call it once connected.
  void WatchUnanalysedTables();

  // Runs work (sends of its own, such as a write-back) as one statement: under a savepoint
  // while a transaction is open, so that its failure undoes it alone.
  void Atomically(const std::function<void()>& work);
  // One plain PostgreSQL statement, under a savepoint while a transaction is open.
  std::unique_ptr<StatementOutcome> Send(const std::string& sql);

  // The PostgreSQL text of a T-SQL batch, control flow shown as comments; nothing runs.
  static std::string Translate(std::string_view batch);

 private:
  struct Variable {
    std::string type;                  // PostgreSQL type
    std::optional<std::string> value;  // text form; nullopt is NULL
  };
  struct RunState {
    std::map<std::string, Variable> variables;
    std::int64_t row_count = 0;
    std::optional<QueryResult> first_result;
  };

  // The values of the batch's variables and @@ROWCOUNT, as the translation reads them.
  static tsql::VariableLookup Lookup(const RunState& state);
  void Run(const std::vector<tsql::Node>& nodes, RunState& state);
  void RunNode(const tsql::Node& node, RunState& state);
  // UPDATE ... then IF @@ROWCOUNT = 0 INSERT ... VALUES (...): both in one statement, the insert
  // made only when the update found no row. False (nothing run) for any other shape.
  bool RunUpdateOrInsert(const tsql::Node& update, const tsql::Node& condition, RunState& state);
  std::optional<std::string> Scalar(const std::string& sql);
  // Prepares the filled tables, temporary or stored, that the statement about to run reads.
  void PrepareTablesUsedBy(const std::string& sql);
  void PrepareTempTablesUsedBy(const std::string& sql);
  void PrepareStoredTablesUsedBy(const std::string& sql);
  // Notes the temporary tables a statement filled, to be prepared when a later one reads them.
  void NoteFilled(const tsql::Translation& translation);
  // A ledger table that has never been analysed (a ledger just loaded in bulk, before
  // autovacuum came by), analysed before the first statement that reads it: without statistics
  // the planner takes the journal for a few rows and joins it row by row. ANALYZE never waits
  // for its lock here: another run that holds it is analysing the same table.
  void PrepareStoredTable(const std::string& table);
  // A temporary table just filled: indexed on its order columns when it has them, otherwise
  // analysed, so that the statements after it are planned on its real size.
  void PrepareTempTable(const std::string& temp, const std::vector<std::string>& index_columns);

  StatementChannel& channel_;
  bool in_transaction_ = false;
  bool timing_ = false;  // VERIPROG_SQL_TIMES set: each statement's time on stderr
  // Temporary tables filled and not yet indexed or analysed, with their order columns.
  std::map<std::string, std::vector<std::string>> unprepared_;
  // Ledger tables never analysed when the session began, not yet prepared: by the name a
  // statement reads (the table's, or a view's over it), in lower case, the table's name.
  std::map<std::string, std::string> unanalysed_;
};

}  // namespace veriprog::db::pg
