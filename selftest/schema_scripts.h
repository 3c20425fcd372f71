// The development ledger schema of each server, carried inside the program so that the self-test
// installs exactly what the repository's sql/ folder holds, and removes it again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/native.h"

namespace veriprog::selftest {

struct EmbeddedScript {
  std::string_view path;  // as in the repository: "sql/postgres/schema.sql"
  std::string_view text;
};
// Every embedded script (made at build time from sql/).
const std::vector<EmbeddedScript>& EmbeddedScripts();

// The scripts that install the schema on `server`, in the order install.sql runs them.
std::vector<EmbeddedScript> InstallScripts(db::Server server);
// The script that removes what they installed.
EmbeddedScript DropScript(db::Server server);

// What to send of a script: PostgreSQL takes it whole; SQL Server a batch at a time, the batches
// being what lies between lines that hold only GO (any case, blanks around it). Batches of
// nothing but blanks and comments are left out.
std::vector<std::string> Batches(const EmbeddedScript& script, db::Server server);

// The tables and views a script creates, upper case and without their schema ("CG42_MOVCONT").
std::vector<std::string> CreatedObjects(std::string_view script);

}  // namespace veriprog::selftest
