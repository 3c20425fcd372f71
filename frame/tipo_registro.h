// The VAT register type of a causal (CG33_INDTIPOREG: 1 purchases, 2 sales, 3 receipts; 0 when
// the causal is unknown), shared by the VAT register totals and the turnover rebuild.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "frame/frame.h"
#include "veriprog/variant.h"

namespace veriprog {

// DeterminaIndTipoRegDallaCausale: looks the causal up on the connection (padded to four
// characters); 0 when it is missing. A failure follows the error rule under its own name and
// gives 0.
long DeterminaIndTipoRegDallaCausale(Frame& frame, const db::Variant& causale);

// The same look-up for the many registrations of one operation: each causal is asked once, with
// the same statement, and its answer kept for the rest of the operation. A failed look-up is not
// kept: the caller reads Stato, as after the plain routine, and calls with Stato tsOk.
class TipiRegistroCausali {
 public:
  explicit TipiRegistroCausali(Frame& frame) : frame_(frame) {}
  long operator()(const db::Variant& causale);

 private:
  Frame& frame_;
  std::unordered_map<std::string, long> known_;  // by the padded code; Null apart
  std::optional<long> null_causal_;
};

}  // namespace veriprog
