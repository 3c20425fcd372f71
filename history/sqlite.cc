#include "history/sqlite.h"

#include "veriprog/error.h"

namespace veriprog::history::sqlite {

Connection::Connection(const std::string& path, int flags) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw db::DbError("cannot open the history " + path + ": " + why);
  }
  sqlite3_extended_result_codes(db_, 1);
}

Connection::~Connection() {
  sqlite3_close_v2(db_);
}

void Connection::Fail(const std::string& what) const {
  throw db::DbError("history: " + what + ": " + sqlite3_errmsg(db_));
}

void Connection::Execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string why = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw db::DbError("history: " + why);
  }
}

Statement Connection::Prepare(std::string_view sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &s, nullptr) != SQLITE_OK)
    Fail("cannot prepare a statement");
  return Statement(*this, s);
}

std::int64_t Connection::LastId() const {
  return sqlite3_last_insert_rowid(db_);
}
int Connection::Changes() const {
  return sqlite3_changes(db_);
}

Statement::~Statement() {
  sqlite3_finalize(s_);
}
Statement::Statement(Statement&& other) noexcept : owner_(other.owner_), s_(other.s_) {
  other.s_ = nullptr;
}

Statement& Statement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(s_, index, value) != SQLITE_OK) owner_->Fail("bind");
  return *this;
}
Statement& Statement::Bind(int index, double value) {
  if (sqlite3_bind_double(s_, index, value) != SQLITE_OK) owner_->Fail("bind");
  return *this;
}
Statement& Statement::Bind(int index, std::string_view value) {
  if (sqlite3_bind_text64(s_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
      SQLITE_OK)
    owner_->Fail("bind");
  return *this;
}
Statement& Statement::Bind(int index, const std::optional<std::int64_t>& value) {
  if (value) return Bind(index, *value);
  if (sqlite3_bind_null(s_, index) != SQLITE_OK) owner_->Fail("bind");
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(s_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  owner_->Fail("a statement failed");
}

void Statement::Reset() {
  sqlite3_reset(s_);
  sqlite3_clear_bindings(s_);
}

std::int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(s_, column);
}
double Statement::Real(int column) const {
  return sqlite3_column_double(s_, column);
}
std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(s_, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(s_, column)))
              : std::string();
}
std::optional<std::int64_t> Statement::MaybeInt(int column) const {
  if (sqlite3_column_type(s_, column) == SQLITE_NULL) return std::nullopt;
  return Int(column);
}

Transaction::Transaction(Connection& c) : c_(c) {
  c_.Execute("BEGIN IMMEDIATE");
}
Transaction::~Transaction() {
  if (!open_) return;
  try {
    c_.Execute("ROLLBACK");
  } catch (...) {
    // The file closes with its connection, and an open transaction goes with it.
  }
}
void Transaction::Commit() {
  c_.Execute("COMMIT");
  open_ = false;
}

}  // namespace veriprog::history::sqlite
