// The VAT register totals rebuild, in three steps on the host's connection and, when asked,
// inside one transaction: delete the company's monthly VAT register totals of the year (all
// register types but 5 and 17, which are kept as they are), run the VAT check with the stored
// rows, and write its journal rows back into CG59_PROGIVAM, adding up rows of one key.
#pragma once

#include <string>

#include "frame/drivers.h"
#include "frame/frame.h"

namespace veriprog::iva {

class RicalcoloProgressiviIva {
 public:
  explicit RicalcoloProgressiviIva(Frame& frame) : f_(frame) {}

  void Esegui();  // AzzeraAggiornaProgressiviIVA
  RebuildPlan Plan();

  // Step 1: the delete.
  void AzzeraProgressiviMensiliIVA();
  // Step 3: the check's 'MOV' rows into CG59_PROGIVAM, one row per key.
  void AggiornaProgressiviMensiliIVA();
  // The description of the summary section 'RP' for the company; a failure (the row is there
  // already) is ignored.
  void InserisciSezionaleRiepilogativo();

 private:
  Frame& f_;
};

}  // namespace veriprog::iva
