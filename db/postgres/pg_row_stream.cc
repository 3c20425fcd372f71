// A query's rows read from the server one by one (libpq's single-row mode) and handed on in
// blocks, so that the journal of a large company never sits in client memory whole.
#include <libpq-fe.h>

#include <algorithm>
#include <exception>
#include <optional>

#include "db/postgres/pg_connection.h"
#include "veriprog/error.h"

namespace veriprog::db::pg {

void PgConnection::ForEachBlock(std::string_view tsql, std::size_t block_rows,
                                const std::function<void(const RowTable&)>& each) {
  const std::string sql = runner_.PrepareQuery(tsql);
  block_rows = std::max<std::size_t>(block_rows, 1);
  runner_.Atomically([&] {
    ThrowIfInterrupted();
    ++round_trips_;
    if (PQsendQuery(conn_.get(), sql.c_str()) == 0) {
      throw DbError(ServerMessage(nullptr, conn_.get()));
    }
    const bool single_rows = PQsetSingleRowMode(conn_.get()) == 1;
    std::vector<Result> block;
    std::optional<std::string> error;
    std::exception_ptr failed;  // what `each` threw: the rest is read and dropped
    auto hand_on = [&] {
      if (block.empty() || failed) return;
      std::vector<PGresult*> parts;
      parts.reserve(block.size());
      for (const auto& r : block)
        parts.push_back(r.get());
      try {
        const QueryResult rows = RowsOf(parts);
        block.clear();
        each(*rows.table);
      } catch (...) {
        failed = std::current_exception();
        if (cancel_) {
          char message[256];
          PQcancel(cancel_.get(), message, sizeof message);
        }
      }
      block.clear();
    };
    // Every result is read to its end, whatever happens, so that the connection is free again.
    while (PGresult* raw = PQgetResult(conn_.get())) {
      Result r(raw);
      switch (PQresultStatus(raw)) {
        case PGRES_SINGLE_TUPLE:
          if (!failed && !error) block.push_back(std::move(r));
          if (block.size() >= block_rows) hand_on();
          break;
        case PGRES_TUPLES_OK:  // the end; the whole result, when single rows were refused
          if (!single_rows && !failed && !error) block.push_back(std::move(r));
          break;
        default:
          if (!error) error = ServerMessage(raw, conn_.get());
          block.clear();
      }
    }
    if (failed) std::rethrow_exception(failed);
    if (error) throw DbError(*error);
    hand_on();
    if (failed) std::rethrow_exception(failed);
  });
}

}  // namespace veriprog::db::pg
