#include "veriprog/dry_run.h"

#include "component/rebuild_session.h"

namespace veriprog {

std::int64_t DryRunResult::Changed() const {
  std::int64_t n = 0;
  for (const TableDiff& d : diffs)
    n += d.inserted + d.updated + d.deleted;
  return n;
}

std::int64_t DryRunResult::Rows() const {
  std::int64_t n = 0;
  for (const TableDiff& d : diffs)
    n += d.inserted + d.updated + d.deleted + d.unchanged;
  return n;
}

DryRunResult DryRun(CLSCG_VERIPROG& main, const OperationInfo& op) {
  RecordedRebuild run = RunRebuildSession(main, op, {});
  return {std::move(run.outcome), std::move(run.changes.diffs), std::move(run.rollback_error)};
}

}  // namespace veriprog
