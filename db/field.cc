#include "veriprog/field.h"

#include <limits>

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db {
namespace {

[[noreturn]] void Reject(const FieldDef& field, const Variant& value, const std::string& why) {
  throw DbError("value '" + value.ToText() + "' does not fit field " + field.name + ": " + why);
}

Variant CoerceText(const FieldDef& field, const Variant& value) {
  if (value.kind() == Variant::Kind::kDateTime && field.type == FieldType::kChar) {
    Reject(field, value, "a date is not a code");
  }
  std::string text = value.ToText();
  if (field.size > 0) {
    const auto limit = static_cast<std::size_t>(field.size);
    std::size_t length = Utf8Length(text);
    if (length > limit) {
      // Blanks past the width are padding, not content: cut them as the database does.
      const std::size_t content = Utf8Length(TrimRight(text));
      if (content > limit) Reject(field, value, "longer than " + std::to_string(limit));
      text.resize(text.size() - (length - limit));
      length = limit;
    }
    if (field.type == FieldType::kChar) text.append(limit - length, ' ');
  }
  return text;
}

Variant CoerceDecimal(const FieldDef& field, const Variant& value) {
  auto number = value.ToDecimal();
  if (!number) Reject(field, value, "not a number");
  const int precision = field.precision > 0 ? field.precision : Decimal::kMaxPrecision;
  auto rounded = number->TryRescale(field.scale);
  if (!rounded || rounded->integer_digits() > precision - field.scale) {
    Reject(field, value,
           "exceeds precision " + std::to_string(precision) + "," + std::to_string(field.scale));
  }
  return *rounded;
}

Variant CoerceInteger(const FieldDef& field, const Variant& value) {
  if (value.kind() == Variant::Kind::kBoolean) return std::int64_t{value.AsBoolean() ? 1 : 0};
  auto number = value.ToInteger();
  if (!number) Reject(field, value, "not a whole number");
  const int bits = field.size == 2 ? 16 : (field.size == 8 || field.size == 0 ? 64 : 32);
  if (bits < 64) {
    const std::int64_t max = (std::int64_t{1} << (bits - 1)) - 1;
    if (*number > max || *number < -max - 1) Reject(field, value, "out of range");
  }
  return *number;
}

Variant CoerceBoolean(const FieldDef& field, const Variant& value) {
  if (value.kind() == Variant::Kind::kBoolean) return value;
  if (auto n = value.ToInteger(); n && value.is_number()) return *n != 0;
  if (value.kind() == Variant::Kind::kString) {
    const auto text = Trim(value.AsString());
    if (EqualsIgnoreCase(text, "true")) return true;
    if (EqualsIgnoreCase(text, "false")) return false;
  }
  Reject(field, value, "not a boolean");
}

Variant CoerceDate(const FieldDef& field, const Variant& value) {
  if (value.kind() == Variant::Kind::kDateTime) return value;
  if (value.kind() == Variant::Kind::kString) {
    if (auto d = DateTime::Parse(Trim(value.AsString()))) return *d;
  }
  Reject(field, value, "not a date");
}

}  // namespace

FieldDef FieldDef::Char(std::string name, int size, bool nullable) {
  return {std::move(name), FieldType::kChar, size, 0, 0, nullable};
}
FieldDef FieldDef::VarChar(std::string name, int size, bool nullable) {
  return {std::move(name), FieldType::kVarChar, size, 0, 0, nullable};
}
FieldDef FieldDef::Numeric(std::string name, int precision, int scale, bool nullable) {
  return {std::move(name), FieldType::kDecimal, 0, precision, scale, nullable};
}
FieldDef FieldDef::Integer(std::string name, int bytes, bool nullable) {
  return {std::move(name), FieldType::kInteger, bytes, 0, 0, nullable};
}
FieldDef FieldDef::Boolean(std::string name, bool nullable) {
  return {std::move(name), FieldType::kBoolean, 1, 0, 0, nullable};
}
FieldDef FieldDef::Date(std::string name, bool nullable) {
  return {std::move(name), FieldType::kDateTime, 0, 0, 0, nullable};
}

Variant CoerceToField(const FieldDef& field, const Variant& value) {
  if (!value.has_value()) return value;
  switch (field.type) {
    case FieldType::kChar:
    case FieldType::kVarChar:
      return CoerceText(field, value);
    case FieldType::kDecimal:
      return CoerceDecimal(field, value);
    case FieldType::kInteger:
      return CoerceInteger(field, value);
    case FieldType::kBoolean:
      return CoerceBoolean(field, value);
    case FieldType::kDateTime:
      return CoerceDate(field, value);
  }
  return value;
}

}  // namespace veriprog::db
