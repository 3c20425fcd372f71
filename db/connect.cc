#include <mutex>
#include <vector>

#include "db/connection_hook.h"
#include "db/odbc/connection_string.h"
#include "db/odbc/odbc_connection.h"
#include "db/postgres/tsql_runner.h"
#ifdef VERIPROG_WITH_LIBPQ
#include "db/postgres/pg_connection.h"
#endif
#include "db/text.h"
#include "veriprog/connection.h"
#include "veriprog/error.h"

namespace veriprog::db {
namespace {

// The connections Connect made, for InterruptAll; expired ones are dropped as new ones come.
std::mutex registry_mutex;
std::vector<std::weak_ptr<Connection>>& Registry() {
  static std::vector<std::weak_ptr<Connection>> registry;
  return registry;
}

ConnectionDecorator& Decorator() {
  static ConnectionDecorator decorator;
  return decorator;
}

std::shared_ptr<Connection> Registered(std::shared_ptr<Connection> connection) {
  std::lock_guard lock(registry_mutex);
  if (Decorator()) connection = Decorator()(std::move(connection));
  auto& registry = Registry();
  std::erase_if(registry, [](const auto& w) { return w.expired(); });
  registry.push_back(connection);
  return connection;
}

// A libpq text or URI; the Windows build has no libpq and says so.
std::shared_ptr<Connection> OpenLibpq(std::string_view text, const ConnectOptions& options) {
#ifdef VERIPROG_WITH_LIBPQ
  return std::make_shared<pg::PgConnection>(text, options);
#else
  (void)text;
  (void)options;
  throw DbError(
      "cannot connect: this build reaches databases through ODBC only: give an ODBC string "
      "(Driver={ODBC Driver 18 for SQL Server};Server=host;Database=ledger;... or "
      "Driver={PostgreSQL Unicode};...)");
#endif
}

std::shared_ptr<Connection> Open(std::string_view connection_string,
                                 const ConnectOptions& options) {
  const std::string_view text = Trim(connection_string);
  const std::string upper = ToUpperAscii(text);
  if (upper.rfind("POSTGRESQL://", 0) == 0 || upper.rfind("POSTGRES://", 0) == 0) {
    return OpenLibpq(text, options);
  }
  if (odbc::IsOdbcConnectionString(text)) return odbc::OdbcConnection::Open(text, options);
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
  return OpenLibpq(text, options);
}

}  // namespace

std::shared_ptr<Connection> Connect(std::string_view connection_string) {
  return Registered(Open(connection_string, {}));
}

std::shared_ptr<Connection> Connect(std::string_view connection_string,
                                    const ConnectOptions& options) {
  return Registered(Open(connection_string, options));
}

std::string TranslateForPostgres(std::string_view batch) {
  return pg::TsqlRunner::Translate(batch);
}

void SetConnectionDecorator(ConnectionDecorator decorator) {
  std::lock_guard lock(registry_mutex);
  Decorator() = std::move(decorator);
}

int InterruptAll() noexcept {
  std::vector<std::shared_ptr<Connection>> alive;
  {
    std::lock_guard lock(registry_mutex);
    for (const auto& w : Registry()) {
      if (auto c = w.lock()) alive.push_back(std::move(c));
    }
  }
  for (const auto& c : alive)
    c->Interrupt();
  return static_cast<int>(alive.size());
}

void Connection::Interrupt() noexcept {
  interrupted_ = true;
  CancelRunning();
}

void Connection::ThrowIfInterrupted() const {
  if (interrupted_) throw DbError("operazione interrotta");
}

}  // namespace veriprog::db
