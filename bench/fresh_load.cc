#include "bench/fresh_load.h"

#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace veriprog::bench {
namespace {

void Run(const std::string& conninfo, const std::string& sql) {
  const std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(conninfo.c_str()), &PQfinish);
  const std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()),
                                                             &PQclear);
  const auto status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error(sql + ": " + PQresultErrorMessage(result.get()));
}

}  // namespace

double LoadUnanalysedCopy(const std::string& admin, const std::string& schema_template,
                          const std::string& from, const std::string& to) {
  // Autovacuum would analyse the loaded tables within a minute: the case is the hour before.
  Run(admin, "ALTER SYSTEM SET autovacuum = off");
  Run(admin, "SELECT pg_reload_conf()");
  Run(admin, "DROP DATABASE IF EXISTS " + to + " WITH (FORCE)");
  Run(admin, "CREATE DATABASE " + to + " TEMPLATE " + schema_template);
  const auto start = std::chrono::steady_clock::now();
  // Rows only, with the foreign keys' triggers off while they load, as a restore does.
  const std::string pipeline = "pg_dump --data-only --disable-triggers --dbname=" + from +
                               " | psql -q -v ON_ERROR_STOP=1 --dbname=" + to + " >/dev/null";
  if (std::system(pipeline.c_str()) != 0)
    throw std::runtime_error("the load of " + to + " failed: " + pipeline);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void AllowAutovacuum(const std::string& admin) {
  Run(admin, "ALTER SYSTEM RESET autovacuum");
  Run(admin, "SELECT pg_reload_conf()");
}

}  // namespace veriprog::bench
