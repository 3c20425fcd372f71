// The night of a firm, over and over: fifty companies rebuilt and checked on four connections
// while statements fail, the server ends backends and restarts, and a poster keeps booking into
// two of the companies as the ledger program does (journal lines and stored totals in one
// transaction, no lock of ours). After every round each other company's stored totals are
// exactly the journal's or exactly as before, family by family; the run report names every
// company that failed and why, and a retry from it leaves them exact. Once the poster stops, a
// check flags only the keys it booked into, and one more rebuild leaves every company exact.
//
// veriprog_soak [--rounds N] [--minutes M] [--companies N] [--lines N] [--seed N]
// The database: libpq's PG* variables, the template in VERIPROG_TEST_TEMPLATE; restarts need
// VERIPROG_DB_RESTART, a command that restarts the server (scripts/with-database sets it).
#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "component/run_report.h"
#include "component/stored_tables.h"
#include "db/connection_hook.h"
#include "db/connection_wrapper.h"
#include "gen/ledger_generator.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"
#include "veriprog/run_all.h"

namespace veriprog::soak {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPosted[] = {1, 2};  // the companies the poster books into
bool Posted(std::int64_t ditta) {
  return std::find(std::begin(kPosted), std::end(kPosted), ditta) != std::end(kPosted);
}

struct Figures {
  int rounds = 0;
  std::atomic<long> faults{0}, terminated{0};
  int restarts = 0;
  int companies_failed = 0, companies_recovered = 0, partly_rebuilt = 0;
  long units_failed = 0, checks_failed = 0;
  std::atomic<long> postings{0}, posting_failures{0};
  long races = 0, rows_lost = 0;
  std::vector<std::string> violations;
};
Figures figures;

void Violation(const std::string& what) {
  std::fprintf(stderr, "VIOLATION: %s\n", what.c_str());
  figures.violations.push_back(what);
}

// --- faults -------------------------------------------------------------------------------------

std::atomic<bool> faults_on{false};
std::atomic<double> fault_rate{0.0005};

// Fails a statement now and then, before it reaches the server, as a network or server fault
// would; commits too, never rollbacks.
class Faulty final : public db::ConnectionWrapper {
 public:
  using ConnectionWrapper::ConnectionWrapper;
  std::optional<db::QueryResult> Execute(std::string_view batch,
                                         std::int64_t* rows_affected = nullptr) override {
    Maybe();
    return ConnectionWrapper::Execute(batch, rows_affected);
  }
  db::QueryResult Query(std::string_view sql) override {
    Maybe();
    return ConnectionWrapper::Query(sql);
  }
  db::QueryResult QueryKeeping(std::string_view sql, const db::RowFilter& keep) override {
    Maybe();
    return inner().QueryKeeping(sql, keep);
  }
  void WriteBack(db::RowTable& table, const db::WriteTarget& target,
                 const std::vector<db::RowId>& rows) override {
    Maybe();
    ConnectionWrapper::WriteBack(table, target, rows);
  }
  void CommitTrans() override {
    Maybe();
    ConnectionWrapper::CommitTrans();
  }

 private:
  void Maybe() {
    if (!faults_on) return;
    thread_local std::mt19937_64 random{std::random_device{}()};
    if (std::uniform_real_distribution<double>(0, 1)(random) < fault_rate) {
      ++figures.faults;
      throw db::DbError("injected fault");
    }
  }
};

// --- the database, seen by libpq ----------------------------------------------------------------

std::string conninfo;

std::string Scalar(PGconn* c, const std::string& sql) {
  PGresult* r = PQexec(c, sql.c_str());
  std::string value =
      PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1 ? PQgetvalue(r, 0, 0) : "";
  PQclear(r);
  return value;
}

bool Run(PGconn* c, const std::string& sql) {
  PGresult* r = PQexec(c, sql.c_str());
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
  PQclear(r);
  return ok;
}

// Ends one of the tool's sessions now and then, as an administrator or a failover would.
void Terminator(const std::atomic<bool>& stop) {
  std::mt19937 random(7);
  while (!stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 1700));
    PGconn* c = PQconnectdb(conninfo.c_str());
    if (PQstatus(c) == CONNECTION_OK) {
      const std::string ended = Scalar(
          c,
          "SELECT count(pg_terminate_backend(pid)) FROM (SELECT pid FROM pg_stat_activity WHERE "
          "application_name = 'veriprog' AND datname = current_database() ORDER BY random() "
          "LIMIT 1) AS one");
      figures.terminated += std::atol(ended.c_str());
    }
    PQfinish(c);
  }
}

