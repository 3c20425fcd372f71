// The pieces of the command line that need no database: rows compared by key, text made safe for
// a page, a chart drawn with whole numbers, and the lists of companies and years a user gives.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/batch.h"
#include "cli/dry_run.h"
#include "cli/html_report.h"

namespace veriprog::cli {
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

TEST(HtmlReport, TextIsEscapedAndChartsAreDrawnInWholePixels) {
  EXPECT_EQ(HtmlEscape("<script>alert('x') & \"y\"</script>"),
            "&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;");
  MonthSeries series{"1401 <Rossi & C.>", "", {}};
  for (int m = 1; m <= 12; ++m) {
    series.points.push_back(
        {2024, m, db::Decimal::Parse(m == 3 ? "-100.50" : "250.00"), db::Decimal::Parse("250.00")});
  }
  const std::string svg = SvgChart(series);
  EXPECT_EQ(svg.find("<Rossi"), std::string::npos);
  EXPECT_NE(svg.find("1401 &lt;Rossi &amp; C.&gt;"), std::string::npos);
  EXPECT_NE(svg.find("2024-03: stored -100.50, journal 250.00"), std::string::npos);
  EXPECT_EQ(svg.find('e' + std::string("+")), std::string::npos);
  // One line per side, one point and one label per month; the month that differs in red.
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (auto at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("<polyline"), 2u);
  EXPECT_EQ(count("<circle"), 12u);
  EXPECT_EQ(count("fill=\"#b3261e\""), 1u);
  // A flat series (every month zero) still draws, its zero line in the middle.
  EXPECT_NE(SvgChart({"0", "", {{2024, 1, {}, {}}}}).find("<polyline"), std::string::npos);
}

TEST(HtmlReport, OnePageWithTheSummaryAndTheFlaggedRows) {
  auto rows = std::make_shared<db::Recordset>();
  rows->AppendField(db::FieldDef::VarChar("CONTO"));
  rows->AppendField(db::FieldDef::Char("FLAGSBIL", 2));
  rows->AppendField(db::FieldDef::VarChar("ID"));
  rows->Open();
  for (const char* conto : {"1001", "4001<b>"}) {
    rows->AddNew();
    rows->Set("CONTO", conto);
    rows->Set("FLAGSBIL", std::string(conto) == "1001" ? "" : "Si");
    rows->Set("ID", "F00D");
    rows->Update();
  }
  std::ostringstream page;
  WriteHtmlReport(page, "check accounts",
                  {{"1", "2024/1", "accounts", 2, 1, 0.5, "flagged", "", rows, {}, ""},
                   {"2", "2024", "vat", 0, 0, 0.1, "error", "connessione persa", nullptr, {}, ""}});
  const std::string html = page.str();
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("<td>4001&lt;b&gt;</td>"), std::string::npos);
  EXPECT_EQ(html.find("<td>1001</td>"), std::string::npos);  // not flagged
  EXPECT_EQ(html.find("F00D"), std::string::npos);           // a new identifier per call
  EXPECT_NE(html.find("connessione persa"), std::string::npos);
  EXPECT_NE(html.find("<h2>Companies</h2>"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(html.find("</html>"), std::string::npos);
}

TEST(NumberSet, ListsAndRangesOfCompaniesAndYears) {
  EXPECT_TRUE(NumberSet().Contains(42));
  const auto set = NumberSet::Parse(" 1, 5-7 ,10", "--companies");
  for (int n : {1, 5, 6, 7, 10})
    EXPECT_TRUE(set.Contains(n)) << n;
  for (int n : {0, 2, 4, 8, 11})
    EXPECT_FALSE(set.Contains(n)) << n;
  EXPECT_EQ(set.singles(), (std::vector<std::int64_t>{1, 10}));
  for (const char* bad : {"1;DROP TABLE CG53_PROGA", "7-3", "a", "1,,2", "1.5", "-"})
    EXPECT_THROW(NumberSet::Parse(bad, "--companies"), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace veriprog::cli
