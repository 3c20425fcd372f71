#include "cli/batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "cli/html_report.h"
#include "cli/interrupt.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::cli {
namespace {

struct Company {
  std::int64_t ditta = 0;
  std::vector<FiscalScope> years = {};
  std::size_t first_unit = 0, units = 0;  // its units in the result
};

// One line on stderr while the companies run: redrawn in place on a terminal; in a log, one line
// per company as it ends.
class BatchProgress {
 public:
  BatchProgress(bool enabled, std::size_t companies, std::size_t units)
      : enabled_(enabled),
        terminal_(enabled && isatty(fileno(stderr)) != 0),
        companies_(companies),
        units_(units) {}
  ~BatchProgress() {
    if (drawn_) std::fputs("\r\x1b[K", stderr);
  }
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;

  void Started(std::int64_t ditta, const std::string& what) {
    std::lock_guard lock(m_);
    running_[ditta] = what;
    Draw();
  }
  void Finished(const UnitResult& u) {
    std::lock_guard lock(m_);
    ++done_units_;
    flagged_ += u.outcome.flagged;
    if (u.code == ExitCode::kInvalidParameters || u.code == ExitCode::kProgramError) ++failed_;
    Draw();
  }
  void CompanyDone(const Company& c, const std::vector<UnitResult>& units, double seconds) {
    std::lock_guard lock(m_);
    running_.erase(c.ditta);
    ++done_companies_;
    if (!enabled_) return;
    if (terminal_) {
      Draw();
      return;
    }
    std::int64_t flagged = 0, failed = 0;
    for (std::size_t i = c.first_unit; i < c.first_unit + c.units; ++i) {
      flagged += units[i].outcome.flagged;
      if (units[i].code == ExitCode::kInvalidParameters || units[i].code == ExitCode::kProgramError)
        ++failed;
    }
    std::fprintf(stderr,
                 "[%zu/%zu] company %lld: %zu operations, %lld flagged, %lld failed, %.2f s\n",
                 done_companies_, companies_, static_cast<long long>(c.ditta), c.units,
                 static_cast<long long>(flagged), static_cast<long long>(failed), seconds);
    std::fflush(stderr);
  }

 private:
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

  std::mutex m_;
  bool enabled_, terminal_, drawn_ = false;
  std::size_t companies_, units_, done_companies_ = 0, done_units_ = 0;
  std::int64_t flagged_ = 0, failed_ = 0;
  std::map<std::int64_t, std::string> running_;
};

std::optional<db::DateTime> DateOf(const db::Variant& v) {
  if (v.kind() == db::Variant::Kind::kDateTime) return v.AsDateTime();
  return db::DateTime::Parse(v.ToText());
}

// The companies and fiscal years of the ledger that the options choose.
std::vector<Company> ListCompanies(db::Connection& connection, const BatchOptions& o) {
  db::Recordset rs = db::Recordset::FromResult(
      connection.Query("SELECT CG19_DITTA_CG18, CG19_ANNO, CG19_PROGESER, CG19_DATAINIZIO, "
                       "CG19_DATAFINE FROM CG19_ESERCIZI "
                       "ORDER BY CG19_DITTA_CG18, CG19_ANNO, CG19_PROGESER"),
      nullptr);
  std::vector<Company> companies;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    const auto ditta = rs.Get("CG19_DITTA_CG18").ToInteger();
    const auto anno = rs.Get("CG19_ANNO").ToInteger();
    const auto seq = rs.Get("CG19_PROGESER").ToInteger();
    const auto start = DateOf(rs.Get("CG19_DATAINIZIO"));
    const auto end = DateOf(rs.Get("CG19_DATAFINE"));
    if (!ditta || !anno || !seq || !start || !end) continue;
    if (!o.companies.Contains(*ditta) || !o.fiscal_years.Contains(*anno)) continue;
    if (companies.empty() || companies.back().ditta != *ditta) companies.push_back({*ditta});
    companies.back().years.push_back({*ditta, *anno, *seq, *start, *end});
  }
  return companies;
}

bool Wanted(const BatchOptions& o, const std::string& family) {
  return o.families.empty() ||
         std::find(o.families.begin(), o.families.end(), family) != o.families.end();
}

