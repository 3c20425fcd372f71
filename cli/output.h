// Prints record sets for people and programs: an aligned table, CSV (RFC 4180) or JSON. Amounts
// are printed exactly, never through floating point; Null is empty in tables and CSV, null in JSON.
// Texts from the ledger are not trusted: the table shows their control characters as \xNN, and a
// CSV text cell that a spreadsheet would take for a formula starts with an apostrophe.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "veriprog/recordset.h"

namespace veriprog::cli {

enum class Format { kTable, kCsv, kJson };

// The rows in view, from the first, as JSON objects keyed by field name; decimals as strings
// holding the exact value. Leaves the cursor at EOF.
nlohmann::ordered_json RowsToJson(db::Recordset& rs);
// A Variant as JSON: decimals as exact strings, Null and Empty as null.
nlohmann::ordered_json ValueToJson(const db::Variant& value);

void PrintTable(std::ostream& out, db::Recordset& rs);
void PrintCsv(std::ostream& out, db::Recordset& rs);

}  // namespace veriprog::cli
