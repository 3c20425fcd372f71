// A rebuild run in a transaction of its own, under the company's lock from before the first
// reading to after the end, with the family's stored tables read before and after: what the dry
// run, the recorded rebuild and the plan's apply share. The caller decides, once the rebuild has
// succeeded, whether its work is committed or rolled back.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "component/stored_tables.h"
#include "veriprog/change_set.h"

namespace veriprog {

// The scope of the rebuild, when every parameter it needs holds a whole number; nullopt
// otherwise, and the rebuild then refuses its parameters itself.
std::optional<DryRunScope> ScopeOf(const OperationInfo& op, const CLSCG_VERIPROGINPUT& in);
// The family whose stored tables `op` writes: the account rebuilds (the earlier way and the
// turnover too) write the account totals.
std::string StoredFamily(const OperationInfo& op);
// The change set's header for `op` on the parameters: operation, family, scope, narrowing.
ChangeSet ChangeSetHeader(const OperationInfo& op, const CLSCG_VERIPROGINPUT& in,
                          const DryRunScope& scope);

struct RebuildSession {
  // For the refusals: what the session is, and what it does with its transaction.
  const char* what = "a dry run";
  const char* ends = "rolls back";
  bool all_values = false;   // updated rows with every value, not only the changed ones
  bool fingerprint = false;  // the journal's fingerprint, taken before the rebuild
  // Called after a successful rebuild, on the session's connection, with the change set: "" to
  // commit, or the reason to roll back. Without it the work is rolled back.
  std::function<std::string(const ChangeSet&)> decide = {};
};

// Runs `op` as the session says. The parameter object is left as it was. Never throws.
RecordedRebuild RunRebuildSession(CLSCG_VERIPROG& main, const OperationInfo& op,
                                  const RebuildSession& session);

}  // namespace veriprog
