// BulkWriter: appends many rows to one table of the connection's database, in whatever
// transaction the connection has open: COPY over libpq; over ODBC, multi-row INSERTs with every
// value a bound parameter (SQL Server), or a block of rows bound as one JSON parameter that the
// server reads into the table's types (PostgreSQL through its driver, whose cost per parameter
// outweighs the rows). Values are always data, never pasted into SQL text. What a bulk
// load needs besides rows and that differs by server (deferred foreign keys, statistics,
// identity columns given values of their own) is here too, so that a loader names no backend.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/connection.h"

namespace veriprog::db {

// Where the rows go: one table (a #name is the session's temporary table, as in the statements),
// and its columns in the order of each row's values; none: every column in the table's order.
struct BulkTable {
  std::string table;
  std::vector<std::string> columns = {};
  // The identity column, when the rows give it values of their own: once they are in, the table
  // numbers new rows above the highest of them.
  std::string identity = {};
};

enum class BulkMode {
  // Rows wait in memory until Finish; meanwhile the connection runs other statements freely.
  kHold,
  // Rows go to the server as they come. On libpq the connection runs nothing else until Finish
  // (one COPY at a time); over ODBC they go in blocks and other statements may run between.
  kStream,
};

class BulkWriter {
 public:
  virtual ~BulkWriter() = default;
  // One row: a value per column, as text (numbers with a point and no grouping, dates as
  // YYYY-MM-DD), nullopt for NULL. Throws DbError when the count of values is wrong or, over
  // ODBC, a value does not read as its column's type.
  virtual void Row(std::span<const std::optional<std::string>> values) = 0;
  // Sends the rows still held. When it returns every row is in the table, inside the open
  // transaction if there is one. Throws DbError with the server's message; after a failure the
  // transaction must be rolled back. A writer dropped unfinished sends nothing more.
  virtual void Finish() = 0;
};

// A writer on `connection`, which must be a PostgreSQL (libpq) or an ODBC connection. Throws
// DbError when it is neither, or when the table or a column does not exist.
std::unique_ptr<BulkWriter> OpenBulkWriter(Connection& connection, BulkTable table,
                                           BulkMode mode = BulkMode::kHold);

// Asks the server to check foreign keys at the commit rather than row by row, so that rows may
// come before the rows they refer to; only inside a transaction. False when the server cannot
// (SQL Server): then parents must be written first.
bool DeferForeignKeys(Connection& connection);

// Refreshes the planner's statistics of the tables just loaded (none: of the whole database).
void UpdateStatistics(Connection& connection, const std::vector<std::string>& tables = {});

// Runs `write`, whose statements give `column`, the identity column of `table`, values of their
// own; afterwards the table numbers new rows above the highest.
void WithExplicitIdentity(Connection& connection, std::string_view table, std::string_view column,
                          const std::function<void()>& write);

}  // namespace veriprog::db
