// What a tool that works on the database itself needs beyond the component's T-SQL: which server
// is behind a connection, its own SQL sent as it is (past the dialect layer and its savepoints),
// and which client library or driver carries it. The operations never use it; the bulk loader,
// the self-test and the tools do.
#pragma once

#include <string>
#include <string_view>

#include "veriprog/connection.h"

namespace veriprog::db {

enum class Server { kPostgres, kSqlServer };

// Throws DbError when the connection is neither a libpq nor an ODBC one.
Server ServerOf(Connection& connection);
inline bool OnPostgres(Connection& connection) {
  return ServerOf(connection) == Server::kPostgres;
}

// One statement in the server's own SQL, without its results. Throws DbError with the server's
// words.
void RunNative(Connection& connection, const std::string& sql);
// A script of many statements in one message, as a script tool sends it (PostgreSQL: one simple
// query; SQL Server: one batch, so the caller splits on GO lines first). Throws with the server's
// words; what ran before the failure stays, unless a transaction takes it back.
void RunNativeScript(Connection& connection, const std::string& script);
// The first result of a query in the server's own SQL, fully fetched.
QueryResult QueryNative(Connection& connection, const std::string& sql);
// The client library or ODBC driver and its version, as it names itself.
std::string ClientOf(Connection& connection);

// A temporary table's name as the server knows it (#name: the dialect layer's name on
// PostgreSQL), for the server's own statements about it.
std::string NativeName(Connection& connection, std::string_view table);

}  // namespace veriprog::db
