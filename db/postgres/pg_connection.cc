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

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

std::string ServerMessage(const PGresult* result, PGconn* conn) {
  if (result != nullptr) {
    if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) return primary;
  }
  return std::string(Trim(PQerrorMessage(conn)));
}

void Indent(std::string& out, int depth) {
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

void Describe(const std::vector<tsql::Node>& nodes, int depth, std::string& out) {
  const tsql::VariableLookup keep = [](const std::string& name) { return name; };
  for (const auto& node : nodes) {
    Indent(out, depth);
    switch (node.kind) {
      case tsql::Node::Kind::kStatement: {
        auto t = tsql::TranslateStatement(node.tokens, keep);
        out += std::string(Trim(t.sql)) + ";\n";
        for (const auto& temp : t.filled_temp_tables) {
          // Done before the first later statement that reads the table.
          Indent(out, depth);
          if (t.index_columns.empty()) {
            out += "-- then: ANALYZE " + temp + ";\n";
          } else {
            std::string columns;
            for (const auto& c : t.index_columns)
              columns += (columns.empty() ? "" : ", ") + c;
            out += "-- then: CREATE INDEX ON " + temp + " (" + columns + ");\n";
          }
        }
        break;
      }
      case tsql::Node::Kind::kDeclare:
        for (const auto& [name, type] : node.declarations) {
          out += "-- DECLARE " + name + " " + tsql::TranslateType(type) + "\n";
        }
        break;
      case tsql::Node::Kind::kSet:
        out += "-- SET " + node.variable + " = " +
               std::string(Trim(tsql::TranslateExpression(node.tokens, keep))) + "\n";
        break;
      case tsql::Node::Kind::kIf:
        out += "-- IF " + std::string(Trim(tsql::TranslateExpression(node.tokens, keep))) + "\n";
        Describe({node.children[0]}, depth + 1, out);
        if (node.children.size() > 1) {
          Indent(out, depth);
          out += "-- ELSE\n";
          Describe({node.children[1]}, depth + 1, out);
        }
        break;
      case tsql::Node::Kind::kBlock:
        out += "-- BEGIN\n";
        Describe(node.children, depth + 1, out);
        Indent(out, depth);
        out += "-- END\n";
        break;
      case tsql::Node::Kind::kNoOp:
        out += "-- (session option, no effect)\n";
        break;
    }
  }
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
    std::string columns;
    for (const auto& c : index_columns)
      columns += (columns.empty() ? "" : ", ") + c;
    try {
      // Building the index also counts the rows, which is what the planner needs most.
      Send("CREATE INDEX ON " + temp + " (" + columns + ")");
      return;
    } catch (const DbError&) {
      // The order was on columns of the source, not of the table: statistics instead.
    }
  }
  Send("ANALYZE " + temp);
}

QueryResult PgConnection::ToQueryResult(PGresult* result) {
  const int nfields = PQnfields(result);
  const int nrows = PQntuples(result);
  std::vector<FieldDef> fields;
  std::set<std::string> names;
  for (int f = 0; f < nfields; ++f) {
    std::string name = ToUpperAscii(PQfname(result, f));
    for (int n = 2; names.contains(name); ++n)
      name = ToUpperAscii(PQfname(result, f)) + "_" + std::to_string(n);
    names.insert(name);
    fields.push_back(FieldFromType(name, PQftype(result, f), PQfmod(result, f)));
  }
  std::vector<std::vector<Variant>> rows(static_cast<std::size_t>(nrows));
  for (int r = 0; r < nrows; ++r) {
    auto& values = rows[static_cast<std::size_t>(r)];
    values.reserve(static_cast<std::size_t>(nfields));
    for (int f = 0; f < nfields; ++f) {
      if (PQgetisnull(result, r, f)) {
        values.push_back(Variant::Null());
        continue;
      }
      values.push_back(
          ValueFromText(fields[static_cast<std::size_t>(f)], PQftype(result, f),
                        std::string_view(PQgetvalue(result, r, f),
                                         static_cast<std::size_t>(PQgetlength(result, r, f)))));
    }
  }
  // Unconstrained numeric columns (sums, literals) take the largest scale their values have, so
  // that a later assignment to them keeps every cent.
  for (int f = 0; f < nfields; ++f) {
    FieldDef& field = fields[static_cast<std::size_t>(f)];
    if (field.type != FieldType::kDecimal || PQfmod(result, f) >= 4) continue;
    for (const auto& values : rows) {
      const Variant& v = values[static_cast<std::size_t>(f)];
      if (v.kind() == Variant::Kind::kDecimal)
        field.scale = std::max(field.scale, v.AsDecimal().scale());
    }
  }
  auto table = std::make_shared<RowTable>();
  for (auto& field : fields)
    table->AppendField(std::move(field));
  for (auto& values : rows)
    table->AppendLoadedRow(std::move(values));
  return QueryResult{std::move(table), TargetOf(result)};
}

