// The account totals month by month: the stored monthly totals (CG52, and CGV1 for a currency)
// beside the journal's ordinary movements of each month, counted as the rebuild counts them (the
// definitive, ordinary registrations of the fiscal year, opening and closing balances and
// adjustments aside, by the month of the line's registration date). `explain accounts` and the
// charts of the HTML report read them. Every value pasted into these statements is a whole number
// or a text with its quotes doubled.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/date_time.h"
#include "veriprog/decimal.h"
#include "veriprog/recordset.h"

namespace veriprog::cli {

// A fiscal year of a company as the fiscal-year reader gives it.
struct FiscalScope {
  std::int64_t ditta = 0, esercizio = 0, progressivo = 0;
  db::DateTime start, end;

  std::string Label() const;  // "2024/1"
  // The calendar months it touches, whole months, first to last: (year, month).
  std::vector<std::pair<int, int>> Months() const;
};

// The company's fiscal year, or nullopt when the reader does not find it.
std::optional<FiscalScope> ReadFiscalYear(const std::shared_ptr<db::Connection>& connection,
                                          std::int64_t ditta, std::int64_t esercizio,
                                          std::int64_t progressivo);

// The physical name of a ledger table identifier (the development table names).
std::string LedgerTable(int table_id);

// A key of the account totals as the ledger matches it: null account as '', null customer or
// supplier and branch as 0.
struct LedgerKey {
  std::string conto;
  std::int64_t tipocf = 0;
  std::int64_t clifor = 0;
  std::int64_t sede = 0;
  auto operator<=>(const LedgerKey&) const = default;
};

// The account check's code of a key: the account, or for a customer or supplier the account's
// first two characters followed by its code on eight digits.
std::string CheckCode(const LedgerKey& key);

// Which keys to read: every field given must match; prefix matches the account's first two
// characters.
struct KeyPattern {
  std::optional<std::string> conto = {}, prefix = {};
  std::optional<std::int64_t> tipocf = {}, clifor = {}, sede = {};
};

// Debit and credit of one month: in the currency for a currency key, with their euro twins
// (the same as debit and credit for euro).
struct MonthAmounts {
  db::Decimal dare, avere, dare_euro, avere_euro;
  int stored_rows = 0;  // stored rows behind the figures (0: none stored)
};

using Month = std::pair<int, int>;  // year, month

struct KeyMonths {
  std::map<Month, MonthAmounts> stored, journal;
};

// The stored and journal months of the keys the patterns pick, in `valuta` ("EURO" for the
// accounting currency). Throws db::DbError on a database failure.
std::map<LedgerKey, KeyMonths> MonthlyTotals(db::Connection& connection, const FiscalScope& scope,
                                             const std::string& valuta,
                                             const std::vector<KeyPattern>& keys);

// The SQL text of a value: a whole number, or a text between quotes with its quotes doubled.
std::string SqlNumber(std::int64_t value);
std::string SqlString(const std::string& value);

// A small chart's data: one point per month, stored against journal.
struct MonthSeries {
  std::string title;
  std::string note;
  struct Point {
    int year, month;
    db::Decimal stored, journal;
  };
  std::vector<Point> points;
};

// For the flagged rows of an account check (at most `limit` of them, in their order): the net
// movement (debit minus credit) of each month of the fiscal year, stored against journal, in the
// row's currency (euro for its '(EURO)' twin).
std::vector<MonthSeries> FlaggedAccountCharts(db::Connection& connection, const FiscalScope& scope,
                                              db::Recordset& rows, std::size_t limit);

}  // namespace veriprog::cli
