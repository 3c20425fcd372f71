// A thin owner of an SQLite connection and its prepared statements: SQLite's own C interface,
// each failure thrown as db::Error with SQLite's message. The history's only door to the file.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veriprog::history::sqlite {

class Statement;

class Connection {
 public:
  // Opens an existing file read-only or read-write, or makes it (flags as sqlite3_open_v2's).
  Connection(const std::string& path, int flags);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Execute(const char* sql);
  Statement Prepare(std::string_view sql);
  std::int64_t LastId() const;
  int Changes() const;
  sqlite3* raw() const { return db_; }
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(const Connection& owner, sqlite3_stmt* statement) : owner_(&owner), s_(statement) {}
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& operator=(Statement&&) = delete;

  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view value);
  Statement& Bind(int index, const std::optional<std::int64_t>& value);
  // Steps once: true while there is a row to read.
  bool Step();
  void Reset();
  std::int64_t Int(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;
  std::optional<std::int64_t> MaybeInt(int column) const;

 private:
  const Connection* owner_;
  sqlite3_stmt* s_;
};

// Commits at Commit, rolls back otherwise. Taken at once (BEGIN IMMEDIATE): two writers queue
// on the busy wait rather than fail half-way.
class Transaction {
 public:
  explicit Transaction(Connection& c);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Connection& c_;
  bool open_ = true;
};

}  // namespace veriprog::history::sqlite
