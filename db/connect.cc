#include "db/connection.h"
#include "db/error.h"
#include "db/odbc/connection_string.h"
#include "db/odbc/odbc_connection.h"
#include "db/postgres/pg_connection.h"
#include "db/text.h"

namespace veriprog::db {

std::shared_ptr<Connection> Connect(std::string_view connection_string) {
  const std::string_view text = Trim(connection_string);
  const std::string upper = ToUpperAscii(text);
  if (upper.rfind("POSTGRESQL://", 0) == 0 || upper.rfind("POSTGRES://", 0) == 0) {
    return std::make_shared<pg::PgConnection>(text);
  }
  if (odbc::IsOdbcConnectionString(text)) return odbc::OdbcConnection::Open(text);
  if (upper.find("PROVIDER=") != std::string::npos) {
    throw DbError(
        "OLE DB connection strings (Provider=...) are not supported: give an ODBC string "
        "(Driver={ODBC Driver 18 for SQL Server};Server=host;Database=ledger;UID=user;PWD=secret "
        "or DSN=name), a postgresql:// URI or libpq key=value text");
  }
  // "Server=...;Database=..." without a driver: ';' never separates libpq's key=value pairs.
  if (text.find(';') != std::string_view::npos && text.find('\'') == std::string_view::npos) {
    odbc::ParseConnectionString(text);  // throws, saying what is missing
  }
  return std::make_shared<pg::PgConnection>(text);
}

}  // namespace veriprog::db
