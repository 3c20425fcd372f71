// Added and changed rows of a record set sent back to their table, every value a bound
// parameter. A changed row is found by its key and by the values its changed columns had when
// read: when someone else changed it meanwhile, no row matches and that is an error. What the
// database holds afterwards (identity values, defaults) is read back into the row.
//
// Inside a transaction on PostgreSQL the rows go as arrays of parameters, the consecutive rows
// whose statement reads the same sent in one execution; the whole write-back runs under one
// savepoint, so that any failing row takes it all back; a row written alone goes with its
// savepoint in one batch. Elsewhere each row is a statement of its own: outside a transaction the
// rows before a failure stay written, as the caller expects, and SQL Server reads an added row back
// by SCOPE_IDENTITY() in the same batch as its insert.
#include <algorithm>
#include <functional>

#include "db/odbc/odbc_connection.h"
#include "db/odbc/odbc_values.h"
#include "db/postgres/tsql_runner.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {

// One row's statement: its text and its parameters in the order of the text.
struct RowWrite {
  RowId id = 0;
  bool added = false;
  std::string sql;
  std::vector<Parameter> params;
};

namespace {

// Rows sent at most in one execution of an array of parameters.
constexpr std::size_t kArrayRows = 500;

bool Same(const Variant& a, const Variant& b) {
  return a == b && a.kind() == b.kind();
}

// Composes the statement that writes one row and reads it back, in the server's dialect.
class RowStatements {
 public:
  using Quote = std::function<std::string(std::string_view)>;

  RowStatements(const RowTable& table, const WriteTarget& target, std::string identity,
                bool sql_server, Quote quote)
      : table_(table),
        target_(target),
        identity_(std::move(identity)),
        sql_server_(sql_server),
        quote_(std::move(quote)) {
    for (std::size_t f = 0; f < target_.columns.size(); ++f) {
      if (target_.columns[f].empty()) continue;
      all_columns_ += (all_columns_.empty() ? "" : ", ") + quote_(target_.columns[f]);
    }
  }

  // The statement of a new or changed row; nullopt when the row has nothing to send.
  std::optional<RowWrite> For(RowId id) const {
    const Row& row = table_.row(id);
    if (row.status == RowStatus::kNew) return Insert(id, row);
    if (row.status == RowStatus::kModified) return Update(id, row);
    return std::nullopt;
  }

 private:
  std::string Param(RowWrite& w, std::size_t f, const Variant& v) const {
    w.params.push_back(Parameter{v, table_.fields()[f]});
    return "?";
  }

  // The row as it stands after the write, found by its key (new values) on SQL Server.
  std::string KeyOfRow(RowWrite& w, const Row& row, bool identity_just_assigned) const {
    std::string key;
    for (std::size_t f : target_.key_fields) {
      key += key.empty() ? "" : " AND ";
      if (identity_just_assigned && EqualsIgnoreCase(target_.columns[f], identity_)) {
        key += quote_(target_.columns[f]) + " = SCOPE_IDENTITY()";
      } else {
        key += quote_(target_.columns[f]) + " = " + Param(w, f, row.values[f]);
      }
    }
    return key;
  }

  RowWrite Insert(RowId id, const Row& row) const {
    RowWrite w{id, true, "", {}};
    std::string columns, placeholders;
    bool identity_given = false;
    for (std::size_t f = 0; f < target_.columns.size(); ++f) {
      if (target_.columns[f].empty() || row.values[f].is_empty()) continue;  // defaults apply
      if (EqualsIgnoreCase(target_.columns[f], identity_)) identity_given = true;
      columns += (columns.empty() ? "" : ", ") + quote_(target_.columns[f]);
      placeholders += (placeholders.empty() ? "" : ", ") + Param(w, f, row.values[f]);
    }
    const std::string values =
        columns.empty() ? " DEFAULT VALUES" : " (" + columns + ") VALUES (" + placeholders + ")";
    if (sql_server_) {
      // In the same batch, so that SCOPE_IDENTITY() is this insert's.
      w.sql = "INSERT INTO " + target_.table + values + "; SELECT " + all_columns_ + " FROM " +
              target_.table + " WHERE ";
      w.sql += KeyOfRow(w, row, !identity_.empty() && !identity_given);
    } else {
      w.sql = "INSERT INTO " + target_.table + values + " RETURNING " + all_columns_;
    }
    return w;
  }

