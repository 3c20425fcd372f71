// The pieces of the command line that need no database: text made safe for a page and a chart
// drawn with whole numbers.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/html_report.h"

namespace veriprog::cli {
namespace {

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

}  // namespace
}  // namespace veriprog::cli
