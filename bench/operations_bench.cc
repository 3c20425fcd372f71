// Whole-operation timings on generated ledgers: every operation, each set against one plain
// aggregate over the journal lines it reads joined to their headers, on the same database in the
// same run. Prints one line per operation with the ratio to the aggregate, the statements, round
// trips and rows it cost, and the client's CPU time.
//
//   operations_bench --admin "dbname=postgres" --template veriprog_template --lines 1000000
//                    [--runs 3] [--only "check vat|rebuild"] [--keep 1] [--tsv 1] [--literal 1]
//                    [--shape standard|few-accounts|many-parties|many-companies|sparse]
//
// --keep 1 reuses the ledger an earlier run left (and leaves it); --tsv 1 prints tab-separated
// lines for scripts/bench.
//
// With --literal 1 each operation that has a literal script (bench/literal_reference.h) is also
// set beside the statements of its own text translated by hand, run in turn with the operation
// and the aggregate: the line adds the script's median and the operation's time over it, and
// whether the script's totals are the operation's (checks: the result's rows and sums; rebuilds:
// what each leaves in the stored totals). The --tsv line gets these as its last three columns.
//
// With --odbc-driver NAME every run of an operation goes once over libpq and once through the
// ODBC backend with that driver ("PostgreSQL Unicode", built from PGHOST, PGPORT and PGUSER), in
// turn, and each line gives both medians, ODBC's time over libpq's and what ODBC took more.
#include <libpq-fe.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/fresh_load.h"
#include "bench/literal_reference.h"
#include "db/connection_wrapper.h"
#include "db/postgres/pg_connection.h"
#include "gen/ledger_generator.h"
#include "veriprog/connection.h"
#include "veriprog/main_object.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of this process so far, user and system.
double ClientCpu() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Exec(const std::string& conninfo, const std::string& sql) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  PGresult* r = PQexec(c, sql.c_str());
  const auto status = PQresultStatus(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    std::fprintf(stderr, "%s\n", PQresultErrorMessage(r));
    std::exit(2);
  }
  PQclear(r);
  PQfinish(c);
}

bool Exists(const std::string& admin, const std::string& database) {
  PGconn* c = PQconnectdb(admin.c_str());
  const std::string sql = "SELECT 1 FROM pg_database WHERE datname = '" + database + "'";
  PGresult* r = PQexec(c, sql.c_str());
  const bool found = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
  PQclear(r);
  PQfinish(c);
  return found;
}

constexpr const char* kAggregate =
    "SELECT COALESCE(CG42_CONTOPAR_CG24, ''), COALESCE(CG42_TIPOCF_CG44, 0), "
    "COALESCE(CG42_CLIFORPAR_CG44, 0), COALESCE(CG42_CODICE_CG31, CG41_CODICE_CG31, 0), "
    "COALESCE(CG42_CODICE_CG08, 'EURO'), "
    "SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALE ELSE 0 END), "
    "SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALE ELSE 0 END) "
    "FROM CG42_MOVCONT JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG42_DITTA_CG18 "
    "AND CG41_NUMREG = CG42_NUMREG_CG41 WHERE CG42_DITTA_CG18 = 1 AND CG42_ANNO_CG19 = 2024 "
    "AND CG42_PROGESER_CG19 = 1 AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0 "
    "GROUP BY 1, 2, 3, 4, 5";

