#include "db/postgres/pg_connection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>

#include "db/error.h"
#include "db/postgres/pg_value.h"
#include "db/postgres/tsql_rewrite.h"
#include "db/text.h"

namespace veriprog::db::pg {
namespace {

constexpr const char* kSavepoint = "SAVEPOINT veriprog_statement";
constexpr const char* kRelease = "RELEASE SAVEPOINT veriprog_statement";
constexpr const char* kRollbackTo = "ROLLBACK TO SAVEPOINT veriprog_statement";

std::string QuoteLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out + "'";
}

std::string ServerMessage(const PGresult* result, PGconn* conn) {
  if (result != nullptr) {
    if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) return primary;
  }
  return std::string(Trim(PQerrorMessage(conn)));
}

}  // namespace

PgConnection::PgConnection(std::string_view conninfo)
    : conn_(PQconnectdb(std::string(conninfo).c_str())) {
  if (!conn_) throw DbError("cannot connect to PostgreSQL: out of memory");
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    throw DbError("cannot connect to PostgreSQL: " +
                  std::string(Trim(PQerrorMessage(conn_.get()))));
  }
  Command("SET DateStyle = ISO, YMD");
  Command("SET client_encoding = 'UTF8'");
  Command("SET application_name = 'veriprog'");
  // The statements are short and planned once: compiling them costs more than it saves.
  Command("SET jit = off");
  // Sums per account of a whole fiscal year are hashed in memory rather than spilled to disk.
  Command("SET work_mem = '256MB'");
  // Temporary tables of a fiscal year stay in this session's memory (before its first use).
  Command("SET temp_buffers = '512MB'");
  timing_ = std::getenv("VERIPROG_SQL_TIMES") != nullptr;
}

void PgConnection::Command(const char* sql) {
  Result r(PQexec(conn_.get(), sql));
  const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw DbError(ServerMessage(r.get(), conn_.get()));
  }
}

PgConnection::Result PgConnection::SendRaw(const std::string& sql, int nparams,
                                           const char* const* params) {
  Result r(PQexecParams(conn_.get(), sql.c_str(), nparams, nullptr, params, nullptr, nullptr, 0));
  const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw DbError(ServerMessage(r.get(), conn_.get()));
  }
  return r;
}

PgConnection::Result PgConnection::Send(const std::string& sql, int nparams,
                                        const char* const* params) {
  if (!in_transaction_) return SendRaw(sql, nparams, params);
  Command(kSavepoint);
  try {
    Result r = SendRaw(sql, nparams, params);
    Command(kRelease);
    return r;
  } catch (const DbError&) {
    Command(kRollbackTo);
    Command(kRelease);
    throw;
  }
}

std::optional<std::string> PgConnection::Scalar(const std::string& sql) {
  Result r = Send(sql);
  if (PQntuples(r.get()) == 0 || PQgetisnull(r.get(), 0, 0)) return std::nullopt;
  return std::string(PQgetvalue(r.get(), 0, 0));
}

std::optional<QueryResult> PgConnection::Execute(std::string_view batch,
                                                 std::int64_t* rows_affected) {
  const auto nodes = tsql::ParseScript(tsql::Lex(batch));
  RunState state;
  Run(nodes, state);
  if (rows_affected != nullptr) *rows_affected = state.row_count;
  return std::move(state.first_result);
}

QueryResult PgConnection::Query(std::string_view sql) {
  auto result = Execute(sql);
  if (!result) throw DbError("the statement returned no rows to open a record set on");
  return std::move(*result);
}

void PgConnection::Run(const std::vector<tsql::Node>& nodes, RunState& state) {
  for (const auto& node : nodes)
    RunNode(node, state);
}

