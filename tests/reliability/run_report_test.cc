// Every company at once, as a night's run meets trouble: a company locked by another run fails
// alone, the run report says so and why, and a retry from the report runs only what failed and
// leaves a report with every unit done; a rebuild the server picks as a deadlock victim runs
// again, at most three more times, each retry told.
#include "component/run_report.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

#include "db/connection_hook.h"
#include "db/connection_wrapper.h"
#include "gen/ledger_generator.h"
#include "tests/support/test_database.h"
#include "veriprog/error.h"
#include "veriprog/run_all.h"

namespace veriprog {
namespace {

std::string TempReport(const char* name) {
  return (std::filesystem::temp_directory_path() /
          (std::string(name) + "_" + std::to_string(::getpid()) + ".json"))
      .string();
}

TEST(RunReport, NamesTheFailedAndARetryRunsOnlyThem) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 51, .lines = 1500, .wrong = 4, .companies = 3});
  const std::string path = TempReport("vp_report");
  RunAllOptions all;
  all.connection = db.conninfo();
  all.jobs = 2;
  all.rebuild = true;
  all.families = {"accounts", "turnover"};
  all.lock_timeout = 0.3;
  all.report = path;

  auto other = db.Connect();  // another run's rebuild of company 2
  other->Lock("veriprog ditta 2", true);
  const RunAllResult first = RunAll(all);
  ASSERT_EQ(first.stato, tsOk) << first.errore;
  std::string error;
  auto report = ReadRunReport(path, &error);
  ASSERT_TRUE(report) << error;
  EXPECT_EQ(report->operation, "rebuild all");
  ASSERT_EQ(report->units.size(), first.units.size());
  std::size_t failed = 0;
  for (const ReportedUnit& u : report->units) {
    SCOPED_TRACE(std::to_string(u.ditta) + " " + u.period + " " + u.family);
    EXPECT_EQ(u.failed(), u.ditta == 2);
    if (u.ditta != 2) continue;
    ++failed;
    EXPECT_EQ(u.status, "failed");
    EXPECT_NE(u.error.find("company 2 is locked by another run"), std::string::npos) << u.error;
  }
  EXPECT_GT(failed, 0u);

  // Once the other run is over, the retry runs company 2 alone and completes the report.
  other->Unlock("veriprog ditta 2", true);
  RunAllOptions retry = all;
  retry.report.clear();
  retry.retry_failed = path;
  const RunAllResult second = RunAll(retry);
  ASSERT_EQ(second.stato, tsOk) << second.errore;
  EXPECT_EQ(second.units.size(), failed);
  for (const UnitResult& u : second.units) {
    EXPECT_EQ(u.ditta, 2);
    EXPECT_FALSE(Failed(u)) << u.outcome.errore;
  }
  report = ReadRunReport(path, &error);
  ASSERT_TRUE(report) << error;
  EXPECT_EQ(report->units.size(), first.units.size());
  for (const ReportedUnit& u : report->units)
    EXPECT_FALSE(u.failed()) << u.ditta << " " << u.family << " " << u.status;

  // An account rebuild run again resets its year's turnover: the turnover runs again with it.
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(R"({"report_version": 1, "operation": "rebuild all", "units": [
      {"ditta": 1, "period": "2024/1", "family": "accounts", "status": "failed", "rows": null,
       "flagged": null, "seconds": 0, "error": "x", "attempts": 1},
      {"ditta": 1, "period": "2024/1", "family": "turnover", "status": "ok", "rows": null,
       "flagged": null, "seconds": 0, "error": "", "attempts": 1}]})",
               f);
    std::fclose(f);
    const RunAllResult again = RunAll(retry);
    ASSERT_EQ(again.units.size(), 2u) << again.errore;
    EXPECT_EQ(again.units[0].family, "accounts");
    EXPECT_EQ(again.units[1].family, "turnover");
  }

  // A report of the other kind, or no report at all, is refused before anything runs.
  RunAllOptions wrong_kind = retry;
  wrong_kind.rebuild = false;
  EXPECT_EQ(RunAll(wrong_kind).stato, tsParametriNonValidi);
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("{\"units\": 3", f);
    std::fclose(f);
  }
  const RunAllResult damaged = RunAll(retry);
  EXPECT_EQ(damaged.stato, tsParametriNonValidi);
  EXPECT_TRUE(damaged.units.empty());
  std::filesystem::remove(path);
}

// The server's answer to a deadlock, given to the first `victims` deletions of the process.
class Deadlocking final : public db::ConnectionWrapper {
 public:
  Deadlocking(std::shared_ptr<db::Connection> inner, std::atomic<int>& victims)
      : ConnectionWrapper(std::move(inner)), victims_(victims) {}
  std::optional<db::QueryResult> Execute(std::string_view batch,
                                         std::int64_t* rows_affected = nullptr) override {
    if (batch.find("DELETE") != std::string_view::npos && victims_-- > 0)
      throw db::DbError("deadlock detected");
    return ConnectionWrapper::Execute(batch, rows_affected);
  }

 private:
  std::atomic<int>& victims_;
};

TEST(RunReport, ADeadlockVictimRunsAgainAtMostThreeTimes) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 52, .lines = 800, .wrong = 2});
  std::atomic<int> victims{2};
  db::SetConnectionDecorator([&](std::shared_ptr<db::Connection> c) {
    return std::make_shared<Deadlocking>(std::move(c), victims);
  });
  RunAllOptions all;
  all.connection = db.conninfo();
  all.rebuild = true;
  all.companies = *NumberSet::Parse("1", "companies");
  all.fiscal_years = *NumberSet::Parse("2024", "fiscal years");
  all.families = {"accounts"};
  int told = 0;
  auto count = [&](const RunAllProgress& m) {
    told += m.kind == RunAllProgress::Kind::kNotice &&
            m.event.find("deadlock victim") != std::string::npos;
  };
  const RunAllResult twice = RunAll(all, {count, {}});
  ASSERT_EQ(twice.units.size(), 1u);
  EXPECT_FALSE(Failed(twice.units[0])) << twice.units[0].outcome.errore;
  EXPECT_EQ(twice.units[0].attempts, 3);
  EXPECT_EQ(told, 2);

  victims = 100;
  told = 0;
  const RunAllResult always = RunAll(all, {count, {}});
  db::SetConnectionDecorator(nullptr);
  ASSERT_EQ(always.units.size(), 1u);
  EXPECT_TRUE(Failed(always.units[0]));
  EXPECT_EQ(always.units[0].attempts, 4);
  EXPECT_EQ(told, 3);
}

}  // namespace
}  // namespace veriprog
