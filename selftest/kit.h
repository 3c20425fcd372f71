// The self-test's steps over one scratch database and the ledger generated in it: what each
// step runs, what it compares, and what it found. Private to the self-test.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "gen/ledger_generator.h"
#include "selftest/selftest.h"
#include "veriprog/connection.h"
#include "veriprog/main_object.h"
#include "veriprog/operation_run.h"
#include "veriprog/run_all.h"

namespace veriprog::selftest {

// One company and period an operation runs on.
struct Unit {
  std::int64_t ditta = 0;
  std::string period;  // "2024/1" for a fiscal year, "2024" for a calendar year
  int anno = 0;
  int progressivo = 0;  // 0 for a calendar year
};

// A family as the run over every company names it, with the legacy account rebuild beside it.
struct KitFamily {
  std::string name;       // "accounts", "plafond-activity", "accounts-legacy", ...
  std::string operation;  // family in the operation table
  std::string check;      // the check family that shows its work ("" for the turnover)
  bool per_fiscal_year = false;
  bool by_activity = false;
  std::string fault_table = {};  // where the server's fault waits for the rebuild
  // Makes every stored total of one of its tables wrong, so that a rebuild has work to do.
  std::string spoil = {};
};
const std::vector<KitFamily>& CheckFamilies();
const std::vector<KitFamily>& RebuildFamilies();

class Kit {
 public:
  Kit(const SelftestOptions& options, std::shared_ptr<db::Connection> connection,
      gen::GeneratedLedger ledger, std::function<void(StepResult)> report);

  void Coverage();           // every family has totals made wrong, or the rest proves little
  void Checks();             // every check, flagged rows against the generator's list
  void CheckEveryCompany();  // the run over every company gives what the checks one by one gave
  void DryRuns();            // what each rebuild would change, and nothing written
  void Rebuilds();           // each rebuild, then its check finds nothing left
  void Faults();             // each rebuild failing midway leaves the totals as they were
  void RebuildEveryCompany();

 private:
  std::vector<Unit> UnitsOf(const KitFamily& family) const;
  // The unit the faults are tried on: the first period with totals made wrong.
  Unit FaultUnit(const KitFamily& family) const;
  // Fills main's parameters for `family` on `unit`, on `connection` or the kit's own.
  void Prepare(CLSCG_VERIPROG& main, const KitFamily& family, const Unit& unit, bool rebuild,
               std::shared_ptr<db::Connection> connection = nullptr) const;
  Outcome Run(const KitFamily& family, bool rebuild, const Unit& unit,
              std::shared_ptr<db::Connection> connection = nullptr);
  // Compares a check's flagged rows with what they should be; the first difference goes in
  // `step` and false comes back. `after_rebuild`: only the rows a rebuild leaves may be flagged.
  bool Compare(const KitFamily& family, const Unit& unit, Outcome& outcome, bool after_rebuild,
               StepResult& step);
  // The family's totals made wrong again; false (with why in `step`) when that failed.
  bool Spoil(const KitFamily& family, StepResult& step);
  void ClientFault(const KitFamily& family);
  void ServerFault(const KitFamily& family);
  void Report(StepResult step, std::chrono::steady_clock::time_point start);

  SelftestOptions options_;
  std::shared_ptr<db::Connection> connection_;
  gen::GeneratedLedger ledger_;
  std::function<void(StepResult)> report_;
  // Flagged keys per check family and unit, from the checks one by one.
  std::map<std::string, std::set<std::string>> flagged_;
  // Statements each rebuild sent on its fault unit, to fail it halfway next time.
  std::map<std::string, int> statements_;
  bool corrupted_ = false;
};

}  // namespace veriprog::selftest
