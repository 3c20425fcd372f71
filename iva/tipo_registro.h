// The VAT register type of a causal (CG33_INDTIPOREG: 1 purchases, 2 sales, 3 receipts; 0 when
// the causal is unknown), shared by the VAT register totals and the turnover rebuild.
#pragma once

#include "db/variant.h"
#include "frame/frame.h"

namespace veriprog::iva {

// DeterminaIndTipoRegDallaCausale: looks the causal up on the connection (padded to four
// characters); 0 when it is missing. A failure follows the error rule under its own name and
// gives 0.
long DeterminaIndTipoRegDallaCausale(Frame& frame, const db::Variant& causale);

}  // namespace veriprog::iva
