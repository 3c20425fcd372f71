#include "db/postgres/pg_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::pg {
std::string ServerMessage(const PGresult* result, PGconn* conn) {
  if (result != nullptr) {
    if (const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) return primary;
  }
  return std::string(Trim(PQerrorMessage(conn)));
}

void PgConnection::ResultDeleter::operator()(PGresult* r) const {
  PQclear(r);
}
void PgConnection::ConnDeleter::operator()(PGconn* c) const {
  PQfinish(c);
}

// A libpq result as the T-SQL runner sees it.
class PgConnection::Outcome final : public StatementOutcome {
 public:
  Outcome(PgConnection& owner, Result result) : owner_(owner), result_(std::move(result)) {}
  bool has_rows() const override { return PQresultStatus(result_.get()) == PGRES_TUPLES_OK; }
  std::int64_t count() const override {
    if (has_rows()) return PQntuples(result_.get());
    const char* affected = PQcmdTuples(result_.get());
    return (affected != nullptr && *affected != '\0') ? std::atoll(affected) : 0;
  }
  std::optional<std::string> FirstValue() const override {
    if (PQntuples(result_.get()) == 0 || PQgetisnull(result_.get(), 0, 0)) return std::nullopt;
    return std::string(PQgetvalue(result_.get(), 0, 0));
  }
  QueryResult ToQueryResult() override { return owner_.ToQueryResult(result_.get()); }

 private:
  PgConnection& owner_;
  Result result_;
};

namespace {

struct ConninfoDeleter {
  void operator()(PQconninfoOption* o) const { PQconninfoFree(o); }
};

// The connection text's own settings, with the statement timeout added to its startup options:
// the server then bounds every statement of the session, and no batch carries it.
PGconn* ConnectWith(std::string_view conninfo, const ConnectOptions& options) {
  const std::string text(conninfo);
  if (!options.statement_timeout) return PQconnectdb(text.c_str());
  char* error = nullptr;
  std::unique_ptr<PQconninfoOption, ConninfoDeleter> parsed(PQconninfoParse(text.c_str(), &error));
  if (!parsed) {
    const std::string reason = error != nullptr ? std::string(Trim(error)) : "out of memory";
    PQfreemem(error);
    throw DbError("cannot connect to PostgreSQL: " + reason);
  }
  const auto ms = static_cast<long long>(
      std::ceil(std::clamp(*options.statement_timeout, 0.001, kMaxWaitSeconds) * 1000));
  std::vector<std::string> keys, values;
  bool has_options = false;
  for (const PQconninfoOption* o = parsed.get(); o->keyword != nullptr; ++o) {
    if (o->val == nullptr) continue;
    keys.emplace_back(o->keyword);
    values.emplace_back(o->val);
    if (keys.back() == "options") {
      has_options = true;
      values.back() += " -c statement_timeout=" + std::to_string(ms);
    }
  }
  if (!has_options) {
    keys.emplace_back("options");
    values.push_back("-c statement_timeout=" + std::to_string(ms));
  }
  std::vector<const char*> k, v;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    k.push_back(keys[i].c_str());
    v.push_back(values[i].c_str());
  }
  k.push_back(nullptr);
  v.push_back(nullptr);
  return PQconnectdbParams(k.data(), v.data(), 0);
}

}  // namespace

PgConnection::PgConnection(std::string_view conninfo, const ConnectOptions& options)
    : conn_(ConnectWith(conninfo, options)) {
  if (!conn_) throw DbError("cannot connect to PostgreSQL: out of memory");
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    throw DbError("cannot connect to PostgreSQL: " +
                  std::string(Trim(PQerrorMessage(conn_.get()))));
  }
  Command("SET client_encoding = 'UTF8'");
  for (const auto& setting : SessionSettings())
    Command(setting.c_str());
  runner_.WatchUnanalysedTables();
  cancel_.reset(PQgetCancel(conn_.get()));
}

PgConnection::~PgConnection() = default;

void PgConnection::CancelDeleter::operator()(PGcancel* c) const {
  PQfreeCancel(c);
}

void PgConnection::CancelRunning() noexcept {
  // PQcancel is safe from another thread: it has its own socket and touches no shared state.
  char error[256];
  if (cancel_) PQcancel(cancel_.get(), error, sizeof error);
}

void PgConnection::RunScript(const std::string& script) {
  ThrowIfInterrupted();
  ++round_trips_;
  // PQexec takes a script of many statements and answers with the last result, or the first
  // failure, after which the rest is not run.
  Result r(PQexec(conn_.get(), script.c_str()));
  const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
    throw DbError(ServerMessage(r.get(), conn_.get()));
}

