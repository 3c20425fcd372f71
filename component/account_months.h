// The account totals month by month: the stored monthly totals (and their currency twins for a
// currency) beside the journal's ordinary movements of each month, counted as the rebuild counts
// them (the definitive, ordinary registrations of the fiscal year, opening and closing balances
// and adjustments aside, by the month of the line's registration date). The explanation of a
// key and the charts of flagged keys read them. Every value pasted into these statements is a
// whole number or a text with its quotes doubled.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "component/ledger_lookup.h"
#include "veriprog/connection.h"
#include "veriprog/decimal.h"
#include "veriprog/explain.h"

namespace veriprog {

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

struct KeyMonths {
  std::map<Month, MonthAmounts> stored, journal;
};

// The stored and journal months of the keys the patterns pick, in `valuta` ("EURO" for the
// accounting currency). Throws db::DbError on a database failure.
std::map<LedgerKey, KeyMonths> MonthlyTotals(db::Connection& connection, const FiscalScope& scope,
                                             const std::string& valuta,
                                             const std::vector<KeyPattern>& keys);

}  // namespace veriprog