// The plafond statements read the VAT lines of plafond codes by competence month.
constexpr const char* kPlafondAggregate =
    "SELECT EXTRACT(MONTH FROM CG41_DATACOMP), "
    "SUM(CASE WHEN CG28_CODPLAFOND IN (1, 5, 6) THEN CASE WHEN CG41_FLGSEGNOIVA = 0 THEN "
    "CG43_IMPONIBILE ELSE -CG43_IMPONIBILE END ELSE 0 END), "
    "SUM(CASE WHEN CG28_CODPLAFOND = 2 THEN CASE WHEN CG41_FLGSEGNOIVA = 0 THEN "
    "CG43_IMPONIBILE ELSE -CG43_IMPONIBILE END ELSE 0 END), "
    "SUM(CASE WHEN CG28_CODPLAFOND = 3 THEN CASE WHEN CG41_FLGSEGNOIVA = 0 THEN "
    "CG43_IMPONIBILE ELSE -CG43_IMPONIBILE END ELSE 0 END), "
    "SUM(CASE WHEN CG28_CODPLAFOND = 4 THEN CASE WHEN CG41_FLGSEGNOIVA = 0 THEN "
    "CG43_IMPONIBILE ELSE -CG43_IMPONIBILE END ELSE 0 END) "
    "FROM CG43_MOVIVA JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG43_DITTA_CG18 "
    "AND CG41_NUMREG = CG43_NUMREG_CG41 JOIN CG28_TABCODIVA ON CG28_CODICE = CG43_ALIQIVA1_CG28 "
    "WHERE CG41_DITTA_CG18 = 1 AND CG41_DATACOMP BETWEEN '2024-01-01' AND '2024-12-31' "
    "AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0 AND CG28_CODPLAFOND <> 0 GROUP BY 1";

// The special schemes read a year of margin movements or VAT lines of their kinds by VAT date.
constexpr const char* kMarginAggregate =
    "SELECT EXTRACT(MONTH FROM CG41_DATAREGIVA), CGM2_INDTIPOMOV, CGM2_INDREGIME, "
    "CGM2_CODICE_CG28, CGM2_PERCFORF, SUM(COALESCE(CGM2_IMPONIBILE, 0) + "
    "COALESCE(CGM2_IMPOSTA, 0)), SUM(COALESCE(CGM2_MARGINE, 0)), SUM(COALESCE(CGM2_RETTCOSTO, 0)) "
    "FROM CGM2_MOVBENIUSATI JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CGM2_DITTA_CG18 "
    "AND CG41_NUMREG = CGM2_NUMREG_CG41 WHERE CG41_DITTA_CG18 = 1 "
    "AND CG41_DATAREGIVA BETWEEN '2024-01-01' AND '2024-12-31' AND CG41_INDTIPOMOV = 0 "
    "GROUP BY 1, 2, 3, 4, 5";
constexpr const char* kAgricultureAggregate =
    "SELECT EXTRACT(MONTH FROM CG41_DATAREGIVA), CG43_INDTIPO, CG41_SEZIONALE, "
    "CG43_ALIQIVA1_CG28, SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN CG43_IMPONIBILE "
    "ELSE -CG43_IMPONIBILE END), SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN CG43_IMPOSTA "
    "ELSE -CG43_IMPOSTA END) FROM CG43_MOVIVA JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = "
    "CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41 JOIN CG28_TABCODIVA ON CG28_CODICE = "
    "CG43_ALIQIVA1_CG28 WHERE CG41_DITTA_CG18 = 1 AND CG41_DATAREGIVA BETWEEN '2024-01-01' "
    "AND '2024-12-31' AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0 "
    "AND CG43_INDTIPO IN (50, 51, 55, 56) GROUP BY 1, 2, 3, 4";
constexpr const char* kTravelAggregate =
    "SELECT EXTRACT(MONTH FROM CG41_DATAREGIVA), CG43_INDTIPO, CG43_ALIQIVA1_CG28, "
    "SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN 1 ELSE -1 END * (COALESCE(CG43_IMPONIBILE, 0) + "
    "COALESCE(CG43_IMPOSTA, 0) + COALESCE(CG43_IMPOSTAND, 0))) FROM CG43_MOVIVA "
    "JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG43_DITTA_CG18 AND CG41_NUMREG = "
    "CG43_NUMREG_CG41 WHERE CG41_DITTA_CG18 = 1 AND CG41_DATAREGIVA BETWEEN '2024-01-01' "
    "AND '2024-12-31' AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0 "
    "AND CG43_INDTIPO BETWEEN 60 AND 66 GROUP BY 1, 2, 3";

