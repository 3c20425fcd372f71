#include "db/native.h"

#include "db/bulk_writer.h"
#include "db/odbc/odbc_connection.h"
#ifdef VERIPROG_WITH_LIBPQ
#include "db/postgres/pg_connection.h"
#endif
#include "db/postgres/tsql_rewrite.h"
#include "veriprog/error.h"

namespace veriprog::db {
namespace {

#ifdef VERIPROG_WITH_LIBPQ
pg::PgConnection* Postgres(Connection& c) {
  return dynamic_cast<pg::PgConnection*>(&c);
}
#else
// The Windows build has no libpq connection: no connection is one, so none of this is reached.
struct NoPostgres {
  void RunNative(const std::string&) {}
  void RunScript(const std::string&) {}
  QueryResult QueryNative(const std::string&) { return {}; }
  std::string client() const { return {}; }
  std::unique_ptr<BulkWriter> OpenBulkWriter(BulkTable, BulkMode) { return nullptr; }
};
NoPostgres* Postgres(Connection&) {
  return nullptr;
}
#endif
odbc::OdbcConnection* Odbc(Connection& c) {
  return dynamic_cast<odbc::OdbcConnection*>(&c);
}

[[noreturn]] void Unsupported() {
  throw DbError("this needs a PostgreSQL or an ODBC connection");
}

}  // namespace

Server ServerOf(Connection& c) {
  if (Postgres(c) != nullptr) return Server::kPostgres;
  if (auto* odbc = Odbc(c))
    return odbc->dialect() == odbc::Dialect::kPostgres ? Server::kPostgres : Server::kSqlServer;
  Unsupported();
}

void RunNative(Connection& c, const std::string& sql) {
  if (auto* pg = Postgres(c)) return pg->RunNative(sql);
  if (auto* odbc = Odbc(c)) {
    odbc->RunNative(sql);
    return;
  }
  Unsupported();
}

void RunNativeScript(Connection& c, const std::string& script) {
  if (auto* pg = Postgres(c)) return pg->RunScript(script);
  RunNative(c, script);  // the driver sends the statements together
}

QueryResult QueryNative(Connection& c, const std::string& sql) {
  if (auto* pg = Postgres(c)) return pg->QueryNative(sql);
  if (auto* odbc = Odbc(c)) return odbc->QueryNative(sql);
  Unsupported();
}

std::string ClientOf(Connection& c) {
  if (auto* pg = Postgres(c)) return pg->client();
  if (auto* odbc = Odbc(c)) return odbc->client();
  Unsupported();
}

// The bulk writer of whichever backend is behind the connection (db/bulk_writer.h).
std::unique_ptr<BulkWriter> OpenBulkWriter(Connection& c, BulkTable table, BulkMode mode) {
  if (auto* pg = Postgres(c)) return pg->OpenBulkWriter(std::move(table), mode);
  if (auto* odbc = Odbc(c)) return odbc->OpenBulkWriter(std::move(table), mode);
  Unsupported();
}

std::string NativeName(Connection& c, std::string_view table) {
  if (!table.empty() && table[0] == '#' && OnPostgres(c)) return tsql::TempTableName(table);
  return std::string(table);
}

}  // namespace veriprog::db
