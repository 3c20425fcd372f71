// The special scheme for agricultural producers: monthly VAT totals per agricultural kind (the
// VAT-line kinds 50, 51, 55 and 56), VAT section and VAT code, in CGA0_PROGIVAM.
//
// The check (ControlloProgressiviAgricoltura) totals the VAT lines of those kinds month by month
// (by VAT registration date, definitive registrations, VAT codes of the VAT-code table) and sets
// them beside the stored totals in CPOutput.RecSetControlloProgressiviAgricoltura. The rebuild
// (AzzeraAggiornaProgressiviAgricoltura) deletes the year's totals of those kinds, runs the check
// and writes its journal figures back; stored rows of other kinds are neither read nor touched.
#pragma once

#include "frame/famiglia.h"

namespace veriprog::regimi {

// Controllo is ControlloProgressiviAgricoltura, Ricalcolo AzzeraAggiornaProgressiviAgricoltura.
Famiglia Agricoltura(Frame& frame);

}  // namespace veriprog::regimi
