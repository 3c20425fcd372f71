#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <set>

#include "db/postgres/pg_connection.h"
#include "db/postgres/pg_value.h"
#include "db/text.h"

// Result rows as record-set rows, and the table they can be written back to.
namespace veriprog::db::pg {

std::vector<FieldDef> PgConnection::FieldsOf(PGresult* result) {
  const int nfields = PQnfields(result);
  std::vector<FieldDef> fields;
  std::set<std::string> names;
  for (int f = 0; f < nfields; ++f) {
    std::string name = ToUpperAscii(PQfname(result, f));
    for (int n = 2; names.contains(name); ++n)
      name = ToUpperAscii(PQfname(result, f)) + "_" + std::to_string(n);
    names.insert(name);
    fields.push_back(FieldFromType(name, PQftype(result, f), PQfmod(result, f)));
  }
  return fields;
}

std::vector<Variant> PgConnection::ValuesOf(PGresult* result, int row,
                                            const std::vector<FieldDef>& fields) {
  const int nfields = static_cast<int>(fields.size());
  std::vector<Variant> values;
  values.reserve(fields.size());
  for (int f = 0; f < nfields; ++f) {
    if (PQgetisnull(result, row, f)) {
      values.push_back(Variant::Null());
      continue;
    }
    values.push_back(
        ValueFromText(fields[static_cast<std::size_t>(f)], PQftype(result, f),
                      std::string_view(PQgetvalue(result, row, f),
                                       static_cast<std::size_t>(PQgetlength(result, row, f)))));
  }
  return values;
}

QueryResult PgConnection::Assemble(PGresult* result, std::vector<FieldDef> fields,
                                   std::vector<std::vector<Variant>> rows) {
  // Unconstrained numeric columns (sums, literals) take the largest scale their values have, so
  // that a later assignment to them keeps every cent.
  for (std::size_t f = 0; f < fields.size(); ++f) {
    FieldDef& field = fields[f];
    if (field.type != FieldType::kDecimal || PQfmod(result, static_cast<int>(f)) >= 4) continue;
    for (const auto& values : rows) {
      const Variant& v = values[f];
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

QueryResult PgConnection::ToQueryResult(PGresult* result) {
  const int nrows = PQntuples(result);
  rows_received_ += nrows;
  std::vector<FieldDef> fields = FieldsOf(result);
  std::vector<std::vector<Variant>> rows(static_cast<std::size_t>(nrows));
  for (int r = 0; r < nrows; ++r)
    rows[static_cast<std::size_t>(r)] = ValuesOf(result, r, fields);
  return Assemble(result, std::move(fields), std::move(rows));
}

// Single-row mode: each row comes as a result of its own and is let go once `keep` has seen it;
// a last result without rows ends the set. Every result is read, also after a failure or an
// exception from `keep`, so that the connection is ready for the next statement.
QueryResult PgConnection::SendKeeping(const std::string& sql, const RowFilter& keep) {
  ThrowIfInterrupted();
  ++round_trips_;
  PGconn* c = conn_.get();
  if (PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1)
    throw DbError(std::string(Trim(PQerrorMessage(c))));
  // Without single-row mode the rows come in one result: still correct, only not lighter.
  PQsetSingleRowMode(c);
  Result shape;  // the first result with the set's fields: its description is the set's
  std::vector<FieldDef> fields;
  std::vector<std::vector<Variant>> kept;
  std::string error;
  std::exception_ptr failure;
  while (PGresult* r = PQgetResult(c)) {
    Result result(r);
    const auto status = PQresultStatus(r);
    if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK) {
      if (error.empty()) {
        error = status == PGRES_COMMAND_OK
                    ? "the statement returned no rows to open a record set on"
                    : ServerMessage(r, c);
      }
      continue;
    }
    if (!shape) {
      fields = FieldsOf(r);
      shape = std::move(result);
    }
    if (failure || !error.empty()) continue;
    const int nrows = PQntuples(r);
    rows_received_ += nrows;
    for (int row = 0; row < nrows; ++row) {
      std::vector<Variant> values = ValuesOf(r, row, fields);
      try {
        if (keep(fields, values)) kept.push_back(std::move(values));
      } catch (...) {
        failure = std::current_exception();
        // The rest of a large result is not worth reading only to drop it.
        if (cancel_) {
          char message[256];
          PQcancel(cancel_.get(), message, sizeof message);
        }
        break;
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
  if (!error.empty()) throw DbError(error);
  if (!shape) throw DbError("the statement returned no rows to open a record set on");
  return Assemble(shape.get(), std::move(fields), std::move(kept));
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
    Result name = SendAtomically(
        "SELECT quote_ident(n.nspname) || '.' || quote_ident(c.relname) FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = $1::oid",
        1, params);
    if (PQntuples(name.get()) != 1) return nullptr;
    Result cols = SendAtomically(
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

}  // namespace veriprog::db::pg
