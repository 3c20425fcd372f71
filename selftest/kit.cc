#include "selftest/kit.h"

#include <algorithm>

#include "selftest/expected_flags.h"
#include "selftest/faulty_connection.h"
#include "selftest/scratch_database.h"
#include "selftest/stored_totals.h"
#include "veriprog/dry_run.h"
#include "veriprog/main_object.h"
#include "veriprog/operations.h"

namespace veriprog::selftest {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string UnitText(const Unit& u) {
  return "company " + std::to_string(u.ditta) + " " + u.period;
}

std::string Said(const Outcome& o) {
  return o.errore.empty() ? "Stato " + std::to_string(static_cast<int>(o.stato)) : o.errore;
}

// The first key one set holds and the other does not.
std::string FirstMismatch(const std::set<std::string>& expected, const std::set<std::string>& got,
                          const char* missing, const char* extra) {
  for (const auto& k : expected) {
    if (!got.contains(k)) return std::string(missing) + ": " + k;
  }
  for (const auto& k : got) {
    if (!expected.contains(k)) return std::string(extra) + ": " + k;
  }
  return {};
}

}  // namespace

const std::vector<KitFamily>& CheckFamilies() {
  static const std::vector<KitFamily> families = [] {
    std::vector<KitFamily> out;
    for (const RunAllFamily& f : RunAllFamilies(false))
      out.push_back({f.name, f.operation, f.name, f.per_fiscal_year, f.by_activity});
    return out;
  }();
  return families;
}

const std::vector<KitFamily>& RebuildFamilies() {
  // The account rebuild resets the turnover, so the turnover comes after both account rebuilds.
  static const std::vector<KitFamily> families = {
      {"accounts", "accounts", "accounts", true, false, "CGV1_PROGMVAL",
       "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 1"},
      {"accounts-legacy", "accounts-legacy", "accounts", true, false, "CGV1_PROGMVAL",
       "UPDATE CG53_PROGA SET CG53_SALDOFIN = CG53_SALDOFIN + 1"},
      {"turnover", "turnover", "", true, false, "CG52_PROGM",
       "UPDATE CG52_PROGM SET CG52_FATTURATO = CG52_FATTURATO + 1"},
      {"vat", "vat", "vat", false, false, "CG59_PROGIVAM",
       "UPDATE CG59_PROGIVAM SET CG59_IMPONIBILE = CG59_IMPONIBILE + 1"},
      {"plafond", "plafond", "plafond", false, false, "CG51_PROGPLAFOND",
       "UPDATE CG51_PROGPLAFOND SET CG51_PLAFEXPORT = CG51_PLAFEXPORT + 1"},
      {"plafond-activity", "plafond", "plafond-activity", false, true, "CGL4_PROGIVAPLAF",
       "UPDATE CGL4_PROGIVAPLAF SET CGL4_PLAFEXPORT = CGL4_PLAFEXPORT + 1"},
      {"margin", "margin", "margin", false, false, "CGM3_PROGIVAM",
       "UPDATE CGM3_PROGIVAM SET CGM3_IMPONIBILE = CGM3_IMPONIBILE + 1"},
      {"margin-activity", "margin", "margin-activity", false, true, "CGL3_PROGIVAMARG",
       "UPDATE CGL3_PROGIVAMARG SET CGL3_IMPONIBILE = CGL3_IMPONIBILE + 1"},
      {"agriculture", "agriculture", "agriculture", false, false, "CGA0_PROGIVAM",
       "UPDATE CGA0_PROGIVAM SET CGA0_IMPONIBILE = CGA0_IMPONIBILE + 1"},
      {"travel", "travel", "travel", false, false, "CGL6_PROGIVAAGVIAG",
       "UPDATE CGL6_PROGIVAAGVIAG SET CGL6_IMPONIBILE = CGL6_IMPONIBILE + 1"},
  };
  return families;
}

Kit::Kit(const SelftestOptions& options, std::shared_ptr<db::Connection> connection,
         gen::GeneratedLedger ledger, std::function<void(StepResult)> report)
    : options_(options),
      connection_(std::move(connection)),
      ledger_(std::move(ledger)),
      report_(std::move(report)) {}

