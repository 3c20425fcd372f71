// `rebuild <family> --dry-run`: prints what the rebuild would change and writes nothing.
#pragma once

#include "cli/operations.h"

namespace veriprog::cli {

// Prints the differences in o.format and returns the exit code (0 nothing would change, 1
// something would, 2, 3, 130, 143 as every command).
int RunDryRun(const OperationInfo& op, const OperationOptions& o);

}  // namespace veriprog::cli
