// The run report of a check or rebuild of every company: one JSON file, rewritten whole after
// every unit (a temporary beside it, then renamed over it), so that a run ended at any point,
// killed included, leaves a complete account of what was done and what was not. A later run
// retries from it the units that failed, were interrupted or never ran (a unit still marked
// running when the report was last written counts as failed: its process ended under it).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "veriprog/run_all.h"

namespace veriprog {

struct ReportedUnit {
  std::int64_t ditta = 0;
  std::string period = {}, family = {};
  // "ok", "flagged", "failed", "interrupted", "not run" or "running".
  std::string status = "not run";
  std::optional<std::int64_t> rows = std::nullopt, flagged = std::nullopt;
  double seconds = 0;
  std::string error = {};
  int attempts = 0;

  bool failed() const { return status != "ok" && status != "flagged"; }
  std::tuple<std::int64_t, std::string, std::string> key() const { return {ditta, period, family}; }
};

// A report as read back: the operation it accounts for and its units, in its order.
struct ReadReport {
  std::string operation;  // "check all" or "rebuild all"
  std::vector<ReportedUnit> units;
};
// nullopt with the reason in `error` when the file cannot be read or is no run report.
std::optional<ReadReport> ReadRunReport(const std::string& path, std::string* error);

class RunReport {
 public:
  // `carried`: the units of an earlier report this run leaves as they were (a retry's).
  RunReport(std::string path, std::string operation, std::vector<ReportedUnit> carried);

  // Every unit of the run, not run yet; units of a carried report are taken over in place.
  void Plan(const std::vector<UnitResult>& units);
  void Started(const UnitResult& unit);
  void Finished(const UnitResult& unit);
  // Rewrites the file; false with the reason in error() when it could not.
  bool Write(bool finished);
  const std::string& error() const { return error_; }

 private:
  ReportedUnit& At(const UnitResult& unit);

  std::string path_, operation_, started_, error_;
  std::vector<ReportedUnit> units_;
  std::map<std::tuple<std::int64_t, std::string, std::string>, std::size_t> index_;
};

}  // namespace veriprog
