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

  // AzzeraAggiornaProgressiviIVA: the year's monthly VAT totals deleted, the check with the
  // stored rows, its journal rows written back, under the rebuild driver.
  void Esegui();

 private:
  Frame& f_;
};

}  // namespace veriprog::iva
