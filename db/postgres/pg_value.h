// Values between PostgreSQL's text format and Variant: field definitions from type OIDs and
// modifiers, field values from result text, parameter text from Variants. Exact: numeric goes to
// Decimal, never through floating point.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "veriprog/field.h"
#include "veriprog/variant.h"

namespace veriprog::db::pg {

using Oid = unsigned int;

FieldDef FieldFromType(std::string name, Oid type, int modifier);
// The value of a non-null result cell. Throws DbError when the text does not read as its type.
Variant ValueFromText(const FieldDef& field, Oid type, std::string_view text);
// Parameter text for a value; nullopt for Null and Empty (sent as SQL NULL).
std::optional<std::string> ParameterText(const Variant& value);

}  // namespace veriprog::db::pg
