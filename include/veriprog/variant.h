// Variant: one value of a parameter or of a record-set field, with the meanings the component
// relies on: Empty (never assigned) versus Null (SQL NULL), presence, NVL defaulting, text form,
// comparisons and sums between Integer and Decimal without loss. No floating point.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "veriprog/date_time.h"
#include "veriprog/decimal.h"
#include "veriprog/error.h"

namespace veriprog::db {

// Raised when an operation meets a kind it cannot work with (text added to a number).
class VariantError : public ValueError {
 public:
  using ValueError::ValueError;
};

class Variant {
 public:
  enum class Kind { kEmpty, kNull, kBoolean, kInteger, kDecimal, kString, kDateTime };

  Variant() = default;  // Empty
  static Variant Null() { return Variant(NullTag{}); }

  Variant(bool value) : value_(value) {}  // NOLINT(google-explicit-constructor)
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) Variant(T value)
      : value_(static_cast<std::int64_t>(value)) {}                // NOLINT
  Variant(Decimal value) : value_(value) {}                        // NOLINT
  Variant(std::string value) : value_(std::move(value)) {}         // NOLINT
  Variant(std::string_view value) : value_(std::string(value)) {}  // NOLINT
  Variant(const char* value) : value_(std::string(value)) {}       // NOLINT
  Variant(DateTime value) : value_(value) {}                       // NOLINT

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool is_empty() const { return kind() == Kind::kEmpty; }
  bool is_null() const { return kind() == Kind::kNull; }
  // Neither Empty nor Null: the field or parameter holds something.
  bool has_value() const { return !is_empty() && !is_null(); }
  bool is_number() const { return kind() == Kind::kInteger || kind() == Kind::kDecimal; }

  // Typed access; each throws VariantError when the kind differs.
  bool AsBoolean() const;
  std::int64_t AsInteger() const;
  const Decimal& AsDecimal() const;
  const std::string& AsString() const;
  const DateTime& AsDateTime() const;

  // The value is there for the ledger: not Null, not Empty, not the empty text.
  // A text of blanks and the number 0 are values.
  bool IsPresent() const;

  // Text form: "" for Empty and Null, "True"/"False", numbers with a point and no exponent and
  // no trailing fraction zeros (1.50 -> "1.5"), dates as DateTime::ToString, texts unchanged.
  std::string ToText() const;

  // Number value of Integer, Decimal, Empty (0) and of a text holding a number (blanks around it
  // allowed); nullopt for anything else.
  std::optional<Decimal> ToDecimal() const;
  // Whole-number value when ToDecimal has no fraction and fits 64 bits.
  std::optional<std::int64_t> ToInteger() const;
  // The whole number a parameter holds (12, "12", 12.0) and so may be pasted unquoted into a
  // statement; nullopt for a text with a point, for Null, Empty and everything else.
  std::optional<std::int64_t> ToWholeNumber() const;

  // Same value: kinds alike (Integer and Decimal count as one kind, compared by value),
  // texts byte for byte, Null equal to Null. For SQL-like comparison use Compare.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) = default;
  };
  explicit Variant(NullTag tag) : value_(tag) {}

  std::variant<std::monostate, NullTag, bool, std::int64_t, Decimal, std::string, DateTime> value_;
};

// How texts compare: byte for byte, or as SQL Server compares codes under a case-insensitive
// collation (trailing blanks ignored, ASCII letters without case).
enum class TextCompare { kBinary, kSql };

// -1, 0 or 1; nullopt when either side is Empty or Null (a comparison with no value is never
// true) or the kinds do not compare (text against number, date against boolean).
std::optional<int> Compare(const Variant& a, const Variant& b, TextCompare mode);

// Hash that agrees with Compare(..., kSql) == 0 for values of comparable kinds.
std::size_t SqlHash(const Variant& v);

// Value when it is present (IsPresent), otherwise the default: NVL of the ledger's code.
Variant Nvl(const Variant& value, const Variant& fallback);

// Sums for totals. Null with anything gives Null; Empty counts as 0; Integer with Integer stays
// Integer unless it overflows 64 bits (then Decimal); with a Decimal the result is Decimal.
// Other kinds, or a sum beyond 38 digits, throw VariantError / DecimalError.
Variant Add(const Variant& a, const Variant& b);
Variant Subtract(const Variant& a, const Variant& b);
Variant Negate(const Variant& a);

}  // namespace veriprog::db
