// A small journal in memory: its lines are summed per account, month and currency through the
// record-set layer (Filter, AddNew, Update), then set beside stored totals with one wrong
// amount, and the differing row is flagged. The same walk the checks do, without a database.
#include <cstdio>
#include <string>

#include "veriprog/recordset.h"

using veriprog::db::Decimal;
using veriprog::db::FieldDef;
using veriprog::db::Recordset;
using veriprog::db::Variant;

namespace {

struct JournalLine {
  const char* account;
  int month;
  const char* currency;
  const char* debit;
  const char* credit;
};

constexpr JournalLine kJournal[] = {
    {"10.01.001", 1, "EUR", "1200.00", "0"}, {"40.01.010", 1, "EUR", "0", "1000.00"},
    {"25.02.004", 1, "EUR", "0", "200.00"},  {"10.01.001", 2, "USD", "530.25", "0"},
    {"40.01.010", 2, "USD", "0", "530.25"},  {"10.01.001", 2, "EUR", "0.10", "0"},
    {"10.01.001", 2, "EUR", "0.20", "0"},    {"60.03.002", 2, "EUR", "0", "0.30"},
};

constexpr struct {
  const char* account;
  int month;
  const char* currency;
  const char* balance;
} kStored[] = {
    {"10.01.001", 1, "EUR", "1200.00"}, {"40.01.010", 1, "EUR", "-1000.00"},
    {"25.02.004", 1, "EUR", "-200.00"}, {"10.01.001", 2, "USD", "530.25"},
    {"40.01.010", 2, "USD", "-530.25"}, {"10.01.001", 2, "EUR", "0.31"},  // one cent too many
    {"60.03.002", 2, "EUR", "-0.30"},
};

Recordset TotalsSet() {
  Recordset rs;
  rs.AppendField(FieldDef::VarChar("CONTO", 20));
  rs.AppendField(FieldDef::Integer("MESE", 2));
  rs.AppendField(FieldDef::Char("VALUTA", 4));
  rs.AppendField(FieldDef::Numeric("SALDO", 19, 2));
  rs.AppendField(FieldDef::Numeric("SALDOPROGR", 19, 2));
  rs.Open();
  return rs;
}

std::string KeyFilter(const char* account, int month, const char* currency) {
  return std::string("CONTO = '") + account + "' AND MESE = " + std::to_string(month) +
         " AND VALUTA = '" + currency + "'";
}

}  // namespace

int main() {
  Recordset totals = TotalsSet();
  for (const auto& line : kJournal) {
    const Decimal movement = Decimal::Parse(line.debit) - Decimal::Parse(line.credit);
    totals.Filter(KeyFilter(line.account, line.month, line.currency));
    if (totals.eof()) {
      totals.ClearFilter();
      totals.AddNew();
      totals.Set("CONTO", line.account);
      totals.Set("MESE", line.month);
      totals.Set("VALUTA", line.currency);
      totals.Set("SALDO", movement);
    } else {
      totals.Set("SALDO", Add(totals.Get("SALDO"), movement));
    }
    totals.Update();
  }
  totals.ClearFilter();
  for (const auto& stored : kStored) {
    totals.Filter(KeyFilter(stored.account, stored.month, stored.currency));
    if (!totals.eof()) totals.Set("SALDOPROGR", Decimal::Parse(stored.balance));
  }
  totals.ClearFilter();

  int flagged = 0;
  std::printf("%-10s %4s %-6s %12s %12s %12s %s\n", "CONTO", "MESE", "VALUTA", "SALDO",
              "SALDOPROGR", "DIFFSALDO", "FLAGSBIL");
  for (totals.MoveFirst(); !totals.eof(); totals.MoveNext()) {
    const Variant diff = Subtract(totals.Get("SALDO"), totals.Get("SALDOPROGR"));
    const bool differs = !diff.has_value() || !diff.AsDecimal().is_zero();
    flagged += differs;
    std::printf("%-10s %4s %-6s %12s %12s %12s %s\n", totals.Get("CONTO").ToText().c_str(),
                totals.Get("MESE").ToText().c_str(), totals.Get("VALUTA").ToText().c_str(),
                totals.Get("SALDO").AsDecimal().ToString().c_str(),
                totals.Get("SALDOPROGR").AsDecimal().ToString().c_str(),
                differs ? diff.AsDecimal().ToString().c_str() : "", differs ? "*" : "");
  }
  std::printf("%d of %lld totals differ from the journal\n", flagged,
              static_cast<long long>(totals.RecordCount()));
  return 0;
}
