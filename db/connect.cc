#include "db/connection.h"
#include "db/error.h"
#include "db/postgres/pg_connection.h"
#include "db/text.h"

namespace veriprog::db {

std::shared_ptr<Connection> Connect(std::string_view connection_string) {
  const std::string upper = ToUpperAscii(Trim(connection_string));
  if (upper.find("DRIVER=") != std::string::npos || upper.find("DSN=") != std::string::npos ||
      upper.find("PROVIDER=") != std::string::npos) {
    throw DbError(
        "ODBC connection strings are not available in this build: give a postgresql:// URI or "
        "libpq key=value text");
  }
  return std::make_shared<pg::PgConnection>(Trim(connection_string));
}

}  // namespace veriprog::db
