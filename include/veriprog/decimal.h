// Decimal: exact fixed-point amount, as SQL Server's and PostgreSQL's decimal keep it.
// A value is a signed 128-bit mantissa and a scale 0..38 (value = mantissa / 10^scale),
// at most 38 significant digits. No floating point anywhere; overflow is an error, never a wrap.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "veriprog/error.h"

namespace veriprog::db {

// Raised by the throwing operations of Decimal (parse, arithmetic, rescale) on bad text or
// a result beyond 38 digits. The Try... forms report the same conditions without throwing.
class DecimalError : public ValueError {
 public:
  using ValueError::ValueError;
};

class Decimal {
 public:
  using Mantissa = __int128;
  static constexpr int kMaxPrecision = 38;
  static constexpr int kMaxScale = 38;

  constexpr Decimal() = default;                               // 0 with scale 0
  constexpr Decimal(std::int64_t value) : mantissa_(value) {}  // NOLINT: amounts from integers

  // mantissa / 10^scale; nullopt when the scale is outside 0..38 or |mantissa| >= 10^38.
  static std::optional<Decimal> FromUnscaled(Mantissa mantissa, int scale);

  // Text as databases print it: optional sign, digits, optional point and fraction
  // ("-12.50", "0.001", ".5", "7."). No blanks, exponents or thousands separators. Leading zeros
  // do not count towards the 38 digits; the scale is the number of fraction digits.
  static std::optional<Decimal> TryParse(std::string_view text);
  static Decimal Parse(std::string_view text);  // throws DecimalError

  Mantissa unscaled() const { return mantissa_; }
  int scale() const { return scale_; }
  // Digits of the mantissa (at least 1): 123.45 has precision 5, 0.001 has 1.
  int precision() const;
  // Digits before the point that the value needs: 0 for 0.5, 3 for -123.45.
  int integer_digits() const;

  bool is_zero() const { return mantissa_ == 0; }
  bool is_negative() const { return mantissa_ < 0; }
  int sign() const { return mantissa_ < 0 ? -1 : (mantissa_ > 0 ? 1 : 0); }

  // Same value at another scale: more digits are exact, fewer round half away from zero
  // (2.345 -> 2.35, -2.345 -> -2.35). nullopt when the result needs more than 38 digits.
  std::optional<Decimal> TryRescale(int scale) const;
  Decimal Rescale(int scale) const;  // throws DecimalError
  // Same value without trailing fraction zeros: 1.500 -> 1.5, 2.00 -> 2.
  Decimal Normalized() const;
  // The value as a whole number when it has no fraction and fits in 64 bits.
  std::optional<std::int64_t> ToInt64() const;

  // Exact sum and difference at the larger of the two scales; nullopt on overflow.
  static std::optional<Decimal> TryAdd(const Decimal& a, const Decimal& b);
  static std::optional<Decimal> TrySubtract(const Decimal& a, const Decimal& b);

  Decimal operator-() const;
  Decimal& operator+=(const Decimal& other);  // throws DecimalError on overflow
  Decimal& operator-=(const Decimal& other);
  friend Decimal operator+(Decimal a, const Decimal& b) { return a += b; }
  friend Decimal operator-(Decimal a, const Decimal& b) { return a -= b; }

  // Compares values, not representations: 1.50 == 1.5.
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return (a <=> b) == 0; }

  // Hash of the value, equal for equal values whatever their scale.
  std::size_t Hash() const;

  // Exact text with all the digits of the scale: "1.50", "-0.01", "12". For people and for SQL
  // text alike: a point, no thousands separator, no exponent.
  std::string ToString() const;

 private:
  Mantissa mantissa_ = 0;
  std::uint8_t scale_ = 0;
};

}  // namespace veriprog::db
