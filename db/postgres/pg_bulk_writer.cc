// Bulk rows over libpq: COPY ... FROM STDIN in text format, the fastest way into PostgreSQL.
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>

#include "db/bulk_writer.h"
#include "db/postgres/pg_connection.h"
#include "db/postgres/tsql_rewrite.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::pg {
namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A table's name as PostgreSQL knows it: #name is the session's temporary table.
std::string NativeName(const std::string& table) {
  return !table.empty() && table[0] == '#' ? tsql::TempTableName(table) : table;
}

class CopyWriter final : public BulkWriter {
 public:
  CopyWriter(PgConnection& owner, PGconn* conn, BulkTable table, BulkMode mode)
      : owner_(owner), conn_(conn), table_(std::move(table)), mode_(mode) {
    statement_ = "COPY " + NativeName(table_.table);
    if (!table_.columns.empty()) {
      statement_ += " (";
      for (std::size_t i = 0; i < table_.columns.size(); ++i)
        statement_ += (i == 0 ? "" : ", ") + table_.columns[i];
      statement_ += ")";
    }
    statement_ += " FROM STDIN";
    if (mode_ == BulkMode::kStream) Start();
  }

  ~CopyWriter() override {
    // Unfinished: the COPY ends failed, so that the connection can run statements again.
    if (started_ && !finished_) {
      PQputCopyEnd(conn_, "abandoned");
      Drain();
    }
  }

  void Row(std::span<const std::optional<std::string>> values) override {
    if (!table_.columns.empty() && values.size() != table_.columns.size()) {
      throw DbError("a row of " + std::to_string(values.size()) + " values for the " +
                    std::to_string(table_.columns.size()) + " columns of " + table_.table);
    }
    bool first = true;
    for (const auto& v : values) {
      if (!first) buffer_.push_back('\t');
      first = false;
      if (!v) {
        buffer_ += "\\N";
        continue;
      }
      for (char c : *v) {
        if (c == '\\' || c == '\t' || c == '\n' || c == '\r') buffer_.push_back('\\');
        buffer_.push_back(c);
      }
    }
    buffer_.push_back('\n');
    if (mode_ == BulkMode::kStream && buffer_.size() > (1 << 20)) Flush();
  }

  void Finish() override {
    if (finished_) return;
    if (!started_) Start();
    Flush();
    finished_ = true;
    if (PQputCopyEnd(conn_, nullptr) != 1) throw DbError(std::string(Trim(PQerrorMessage(conn_))));
    if (const std::string failure = Drain(); !failure.empty()) throw DbError(failure);
    if (!table_.identity.empty()) {
      owner_.RunNative("SELECT setval(pg_get_serial_sequence('" + NativeName(table_.table) +
                       "', '" + Lower(table_.identity) + "'), (SELECT COALESCE(MAX(" +
                       table_.identity + "), 0) + 1 FROM " + NativeName(table_.table) +
                       "), false)");
    }
  }

 private:
  void Start() {
    owner_.RunNative("SELECT 1 FROM " + NativeName(table_.table) + " WHERE 1 = 0");  // interrupted?
    PGresult* r = PQexec(conn_, statement_.c_str());
    const bool ok = r != nullptr && PQresultStatus(r) == PGRES_COPY_IN;
    const std::string message = ok ? "" : ServerMessage(r, conn_);
    PQclear(r);
    if (!ok) throw DbError(message);
    started_ = true;
  }

  // In pieces: libpq copies what it is given into its own buffer, and held rows may run to
  // hundreds of megabytes.
  void Flush() {
    constexpr std::size_t kPiece = 1 << 20;
    for (std::size_t from = 0; from < buffer_.size(); from += kPiece) {
      const std::size_t size = std::min(kPiece, buffer_.size() - from);
      if (PQputCopyData(conn_, buffer_.data() + from, static_cast<int>(size)) != 1) {
        throw DbError(std::string(Trim(PQerrorMessage(conn_))));
      }
    }
    buffer_.clear();
    buffer_.shrink_to_fit();
  }

  // Reads every result of the COPY; the first failure's message, or "".
  std::string Drain() {
    std::string failure;
    while (PGresult* r = PQgetResult(conn_)) {
      if (failure.empty() && PQresultStatus(r) != PGRES_COMMAND_OK)
        failure = ServerMessage(r, conn_);
      PQclear(r);
    }
    return failure;
  }

  PgConnection& owner_;
  PGconn* conn_;
  BulkTable table_;
  BulkMode mode_;
  std::string statement_;
  std::string buffer_;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<BulkWriter> PgConnection::OpenBulkWriter(BulkTable table, BulkMode mode) {
  return std::make_unique<CopyWriter>(*this, conn_.get(), std::move(table), mode);
}

}  // namespace veriprog::db::pg
