// Columns and cells of the channel as fields and values of a record set.
#pragma once

#include <string>

#include "db/odbc/odbc_channel.h"
#include "veriprog/field.h"
#include "veriprog/variant.h"

namespace veriprog::db::odbc {

FieldDef FieldFromColumn(std::string name, const Column& column);
// The value of a non-null cell. Throws DbError when the text does not read as its type
// (a floating-point value that is no exact decimal among them).
Variant ValueFromText(const FieldDef& field, const Column& column, std::string text);

}  // namespace veriprog::db::odbc
