#include "frame/ledger_lock.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "veriprog/error.h"

namespace veriprog {
namespace {

// How often a bounded wait asks again: often enough to end close to its limit, seldom enough to
// cost the server nothing.
constexpr auto kRetry = std::chrono::milliseconds(200);

}  // namespace

void WaitForLock(db::Connection& connection, const std::string& resource, bool exclusive,
                 const RunLimits& limits, const std::string& company) {
  if (connection.TryLock(resource, exclusive)) return;
  if (limits.on_wait) {
    limits.on_wait("waiting for company " + company + ", locked by another run (lock '" + resource +
                   "')");
  }
  // A wait on the server would end at the statement timeout, as if the lock were a statement
  // running long: with one set, the wait asks again and again instead.
  if (!limits.lock_timeout && !limits.statement_timeout) {
    connection.Lock(resource, exclusive);
    return;
  }
  const double limit = limits.lock_timeout.value_or(db::kMaxWaitSeconds);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(std::clamp(limit, 0.0, db::kMaxWaitSeconds));
  while (!connection.TryLock(resource, exclusive)) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) throw db::DbError("company " + company + " is locked by another run");
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kRetry, std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline - now)));
  }
}

LedgerLock::LedgerLock(Frame& frame, bool exclusive) : f_(frame), exclusive_(exclusive) {
  if (f_.ledger_locks > 0) return;
  const std::string company = f_.Numero(f_.CPInput->Ditta);
  const std::string resource = "veriprog ditta " + company;
  WaitForLock(f_.Connection(), resource, exclusive_, f_.limits, company);
  resource_ = resource;
  ++f_.ledger_locks;
}

LedgerLock::~LedgerLock() {
  if (resource_.empty()) return;
  --f_.ledger_locks;
  try {
    f_.Connection().Unlock(resource_, exclusive_);
  } catch (...) {
    // The session ends with its connection, and its locks with it.
  }
}

}  // namespace veriprog
