#include "veriprog/variant.h"

#include "db/text.h"

namespace veriprog::db {
namespace {

const char* KindName(Variant::Kind kind) {
  switch (kind) {
    case Variant::Kind::kEmpty:
      return "Empty";
    case Variant::Kind::kNull:
      return "Null";
    case Variant::Kind::kBoolean:
      return "Boolean";
    case Variant::Kind::kInteger:
      return "Integer";
    case Variant::Kind::kDecimal:
      return "Decimal";
    case Variant::Kind::kString:
      return "String";
    case Variant::Kind::kDateTime:
      return "Date";
  }
  return "?";
}

[[noreturn]] void Mismatch(const char* wanted, Variant::Kind got) {
  throw VariantError(std::string("type mismatch: ") + wanted + " expected, " + KindName(got) +
                     " found");
}

Decimal NumberOf(const Variant& v) {
  return v.kind() == Variant::Kind::kInteger ? Decimal(v.AsInteger()) : v.AsDecimal();
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

bool Variant::AsBoolean() const {
  if (auto* p = std::get_if<bool>(&value_)) return *p;
  Mismatch("Boolean", kind());
}

std::int64_t Variant::AsInteger() const {
  if (auto* p = std::get_if<std::int64_t>(&value_)) return *p;
  Mismatch("Integer", kind());
}

const Decimal& Variant::AsDecimal() const {
  if (auto* p = std::get_if<Decimal>(&value_)) return *p;
  Mismatch("Decimal", kind());
}

const std::string& Variant::AsString() const {
  if (auto* p = std::get_if<std::string>(&value_)) return *p;
  Mismatch("String", kind());
}

const DateTime& Variant::AsDateTime() const {
  if (auto* p = std::get_if<DateTime>(&value_)) return *p;
  Mismatch("Date", kind());
}

bool Variant::IsPresent() const {
  if (!has_value()) return false;
  if (auto* s = std::get_if<std::string>(&value_)) return !s->empty();
  return true;
}

std::string Variant::ToText() const {
  switch (kind()) {
    case Kind::kEmpty:
    case Kind::kNull:
      return "";
    case Kind::kBoolean:
      return AsBoolean() ? "True" : "False";
    case Kind::kInteger:
      return std::to_string(AsInteger());
    case Kind::kDecimal:
      return AsDecimal().Normalized().ToString();
    case Kind::kString:
      return AsString();
    case Kind::kDateTime:
      return AsDateTime().ToString();
  }
  return "";
}

std::optional<Decimal> Variant::ToDecimal() const {
  switch (kind()) {
    case Kind::kEmpty:
      return Decimal();
    case Kind::kInteger:
      return Decimal(AsInteger());
    case Kind::kDecimal:
      return AsDecimal();
    case Kind::kString:
      return Decimal::TryParse(Trim(AsString()));
    default:
      return std::nullopt;
  }
}

std::optional<std::int64_t> Variant::ToInteger() const {
  if (auto* p = std::get_if<std::int64_t>(&value_)) return *p;
  if (auto d = ToDecimal()) return d->ToInt64();
  return std::nullopt;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.is_number() && b.is_number()) return NumberOf(a) == NumberOf(b);
  return a.value_ == b.value_;
}

std::optional<int> Compare(const Variant& a, const Variant& b, TextCompare mode) {
  using Kind = Variant::Kind;
  if (!a.has_value() || !b.has_value()) return std::nullopt;
  if (a.is_number() && b.is_number()) {
    if (a.kind() == Kind::kInteger && b.kind() == Kind::kInteger) {
      return Order(a.AsInteger(), b.AsInteger());
    }
    return Order(NumberOf(a), NumberOf(b));
  }
  if (a.kind() != b.kind()) return std::nullopt;
  switch (a.kind()) {
    case Kind::kBoolean:
      return Order(a.AsBoolean(), b.AsBoolean());
    case Kind::kDateTime:
      return Order(a.AsDateTime(), b.AsDateTime());
    case Kind::kString:
      if (mode == TextCompare::kBinary) return Order(a.AsString(), b.AsString());
      return CompareSqlText(a.AsString(), b.AsString());
    default:
      return std::nullopt;
  }
}

std::size_t SqlHash(const Variant& v) {
  using Kind = Variant::Kind;
  switch (v.kind()) {
    case Kind::kInteger:
      return Decimal(v.AsInteger()).Hash();
    case Kind::kDecimal:
      return v.AsDecimal().Hash();
    case Kind::kString:
      return HashSqlText(v.AsString());
    case Kind::kBoolean:
      return v.AsBoolean() ? 0x51ed27 : 0x2a9f1b;
    case Kind::kDateTime: {
      const DateTime& d = v.AsDateTime();
      std::size_t h = static_cast<std::size_t>(d.year * 372 + d.month * 31 + d.day);
      const std::size_t t =
          static_cast<std::size_t>(((d.hour * 60 + d.minute) * 60 + d.second)) * 1000000 +
          static_cast<std::size_t>(d.microsecond);
      return h * 0x9E3779B97F4A7C15ULL ^ t;
    }
    default:
      return 0;
  }
}

Variant Nvl(const Variant& value, const Variant& fallback) {
  // Present, or a Boolean/number/date whose text form cannot be empty.
  return value.IsPresent() ? value : fallback;
}

Variant Add(const Variant& a, const Variant& b) {
  if (a.is_null() || b.is_null()) return Variant::Null();
  const Variant zero = std::int64_t{0};
  const Variant& x = a.is_empty() ? zero : a;
  const Variant& y = b.is_empty() ? zero : b;
  if (!x.is_number()) Mismatch("number", x.kind());
  if (!y.is_number()) Mismatch("number", y.kind());
  if (x.kind() == Variant::Kind::kInteger && y.kind() == Variant::Kind::kInteger) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(x.AsInteger(), y.AsInteger(), &sum)) return sum;
  }
  return NumberOf(x) + NumberOf(y);
}

Variant Negate(const Variant& a) {
  if (a.is_null()) return a;
  if (a.is_empty()) return std::int64_t{0};
  if (a.kind() == Variant::Kind::kInteger) {
    std::int64_t neg = 0;
    if (!__builtin_sub_overflow(std::int64_t{0}, a.AsInteger(), &neg)) return neg;
    return -Decimal(a.AsInteger());
  }
  if (a.kind() == Variant::Kind::kDecimal) return -a.AsDecimal();
  Mismatch("number", a.kind());
}

Variant Subtract(const Variant& a, const Variant& b) {
  return Add(a, Negate(b));
}

std::optional<std::int64_t> Variant::ToWholeNumber() const {
  switch (kind()) {
    case Variant::Kind::kInteger:
    case Variant::Kind::kDecimal:
      return ToInteger();
    case Variant::Kind::kString: {
      const auto text = Trim(AsString());
      if (text.empty() || text.find('.') != std::string_view::npos) return std::nullopt;
      return Variant(std::string(text)).ToInteger();
    }
    default:
      return std::nullopt;
  }
}

}  // namespace veriprog::db
