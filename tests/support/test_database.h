// TestDatabase: a fresh ledger database for one test, copied from the template database that
// the test script installs, and dropped at the end. Without a reachable server the test is
// skipped, unless VERIPROG_REQUIRE_DB is set (as the test script does), when it fails.
// With VERIPROG_TEST_BACKEND=odbc the tests reach the same database through the ODBC backend
// (the PostgreSQL ODBC driver, VERIPROG_TEST_ODBC_DRIVER to name another): conninfo() and
// Connect() give an ODBC connection, built from PGHOST, PGPORT and PGUSER.
#pragma once

#include <memory>
#include <string>

#include "veriprog/connection.h"

namespace veriprog::testing {

class TestDatabase {
 public:
  TestDatabase();
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  // False when no server could be reached; the caller skips the test.
  bool ok() const { return !conninfo_.empty(); }
  // The connection string of the backend under test.
  const std::string& conninfo() const { return conninfo_; }
  // libpq text for the same database, for bulk loading (the ledger generator).
  const std::string& libpq_conninfo() const { return libpq_conninfo_; }
  // ODBC text for the same database through the PostgreSQL ODBC driver, whatever the backend.
  std::string odbc_conninfo() const;
  bool odbc() const;
  std::shared_ptr<db::Connection> Connect() const;
  // Runs T-SQL or plain SQL to set up rows; fails the test on error.
  void Run(const std::string& sql) const;

 private:
  std::string admin_;
  std::string name_;
  std::string conninfo_;
  std::string libpq_conninfo_;
};

}  // namespace veriprog::testing

// Opens a TestDatabase named db or skips the test.
#define VERIPROG_NEED_DATABASE(db)      \
  ::veriprog::testing::TestDatabase db; \
  if (!db.ok()) GTEST_SKIP() << "no PostgreSQL server reachable"
