// What the VAT register tests share beside VatRegisterLedger: registrations that more than one
// test builds, and the check's rows and the stored totals as text.
#pragma once

#include <string>

#include "tests/support/ledger.h"
#include "veriprog/main_object.h"

namespace veriprog::testing::registri {

// In section B, June 2024: the San Marino purchase R1, its self-invoice R2, and the
// self-invoice R3 without a parent, 500.00/110.00 each.
void SelfInvoices(Ledger& ledger);

// The rows of the check's record set as "TIPO|SEZ|CODICE|TIPOIVA|MESE|IMPONIBILE|IMPOSTA|
// IMPOSTAND|REC" lines in its order, the amounts of the row's own kind (MOV or PGR); rows of
// the summary section 'RP' only when asked for.
std::string VatRows(CLSCG_VERIPROG& main, bool with_summary = false);

// CG59_PROGIVAM as "DITTA|ANNO|TIPO|SEZ|CODICE|TIPOIVA|MESE|IMPONIBILE|IMPOSTA|IMPOSTAND"
// lines, sorted.
std::string StoredVatTotals(db::Connection& conn);

}  // namespace veriprog::testing::registri
