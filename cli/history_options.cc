#include "cli/history_options.h"

#include <cstdlib>
#include <iostream>

namespace veriprog::cli {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

}  // namespace

void AddHistoryOptions(CLI::App* cmd, HistoryOptions& h) {
  cmd->add_option("--history", h.path,
                  "the run history file (default: $VERIPROG_HISTORY, else "
                  "~/.local/share/veriprog/history.db)");
  cmd->add_flag("--no-history", h.none, "record nothing in the run history");
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

std::unique_ptr<history::Store> OpenHistory(const HistoryOptions& h, bool& refused) {
  refused = false;
  const std::string path = HistoryPath(h);
  if (path.empty()) return nullptr;
  std::string error;
  auto store = history::Store::Open(path, &error);
  if (!store) {
    std::cerr << error << '\n';
    refused = true;
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