// Books registrations of two lines into the posted companies, with the stored yearly totals
// moved in the same transaction, as the ledger program does; keeps the numbers it committed.
void Poster(const std::atomic<bool>& stop, std::vector<std::string>& committed, std::mutex& m) {
  std::mt19937 random(11);
  PGconn* c = nullptr;
  for (long n = 0; !stop; ++n) {
    if (c == nullptr || PQstatus(c) != CONNECTION_OK) {
      PQfinish(c);
      c = PQconnectdb(conninfo.c_str());
      if (PQstatus(c) != CONNECTION_OK) {
        std::this_thread::sleep_for(200ms);
        continue;
      }
    }
    const int ditta = kPosted[n % 2];
    const std::string numreg = "SOAK" + std::to_string(n);
    const std::string amount =
        std::to_string(1 + random() % 900) + "." + std::to_string(10 + random() % 90);
    const std::string d = std::to_string(ditta);
    auto line = [&](int riga, const char* conto, int dare_avere) {
      return "INSERT INTO CG42_MOVCONT (CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_NUMRIGA, "
             "CG42_ANNO_CG19, CG42_PROGESER_CG19, CG42_DATAREG, CG42_CONTOPAR_CG24, "
             "CG42_CODICE_CG33, CG42_INDDAAV, CG42_IMPTOTALE) VALUES (" +
             d + ", '" + numreg + "', " + std::to_string(riga) + ", 2024, 1, '2024-06-15', '" +
             conto + "', '001', " + std::to_string(dare_avere) + ", " + amount + ");";
    };
    auto yearly = [&](const char* conto, const char* sign) {
      return "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN " + std::string(sign) + " " +
             amount + " WHERE CG53_DITTA_CG18 = " + d +
             " AND CG53_ANNO_CG19 = 2024 AND CG53_PROGESER_CG19 = 1 AND CG53_CONTO_CG24 = '" +
             conto +
             "' AND CG53_TIPOCF_CG44 = 0 AND CG53_CLIFOR_CG44 = 0 AND CG53_CODICE_CG31 = 0;";
    };
    const std::string sql =
        "BEGIN; INSERT INTO CG41_PRIMANOTA (CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19, "
        "CG41_PROGESER_CG19, CG41_DATAREG, CG41_CODICE_CG33, CG41_INDTIPOMOV, CG41_INDPROVREG, "
        "CG41_FLGSEGNOIVA, CG41_RIFPADRE) VALUES (" +
        d + ", '" + numreg + "', 2024, 1, '2024-06-15', '001', 0, 0, 0, '');" + line(1, "1001", 1) +
        line(2, "4001", 2) + yearly("1001", "+") + yearly("4001", "-") + "COMMIT;";
    if (Run(c, sql)) {
      ++figures.postings;
      std::lock_guard lock(m);
      committed.push_back(numreg);
    } else {
      ++figures.posting_failures;
      Run(c, "ROLLBACK");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 60));
  }
  PQfinish(c);
}

// --- fingerprints -------------------------------------------------------------------------------

// What each family owns of the stored totals: the account rebuild the balances, the turnover
// rebuild the turnover and VAT amount columns of the same tables, every VAT family its tables.
const std::vector<std::string> kParts = {"accounts", "turnover",    "vat",   "plafond",
                                         "margin",   "agriculture", "travel"};

bool TurnoverColumn(const std::string& column) {
  return column.find("FATTURATO") != std::string::npos ||
         column.find("IMPORTOIVA") != std::string::npos;
}

using Fingerprint = std::map<std::string, std::string>;  // part -> its rows as text

