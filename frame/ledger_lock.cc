#include "frame/ledger_lock.h"

namespace veriprog {

LedgerLock::LedgerLock(Frame& frame, bool exclusive) : f_(frame), exclusive_(exclusive) {
  if (f_.ledger_locks > 0) return;
  const std::string resource = "veriprog ditta " + f_.Numero(f_.CPInput->Ditta);
  f_.Connection().Lock(resource, exclusive_);
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
