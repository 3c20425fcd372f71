// Results rendered as text, so that a whole result is checked at once.
#pragma once

#include <string>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/recordset.h"

namespace veriprog::testing {

// The rows in view, one line each: the fields' text forms joined by '|' (blanks padding a code
// cut), numbers without trailing fraction zeros.
std::string Righe(db::Recordset& rs);

// The rows of a query, rendered as Righe renders them.
std::string Righe(db::Connection& conn, const std::string& sql);

// The lines of a text; lines sorted, each ended by a line break, for results in no fixed order.
std::vector<std::string> Lines(const std::string& text);
std::string Sorted(std::vector<std::string> lines);

}  // namespace veriprog::testing
