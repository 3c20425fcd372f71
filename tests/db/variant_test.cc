#include "veriprog/variant.h"

#include <gtest/gtest.h>

#include <limits>

namespace veriprog::db {
namespace {

TEST(Variant, PresenceFollowsTheLedgerRule) {
  EXPECT_FALSE(Variant().IsPresent());
  EXPECT_FALSE(Variant::Null().IsPresent());
  EXPECT_FALSE(Variant("").IsPresent());
  EXPECT_TRUE(Variant("   ").IsPresent());
  EXPECT_TRUE(Variant(0).IsPresent());
  EXPECT_TRUE(Variant(Decimal()).IsPresent());
  EXPECT_TRUE(Variant(false).IsPresent());
}

TEST(Variant, NvlDefaultsOnlyMissingValues) {
  EXPECT_EQ(Nvl(Variant(""), 0), Variant(0));
  EXPECT_EQ(Nvl(Variant(0), 5), Variant(0));
  EXPECT_EQ(Nvl(Variant::Null(), "EURO"), Variant("EURO"));
  EXPECT_EQ(Nvl(Variant(), "EURO"), Variant("EURO"));
  EXPECT_EQ(Nvl(Variant(" "), "x"), Variant(" "));
  EXPECT_EQ(Nvl(Variant("USD"), "EURO").kind(), Variant::Kind::kString);
}

TEST(Variant, TextFormHasNoExponentNorSpareZeros) {
  EXPECT_EQ(Variant(Decimal::Parse("1.50")).ToText(), "1.5");
  EXPECT_EQ(Variant(Decimal::Parse("2.00")).ToText(), "2");
  EXPECT_EQ(Variant(Decimal::Parse("-0.000")).ToText(), "0");
  EXPECT_EQ(Variant(Decimal::Parse("0.0000001")).ToText(), "0.0000001");
  EXPECT_EQ(Variant(Decimal::Parse("12345678901234567890.12")).ToText(), "12345678901234567890.12");
  EXPECT_EQ(Variant(-42).ToText(), "-42");
  EXPECT_EQ(Variant(true).ToText(), "True");
  EXPECT_EQ(Variant::Null().ToText(), "");
  EXPECT_EQ(Variant(*DateTime::FromParts(2024, 2, 29)).ToText(), "2024-02-29");
}

TEST(Variant, IntegerAndDecimalCompareWithoutLoss) {
  const Variant big = std::numeric_limits<std::int64_t>::max();
  const Variant just_above = Decimal::Parse("9223372036854775807.01");
  EXPECT_EQ(Compare(big, just_above, TextCompare::kSql), -1);
  EXPECT_EQ(Compare(Variant(5), Variant(Decimal::Parse("5.00")), TextCompare::kSql), 0);
  EXPECT_EQ(Variant(5), Variant(Decimal::Parse("5.0")));
  EXPECT_EQ(Compare(Variant(-1), Variant(Decimal::Parse("-0.5")), TextCompare::kSql), -1);
  EXPECT_EQ(SqlHash(Variant(5)), SqlHash(Variant(Decimal::Parse("5.000"))));
}

TEST(Variant, ComparisonsWithoutAValueAreNeverTrue) {
  EXPECT_EQ(Compare(Variant::Null(), Variant::Null(), TextCompare::kSql), std::nullopt);
  EXPECT_EQ(Compare(Variant(), Variant(0), TextCompare::kSql), std::nullopt);
  EXPECT_EQ(Compare(Variant("1"), Variant(1), TextCompare::kSql), std::nullopt);
}

TEST(Variant, SqlTextComparisonIgnoresTrailingBlanksAndCase) {
  EXPECT_EQ(Compare(Variant("150 "), Variant("150"), TextCompare::kSql), 0);
  EXPECT_EQ(Compare(Variant("eur"), Variant("EUR  "), TextCompare::kSql), 0);
  EXPECT_NE(Compare(Variant(" 150"), Variant("150"), TextCompare::kSql), 0);
  EXPECT_NE(Compare(Variant("150 "), Variant("150"), TextCompare::kBinary), 0);
  EXPECT_EQ(SqlHash(Variant("Eur ")), SqlHash(Variant("EUR")));
  EXPECT_EQ(Compare(Variant("A"), Variant("b"), TextCompare::kSql), -1);
}

TEST(Variant, SumsKeepEveryCent) {
  EXPECT_EQ(Add(Variant(1), Variant(2)).kind(), Variant::Kind::kInteger);
  const Variant sum = Add(Variant(10), Variant(Decimal::Parse("0.01")));
  EXPECT_EQ(sum.kind(), Variant::Kind::kDecimal);
  EXPECT_EQ(sum.ToText(), "10.01");
  EXPECT_TRUE(Add(Variant::Null(), Variant(1)).is_null());
  EXPECT_EQ(Add(Variant(), Variant(Decimal::Parse("3.5"))).ToText(), "3.5");
  const Variant max = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(Add(max, Variant(1)).ToText(), "9223372036854775808");
  const Variant min = std::numeric_limits<std::int64_t>::min();
  EXPECT_EQ(Negate(min).ToText(), "9223372036854775808");
  EXPECT_EQ(Subtract(Variant(Decimal::Parse("0.30")), Variant(Decimal::Parse("0.1"))).ToText(),
            "0.2");
  EXPECT_THROW(Add(Variant("1"), Variant(1)), VariantError);
  EXPECT_THROW(Add(Variant(true), Variant(1)), VariantError);
}

TEST(Variant, ConversionsToNumbers) {
  EXPECT_EQ(Variant(" 12.50 ").ToDecimal(), Decimal::Parse("12.5"));
  EXPECT_EQ(Variant("12,50").ToDecimal(), std::nullopt);
  EXPECT_EQ(Variant().ToDecimal(), Decimal());
  EXPECT_EQ(Variant::Null().ToDecimal(), std::nullopt);
  EXPECT_EQ(Variant("2024").ToInteger(), 2024);
  EXPECT_EQ(Variant("2024.5").ToInteger(), std::nullopt);
  EXPECT_THROW(Variant("x").AsDecimal(), VariantError);
}

}  // namespace
}  // namespace veriprog::db
