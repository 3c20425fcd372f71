#include "veriprog/field.h"

#include <gtest/gtest.h>

#include "veriprog/error.h"

namespace veriprog::db {
namespace {

TEST(Field, CharCodesArePaddedAndNeverSilentlyCut) {
  const FieldDef causal = FieldDef::Char("CAUSALE", 4);
  EXPECT_EQ(CoerceToField(causal, "150"), Variant("150 "));
  EXPECT_EQ(CoerceToField(causal, "150      "), Variant("150 "));
  EXPECT_EQ(CoerceToField(causal, 7), Variant("7   "));
  EXPECT_EQ(CoerceToField(causal, "àèìò"), Variant("àèìò")) << "four characters, eight bytes";
  EXPECT_THROW(CoerceToField(causal, "15000"), DbError);
  EXPECT_THROW(CoerceToField(causal, " 1500"), DbError);
  EXPECT_TRUE(CoerceToField(causal, Variant::Null()).is_null());
  EXPECT_EQ(CoerceToField(FieldDef::VarChar("NOTE", 3), "ab  "), Variant("ab "));
  EXPECT_EQ(CoerceToField(FieldDef::VarChar("NOTE"), std::string(5000, 'x')).AsString().size(),
            5000u);
}

TEST(Field, DecimalsRoundToScaleAndRespectPrecision) {
  const FieldDef amount = FieldDef::Numeric("IMPORTO", 7, 2);
  EXPECT_EQ(CoerceToField(amount, Decimal::Parse("12.345")).AsDecimal().ToString(), "12.35");
  EXPECT_EQ(CoerceToField(amount, Decimal::Parse("-12.345")).AsDecimal().ToString(), "-12.35");
  EXPECT_EQ(CoerceToField(amount, 3).AsDecimal().ToString(), "3.00");
  EXPECT_EQ(CoerceToField(amount, " 4.5 ").AsDecimal().ToString(), "4.50");
  EXPECT_EQ(CoerceToField(amount, Decimal::Parse("99999.994")).AsDecimal().ToString(), "99999.99");
  EXPECT_THROW(CoerceToField(amount, Decimal::Parse("99999.995")), DbError) << "rounds to 6 digits";
  EXPECT_THROW(CoerceToField(amount, 100000), DbError);
  EXPECT_THROW(CoerceToField(amount, "dieci"), DbError);
}

TEST(Field, IntegersMustBeWholeAndFit) {
  const FieldDef month = FieldDef::Integer("MESE", 2);
  EXPECT_EQ(CoerceToField(month, Decimal::Parse("12.00")), Variant(12));
  EXPECT_EQ(CoerceToField(month, "7"), Variant(7));
  EXPECT_THROW(CoerceToField(month, Decimal::Parse("1.5")), DbError);
  EXPECT_THROW(CoerceToField(month, 40000), DbError);
  EXPECT_EQ(CoerceToField(FieldDef::Integer("ID", 8), Decimal::Parse("9223372036854775807")),
            Variant(INT64_MAX));
}

TEST(Field, DatesAndBooleans) {
  const FieldDef date = FieldDef::Date("DATAREG");
  EXPECT_EQ(CoerceToField(date, "20240229").AsDateTime(), *DateTime::FromParts(2024, 2, 29));
  EXPECT_THROW(CoerceToField(date, "20230229"), DbError);
  EXPECT_THROW(CoerceToField(date, 20240101), DbError);
  const FieldDef flag = FieldDef::Boolean("FLAG");
  EXPECT_EQ(CoerceToField(flag, 1), Variant(true));
  EXPECT_EQ(CoerceToField(flag, "false"), Variant(false));
  EXPECT_THROW(CoerceToField(flag, "forse"), DbError);
}

}  // namespace
}  // namespace veriprog::db