// The units of a company, in the order it runs them.
std::vector<UnitResult> UnitsOf(const Company& c, const BatchOptions& o) {
  std::vector<UnitResult> units;
  std::set<int> calendar_years;
  for (const FiscalScope& fy : c.years) {
    for (int y = fy.start.year; y <= fy.end.year; ++y)
      calendar_years.insert(y);
    for (const BatchFamily& f : BatchFamilies(o.rebuild)) {
      if (f.per_fiscal_year && Wanted(o, f.name)) units.push_back({c.ditta, fy.Label(), f.name});
    }
  }
  for (int y : calendar_years) {
    for (const BatchFamily& f : BatchFamilies(o.rebuild)) {
      if (!f.per_fiscal_year && Wanted(o, f.name))
        units.push_back({c.ditta, std::to_string(y), f.name});
    }
  }
  return units;
}

const BatchFamily& FamilyNamed(bool rebuild, const std::string& name) {
  for (const BatchFamily& f : BatchFamilies(rebuild)) {
    if (f.name == name) return f;
  }
  throw std::logic_error("unknown family " + name);
}

void RunCompany(const Company& c, const BatchOptions& o, std::vector<UnitResult>& results,
                BatchProgress& progress) {
  const std::int64_t start = NowNs();
  auto units = results.begin() + static_cast<std::ptrdiff_t>(c.first_unit);
  auto end = units + static_cast<std::ptrdiff_t>(c.units);
  if (InterruptSignal()) return;
  std::shared_ptr<db::Connection> connection;
  try {
    connection = db::Connect(ConnectionString(o.connection));
    // A signal that came while the connection was being made found it not yet known.
    if (InterruptSignal()) connection->Interrupt();
  } catch (const std::exception& e) {
    for (auto u = units; u != end; ++u) {
      u->run = true;
      u->outcome.stato = tsParametriNonValidi;
      u->outcome.errore = "Non è stata definita la connessione";
      u->outcome.causa = e.what();
      u->code = ExitCode::kInvalidParameters;
      progress.Finished(*u);
    }
    progress.CompanyDone(c, results, SecondsSince(start));
    return;
  }
  CLSCG_VERIPROG main;  // this company's own, on this thread only
  for (auto u = units; u != end; ++u) {
    if (InterruptSignal()) break;
    const BatchFamily& family = FamilyNamed(o.rebuild, u->family);
    const OperationEntry* op = FindOperation(o.rebuild, family.operation);
    OperationOptions uo;
    uo.company = std::to_string(c.ditta);
    const FiscalScope* fy = nullptr;
    if (family.per_fiscal_year) {
      for (const FiscalScope& y : c.years) {
        if (y.Label() == u->period) fy = &y;
      }
      uo.fiscal_year = std::to_string(fy->esercizio);
      uo.fiscal_seq = std::to_string(fy->progressivo);
    } else {
      uo.year = u->period;
    }
    uo.by_activity = family.by_activity;
    uo.include_stored = family.operation == "vat";  // a VAT check compares only with them
    progress.Started(c.ditta, u->family + " " + u->period);
    FillInput(*main.CPInput(), uo, o.rebuild);
    main.CPInput()->GConnect = connection;
    u->outcome = RunOperation(main, *op, uo);
    u->code = ExitCodeOf(u->outcome);
    u->run = true;
    u->interrupted = u->outcome.stato != tsOk && connection->interrupted();
    if (o.charts && fy != nullptr && u->family == "accounts" && u->outcome.stato == tsOk &&
        u->outcome.flagged > 0 && u->outcome.rows) {
      try {
        u->charts = FlaggedAccountCharts(*connection, *fy, *u->outcome.rows, kChartsPerUnit);
      } catch (const std::exception& e) {
        u->chart_error = e.what();
      }
    }
    if (!o.keep_rows) u->outcome.rows.reset();
    progress.Finished(*u);
  }
  progress.CompanyDone(c, results, SecondsSince(start));
}

}  // namespace

