#include "db/postgres/pg_value.h"

#include <cstdint>

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::pg {
namespace {

constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTimestamp = 1114,
              kTimestampTz = 1184, kNumeric = 1700;

}  // namespace

FieldDef FieldFromType(std::string name, Oid type, int modifier) {
  switch (type) {
    case kBool:
      return FieldDef::Boolean(std::move(name));
    case kInt2:
      return FieldDef::Integer(std::move(name), 2);
    case kInt4:
      return FieldDef::Integer(std::move(name), 4);
    case kInt8:
    case kOid:
      return FieldDef::Integer(std::move(name), 8);
    case kNumeric:
      if (modifier >= 4) {
        const int packed = modifier - 4;
        return FieldDef::Numeric(std::move(name), (packed >> 16) & 0xFFFF, packed & 0xFFFF);
      }
      // Unconstrained numeric (sums, literals): the scale is taken from the values read.
      return FieldDef::Numeric(std::move(name), Decimal::kMaxPrecision, 0);
    case kFloat4:
    case kFloat8:
      return FieldDef::Numeric(std::move(name), Decimal::kMaxPrecision, 0);
    case kBpchar:
      return FieldDef::Char(std::move(name), modifier >= 4 ? modifier - 4 : 1);
    case kVarchar:
      return FieldDef::VarChar(std::move(name), modifier >= 4 ? modifier - 4 : 0);
    case kDate:
    case kTimestamp:
    case kTimestampTz:
      return FieldDef::Date(std::move(name));
    default:
      return FieldDef::VarChar(std::move(name), 0);  // text, uuid, name and the rest
  }
}

Variant ValueFromText(const FieldDef& field, Oid type, std::string_view text) {
  switch (field.type) {
    case FieldType::kBoolean:
      return text == "t";
    case FieldType::kInteger: {
      // Whole numbers come written plainly: read them without a detour through decimals.
      if (auto n = PlainWholeNumber(text)) return *n;
      if (auto v = Variant(text).ToInteger()) return *v;
      break;
    }
    case FieldType::kDecimal: {
      if (auto d = Decimal::TryParse(text)) return *d;
      if (type == kFloat4 || type == kFloat8) {
        throw DbError("floating-point value " + std::string(text) + " of field " + field.name +
                      " cannot be read exactly");
      }
      break;
    }
    case FieldType::kDateTime: {
      std::string_view body = text;
      if (type == kTimestampTz) {  // drop the zone: "2024-01-31 10:00:00+01"
        const auto zone = body.find_last_of("+-");
        if (zone != std::string_view::npos && zone > 10) body = body.substr(0, zone);
      }
      if (auto d = DateTime::Parse(body)) return *d;
      break;
    }
    default:
      return std::string(text);
  }
  throw DbError("cannot read '" + std::string(text) + "' as the value of field " + field.name);
}

std::optional<std::string> ParameterText(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull:
      return std::nullopt;
    case Variant::Kind::kBoolean:
      return value.AsBoolean() ? "true" : "false";
    case Variant::Kind::kDecimal:
      return value.AsDecimal().ToString();
    default:
      return value.ToText();
  }
}

}  // namespace veriprog::db::pg
