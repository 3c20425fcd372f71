#include "veriprog/decimal.h"

#include <gtest/gtest.h>

namespace veriprog::db {
namespace {

Decimal D(const char* text) {
  return Decimal::Parse(text);
}

TEST(Decimal, ParsesAndPrintsExactly) {
  EXPECT_EQ(D("123.45").ToString(), "123.45");
  EXPECT_EQ(D("-0.01").ToString(), "-0.01");
  EXPECT_EQ(D("1.50").ToString(), "1.50");
  EXPECT_EQ(D("1.50").scale(), 2);
  EXPECT_EQ(D(".5").ToString(), "0.5");
  EXPECT_EQ(D("7.").ToString(), "7");
  EXPECT_EQ(D("+0042").ToString(), "42");
  EXPECT_EQ(D("-0").ToString(), "0");
  const char* max = "99999999999999999999999999999999999999";  // 38 nines
  EXPECT_EQ(D(max).ToString(), max);
  EXPECT_EQ(D("-0.00000000000000000000000000000000000001").ToString(),
            "-0.00000000000000000000000000000000000001");
  EXPECT_EQ(D("0000000000000000000000000000000000000000001.5").ToString(), "1.5");
}

TEST(Decimal, RejectsMalformedOrTooLongText) {
  for (const char* bad : {"", "-", ".", "1.2.3", "1e5", " 1", "1 ", "1,5", "abc", "NaN", "--1",
                          "999999999999999999999999999999999999999",  // 39 digits
                          "0.000000000000000000000000000000000000001"}) {
    EXPECT_FALSE(Decimal::TryParse(bad)) << bad;
  }
  EXPECT_THROW(Decimal::Parse("12a"), DecimalError);
}

TEST(Decimal, ComparesValuesNotRepresentations) {
  EXPECT_EQ(D("1.50"), D("1.5"));
  EXPECT_EQ(D("0.00"), D("0"));
  EXPECT_EQ(D("1.50").Hash(), D("1.5").Hash());
  EXPECT_EQ(D("0.000").Hash(), Decimal(0).Hash());
  EXPECT_LT(D("-2.5"), D("-2.49"));
  EXPECT_GT(D("0.001"), D("0"));
  // Aligning these scales would leave 38 digits: the order must still be right.
  const Decimal big = D("99999999999999999999999999999999999999");
  const Decimal tiny = D("0.0000000000000000000000000000000000001");
  EXPECT_GT(big, tiny);
  EXPECT_LT(-big, tiny);
  EXPECT_LT(-big, -tiny);
  EXPECT_GT(tiny, -big);
}

TEST(Decimal, AddsAndSubtractsExactly) {
  EXPECT_EQ((D("0.1") + D("0.2")).ToString(), "0.3");
  EXPECT_EQ((D("100") - D("0.01")).ToString(), "99.99");
  EXPECT_EQ((D("1.005") + D("-1.005")).ToString(), "0.000");
  Decimal total;
  for (int i = 0; i < 1000; ++i)
    total += D("0.01");
  EXPECT_EQ(total.ToString(), "10.00");
  EXPECT_EQ((-D("3.10")).ToString(), "-3.10");
}

TEST(Decimal, OverflowIsAnErrorNotAWrap) {
  const Decimal max = D("99999999999999999999999999999999999999");
  EXPECT_THROW(max + Decimal(1), DecimalError);
  EXPECT_THROW(-max - Decimal(1), DecimalError);
  EXPECT_FALSE(Decimal::TryAdd(max, D("0.5")));  // needs scale 1, so 39 digits
  EXPECT_TRUE(Decimal::TryAdd(max, -max));
  EXPECT_FALSE(D("1").TryRescale(38));
  EXPECT_FALSE(D("1").TryRescale(39));
  EXPECT_FALSE(D("1").TryRescale(-1));
  EXPECT_FALSE(Decimal::FromUnscaled(static_cast<Decimal::Mantissa>(1) << 127, 0));
}

TEST(Decimal, RescaleRoundsHalfAwayFromZero) {
  EXPECT_EQ(D("2.345").Rescale(2).ToString(), "2.35");
  EXPECT_EQ(D("-2.345").Rescale(2).ToString(), "-2.35");
  EXPECT_EQ(D("2.344999").Rescale(2).ToString(), "2.34");
  EXPECT_EQ(D("0.005").Rescale(2).ToString(), "0.01");
  EXPECT_EQ(D("-0.004").Rescale(2).ToString(), "0.00");
  EXPECT_EQ(D("9.995").Rescale(2).ToString(), "10.00");
  EXPECT_EQ(D("12.5").Rescale(0).ToString(), "13");
  EXPECT_EQ(D("1.5").Rescale(4).ToString(), "1.5000");
  EXPECT_EQ(D("-9999999999999999999999999999999999999.5").Rescale(0).ToString(),
            "-10000000000000000000000000000000000000");
}

TEST(Decimal, DigitsAndWholeNumbers) {
  EXPECT_EQ(D("123.45").precision(), 5);
  EXPECT_EQ(D("123.45").integer_digits(), 3);
  EXPECT_EQ(D("0.5").integer_digits(), 0);
  EXPECT_EQ(D("12.00").Normalized().ToString(), "12");
  EXPECT_EQ(D("12.00").ToInt64(), 12);
  EXPECT_EQ(D("12.01").ToInt64(), std::nullopt);
  EXPECT_EQ(D("99999999999999999999").ToInt64(), std::nullopt);
}

}  // namespace
}  // namespace veriprog::db
