// explain accounts: one key of the account totals laid open. The stored monthly totals beside the
// journal's months, the first month where they part and the journal lines of that month (with
// whether and why each counts), then the yearly figures stored against the journal's. It reads
// only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/account_months.h"
#include "veriprog/connection.h"
#include "veriprog/recordset.h"

namespace veriprog::cli {

struct ExplainRequest {
  std::int64_t ditta = 0, esercizio = 0, progressivo = 0;
  LedgerKey key = {};        // sede counts only when all_branches is false
  bool all_branches = true;  // every branch of the key together
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

// nullopt when the company has no such fiscal year. Throws db::DbError on a database failure.
std::optional<Explanation> ExplainAccount(const std::shared_ptr<db::Connection>& connection,
                                          const ExplainRequest& request);

}  // namespace veriprog::cli
