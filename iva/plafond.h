// The plafond totals of habitual exporters: per month of a calendar year, exports and the
// purchases made against the VAT-free ceiling (internal purchases, imports, intra-EU purchases),
// stored per company in CG51_PROGPLAFOND or per activity in CGL4_PROGIVAPLAF.
//
// The check (ControlloProgressiviPlafond) sets, month by month, the taxable amounts of the
// journal's plafond VAT codes (by competence date, from the activity's plafond start date on)
// beside the stored totals, in CPOutput.RecSetControlloProgressiviPlafond: one row per month and,
// per activity, per activity and for all activities together (IDATTIVITA -1). The rebuild
// (AzzeraAggiornaProgressiviPlafond) deletes the year's totals, runs the check and writes its
// journal figures back.
#pragma once

#include "frame/famiglia.h"

namespace veriprog::iva {

// Controllo is ControlloProgressiviPlafond, Ricalcolo AzzeraAggiornaProgressiviPlafond.
Famiglia Plafond(Frame& frame);

}  // namespace veriprog::iva
