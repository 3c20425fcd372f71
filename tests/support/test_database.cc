#include "tests/support/test_database.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace veriprog::testing {
namespace {

std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : fallback;
}

bool Admin(const std::string& conninfo, const std::string& sql, std::string* error) {
  PGconn* conn = PQconnectdb(conninfo.c_str());
  bool ok = PQstatus(conn) == CONNECTION_OK;
  if (ok) {
    PGresult* r = PQexec(conn, sql.c_str());
    ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
  }
  if (!ok && error != nullptr) *error = PQerrorMessage(conn);
  PQfinish(conn);
  return ok;
}

}  // namespace

TestDatabase::TestDatabase() : admin_(Env("VERIPROG_TEST_ADMIN", "dbname=postgres")) {
  static std::atomic<int> counter{0};
  name_ = "vp_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  const std::string tmpl = Env("VERIPROG_TEST_TEMPLATE", "veriprog_template");
  std::string error;
  if (!Admin(admin_, "CREATE DATABASE " + name_ + " TEMPLATE " + tmpl, &error)) {
    if (std::getenv("VERIPROG_REQUIRE_DB") != nullptr) {
      ADD_FAILURE() << "cannot create the test database: " << error;
    }
    return;
  }
  libpq_conninfo_ = admin_ + " dbname=" + name_;
  conninfo_ = odbc() ? odbc_conninfo() : libpq_conninfo_;
}

std::string TestDatabase::odbc_conninfo() const {
  return "Driver={" + Env("VERIPROG_TEST_ODBC_DRIVER", "PostgreSQL Unicode") +
         "};Server=" + Env("PGHOST", "localhost") + ";Port=" + Env("PGPORT", "5432") +
         ";Database=" + name_ + ";UID=" + Env("PGUSER", "postgres") + ";BoolsAsChar=0";
}

bool TestDatabase::odbc() const {
  const char* backend = std::getenv("VERIPROG_TEST_BACKEND");
  return backend != nullptr && std::string_view(backend) == "odbc";
}

TestDatabase::~TestDatabase() {
  if (ok()) Admin(admin_, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)", nullptr);
}

std::shared_ptr<db::Connection> TestDatabase::Connect() const {
  return db::Connect(conninfo_);
}

void TestDatabase::Run(const std::string& sql) const {
  std::string error;
  if (!Admin(libpq_conninfo_, sql, &error))
    ADD_FAILURE() << "setup failed: " << error << "\n" << sql;
}

}  // namespace veriprog::testing
