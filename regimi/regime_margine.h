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

#include <string>

#include "frame/drivers.h"
#include "frame/frame.h"
#include "frame/progressivi_mensili.h"

namespace veriprog::regimi {

class RegimeMargine {
 public:
  explicit RegimeMargine(Frame& frame) : f_(frame) {}

  void Controllo();  // ControlloProgressiviRegimeMargine
  void Ricalcolo();  // AzzeraAggiornaProgressiviRegimeMargine
  CheckPlan PianoControllo();
  RebuildPlan PianoRicalcolo();

  // The margin kind of a group of movements (type of movement, regime, flat-rate percentage):
  // 6 and 1 sold, 7 and 2 bought or returned, 9/10/11 flat-rate 25/50/60, 0 none of them.
  int GetTipoMargine(const db::Variant& tipo_mov, const db::Variant& regime,
                     const db::Variant& perc_forf);

  std::string MovimentiMese(const Mese& mese) const;
  std::string ProgressiviMese(int mese) const;

  void AzzeraProgressiviMensiliRegimeMargine();
  void AggiornaProgressiviMensiliRegimeMargine();

 private:
  void ControllaMese(const Mese& mese, Risultato& risultato);
  bool PerAttivita() const { return f_.CPInput->ElaborazionePerAttivita; }

  Frame& f_;
};

}  // namespace veriprog::regimi