// By part and year: each unit of a run is one family of one fiscal or calendar year.
Fingerprint Take(db::Connection& connection, std::int64_t ditta) {
  Fingerprint fp;
  for (const std::string& part : kParts) {
    for (int year : {2023, 2024}) {
      std::vector<std::string> rows;
      const DryRunScope scope{ditta, year, 1, year};
      for (StoredTable table : StoredTablesOf(part == "turnover" ? "accounts" : part, scope)) {
        if (part == "accounts" || part == "turnover") {
          std::erase_if(table.values, [&](const std::string& v) {
            return TurnoverColumn(v) != (part == "turnover");
          });
        }
        for (const auto& [key, row] : ReadTable(connection, table).rows) {
          std::string text = table.name + " " + std::to_string(year) + " " + key + ":";
          for (const db::Variant& v : row.values)
            text += " " + v.ToText();
          rows.push_back(std::move(text));
        }
      }
      std::sort(rows.begin(), rows.end());
      std::string all;
      for (const std::string& r : rows)
        all += r + "\n";
      fp[part + " " + std::to_string(year)] = std::move(all);
    }
  }
  return fp;
}

std::map<std::int64_t, Fingerprint> TakeAll(const std::vector<std::int64_t>& companies) {
  auto connection = db::Connect(conninfo);
  std::map<std::int64_t, Fingerprint> all;
  for (const std::int64_t c : companies)
    all[c] = Take(*connection, c);
  return all;
}

// --- the rounds ---------------------------------------------------------------------------------

RunAllOptions Options(bool rebuild) {
  RunAllOptions o;
  o.connection = conninfo;
  o.jobs = 4;
  o.rebuild = rebuild;
  o.lock_timeout = 30;
  o.statement_timeout = 120;
  return o;
}

std::set<std::int64_t> FailedCompanies(const RunAllResult& r) {
  std::set<std::int64_t> failed;
  for (const UnitResult& u : r.units) {
    if (Failed(u)) failed.insert(u.ditta);
  }
  return failed;
}

// Makes a few stored totals of every company wrong, so that a rebuild has work and its effect
// shows in the fingerprints.
void Spoil(PGconn* c, int round) {
  Run(c, "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 1 WHERE CG53_IDPROGA % 41 = " +
             std::to_string(round % 41));
  Run(c, "UPDATE CG52_PROGM SET CG52_FATTURATO = CG52_FATTURATO + 1 WHERE CG52_IDPROGM % 43 = " +
             std::to_string(round % 43));
}

