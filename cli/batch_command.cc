// check all, rebuild all: the command, its options and its outputs (the summary as a table, CSV,
// JSON with the flagged rows of each check, the HTML page, or OpenMetrics text).

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/history_options.h"
#include "cli/html_report.h"
#include "cli/interrupt.h"
#include "cli/openmetrics.h"
#include "cli/operations.h"
#include "cli/output.h"
#include "db/text.h"
#include "platform/console.h"
#include "veriprog/run_all.h"

namespace veriprog::cli {
namespace {

struct AllOptions {
  std::string connection;
  std::string companies, fiscal_years, families;
  int jobs = 1;
  bool all_rows = false;
  std::string format = "table";
  OperationParameters waits;  // the lock and statement timeouts only
  std::string report, retry_failed;
  HistoryOptions history;
};

// One line on stderr while the companies run: redrawn in place on a terminal; in a log, one line
// per company as it ends. Told on the command's own thread.
class BatchProgress {
 public:
  explicit BatchProgress(bool terminal) : terminal_(terminal) {}
  ~BatchProgress() {
    if (drawn_) std::fputs("\r\x1b[K", stderr);
  }
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;

  void On(const RunAllProgress& m) {
    using Kind = RunAllProgress::Kind;
    switch (m.kind) {
      case Kind::kStarted:
        companies_ = m.companies;
        units_ = m.count;
        break;
      case Kind::kUnitStarted:
        running_[m.ditta] = m.units->family + " " + m.units->period;
        break;
      case Kind::kUnitFinished:
        ++done_units_;
        flagged_ += m.units->outcome.flagged;
        if (Failed(*m.units)) ++failed_;
        break;
      case Kind::kCompanyFinished:
        running_.erase(m.ditta);
        ++done_companies_;
        if (!terminal_) return CompanyLine(m);
        break;
      case Kind::kEvent:
        return;
      case Kind::kNotice:
        // Said on a line of its own: waits and retries are what an operator looks for later.
        if (drawn_) std::fputs("\r\x1b[K", stderr);
        std::fprintf(stderr, "%s\n", m.event.c_str());
        std::fflush(stderr);
        break;
    }
    Draw();
  }

 private:
  static bool Failed(const UnitResult& u) {
    const ExitCode code = ExitCodeOf(u.outcome);
    return code == ExitCode::kInvalidParameters || code == ExitCode::kProgramError;
  }

  void CompanyLine(const RunAllProgress& m) const {
    std::int64_t flagged = 0, failed = 0;
    for (std::size_t i = 0; i < m.count; ++i) {
      flagged += m.units[i].outcome.flagged;
      if (Failed(m.units[i])) ++failed;
    }
    std::fprintf(stderr,
                 "[%zu/%zu] company %lld: %zu operations, %lld flagged, %lld failed, %.2f s\n",
                 done_companies_, companies_, static_cast<long long>(m.ditta), m.count,
                 static_cast<long long>(flagged), static_cast<long long>(failed), m.seconds);
    std::fflush(stderr);
  }

