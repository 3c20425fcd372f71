// Connection: a session with the ledger database. It runs T-SQL batches exactly as the component
// composes them (the backend translates where it must), opens fully fetched record sets, brackets
// work in transactions, and writes changed rows of a record set back to its table.
// Connections are shared: the host, the component and open record sets hold shared_ptrs, and
// nothing in the component ever closes one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/row_table.h"

namespace veriprog::db {

class Recordset;

// Where the rows of a record set came from, when they can be written back: one table, its key.
struct WriteTarget {
  std::string table;                    // as the backend names it in SQL
  std::vector<std::string> columns;     // column of each field, "" for computed fields
  std::vector<std::size_t> key_fields;  // fields of the primary key
};

// A fully fetched query result: the rows, and the target for write-back when there is one.
struct QueryResult {
  std::shared_ptr<RowTable> table;
  std::shared_ptr<const WriteTarget> target;
};

// Whether a row of a result is kept, seen as it arrives: the result's fields, the row's values.
using RowFilter =
    std::function<bool(const std::vector<FieldDef>& fields, const std::vector<Variant>& values)>;

class Connection {
 public:
  virtual ~Connection() = default;

  // From any thread: stops the statement running now and refuses every later statement, and the
  // commit, with an "operazione interrotta" error, so that the operation under way fails, rolls
  // back and says so. Rollback still runs. Never throws.
  void Interrupt() noexcept;
  bool interrupted() const noexcept { return interrupted_; }

  // Runs a T-SQL batch. Returns the first result set it produced, if any; rows_affected gets
  // the count of the last statement. Throws DbError with the server's message.
  virtual std::optional<QueryResult> Execute(std::string_view batch,
                                             std::int64_t* rows_affected = nullptr) = 0;
  // Runs a T-SQL query and fetches all its rows.
  virtual QueryResult Query(std::string_view sql) = 0;
  // Runs a T-SQL query as Query does and keeps, in their order, only the rows `keep` accepts
  // (it may keep none and take what it needs from each row). Where the backend can, the other
  // rows are let go as they arrive, so that a large result costs the memory of the rows kept;
  // this default fetches them all through Query first. An exception from `keep` ends the
  // reading and is thrown on, the connection ready for the next statement.
  virtual QueryResult QueryKeeping(std::string_view sql, const RowFilter& keep);

  // Read-committed transaction. While one is open, a failing statement is undone alone and the
  // transaction goes on. Commit of a transaction the server has already aborted throws.
  virtual void BeginTrans() = 0;
  virtual void CommitTrans() = 0;
  virtual void RollbackTrans() = 0;
  virtual bool in_transaction() const = 0;

  // Sends the given added or changed rows to target, in order, and reads back what the database
  // assigned (identity keys, defaults). A row changed or deleted by someone else since it was
  // read is an error, never a silent success. Outside a transaction rows sent before a failure
  // stay sent; inside one the write-back is one statement, undone as a whole when it fails.
  virtual void WriteBack(RowTable& table, const WriteTarget& target,
                         const std::vector<RowId>& rows) = 0;

  // An application lock on `resource`, held by this connection's session, inside or outside a
  // transaction, until Unlock: shared holders go together; an exclusive one waits for every
  // other holder and keeps new ones waiting. It waits as long as it takes. A session may take
  // a lock it already holds. The default does nothing (a connection with no server behind it).
  virtual void Lock(std::string_view /*resource*/, bool /*exclusive*/) {}
  // Takes the lock only if no other session stands in the way, at once; false when one does.
  // The default takes it as Lock does.
  virtual bool TryLock(std::string_view resource, bool exclusive) {
    Lock(resource, exclusive);
    return true;
  }
  virtual void Unlock(std::string_view /*resource*/, bool /*exclusive*/) {}

 protected:
  // Asks the server to stop the statement running now. Called from another thread.
  virtual void CancelRunning() noexcept {}
  // Backends call it before each statement they send and before a commit, never before a
  // rollback.
  void ThrowIfInterrupted() const;

 private:
  std::atomic<bool> interrupted_{false};
};

// Opens a connection: a postgresql:// URI or libpq key=value text selects PostgreSQL (empty
// text uses libpq's environment defaults), an ODBC string (Driver=... or DSN=...) the ODBC
// backend. Throws DbError with the reason. The connection is known to InterruptAll.
std::shared_ptr<Connection> Connect(std::string_view connection_string);

// The longest wait a bound takes, in seconds (about 24 days, what the servers' own settings
// hold); a longer one is taken as this.
inline constexpr double kMaxWaitSeconds = 2147483.0;

// What a connection is opened with beyond its text.
struct ConnectOptions {
  // Seconds each statement may run before the server (or the driver) cancels it; nullopt: no
  // limit. A connection setting (libpq's startup options, ODBC's query timeout of every
  // statement), never text sent in a batch.
  std::optional<double> statement_timeout = std::nullopt;
};
std::shared_ptr<Connection> Connect(std::string_view connection_string,
                                    const ConnectOptions& options);

// The PostgreSQL text a T-SQL batch becomes on a PostgreSQL server, control flow shown as
// comments; nothing runs. Throws DbError naming a construct that cannot be translated.
std::string TranslateForPostgres(std::string_view batch);

// Interrupts every connection opened by Connect that is still alive: what a host does when the
// user asks it to stop (a signal). Returns how many there were. Thread-safe; never throws.
int InterruptAll() noexcept;

}  // namespace veriprog::db