// --only "a|b": the operations whose name contains one of the parts; all when empty.
bool Selected(const std::string& name, const std::string& only) {
  if (only.empty()) return true;
  std::size_t from = 0;
  while (true) {
    const std::size_t bar = only.find('|', from);
    const std::string part = only.substr(from, bar == std::string::npos ? bar : bar - from);
    if (!part.empty() && name.find(part) != std::string::npos) return true;
    if (bar == std::string::npos) return false;
    from = bar + 1;
  }
}

// Counts what an operation asks of the database: statements (batches, queries) and rows written
// back. Over libpq the connection itself counts the round trips they cost (a batch may hold
// several statements; inside a transaction a statement and its savepoint travel together).
class Counting final : public veriprog::db::ConnectionWrapper {
 public:
  using ConnectionWrapper::ConnectionWrapper;
  long statements = 0, rows_written = 0;
  double write_back_seconds = 0;

  std::optional<veriprog::db::QueryResult> Execute(std::string_view batch,
                                                   std::int64_t* rows) override {
    ++statements;
    return ConnectionWrapper::Execute(batch, rows);
  }
  veriprog::db::QueryResult Query(std::string_view sql) override {
    ++statements;
    return ConnectionWrapper::Query(sql);
  }
  void WriteBack(veriprog::db::RowTable& table, const veriprog::db::WriteTarget& target,
                 const std::vector<veriprog::db::RowId>& rows) override {
    rows_written += static_cast<long>(rows.size());
    write_back_seconds += Seconds([&] { ConnectionWrapper::WriteBack(table, target, rows); });
  }
};
// The VAT lines of company 1's calendar year 2024 with their headers, summed per register,
// section, VAT code, VAT type and month.
constexpr const char* kVatAggregate =
    "SELECT CG41_INDTIPOREG, CG41_SEZIONALE, CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, "
    "EXTRACT(MONTH FROM CG41_DATAREGIVA), SUM(CG43_IMPONIBILE), SUM(CG43_IMPOSTA), "
    "SUM(CG43_IMPOSTAND) "
    "FROM CG43_MOVIVA JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG43_DITTA_CG18 "
    "AND CG41_NUMREG = CG43_NUMREG_CG41 WHERE CG41_DITTA_CG18 = 1 "
    "AND CG41_DATAREGIVA BETWEEN '2024-01-01' AND '2024-12-31' AND CG41_INDTIPOMOV = 0 "
    "AND CG41_INDPROVREG = 0 GROUP BY 1, 2, 3, 4, 5";

}  // namespace

