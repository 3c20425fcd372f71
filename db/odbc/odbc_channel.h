// Channel: the low-level path of the ODBC backend to one data source. It runs SQL text with
// bound parameters and hands back every result, fully fetched, as text; it ends transactions and
// reads primary keys. The real one talks to an ODBC driver through the driver manager; a test can
// put its own in place to see exactly what text reaches the server.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/field.h"
#include "veriprog/variant.h"

namespace veriprog::db::odbc {

// A column of a result as the driver describes it.
struct Column {
  std::string name;
  int sql_type = 0;       // ODBC SQL type code: SQL_DECIMAL, SQL_WVARCHAR, SQL_TYPE_TIMESTAMP...
  std::int64_t size = 0;  // characters for texts, digits for numbers
  int digits = 0;         // digits after the point
  bool nullable = true;
  bool auto_unique = false;  // an identity column
  // Where the column's values come from, when the driver knows: "" otherwise.
  std::string base_schema, base_table, base_column;
};

// One result of a batch: a set of rows, or the count of rows that a statement touched.
// Cells are text: numbers with a point and no grouping ("-1234.50"), dates as
// "YYYY-MM-DD HH:MM:SS[.ffffff]", bits as "1" or "0", everything else as UTF-8 text.
struct Result {
  bool has_rows = false;
  std::vector<Column> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;  // nullopt is NULL
  std::int64_t count = 0;                                     // rows touched, or rows returned
};

// A value bound to a '?' of the statement, with the field it belongs to (type, precision).
struct Parameter {
  Variant value;
  FieldDef field;
};

class Channel {
 public:
  virtual ~Channel() = default;

  // The server's product name, as SQLGetInfo(SQL_DBMS_NAME) gives it.
  virtual std::string dbms_name() const = 0;
  // The driver's file name and version (SQL_DRIVER_NAME, SQL_DRIVER_VER), for reports.
  virtual std::string driver() const { return {}; }
  // Runs SQL text unchanged with the parameters bound in order, and returns all its results in
  // order. Every result is read before a failure is reported, so that a batch runs to its end as
  // the server decides. Throws DbError with the server's messages and their SQLSTATE.
  virtual std::vector<Result> Run(std::string_view sql,
                                  const std::vector<Parameter>& params = {}) = 0;
  // Runs one statement once for each set of parameters, the sets sent together as an array of
  // parameters where the driver takes them, and returns one result per set, in order. Any set
  // that fails is an error (DbError with the driver's message): within a transaction the caller
  // undoes the whole, since how much of the array was applied is the driver's affair. This
  // default runs the sets one at a time.
  virtual std::vector<Result> RunArray(std::string_view sql,
                                       const std::vector<std::vector<Parameter>>& sets);
  // Off: statements run in a transaction at read committed until EndTransaction.
  virtual void SetAutoCommit(bool on) = 0;
  virtual void EndTransaction(bool commit) = 0;
  // Columns of a table's primary key in key order; empty when there is none.
  virtual std::vector<std::string> PrimaryKey(const std::string& schema,
                                              const std::string& table) = 0;
  // From another thread: asks the driver to stop the statement running now, if any.
  virtual void Cancel() noexcept {}
  // Seconds every later statement may run before the driver cancels it; 0: no limit.
  virtual void SetQueryTimeout(int /*seconds*/) {}
};

// Opens a channel through the ODBC driver manager. Throws DbError saying what was wrong and what
// to do: a bad connection string, a driver or data source that is not installed, a server that
// cannot be reached or refuses the login.
std::unique_ptr<Channel> OpenDriverChannel(std::string_view connection_string);

}  // namespace veriprog::db::odbc
