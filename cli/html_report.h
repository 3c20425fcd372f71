// The checks as one self-contained HTML page for a controller: a summary per company and family,
// the flagged totals of each check and, for each flagged account key, a small chart of its stored
// monthly totals against the journal's. Styles and charts (SVG) are inline: the page needs no
// network, no script and no other file.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "veriprog/explain.h"
#include "veriprog/recordset.h"

namespace veriprog::cli {

// Charts drawn per check at most, and flagged rows listed per check at most.
inline constexpr std::size_t kChartsPerUnit = 50;
inline constexpr std::size_t kRowsPerUnit = 1000;

// One check of one company and period.
struct ReportUnit {
  std::string company, period, family;
  std::int64_t rows = 0, flagged = 0;
  double seconds = 0;
  std::string outcome;                    // "ok", "flagged", "error", ...
  std::string message;                    // the failure, when there is one
  std::shared_ptr<db::Recordset> result;  // its rows; the page lists the flagged ones
  std::vector<MonthSeries> charts;
  std::string chart_error;  // why the charts could not be drawn
  // The flagged totals of this check's earlier runs and this one, oldest first, as the run
  // history remembers them: drawn as a trend when there are two or more.
  struct TrendRun {
    std::string started;
    std::int64_t flagged = 0;
  };
  std::vector<TrendRun> trend = {};
};

void WriteHtmlReport(std::ostream& out, const std::string& title,
                     const std::vector<ReportUnit>& units);

// Text made safe inside HTML elements and attribute values.
std::string HtmlEscape(std::string_view text);
// The chart of one series as an inline SVG element.
std::string SvgChart(const MonthSeries& series);
// The flagged totals per run as inline SVG bars, the latest on the right.
std::string SvgTrend(const std::vector<ReportUnit::TrendRun>& trend);

}  // namespace veriprog::cli
