#include "selftest/scratch_database.h"

#include <algorithm>
#include <exception>
#include <set>

#include "db/native.h"
#include "selftest/schema_scripts.h"
#include "veriprog/error.h"
#include "veriprog/row_table.h"

namespace veriprog::selftest {
namespace {

constexpr char kProbe[] = "VERIPROG_SELFTEST_PROBE";
constexpr char kTrigger[] = "VERIPROG_SELFTEST_FAULT";

// Runs the scripts a batch at a time inside one transaction, committed only when all went.
std::optional<ScriptFailure> RunScripts(db::Connection& c,
                                        const std::vector<EmbeddedScript>& scripts) {
  const db::Server server = db::ServerOf(c);
  c.BeginTrans();
  for (const EmbeddedScript& script : scripts) {
    for (const std::string& batch : Batches(script, server)) {
      try {
        db::RunNativeScript(c, batch);
      } catch (const std::exception& e) {
        try {
          c.RollbackTrans();
        } catch (const std::exception&) {
          // The transaction is gone with the connection: nothing of it stays either way.
        }
        return ScriptFailure{std::string(script.path), batch, e.what()};
      }
    }
  }
  c.CommitTrans();
  return std::nullopt;
}

std::string Text(const db::Variant& v) {
  return v.is_null() ? std::string("(null)") : v.ToText();
}

}  // namespace

std::optional<std::string> WhyNotScratch(db::Connection& c) {
  std::set<std::string> ledger;
  for (const EmbeddedScript& script : InstallScripts(db::ServerOf(c))) {
    for (std::string& name : CreatedObjects(script.text))
      ledger.insert(std::move(name));
  }
  const db::QueryResult tables = db::QueryNative(
      c, "SELECT UPPER(TABLE_NAME) AS NAME FROM INFORMATION_SCHEMA.TABLES ORDER BY 1");
  std::vector<std::string> found;
  for (db::RowId id = 0; id < tables.table->size(); ++id) {
    const std::string name = tables.table->row(id).values[0].ToText();
    if (ledger.contains(name)) found.push_back(name);
  }
  if (!found.empty()) {
    std::string list;
    for (std::size_t i = 0; i < found.size() && i < 5; ++i)
      list += (i ? ", " : "") + found[i];
    if (found.size() > 5) list += ", ...";
    return "this database already holds " + std::to_string(found.size()) +
           " ledger tables or views (" + list +
           "): the self-test only works on an empty scratch database";
  }
  // Whether tables can be made here, tried inside a transaction that is then rolled back.
  c.BeginTrans();
  try {
    // Where the schema goes: dbo on SQL Server, whatever the login's default schema.
    db::RunNative(
        c, std::string("CREATE TABLE ") + (db::OnPostgres(c) ? "" : "dbo.") + kProbe + " (N INT)");
  } catch (const std::exception& e) {
    c.RollbackTrans();
    return std::string("tables cannot be made in this database: ") + e.what();
  }
  c.RollbackTrans();
  return std::nullopt;
}

std::optional<ScriptFailure> InstallSchema(db::Connection& c) {
  return RunScripts(c, InstallScripts(db::ServerOf(c)));
}

std::optional<ScriptFailure> DropSchema(db::Connection& c) {
  return RunScripts(c, {DropScript(db::ServerOf(c))});
}

void AddServerFault(db::Connection& c, const std::string& table) {
  const std::string fault = kServerFault;
  if (db::OnPostgres(c)) {
    db::RunNative(c, std::string("CREATE OR REPLACE FUNCTION ") + kTrigger +
                         "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '" +
                         fault + "'; END $$");
    db::RunNative(c, std::string("CREATE TRIGGER ") + kTrigger + " BEFORE INSERT OR UPDATE ON " +
                         table + " FOR EACH ROW EXECUTE FUNCTION " + kTrigger + "()");
    return;
  }
  // With XACT_ABORT off and RAISERROR (not THROW) the statement fails but the transaction
  // stays open: the rebuild's own rollback, not the server's, must take its writes back.
  db::RunNative(c, std::string("CREATE TRIGGER dbo.") + kTrigger + " ON dbo." + table +
                       " AFTER INSERT, UPDATE AS\nBEGIN\n  SET NOCOUNT ON;\n"
                       "  SET XACT_ABORT OFF;\n"
                       "  IF EXISTS (SELECT 1 FROM inserted) RAISERROR (N'" +
                       fault + "', 16, 1);\nEND");
}

void RemoveServerFault(db::Connection& c, const std::string& table) {
  if (db::OnPostgres(c)) {
    db::RunNative(c, std::string("DROP TRIGGER IF EXISTS ") + kTrigger + " ON " + table);
    db::RunNative(c, std::string("DROP FUNCTION IF EXISTS ") + kTrigger + "()");
    return;
  }
  db::RunNative(c, std::string("DROP TRIGGER IF EXISTS dbo.") + kTrigger);
}

std::vector<std::pair<std::string, std::string>> ServerFacts(db::Connection& c) {
  std::vector<std::pair<std::string, std::string>> facts;
  try {
    facts.emplace_back("client", db::ClientOf(c));
    const bool postgres = db::OnPostgres(c);
    const db::QueryResult r = db::QueryNative(
        c, postgres ? "SELECT version() AS server_version, current_database() AS database,"
                      " current_setting('server_version_num') AS compatibility_level,"
                      " (SELECT datcollate FROM pg_database WHERE datname = current_database())"
                      " AS database_collation,"
                      " current_setting('default_transaction_isolation') AS default_isolation,"
                      " current_setting('server_encoding') AS encoding"
                    : "SELECT @@VERSION AS server_version, DB_NAME() AS [database],"
                      " d.compatibility_level AS compatibility_level,"
                      " d.collation_name AS database_collation,"
                      " (SELECT collation_name FROM sys.databases WHERE name = 'tempdb')"
                      " AS tempdb_collation,"
                      " d.snapshot_isolation_state_desc AS snapshot_isolation,"
                      " d.is_read_committed_snapshot_on AS read_committed_snapshot"
                      " FROM sys.databases AS d WHERE d.name = DB_NAME()");
    const auto& fields = r.table->fields();
    if (r.table->size() > 0) {
      for (std::size_t f = 0; f < fields.size(); ++f) {
        std::string name = fields[f].name;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        facts.emplace_back(name, Text(r.table->row(0).values[f]));
      }
    }
  } catch (const std::exception& e) {
    facts.emplace_back("error", e.what());
  }
  return facts;
}

}  // namespace veriprog::selftest