int main(int argc, char** argv) {
  std::string admin = "dbname=postgres", tmpl = "veriprog_template", only, odbc_driver;
  std::string shape_name = "standard";
  long long lines = 100000;
  int customers = 0;
  int runs = 3;
  bool keep = false;     // --keep 1: reuse the ledger left by an earlier run, and leave it
  bool tsv = false;      // --tsv 1: one tab-separated line per operation, for scripts/bench
  bool fresh = false;    // --fresh 1: each operation again right after a bulk load, unanalysed
  bool literal = false;  // --literal 1: the literal reference beside the aggregate
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--admin")
      admin = argv[i + 1];
    else if (key == "--template")
      tmpl = argv[i + 1];
    else if (key == "--lines")
      lines = std::stoll(argv[i + 1]);
    else if (key == "--runs")
      runs = std::stoi(argv[i + 1]);
    else if (key == "--only")
      only = argv[i + 1];
    else if (key == "--odbc-driver")
      odbc_driver = argv[i + 1];
    else if (key == "--shape")
      shape_name = argv[i + 1];
    else if (key == "--customers")
      customers = std::stoi(argv[i + 1]);
    else if (key == "--keep")
      keep = std::string(argv[i + 1]) == "1";
    else if (key == "--tsv")
      tsv = std::string(argv[i + 1]) == "1";
    else if (key == "--literal")
      literal = std::string(argv[i + 1]) == "1";
    else if (key == "--fresh")
      fresh = std::string(argv[i + 1]) == "1";
  }
  const auto shape = veriprog::gen::ShapeNamed(shape_name);
  if (!shape) {
    std::fprintf(stderr, "operations_bench: no shape %s\n", shape_name.c_str());
    return 2;
  }
  // The standard ledger keeps the name it always had; the other shapes are named after theirs.
  std::string name = "vp_bench_" + std::to_string(lines);
  if (*shape != veriprog::gen::LedgerShape::kStandard) {
    name += "_" + shape_name;
    std::replace(name.begin(), name.end(), '-', '_');
  }
  const std::string conninfo = admin + " dbname=" + name;
  if (!keep || !Exists(admin, name)) {
    Exec(admin, "DROP DATABASE IF EXISTS " + name);
    Exec(admin, "CREATE DATABASE " + name + " TEMPLATE " + tmpl);
    std::int64_t held = 0;
    const double generated = Seconds([&] {
      held = veriprog::gen::GenerateLedger(
                 conninfo,
                 {.seed = 3, .lines = lines, .wrong = 10, .customers = customers, .shape = *shape})
                 .journal_lines;
    });
    // A ledger at rest, as autovacuum leaves it: statistics known and every page marked visible,
    // so that index-only scans read no table page.
    Exec(conninfo, "VACUUM (FREEZE, ANALYZE)");
    // The size asked for is the core journal's; the families' registrations come on top.
    std::fprintf(tsv ? stderr : stdout,
                 "%s ledger of %lld journal lines (%lld in the journal with the families' "
                 "registrations; customers %s) generated in %.1f s\n",
                 shape_name.c_str(), lines, static_cast<long long>(held),
                 customers > 0 ? std::to_string(customers).c_str() : "by size", generated);
  } else {
    std::fprintf(tsv ? stderr : stdout, "ledger of %lld journal lines kept from an earlier run\n",
                 lines);
  }
  {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    PGresult* r =
        PQexec(conn,
               "SELECT COUNT(*) FROM CG43_MOVIVA JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = "
               "CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41 WHERE "
               "CG41_DITTA_CG18 = 1 AND EXTRACT(YEAR FROM CG41_DATAREGIVA) = 2024");
    std::fprintf(tsv ? stderr : stdout, "VAT lines of company 1, 2024: %s\n",
                 PQresultStatus(r) == PGRES_TUPLES_OK ? PQgetvalue(r, 0, 0) : "?");
    PQclear(r);
    PQfinish(conn);
  }

  auto env = [](const char* variable, const char* fallback) {
    const char* v = std::getenv(variable);
    return std::string(v != nullptr ? v : fallback);
  };
  const std::string odbc_connection = "Driver={" + odbc_driver +
                                      "};Server=" + env("PGHOST", "localhost") +
                                      ";Port=" + env("PGPORT", "5432") + ";Database=" + name +
                                      ";UID=" + env("PGUSER", "postgres") + ";BoolsAsChar=0";
  std::fprintf(tsv ? stderr : stdout, "operations through %s\n",
               odbc_driver.empty() ? "libpq" : "libpq and ODBC in turn");

  // Each operation is set against the plain aggregate over the journal lines it reads, run on
  // the same database in the same run: the ratio is what the operation costs beyond one scan.
  using veriprog::CLSCG_VERIPROG;
  using veriprog::CLSCG_VERIPROGINPUT;
  struct Operation {
    const char* name;
    const char* aggregate;
    std::function<void(CLSCG_VERIPROGINPUT&)> params;
    std::function<void(CLSCG_VERIPROG&)> run;
  };
  auto fiscal_year = [](CLSCG_VERIPROGINPUT& in) {
    in.Ditta = 1;
    in.Esercizio = 2024;
    in.Progressivo = 1;
  };
  auto call = [](void (CLSCG_VERIPROG::*op)()) { return [op](CLSCG_VERIPROG& m) { (m.*op)(); }; };
  auto calendar_year = [](bool per_activity) {
    return [per_activity](CLSCG_VERIPROGINPUT& in) {
      in.Ditta = 1;
      in.Anno = 2024;
      in.ElaborazionePerAttivita = per_activity;
    };
  };
  const Operation operations[] = {
      {"check accounts", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::ControlloProgressiviContabili)},
      {"rebuild accounts", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili)},
      {"rebuild accounts-legacy", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld)},
      {"rebuild turnover", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::AzzeraAggiornaFatturatoImportoIVA)},
      {"check plafond", kPlafondAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::ControlloProgressiviPlafond)},
      {"check plafond --by-activity", kPlafondAggregate, calendar_year(true),
       call(&CLSCG_VERIPROG::ControlloProgressiviPlafond)},
      {"rebuild plafond", kPlafondAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviPlafond)},
      {"rebuild plafond --by-activity", kPlafondAggregate, calendar_year(true),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviPlafond)},
      {"check margin", kMarginAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::ControlloProgressiviRegimeMargine)},
      {"check margin --by-activity", kMarginAggregate, calendar_year(true),
       call(&CLSCG_VERIPROG::ControlloProgressiviRegimeMargine)},
      {"rebuild margin", kMarginAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviRegimeMargine)},
      {"rebuild margin --by-activity", kMarginAggregate, calendar_year(true),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviRegimeMargine)},
      {"check agriculture", kAgricultureAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::ControlloProgressiviAgricoltura)},
      {"rebuild agriculture", kAgricultureAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgricoltura)},
      {"check travel", kTravelAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::ControlloProgressiviAgenzieViaggio)},
      {"rebuild travel", kTravelAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgenzieViaggio)},
      {"check vat", kVatAggregate, calendar_year(false),
       [](CLSCG_VERIPROG& m) {
         bool include = true;
         m.ControlloProgressiviIVA(include);
       }},
      {"rebuild vat", kVatAggregate, calendar_year(false),
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviIVA)},
  };
  // One run of an operation on a connection of its own, with what it cost.
  struct Run {
    double seconds = 0, cpu = 0, write_back = 0;
    long statements = 0, rows_written = 0;
    long long round_trips = -1, rows_received = -1;  // libpq only
    std::string error;
    std::string totals;  // of a check's result, for the literal reference
  };
  auto run_once = [](const Operation& op, const std::string& connection) {
    Run run;
    CLSCG_VERIPROG main;
    auto inner = veriprog::db::Connect(connection);
    auto* pg = dynamic_cast<veriprog::db::pg::PgConnection*>(inner.get());
    const long long trips_before = pg != nullptr ? pg->round_trips() : 0;
    const long long rows_before = pg != nullptr ? pg->rows_received() : 0;
    auto counting = std::make_shared<Counting>(std::move(inner));
    main.CPInput()->GConnect = counting;
    main.CPInput()->EseguiTransazione = true;
    op.params(*main.CPInput());
    const double cpu_before = ClientCpu();
    run.seconds = Seconds([&] { op.run(main); });
    run.cpu = ClientCpu() - cpu_before;
    if (main.Stato() != veriprog::tsOk) run.error = main.Errore();
    for (const auto& result : {main.CPOutput()->RecSetControlloProgressivi,
                               main.CPOutput()->RecSetControlloProgressiviIVA})
      if (run.error.empty() && result && result->is_open())
        run.totals = veriprog::bench::TotalsOf(*result);
    run.statements = counting->statements;
    run.rows_written = counting->rows_written;
    run.write_back = counting->write_back_seconds;
    if (pg != nullptr) {
      run.round_trips = pg->round_trips() - trips_before;
      run.rows_received = pg->rows_received() - rows_before;
    }
    return run;
  };
  const bool versus = !odbc_driver.empty();
  std::vector<std::pair<const Operation*, double>> analysed;  // for --fresh: the medians
  if (versus && !tsv)
    std::printf("%-30s %9s %9s %7s %9s  %s\n", "operation", "libpq", "ODBC", "ratio", "ODBC more",
                "within 1.3x or 50 ms");
  for (const auto& op : operations) {
    if (!Selected(op.name, only)) continue;
    // The aggregate runs right before each run of the operation, so that both see the same
    // machine: on a machine shared with other work the load drifts between operations.
    PGconn* aggregate_conn = PQconnectdb(conninfo.c_str());
    std::vector<double> aggregate;
    // With VERIPROG_SQL_TIMES set the statements' times go to stderr: each operation's under
    // its name (bench/profile.awk sums them up).
    if (std::getenv("VERIPROG_SQL_TIMES") != nullptr)
      std::fprintf(stderr, "[operation] %s\n", op.name);
    std::vector<double> times, cpu, odbc_times, odbc_cpu, write_back, odbc_write_back;
    Run last;
    // Quick operations run more often (up to five times the runs asked, a second in all), so
    // that their medians hold still on a machine shared with other work.
    double spent = 0;
    // The literal script runs right after each run of the operation (libpq only).
    const auto script = literal && !versus ? veriprog::bench::FindLiteral(op.name) : std::nullopt;
    std::vector<double> literal_times;
    veriprog::bench::LiteralRun literal_last;
    for (int i = 0; last.error.empty() && (i < runs || (spent < 1.0 && i < 5 * runs)); ++i) {
      aggregate.push_back(Seconds([&] { PQclear(PQexec(aggregate_conn, op.aggregate)); }));
      spent += aggregate.back();
      // Against ODBC the two clients take turns, each going first every other run, so that
      // neither always meets the totals the other has just rewritten or the cache it warmed.
      for (int turn = 0; turn < (versus ? 2 : 1) && last.error.empty(); ++turn) {
        const bool odbc = versus && (turn == 0) == (i % 2 == 1);
        const Run run = run_once(op, odbc ? odbc_connection : conninfo);
        (odbc ? odbc_times : times).push_back(run.seconds);
        (odbc ? odbc_cpu : cpu).push_back(run.cpu);
        (odbc ? odbc_write_back : write_back).push_back(run.write_back);
        spent += run.seconds;
        if (!odbc || !run.error.empty()) last = run;
      }
      if (script && last.error.empty() && literal_last.error.empty()) {
        literal_last = veriprog::bench::RunLiteral(conninfo, *script);
        literal_times.push_back(literal_last.seconds);
        spent += literal_last.seconds;
      }
    }
    PQfinish(aggregate_conn);
    const double base = Median(aggregate);
    if (!last.error.empty()) {
      std::printf(tsv ? "%s\tfailed: %s\n" : "%-34s failed: %s\n", op.name, last.error.c_str());
      continue;
    }
    const double t = Median(times);
    analysed.emplace_back(&op, t);
    const double client = Median(cpu);
    // The literal script's median, the operation's time over it, and whether the totals agree.
    std::string literal_seconds = "-", literal_ratio = "-", literal_same = "-";
    if (script && !literal_last.error.empty()) {
      std::fprintf(stderr, "%s: literal script failed: %s\n", op.name, literal_last.error.c_str());
      literal_same = "failed";
    } else if (script) {
      const double l = Median(literal_times);
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", l);
      literal_seconds = text;
      std::snprintf(text, sizeof text, "%.2f", t / l);
      literal_ratio = text;
      const std::string own =
          script->rebuild ? veriprog::bench::StoredTotals(conninfo, *script) : last.totals;
      literal_same = own == literal_last.totals ? "same" : "differ";
      if (literal_same != "same")
        std::fprintf(stderr, "%s: totals differ\n  operation: %s\n  literal:   %s\n", op.name,
                     own.c_str(), literal_last.totals.c_str());
    }
    if (versus) {
      const double o = Median(odbc_times);
      const bool met = o <= 1.3 * t || o - t <= 0.05;
      if (tsv)
        std::printf("%s\t%lld\t%.3f\t%.3f\t%.2f\t%.0f\t%s\t%.2f\t%.2f\t%.2f\t%.2f\n", op.name,
                    lines, t, o, o / t, (o - t) * 1000, met ? "yes" : "no", Median(odbc_cpu),
                    client, Median(odbc_write_back), Median(write_back));
      else
        std::printf(
            "%-30s %8.3fs %8.3fs %6.2fx %6.0f ms  %-3s  (client CPU %.2f s against %.2f s, "
            "write-back %.2f s against %.2f s)\n",
            op.name, t, o, o / t, (o - t) * 1000, met ? "yes" : "no", Median(odbc_cpu), client,
            Median(odbc_write_back), Median(write_back));
      std::fflush(stdout);
      continue;
    }
    if (tsv) {
      std::printf("%s\t%lld\t%.3f\t%.3f\t%.2f\t%ld\t%ld\t%lld\t%lld\t%.2f", op.name, lines, t, base,
                  t / base, last.statements, last.rows_written, last.round_trips,
                  last.rows_received, client);
      if (literal)
        std::printf("\t%s\t%s\t%s", literal_seconds.c_str(), literal_ratio.c_str(),
                    literal_same.c_str());
      std::printf("\n");
      std::fflush(stdout);
      continue;
    }
    std::printf("%-30s %7.3f s  aggregate %6.3f s  %5.2f x", op.name, t, base, t / base);
    if (script)
      std::printf("  literal %7s s  %5s x (totals %s)", literal_seconds.c_str(),
                  literal_ratio.c_str(), literal_same.c_str());
    std::printf(
        "  (%ld statements, %lld round trips, %lld rows to the client, %ld rows written, client "
        "CPU %.2f s)\n",
        last.statements, last.round_trips, last.rows_received, last.rows_written, client);
    if (script && literal_same != "failed")
      std::printf("%-30s literal totals: %s\n", "", literal_last.totals.c_str());
    std::fflush(stdout);
  }
  if (fresh && !analysed.empty()) {
    // The same rows loaded into a new database, each operation run there before any analyse and
    // set against its median on the analysed ledger. The rebuilds rewrite the stored totals
    // without analysing them, so the later operations meet the load's state too.
    const std::string copy = name + "_fresh";
    const std::string copy_conninfo = admin + " dbname=" + copy;
    try {
      const double load = veriprog::bench::LoadUnanalysedCopy(admin, tmpl, name, copy);
      std::fprintf(tsv ? stderr : stdout, "the same rows loaded, unanalysed, in %.1f s\n", load);
      for (const auto& [op, t] : analysed) {
        std::vector<double> times;
        Run last;
        for (int i = 0; last.error.empty() && i < runs; ++i) {
          last = run_once(*op, copy_conninfo);
          times.push_back(last.seconds);
        }
        if (!last.error.empty()) {
          std::printf(tsv ? "%s (unanalysed)\tfailed: %s\n" : "%-34s failed: %s\n", op->name,
                      last.error.c_str());
          continue;
        }
        const double f = Median(times);
        std::printf(tsv ? "%s (unanalysed)\t%lld\t%.3f\t%.3f\t%.2f\n"
                        : "%-30s %9lld lines %7.3f s unanalysed, %7.3f s analysed: %5.2f x\n",
                    op->name, lines, f, t, f / t);
        std::fflush(stdout);
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "operations_bench: %s\n", e.what());
    }
    veriprog::bench::AllowAutovacuum(admin);
    Exec(admin, "DROP DATABASE IF EXISTS " + copy + " WITH (FORCE)");
  }
  if (!keep) Exec(admin, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  return 0;
}
