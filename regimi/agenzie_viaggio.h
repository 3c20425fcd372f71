// The special scheme for travel agencies: monthly VAT totals per activity, travel-agency kind and
// VAT code, in CGL6_PROGIVAAGVIAG (a table without a company column: the company is the
// activity's).
//
// The check (ControlloProgressiviAgenzieViaggio) totals the VAT lines of the travel-agency kinds
// 60..66 month by month (by VAT registration date), mapped to the stored kinds 1..7 and carrying
// the gross amount (taxable plus VAT plus non-deductible VAT), and sets them beside the stored
// totals in CPOutput.RecSetControlloProgressiviAgenzieViaggio, one row per month, kind, VAT code
// and activity. The journal side, the stored side and the rebuild's reset cover the same
// activities: those of the given activity code, or every kind-0 activity of the company. The
// rebuild (AzzeraAggiornaProgressiviAgenzieViaggio) deletes their year (the stored kinds 8..11
// stay), runs the check and writes its journal figures back.
#pragma once

#include "frame/famiglia.h"

namespace veriprog::regimi {

// Controllo is ControlloProgressiviAgenzieViaggio, Ricalcolo
// AzzeraAggiornaProgressiviAgenzieViaggio.
Famiglia AgenzieViaggio(Frame& frame);

}  // namespace veriprog::regimi
