// What the VAT register tests read back: the check's rows and the stored totals as text. Their
// ledgers are built with VatRegisterLedger (tests/support/ledger.h).
#pragma once

#include <string>

#include "veriprog/main_object.h"

namespace veriprog::testing::registri {

// The rows of the check's record set as "TIPO|SEZ|CODICE|TIPOIVA|MESE|IMPONIBILE|IMPOSTA|
// IMPOSTAND|REC" lines in its order, the amounts of the row's own kind (MOV or PGR); rows of
// the summary section 'RP' only when asked for.
std::string VatRows(CLSCG_VERIPROG& main, bool with_summary = false);

// CG59_PROGIVAM as "DITTA|ANNO|TIPO|SEZ|CODICE|TIPOIVA|MESE|IMPONIBILE|IMPOSTA|IMPOSTAND"
// lines, sorted.
std::string StoredVatTotals(db::Connection& conn);

}  // namespace veriprog::testing::registri
