// The scratch database the self-test works in. It refuses a database that holds a ledger or where
// tables cannot be made, installs the development schema of the connection's server (each
// script as it stands, SQL Server's a batch at a time) and removes it again, puts a trigger that
// fails every write on a table and takes it off, and describes the server for the report.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "veriprog/connection.h"

namespace veriprog::selftest {

// The words the server's fault raises, to tell it from any other failure.
inline constexpr char kServerFault[] = "veriprog selftest: fault raised by the server";

// A batch of a schema script that the server refused.
struct ScriptFailure {
  std::string script;  // "sql/sqlserver/schema.sql"
  std::string batch;   // the batch as sent
  std::string error;   // the server's words
};

// Why this database is no place for the self-test (it holds ledger tables or views, or tables
// cannot be made in it), or nullopt. Writes nothing.
std::optional<std::string> WhyNotScratch(db::Connection& connection);

// Installs the schema in one transaction: on failure nothing stays, and the failing batch is told.
std::optional<ScriptFailure> InstallSchema(db::Connection& connection);
// Removes what InstallSchema made, in one transaction.
std::optional<ScriptFailure> DropSchema(db::Connection& connection);

// A trigger on `table` that fails every insert and update with kServerFault, and its removal.
void AddServerFault(db::Connection& connection, const std::string& table);
void RemoveServerFault(db::Connection& connection, const std::string& table);

// The server, the database and the client as the report names them: version, compatibility
// level, collations, snapshot isolation, driver. Never throws: what cannot be asked says why.
std::vector<std::pair<std::string, std::string>> ServerFacts(db::Connection& connection);

}  // namespace veriprog::selftest