NumberSet NumberSet::Parse(const std::string& text, const char* what) {
  NumberSet set;
  std::size_t from = 0;
  const std::string all(db::Trim(text));
  if (all.empty()) return set;
  while (from <= all.size()) {
    std::size_t comma = all.find(',', from);
    if (comma == std::string::npos) comma = all.size();
    const std::string item(db::Trim(std::string_view(all).substr(from, comma - from)));
    auto number = [&](const std::string& t) {
      const auto n = db::Variant(std::string(db::Trim(t))).ToWholeNumber();
      if (!n || db::Trim(t).empty())
        throw std::invalid_argument(std::string(what) + ": '" + item +
                                    "' is not a whole number or a range like 3-7");
      return *n;
    };
    const std::size_t dash = item.find('-', 1);
    if (dash == std::string::npos) {
      const std::int64_t n = number(item);
      set.ranges_.emplace_back(n, n);
      set.singles_.push_back(n);
    } else {
      const std::int64_t lo = number(item.substr(0, dash)), hi = number(item.substr(dash + 1));
      if (lo > hi)
        throw std::invalid_argument(std::string(what) + ": the range '" + item + "' is empty");
      set.ranges_.emplace_back(lo, hi);
    }
    from = comma + 1;
  }
  return set;
}

bool NumberSet::Contains(std::int64_t n) const {
  if (ranges_.empty()) return true;
  for (const auto& [lo, hi] : ranges_) {
    if (lo <= n && n <= hi) return true;
  }
  return false;
}

const std::vector<BatchFamily>& BatchFamilies(bool rebuild) {
  static const std::vector<BatchFamily> checks = {
      {"accounts", "accounts", true, false},        {"vat", "vat", false, false},
      {"plafond", "plafond", false, false},         {"plafond-activity", "plafond", false, true},
      {"margin", "margin", false, false},           {"margin-activity", "margin", false, true},
      {"agriculture", "agriculture", false, false}, {"travel", "travel", false, false},
  };
  static const std::vector<BatchFamily> rebuilds = {
      {"accounts", "accounts", true, false},
      {"turnover", "turnover", true, false},
      {"vat", "vat", false, false},
      {"plafond", "plafond", false, false},
      {"plafond-activity", "plafond", false, true},
      {"margin", "margin", false, false},
      {"margin-activity", "margin", false, true},
      {"agriculture", "agriculture", false, false},
      {"travel", "travel", false, false},
  };
  return rebuild ? rebuilds : checks;
}

BatchResult RunBatch(const BatchOptions& o) {
  const std::int64_t start = NowNs();
  BatchResult result;
  // This connection lists the companies and stays open to the end, so that an interruption
  // always finds a connection to stop and the summary is still printed.
  std::shared_ptr<db::Connection> lister;
  try {
    lister = db::Connect(ConnectionString(o.connection));
  } catch (const std::exception& e) {
    throw NoConnection(e.what());
  }
  std::vector<Company> companies = ListCompanies(*lister, o);
  for (const std::int64_t n : o.companies.singles()) {
    const bool found = std::any_of(companies.begin(), companies.end(),
                                   [&](const Company& c) { return c.ditta == n; });
    if (found) continue;
    UnitResult missing{n, "", "-", true};
    missing.outcome.stato = tsParametriNonValidi;
    missing.outcome.errore = "no fiscal year of company " + std::to_string(n) +
                             (o.fiscal_years.all() ? "" : " among those asked for") +
                             " in CG19_ESERCIZI";
    missing.code = ExitCode::kInvalidParameters;
    result.units.push_back(std::move(missing));
  }
  for (Company& c : companies) {
    auto units = UnitsOf(c, o);
    c.first_unit = result.units.size();
    c.units = units.size();
    for (auto& u : units)
      result.units.push_back(std::move(u));
  }
  result.companies = static_cast<int>(companies.size());

  {
    BatchProgress progress(o.show_progress, companies.size(), result.units.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
      for (std::size_t i; (i = next++) < companies.size();)
        RunCompany(companies[i], o, result.units, progress);
    };
    const int jobs =
        std::clamp<int>(o.jobs, 1, std::max<int>(1, static_cast<int>(companies.size())));
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs; ++j)
      threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
      t.join();
  }

  int worst = 0;
  for (const UnitResult& u : result.units) {
    if (u.run) worst = std::max(worst, static_cast<int>(u.code));
  }
  result.exit_code = worst;
  if (const int signal = InterruptSignal()) result.exit_code = 128 + signal;
  result.seconds = SecondsSince(start);
  return result;
}

}  // namespace veriprog::cli
