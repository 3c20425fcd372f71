// Generates a ledger for tests, the demo and the benchmarks: companies and fiscal years (one of
// them spanning two calendar years), chart of accounts, customers and suppliers with registry
// versions, branches, foreign currencies, causals with opening, closing and adjustment
// registrations, provisional and non-ordinary registrations that the totals must ignore, and the
// stored running totals worked out here, independently of the component, from the journal it
// wrote. A chosen number of stored totals is then made wrong on purpose, and listed.
// Seeded and deterministic: the same options give the same ledger.
//
// Companies 1 and 2 are generated; a firm with more companies on its server gets companies 3, 4,
// ... as copies of them under new codes (odd codes copy company 1, even ones company 2), each with
// its own activities, stored totals and the same totals made wrong, listed under its code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/decimal.h"

namespace veriprog::db {
class Connection;
}

namespace veriprog::gen {

// The shape of the firm whose ledger is generated. The families add their registrations on every
// shape; a shape changes the core journal's lines and the companies.
enum class LedgerShape {
  kStandard,       // a trading company: 200 accounts, customers and suppliers by size
  kFewAccounts,    // a dozen accounts and 30 counterparts, each on very many lines
  kManyParties,    // a customer or supplier on most lines, one in four kept in a currency
  kManyCompanies,  // 100 companies of modest size: a twentieth of the lines asked each
  kSparse,         // lines mostly Null: no branch, no currency, seldom a customer or supplier
};
// "standard", "few-accounts", "many-parties", "many-companies", "sparse".
std::optional<LedgerShape> ShapeNamed(std::string_view name);
const char* ShapeName(LedgerShape shape);
std::vector<std::string> ShapeNames();  // every shape's name, the default first

struct GeneratorOptions {
  std::uint64_t seed = 1;
  std::int64_t lines = 10000;  // journal lines, about
  int wrong = 5;               // stored totals made wrong on purpose
  int customers = 0;           // customers per company (suppliers: half); 0 picks by size
  int companies = 2;           // companies in the ledger, 2 or more
  int wrong_months = 0;        // monthly account totals made wrong on purpose
  LedgerShape shape = LedgerShape::kStandard;
};

// One fiscal year of a company that the generator filled.
struct GeneratedFiscalYear {
  int ditta;
  int anno;
  int progressivo;
  std::string start;  // YYYY-MM-DD
  std::string end;
};

// A stored total made wrong: the key as the account check shows it, and what was added. A yearly
// total (mese 0) shows in the account check; a monthly one only beside the journal's months.
struct WrongTotal {
  int ditta;
  int anno;
  int progressivo;
  std::string conto;  // CONTO as the check prints it (account, or prefix + customer code)
  int sede;
  std::string valuta;        // "EURO", the currency code, or "(EURO)"
  db::Decimal added;         // the check's DIFFSALDO is minus this
  std::string what;          // which stored column, for people
  std::string account = {};  // the key as the ledger holds it: account, customer or supplier
  int tipocf = 0;
  int clifor = 0;
  int annosol = 0;  // the calendar month of a monthly total; 0 for a yearly one
  int mese = 0;
};

// A stored total of another family made wrong on purpose: which family, the key as its check
// shows it, and what was changed.
struct WrongStored {
  std::string family;  // "turnover", "vat", "plafond", ...
  int ditta;
  int anno;  // calendar year, or fiscal year for the families that work on one
  std::string key;
  std::string what;
};

struct GeneratedLedger {
  std::vector<GeneratedFiscalYear> fiscal_years;
  std::vector<WrongTotal> wrong;
  std::vector<WrongStored> wrong_stored;
  std::int64_t journal_lines = 0;
  std::int64_t yearly_totals = 0;
  std::int64_t monthly_totals = 0;
};

// Writes the ledger into the empty development schema behind `connection`, libpq or ODBC, in one
// transaction: on failure nothing is left written. The same options give the same ledger and the
// same lists through either. Throws (std::runtime_error, DbError) with the reason; a database
// that already holds companies or a journal is refused with a ParameterError, nothing written.
GeneratedLedger GenerateLedger(db::Connection& connection, const GeneratorOptions& options);
// The same on a connection opened from `connection_string` (see db::Connect).
GeneratedLedger GenerateLedger(const std::string& connection_string,
                               const GeneratorOptions& options);

}  // namespace veriprog::gen