  std::optional<RowWrite> Update(RowId id, const Row& row) const {
    RowWrite w{id, false, "", {}};
    // Placeholders are positional: parameters go in the order of the text.
    std::string sets;
    for (std::size_t f = 0; f < target_.columns.size(); ++f) {
      if (target_.columns[f].empty() || Same(row.values[f], row.original[f])) continue;
      sets += (sets.empty() ? "" : ", ") + quote_(target_.columns[f]) + " = " +
              Param(w, f, row.values[f]);
    }
    if (sets.empty()) return std::nullopt;
    std::string key;
    for (std::size_t f : target_.key_fields) {
      key += (key.empty() ? "" : " AND ") + quote_(target_.columns[f]) + " = " +
             Param(w, f, row.original[f]);
    }
    // Unchanged since it was read: the row still holds what this client saw. PostgreSQL's
    // null-safe comparison gives rows one text whichever of their values were null, so that
    // they travel in one array.
    std::string unchanged;
    for (std::size_t f = 0; f < target_.columns.size(); ++f) {
      const Variant& was = row.original[f];
      if (target_.columns[f].empty() || Same(row.values[f], was)) continue;
      const std::string column = quote_(target_.columns[f]);
      if (!sql_server_) {
        unchanged += " AND " + column + " IS NOT DISTINCT FROM " + Param(w, f, was);
      } else {
        unchanged +=
            " AND " + (was.has_value() ? column + " = " + Param(w, f, was) : column + " IS NULL");
      }
    }
    w.sql = "UPDATE " + target_.table + " SET " + sets + " WHERE " + key + unchanged;
    if (sql_server_) {
      w.sql += "; IF @@ROWCOUNT = 1 SELECT " + all_columns_ + " FROM " + target_.table + " WHERE ";
      w.sql += KeyOfRow(w, row, false);
    } else {
      w.sql += " RETURNING " + all_columns_;
    }
    return w;
  }

  const RowTable& table_;
  const WriteTarget& target_;
  const std::string identity_;
  const bool sql_server_;
  const Quote quote_;
  std::string all_columns_;
};

}  // namespace

void OdbcConnection::WriteBack(RowTable& table, const WriteTarget& target,
                               const std::vector<RowId>& rows) {
  const auto info = tables_.find(target.table);
  const RowStatements statements(table, target, info == tables_.end() ? "" : info->second.identity,
                                 dialect_ == Dialect::kSqlServer,
                                 [this](std::string_view name) { return QuoteName(name); });
  std::vector<RowWrite> writes;
  for (RowId id : rows) {
    if (auto w = statements.For(id)) {
      writes.push_back(std::move(*w));
    } else if (table.row(id).status == RowStatus::kModified) {
      table.MarkSaved(id, table.row(id).values);  // changed back to what it was: nothing to send
    }
  }
  if (writes.empty()) return;

  // The values each row holds once written, marked saved only when every row went through.
  Written written;
  auto mark_saved = [&] {
    for (auto& [id, saved] : written)
      table.MarkSaved(id, std::move(saved));
  };
  if (!in_transaction_) {
    try {
      WriteRowByRow(table, target, writes, written);
    } catch (const DbError&) {
      mark_saved();  // rows sent before a failure stay sent, and are marked as sent
      throw;
    }
    mark_saved();
    return;
  }
  // Inside a transaction the write-back is one statement: a failure takes it all back.
  if (runner_ && writes.size() == 1) {
    // A row added or changed alone, as the writers of monthly totals do: its savepoint travels
    // with it, one round trip as over libpq.
    WriteRowByRow(table, target, writes, written);
  } else if (runner_) {
    runner_->Atomically([&] { WriteInArrays(table, target, writes, written); });
  } else {
    Run("SAVE TRANSACTION veriprog_write_back", {});
    try {
      WriteRowByRow(table, target, writes, written);
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

void OdbcConnection::WriteRowByRow(const RowTable& table, const WriteTarget& target,
                                   const std::vector<RowWrite>& writes, Written& written) {
  for (const RowWrite& w : writes) {
    const auto results = RunWrite(w.sql, w.params);
    const auto rows =
        std::find_if(results.begin(), results.end(), [](const Result& r) { return r.has_rows; });
    written.emplace_back(w.id,
                         SavedValues(table, target, w, rows == results.end() ? nullptr : &*rows));
  }
}

void OdbcConnection::WriteInArrays(const RowTable& table, const WriteTarget& target,
                                   const std::vector<RowWrite>& writes, Written& written) {
  for (std::size_t begin = 0; begin < writes.size();) {
    // The consecutive rows whose statement reads the same go together, in their order.
    std::size_t end = begin + 1;
    while (end < writes.size() && end - begin < kArrayRows && writes[end].sql == writes[begin].sql)
      ++end;
    std::vector<std::vector<Parameter>> sets;
    sets.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i)
      sets.push_back(writes[i].params);
    ThrowIfInterrupted();
    const auto results = channel_->RunArray(writes[begin].sql, sets);
    if (results.size() != sets.size()) {
      throw DbError("a write-back of " + std::to_string(sets.size()) + " rows to " + target.table +
                    " had " + std::to_string(results.size()) + " answers");
    }
    for (std::size_t i = begin; i < end; ++i) {
      const Result& r = results[i - begin];
      written.emplace_back(writes[i].id, SavedValues(table, target, writes[i], &r));
    }
    begin = end;
  }
}

std::vector<Variant> OdbcConnection::SavedValues(const RowTable& table, const WriteTarget& target,
                                                 const RowWrite& w, const Result* read_back) {
  if (read_back == nullptr || !read_back->has_rows || read_back->rows.size() != 1) {
    throw DbError(w.added ? "the row added to " + target.table + " could not be read back"
                          : "the row to update in " + target.table +
                                " was changed or deleted by someone else since it was read");
  }
  const auto& fields = table.fields();
  std::vector<Variant> saved = table.row(w.id).values;
  std::size_t column = 0;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (target.columns[f].empty()) continue;
    const auto& cell = read_back->rows[0][column];
    saved[f] = cell ? ValueFromText(fields[f], read_back->columns[column], *cell) : Variant::Null();
    ++column;
  }
  return saved;
}

}  // namespace veriprog::db::odbc