std::vector<Unit> Kit::UnitsOf(const KitFamily& family) const {
  std::vector<Unit> units;
  std::set<std::pair<std::int64_t, int>> years;
  for (const gen::GeneratedFiscalYear& fy : ledger_.fiscal_years) {
    if (family.per_fiscal_year) {
      units.push_back({fy.ditta, std::to_string(fy.anno) + "/" + std::to_string(fy.progressivo),
                       fy.anno, fy.progressivo});
    }
    for (int y = std::stoi(fy.start.substr(0, 4)); y <= std::stoi(fy.end.substr(0, 4)); ++y)
      years.insert({fy.ditta, y});
  }
  if (!family.per_fiscal_year) {
    for (const auto& [ditta, y] : years)
      units.push_back({ditta, std::to_string(y), y, 0});
  }
  std::stable_sort(units.begin(), units.end(),
                   [](const Unit& a, const Unit& b) { return a.ditta < b.ditta; });
  return units;
}

Unit Kit::FaultUnit(const KitFamily& family) const {
  const std::vector<Unit> units = UnitsOf(family);
  for (const Unit& u : units) {
    const bool wrong = family.check.empty()
                           ? ExpectedTurnover(ledger_, u.ditta, u.period) > 0
                           : !ExpectedKeys(ledger_, family.check, u.ditta, u.period).empty();
    if (wrong) return u;
  }
  return units.front();
}

void Kit::Prepare(CLSCG_VERIPROG& main, const KitFamily& family, const Unit& unit, bool rebuild,
                  std::shared_ptr<db::Connection> connection) const {
  OperationParameters p;
  p.company = std::to_string(unit.ditta);
  if (unit.progressivo != 0) {
    p.fiscal_year = std::to_string(unit.anno);
    p.fiscal_seq = std::to_string(unit.progressivo);
  } else {
    p.year = std::to_string(unit.anno);
  }
  p.by_activity = family.by_activity;
  FillInput(*main.CPInput(), p, rebuild);
  main.CPInput()->GConnect = connection ? std::move(connection) : connection_;
}

Outcome Kit::Run(const KitFamily& family, bool rebuild, const Unit& unit,
                 std::shared_ptr<db::Connection> connection) {
  const OperationInfo* op = FindOperation(rebuild, family.operation);
  if (op == nullptr) {
    Outcome none;
    none.stato = tsProgramError;
    none.errore = "no operation for " + family.operation;
    return none;
  }
  CLSCG_VERIPROG main;
  Prepare(main, family, unit, rebuild, std::move(connection));
  // A VAT check compares with the stored totals only when asked to.
  return RunOperation(main, *op, !rebuild && family.operation == "vat");
}

void Kit::Report(StepResult step, std::chrono::steady_clock::time_point start) {
  step.seconds = SecondsSince(start);
  report_(std::move(step));
}

bool Kit::Compare(const KitFamily& family, const Unit& unit, Outcome& outcome, bool after_rebuild,
                  StepResult& step) {
  if (outcome.stato != tsOk || !outcome.rows) {
    step.message = UnitText(unit) + ": " + Said(outcome);
    return false;
  }
  db::Recordset& rs = *outcome.rows;
  if (!corrupted_ && family.check == options_.corrupt_family && rs.RecordCount() > 0) {
    // The kit's own test: one row falsified, as a faulty server or driver might hand it over.
    corrupted_ = true;
    rs.MoveFirst();
    rs.Set("FLAGSBIL", db::Variant(std::string(IsFlagged(rs) ? "" : "Si")));
  }
  if (after_rebuild) {
    for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
      if (!IsFlagged(rs) || LeftByRebuild(family.check, rs)) continue;
      step.message = UnitText(unit) + ": the check still flags a row after the rebuild";
      step.difference = "flagged after the rebuild: " + KeyOfRow(family.check, rs);
      return false;
    }
    return true;
  }
  const std::set<std::string> got = FlaggedKeys(family.check, rs);
  flagged_[family.name + " " + UnitText(unit)] = got;
  const std::set<std::string> expected =
      ExpectedKeys(ledger_, family.check, unit.ditta, unit.period);
  step.difference = FirstMismatch(expected, got, "made wrong, not flagged", "flagged, not wrong");
  if (step.difference.empty()) return true;
  step.message = UnitText(unit) + ": the flagged rows differ from the totals made wrong";
  return false;
}

