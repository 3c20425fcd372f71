// The special scheme for agricultural producers: monthly VAT totals per agricultural kind (the
// VAT-line kinds 50, 51, 55 and 56), VAT section and VAT code, in CGA0_PROGIVAM.
//
// The check (ControlloProgressiviAgricoltura) totals the VAT lines of those kinds month by month
// (by VAT registration date, definitive registrations, VAT codes of the VAT-code table) and sets
// them beside the stored totals in CPOutput.RecSetControlloProgressiviAgricoltura. The rebuild
// (AzzeraAggiornaProgressiviAgricoltura) deletes the year's totals of those kinds, runs the check
// and writes its journal figures back; stored rows of other kinds are neither read nor touched.
#pragma once

#include <string>

#include "frame/drivers.h"
#include "frame/frame.h"
#include "frame/progressivi_mensili.h"

namespace veriprog::regimi {

class Agricoltura {
 public:
  explicit Agricoltura(Frame& frame) : f_(frame) {}

  void Controllo();  // ControlloProgressiviAgricoltura
  void Ricalcolo();  // AzzeraAggiornaProgressiviAgricoltura
  CheckPlan PianoControllo();
  RebuildPlan PianoRicalcolo();

  std::string MovimentiMese(const Mese& mese) const;
  std::string ProgressiviMese(int mese) const;

  void AzzeraProgressiviMensiliAgricoltura();
  void AggiornaProgressiviMensiliAgricoltura();

 private:
  void ControllaMese(const Mese& mese, Risultato& risultato);

  Frame& f_;
};

}  // namespace veriprog::regimi