std::shared_ptr<const WriteTarget> PgConnection::TargetOf(PGresult* result) {
  const int nfields = PQnfields(result);
  if (nfields == 0) return nullptr;
  const Oid table = PQftable(result, 0);
  if (table == InvalidOid) return nullptr;
  for (int f = 1; f < nfields; ++f) {
    if (PQftable(result, f) != table) return nullptr;
  }
  std::shared_ptr<const WriteTarget> base;
  if (auto it = targets_.find(table); it != targets_.end()) {
    base = it->second;
  } else {
    const std::string oid = std::to_string(table);
    const char* params[] = {oid.c_str()};
    Result name = Send(
        "SELECT quote_ident(n.nspname) || '.' || quote_ident(c.relname) FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = $1::oid",
        1, params);
    if (PQntuples(name.get()) != 1) return nullptr;
    Result cols = Send(
        "SELECT a.attnum, a.attname, EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = "
        "a.attrelid "
        "AND i.indisprimary AND a.attnum = ANY(i.indkey)) FROM pg_attribute a "
        "WHERE a.attrelid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
        1, params);
    // A table-wide description, indexed by column number; narrowed to the fields below.
    auto all = std::make_shared<WriteTarget>();
    all->table = PQgetvalue(name.get(), 0, 0);
    for (int r = 0; r < PQntuples(cols.get()); ++r) {
      const auto attnum = static_cast<std::size_t>(std::atoi(PQgetvalue(cols.get(), r, 0)));
      if (all->columns.size() < attnum + 1) all->columns.resize(attnum + 1);
      all->columns[attnum] = PQgetvalue(cols.get(), r, 1);
      if (PQgetvalue(cols.get(), r, 2)[0] == 't') all->key_fields.push_back(attnum);
    }
    targets_[table] = all;
    base = all;
  }
  if (base->key_fields.empty()) return nullptr;
  auto target = std::make_shared<WriteTarget>();
  target->table = base->table;
  for (int f = 0; f < nfields; ++f) {
    const auto attnum = static_cast<std::size_t>(PQftablecol(result, f));
    target->columns.push_back(attnum < base->columns.size() ? base->columns[attnum] : "");
    if (std::find(base->key_fields.begin(), base->key_fields.end(), attnum) !=
        base->key_fields.end()) {
      target->key_fields.push_back(static_cast<std::size_t>(f));
    }
  }
  if (target->key_fields.size() != base->key_fields.size()) return nullptr;  // key not selected
  return target;
}

void PgConnection::WriteBack(RowTable& table, const WriteTarget& target,
                             const std::vector<RowId>& rows) {
  const auto& fields = table.fields();
  std::string returning;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (target.columns[f].empty()) continue;
    returning += (returning.empty() ? " RETURNING " : ", ") + QuoteName(target.columns[f]);
  }
  for (RowId id : rows) {
    const Row& row = table.row(id);
    std::vector<std::optional<std::string>> values;
    std::string sql;
    auto param = [&](const Variant& v) {
      values.push_back(ParameterText(v));
      return "$" + std::to_string(values.size());
    };
    if (row.status == RowStatus::kNew) {
      std::string columns, placeholders;
      for (std::size_t f = 0; f < fields.size(); ++f) {
        if (target.columns[f].empty() || row.values[f].is_empty()) continue;  // defaults apply
        columns += (columns.empty() ? "" : ", ") + QuoteName(target.columns[f]);
        placeholders += (placeholders.empty() ? "" : ", ") + param(row.values[f]);
      }
      sql = "INSERT INTO " + target.table +
            (columns.empty() ? " DEFAULT VALUES"
                             : " (" + columns + ") VALUES (" + placeholders + ")");
    } else if (row.status == RowStatus::kModified) {
      std::string sets, where;
      for (std::size_t f = 0; f < fields.size(); ++f) {
        const Variant& now = row.values[f];
        const Variant& was = row.original[f];
        if (target.columns[f].empty() || (now == was && now.kind() == was.kind())) continue;
        sets += (sets.empty() ? "" : ", ") + QuoteName(target.columns[f]) + " = " + param(now);
        // Unchanged since it was read: the row still holds what this client saw.
        where += " AND " + (was.has_value() ? QuoteName(target.columns[f]) + " = " + param(was)
                                            : QuoteName(target.columns[f]) + " IS NULL");
      }
      if (sets.empty()) {
        table.MarkSaved(id, row.values);
        continue;
      }
      std::string key;
      for (std::size_t f : target.key_fields) {
        key += (key.empty() ? "" : " AND ") + QuoteName(target.columns[f]) + " = " +
               param(row.original[f]);
      }
      sql = "UPDATE " + target.table + " SET " + sets + " WHERE " + key + where;
    } else {
      continue;
    }
    std::vector<const char*> params;
    for (const auto& v : values)
      params.push_back(v ? v->c_str() : nullptr);
    Result r = Send(sql + returning, static_cast<int>(params.size()), params.data());
    if (PQntuples(r.get()) != 1) {
      throw DbError("the row to update in " + target.table +
                    " was changed or deleted by someone else since it was read");
    }
    std::vector<Variant> saved = row.values;
    int column = 0;
    for (std::size_t f = 0; f < fields.size(); ++f) {
      if (target.columns[f].empty()) continue;
      saved[f] =
          PQgetisnull(r.get(), 0, column)
              ? Variant::Null()
              : ValueFromText(fields[f], PQftype(r.get(), column), PQgetvalue(r.get(), 0, column));
      ++column;
    }
    table.MarkSaved(id, std::move(saved));
  }
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

std::string PgConnection::Translate(std::string_view batch) {
  std::string out;
  Describe(tsql::ParseScript(tsql::Lex(batch)), 0, out);
  return out;
}

}  // namespace veriprog::db::pg
