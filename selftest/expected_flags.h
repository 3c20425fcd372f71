// What the self-test expects of a check on the generated ledger: the key each flagged row stands
// for, written as the generator names the stored totals it made wrong, and the keys it made wrong
// in one company and period. Families are named as in the run over every company ("accounts",
// "vat", "plafond-activity", ...).
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "gen/ledger_generator.h"
#include "veriprog/recordset.h"

namespace veriprog::selftest {

// The key of the check row `rs` stands on.
std::string KeyOfRow(const std::string& family, db::Recordset& rs);

// Whether the row `rs` stands on is flagged as different.
bool IsFlagged(db::Recordset& rs);
// The keys of the flagged rows of a check's result.
std::set<std::string> FlaggedKeys(const std::string& family, db::Recordset& rs);

// The keys the generator made wrong for `family` in company `ditta` and `period` ("2024/1" for a
// fiscal year, "2024" for a calendar year).
std::set<std::string> ExpectedKeys(const gen::GeneratedLedger& ledger, const std::string& family,
                                   std::int64_t ditta, const std::string& period);

// How many stored turnover figures the generator made wrong in a fiscal year of a company.
std::size_t ExpectedTurnover(const gen::GeneratedLedger& ledger, std::int64_t ditta,
                             const std::string& period);

// A flagged row that a rebuild leaves flagged by its own rules: the VAT register types 5 and 17,
// whose totals the rebuild keeps apart from what the check reckons.
bool LeftByRebuild(const std::string& family, db::Recordset& rs);

}  // namespace veriprog::selftest
