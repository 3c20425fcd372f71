// Added and changed rows of a record set sent back to their table, every value a bound
// parameter. A changed row is found by its key and by the values its changed columns had when
// read: when someone else changed it meanwhile, no row matches and that is an error. What the
// database holds afterwards (identity values, defaults) is read back into the row.
#include "db/odbc/odbc_connection.h"
#include "db/odbc/odbc_values.h"
#include "db/postgres/tsql_runner.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {
namespace {

bool Same(const Variant& a, const Variant& b) {
  return a == b && a.kind() == b.kind();
}

}  // namespace

void OdbcConnection::WriteBack(RowTable& table, const WriteTarget& target,
                               const std::vector<RowId>& rows) {
  const auto& fields = table.fields();
  const bool sql_server = dialect_ == Dialect::kSqlServer;
  std::string all_columns;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (target.columns[f].empty()) continue;
    all_columns += (all_columns.empty() ? "" : ", ") + QuoteName(target.columns[f]);
  }
  const auto info = tables_.find(target.table);
  const std::string identity = info == tables_.end() ? "" : info->second.identity;

  // The values each row holds once written, marked saved only when every row went through.
  std::vector<std::pair<RowId, std::vector<Variant>>> written_rows;
  auto write_all = [&] {
    for (RowId id : rows) {
      const Row& row = table.row(id);
      std::vector<Parameter> params;
      auto param = [&](std::size_t f, const Variant& v) {
        params.push_back(Parameter{v, fields[f]});
        return std::string("?");
      };
      // The row as it stands after the write, found by its key (new values) on SQL Server.
      auto key_of_row = [&](bool identity_just_assigned) {
        std::string key;
        for (std::size_t f : target.key_fields) {
          key += key.empty() ? "" : " AND ";
          if (identity_just_assigned && EqualsIgnoreCase(target.columns[f], identity)) {
            key += QuoteName(target.columns[f]) + " = SCOPE_IDENTITY()";
          } else {
            key += QuoteName(target.columns[f]) + " = " + param(f, row.values[f]);
          }
        }
        return key;
      };
      std::string sql;
      if (row.status == RowStatus::kNew) {
        std::string columns, placeholders;
        bool identity_given = false;
        for (std::size_t f = 0; f < fields.size(); ++f) {
          if (target.columns[f].empty() || row.values[f].is_empty()) continue;  // defaults apply
          if (EqualsIgnoreCase(target.columns[f], identity)) identity_given = true;
          columns += (columns.empty() ? "" : ", ") + QuoteName(target.columns[f]);
          placeholders += (placeholders.empty() ? "" : ", ") + param(f, row.values[f]);
        }
        const std::string values = columns.empty()
                                       ? " DEFAULT VALUES"
                                       : " (" + columns + ") VALUES (" + placeholders + ")";
        if (sql_server) {
          // In the same batch, so that SCOPE_IDENTITY() is this insert's.
          sql = "INSERT INTO " + target.table + values + "; SELECT " + all_columns + " FROM " +
                target.table + " WHERE " + key_of_row(!identity.empty() && !identity_given);
        } else {
          sql = "INSERT INTO " + target.table + values + " RETURNING " + all_columns;
        }
      } else if (row.status == RowStatus::kModified) {
        // Placeholders are positional: parameters go in the order of the text.
        std::string sets;
        for (std::size_t f = 0; f < fields.size(); ++f) {
          if (target.columns[f].empty() || Same(row.values[f], row.original[f])) continue;
          sets += (sets.empty() ? "" : ", ") + QuoteName(target.columns[f]) + " = " +
                  param(f, row.values[f]);
        }
        if (sets.empty()) {
          table.MarkSaved(id, row.values);
          continue;
        }
        std::string key;
        for (std::size_t f : target.key_fields) {
          key += (key.empty() ? "" : " AND ") + QuoteName(target.columns[f]) + " = " +
                 param(f, row.original[f]);
        }
        // Unchanged since it was read: the row still holds what this client saw.
        std::string unchanged;
        for (std::size_t f = 0; f < fields.size(); ++f) {
          const Variant& was = row.original[f];
          if (target.columns[f].empty() || Same(row.values[f], was)) continue;
          unchanged +=
              " AND " + (was.has_value() ? QuoteName(target.columns[f]) + " = " + param(f, was)
                                         : QuoteName(target.columns[f]) + " IS NULL");
        }
        sql = "UPDATE " + target.table + " SET " + sets + " WHERE " + key + unchanged;
        if (sql_server) {
          sql += "; IF @@ROWCOUNT = 1 SELECT " + all_columns + " FROM " + target.table + " WHERE " +
                 key_of_row(false);
        } else {
          sql += " RETURNING " + all_columns;
        }
      } else {
        continue;
      }
      const auto results = RunWrite(sql, params);
      const Result* written = nullptr;
      for (const auto& r : results) {
        if (r.has_rows) {
          written = &r;
          break;
        }
      }
      if (written == nullptr || written->rows.size() != 1) {
        throw DbError(row.status == RowStatus::kNew
                          ? "the row added to " + target.table + " could not be read back"
                          : "the row to update in " + target.table +
                                " was changed or deleted by someone else since it was read");
      }
      std::vector<Variant> saved = row.values;
      std::size_t column = 0;
      for (std::size_t f = 0; f < fields.size(); ++f) {
        if (target.columns[f].empty()) continue;
        const auto& cell = written->rows[0][column];
        saved[f] =
            cell ? ValueFromText(fields[f], written->columns[column], *cell) : Variant::Null();
        ++column;
      }
      written_rows.emplace_back(id, std::move(saved));
    }
  };

  auto mark_saved = [&] {
    for (auto& [id, saved] : written_rows)
      table.MarkSaved(id, std::move(saved));
  };
  if (!in_transaction_) {
    try {
      write_all();
    } catch (const DbError&) {
      mark_saved();  // rows sent before a failure stay sent, and are marked as sent
      throw;
    }
    mark_saved();
    return;
  }
  // Inside a transaction the write-back is one statement: a failure takes it all back.
  if (runner_) {
    runner_->Atomically(write_all);
  } else {
    Run("SAVE TRANSACTION veriprog_write_back", {});
    try {
      write_all();
    } catch (const DbError&) {
      try {
        Run("ROLLBACK TRANSACTION veriprog_write_back", {});
      } catch (const DbError&) {
        // The transaction itself is gone; the rollback of the whole will say so.
      }
      throw;
    }
  }
  mark_saved();
}

}  // namespace veriprog::db::odbc
