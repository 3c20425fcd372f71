#include <libpq-fe.h>

#include "db/error.h"
#include "db/text.h"
#include "db/postgres/pg_connection.h"
#include "db/postgres/pg_value.h"

// Added and changed rows of a record set sent back to their table.
namespace veriprog::db::pg {
namespace {

std::string QuoteName(std::string_view name) {
  return Quoted(name, '"');
}

}  // namespace

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
    Result r = SendAtomically(sql + returning, static_cast<int>(params.size()), params.data());
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

}  // namespace veriprog::db::pg
