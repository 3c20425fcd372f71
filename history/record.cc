// A check's or a rebuild's run, as the history records it.
#include <nlohmann/json.hpp>

#include "veriprog/history.h"

#ifndef VERIPROG_VERSION
#define VERIPROG_VERSION "unknown"
#endif

namespace veriprog::history {

const char* ToolVersion() {
  return VERIPROG_VERSION;
}

Run RunOf(const OperationInfo& op, const OperationParameters& p) {
  Run run;
  run.operation = std::string(op.rebuild ? "rebuild " : "check ") + op.family;
  LocateConnection(p.connection, run.scope);
  run.scope.company = p.company.value_or("");
  run.scope.family = op.family;
  run.scope.period = PeriodOf(op, p);
  if ((op.reads & kBranch) && p.branch) {
    run.scope.part = "branch " + *p.branch;
  } else if (p.activity_code || p.activity_id) {
    run.scope.part = "activity " + (p.activity_code ? *p.activity_code : "id " + *p.activity_id);
  } else if (p.by_activity) {
    run.scope.part = "by activity";
  }
  nlohmann::ordered_json given = nlohmann::ordered_json::object();
  auto put = [&](const char* name, const std::optional<std::string>& v) {
    if (v) given[name] = *v;
  };
  put("company", p.company);
  put("fiscal_year", p.fiscal_year);
  put("fiscal_seq", p.fiscal_seq);
  put("year", p.year);
  put("branch", p.branch);
  put("activity_code", p.activity_code);
  put("activity_id", p.activity_id);
  if (p.by_activity) given["by_activity"] = true;
  if (p.include_stored) given["include_stored"] = true;
  if (p.no_transaction) given["no_transaction"] = true;
  // Options arrive as the user typed them: bytes that are not UTF-8 are kept as U+FFFD.
  run.parameters = given.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  run.tool_version = ToolVersion();
  return run;
}

namespace {

void Record(Store& store, const OperationInfo& op, const OperationParameters& p,
            const Outcome& outcome, int exit_code, const std::string& change_set,
            std::int64_t parent, const std::vector<Finding>* only, Recorded& out) {
  Run run = RunOf(op, p);
  run.parent = parent;
  run.exit_code = exit_code;
  if (outcome.counted) {
    run.rows = outcome.row_count;
    run.flagged = outcome.flagged;
  }
  run.seconds = outcome.seconds;
  run.error = outcome.errore;
  std::vector<Finding> findings;
  if (only != nullptr) {
    findings = *only;
  } else if (outcome.rows && outcome.counted && outcome.stato == tsOk) {
    findings = FlaggedFindings(op, p, *outcome.rows);
  }
  out.run = store.Record(run, findings, change_set, &out.error);
  if (out.run > 0 && !findings.empty()) out.findings = store.Findings(out.run, &out.error);
}

}  // namespace

Recorded RecordOperation(Store& store, const OperationInfo& op, const OperationParameters& p,
                         const Outcome& outcome, int exit_code, const std::string& change_set,
                         std::int64_t parent, const std::vector<Finding>* only) {
  Recorded out;
  try {
    Record(store, op, p, outcome, exit_code, change_set, parent, only, out);
  } catch (const std::exception& e) {
    out.error = e.what();
  }
  return out;
}

std::int64_t RecordRunAll(Store& store, const RunAllOptions& options, const RunAllResult& result,
                          int exit_code, std::string* error) {
  try {
    Run all;
    all.operation = options.rebuild ? "rebuild all" : "check all";
    LocateConnection(options.connection, all.scope);
    nlohmann::ordered_json given = nlohmann::ordered_json::object();
    given["families"] = options.families;
    given["jobs"] = options.jobs;
    if (!options.retry_failed.empty()) given["retry_failed"] = options.retry_failed;
    all.parameters = given.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    all.tool_version = ToolVersion();
    all.exit_code = exit_code;
    all.seconds = result.seconds;
    all.error = result.errore;
    std::int64_t rows = 0, flagged = 0;
    for (const UnitResult& u : result.units) {
      rows += u.outcome.row_count;
      flagged += u.outcome.flagged;
    }
    if (!options.rebuild) {
      all.rows = rows;
      all.flagged = flagged;
    }
    std::vector<Store::BatchUnit> units;
    for (const UnitResult& u : result.units) {
      if (!u.run) continue;
      const OperationInfo* op = OperationOf(u, options.rebuild);
      if (op == nullptr) continue;
      Run run = RunOf(*op, u.parameters);
      // A unit the signal stopped ends as the run did (130, 143), not as a failure of its own.
      run.exit_code = u.interrupted && exit_code >= 128 ? exit_code : CommandExitCode(u.outcome);
      if (u.outcome.counted) {
        run.rows = u.outcome.row_count;
        run.flagged = u.outcome.flagged;
      }
      run.seconds = u.outcome.seconds;
      run.error = u.outcome.errore;
      units.push_back({std::move(run), u.findings, u.change_set});
    }
    const std::int64_t parent = store.RecordBatch(all, units, error);
    return parent;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return 0;
  }
}

}  // namespace veriprog::history
