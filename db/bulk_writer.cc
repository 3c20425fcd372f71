#include "db/bulk_writer.h"

#include "db/native.h"
#include "veriprog/error.h"

namespace veriprog::db {

bool DeferForeignKeys(Connection& connection) {
  if (!OnPostgres(connection)) return false;
  RunNative(connection, "SET CONSTRAINTS ALL DEFERRED");
  return true;
}

void UpdateStatistics(Connection& connection, const std::vector<std::string>& tables) {
  const bool postgres = OnPostgres(connection);
  if (tables.empty()) {
    RunNative(connection, postgres ? "ANALYZE" : "EXEC sp_updatestats");
    return;
  }
  for (const auto& t : tables) {
    RunNative(connection,
              (postgres ? "ANALYZE " : "UPDATE STATISTICS ") + NativeName(connection, t));
  }
}

void WithExplicitIdentity(Connection& connection, std::string_view table, std::string_view column,
                          const std::function<void()>& write) {
  const std::string name = NativeName(connection, table);
  if (!OnPostgres(connection)) {
    // SQL Server takes values of an identity column only while asked to, and then numbers new
    // rows above the highest by itself.
    RunNative(connection, "SET IDENTITY_INSERT " + name + " ON");
    try {
      write();
    } catch (...) {
      try {
        RunNative(connection, "SET IDENTITY_INSERT " + name + " OFF");
      } catch (const DbError&) {
        // The write's own failure is the one to report.
      }
      throw;
    }
    RunNative(connection, "SET IDENTITY_INSERT " + name + " OFF");
    return;
  }
  write();
  std::string lower(column);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  RunNative(connection, "SELECT setval(pg_get_serial_sequence('" + name + "', '" + lower +
                            "'), (SELECT COALESCE(MAX(" + std::string(column) + "), 0) + 1 FROM " +
                            name + "), false)");
}

}  // namespace veriprog::db
