#include "veriprog/run_all.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "component/connect.h"
#include "component/run_report.h"
#include "db/text.h"
#include "veriprog/change_set.h"
#include "veriprog/named_events.h"

namespace veriprog {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Company {
  std::int64_t ditta = 0;
  std::vector<FiscalScope> years = {};
  std::size_t first_unit = 0, units = 0;  // its units in the result
};

std::optional<db::DateTime> DateOf(const db::Variant& v) {
  if (v.kind() == db::Variant::Kind::kDateTime) return v.AsDateTime();
  return db::DateTime::Parse(v.ToText());
}

// The companies and fiscal years of the ledger that the options choose.
std::vector<Company> ListCompanies(db::Connection& connection, const RunAllOptions& o) {
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

bool Wanted(const RunAllOptions& o, const std::string& family) {
  return o.families.empty() ||
         std::find(o.families.begin(), o.families.end(), family) != o.families.end();
}

// The units of a company, in the order it runs them.
std::vector<UnitResult> UnitsOf(const Company& c, const RunAllOptions& o) {
  std::vector<UnitResult> units;
  std::set<int> calendar_years;
  for (const FiscalScope& fy : c.years) {
    for (int y = fy.start.year; y <= fy.end.year; ++y)
      calendar_years.insert(y);
    for (const RunAllFamily& f : RunAllFamilies(o.rebuild)) {
      if (f.per_fiscal_year && Wanted(o, f.name)) units.push_back({c.ditta, fy.Label(), f.name});
    }
  }
  for (int y : calendar_years) {
    for (const RunAllFamily& f : RunAllFamilies(o.rebuild)) {
      if (!f.per_fiscal_year && Wanted(o, f.name))
        units.push_back({c.ditta, std::to_string(y), f.name});
    }
  }
  return units;
}

const RunAllFamily& FamilyNamed(bool rebuild, const std::string& name) {
  for (const RunAllFamily& f : RunAllFamilies(rebuild)) {
    if (f.name == name) return f;
  }
  throw std::logic_error("unknown family " + name);
}

// What the workers tell the caller's thread, and the connections it may have to stop.
class Mailbox {
 public:
  void Post(RunAllProgress message) {
    {
      std::lock_guard lock(m_);
      queue_.push_back(std::move(message));
    }
    cv_.notify_one();
  }
  void WorkerDone() {
    {
      std::lock_guard lock(m_);
      --workers_;
    }
    cv_.notify_one();
  }
  void Workers(int n) { workers_ = n; }

  // Delivers the messages on the caller's thread until every worker is done, asking should_stop
  // in between.
  void Deliver(const RunAllCallbacks& callbacks) {
    std::unique_lock lock(m_);
    for (;;) {
      cv_.wait_for(lock, std::chrono::milliseconds(100),
                   [&] { return !queue_.empty() || workers_ == 0; });
      while (!queue_.empty()) {
        RunAllProgress message = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (callbacks.on_progress) callbacks.on_progress(message);
        lock.lock();
      }
      if (workers_ == 0) return;
      if (!stop_ && callbacks.should_stop) {
        lock.unlock();
        const bool stop = callbacks.should_stop();
        lock.lock();
        if (stop) Stop();
      }
    }
  }

  // A worker's connection, stopped at once when the run already is.
  // Held weakly: a company's connection closes when the company is done (or the connection is
  // made again), not at the end of the run.
  void Register(const std::shared_ptr<db::Connection>& c) {
    std::lock_guard lock(m_);
    std::erase_if(connections_, [](const auto& w) { return w.expired(); });
    connections_.push_back(c);
    ++registered_;
    if (stop_) c->Interrupt();
  }
  bool stopped() const { return stop_.load(); }
  // The workers' connections that were made, one per company that connected and one per
  // connection made again.
  int registered() {
    std::lock_guard lock(m_);
    return registered_;
  }

 private:
  void Stop() {
    stop_ = true;
    for (auto& w : connections_) {
      if (auto c = w.lock()) c->Interrupt();
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  std::deque<RunAllProgress> queue_;
  int workers_ = 0;
  std::atomic<bool> stop_{false};
  std::vector<std::weak_ptr<db::Connection>> connections_;
  int registered_ = 0;
};

// The events of a worker's main object, copied and sent to the caller's thread.
class ForwardedEvents final : public NamedEvents {
 public:
  ForwardedEvents(Mailbox& mailbox, std::int64_t ditta) : mailbox_(mailbox), ditta_(ditta) {}
  void OnEvent(const char* name, std::initializer_list<db::Variant*> args) override {
    RunAllProgress message{RunAllProgress::Kind::kEvent, ditta_};
    message.event = name;
    for (const db::Variant* a : args)
      message.args.push_back(*a);
    mailbox_.Post(std::move(message));
  }

 private:
  Mailbox& mailbox_;
  std::int64_t ditta_;
};

// The parameters of one unit of a company.
OperationParameters ParametersOf(const Company& c, const RunAllFamily& family, const UnitResult& u,
                                 const RunAllOptions& o, const FiscalScope*& fy) {
  OperationParameters p;
  p.connection = o.connection;
  p.company = std::to_string(c.ditta);
  fy = nullptr;
  if (family.per_fiscal_year) {
    for (const FiscalScope& y : c.years) {
      if (y.Label() == u.period) fy = &y;
    }
    p.fiscal_year = std::to_string(fy->esercizio);
    p.fiscal_seq = std::to_string(fy->progressivo);
  } else {
    p.year = u.period;
  }
  p.by_activity = family.by_activity;
  p.include_stored = family.operation == "vat";  // a VAT check compares only with them
  p.lock_timeout = o.lock_timeout;
  p.statement_timeout = o.statement_timeout;
  return p;
}

void RunUnit(CLSCG_VERIPROG& main, const Company& c, UnitResult& u, const RunAllOptions& o,
             const std::shared_ptr<db::Connection>& connection) {
  const RunAllFamily& family = FamilyNamed(o.rebuild, u.family);
  const OperationInfo* op = FindOperation(o.rebuild, family.operation);
  const FiscalScope* fy = nullptr;
  const OperationParameters p = ParametersOf(c, family, u, o, fy);
  FillInput(*main.CPInput(), p, o.rebuild);
  main.CPInput()->GConnect = connection;
  if (o.rebuild && o.record_changes) {
    const RecordedRebuild recorded = RebuildRecorded(main, *op);
    u.outcome = recorded.outcome;
    u.change_set = recorded.committed ? ChangeSetToJson(recorded.changes) : std::string();
  } else {
    u.outcome = RunOperation(main, *op, p.include_stored);
  }
  u.parameters = p;
  u.run = true;
  if (o.keep_findings && u.outcome.stato == tsOk && u.outcome.counted && u.outcome.rows)
    u.findings = FlaggedFindings(*op, p, *u.outcome.rows);
  ++u.attempts;
  u.interrupted = u.outcome.stato != tsOk && connection->interrupted();
  if (o.charts > 0 && fy != nullptr && u.family == "accounts" && u.outcome.stato == tsOk &&
      u.outcome.flagged > 0 && u.outcome.rows) {
    u.charts = FlaggedAccountCharts(*connection, *fy, *u.outcome.rows, o.charts, &u.chart_error);
  }
  // Rows kept to the end of the run let go of the company's connection: a run over hundreds of
  // companies would otherwise hold a session of the server for each until it ends.
  if (!o.keep_rows) {
    u.outcome.rows.reset();
  } else if (u.outcome.rows) {
    u.outcome.rows->Detach();
  }
}

// The server ended the rebuild's transaction to break a deadlock with another session: nothing
// of it was written, and it may simply run again.
bool DeadlockVictim(const UnitResult& u) {
  return u.run && !u.interrupted && u.outcome.stato != tsOk &&
         db::ToUpperAscii(u.outcome.errore).find("DEADLOCK") != std::string::npos;
}

constexpr int kDeadlockRetries = 3;

// Whether the server still answers on the connection: after a failed unit, a session the
// server ended (a restart, an administrator) is made again for the company's next unit.
bool Alive(db::Connection& connection) {
  try {
    connection.Execute("SELECT 1 AS N");
    return true;
  } catch (...) {
    return false;
  }
}

// A connection, tried again a few times a little apart: a server restarting refuses
// connections for some seconds, and a night's run should not lose its companies to that.
std::shared_ptr<db::Connection> ConnectPatiently(const RunAllOptions& o, Refusal& refused,
                                                 const std::function<bool()>& stopped) {
  constexpr int kAttempts = 4;
  for (int attempt = 1;; ++attempt) {
    auto connection =
        ConnectOrRefuse(o.connection, refused, {.statement_timeout = o.statement_timeout});
    if (connection || attempt == kAttempts || stopped()) return connection;
    const auto until = Clock::now() + std::chrono::seconds(1 << (attempt - 1));
    while (Clock::now() < until && !stopped())
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// A company's connection, known to the mailbox so that a stop reaches it.
std::shared_ptr<db::Connection> Reconnect(const RunAllOptions& o, Mailbox& mailbox,
                                          Refusal& refused) {
  auto connection = ConnectPatiently(o, refused, [&] { return mailbox.stopped(); });
  if (connection) mailbox.Register(connection);
  return connection;
}

void RunCompany(const Company& c, const RunAllOptions& o, std::vector<UnitResult>& results,
                Mailbox& mailbox) {
  const auto start = Clock::now();
  UnitResult* units = results.data() + c.first_unit;
  auto finished = [&](UnitResult& u) {
    mailbox.Post({RunAllProgress::Kind::kUnitFinished, c.ditta, &u, 1});
  };
  auto company_finished = [&] {
    mailbox.Post(
        {RunAllProgress::Kind::kCompanyFinished, c.ditta, units, c.units, 0, SecondsSince(start)});
  };
  // The units from `from` on, refused for want of a connection.
  auto refuse_from = [&](std::size_t from, const Refusal& refused) {
    for (std::size_t i = from; i < c.units; ++i) {
      UnitResult& u = units[i];
      u.run = true;
      u.outcome.stato = refused.stato;
      u.outcome.errore = refused.errore;
      u.outcome.causa = refused.causa;
      finished(u);
    }
  };
  if (mailbox.stopped()) return;
  Refusal refused;
  std::shared_ptr<db::Connection> connection = Reconnect(o, mailbox, refused);
  if (!connection) {
    refuse_from(0, refused);
    return company_finished();
  }
  CLSCG_VERIPROG main;  // this company's own, on this thread only
  if (o.forward_events) main.Advise(std::make_shared<ForwardedEvents>(mailbox, c.ditta));
  auto notice = [&](std::string text) {
    RunAllProgress message{RunAllProgress::Kind::kNotice, c.ditta};
    message.event = std::move(text);
    mailbox.Post(std::move(message));
  };
  main.SetLimits({o.lock_timeout, o.statement_timeout, notice});
  for (std::size_t i = 0; i < c.units && !mailbox.stopped(); ++i) {
    UnitResult& u = units[i];
    mailbox.Post({RunAllProgress::Kind::kUnitStarted, c.ditta, &u, 1});
    for (;;) {
      try {
        RunUnit(main, c, u, o, connection);
      } catch (const std::exception& e) {
        u.run = true;
        u.outcome.stato = tsProgramError;
        u.outcome.errore = e.what();
      }
      if (!o.rebuild || !DeadlockVictim(u) || u.attempts > kDeadlockRetries) break;
      notice("company " + std::to_string(c.ditta) + " " + u.period + " " + u.family +
             ": chosen by the server as a deadlock victim, rolled back; running it again (retry " +
             std::to_string(u.attempts) + " of " + std::to_string(kDeadlockRetries) + ")");
    }
    finished(u);
    // Another run holds the company: its other units would each wait the whole limit again.
    if (Failed(u) && u.outcome.errore.find(" is locked by another run") != std::string::npos) {
      refuse_from(i + 1, {u.outcome.stato, u.outcome.errore, ""});
      return company_finished();
    }
    if (Failed(u) && !mailbox.stopped() && !connection->interrupted() && !Alive(*connection)) {
      notice("company " + std::to_string(c.ditta) + ": the connection was lost; connecting again");
      connection = Reconnect(o, mailbox, refused);
      if (!connection) {
        refuse_from(i + 1, refused);
        return company_finished();
      }
    }
  }
  company_finished();
}

// The companies asked for by number that have no fiscal year: a unit each, refused.
void RefuseMissing(const std::vector<Company>& companies, const RunAllOptions& o,
                   RunAllResult& result) {
  for (const std::int64_t n : o.companies.singles()) {
    const bool found = std::any_of(companies.begin(), companies.end(),
                                   [&](const Company& c) { return c.ditta == n; });
    if (found) continue;
    UnitResult missing{n, "", "-", true};
    missing.outcome.stato = tsParametriNonValidi;
    missing.outcome.errore = "no fiscal year of company " + std::to_string(n) +
                             (o.fiscal_years.all() ? "" : " among those asked for") +
                             " in CG19_ESERCIZI";
    result.units.push_back(std::move(missing));
  }
}

void RunCompanies(std::vector<Company>& companies, const RunAllOptions& o,
                  const RunAllCallbacks& callbacks, RunAllResult& result) {
  Mailbox mailbox;
  const int jobs = std::clamp<int>(o.jobs, 1, std::max<int>(1, static_cast<int>(companies.size())));
  result.jobs = jobs;
  RunAllProgress started{RunAllProgress::Kind::kStarted};
  started.count = result.units.size();
  started.companies = companies.size();
  if (callbacks.on_progress) callbacks.on_progress(started);
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i; (i = next++) < companies.size();)
      RunCompany(companies[i], o, result.units, mailbox);
    mailbox.WorkerDone();
  };
  mailbox.Workers(jobs);
  std::vector<std::jthread> threads;
  for (int j = 0; j < jobs; ++j)
    threads.emplace_back(worker);
  mailbox.Deliver(callbacks);
  result.stopped = mailbox.stopped();
  result.connections = mailbox.registered();
}

}  // namespace

RunAllResult RunAll(const RunAllOptions& o, const RunAllCallbacks& callbacks) {
  const auto start = Clock::now();
  RunAllResult result;
  // This connection lists the companies and stays open to the end, so that a stop always finds
  // a connection to interrupt.
  Refusal refused;
  const std::shared_ptr<db::Connection> lister = ConnectPatiently(
      o, refused, [&] { return callbacks.should_stop && callbacks.should_stop(); });
  if (!lister) {
    result.stato = refused.stato;
    result.errore = refused.errore;
    result.causa = refused.causa;
    return result;
  }
  const std::string operation = o.rebuild ? "rebuild all" : "check all";
  // A retry runs what failed or never ran in the earlier report, and carries the rest over.
  std::optional<ReadReport> earlier;
  std::set<std::tuple<std::int64_t, std::string, std::string>> retried;
  if (!o.retry_failed.empty()) {
    std::string error;
    earlier = ReadRunReport(o.retry_failed, &error);
    if (earlier && earlier->operation != operation) {
      error = "the run report " + o.retry_failed + " accounts for a " + earlier->operation +
              ", not a " + operation;
      earlier.reset();
    }
    if (!earlier) {
      result.stato = tsParametriNonValidi;
      result.errore = error;
      return result;
    }
    for (const ReportedUnit& u : earlier->units) {
      if (!u.failed()) continue;
      retried.insert(u.key());
      // The account rebuild resets the turnover of its fiscal year: the turnover runs after it
      // again, even where it had gone through.
      if (o.rebuild && u.family == "accounts") retried.insert({u.ditta, u.period, "turnover"});
    }
  }
  const std::string report_path = !o.report.empty() ? o.report : o.retry_failed;
  try {
    std::vector<Company> companies = ListCompanies(*lister, o);
    RefuseMissing(companies, o, result);
    if (earlier) {
      std::erase_if(result.units, [&](const UnitResult& u) {
        return !retried.contains({u.ditta, u.period, u.family});
      });
      std::erase_if(companies, [&](const Company& c) {
        return std::none_of(retried.begin(), retried.end(),
                            [&](const auto& key) { return std::get<0>(key) == c.ditta; });
      });
    }
    for (Company& c : companies) {
      auto units = UnitsOf(c, o);
      if (earlier)
        std::erase_if(units, [&](const UnitResult& u) {
          return !retried.contains({u.ditta, u.period, u.family});
        });
      c.first_unit = result.units.size();
      c.units = units.size();
      for (auto& u : units)
        result.units.push_back(std::move(u));
    }
    result.companies = static_cast<int>(companies.size());
    if (report_path.empty()) {
      RunCompanies(companies, o, callbacks, result);
    } else {
      RunReport report(report_path, operation,
                       earlier ? std::move(earlier->units) : std::vector<ReportedUnit>{});
      report.Plan(result.units);
      if (!report.Write(false)) {
        result.stato = tsParametriNonValidi;
        result.errore = report.error();
        result.units.clear();
        return result;
      }
      RunAllCallbacks reporting = callbacks;
      reporting.on_progress = [&](const RunAllProgress& m) {
        if (m.kind == RunAllProgress::Kind::kUnitStarted) report.Started(*m.units);
        if (m.kind == RunAllProgress::Kind::kUnitFinished) {
          report.Finished(*m.units);
          if (!report.Write(false) && result.report_error.empty())
            result.report_error = report.error();
        }
        if (callbacks.on_progress) callbacks.on_progress(m);
      };
      RunCompanies(companies, o, reporting, result);
      for (const UnitResult& u : result.units)
        report.Finished(u);
      if (!report.Write(true) && result.report_error.empty()) result.report_error = report.error();
    }
  } catch (const std::exception& e) {
    result.stato = tsProgramError;
    result.errore = std::string("the companies and fiscal years could not be listed: ") + e.what();
  }
  result.seconds = SecondsSince(start);
  return result;
}

}  // namespace veriprog
