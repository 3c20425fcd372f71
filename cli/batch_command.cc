// check all, rebuild all: the command, its options and its outputs (the summary as a table, CSV,
// JSON with the flagged rows of each check, or the HTML page).
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/html_report.h"
#include "cli/interrupt.h"
#include "cli/output.h"
#include "db/text.h"

namespace veriprog::cli {
namespace {

struct AllOptions {
  std::string connection;
  std::string companies, fiscal_years, families;
  int jobs = 1;
  bool all_rows = false;
  std::string format = "table";
};

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

std::string Outcome(const UnitResult& u) {
  if (!u.run) return "not run";
  if (u.interrupted) return "interrupted";
  return OutcomeText(u.code);
}

std::string Message(const UnitResult& u) {
  std::string m = u.outcome.errore;
  if (!u.outcome.causa.empty()) m += " (" + u.outcome.causa + ")";
  return m;
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

void PrintSummaryTable(const BatchResult& r, bool rebuild, bool csv) {
  db::Recordset rs;
  rs.AppendField(db::FieldDef::Integer("COMPANY", 8));
  rs.AppendField(db::FieldDef::VarChar("PERIOD"));
  rs.AppendField(db::FieldDef::VarChar("FAMILY"));
  if (!rebuild) {
    rs.AppendField(db::FieldDef::Integer("ROWS", 8));
    rs.AppendField(db::FieldDef::Integer("FLAGGED", 8));
  }
  rs.AppendField(db::FieldDef::Numeric("SECONDS", 12, 2));
  rs.AppendField(db::FieldDef::VarChar("OUTCOME"));
  rs.AppendField(db::FieldDef::VarChar("MESSAGE"));
  rs.Open();
  for (const UnitResult& u : r.units) {
    rs.AddNew();
    rs.Set("COMPANY", u.ditta);
    rs.Set("PERIOD", u.period);
    rs.Set("FAMILY", u.family);
    if (!rebuild) {
      const bool counted = u.run && u.outcome.stato == tsOk;
      rs.Set("ROWS", counted ? db::Variant(u.outcome.row_count) : db::Variant::Null());
      rs.Set("FLAGGED", counted ? db::Variant(u.outcome.flagged) : db::Variant::Null());
    }
    rs.Set("SECONDS", db::Decimal::Parse(Seconds(u.outcome.seconds)));
    rs.Set("OUTCOME", Outcome(u));
    rs.Set("MESSAGE", Message(u));
    rs.Update();
  }
  csv ? PrintCsv(std::cout, rs) : PrintTable(std::cout, rs);
}

int RunAll(const AllOptions& a, bool rebuild) {
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
  BatchOptions o;
  o.connection = a.connection;
  o.jobs = a.jobs;
  o.rebuild = rebuild;
  o.keep_rows = a.format == "json" || a.format == "html";
  o.charts = a.format == "html";
  o.show_progress = true;
  try {
    o.companies = NumberSet::Parse(a.companies, "--companies");
    o.fiscal_years = NumberSet::Parse(a.fiscal_years, "--fiscal-years");
    for (std::size_t from = 0; from < a.families.size();) {
      std::size_t comma = a.families.find(',', from);
      if (comma == std::string::npos) comma = a.families.size();
      const std::string name(db::Trim(std::string_view(a.families).substr(from, comma - from)));
      bool known = false;
      std::string names;
      for (const BatchFamily& f : BatchFamilies(rebuild)) {
        known = known || f.name == name;
        names += (names.empty() ? "" : ", ") + f.name;
      }
      if (!known) throw std::invalid_argument("--families: '" + name + "' is none of " + names);
      o.families.push_back(name);
      from = comma + 1;
    }
  } catch (const std::invalid_argument& e) {
    std::cerr << e.what() << '\n';
    return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  }

  BatchResult r;
  try {
    r = RunBatch(o);
  } catch (const NoConnection& e) {
    std::cerr << "Non è stata definita la connessione\n  (" << e.what() << ")\n";
    return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  } catch (const std::exception& e) {
    std::cerr << "the companies and fiscal years could not be listed: " << e.what() << '\n';
    return finish(static_cast<int>(ExitCode::kProgramError), false);
  }
  if (r.units.empty()) {
    std::cerr << "no company and fiscal year of the ledger matches\n";
    return finish(static_cast<int>(ExitCode::kInvalidParameters), false);
  }
  std::int64_t ok = 0, with_flags = 0, failed = 0, not_run = 0, stopped = 0;
  for (const UnitResult& u : r.units) {
    if (!u.run || u.interrupted) {
      ++(u.run ? stopped : not_run);
      continue;
    }
    rows += u.outcome.row_count;
    flagged += u.outcome.flagged;
    if (u.code == ExitCode::kOk)
      ++ok;
    else if (u.code == ExitCode::kFlagged)
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
                               {"outcome", Outcome(u)},
                               {"stato", static_cast<int>(u.outcome.stato)},
                               {"errore", Message(u)},
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
                                        {"jobs", o.jobs},
                                        {"companies", r.companies},
                                        {"seconds", r.seconds},
                                        {"exit", r.exit_code},
                                        {"units", units}}
                     .dump(2)
              << '\n';
  } else if (a.format == "html") {
    std::vector<ReportUnit> report;
    for (const UnitResult& u : r.units) {
      report.push_back({std::to_string(u.ditta), u.period, u.family, u.outcome.row_count,
                        u.outcome.flagged, u.outcome.seconds, Outcome(u), Message(u),
                        u.outcome.rows, u.charts, u.chart_error});
    }
    WriteHtmlReport(std::cout, title + ": " + std::to_string(r.companies) + " companies", report);
  } else {
    PrintSummaryTable(r, rebuild, a.format == "csv");
  }
  std::cerr << r.companies << (r.companies == 1 ? " company, " : " companies, ") << r.units.size()
            << " operations: " << ok << " ok, " << with_flags << " flagged, " << failed
            << " failed";
  if (stopped) std::cerr << ", " << stopped << " interrupted";
  if (not_run) std::cerr << ", " << not_run << " not run";
  std::cerr << " in " << Seconds(r.seconds) << " s on " << o.jobs
            << (o.jobs == 1 ? " connection" : " connections") << '\n';
  if (InterruptSignal()) {
    std::cerr << "interrupted: the operation under way was stopped"
              << (rebuild ? " and rolled back; the rebuilds reported ok are written" : "")
              << "; those not run are listed\n";
  }
  return finish(r.exit_code, true);
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
  for (const BatchFamily& f : BatchFamilies(rebuild))
    names += (names.empty() ? "" : ",") + f.name;
  cmd->add_option("--families", a->families, "families to run, of " + names + "; all when omitted");
  cmd->add_option("--jobs", a->jobs, "companies worked on at once, each on its own connection")
      ->check(CLI::Range(1, 64));
  if (!rebuild) {
    cmd->add_flag("--all-rows", a->all_rows,
                  "JSON: every row of every check, not only the flagged ones");
    cmd->add_option("--format", a->format,
                    "summary as table, csv, json (with the flagged rows) or html (one "
                    "self-contained page with charts)")
        ->check(CLI::IsMember({"table", "csv", "json", "html"}));
  } else {
    cmd->add_option("--format", a->format, "summary as table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
  }
  cmd->callback([a, rebuild, &code] { code = static_cast<ExitCode>(RunAll(*a, rebuild)); });
}

}  // namespace veriprog::cli