void Round(int round, const std::vector<std::int64_t>& companies,
           const std::map<std::int64_t, Fingerprint>& exact, const std::string& report) {
  PGconn* admin = PQconnectdb(conninfo.c_str());
  Spoil(admin, round);
  PQfinish(admin);
  const auto before = TakeAll(companies);

  std::atomic<bool> stop{false};
  faults_on = true;
  std::thread terminator(Terminator, std::cref(stop));
  std::thread restarter;
  const char* restart = std::getenv("VERIPROG_DB_RESTART");
  if (restart != nullptr && *restart != '\0') {
    restarter = std::thread([&, restart] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500 + (round * 997) % 2500));
      if (std::system(restart) == 0) ++figures.restarts;
    });
  }
  std::filesystem::remove(report);
  RunAllOptions rebuild = Options(true);
  rebuild.report = report;
  const RunAllResult rebuilt = RunAll(rebuild);
  if (restarter.joinable()) restarter.join();
  const RunAllResult checked = RunAll(Options(false));
  stop = true;
  terminator.join();
  faults_on = false;

  for (const UnitResult& u : checked.units)
    figures.checks_failed += Failed(u) ? 1 : 0;
  // A run that could not even list the companies (the server restarting) ran none of them.
  const bool ran = rebuilt.stato == tsOk;
  const std::set<std::int64_t> failed =
      ran ? FailedCompanies(rebuilt) : std::set<std::int64_t>(companies.begin(), companies.end());
  for (const std::int64_t c : failed)
    figures.companies_failed += Posted(c) ? 0 : 1;  // the poster's companies are never exact
  std::map<std::string, int> reasons;
  for (const UnitResult& u : rebuilt.units) {
    if (!Failed(u)) continue;
    ++figures.units_failed;
    ++reasons[OutcomeText(u) + ": " + MessageOf(u).substr(0, 90)];
  }
  for (const auto& [why, n] : reasons)
    std::fprintf(stderr, "  %4d x %s\n", n, why.c_str());

  // The report names exactly the units that failed, each with why.
  std::string error;
  const auto read = ran ? ReadRunReport(report, &error) : std::nullopt;
  if (!ran) {
    std::fprintf(stderr, "round %d: the run could not start: %s\n", round, rebuilt.errore.c_str());
  } else if (!read) {
    Violation("round " + std::to_string(round) + ": " + error);
  } else {
    std::set<std::int64_t> named;
    for (const ReportedUnit& u : read->units) {
      if (!u.failed()) continue;
      named.insert(u.ditta);
      if (u.error.empty() && u.status != "not run")
        Violation("round " + std::to_string(round) + ": company " + std::to_string(u.ditta) + " " +
                  u.family + " failed without a reason");
    }
    if (named != failed)
      Violation("round " + std::to_string(round) + ": the report names other companies");
  }

  // Family by family: exactly before, or exactly the journal's. The one in between allowed: the
  // account rebuild committed and the turnover rebuild after it failed, named in the report.
  const auto after = TakeAll(companies);
  for (const std::int64_t c : companies) {
    if (Posted(c)) continue;
    bool partly = false;
    for (const auto& [part, now] : after.at(c)) {
      if (now == exact.at(c).at(part) || now == before.at(c).at(part)) continue;
      if (part.rfind("turnover", 0) == 0 && failed.contains(c)) {
        partly = true;
        continue;
      }
      Violation("round " + std::to_string(round) + ": company " + std::to_string(c) + " " + part +
                " is half written");
    }
    figures.partly_rebuilt += partly ? 1 : 0;
  }

  // The retry from the report completes them.
  RunAllOptions retry = Options(true);
  if (ran) retry.retry_failed = report;
  const RunAllResult retried = RunAll(retry);
  if (!FailedCompanies(retried).empty())
    Violation("round " + std::to_string(round) + ": the retry failed too: " + retried.errore);
  const auto healed = TakeAll(companies);
  for (const std::int64_t c : failed) {
    if (Posted(c)) continue;
    if (healed.at(c) == exact.at(c)) {
      ++figures.companies_recovered;
    } else {
      std::string parts;
      for (const auto& [part, now] : healed.at(c))
        if (now != exact.at(c).at(part)) parts += " " + part;
      Violation("round " + std::to_string(round) + ": company " + std::to_string(c) +
                " is not exact after the retry:" + parts);
    }
  }
  ++figures.rounds;
  std::fprintf(stderr,
               "round %d: %zu companies failed (%ld faults, %ld backends ended, %d restarts so "
               "far), %ld postings\n",
               round, failed.size(), figures.faults.load(), figures.terminated.load(),
               figures.restarts, figures.postings.load());
}

