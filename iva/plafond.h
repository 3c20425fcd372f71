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

#include <string>

#include "frame/drivers.h"
#include "frame/frame.h"
#include "frame/progressivi_mensili.h"

namespace veriprog::iva {

class Plafond {
 public:
  explicit Plafond(Frame& frame) : f_(frame) {}

  void Controllo();  // ControlloProgressiviPlafond
  void Ricalcolo();  // AzzeraAggiornaProgressiviPlafond
  CheckPlan PianoControllo();
  RebuildPlan PianoRicalcolo();

  // The month's journal totals per plafond kind: one row per company, or per activity.
  std::string MovimentiMese(const Mese& mese) const;
  // The month's stored totals, per company or per activity of the company.
  std::string ProgressiviMese(int mese) const;

  void AzzeraProgressiviMensiliPlafond();
  void AggiornaProgressiviMensiliPlafond();

 private:
  void ControllaMese(const Mese& mese, Risultato& risultato);
  bool PerAttivita() const { return f_.CPInput->ElaborazionePerAttivita; }

  Frame& f_;
};

}  // namespace veriprog::iva
