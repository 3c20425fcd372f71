// The metrics text where a parser is strict: label values escaped and kept UTF-8, each family's
// metadata before its samples, families without a sample left out, and "# EOF" last.
#include "cli/openmetrics.h"

#include <gtest/gtest.h>

#include <sstream>

namespace veriprog::cli {
namespace {

TEST(OpenMetrics, LabelValuesAreEscapedAndKeptUtf8) {
  EXPECT_EQ(MetricsLabelValue("2024/1"), "2024/1");
  EXPECT_EQ(MetricsLabelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  EXPECT_EQ(MetricsLabelValue("\\n"), "\\\\n");  // a backslash and an n, not a newline
  EXPECT_EQ(MetricsLabelValue("Società €"), "Società €");
  // A stray continuation byte, a truncated sequence, an overlong slash, a surrogate.
  EXPECT_EQ(MetricsLabelValue("a\x80z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(MetricsLabelValue("a\xE2\x82"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(MetricsLabelValue("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(MetricsLabelValue("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(OpenMetrics, FamiliesHaveTheirMetadataAndOnlyTheSamplesThereAre) {
  std::ostringstream out;
  WriteOpenMetrics(out, "check",
                   {{"1", "2024/1", "accounts", 3, 0.5, 1, 1700000000.25},
                    {"2\"", "2024", "vat", std::nullopt, 1.0, 3, std::nullopt}});
  EXPECT_EQ(out.str(),
            "# TYPE veriprog_flagged_totals gauge\n"
            "# HELP veriprog_flagged_totals Stored totals flagged as different from the journal\n"
            "veriprog_flagged_totals{operation=\"check\",company=\"1\",family=\"accounts\","
            "period=\"2024/1\"} 3\n"
            "# TYPE veriprog_run_seconds gauge\n"
            "# UNIT veriprog_run_seconds seconds\n"
            "# HELP veriprog_run_seconds Time the operation took\n"
            "veriprog_run_seconds{operation=\"check\",company=\"1\",family=\"accounts\","
            "period=\"2024/1\"} 0.5\n"
            "veriprog_run_seconds{operation=\"check\",company=\"2\\\"\",family=\"vat\","
            "period=\"2024\"} 1\n"
            "# TYPE veriprog_exit_code gauge\n"
            "# HELP veriprog_exit_code Exit code of the operation: 0 nothing differs, 1 flagged, "
            "2 invalid parameters, 3 error, 130 or 143 interrupted\n"
            "veriprog_exit_code{operation=\"check\",company=\"1\",family=\"accounts\","
            "period=\"2024/1\"} 1\n"
            "veriprog_exit_code{operation=\"check\",company=\"2\\\"\",family=\"vat\","
            "period=\"2024\"} 3\n"
            "# TYPE veriprog_success gauge\n"
            "# HELP veriprog_success 1 when the operation went through (exit code 0 or 1), else 0\n"
            "veriprog_success{operation=\"check\",company=\"1\",family=\"accounts\","
            "period=\"2024/1\"} 1\n"
            "veriprog_success{operation=\"check\",company=\"2\\\"\",family=\"vat\","
            "period=\"2024\"} 0\n"
            "# TYPE veriprog_last_success_timestamp_seconds gauge\n"
            "# UNIT veriprog_last_success_timestamp_seconds seconds\n"
            "# HELP veriprog_last_success_timestamp_seconds Unix time of the last run of the "
            "operation that went through\n"
            "veriprog_last_success_timestamp_seconds{operation=\"check\",company=\"1\","
            "family=\"accounts\",period=\"2024/1\"} 1700000000.25\n"
            "# EOF\n");

  std::ostringstream empty;
  WriteOpenMetrics(empty, "rebuild", {});
  EXPECT_EQ(empty.str(), "# EOF\n");
}

}  // namespace
}  // namespace veriprog::cli
