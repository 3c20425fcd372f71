// LedgerLock: keeps the work on one company in order across connections and processes. A rebuild
// holds the company's lock exclusively from before its transaction begins until after it ends;
// a check holds it shared while it reads. So two rebuilds of one company never interleave (the
// second waits for the first), and a check sees the stored totals as they were before a rebuild
// or as it left them, never half of it. Checks of a company go side by side. A check run as a
// step of a rebuild, on the same main object, is already covered and takes nothing.
#pragma once

#include <string>

#include "frame/frame.h"

namespace veriprog {

// Takes the lock on `resource` for `connection`'s session, waiting as `limits` allow and saying
// so through its on_wait; throws db::DbError "company N is locked by another run" past the
// lock's timeout. For the services that hold a company's lock around a whole operation.
void WaitForLock(db::Connection& connection, const std::string& resource, bool exclusive,
                 const RunLimits& limits, const std::string& company);

class LedgerLock {
 public:
  // Waits for the lock; throws when the server refuses it.
  LedgerLock(Frame& frame, bool exclusive);
  // Releases it; never throws (a connection gone takes its locks with it).
  ~LedgerLock();
  LedgerLock(const LedgerLock&) = delete;
  LedgerLock& operator=(const LedgerLock&) = delete;

 private:
  Frame& f_;
  bool exclusive_;
  std::string resource_;  // empty when nothing was taken
};

}  // namespace veriprog