bool Kit::Spoil(const KitFamily& family, StepResult& step) {
  try {
    std::int64_t rows = 0;
    connection_->Execute(family.spoil, &rows);
    if (rows > 0) return true;
    step.message = "no stored total to make wrong: " + family.spoil;
  } catch (const std::exception& e) {
    step.message = std::string("the totals could not be made wrong: ") + e.what();
  }
  step.statement = family.spoil;
  return false;
}

void Kit::Coverage() {
  const auto start = std::chrono::steady_clock::now();
  StepResult step{"coverage", "every family"};
  step.passed = true;
  std::string none;
  for (const KitFamily& family : RebuildFamilies()) {
    std::size_t wrong = 0;
    for (const Unit& u : UnitsOf(family)) {
      wrong += family.check.empty() ? ExpectedTurnover(ledger_, u.ditta, u.period)
                                    : ExpectedKeys(ledger_, family.check, u.ditta, u.period).size();
    }
    step.rows += static_cast<std::int64_t>(wrong);
    if (wrong == 0) none += (none.empty() ? "" : ", ") + family.name;
  }
  if (!none.empty()) {
    step.passed = false;
    step.message = "no totals made wrong for " + none + ": give more --lines or another --seed";
  }
  Report(std::move(step), start);
}

void Kit::Checks() {
  for (const KitFamily& family : CheckFamilies()) {
    const auto start = std::chrono::steady_clock::now();
    StepResult step{"check", family.name};
    step.passed = true;
    for (const Unit& unit : UnitsOf(family)) {
      Outcome outcome = Run(family, false, unit);
      ++step.units;
      step.rows += outcome.row_count;
      step.flagged += outcome.flagged;
      StepResult compared;
      if (!Compare(family, unit, outcome, false, compared) && step.passed) {
        step.passed = false;
        step.message = compared.message;
        step.difference = compared.difference;
      }
    }
    Report(std::move(step), start);
  }
}

void Kit::CheckEveryCompany() {
  const auto start = std::chrono::steady_clock::now();
  StepResult step{"check", "every company"};
  RunAllOptions o;
  o.connection = options_.connection;
  o.jobs = options_.jobs;
  o.keep_rows = true;
  const RunAllResult all = RunAll(o);
  step.passed = all.stato == tsOk && !flagged_.empty();
  if (!step.passed) {
    step.message = flagged_.empty()
                       ? "the checks one by one gave nothing to compare with"
                       : all.errore + (all.causa.empty() ? "" : " (" + all.causa + ")");
  }
  std::size_t compared = 0;
  for (const UnitResult& u : all.units) {
    ++step.units;
    step.rows += u.outcome.row_count;
    step.flagged += u.outcome.flagged;
    if (!step.passed) continue;
    const std::string name = u.family + " company " + std::to_string(u.ditta) + " " + u.period;
    const auto one_by_one = flagged_.find(name);
    if (u.outcome.stato != tsOk || !u.outcome.rows) {
      step.passed = false;
      step.message = name + ": " + Said(u.outcome);
    } else if (one_by_one == flagged_.end()) {
      step.passed = false;
      step.message = name + ": not among the units the checks ran on one by one";
    } else {
      ++compared;
      step.difference = FirstMismatch(one_by_one->second, FlaggedKeys(u.family, *u.outcome.rows),
                                      "flagged alone, not here", "flagged here, not alone");
      if (!step.difference.empty()) {
        step.passed = false;
        step.message = name + ": the run over every company differs from the check alone";
      }
    }
  }
  if (step.passed && compared != flagged_.size()) {
    step.passed = false;
    step.message = std::to_string(flagged_.size() - compared) +
                   " of the units checked one by one were not run";
  }
  Report(std::move(step), start);
}

