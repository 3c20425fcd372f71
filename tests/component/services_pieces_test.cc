// The pieces of the services that need no database: the stored rows of a dry run compared by
// key, and the lists of companies and years a user gives.
#include <gtest/gtest.h>

#include "component/stored_tables.h"
#include "veriprog/run_all.h"

namespace veriprog {
namespace {

TableRows Rows(std::vector<std::pair<std::string, db::Variant>> rows) {
  TableRows t;
  for (auto& [key, value] : rows)
    t.rows.push_back({key, {{db::Variant(key)}, {value}}});
  return t;
}

TEST(DryRunCompare, RowsByKeyAmountsByValue) {
  const StoredTable table{"CG59_PROGIVAM", {"CG59_SEZIONALE"}, {"CG59_IMPOSTA"}, ""};
  const auto d = CompareTables(table,
                               Rows({{"A", db::Decimal::Parse("1.50")},
                                     {"B", db::Decimal::Parse("2.00")},
                                     {"C", db::Variant::Null()},
                                     {"E", db::Variant::Null()}}),
                               Rows({{"A", db::Decimal::Parse("1.5")},
                                     {"B", db::Decimal::Parse("3.00")},
                                     {"D", db::Decimal::Parse("0.00")},
                                     {"E", db::Decimal::Parse("0.00")}}));
  // A: 1.50 and 1.5 are one amount; B: 2.00 -> 3.00; C gone; D new; E: Null -> 0.00 changes.
  EXPECT_EQ(d.unchanged, 1);
  EXPECT_EQ(d.updated, 2);
  EXPECT_EQ(d.deleted, 1);
  EXPECT_EQ(d.inserted, 1);
  ASSERT_EQ(d.changes.size(), 4u);
  EXPECT_EQ(d.changes[0].kind, "updated");
  EXPECT_EQ(d.changes[0].values.at(0).before.ToText(), "2");
  EXPECT_EQ(d.changes[0].values.at(0).after.ToText(), "3");
  EXPECT_EQ(d.changes[1].kind, "deleted");
  EXPECT_TRUE(d.changes[1].values.at(0).after.is_empty());
  EXPECT_EQ(d.changes[3].kind, "inserted");
  EXPECT_EQ(d.changes[3].key.at(0).second.ToText(), "D");
}

TEST(NumberSet, ListsAndRangesOfCompaniesAndYears) {
  EXPECT_TRUE(NumberSet().Contains(42));
  const auto set = NumberSet::Parse(" 1, 5-7 ,10", "--companies");
  ASSERT_TRUE(set);
  for (int n : {1, 5, 6, 7, 10})
    EXPECT_TRUE(set->Contains(n)) << n;
  for (int n : {0, 2, 4, 8, 11})
    EXPECT_FALSE(set->Contains(n)) << n;
  EXPECT_EQ(set->singles(), (std::vector<std::int64_t>{1, 10}));
  for (const char* bad : {"1;DROP TABLE CG53_PROGA", "7-3", "a", "1,,2", "1.5", "-"}) {
    std::string error;
    EXPECT_FALSE(NumberSet::Parse(bad, "--companies", &error)) << bad;
    EXPECT_EQ(error.rfind("--companies: ", 0), 0u) << error;
  }
}

}  // namespace
}  // namespace veriprog
