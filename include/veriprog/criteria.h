// Criteria: the filter and find texts of record sets, "FIELD op value" terms joined by AND, as
// the component composes them ("CONTOPAR = 'X' AND SEDE = 0 AND VALUTA <> 'EURO'").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "veriprog/variant.h"

namespace veriprog::db {

enum class CompareOp { kEq, kNe, kLt, kGt, kLe, kGe };

struct Criterion {
  std::string field;  // as written; record sets match names without case
  CompareOp op = CompareOp::kEq;
  Variant value;  // Integer or Decimal for numbers, String for 'quoted' text
};

// Terms of a criteria text. Field names may be written [bracketed]; values are numbers
// (-12, 3.50) or 'text' with '' standing for a quote. Throws DbError naming the problem for
// anything else: an empty term, a missing value, OR, LIKE, NOT, IN, parentheses, text after the
// last term. Never a silent match-all.
std::vector<Criterion> ParseCriteria(std::string_view text);

// True when the result of Compare (-1, 0, 1) satisfies the operator.
bool Satisfies(CompareOp op, int comparison);

}  // namespace veriprog::db
