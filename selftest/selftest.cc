#include "selftest/selftest.h"

#include <chrono>
#include <exception>
#include <optional>

#include "gen/ledger_generator.h"
#include "selftest/kit.h"
#include "selftest/scratch_database.h"
#include "veriprog/connection.h"

namespace veriprog::selftest {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Stored totals made wrong on purpose: enough that every family has some in its busiest year.
constexpr int kWrong = 12;

}  // namespace

bool SelftestResult::passed() const {
  if (!refused.empty() || steps.empty()) return false;
  for (const StepResult& s : steps) {
    if (!s.passed) return false;
  }
  return true;
}

SelftestResult RunSelftest(const SelftestOptions& options,
                           const std::function<void(const StepResult&)>& on_step) {
  SelftestResult result;
  auto report = [&](StepResult step) {
    if (on_step) on_step(step);
    result.steps.push_back(std::move(step));
  };
  std::shared_ptr<db::Connection> connection;
  try {
    connection = db::Connect(options.connection);
  } catch (const std::exception& e) {
    result.refused = std::string("cannot connect: ") + e.what();
    return result;
  }
  result.server = ServerFacts(*connection);
  try {
    if (auto why = WhyNotScratch(*connection)) {
      result.refused = *why;
      return result;
    }
  } catch (const std::exception& e) {
    result.refused = std::string("cannot look at the database: ") + e.what();
    return result;
  }

  auto start = std::chrono::steady_clock::now();
  StepResult install{"install", "schema"};
  std::optional<ScriptFailure> failure;
  try {
    failure = InstallSchema(*connection);
  } catch (const std::exception& e) {
    failure = ScriptFailure{"", "", e.what()};
  }
  install.passed = !failure;
  if (failure) {
    install.message =
        failure->script.empty() ? failure->error : failure->script + ": " + failure->error;
    install.statement = failure->batch;
  }
  install.seconds = SecondsSince(start);
  report(install);
  if (failure) return result;

  try {
    start = std::chrono::steady_clock::now();
    StepResult step{"generate", "ledger"};
    gen::GeneratorOptions g;
    g.seed = options.seed;
    g.lines = options.lines;
    g.wrong = kWrong;
    gen::GeneratedLedger ledger = gen::GenerateLedger(*connection, g);
    step.rows = ledger.journal_lines;
    step.units = static_cast<std::int64_t>(ledger.fiscal_years.size());
    step.passed = true;
    step.message = std::to_string(ledger.wrong.size() + ledger.wrong_stored.size()) +
                   " stored totals made wrong on purpose";
    step.seconds = SecondsSince(start);
    report(step);

    Kit kit(options, connection, std::move(ledger), report);
    // A phase that breaks is a failed step; the phases after it still run.
    const std::pair<const char*, void (Kit::*)()> phases[] = {
        {"coverage", &Kit::Coverage},
        {"checks", &Kit::Checks},
        {"check every company", &Kit::CheckEveryCompany},
        {"dry runs", &Kit::DryRuns},
        {"rebuilds", &Kit::Rebuilds},
        {"faults", &Kit::Faults},
        {"rebuild every company", &Kit::RebuildEveryCompany}};
    for (const auto& [name, phase] : phases) {
      if (connection->interrupted()) {
        StepResult stopped{"interrupted", name};
        stopped.message = "stopped before this phase; the scratch schema is removed all the same";
        report(stopped);
        break;
      }
      try {
        (kit.*phase)();
      } catch (const std::exception& e) {
        StepResult broken{"broken", name};
        broken.message = e.what();
        report(broken);
        if (connection->in_transaction()) connection->RollbackTrans();
      }
    }
  } catch (const std::exception& e) {
    StepResult broken{"generate", "ledger"};
    broken.message = e.what();
    report(broken);
  }

  if (!options.keep) {
    start = std::chrono::steady_clock::now();
    StepResult drop{"drop", "schema"};
    try {
      // An interrupted connection refuses every statement: the removal gets one of its own.
      if (connection->interrupted()) connection = db::Connect(options.connection);
      if (connection->in_transaction()) connection->RollbackTrans();
      const auto dropped = DropSchema(*connection);
      drop.passed = !dropped;
      if (dropped) {
        drop.message = dropped->script + ": " + dropped->error;
        drop.statement = dropped->batch;
      }
    } catch (const std::exception& e) {
      drop.message = e.what();
    }
    drop.seconds = SecondsSince(start);
    report(drop);
  }
  return result;
}

}  // namespace veriprog::selftest
