// The outcome of checks and rebuilds as OpenMetrics text, for a metrics collector's text-file
// input: per company, family and period the totals flagged, the run time, the exit code, whether
// the operation went through and when it last did. The caller gathers the units and says, for
// each, when it last went through; the formatter only writes.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace veriprog::cli {

// One operation of one company and period, as the metrics show it.
struct MetricsUnit {
  std::string company, period, family;
  std::optional<std::int64_t> flagged;  // a check's flagged totals; none where it gave no rows
  std::optional<double> seconds;        // none where it did not run
  int exit_code = 0;                    // as the command's own: 0, 1, 2, 3, 130, 143
  // Unix seconds of the last run of this unit that went through, this one or an earlier one.
  std::optional<double> last_success;
};

// 0 (nothing differs) and 1 (totals flagged): the operation went through.
bool WentThrough(int exit_code);
// Now, in unix seconds.
double UnixSeconds();

// The whole exposition, ending with "# EOF". `operation` ("check", "rebuild") is a label of
// every sample, so that the files of a check and of a rebuild of the same units can sit side by
// side in one collector.
void WriteOpenMetrics(std::ostream& out, std::string_view operation,
                      const std::vector<MetricsUnit>& units);

// A label value as the format wants it between double quotes: backslash, double quote and
// newline escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string MetricsLabelValue(std::string_view text);

}  // namespace veriprog::cli
