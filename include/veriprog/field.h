// FieldDef: one column of a record set (name, type, size, precision and scale, nullability), and
// the conversion every value goes through when it is stored in such a column.
#pragma once

#include <string>

#include "veriprog/variant.h"

namespace veriprog::db {

enum class FieldType {
  kChar,     // fixed width, padded with blanks (codes: causals, VAT codes, currencies)
  kVarChar,  // text up to size characters; size 0 means no limit
  kDecimal,  // exact number with precision and scale
  kInteger,  // whole number of size bytes (2, 4 or 8)
  kBoolean,
  kDateTime,
};

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kVarChar;
  int size = 0;       // characters for texts, bytes for integers
  int precision = 0;  // decimal digits in all, for kDecimal
  int scale = 0;      // fraction digits, for kDecimal
  bool nullable = true;

  static FieldDef Char(std::string name, int size, bool nullable = true);
  static FieldDef VarChar(std::string name, int size = 0, bool nullable = true);
  static FieldDef Numeric(std::string name, int precision, int scale, bool nullable = true);
  static FieldDef Integer(std::string name, int bytes = 4, bool nullable = true);
  static FieldDef Boolean(std::string name, bool nullable = true);
  static FieldDef Date(std::string name, bool nullable = true);
};

// The value as the column stores it, or DbError naming the field when it does not fit:
// - texts: Char pads with blanks to size; blanks beyond the size are cut; longer text fails;
// - decimals round half away from zero to the scale; more integer digits than precision - scale
//   fail; integers must be whole and fit their size;
// - Null stays Null (a non-nullable field is checked at Update); Empty stays Empty, the mark of
//   a field never assigned.
Variant CoerceToField(const FieldDef& field, const Variant& value);

}  // namespace veriprog::db
