// `rebuild <family> --dry-run` and `--plan FILE`: prints what the rebuild would change and writes
// nothing to the ledger; `--apply FILE`: the planned rebuild.
#pragma once

#include "cli/operations.h"

namespace veriprog::cli {

// Prints the differences in o.format and returns the exit code (0 nothing would change, 1
// something would, 2, 3, 130, 143 as every command).
// With o.plan, it also writes the change set with the journal's fingerprint to that file (through
// FILE.part, renamed when whole); exit 3 when it cannot.
int RunDryRun(const OperationInfo& op, const OperationOptions& o);

// `rebuild <family> --apply FILE`: the rebuild, committed only as the plan in FILE says. Exit 0
// applied, 2 a plan that cannot be read or is for another rebuild or scope, 3 an error, 4 refused
// (the journal or the totals moved since the plan): rolled back, nothing written.
int RunApply(const OperationInfo& op, const OperationOptions& o);

}  // namespace veriprog::cli
