// ScopedTransaction: the transaction of one rebuild. Made, it begins one through
// IniziaTransazione (nothing when CPInput.EseguiTransazione is off); going out of scope without
// a successful Commit, it rolls back through RollbackTransazione, whatever ended the rebuild: a
// failed step, a failure of the driver itself, or an event sink that threw. Never throws.
#pragma once

#include <string>

#include "frame/frame.h"

namespace veriprog {

class ScopedTransaction {
 public:
  explicit ScopedTransaction(Frame& frame) : f_(frame), was_open_(frame.TransazioneAperta) {
    f_.IniziaTransazione();
  }
  ~ScopedTransaction() {
    if (was_open_ || !f_.TransazioneAperta) return;
    // A rollback that fails too (the server gone, say) must not hide why the rebuild stopped:
    // the cause stays first in Errore, the rollback's own failure after it.
    const std::string cause = f_.Stato != tsOk ? f_.Errore : std::string();
    f_.RollbackTransazione();
    if (!cause.empty() && f_.Errore != cause) f_.Errore = cause + "; " + f_.Errore;
  }
  ScopedTransaction(const ScopedTransaction&) = delete;
  ScopedTransaction& operator=(const ScopedTransaction&) = delete;

  // TerminaTransazione; a commit the server refused leaves the transaction to the rollback.
  void Commit() {
    if (!was_open_) f_.TerminaTransazione();
  }

 private:
  Frame& f_;
  bool was_open_;  // not ours: neither committed nor rolled back here
};

}  // namespace veriprog
