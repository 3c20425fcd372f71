#include "component/run_report.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>
#include <utility>

#include "component/whole_file.h"

namespace veriprog {
namespace {

// The report's own version: it grows when a field changes meaning or goes away.
constexpr int kReportVersion = 1;

std::string UtcNow() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day ymd{day};
  const hh_mm_ss time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::string StatusOf(const UnitResult& u) {
  if (!u.run) return "not run";
  if (u.interrupted) return "interrupted";
  if (u.outcome.stato != tsOk) return "failed";
  return u.outcome.flagged > 0 ? "flagged" : "ok";
}

nlohmann::ordered_json ToJson(const ReportedUnit& u) {
  nlohmann::ordered_json j{{"ditta", u.ditta},      {"period", u.period},   {"family", u.family},
                           {"status", u.status},    {"failed", u.failed()}, {"rows", nullptr},
                           {"flagged", nullptr},    {"seconds", u.seconds}, {"error", u.error},
                           {"attempts", u.attempts}};
  if (u.rows) j["rows"] = *u.rows;
  if (u.flagged) j["flagged"] = *u.flagged;
  return j;
}

}  // namespace

std::optional<ReadReport> ReadRunReport(const std::string& path, std::string* error) {
  auto refuse = [&](const std::string& why) -> std::optional<ReadReport> {
    if (error != nullptr) *error = "the run report " + path + " " + why;
    return std::nullopt;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return refuse("cannot be read");
  try {
    const auto j = nlohmann::json::parse(in);
    if (!j.is_object() || !j.contains("units") || !j["units"].is_array() ||
        j.value("report_version", 0) != kReportVersion) {
      return refuse("is no run report of this tool");
    }
    ReadReport report{j.at("operation").get<std::string>(), {}};
    for (const auto& u : j["units"]) {
      ReportedUnit r;
      r.ditta = u.at("ditta").get<std::int64_t>();
      r.period = u.at("period").get<std::string>();
      r.family = u.at("family").get<std::string>();
      r.status = u.at("status").get<std::string>();
      if (!u.at("rows").is_null()) r.rows = u["rows"].get<std::int64_t>();
      if (!u.at("flagged").is_null()) r.flagged = u["flagged"].get<std::int64_t>();
      r.seconds = u.at("seconds").get<double>();
      r.error = u.at("error").get<std::string>();
      r.attempts = u.at("attempts").get<int>();
      report.units.push_back(std::move(r));
    }
    return report;
  } catch (const std::exception& e) {
    return refuse(std::string("is damaged (") + e.what() + ")");
  }
}

RunReport::RunReport(std::string path, std::string operation, std::vector<ReportedUnit> carried)
    : path_(std::move(path)),
      operation_(std::move(operation)),
      started_(UtcNow()),
      units_(std::move(carried)) {
  for (std::size_t i = 0; i < units_.size(); ++i)
    index_[units_[i].key()] = i;
}

ReportedUnit& RunReport::At(const UnitResult& unit) {
  const auto key = std::make_tuple(unit.ditta, unit.period, unit.family);
  const auto found = index_.find(key);
  if (found != index_.end()) return units_[found->second];
  index_[key] = units_.size();
  units_.push_back({unit.ditta, unit.period, unit.family});
  return units_.back();
}

void RunReport::Plan(const std::vector<UnitResult>& units) {
  for (const UnitResult& u : units) {
    ReportedUnit& r = At(u);
    r = {u.ditta, u.period, u.family};
    if (u.run) Finished(u);  // refused before it could start: a company with no fiscal year
  }
}

void RunReport::Started(const UnitResult& unit) {
  At(unit).status = "running";
}

void RunReport::Finished(const UnitResult& unit) {
  ReportedUnit& r = At(unit);
  r.status = StatusOf(unit);
  r.rows = r.flagged = std::nullopt;
  if (unit.run && unit.outcome.stato == tsOk && operation_ == "check all") {
    r.rows = unit.outcome.row_count;
    r.flagged = unit.outcome.flagged;
  }
  r.seconds = unit.outcome.seconds;
  r.error = MessageOf(unit);
  r.attempts = unit.attempts;
}

bool RunReport::Write(bool finished) {
  nlohmann::ordered_json units = nlohmann::ordered_json::array();
  std::size_t failed = 0;
  for (const ReportedUnit& u : units_) {
    units.push_back(ToJson(u));
    failed += u.failed() ? 1 : 0;
  }
  const nlohmann::ordered_json report{{"report_version", kReportVersion},
                                      {"operation", operation_},
                                      {"started", started_},
                                      {"written", UtcNow()},
                                      {"finished", finished},
                                      {"units_failed", failed},
                                      {"units", std::move(units)}};
  // Written whole or not at all: a reader, or a retry after a machine stopped, never meets half
  // a report.
  if (!WriteWholeFile(path_, report.dump(2) + "\n", "the run report", &error_)) return false;
  error_.clear();
  return true;
}

}  // namespace veriprog