void PgConnection::RunNode(const tsql::Node& node, RunState& state) {
  const tsql::VariableLookup lookup =
      [&state](const std::string& name) -> std::optional<std::string> {
    if (name == "@@ROWCOUNT") return std::to_string(state.row_count);
    auto it = state.variables.find(name);
    if (it == state.variables.end()) return std::nullopt;
    const Variable& v = it->second;
    return "CAST(" + (v.value ? QuoteLiteral(*v.value) : std::string("NULL")) + " AS " + v.type +
           ")";
  };
  switch (node.kind) {
    case tsql::Node::Kind::kStatement: {
      const auto translation = tsql::TranslateStatement(node.tokens, lookup);
      PrepareTempTablesUsedBy(translation.sql);
      const auto started = std::chrono::steady_clock::now();
      Result r = Send(translation.sql);
      if (timing_) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        std::fprintf(stderr, "[sql %6lld ms] %s\n", static_cast<long long>(ms),
                     translation.sql.c_str());
      }
      if (PQresultStatus(r.get()) == PGRES_TUPLES_OK) {
        state.row_count = PQntuples(r.get());
        if (!state.first_result) state.first_result = ToQueryResult(r.get());
      } else {
        const char* affected = PQcmdTuples(r.get());
        state.row_count = (affected != nullptr && *affected != '\0') ? std::atoll(affected) : 0;
      }
      // Index and statistics wait until a later statement reads the table: a result table
      // that is only fetched needs neither.
      for (const auto& temp : translation.filled_temp_tables) {
        unprepared_[temp] = translation.index_columns;
      }
      break;
    }
    case tsql::Node::Kind::kDeclare:
      for (const auto& [name, type] : node.declarations) {
        state.variables[name] = Variable{tsql::TranslateType(type), std::nullopt};
      }
      break;
    case tsql::Node::Kind::kSet: {
      auto it = state.variables.find(node.variable);
      if (it == state.variables.end()) {
        throw DbError("T-SQL: variable " + node.variable + " is not declared");
      }
      it->second.value = Scalar("SELECT CAST((" + tsql::TranslateExpression(node.tokens, lookup) +
                                ") AS " + it->second.type + ")");
      state.row_count = 1;
      break;
    }
    case tsql::Node::Kind::kIf: {
      const auto holds =
          Scalar("SELECT CASE WHEN (" + tsql::TranslateExpression(node.tokens, lookup) +
                 ") THEN 1 ELSE 0 END");
      if (holds == "1") {
        RunNode(node.children[0], state);
      } else if (node.children.size() > 1) {
        RunNode(node.children[1], state);
      }
      break;
    }
    case tsql::Node::Kind::kBlock:
      Run(node.children, state);
      break;
    case tsql::Node::Kind::kNoOp:
      break;
  }
}

void PgConnection::PrepareTempTablesUsedBy(const std::string& sql) {
  if (unprepared_.empty()) return;
  // Reading a whole table in one pass needs no plan: SELECT * FROM #t [ORDER BY ...].
  static const std::regex kWholeTable(
      R"(^\s*SELECT\s+\*\s+FROM\s+pg_temp\."[^"]+"\s*(ORDER\s+BY\s.*)?$)", std::regex::icase);
  const bool whole_table = std::regex_match(sql, kWholeTable);
  for (auto it = unprepared_.begin(); it != unprepared_.end();) {
    if (sql.find(it->first) == std::string::npos) {
      ++it;
      continue;
    }
    const bool dropping = sql.find("DROP TABLE") != std::string::npos;
    if (!whole_table && !dropping) {
      const auto started = std::chrono::steady_clock::now();
      try {
        PrepareTempTable(it->first, it->second);
      } catch (const DbError&) {
        // Gone with a rolled-back transaction: nothing to prepare.
      }
      if (timing_) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        std::fprintf(stderr, "[sql %6lld ms] (index or statistics of %s)\n",
                     static_cast<long long>(ms), it->first.c_str());
      }
    }
    it = unprepared_.erase(it);
  }
}

void PgConnection::PrepareTempTable(const std::string& temp,
                                    const std::vector<std::string>& index_columns) {
  if (!index_columns.empty()) {
    try {
      // Building the index also counts the rows, which is what the planner needs most.
      Send("CREATE INDEX ON " + temp + " (" + tsql::ColumnList(index_columns) + ")");
      return;
    } catch (const DbError&) {
      // The order was on columns of the source, not of the table: statistics instead.
    }
  }
  Send("ANALYZE " + temp);
}

void PgConnection::BeginTrans() {
  if (in_transaction_) throw DbError("a transaction is already open on this connection");
  Command("BEGIN ISOLATION LEVEL READ COMMITTED");
  in_transaction_ = true;
}

void PgConnection::CommitTrans() {
  if (!in_transaction_) throw DbError("no transaction is open to commit");
  in_transaction_ = false;
  Result r(PQexec(conn_.get(), "COMMIT"));
  if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    throw DbError(ServerMessage(r.get(), conn_.get()));
  // PostgreSQL answers COMMIT of an aborted transaction with ROLLBACK: that is a failure.
  if (std::string_view(PQcmdStatus(r.get())) == "ROLLBACK") {
    throw DbError("the transaction had been aborted by the server and was rolled back");
  }
}

void PgConnection::RollbackTrans() {
  if (!in_transaction_) throw DbError("no transaction is open to roll back");
  in_transaction_ = false;
  Command("ROLLBACK");
}

}  // namespace veriprog::db::pg