void Kit::DryRuns() {
  const StoredTotals before = ReadStoredTotals(*connection_);
  for (const KitFamily& family : RebuildFamilies()) {
    const auto start = std::chrono::steady_clock::now();
    StepResult step{"dry run", family.name};
    step.passed = true;
    const OperationInfo* op = FindOperation(true, family.operation);
    if (op == nullptr) {
      step.passed = false;
      step.message = "no rebuild for " + family.operation;
    }
    for (const Unit& unit : UnitsOf(family)) {
      if (op == nullptr) break;
      CLSCG_VERIPROG main;
      Prepare(main, family, unit, true);
      const DryRunResult dry = DryRun(main, *op);
      ++step.units;
      step.rows += dry.Changed();
      if (!step.passed) continue;
      if (dry.outcome.stato != tsOk || !dry.rollback_error.empty()) {
        step.passed = false;
        step.message = UnitText(unit) + ": " +
                       (dry.rollback_error.empty() ? Said(dry.outcome) : dry.rollback_error);
        continue;
      }
      // The turnover has no check: its dry run is how the kit sees it, figure by figure.
      const std::size_t wrong =
          family.check.empty()
              ? ExpectedTurnover(ledger_, unit.ditta, unit.period)
              : ExpectedKeys(ledger_, family.check, unit.ditta, unit.period).size();
      const bool exact = family.check.empty();
      if ((exact && static_cast<std::size_t>(dry.Changed()) != wrong) ||
          (!exact && static_cast<std::size_t>(dry.Changed()) < wrong)) {
        step.passed = false;
        step.message = UnitText(unit) + ": " + std::to_string(dry.Changed()) +
                       " rows would change, with " + std::to_string(wrong) + " totals made wrong";
      }
    }
    const std::string difference = FirstDifference(before, ReadStoredTotals(*connection_));
    if (step.passed && !difference.empty()) {
      step.passed = false;
      step.message = "the dry run left the stored totals changed";
      step.difference = difference;
    }
    Report(std::move(step), start);
  }
}

void Kit::Rebuilds() {
  for (const KitFamily& family : RebuildFamilies()) {
    const auto start = std::chrono::steady_clock::now();
    StepResult step{"rebuild", family.name};
    // Every rebuild meets totals made wrong, also the one after another of its family.
    step.passed = Spoil(family, step);
    if (!step.passed) {
      Report(std::move(step), start);
      continue;
    }
    const Unit fault_unit = FaultUnit(family);
    for (const Unit& unit : UnitsOf(family)) {
      auto counting = std::make_shared<FaultyConnection>(connection_);
      const Outcome outcome = Run(family, true, unit, counting);
      ++step.units;
      if (unit.ditta == fault_unit.ditta && unit.period == fault_unit.period)
        statements_[family.name] = counting->statements();
      if (step.passed && outcome.stato != tsOk) {
        step.passed = false;
        step.message = UnitText(unit) + ": " + Said(outcome);
      }
    }
    // What the rebuild wrote, seen by its check (or, for the turnover, by a dry run that must
    // find nothing more to change).
    for (const Unit& unit : UnitsOf(family)) {
      if (!step.passed) break;
      if (family.check.empty()) {
        CLSCG_VERIPROG main;
        Prepare(main, family, unit, true);
        const OperationInfo* op = FindOperation(true, family.operation);
        if (op == nullptr) break;
        const DryRunResult again = DryRun(main, *op);
        step.rows += again.Rows();
        if (again.outcome.stato != tsOk || again.Changed() != 0) {
          step.passed = false;
          step.message = UnitText(unit) + ": a second rebuild would change " +
                         std::to_string(again.Changed()) + " rows";
        }
        continue;
      }
      KitFamily check = family;
      check.name = family.check;
      check.operation = FindOperation(false, family.operation) ? family.operation : "accounts";
      Outcome outcome = Run(check, false, unit);
      step.rows += outcome.row_count;
      step.flagged += outcome.flagged;
      if (!Compare(check, unit, outcome, true, step)) step.passed = false;
    }
    Report(std::move(step), start);
  }
}

void Kit::Faults() {
  for (const KitFamily& family : RebuildFamilies()) {
    ClientFault(family);
    ServerFault(family);
  }
}

