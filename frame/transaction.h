// ScopedTransaction: the transaction of one rebuild. Made, it begins one through
// IniziaTransazione (nothing when CPInput.EseguiTransazione is off); going out of scope without
// a successful Commit, it rolls back through RollbackTransazione, whatever ended the rebuild: a
// failed step, a failure of the driver itself, or an event sink that threw. Never throws.
#pragma once

#include "frame/frame.h"

namespace veriprog {

class ScopedTransaction {
 public:
  explicit ScopedTransaction(Frame& frame) : f_(frame), was_open_(frame.TransazioneAperta) {
    f_.IniziaTransazione();
  }
  ~ScopedTransaction() {
    if (!was_open_ && f_.TransazioneAperta) f_.RollbackTransazione();
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
