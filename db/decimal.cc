#include "veriprog/decimal.h"

#include <algorithm>
#include <array>
#include <limits>

namespace veriprog::db {
namespace {

using Mantissa = Decimal::Mantissa;
using UMantissa = unsigned __int128;

constexpr std::array<Mantissa, 39> MakePowers() {
  std::array<Mantissa, 39> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i)
    p[i] = p[i - 1] * 10;
  return p;
}
constexpr auto kPow10 = MakePowers();
constexpr Mantissa kLimit = kPow10[Decimal::kMaxPrecision];  // 10^38, first value too large

bool InRange(Mantissa m) {
  return m < kLimit && m > -kLimit;
}

// m * 10^k, or nullopt when it would leave the 38-digit range.
std::optional<Mantissa> ScaleUp(Mantissa m, int k) {
  if (k == 0) return m;
  if (k > Decimal::kMaxPrecision) return m == 0 ? std::optional<Mantissa>(0) : std::nullopt;
  const Mantissa bound = kLimit / kPow10[k];
  if (m >= bound || m <= -bound) return std::nullopt;
  return m * kPow10[k];
}

int DigitCount(UMantissa v) {
  int n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

UMantissa Magnitude(Mantissa m) {
  return m < 0 ? UMantissa(0) - static_cast<UMantissa>(m) : static_cast<UMantissa>(m);
}

// Brings two values to one scale; nullopt when the larger scale overflows one of them.
std::optional<std::pair<Mantissa, Mantissa>> Align(const Decimal& a, const Decimal& b, int& scale) {
  scale = std::max(a.scale(), b.scale());
  auto ma = ScaleUp(a.unscaled(), scale - a.scale());
  auto mb = ScaleUp(b.unscaled(), scale - b.scale());
  if (!ma || !mb) return std::nullopt;
  return std::pair{*ma, *mb};
}

}  // namespace

std::optional<Decimal> Decimal::FromUnscaled(Mantissa mantissa, int scale) {
  if (scale < 0 || scale > kMaxScale || !InRange(mantissa)) return std::nullopt;
  Decimal d;
  d.mantissa_ = mantissa;
  d.scale_ = static_cast<std::uint8_t>(scale);
  return d;
}

std::optional<Decimal> Decimal::TryParse(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  Mantissa m = 0;
  int significant = 0;
  int scale = 0;
  bool seen_digit = false;
  bool seen_point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      if (seen_point) return std::nullopt;
      seen_point = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    seen_digit = true;
    if (seen_point && ++scale > kMaxScale) return std::nullopt;
    if (m == 0 && c == '0') continue;  // leading zeros carry no precision
    if (++significant > kMaxPrecision) return std::nullopt;
    m = m * 10 + (c - '0');
  }
  if (!seen_digit) return std::nullopt;
  return FromUnscaled(negative ? -m : m, scale);
}

Decimal Decimal::Parse(std::string_view text) {
  if (auto d = TryParse(text)) return *d;
  throw DecimalError("not a decimal number: '" + std::string(text) + "'");
}

int Decimal::precision() const {
  return DigitCount(Magnitude(mantissa_));
}

int Decimal::integer_digits() const {
  const UMantissa whole = Magnitude(mantissa_) / static_cast<UMantissa>(kPow10[scale_]);
  return whole == 0 ? 0 : DigitCount(whole);
}

std::optional<Decimal> Decimal::TryRescale(int scale) const {
  if (scale < 0 || scale > kMaxScale) return std::nullopt;
  if (scale >= scale_) {
    auto m = ScaleUp(mantissa_, scale - scale_);
    if (!m) return std::nullopt;
    return FromUnscaled(*m, scale);
  }
  const Mantissa divisor = kPow10[scale_ - scale];
  Mantissa q = mantissa_ / divisor;
  const Mantissa r = mantissa_ % divisor;
  // Half away from zero: the dropped part is at least half of the divisor.
  const Mantissa twice = r < 0 ? -r * 2 : r * 2;
  if (twice >= divisor) q += mantissa_ < 0 ? -1 : 1;
  return FromUnscaled(q, scale);
}

Decimal Decimal::Rescale(int scale) const {
  if (auto d = TryRescale(scale)) return *d;
  throw DecimalError("decimal overflow: " + ToString() + " at scale " + std::to_string(scale));
}

Decimal Decimal::Normalized() const {
  Decimal d = *this;
  while (d.scale_ > 0 && d.mantissa_ % 10 == 0) {
    d.mantissa_ /= 10;
    --d.scale_;
  }
  if (d.mantissa_ == 0) d.scale_ = 0;
  return d;
}

std::optional<std::int64_t> Decimal::ToInt64() const {
  const Decimal n = Normalized();
  if (n.scale_ != 0) return std::nullopt;
  if (n.mantissa_ > std::numeric_limits<std::int64_t>::max() ||
      n.mantissa_ < std::numeric_limits<std::int64_t>::min()) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(n.mantissa_);
}

std::optional<Decimal> Decimal::TryAdd(const Decimal& a, const Decimal& b) {
  int scale = 0;
  auto m = Align(a, b, scale);
  if (!m) return std::nullopt;
  return FromUnscaled(m->first + m->second, scale);  // |sum| < 2*10^38 fits in 128 bits
}

std::optional<Decimal> Decimal::TrySubtract(const Decimal& a, const Decimal& b) {
  return TryAdd(a, -b);
}

Decimal Decimal::operator-() const {
  Decimal d = *this;
  d.mantissa_ = -d.mantissa_;
  return d;
}

Decimal& Decimal::operator+=(const Decimal& other) {
  auto sum = TryAdd(*this, other);
  if (!sum) throw DecimalError("decimal overflow: " + ToString() + " + " + other.ToString());
  return *this = *sum;
}

Decimal& Decimal::operator-=(const Decimal& other) {
  auto diff = TrySubtract(*this, other);
  if (!diff) throw DecimalError("decimal overflow: " + ToString() + " - " + other.ToString());
  return *this = *diff;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
  if (a.sign() != b.sign()) return a.sign() <=> b.sign();
  int scale = 0;
  if (auto m = Align(a, b, scale)) return m->first <=> m->second;
  // One side left the 38-digit range when aligned, so its magnitude is the larger one.
  const bool a_grew = a.scale() < b.scale();
  const int sign = a.sign();
  if (a_grew) return sign > 0 ? std::strong_ordering::greater : std::strong_ordering::less;
  return sign > 0 ? std::strong_ordering::less : std::strong_ordering::greater;
}

std::size_t Decimal::Hash() const {
  const Decimal n = Normalized();
  const auto u = static_cast<UMantissa>(n.mantissa_);
  std::size_t h =
      static_cast<std::size_t>(u) ^ (static_cast<std::size_t>(u >> 64) * 0x9E3779B97F4A7C15ULL);
  return h ^ (static_cast<std::size_t>(n.scale_) << 56);
}

std::string Decimal::ToString() const {
  UMantissa v = Magnitude(mantissa_);
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  while (digits.size() <= scale_)
    digits.push_back('0');  // at least one digit before the point
  std::string out;
  out.reserve(digits.size() + 2);
  if (mantissa_ < 0) out.push_back('-');
  for (std::size_t i = digits.size(); i-- > 0;) {
    out.push_back(digits[i]);
    if (i == scale_ && i != 0) out.push_back('.');
  }
  return out;
}

}  // namespace veriprog::db
