#include "veriprog/recordset.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db {
namespace {

// The turnover accumulator's shape: account, customer/supplier, month, branch, currency.
Recordset TurnoverSet() {
  Recordset rs;
  rs.AppendField(FieldDef::VarChar("CONTOPAR", 20));
  rs.AppendField(FieldDef::Integer("TIPOCF", 2));
  rs.AppendField(FieldDef::Integer("CLIFOR", 4));
  rs.AppendField(FieldDef::Integer("MESE", 2));
  rs.AppendField(FieldDef::Integer("SEDE", 4));
  rs.AppendField(FieldDef::Char("VALUTA", 4));
  rs.AppendField(FieldDef::Numeric("FATTURATO", 19, 2));
  rs.Open();
  return rs;
}

void Add(Recordset& rs, const char* account, Variant tipocf, int month, const char* currency,
         const char* amount) {
  rs.AddNew();
  rs.Set("CONTOPAR", account);
  rs.Set("TIPOCF", tipocf);
  rs.Set("CLIFOR", 0);
  rs.Set("MESE", month);
  rs.Set("SEDE", 0);
  rs.Set("VALUTA", currency);
  rs.Set("FATTURATO", Decimal::Parse(amount));
  rs.Update();
}

// Rows in view as "account/month/currency=amount" lines, asserted at once.
std::string Dump(Recordset& rs) {
  std::string out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    out += rs.Get("CONTOPAR").ToText() + "/" + rs.Get("MESE").ToText() + "/" +
           rs.Get("VALUTA").ToText() + "=" + rs.Get("FATTURATO").ToText() + "\n";
  }
  return out;
}

TEST(Recordset, FiltersIgnoreCaseAndTrailingBlanksAndKeepQuotes) {
  Recordset rs = TurnoverSet();
  Add(rs, "O'Hara", 1, 1, "USD", "10.00");
  Add(rs, "4010", 0, 1, "EUR", "5.50");
  Add(rs, "4010 ", 0, 2, "eur", "1");
  EXPECT_EQ(rs.Get("VALUTA"), Variant("eur ")) << "char fields keep their width";

  rs.Filter("CONTOPAR = 'O''Hara'");
  EXPECT_EQ(Dump(rs), "O'Hara/1/USD =10\n");
  rs.Filter("VALUTA = 'EUR' AND CONTOPAR = '4010'");
  EXPECT_EQ(Dump(rs), "4010/1/EUR =5.5\n4010 /2/eur =1\n");
  rs.Filter("VALUTA <> 'EUR   '");
  EXPECT_EQ(Dump(rs), "O'Hara/1/USD =10\n");
  rs.Filter("FATTURATO >= 5.5 AND MESE < '2'");  // a quoted number against a number field
  EXPECT_EQ(rs.RecordCount(), 2);
  rs.Filter("CONTOPAR = ' 4010'");
  EXPECT_EQ(rs.RecordCount(), 0) << "leading blanks count";
}

TEST(Recordset, CountsAndPositionsFollowTheFilter) {
  Recordset rs = TurnoverSet();
  EXPECT_TRUE(rs.bof());
  EXPECT_TRUE(rs.eof());
  EXPECT_EQ(rs.RecordCount(), 0);
  for (int m = 1; m <= 6; ++m)
    Add(rs, "4010", 0, m, m % 2 ? "EUR" : "USD", "1");

  rs.Filter("VALUTA = 'USD'");
  EXPECT_EQ(rs.RecordCount(), 3);
  EXPECT_EQ(rs.AbsolutePosition(), 1);
  EXPECT_EQ(rs.Get("MESE"), Variant(2));
  rs.MoveNext();
  rs.MoveNext();
  EXPECT_EQ(rs.AbsolutePosition(), 3);
  EXPECT_EQ(rs.Get("MESE"), Variant(6));
  rs.MoveNext();
  EXPECT_TRUE(rs.eof());
  EXPECT_EQ(rs.AbsolutePosition(), Recordset::kPosEof);
  EXPECT_THROW(rs.MoveNext(), DbError);
  EXPECT_THROW(rs.Get("MESE"), DbError);
  EXPECT_THROW(rs.Set("MESE", 1), DbError);

  rs.Filter("VALUTA = 'GBP'");
  EXPECT_TRUE(rs.bof() && rs.eof());
  EXPECT_EQ(rs.RecordCount(), 0);

  rs.Filter("MESE > 4");
  rs.MoveNext();
  rs.ClearFilter();
  EXPECT_EQ(rs.RecordCount(), 6);
  EXPECT_EQ(rs.AbsolutePosition(), 1) << "clearing the filter moves to the first row";
  EXPECT_EQ(rs.Get("MESE"), Variant(1));
}

