#include "selftest/stored_totals.h"

#include <algorithm>

#include "veriprog/row_table.h"

namespace veriprog::selftest {

const std::vector<std::string>& StoredTotalTables() {
  static const std::vector<std::string> tables = {
      "CG53_PROGA",       "CG52_PROGM",       "CGV0_PROGAVAL",     "CGV1_PROGMVAL",
      "CG59_PROGIVAM",    "CG51_PROGPLAFOND", "CGL4_PROGIVAPLAF",  "CGM3_PROGIVAM",
      "CGL3_PROGIVAMARG", "CGA0_PROGIVAM",    "CGL6_PROGIVAAGVIAG"};
  return tables;
}

StoredTotals ReadStoredTotals(db::Connection& connection) {
  StoredTotals totals;
  for (const std::string& table : StoredTotalTables()) {
    const db::QueryResult result = connection.Query("SELECT * FROM " + table);
    const db::RowTable& rows = *result.table;
    for (db::RowId id = 0; id < rows.size(); ++id) {
      std::string line = table + ":";
      for (const db::Variant& v : rows.row(id).values)
        line += " " + (v.is_null() ? std::string("NULL") : v.ToText()) + "|";
      totals.lines.push_back(std::move(line));
    }
  }
  std::sort(totals.lines.begin(), totals.lines.end());
  return totals;
}

std::string FirstDifference(const StoredTotals& before, const StoredTotals& after) {
  const auto [b, a] = std::mismatch(before.lines.begin(), before.lines.end(), after.lines.begin(),
                                    after.lines.end());
  if (b == before.lines.end() && a == after.lines.end()) return {};
  // The smaller of the two is the line the other lacks.
  if (a == after.lines.end() || (b != before.lines.end() && *b < *a)) return "before: " + *b;
  return "after: " + *a;
}

}  // namespace veriprog::selftest
