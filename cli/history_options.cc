#include "cli/history_options.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace veriprog::cli {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

}  // namespace

CLI::Validator NotBlank(const std::string& what) {
  return CLI::Validator(
      [what](std::string& text) {
        if (text.find_first_not_of(" \t\r\n\v\f") != std::string::npos) return std::string();
        return what + " cannot be empty";
      },
      "TEXT");
}

const CLI::Validator kRunNumber(
    [](std::string& text) {
      std::int64_t v = 0;
      const char* end = text.data() + text.size();
      // Digits only: from_chars would take a leading '-', and overflow is refused, not clamped.
      const bool digits =
          !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
      const auto [ptr, ec] = std::from_chars(text.data(), end, v);
      if (digits && ec == std::errc() && ptr == end && v >= 1) return std::string();
      return "a run number as history lists it (1 or more), not '" + text + "'";
    },
    "RUN");

void AddHistoryOptions(CLI::App* cmd, HistoryOptions& h) {
  CLI::Option* path = cmd->add_option("--history", h.path,
                                      "the run history file (default: $VERIPROG_HISTORY, else "
                                      "~/.local/share/veriprog/history.db)")
                          ->check(NotBlank("the history's path"));
  cmd->add_flag("--no-history", h.none, "record nothing in the run history")->excludes(path);
}

std::string HistoryPath(const HistoryOptions& h) {
  if (h.none) return "";
  if (!h.path.empty()) return h.path;
  if (std::string env = Env("VERIPROG_HISTORY"); !env.empty()) return env;
#ifdef _WIN32
  return "";  // no history in the Windows build unless one is asked for (and refused)
#else
  if (std::string data = Env("XDG_DATA_HOME"); !data.empty()) return data + "/veriprog/history.db";
  if (std::string home = Env("HOME"); !home.empty())
    return home + "/.local/share/veriprog/history.db";
  return "";
#endif
}

std::unique_ptr<history::Store> OpenHistory(const HistoryOptions& h, bool& refused, bool to_read) {
  refused = false;
  const std::string path = HistoryPath(h);
  if (path.empty()) return nullptr;
  std::error_code ignored;
  const bool existed = std::filesystem::exists(path, ignored);
  std::string error;
  auto store =
      to_read ? history::Store::OpenToRead(path, &error) : history::Store::Open(path, &error);
  if (!store) {
    std::cerr << error << '\n';
    refused = true;
  } else if (!existed) {
    std::cerr << "history: a new history at " << path << '\n';
  }
  return store;
}

std::vector<ReportUnit::TrendRun> TrendOf(history::Store* store, const history::Run& like) {
  constexpr int kRuns = 30;
  std::vector<ReportUnit::TrendRun> trend;
  if (store == nullptr) return trend;
  for (const history::TrendPoint& p : store->Trend(like, kRuns, nullptr))
    trend.push_back({p.started, p.flagged});
  return trend;
}

void PrintRecorded(const history::Recorded& recorded) {
  if (!recorded.error.empty()) {
    std::cerr << "history: not recorded: " << recorded.error << '\n';
    return;
  }
  std::cerr << "history: run " << recorded.run;
  if (!recorded.findings.empty()) {
    int counts[3] = {};
    for (const history::RunFinding& f : recorded.findings)
      ++counts[static_cast<int>(f.state)];
    std::cerr << "; " << recorded.findings.size() << " flagged: " << counts[0] << " new, "
              << counts[1] << " known, " << counts[2] << " acknowledged";
  }
  std::cerr << '\n';
}

}  // namespace veriprog::cli
