// Dates, amounts, reads and bulk rows for the generator: the plumbing every family's part shares.
#include <cstdio>
#include <functional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>

#include "db/bulk_writer.h"
#include "gen/ledger_writer.h"
#include "gen/spool.h"
#include "veriprog/connection.h"
#include "veriprog/date_time.h"
#include "veriprog/error.h"
#include "veriprog/variant.h"

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

struct Rows::Held {
  db::BulkTable table;
  RowSpool rows;
};

Rows::Rows(db::Connection& conn, std::string table, std::vector<std::string> columns,
           bool streaming, std::string identity)
    : conn_(conn) {
  db::BulkTable target{std::move(table), std::move(columns), std::move(identity)};
  if (streaming) {
    writer_ = db::OpenBulkWriter(conn, std::move(target), db::BulkMode::kStream);
  } else {
    held_ = std::make_unique<Held>();
    held_->table = std::move(target);
  }
}

Rows::~Rows() = default;

void Rows::Row(std::initializer_list<Opt> values) {
  Row(std::span<const Opt>(values.begin(), values.size()));
}

void Rows::Row(std::span<const Opt> values) {
  if (!held_) {
    if (!writer_) throw std::logic_error("generator: a row after the rows were finished");
    writer_->Row(values);
    return;
  }
  const auto& columns = held_->table.columns;
  if (!columns.empty() && values.size() != columns.size()) {
    throw db::DbError("a row of " + std::to_string(values.size()) + " values for the " +
                      std::to_string(columns.size()) + " columns of " + held_->table.table);
  }
  held_->rows.Add(values);
}

void Rows::Finish() {
  if (held_) {
    // The connection is free now: the held rows stream in, as they were added.
    writer_ = db::OpenBulkWriter(conn_, held_->table, db::BulkMode::kStream);
    held_->rows.ForEach([&](std::span<const Opt> row) { writer_->Row(row); });
    held_.reset();
  }
  if (writer_) writer_->Finish();
}

void Exec(db::Connection& conn, const std::string& sql) {
  conn.Execute(sql);
}

namespace {

std::string TwoDigits(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

Opt Text(const db::Variant& v) {
  using Kind = db::Variant::Kind;
  switch (v.kind()) {
    case Kind::kEmpty:
    case Kind::kNull:
      return std::nullopt;
    case Kind::kBoolean:
      return v.AsBoolean() ? "1" : "0";
    case Kind::kInteger:
      return std::to_string(v.AsInteger());
    case Kind::kDecimal:
      return v.AsDecimal().ToString();
    case Kind::kString:
      return v.AsString();
    case Kind::kDateTime: {
      const db::DateTime& t = v.AsDateTime();
      std::string out = std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day);
      if (t.hour != 0 || t.minute != 0 || t.second != 0) {
        out += " " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
      }
      return out;
    }
  }
  return std::nullopt;
}

std::string Key(const std::vector<Opt>& row, std::size_t keys) {
  std::string key;
  for (std::size_t i = 0; i < keys; ++i) {
    std::string_view v = row[i] ? std::string_view(*row[i]) : std::string_view("\\N");
    while (!v.empty() && v.back() == ' ')
      v.remove_suffix(1);  // codes compare without their padding, as the ledger does
    key += v;
    key += '\t';
  }
  return key;
}

}  // namespace

void ForEachRow(db::Connection& conn, const std::string& sql,
                const std::function<void(const std::vector<Opt>&)>& each) {
  // Each row seen as it arrives and none kept: the journal of ten million lines is read through
  // without being held.
  std::vector<Opt> row;
  conn.QueryKeeping(
      sql, [&](const std::vector<db::FieldDef>& fields, const std::vector<db::Variant>& values) {
        row.resize(fields.size());
        for (std::size_t f = 0; f < fields.size(); ++f)
          row[f] = Text(values[f]);
        each(row);
        return false;
      });
}

std::vector<std::vector<Opt>> Query(db::Connection& conn, const std::string& sql) {
  std::vector<std::vector<Opt>> rows;
  ForEachRow(conn, sql, [&](const std::vector<Opt>& row) { rows.push_back(row); });
  return rows;
}

void InsertMissing(db::Connection& conn, const std::string& table,
                   const std::vector<std::string>& columns, std::size_t keys,
                   const std::vector<std::vector<Opt>>& rows) {
  std::string select;
  for (std::size_t i = 0; i < keys; ++i)
    select += (i == 0 ? "" : ", ") + columns[i];
  std::set<std::string> held;
  for (const auto& row : Query(conn, "SELECT " + select + " FROM " + table))
    held.insert(Key(row, keys));
  Rows out(conn, table, columns);
  for (const auto& row : rows) {
    if (!held.insert(Key(row, keys)).second) continue;
    out.Row(std::span<const Opt>(row));
  }
  out.Finish();
}

}  // namespace veriprog::gen
