// The journal's fingerprint for a rebuild's scope: what a plan is checked against before it is
// applied, so that a plan made on one journal is never applied to another.
#pragma once

#include <string>

#include "component/stored_tables.h"
#include "veriprog/connection.h"

namespace veriprog {

// A text that changes when any journal row a rebuild of `family` reads for the scope is
// inserted, deleted or has any column changed. Rows are streamed and hashed as they arrive, in
// no order: the memory is one row's. Throws db::DbError on a database failure.
std::string JournalFingerprint(db::Connection& connection, const std::string& family,
                               const DryRunScope& scope);

}  // namespace veriprog