int Main(int argc, char** argv) {
  int rounds = 3, companies_n = 50, seed = 5;
  long lines = 15000;
  double minutes = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (a == "--minutes")
      minutes = std::atof(argv[i + 1]);
    else if (a == "--companies")
      companies_n = std::atoi(argv[i + 1]);
    else if (a == "--lines")
      lines = std::atol(argv[i + 1]);
    else if (a == "--seed")
      seed = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  const char* tmpl = std::getenv("VERIPROG_TEST_TEMPLATE");
  const std::string name = "vp_soak_" + std::to_string(::getpid());
  {
    PGconn* c = PQconnectdb("dbname=postgres");
    if (!Run(c, "CREATE DATABASE " + name + " TEMPLATE " + (tmpl ? tmpl : "veriprog_template"))) {
      std::fprintf(stderr, "cannot create the database: %s", PQerrorMessage(c));
      return 3;
    }
    PQfinish(c);
  }
  conninfo = "dbname=" + name;
  const auto start = Clock::now();
  gen::GenerateLedger(conninfo, {.seed = static_cast<std::uint64_t>(seed),
                                 .lines = lines,
                                 .wrong = 20,
                                 .companies = companies_n,
                                 .shape = gen::LedgerShape::kStandard});
  std::vector<std::int64_t> companies;
  for (int c = 1; c <= companies_n; ++c)
    companies.push_back(c);
  db::SetConnectionDecorator(
      [](std::shared_ptr<db::Connection> c) { return std::make_shared<Faulty>(std::move(c)); });

  // The journal's totals: what a quiet rebuild leaves.
  if (!FailedCompanies(RunAll(Options(true))).empty()) {
    std::fprintf(stderr, "the first rebuild failed with no fault injected\n");
    return 3;
  }
  const auto exact = TakeAll(companies);
  std::fprintf(stderr, "ledger of %d companies ready in %.0f s\n", companies_n,
               std::chrono::duration<double>(Clock::now() - start).count());

  std::atomic<bool> stop_posting{false};
  std::vector<std::string> committed;
  std::mutex committed_mutex;
  std::thread poster(Poster, std::cref(stop_posting), std::ref(committed),
                     std::ref(committed_mutex));
  const std::string report =
      (std::filesystem::temp_directory_path() / (name + "_report.json")).string();
  for (int round = 1;; ++round) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count() / 60;
    if (minutes > 0 ? elapsed >= minutes : round > rounds) break;
    Round(round, companies, exact, report);
  }
  stop_posting = true;
  poster.join();

  // Quiet now: only the keys the poster booked into may differ, and only in its companies.
  const RunAllResult quiet = RunAll([] {
    RunAllOptions o = Options(false);
    o.keep_rows = true;
    o.families = {"accounts"};
    return o;
  }());
  for (const UnitResult& u : quiet.units) {
    if (Failed(u)) Violation("the quiet check failed: " + MessageOf(u));
    if (!u.outcome.rows || u.outcome.flagged == 0) continue;
    db::Recordset& rs = *u.outcome.rows;
    rs.Filter("FLAGSBIL <> ''");
    for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
      const std::string conto(db::Variant(rs.Get("CONTO")).ToText());
      const bool ours =
          Posted(u.ditta) && (conto.rfind("1001", 0) == 0 || conto.rfind("4001", 0) == 0);
      if (!ours) Violation("company " + std::to_string(u.ditta) + " flags " + conto);
      ++figures.races;
    }
  }
  // Every committed posting is in the journal, both its lines.
  {
    PGconn* c = PQconnectdb(conninfo.c_str());
    for (const std::string& numreg : committed) {
      const long found = std::atol(
          Scalar(c, "SELECT count(*) FROM CG42_MOVCONT WHERE CG42_NUMREG_CG41 = '" + numreg + "'")
              .c_str());
      figures.rows_lost += 2 - found;
    }
    PQfinish(c);
  }
  if (figures.rows_lost != 0) Violation(std::to_string(figures.rows_lost) + " journal rows lost");
  // One more rebuild: every company exact.
  for (const UnitResult& u : RunAll(Options(true)).units) {
    if (Failed(u))
      Violation("the last rebuild failed: company " + std::to_string(u.ditta) + " " + u.family +
                ": " + MessageOf(u));
  }
  const RunAllResult last = RunAll(Options(false));
  for (const UnitResult& u : last.units) {
    if (Failed(u) || u.outcome.flagged > 0)
      Violation("after the last rebuild company " + std::to_string(u.ditta) + " " + u.family + " " +
                OutcomeText(u) + ": " + MessageOf(u));
  }

  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("| %d | %.1f min | %ld | %ld | %d | %d | %d | %d | %ld | %ld | %ld | %ld | %zu |\n",
              figures.rounds, total / 60, figures.faults.load(), figures.terminated.load(),
              figures.restarts, figures.companies_failed, figures.companies_recovered,
              figures.partly_rebuilt, figures.postings.load(), figures.races, figures.rows_lost,
              figures.checks_failed, figures.violations.size());
  PGconn* c = PQconnectdb("dbname=postgres");
  Run(c, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  PQfinish(c);
  std::filesystem::remove(report);
  return figures.violations.empty() ? 0 : 1;
}

}  // namespace
}  // namespace veriprog::soak

int main(int argc, char** argv) {
  try {
    return veriprog::soak::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "soak: %s\n", e.what());
    return 3;
  }
}