std::string PgConnection::client() const {
  const int v = PQlibVersion();
  return "libpq " + std::to_string(v / 10000) + "." + std::to_string(v % 100);
}

void PgConnection::Command(const char* sql) {
  ++round_trips_;
  Result r(PQexec(conn_.get(), sql));
  const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw DbError(ServerMessage(r.get(), conn_.get()));
  }
}

PgConnection::Result PgConnection::SendRaw(const std::string& sql, int nparams,
                                           const char* const* params) {
  ThrowIfInterrupted();
  return ExecRaw(sql, nparams, params);
}

PgConnection::Result PgConnection::ExecRaw(const std::string& sql, int nparams,
                                           const char* const* params) {
  ++round_trips_;
  Result r(PQexecParams(conn_.get(), sql.c_str(), nparams, nullptr, params, nullptr, nullptr, 0));
  const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw DbError(ServerMessage(r.get(), conn_.get()));
  }
  return r;
}

PgConnection::Result PgConnection::SendAtomically(const std::string& sql, int nparams,
                                                  const char* const* params) {
  Result r;
  runner_.Atomically([&] { r = SendRaw(sql, nparams, params); });
  return r;
}

std::unique_ptr<StatementOutcome> PgConnection::Send(const std::string& sql) {
  return std::make_unique<Outcome>(*this, SendRaw(sql, 0, nullptr));
}

// The savepoint, the statement and the release in one round trip.
std::unique_ptr<StatementOutcome> PgConnection::SendUnderSavepoint(const std::string& sql,
                                                                   std::string_view savepoint) {
  std::vector<Result> results = SendUnderSavepoint({Piped{&sql, {}}}, savepoint);
  return std::make_unique<Outcome>(*this, std::move(results.front()));
}

std::optional<QueryResult> PgConnection::Execute(std::string_view batch,
                                                 std::int64_t* rows_affected) {
  return runner_.Execute(batch, rows_affected);
}

QueryResult PgConnection::QueryKeeping(std::string_view sql, const RowFilter& keep) {
  return runner_.QueryKeeping(sql, keep);
}

QueryResult PgConnection::Query(std::string_view sql) {
  auto result = Execute(sql);
  if (!result) throw DbError("the statement returned no rows to open a record set on");
  return std::move(*result);
}

// Advisory locks of the session, keyed by a 64-bit hash of the resource's name.
void PgConnection::Lock(std::string_view resource, bool exclusive) {
  const std::string name(resource);
  const char* params[] = {name.c_str()};
  SendAtomically(exclusive ? "SELECT pg_advisory_lock(hashtextextended($1, 0))"
                           : "SELECT pg_advisory_lock_shared(hashtextextended($1, 0))",
                 1, params);
}

bool PgConnection::TryLock(std::string_view resource, bool exclusive) {
  const std::string name(resource);
  const char* params[] = {name.c_str()};
  const Result r =
      SendAtomically(exclusive ? "SELECT pg_try_advisory_lock(hashtextextended($1, 0))"
                               : "SELECT pg_try_advisory_lock_shared(hashtextextended($1, 0))",
                     1, params);
  return PQntuples(r.get()) == 1 && std::string_view(PQgetvalue(r.get(), 0, 0)) == "t";
}

void PgConnection::Unlock(std::string_view resource, bool exclusive) {
  const std::string name(resource);
  const char* params[] = {name.c_str()};
  // Also after an interruption: a lock left held would keep other sessions waiting.
  ExecRaw(exclusive ? "SELECT pg_advisory_unlock(hashtextextended($1, 0))"
                    : "SELECT pg_advisory_unlock_shared(hashtextextended($1, 0))",
          1, params);
}

void PgConnection::BeginTrans() {
  if (in_transaction()) throw DbError("a transaction is already open on this connection");
  Command("BEGIN ISOLATION LEVEL READ COMMITTED");
  runner_.set_in_transaction(true);
}

void PgConnection::CommitTrans() {
  if (!in_transaction()) throw DbError("no transaction is open to commit");
  ThrowIfInterrupted();  // an interrupted operation is rolled back, never committed
  runner_.set_in_transaction(false);
  ++round_trips_;
  Result r(PQexec(conn_.get(), "COMMIT"));
  if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    throw DbError(ServerMessage(r.get(), conn_.get()));
  // PostgreSQL answers COMMIT of an aborted transaction with ROLLBACK: that is a failure.
  if (std::string_view(PQcmdStatus(r.get())) == "ROLLBACK") {
    throw DbError("the transaction had been aborted by the server and was rolled back");
  }
}

void PgConnection::RollbackTrans() {
  if (!in_transaction()) throw DbError("no transaction is open to roll back");
  runner_.set_in_transaction(false);
  Command("ROLLBACK");
}

}  // namespace veriprog::db::pg