void Kit::ClientFault(const KitFamily& family) {
  const auto start = std::chrono::steady_clock::now();
  StepResult step{"client fault", family.name, 1};
  const Unit unit = FaultUnit(family);
  // Totals the rebuild would change, so that any of its writes that stayed would show.
  if (!Spoil(family, step)) return Report(std::move(step), start);
  const int fail_at = std::max(2, statements_[family.name] / 2);
  const StoredTotals before = ReadStoredTotals(*connection_);
  auto faulty = std::make_shared<FaultyConnection>(connection_, fail_at);
  const Outcome outcome = Run(family, true, unit, faulty);
  step.statement = faulty->failed();
  step.difference = FirstDifference(before, ReadStoredTotals(*connection_));
  if (outcome.stato == tsOk) {
    step.message = UnitText(unit) + ": statement " + std::to_string(fail_at) +
                   " failed, and the rebuild said it went well";
  } else if (step.statement.empty() || outcome.errore.find(kClientFault) == std::string::npos) {
    step.message = UnitText(unit) + ": failed otherwise than by the fault: " + Said(outcome);
  } else if (!step.difference.empty()) {
    step.message = UnitText(unit) + ": the failed rebuild left the stored totals changed";
  } else {
    const Outcome again = Run(family, true, unit);
    step.passed = again.stato == tsOk;
    step.message = step.passed ? "statement " + std::to_string(fail_at) + " of " +
                                     std::to_string(statements_[family.name]) +
                                     " failed; totals unchanged; the next rebuild went well"
                               : "the rebuild after the failure: " + Said(again);
  }
  Report(std::move(step), start);
}

void Kit::ServerFault(const KitFamily& family) {
  const auto start = std::chrono::steady_clock::now();
  StepResult step{"server fault", family.name, 1};
  const Unit unit = FaultUnit(family);
  if (!Spoil(family, step)) return Report(std::move(step), start);
  try {
    AddServerFault(*connection_, family.fault_table);
  } catch (const std::exception& e) {
    step.message = std::string("the failing trigger could not be made: ") + e.what();
    Report(std::move(step), start);
    return;
  }
  Outcome outcome;
  std::string removal;
  try {
    const StoredTotals before = ReadStoredTotals(*connection_);
    outcome = Run(family, true, unit);
    step.difference = FirstDifference(before, ReadStoredTotals(*connection_));
  } catch (const std::exception& e) {
    outcome.stato = tsProgramError;
    outcome.errore = e.what();
  }
  try {
    RemoveServerFault(*connection_, family.fault_table);
  } catch (const std::exception& e) {
    removal = e.what();
  }
  if (outcome.stato == tsOk) {
    step.message =
        UnitText(unit) + ": the trigger on " + family.fault_table + " never failed the rebuild";
  } else if (outcome.errore.find(kServerFault) == std::string::npos) {
    step.message = UnitText(unit) + ": failed otherwise: " + outcome.errore;
  } else if (!step.difference.empty()) {
    step.message = UnitText(unit) + ": the failed rebuild left the stored totals changed";
  } else if (!removal.empty()) {
    step.message = "the failing trigger could not be removed: " + removal;
  } else {
    step.passed = true;
    step.message = "failed on " + family.fault_table + " as the server said; totals unchanged";
  }
  Report(std::move(step), start);
}

void Kit::RebuildEveryCompany() {
  for (const bool rebuild : {true, false}) {
    const auto start = std::chrono::steady_clock::now();
    StepResult step{rebuild ? "rebuild" : "check after", "every company"};
    RunAllOptions o;
    o.connection = options_.connection;
    o.jobs = options_.jobs;
    o.rebuild = rebuild;
    o.keep_rows = true;
    const RunAllResult all = RunAll(o);
    step.passed = all.stato == tsOk && !all.units.empty();
    if (!step.passed) step.message = all.units.empty() ? "no company was run" : all.errore;
    for (const UnitResult& u : all.units) {
      ++step.units;
      step.rows += u.outcome.row_count;
      step.flagged += u.outcome.flagged;
      if (!step.passed) continue;
      const Unit unit{u.ditta, u.period};
      if (u.outcome.stato != tsOk) {
        step.passed = false;
        step.message = u.family + " " + UnitText(unit) + ": " + Said(u.outcome);
      } else if (!rebuild) {
        KitFamily check{u.family, u.family, u.family};
        Outcome outcome = u.outcome;
        if (!Compare(check, unit, outcome, true, step)) step.passed = false;
      }
    }
    Report(std::move(step), start);
  }
}

}  // namespace veriprog::selftest
