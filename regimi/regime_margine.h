// The margin scheme for second-hand goods: monthly VAT totals per margin kind and VAT code, per
// company in CGM3_PROGIVAM or per activity in CGL3_PROGIVAMARG.
//
// The check (ControlloProgressiviRegimeMargine) totals the margin-scheme movements of each month
// (CGM2_MOVBENIUSATI, by VAT registration date) by margin kind and sets them beside the stored
// totals in CPOutput.RecSetControlloProgressiviRegimeMargine; per activity, with rows per
// activity and for all activities together (IDATTIVITA -1). The rebuild
// (AzzeraAggiornaProgressiviRegimeMargine) deletes the year's totals (per company the kinds 5
// and 12 stay: the journal never produces them), runs the check and writes its journal figures
// back.
#pragma once

#include "frame/famiglia.h"

namespace veriprog::regimi {

// Controllo is ControlloProgressiviRegimeMargine, Ricalcolo AzzeraAggiornaProgressiviRegimeMargine.
Famiglia RegimeMargine(Frame& frame);

}  // namespace veriprog::regimi
