// A check looked at twice: after a pause, the same check runs again and each row the first one
// flagged is confirmed (flagged again under the same key: the difference stands) or transient
// (gone: a posting was in flight when the first check read the ledger). The caller owns the main
// object and both outcomes; nothing here keeps state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "veriprog/findings.h"
#include "veriprog/main_object.h"
#include "veriprog/operation_run.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"

namespace veriprog {

// The longest pause a recheck takes, in seconds: a difference still in flight after an hour is
// no posting in flight.
inline constexpr double kMaxRecheckSeconds = 3600;

struct RecheckedFinding {
  Finding first;           // key and amounts as the first check read them
  bool confirmed = false;  // flagged again under the same key
  std::string amounts;     // confirmed: the amounts the second check read
};

struct Recheck {
  // The first check's flagged rows, in its order. Their verdicts hold only when `done`.
  std::vector<RecheckedFinding> findings;
  Outcome second;  // the second check; its rows in their own view
  // Whether the second check ran to its end and was compared: not when the first flagged
  // nothing, nor when the pause or the second check was interrupted or failed.
  bool done = false;
  bool interrupted = false;  // the connection was interrupted during the pause or the check
  std::int64_t confirmed = 0, transient = 0;
};

struct RecheckOptions {
  double pause_seconds = 0;  // taken within 0 .. kMaxRecheckSeconds
  // Called once on the caller's thread as the pause begins: a host's note to its user, or a
  // test that changes the ledger while the check waits.
  std::function<void()> during_pause;
};

// When `first` (a check of `op` run on main, whose parameter object `p` filled) flagged rows:
// waits the pause, ending it early when main's connection is interrupted, then runs the same
// check again on main and compares the flagged keys (findings.h). Main's result slot then holds
// the second check's rows; `first.rows` stays as it was. Never throws; the second check's events
// go to main's sinks.
Recheck RecheckFlagged(CLSCG_VERIPROG& main, const OperationInfo& op, const OperationParameters& p,
                       const Outcome& first, const RecheckOptions& options = {});

// The rows in view of `rows` (the first check's) with one column more, RECHECK: "confirmed" or
// "transient" on the rows the recheck judged, Null on the others. Null on error.
std::shared_ptr<db::Recordset> RecheckedRows(const Recheck& recheck, const OperationInfo& op,
                                             const OperationParameters& p, db::Recordset& rows);

}  // namespace veriprog
