// Whole-operation timings on generated ledgers: the account totals check and rebuilds, each set
// against one plain aggregate over the same journal lines joined to their headers, on the same
// database in the same run. Prints one line per operation with the ratio to the aggregate.
//
//   operations_bench --admin "dbname=postgres" --template veriprog_template --lines 1000000
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "component/main_object.h"
#include "gen/ledger_generator.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
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
  std::string admin = "dbname=postgres", tmpl = "veriprog_template", only;
  long long lines = 100000;
  int customers = 0;
  int runs = 3;
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
    else if (key == "--customers")
      customers = std::stoi(argv[i + 1]);
  }
  const std::string name = "vp_bench_" + std::to_string(lines);
  Exec(admin, "DROP DATABASE IF EXISTS " + name);
  Exec(admin, "CREATE DATABASE " + name + " TEMPLATE " + tmpl);
  const std::string conninfo = admin + " dbname=" + name;
  const double generated = Seconds([&] {
    veriprog::gen::GenerateLedger(conninfo,
                                  {.seed = 3, .lines = lines, .wrong = 10, .customers = customers});
  });
  Exec(conninfo, "VACUUM ANALYZE");
  std::printf("ledger of %lld journal lines (customers %s) generated in %.1f s\n", lines,
              customers > 0 ? std::to_string(customers).c_str() : "by size", generated);
  {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    PGresult* r =
        PQexec(conn,
               "SELECT COUNT(*) FROM CG43_MOVIVA JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = "
               "CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41 WHERE "
               "CG41_DITTA_CG18 = 1 AND EXTRACT(YEAR FROM CG41_DATAREGIVA) = 2024");
    std::printf("VAT lines of company 1, 2024: %s\n",
                PQresultStatus(r) == PGRES_TUPLES_OK ? PQgetvalue(r, 0, 0) : "?");
    PQclear(r);
    PQfinish(conn);
  }

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
  auto calendar_year = [](CLSCG_VERIPROGINPUT& in) {
    in.Ditta = 1;
    in.Anno = 2024;
  };
  auto call = [](void (CLSCG_VERIPROG::*op)()) { return [op](CLSCG_VERIPROG& m) { (m.*op)(); }; };
  const Operation operations[] = {
      {"check accounts", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::ControlloProgressiviContabili)},
      {"rebuild accounts", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili)},
      {"rebuild accounts-legacy", kAggregate, fiscal_year,
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld)},
      {"check vat", kVatAggregate, calendar_year,
       [](CLSCG_VERIPROG& m) {
         bool include = true;
         m.ControlloProgressiviIVA(include);
       }},
      {"rebuild vat", kVatAggregate, calendar_year,
       call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviIVA)},
  };
  std::map<std::string, double> aggregates;  // each aggregate timed once, by its text
  for (const auto& op : operations) {
    if (!only.empty() && only != op.name) continue;
    double& base = aggregates[op.aggregate];
    if (base == 0) {
      PGconn* conn = PQconnectdb(conninfo.c_str());
      std::vector<double> aggregate;
      for (int i = 0; i < runs; ++i)
        aggregate.push_back(Seconds([&] { PQclear(PQexec(conn, op.aggregate)); }));
      PQfinish(conn);
      base = Median(aggregate);
    }
    std::vector<double> times;
    std::string error;
    for (int i = 0; i < runs && error.empty(); ++i) {
      CLSCG_VERIPROG main;
      main.CPInput()->SConnect = conninfo;
      main.CPInput()->EseguiTransazione = true;
      op.params(*main.CPInput());
      times.push_back(Seconds([&] { op.run(main); }));
      if (main.Stato() != veriprog::tsOk) error = main.Errore();
    }
    if (!error.empty()) {
      std::printf("%-34s failed: %s\n", op.name, error.c_str());
      continue;
    }
    const double t = Median(times);
    std::printf("%-34s %8.3f s  aggregate %6.3f s  %5.2f x\n", op.name, t, base, t / base);
  }
  Exec(admin, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  return 0;
}
