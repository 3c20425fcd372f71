// One key of the account totals laid open: the stored monthly totals beside the journal's
// months, the first month where they part and the journal lines of that month (with whether and
// why each counts), then the yearly figures stored against the journal's. It reads only: the
// answer to "why does the check flag this account?".
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/date_time.h"
#include "veriprog/decimal.h"
#include "veriprog/main_object.h"
#include "veriprog/recordset.h"

namespace veriprog {

// A fiscal year of a company as the fiscal-year reader gives it.
struct FiscalScope {
  std::int64_t ditta = 0, esercizio = 0, progressivo = 0;
  db::DateTime start, end;

  std::string Label() const;  // "2024/1"
  // The calendar months it touches, whole months, first to last: (year, month).
  std::vector<std::pair<int, int>> Months() const;
};

using Month = std::pair<int, int>;  // year, month

// A key of the account totals as the ledger matches it: null account as '', null customer or
// supplier and branch as 0.
struct LedgerKey {
  std::string conto;
  std::int64_t tipocf = 0;
  std::int64_t clifor = 0;
  std::int64_t sede = 0;
  auto operator<=>(const LedgerKey&) const = default;
};

struct ExplainRequest {
  // Ditta, Esercizio, Progressivo as a host gives them: checked as whole numbers.
  std::optional<std::string> ditta, esercizio, progressivo;
  std::string connection = {};  // SConnect: read when no connection is handed over
  LedgerKey key = {};           // sede counts only when all_branches is false
  bool all_branches = true;     // every branch of the key together
  std::string valuta = "EURO";
};

struct Explanation {
  FiscalScope scope;
  // ANNO, MESE, DAREPROGR, AVEREPROGR, DAREMOV, AVEREMOV, DIFFDARE, DIFFAVERE (journal minus
  // stored, Null where equal), for a currency the same in euro (...EURO), and FLAGSBIL: one row
  // per month of the fiscal year (and any stored month outside it); stored Null where no row is.
  db::Recordset months;
  // VOCE (the stored column), PROGR, MOV, DIFF, FLAGSBIL: the yearly figures.
  db::Recordset year;
  std::optional<Month> first_difference;
  bool year_agrees = true;
  std::optional<db::Recordset> lines;  // the journal lines of the first month that differs
  std::string verdict;                 // one sentence for people
  std::int64_t flagged = 0;            // months and yearly figures that differ
};

// Stato as the operations set it: tsParametriNonValidi with the reason for a parameter that is
// no whole number, a key too long for its column or a fiscal year the company does not have;
// tsProgramError for a database failure.
struct ExplainResult {
  StatoEnum stato = tsOk;
  std::string errore;
  std::string causa;                       // why no connection could be made
  std::optional<Explanation> explanation;  // when stato is tsOk
};

// On `connection`, or on a connection of its own to request.connection when it is null (it reads
// only and leaves any transaction as it is). The parameters are checked before any connection is
// made. Never throws.
ExplainResult ExplainAccount(const std::shared_ptr<db::Connection>& connection,
                             ExplainRequest request);

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

// For the flagged rows of an account check (at most `limit` of them, in their order) on the
// company and fiscal year of `scope`: the net movement (debit minus credit) of each month,
// stored against journal, in the row's currency (euro for its '(EURO)' twin). Never throws: on a
// database failure the charts are empty and `error` says why.
std::vector<MonthSeries> FlaggedAccountCharts(db::Connection& connection, const FiscalScope& scope,
                                              db::Recordset& rows, std::size_t limit,
                                              std::string* error = nullptr);
// The same for the account check last run on main, with its own parameters and connection.
std::vector<MonthSeries> FlaggedAccountCharts(const CLSCG_VERIPROG& main, db::Recordset& rows,
                                              std::size_t limit, std::string* error = nullptr);

}  // namespace veriprog
