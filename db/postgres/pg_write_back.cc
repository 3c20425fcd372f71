#include <libpq-fe.h>

#include <algorithm>
#include <unordered_set>

#include "db/postgres/pg_connection.h"
#include "db/postgres/pg_value.h"
#include "db/text.h"
#include "veriprog/error.h"

// Added and changed rows of a record set sent back to their table.
namespace veriprog::db::pg {
namespace {

std::string QuoteName(std::string_view name) {
  return Quoted(name, '"');
}

}  // namespace

// One statement per row. Outside a transaction each goes on its own and the first failure stops
// the rest, the rows before it staying written. Inside one the rows travel as one statement: the
// savepoint and the rows in pipelines of a hundred (one round trip each instead of three per
// row), then its release; the first failure takes the savepoint back, so that a failing
// write-back is undone as a whole and the transaction goes on.
void PgConnection::WriteBack(RowTable& table, const WriteTarget& target,
                             const std::vector<RowId>& rows) {
  const auto& fields = table.fields();
  std::string returning;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (target.columns[f].empty()) continue;
    returning += (returning.empty() ? " RETURNING " : ", ") + QuoteName(target.columns[f]);
  }
  std::vector<RowStatement> statements;
  // Each text once: the rows of a write-back mostly change the same columns.
  std::unordered_set<std::string> texts;
  for (RowId id : rows) {
    const Row& row = table.row(id);
    RowStatement st{id, nullptr, {}};
    std::string sql;
    auto param = [&](const Variant& v) {
      st.values.push_back(ParameterText(v));
      return "$" + std::to_string(st.values.size());
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
    sql += returning;
    st.sql = &*texts.insert(std::move(sql)).first;
    statements.push_back(std::move(st));
  }

  // The values the database holds now (identity keys, defaults), as the row's new state.
  auto saved = [&](const RowStatement& st, PGresult* r) {
    if (PQntuples(r) != 1) {
      throw DbError("the row to update in " + target.table +
                    " was changed or deleted by someone else since it was read");
    }
    std::vector<Variant> values = table.row(st.id).values;
    int column = 0;
    for (std::size_t f = 0; f < fields.size(); ++f) {
      if (target.columns[f].empty()) continue;
      values[f] = PQgetisnull(r, 0, column)
                      ? Variant::Null()
                      : ValueFromText(fields[f], PQftype(r, column), PQgetvalue(r, 0, column));
      ++column;
    }
    return values;
  };
  if (!in_transaction()) {
    for (const RowStatement& st : statements) {
      std::vector<const char*> params;
      for (const auto& v : st.values)
        params.push_back(v ? v->c_str() : nullptr);
      Result r = SendRaw(*st.sql, static_cast<int>(params.size()), params.data());
      table.MarkSaved(st.id, saved(st, r.get()));
    }
    return;
  }
  std::vector<Piped> piped;
  piped.reserve(statements.size());
  for (const RowStatement& st : statements) {
    Piped p{st.sql, {}};
    for (const auto& v : st.values)
      p.params.push_back(v ? v->c_str() : nullptr);
    piped.push_back(std::move(p));
  }
  // Each row's answer is read before the savepoint is released: a row someone else changed
  // takes the whole write-back back.
  std::vector<std::vector<Variant>> values;
  values.reserve(statements.size());
  SendUnderSavepoint(piped, TsqlRunner::kSavepointName, [&](std::size_t i, PGresult* r) {
    values.push_back(saved(statements[i], r));
  });
  for (std::size_t i = 0; i < statements.size(); ++i)
    table.MarkSaved(statements[i].id, std::move(values[i]));
}

std::vector<PgConnection::Result> PgConnection::SendUnderSavepoint(
    const std::vector<Piped>& statements, std::string_view savepoint, const ResultCheck& check) {
  const std::string begin = "SAVEPOINT " + std::string(savepoint);
  const std::string release = "RELEASE SAVEPOINT " + std::string(savepoint);
  constexpr std::size_t kPipeline = 100;  // results small enough to wait in the socket buffers
  std::vector<Result> results;
  if (!check) results.reserve(statements.size());
  std::size_t checked = 0;
  // The release travels with the last chunk unless the results are to be checked first. A
  // single statement that fails its check has written nothing (an update that found no row), so
  // its release need not wait.
  const bool release_with_last = !check || statements.size() <= 1;
  bool released = false;
  try {
    std::vector<Piped> chunk{{&begin, {}}};
    for (std::size_t i = 0; i <= statements.size(); ++i) {
      const bool last = i == statements.size();
      if (last && release_with_last) chunk.push_back({&release, {}});
      if (!last) chunk.push_back(statements[i]);
      if (!last && chunk.size() < kPipeline) continue;
      if (chunk.empty()) break;
      std::vector<Result> sent = SendPipeline(chunk);
      released = last && release_with_last;
      // A checked result has given what it had to give: a write-back of many rows holds one
      // pipeline's results at a time, not all of them.
      for (std::size_t k = 0; k < chunk.size(); ++k) {
        if (chunk[k].sql == &begin || chunk[k].sql == &release) continue;
        if (check) {
          check(checked++, sent[k].get());
        } else {
          results.push_back(std::move(sent[k]));
        }
      }
      chunk.clear();
    }
    if (!released) {
      SendRaw(release, 0, nullptr);
      released = true;
    }
  } catch (const DbError&) {
    if (released) throw;  // nothing was written
    try {
      ExecRaw("ROLLBACK TO SAVEPOINT " + std::string(savepoint), 0, nullptr);
      ExecRaw(release, 0, nullptr);
    } catch (const DbError&) {
      // The connection is gone or interrupted: the statement's own error says why, and the
      // transaction is undone as a whole.
    }
    throw;
  }
  return results;
}

std::vector<PgConnection::Result> PgConnection::SendPipeline(const std::vector<Piped>& statements) {
  ThrowIfInterrupted();
  PGconn* c = conn_.get();
  if (PQenterPipelineMode(c) != 1) throw DbError(std::string(Trim(PQerrorMessage(c))));
  std::string error;
  std::size_t sent = 0;
  for (const Piped& st : statements) {
    if (PQsendQueryParams(c, st.sql->c_str(), static_cast<int>(st.params.size()), nullptr,
                          st.params.data(), nullptr, nullptr, 0) != 1) {
      error = std::string(Trim(PQerrorMessage(c)));
      break;
    }
    ++sent;
  }
  ++round_trips_;
  if (PQpipelineSync(c) != 1 && error.empty()) error = std::string(Trim(PQerrorMessage(c)));
  // Every result is read, also after a failure: the connection must leave the pipeline clean.
  std::vector<Result> results;
  for (std::size_t i = 0; i < sent; ++i) {
    Result first;
    while (PGresult* r = PQgetResult(c)) {
      if (!first) {
        first.reset(r);
      } else {
        PQclear(r);
      }
    }
    const auto status = first ? PQresultStatus(first.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && error.empty()) {
      error = status == PGRES_PIPELINE_ABORTED ? "pipeline aborted" : ServerMessage(first.get(), c);
    }
    results.push_back(std::move(first));
  }
  if (PGresult* sync = PQgetResult(c)) PQclear(sync);  // the sync point
  if (PQexitPipelineMode(c) != 1) {
    while (PGresult* r = PQgetResult(c))
      PQclear(r);
    if (PQexitPipelineMode(c) != 1 && error.empty()) error = std::string(Trim(PQerrorMessage(c)));
  }
  if (!error.empty()) throw DbError(error);
  return results;
}

}  // namespace veriprog::db::pg
