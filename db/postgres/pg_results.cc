#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "db/postgres/pg_connection.h"
#include "db/postgres/pg_value.h"
#include "db/text.h"

// Result rows as record-set rows, and the table they can be written back to.
namespace veriprog::db::pg {

QueryResult PgConnection::ToQueryResult(PGresult* result) {
  PGresult* const parts[] = {result};
  QueryResult out = RowsOf(parts);
  out.target = TargetOf(result);
  return out;
}

// The rows of results that share one row description (a whole result, or the single rows of one
// read row by row), as one table.
QueryResult PgConnection::RowsOf(std::span<PGresult* const> parts) {
  PGresult* const first = parts.front();
  const int nfields = PQnfields(first);
  std::vector<FieldDef> fields;
  std::set<std::string> names;
  for (int f = 0; f < nfields; ++f) {
    std::string name = ToUpperAscii(PQfname(first, f));
    for (int n = 2; names.contains(name); ++n)
      name = ToUpperAscii(PQfname(first, f)) + "_" + std::to_string(n);
    names.insert(name);
    fields.push_back(FieldFromType(name, PQftype(first, f), PQfmod(first, f)));
  }
  std::vector<std::vector<Variant>> rows;
  for (PGresult* result : parts) {
    const int nrows = PQntuples(result);
    rows_received_ += nrows;
    for (int r = 0; r < nrows; ++r) {
      auto& values = rows.emplace_back();
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
  }
  // Unconstrained numeric columns (sums, literals) take the largest scale their values have, so
  // that a later assignment to them keeps every cent.
  for (int f = 0; f < nfields; ++f) {
    FieldDef& field = fields[static_cast<std::size_t>(f)];
    if (field.type != FieldType::kDecimal || PQfmod(first, f) >= 4) continue;
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
  return QueryResult{std::move(table), nullptr};
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