  void Draw() {
    if (!terminal_) return;
    std::string line = "[" + std::to_string(done_companies_) + "/" + std::to_string(companies_) +
                       " companies, " + std::to_string(done_units_) + "/" + std::to_string(units_) +
                       " operations] flagged " + std::to_string(flagged_) + ", failed " +
                       std::to_string(failed_);
    if (!running_.empty()) {
      line += " | running:";
      for (const auto& [ditta, what] : running_)
        line += " " + std::to_string(ditta) + " " + what + ";";
      line.pop_back();
    }
    if (line.size() > 200) line = line.substr(0, 197) + "...";
    std::fprintf(stderr, "\r\x1b[K%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool terminal_, drawn_ = false;
  std::size_t companies_ = 0, units_ = 0, done_companies_ = 0, done_units_ = 0;
  std::int64_t flagged_ = 0, failed_ = 0;
  std::map<std::int64_t, std::string> running_;
};

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

// The rows a JSON answer lists: the flagged ones, or all.
nlohmann::ordered_json Rows(const UnitResult& u, bool all) {
  if (!u.outcome.rows) return nlohmann::ordered_json::array();
  db::Recordset& rs = *u.outcome.rows;
  if (all || !rs.FieldIndex("FLAGSBIL"))
    return all ? RowsToJson(rs) : nlohmann::ordered_json::array();
  const std::string view = rs.filter();
  rs.Filter((view.empty() ? "" : view + " AND ") + "FLAGSBIL <> ''");
  auto rows = RowsToJson(rs);
  view.empty() ? rs.ClearFilter() : rs.Filter(view);
  return rows;
}

void PrintSummaryTable(const RunAllResult& r, bool rebuild, bool csv) {
  db::Recordset rs = UnitRows(r, !rebuild);
  csv ? PrintCsv(std::cout, rs) : PrintTable(std::cout, rs);
}

// Every unit's metrics; one not run or stopped carries the exit code of the run's interruption.
// The parameters a unit ran with, or would have: what the history finds its earlier runs by.
OperationParameters UnitParameters(const UnitResult& u, bool rebuild,
                                   const std::string& connection) {
  if (u.parameters.company) return u.parameters;
  OperationParameters p;
  p.connection = connection;
  p.company = std::to_string(u.ditta);
  if (const auto slash = u.period.find('/'); slash != std::string::npos) {
    p.fiscal_year = u.period.substr(0, slash);
    p.fiscal_seq = u.period.substr(slash + 1);
  } else {
    p.year = u.period;
  }
  for (const RunAllFamily& f : RunAllFamilies(rebuild)) {
    if (f.name == u.family) p.by_activity = f.by_activity;
  }
  return p;
}

// A unit that did not go through tells when it last did, as the history remembers it.
void PrintMetrics(const RunAllResult& r, bool rebuild, history::Store* store,
                  const std::string& connection) {
  const double now = UnixSeconds();
  const int signal = InterruptSignal();
  std::vector<MetricsUnit> units;
  for (const UnitResult& u : r.units) {
    const bool ran = u.run && !u.interrupted;
    const int code = ran      ? static_cast<int>(ExitCodeOf(u.outcome))
                     : signal ? 128 + signal
                              : static_cast<int>(ExitCode::kProgramError);
    const bool counted = ran && !rebuild && u.outcome.counted;
    std::optional<double> last_success;
    if (WentThrough(code)) {
      last_success = now;
    } else if (const OperationInfo* op = OperationOf(u, rebuild); store && op) {
      last_success =
          store->LastSuccess(history::RunOf(*op, UnitParameters(u, rebuild, connection)), nullptr);
    }
    units.push_back({std::to_string(u.ditta), u.period, u.family,
                     counted ? std::optional(u.outcome.flagged) : std::nullopt,
                     u.run ? std::optional(u.outcome.seconds) : std::nullopt, code, last_success});
  }
  WriteOpenMetrics(std::cout, rebuild ? "rebuild" : "check", units);
}

// --families: names of the families, each one of those the command runs.
std::vector<std::string> Families(const std::string& text, bool rebuild) {
  std::vector<std::string> families;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t comma = text.find(',', from);
    if (comma == std::string::npos) comma = text.size();
    const std::string name(db::Trim(std::string_view(text).substr(from, comma - from)));
    bool known = false;
    std::string names;
    for (const RunAllFamily& f : RunAllFamilies(rebuild)) {
      known = known || f.name == name;
      names += (names.empty() ? "" : ", ") + f.name;
    }
    if (!known) throw std::invalid_argument("--families: '" + name + "' is none of " + names);
    families.push_back(name);
    from = comma + 1;
  }
  return families;
}

int RunAllCommand(const AllOptions& a, bool rebuild) {
  const std::int64_t start = NowNs();
  const std::string title = rebuild ? "rebuild all" : "check all";
  std::int64_t rows = 0, flagged = 0;
  auto finish = [&](int code, bool counted) {
    if (counted && !rebuild) {
      PrintSummary(title, rows, flagged, SecondsSince(start), code);
    } else {
      PrintSummary(title, std::nullopt, std::nullopt, SecondsSince(start), code);
    }
    return code;
  };
  RunAllOptions o;
  o.connection = ConnectionString(a.connection);
  o.jobs = a.jobs;
  o.rebuild = rebuild;
  o.keep_rows = a.format == "json" || a.format == "html";
  o.charts = a.format == "html" ? kChartsPerUnit : 0;
  o.lock_timeout = a.waits.lock_timeout;
  o.statement_timeout = a.waits.statement_timeout;
  o.report = a.report;
  o.retry_failed = a.retry_failed;
  std::string error;
  const auto companies = NumberSet::Parse(a.companies, "--companies", &error);
  const auto fiscal_years = NumberSet::Parse(a.fiscal_years, "--fiscal-years", &error);
  if (!companies || !fiscal_years) {
    std::cerr << error << '\n';
    return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  }
  o.companies = *companies;
  o.fiscal_years = *fiscal_years;
  try {
    o.families = Families(a.families, rebuild);
  } catch (const std::invalid_argument& e) {
    std::cerr << e.what() << '\n';
    return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  }

  bool refused = false;
  const std::unique_ptr<history::Store> store = OpenHistory(a.history, refused);
  if (refused) return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  o.keep_findings = store != nullptr;
  o.record_changes = store != nullptr;

  RunAllResult r;
  {
    BatchProgress progress(platform::IsTerminal(stderr));
    r = RunAll(o, {[&](const RunAllProgress& m) { progress.On(m); },
                   [] { return InterruptSignal() != 0; }});
  }
  if (r.stato != tsOk) {
    std::cerr << r.errore << '\n';
    if (!r.causa.empty()) std::cerr << "  (" << r.causa << ")\n";
    return finish(static_cast<int>(ExitCodeOf(r.stato)), false);
  }
  if (r.units.empty() && !a.retry_failed.empty()) {
    std::cerr << "nothing to retry: every operation of " << a.retry_failed << " went through\n";
    return finish(static_cast<int>(ExitCode::kOk), false);
  }
  if (r.units.empty()) {
    std::cerr << "no company and fiscal year of the ledger matches\n";
    return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  }
  int exit_code = 0;
  for (const UnitResult& u : r.units) {
    if (u.run) exit_code = std::max(exit_code, static_cast<int>(ExitCodeOf(u.outcome)));
  }
  if (const int signal = InterruptSignal()) exit_code = 128 + signal;
  if (store) {
    std::string why;
    const std::int64_t run = history::RecordRunAll(*store, o, r, exit_code, &why);
    if (run > 0) {
      std::cerr << "history: run " << run << " (history --run " << run << " lists its units)\n";
    } else {
      std::cerr << "history: not recorded: " << why << '\n';
    }
  }
  std::int64_t ok = 0, with_flags = 0, failed = 0, not_run = 0, stopped = 0;
  bool counted = false;  // no check gave rows (every connection refused): nothing to count
  for (const UnitResult& u : r.units) {
    if (!u.run || u.interrupted) {
      ++(u.run ? stopped : not_run);
      continue;
    }
    rows += u.outcome.row_count;
    flagged += u.outcome.flagged;
    counted = counted || u.outcome.counted;
    const ExitCode code = ExitCodeOf(u.outcome);
    if (code == ExitCode::kOk)
      ++ok;
    else if (code == ExitCode::kFlagged)
      ++with_flags;
    else
      ++failed;
  }

  if (a.format == "json") {
    auto units = nlohmann::ordered_json::array();
    for (const UnitResult& u : r.units) {
      nlohmann::ordered_json j{{"ditta", u.ditta},
                               {"period", u.period},
                               {"family", u.family},
                               {"outcome", OutcomeText(u)},
                               {"stato", static_cast<int>(u.outcome.stato)},
                               {"errore", MessageOf(u)},
                               {"seconds", u.outcome.seconds}};
      if (!rebuild) {
        j["row_count"] = u.outcome.row_count;
        j["flagged_count"] = u.outcome.flagged;
        j["rows"] = Rows(u, a.all_rows);
      }
      units.push_back(std::move(j));
    }
    std::cout << nlohmann::ordered_json{{"format_version", kJsonFormatVersion},
                                        {"operation", title},
                                        {"jobs", r.jobs},
                                        {"connections", r.connections},
                                        {"companies", r.companies},
                                        {"seconds", r.seconds},
                                        {"exit", exit_code},
                                        {"units", units}}
                     .dump(2)
              << '\n';
  } else if (a.format == "html") {
    std::vector<ReportUnit> report;
    for (const UnitResult& u : r.units) {
      report.push_back({std::to_string(u.ditta), u.period, u.family, u.outcome.row_count,
                        u.outcome.flagged, u.outcome.seconds, OutcomeText(u), MessageOf(u),
                        u.outcome.rows, u.charts, u.chart_error});
      if (const OperationInfo* op = OperationOf(u, rebuild); op != nullptr && u.run)
        report.back().trend = TrendOf(store.get(), history::RunOf(*op, u.parameters));
    }
    WriteHtmlReport(std::cout, title + ": " + std::to_string(r.companies) + " companies", report);
  } else if (a.format == "openmetrics") {
    PrintMetrics(r, rebuild, store.get(), o.connection);
  } else {
    PrintSummaryTable(r, rebuild, a.format == "csv");
  }
  std::cerr << r.companies << (r.companies == 1 ? " company, " : " companies, ") << r.units.size()
            << " operations: " << ok << " ok, " << with_flags << " flagged, " << failed
            << " failed";
  if (stopped) std::cerr << ", " << stopped << " interrupted";
  if (not_run) std::cerr << ", " << not_run << " not run";
  std::cerr << " in " << Seconds(r.seconds) << " s on " << r.connections
            << (r.connections == 1 ? " connection" : " connections");
  if (r.connections > r.jobs) std::cerr << ", " << r.jobs << " at a time";
  std::cerr << '\n';
  for (const UnitResult& u : r.units) {
    if (!veriprog::Failed(u)) continue;
    const std::string why = MessageOf(u);
    std::cerr << "failed: company " << u.ditta << " " << u.period << " " << u.family << ": "
              << OutcomeText(u) << (why.empty() ? "" : " (" + why + ")") << '\n';
  }
  if (!r.report_error.empty()) {
    std::cerr << "the run report is not up to date: " << r.report_error << '\n';
    exit_code = std::max(exit_code, static_cast<int>(ExitCode::kProgramError));
  }
  if (InterruptSignal()) {
    std::cerr << "interrupted: the operation under way was stopped"
              << (rebuild ? " and rolled back; the rebuilds reported ok are written" : "")
              << "; those not run are listed\n";
  }
  return finish(exit_code, counted);
}

}  // namespace

void AddAllCommand(CLI::App* parent, bool rebuild, ExitCode& code) {
  auto a = std::make_shared<AllOptions>();
  CLI::App* cmd = parent->add_subcommand(
      "all", rebuild ? "Rebuild every family of every company and fiscal year (or those chosen), "
                       "each rebuild in its own transaction, on several connections at once"
                     : "Check every family of every company and fiscal year (or those chosen), on "
                       "several connections at once");
  cmd->add_option("--connection", a->connection,
                  "postgresql:// URI, libpq key=value text or ODBC Driver=...;/DSN=... string "
                  "(default: $VERIPROG_CONNECTION, then libpq's environment)");
  cmd->add_option("--companies", a->companies,
                  "companies as a list or ranges (1,3,10-20); every company when omitted");
  cmd->add_option("--fiscal-years", a->fiscal_years,
                  "fiscal years as a list or ranges (2023-2024); every one when omitted; the VAT "
                  "families run for the calendar years they cover");
  std::string names;
  for (const RunAllFamily& f : RunAllFamilies(rebuild))
    names += (names.empty() ? "" : ",") + f.name;
  cmd->add_option("--families", a->families, "families to run, of " + names + "; all when omitted");
  cmd->add_option("--jobs", a->jobs, "companies worked on at once, each on its own connection")
      ->check(CLI::Range(1, 64));
  AddTimeoutOptions(cmd, a->waits);
  AddHistoryOptions(cmd, a->history);
  cmd->add_option("--report", a->report,
                  "JSON run report, rewritten after every operation: each one's status, rows, "
                  "flagged, time and error (default with --retry-failed: that file)");
  cmd->add_option("--retry-failed", a->retry_failed,
                  "run only what failed, was interrupted or never ran in this run report")
      ->check(CLI::ExistingFile);
  if (!rebuild) {
    cmd->add_flag("--all-rows", a->all_rows,
                  "JSON: every row of every check, not only the flagged ones");
    cmd->add_option("--format", a->format,
                    "summary as table, csv, json (with the flagged rows), html (one "
                    "self-contained page with charts) or openmetrics (for a metrics collector)")
        ->check(CLI::IsMember({"table", "csv", "json", "html", "openmetrics"}));
  } else {
    cmd->add_option("--format", a->format,
                    "summary as table, csv, json or openmetrics (for a metrics collector)")
        ->check(CLI::IsMember({"table", "csv", "json", "openmetrics"}));
  }
  cmd->callback([a, rebuild, &code] { code = static_cast<ExitCode>(RunAllCommand(*a, rebuild)); });
}

}  // namespace veriprog::cli
