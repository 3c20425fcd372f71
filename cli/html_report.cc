#include "cli/html_report.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "db/text.h"

namespace veriprog::cli {
namespace {

constexpr const char* kStyle = R"(
body { font: 14px/1.4 system-ui, sans-serif; margin: 1.5em 2em; color: #1d232a; }
h1 { font-size: 1.4em; margin-bottom: .2em; }
h2 { font-size: 1.15em; margin-top: 1.6em; border-bottom: 1px solid #ccd3da; }
p.lead { color: #56606b; margin-top: 0; }
table { border-collapse: collapse; margin: .6em 0; }
th, td { padding: 2px 8px; border-bottom: 1px solid #e3e7eb; text-align: left; white-space: nowrap; }
th { background: #f1f4f7; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
tr.flagged td.outcome, span.flagged { color: #a15c00; font-weight: 600; }
tr.error td.outcome, p.error { color: #b3261e; font-weight: 600; }
tr.ok td.outcome { color: #1e7d32; }
.charts { display: flex; flex-wrap: wrap; gap: 12px; }
figure { margin: 0; border: 1px solid #e3e7eb; padding: 6px; }
figcaption { font-size: 12px; max-width: 380px; }
div.wide { overflow-x: auto; }
svg text { font: 10px system-ui, sans-serif; fill: #56606b; }
.legend-stored { color: #1f5fbf; } .legend-journal { color: #d9730d; }
)";

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

std::string Cell(const db::Variant& v) {
  if (v.kind() == db::Variant::Kind::kDecimal) return v.AsDecimal().ToString();
  return v.ToText();
}

bool Numeric(db::FieldType t) {
  return t == db::FieldType::kDecimal || t == db::FieldType::kInteger;
}

std::string Anchor(std::size_t i) {
  return "check-" + std::to_string(i + 1);
}

// Amounts in cents for the drawing: integer arithmetic, never floating point.
__int128 Cents(const db::Decimal& d) {
  const auto r = d.TryRescale(2);
  return r ? r->unscaled() : 0;
}

long long Scaled(__int128 value, __int128 low, __int128 high, long long pixels) {
  if (high == low) return pixels / 2;
  return static_cast<long long>((value - low) * pixels / (high - low));
}

void RowsTable(std::ostream& out, db::Recordset& rs) {
  const auto flag = rs.FieldIndex("FLAGSBIL");
  if (!rs.is_open() || !flag) return;
  const auto& fields = rs.fields();
  // A check's ID is a new identifier per row and call: nothing a reader compares.
  auto shown_field = [&](std::size_t i) { return fields[i].name != "ID"; };
  out << "<div class=\"wide\"><table class=\"rows\"><thead><tr>";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (shown_field(i)) out << "<th>" << HtmlEscape(fields[i].name) << "</th>";
  }
  out << "</tr></thead><tbody>\n";
  std::size_t shown = 0, flagged = 0;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    if (db::Trim(rs.Get(*flag).ToText()).empty()) continue;
    if (++flagged > kRowsPerUnit) continue;
    ++shown;
    out << "<tr>";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (!shown_field(i)) continue;
      out << (Numeric(fields[i].type) ? "<td class=\"n\">" : "<td>")
          << HtmlEscape(db::TrimRight(Cell(rs.Get(i)))) << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</tbody></table></div>\n";
  if (flagged > shown) {
    out << "<p class=\"lead\">The first " << shown << " of " << flagged
        << " flagged rows; the others are in the CSV or JSON output.</p>\n";
  }
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string SvgChart(const MonthSeries& series) {
  constexpr long long kWidth = 380, kHeight = 150, kLeft = 64, kRight = 8, kTop = 10, kBottom = 20;
  const long long plot_w = kWidth - kLeft - kRight, plot_h = kHeight - kTop - kBottom;
  __int128 low = 0, high = 0;  // the zero line always shows
  for (const auto& p : series.points) {
    low = std::min({low, Cents(p.stored), Cents(p.journal)});
    high = std::max({high, Cents(p.stored), Cents(p.journal)});
  }
  const std::size_t n = series.points.size();
  auto x = [&](std::size_t i) {
    return kLeft + (n <= 1 ? plot_w / 2
                           : static_cast<long long>(i) * plot_w / static_cast<long long>(n - 1));
  };
  auto y = [&](__int128 v) { return kTop + plot_h - Scaled(v, low, high, plot_h); };
  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight << "\" role=\"img\" aria-label=\""
      << HtmlEscape(series.title) << "\">";
  svg << "<line x1=\"" << kLeft << "\" x2=\"" << kWidth - kRight << "\" y1=\"" << y(0) << "\" y2=\""
      << y(0) << "\" stroke=\"#ccd3da\"/>";
  // The scale: the highest and lowest amounts and zero, where they stand apart.
  std::vector<__int128> marks = {high};
  if (y(0) - y(high) >= 12 && y(low) - y(0) >= 12) marks.push_back(0);
  if (low != high) marks.push_back(low);
  for (const __int128 mark : marks) {
    const auto amount = db::Decimal::FromUnscaled(mark, 2);
    svg << "<text x=\"" << kLeft - 4 << "\" y=\"" << y(mark) + 3 << "\" text-anchor=\"end\">"
        << (amount ? amount->ToString() : "") << "</text>";
  }
  for (const bool stored : {true, false}) {
    svg << "<polyline fill=\"none\" stroke-width=\"2\" stroke=\""
        << (stored ? "#1f5fbf" : "#d9730d") << '"' << (stored ? "" : " stroke-dasharray=\"5 3\"")
        << " points=\"";
    for (std::size_t i = 0; i < n; ++i) {
      const auto& p = series.points[i];
      svg << (i ? " " : "") << x(i) << ',' << y(Cents(stored ? p.stored : p.journal));
    }
    svg << "\"/>";
  }
  for (std::size_t i = 0; i < n; ++i) {
    const auto& p = series.points[i];
    const bool differs = p.stored != p.journal;
    char month[16];
    std::snprintf(month, sizeof month, "%04d-%02d", p.year, p.month);
    svg << "<circle cx=\"" << x(i) << "\" cy=\"" << y(Cents(p.journal)) << "\" r=\""
        << (differs ? 4 : 2) << "\" fill=\"" << (differs ? "#b3261e" : "#d9730d") << "\"><title>"
        << month << ": stored " << p.stored.ToString() << ", journal " << p.journal.ToString()
        << "</title></circle>";
    svg << "<text x=\"" << x(i) << "\" y=\"" << kHeight - 6 << "\" text-anchor=\"middle\">"
        << (p.month < 10 ? "0" : "") << p.month << "</text>";
  }
  svg << "</svg>";
  return svg.str();
}

std::string SvgTrend(const std::vector<ReportUnit::TrendRun>& trend) {
  constexpr int kBar = 14, kGap = 4, kHeight = 90, kTop = 14, kBottom = 16;
  std::int64_t most = 1;
  for (const auto& t : trend)
    most = std::max(most, t.flagged);
  const int width = static_cast<int>(trend.size()) * (kBar + kGap) + kGap;
  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << kHeight
      << "\" role=\"img\" aria-label=\"flagged totals per run\">";
  const int room = kHeight - kTop - kBottom;
  for (std::size_t i = 0; i < trend.size(); ++i) {
    const int h = static_cast<int>(trend[i].flagged * room / most);
    const int x = kGap + static_cast<int>(i) * (kBar + kGap);
    svg << "<rect x=\"" << x << "\" y=\"" << kTop + room - h << "\" width=\"" << kBar
        << "\" height=\"" << std::max(h, 1) << "\" fill=\""
        << (trend[i].flagged > 0 ? "#c0392b" : "#27ae60") << "\"><title>"
        << HtmlEscape(trend[i].started) << ": " << trend[i].flagged << " flagged</title></rect>";
    svg << "<text x=\"" << x + kBar / 2 << "\" y=\"" << kTop + room - h - 3
        << "\" text-anchor=\"middle\">" << trend[i].flagged << "</text>";
  }
  svg << "<text x=\"" << kGap << "\" y=\"" << kHeight - 4 << "\">"
      << HtmlEscape(trend.front().started.substr(0, 10)) << "</text>";
  svg << "</svg>";
  return svg.str();
}

void WriteHtmlReport(std::ostream& out, const std::string& title,
                     const std::vector<ReportUnit>& units) {
  std::int64_t flagged = 0, failed = 0;
  for (const auto& u : units) {
    flagged += u.flagged;
    if (u.outcome != "ok" && u.outcome != "flagged") ++failed;
  }
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      << "<link rel=\"icon\" href=\"data:,\">\n"
      << "<title>" << HtmlEscape(title) << "</title>\n<style>" << kStyle << "</style>\n</head>\n"
      << "<body>\n<h1>" << HtmlEscape(title) << "</h1>\n"
      << "<p class=\"lead\">" << units.size() << (units.size() == 1 ? " check, " : " checks, ")
      << flagged << " flagged " << (flagged == 1 ? "total" : "totals") << ", " << failed
      << " failed.</p>\n";

  // Per company first, when there are several: where to look.
  std::vector<std::string> companies;
  for (const auto& u : units) {
    if (std::find(companies.begin(), companies.end(), u.company) == companies.end())
      companies.push_back(u.company);
  }
  if (companies.size() > 1) {
    out << "<h2>Companies</h2>\n<table class=\"companies\"><thead><tr><th>Company</th>"
           "<th>Checks</th><th>Flagged checks</th><th>Flagged totals</th><th>Failed</th>"
           "<th>Time (s)</th></tr></thead><tbody>\n";
    for (const std::string& company : companies) {
      std::int64_t checks = 0, flagged_checks = 0, totals = 0, failures = 0;
      double seconds = 0;
      for (const auto& u : units) {
        if (u.company != company) continue;
        ++checks;
        flagged_checks += u.flagged > 0;
        totals += u.flagged;
        failures += u.outcome != "ok" && u.outcome != "flagged";
        seconds += u.seconds;
      }
      const char* css = failures ? "error" : (totals ? "flagged" : "ok");
      out << "<tr class=\"" << css << "\"><td>" << HtmlEscape(company) << "</td><td class=\"n\">"
          << checks << "</td><td class=\"n\">" << flagged_checks << "</td><td class=\"n\">"
          << totals << "</td><td class=\"n outcome\">" << failures << "</td><td class=\"n\">"
          << Seconds(seconds) << "</td></tr>\n";
    }
    out << "</tbody></table>\n";
  }

  out << "<h2>Summary</h2>\n<table class=\"summary\"><thead><tr><th>Company</th><th>Period</th>"
         "<th>Family</th><th>Rows</th><th>Flagged</th><th>Time (s)</th><th>Outcome</th>"
         "</tr></thead><tbody>\n";
  for (std::size_t i = 0; i < units.size(); ++i) {
    const ReportUnit& u = units[i];
    const bool detail = u.flagged > 0 || !u.message.empty();
    const std::string css =
        u.outcome == "ok" ? "ok" : (u.outcome == "flagged" ? "flagged" : "error");
    out << "<tr class=\"" << css << "\"><td>" << HtmlEscape(u.company) << "</td><td>"
        << HtmlEscape(u.period) << "</td><td>" << HtmlEscape(u.family) << "</td><td class=\"n\">"
        << u.rows << "</td><td class=\"n\">" << u.flagged << "</td><td class=\"n\">"
        << Seconds(u.seconds) << "</td><td class=\"outcome\">";
    if (detail) out << "<a href=\"#" << Anchor(i) << "\">";
    out << HtmlEscape(u.outcome);
    if (detail) out << "</a>";
    out << "</td></tr>\n";
  }
  out << "</tbody></table>\n";

  bool trends = false;
  for (const ReportUnit& u : units) {
    if (u.trend.size() < 2) continue;
    if (!trends) {
      out << "<h2>Flagged totals per run</h2>\n<p class=\"lead\">From the run history, the "
             "oldest on the left, this run on the right.</p>\n<div class=\"charts\">\n";
      trends = true;
    }
    out << "<figure>" << SvgTrend(u.trend) << "<figcaption><strong>Company "
        << HtmlEscape(u.company) << ", " << HtmlEscape(u.family) << ", " << HtmlEscape(u.period)
        << "</strong><br>" << u.trend.size() << " runs</figcaption></figure>\n";
  }
  if (trends) out << "</div>\n";

  for (std::size_t i = 0; i < units.size(); ++i) {
    const ReportUnit& u = units[i];
    if (u.flagged == 0 && u.message.empty()) continue;
    out << "<section id=\"" << Anchor(i) << "\">\n<h2>Company " << HtmlEscape(u.company) << ", "
        << HtmlEscape(u.family) << ", " << HtmlEscape(u.period) << "</h2>\n";
    if (!u.message.empty()) out << "<p class=\"error\">" << HtmlEscape(u.message) << "</p>\n";
    if (u.flagged > 0) {
      out << "<p><span class=\"flagged\">" << u.flagged << " flagged</span> of " << u.rows
          << " rows.</p>\n";
    }
    if (u.result) RowsTable(out, *u.result);
    if (!u.charts.empty()) {
      out << "<p class=\"lead\">Monthly net movement (debit minus credit): "
             "<span class=\"legend-stored\">&#9644; stored</span> against "
             "<span class=\"legend-journal\">&#9644; journal</span>; months that differ in "
             "red.</p>\n<div class=\"charts\">\n";
      for (const MonthSeries& chart : u.charts) {
        out << "<figure>" << SvgChart(chart) << "<figcaption><strong>" << HtmlEscape(chart.title)
            << "</strong><br>" << HtmlEscape(chart.note) << "</figcaption></figure>\n";
      }
      out << "</div>\n";
      if (static_cast<std::int64_t>(u.charts.size()) < u.flagged &&
          u.charts.size() >= kChartsPerUnit)
        out << "<p class=\"lead\">Charts for the first " << u.charts.size()
            << " flagged keys.</p>\n";
    }
    if (!u.chart_error.empty()) {
      out << "<p class=\"error\">The monthly charts could not be drawn: "
          << HtmlEscape(u.chart_error) << "</p>\n";
    }
    out << "</section>\n";
  }
  out << "</body>\n</html>\n";
}

}  // namespace veriprog::cli