TEST(Recordset, AddNewUnderAFilterAndClonesShareRows) {
  Recordset rs = TurnoverSet();
  Add(rs, "4010", 0, 1, "EUR", "1");
  Add(rs, "4020", 0, 1, "EUR", "2");
  Recordset clone = rs.Clone();
  clone.Filter("CONTOPAR = '4020'");

  rs.Filter("CONTOPAR = '4010'");
  rs.AddNew();
  EXPECT_TRUE(rs.Get("CONTOPAR").is_empty()) << "unassigned fields read as Empty";
  rs.Set("CONTOPAR", "4020");  // no longer matches, yet stays in view until filtered again
  rs.Set("MESE", 2);
  rs.Set("FATTURATO", Decimal::Parse("3"));
  rs.Update();
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(rs.AbsolutePosition(), 2);

  EXPECT_EQ(clone.RecordCount(), 1) << "a filtered clone keeps the view it computed";
  clone.Filter("CONTOPAR = '4020'");
  EXPECT_EQ(clone.RecordCount(), 2) << "the row added through the other set is there";
  clone.MoveNext();
  clone.Set("FATTURATO", Decimal::Parse("3.33"));

  rs.Filter("CONTOPAR = '4010'");
  EXPECT_EQ(rs.RecordCount(), 1);
  rs.ClearFilter();
  EXPECT_EQ(Dump(rs), "4010/1/EUR =1\n4020/1/EUR =2\n4020/2/=3.33\n");

  Recordset unfiltered = rs.Clone();
  rs.AddNew();
  rs.Set("CONTOPAR", "4030");
  EXPECT_EQ(unfiltered.RecordCount(), 4);
  EXPECT_EQ(unfiltered.AbsolutePosition(), 1) << "a clone starts on the first row";
}

TEST(Recordset, IndexFollowsFieldChangesAndNullsNeverMatch) {
  Recordset rs = TurnoverSet();
  Add(rs, "4010", 0, 1, "EUR", "1");
  Add(rs, "4010", Variant::Null(), 1, "EUR", "2");
  rs.Filter("CONTOPAR = '4010' AND TIPOCF = 0");  // builds the index
  EXPECT_EQ(rs.RecordCount(), 1);
  rs.Set("CONTOPAR", "4099");
  rs.Filter("CONTOPAR = '4010' AND TIPOCF = 0");
  EXPECT_EQ(rs.RecordCount(), 0);
  rs.Filter("TIPOCF = 0 AND CONTOPAR = '4099'");
  EXPECT_EQ(rs.RecordCount(), 1) << "term order does not matter";
  rs.Filter("TIPOCF <> 5");
  EXPECT_EQ(rs.RecordCount(), 1) << "Null is not different from 5 either";

  rs.ClearFilter();
  rs.MoveNext();
  rs.Set("TIPOCF", 0);  // Null -> value: enters the index
  rs.Filter("CONTOPAR = '4010' AND TIPOCF = 0.0");
  EXPECT_EQ(Dump(rs), "4010/1/EUR =2\n");
  rs.MoveFirst();
  rs.Set("TIPOCF", Variant::Null());  // value -> Null: leaves it
  rs.Filter("CONTOPAR = '4010' AND TIPOCF = 0");
  EXPECT_EQ(rs.RecordCount(), 0);

  // A key moved to another value and back is found once under its own value and nowhere else:
  // a stale index entry would show the row twice, or under the value it left.
  rs.ClearFilter();
  rs.MoveFirst();
  const Variant month = rs.Get("MESE");
  for (const char* other : {"4010", "5000", "4098"}) {
    rs.Filter("CONTOPAR = '4099' AND MESE = 1");
    ASSERT_EQ(rs.RecordCount(), 1);
    rs.Set("CONTOPAR", other);
    rs.Filter(std::string("CONTOPAR = '") + other + "' AND MESE = 1");
    EXPECT_EQ(rs.RecordCount(), other == std::string("4010") ? 2 : 1) << other;
    rs.Filter("CONTOPAR = '4099' AND MESE = 1");
    EXPECT_EQ(rs.RecordCount(), 0) << other;
    rs.Filter(std::string("CONTOPAR = '") + other + "' AND MESE = 1 AND FATTURATO = 1");
    rs.Set("CONTOPAR", "4099");
    rs.Filter("CONTOPAR = '4099' AND MESE = 1");
    EXPECT_EQ(rs.RecordCount(), 1) << other;
    EXPECT_EQ(rs.Get("MESE"), month);
    rs.Filter(std::string("CONTOPAR = '") + other + "' AND MESE = 1");
    EXPECT_EQ(rs.RecordCount(), other == std::string("4010") ? 1 : 0) << other;
  }
}

