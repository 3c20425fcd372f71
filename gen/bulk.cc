// Dates, amounts and COPY for the generator: the plumbing every family's part shares.
#include <libpq-fe.h>

#include <cstdio>
#include <stdexcept>

#include "gen/ledger_writer.h"
#include "gen/pg_result.h"

namespace veriprog::gen {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

Date Date::FromDays(int z) {
  z += 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  const int d = doy - (153 * mp + 2) / 5 + 1;
  const int m = mp + (mp < 10 ? 3 : -9);
  return {yoe + era * 400 + (m <= 2), m, d};
}

int Date::Days() const {
  return DaysFromCivil(y, m, d);
}

std::string Date::Text() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string Money(Cents c) {
  const bool neg = c < 0;
  const Cents a = neg ? -c : c;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%lld.%02lld", neg ? "-" : "", static_cast<long long>(a / 100),
                static_cast<long long>(a % 100));
  return buf;
}

Cents ToEuro(Cents val, Cents rate) {
  const __int128 p = static_cast<__int128>(val) * rate;
  const __int128 q = p / 10000;
  const __int128 r = p % 10000;
  return static_cast<Cents>(q + (r >= 5000 ? 1 : (r <= -5000 ? -1 : 0)));
}

Copy::Copy(pg_conn* conn, std::string statement, bool streaming)
    : conn_(conn), statement_(std::move(statement)), streaming_(streaming) {
  if (streaming_) Start();
}

void Copy::Row(std::initializer_list<Opt> values) {
  bool first = true;
  for (const auto& v : values) {
    if (!first) buffer_.push_back('\t');
    first = false;
    if (!v) {
      buffer_ += "\\N";
    } else {
      for (char c : *v) {
        if (c == '\\' || c == '\t' || c == '\n' || c == '\r') buffer_.push_back('\\');
        buffer_.push_back(c);
      }
    }
  }
  buffer_.push_back('\n');
  if (streaming_ && buffer_.size() > (1 << 20)) Flush();
}

void Copy::Finish() {
  if (!streaming_) Start();
  Flush();
  if (PQputCopyEnd(conn_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(conn_));
  const PgResult r(PQgetResult(conn_));
  const bool ok = PQresultStatus(r.get()) == PGRES_COMMAND_OK;
  const std::string message = ok ? "" : PQresultErrorMessage(r.get());
  while (PgResult(PQgetResult(conn_)) != nullptr) {
  }
  if (!ok) throw std::runtime_error(message);
}

void Copy::Start() {
  const PgResult r(PQexec(conn_, statement_.c_str()));
  const bool ok = PQresultStatus(r.get()) == PGRES_COPY_IN;
  if (!ok) throw std::runtime_error(PQerrorMessage(conn_));
}

void Copy::Flush() {
  if (!buffer_.empty() &&
      PQputCopyData(conn_, buffer_.data(), static_cast<int>(buffer_.size())) != 1) {
    throw std::runtime_error(PQerrorMessage(conn_));
  }
  buffer_.clear();
}

void Exec(pg_conn* conn, const std::string& sql) {
  const PgResult r(PQexec(conn, sql.c_str()));
  const auto status = PQresultStatus(r.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error(PQresultErrorMessage(r.get()));
}

}  // namespace veriprog::gen