TEST(Recordset, FindMovesForwardOrLandsOnEof) {
  Recordset rs = TurnoverSet();
  for (int m = 1; m <= 5; ++m)
    Add(rs, m == 2 || m == 4 ? "X" : "Y", 0, m, "EUR", "1");
  rs.MoveFirst();
  rs.Find("CONTOPAR = 'x'");
  EXPECT_EQ(rs.Get("MESE"), Variant(2));
  rs.Find("CONTOPAR = 'X'");
  EXPECT_EQ(rs.Get("MESE"), Variant(2)) << "the current row counts";
  rs.MoveNext();
  rs.Find("CONTOPAR = 'X'");
  EXPECT_EQ(rs.Get("MESE"), Variant(4));
  rs.MoveNext();
  rs.Find("CONTOPAR = 'X'");
  EXPECT_TRUE(rs.eof());
  rs.MoveFirst();
  EXPECT_THROW(rs.Find("CONTOPAR = 'X' AND MESE = 2"), DbError);
}

TEST(Recordset, BadCriteriaFailLoudlyAndLeaveTheFilterAsItWas) {
  Recordset rs = TurnoverSet();
  Add(rs, "4010", 0, 1, "EUR", "1");
  Add(rs, "4020", 0, 1, "EUR", "1");
  rs.Filter("CONTOPAR = '4020'");
  for (const char* bad : {"NOSUCHFIELD = 1", "MESE = 'marzo'", "CONTOPAR = '4010' OR MESE = 1",
                          "CONTOPAR LIKE '40%'", "MESE ="}) {
    EXPECT_THROW(rs.Filter(bad), DbError) << bad;
  }
  EXPECT_EQ(rs.filter(), "CONTOPAR = '4020'");
  EXPECT_EQ(rs.RecordCount(), 1);
  rs.Filter("  ");
  EXPECT_EQ(rs.RecordCount(), 2) << "an empty criteria text clears the filter";
}

TEST(Recordset, FabricationAndUpdateRules) {
  Recordset rs;
  EXPECT_THROW(rs.Open(), DbError);
  rs.AppendField(FieldDef::Char("CODICE", 2, /*nullable=*/false));
  EXPECT_THROW(rs.AppendField(FieldDef::Char("codice", 2)), DbError);
  rs.Open();
  EXPECT_THROW(rs.AppendField(FieldDef::Char("ALTRO", 2)), DbError);
  rs.AddNew();
  rs.Set("codice", Variant::Null());
  EXPECT_THROW(rs.Update(), DbError);
  EXPECT_THROW(rs.Set("CODICE", "ABC"), DbError);
  rs.Set("Codice", "A");
  rs.Update();
  EXPECT_EQ(rs.Get("CODICE"), Variant("A "));
}

// Accumulating random journal lines through Filter/AddNew must give what a plain map gives,
// whatever the mix of hits, misses and key changes the index sees on the way.
TEST(Recordset, AccumulationMatchesAMapOnRandomJournals) {
  std::mt19937 rng(20240131);
  Recordset rs = TurnoverSet();
  std::map<std::tuple<std::string, int, int, std::string>, Decimal> expected;
  const char* currencies[] = {"EUR", "USD", "CHF"};
  for (int line = 0; line < 5000; ++line) {
    const std::string account = "40" + std::to_string(rng() % 30);
    const int tipocf = static_cast<int>(rng() % 3);
    const int month = 1 + static_cast<int>(rng() % 12);
    const std::string currency = currencies[rng() % 3];
    const Decimal amount =
        *Decimal::FromUnscaled(static_cast<Decimal::Mantissa>(rng() % 200000) - 100000, 2);
    expected[{account, tipocf, month, currency}] += amount;

    rs.Filter("CONTOPAR = '" + account + "' AND TIPOCF = " + std::to_string(tipocf) +
              " AND MESE = " + std::to_string(month) + " AND VALUTA = '" + currency + "'");
    ASSERT_LE(rs.RecordCount(), 1);
    if (rs.eof()) {
      rs.ClearFilter();
      Add(rs, account.c_str(), tipocf, month, currency.c_str(), amount.ToString().c_str());
    } else {
      rs.Set("FATTURATO", Add(rs.Get("FATTURATO"), amount));
      rs.Update();
    }
    rs.ClearFilter();
  }
  ASSERT_EQ(rs.RecordCount(), static_cast<std::int64_t>(expected.size()));
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    const auto key = std::make_tuple(rs.Get("CONTOPAR").AsString(),
                                     static_cast<int>(rs.Get("TIPOCF").AsInteger()),
                                     static_cast<int>(rs.Get("MESE").AsInteger()),
                                     std::string(TrimRight(rs.Get("VALUTA").AsString())));
    EXPECT_EQ(rs.Get("FATTURATO").AsDecimal(), expected.at(key));
  }
}

}  // namespace
}  // namespace veriprog::db
