// The VAT register totals check. One batch on the server classifies the VAT lines of a company's
// year (registrations, payments of suspended-VAT and of publishing documents) into register types
// per VAT section and for the summary section 'RP', per VAT code, VAT type and month, and fills a
// temporary table named afresh on every call; the stored totals of CG59_PROGIVAM are laid beside
// them as 'PGR' rows when asked for. The host gets a disconnected record set over that table in
// CPOutput.RecSetControlloProgressiviIVA and the table's name in TabTempControlloProgressiviIVA.
// Nothing in the ledger is written; the comparison of the two kinds of rows is the host's.
#pragma once

#include <string>
#include <string_view>

#include "frame/drivers.h"
#include "frame/frame.h"

namespace veriprog::iva {

// What the batch is made of: the company and year as SQL text, the company's VAT-section
// settings, and whether the stored totals are wanted.
struct ParametriControlloIva {
  std::string ditta;                // whole number
  std::string anno;                 // whole number
  bool gestione_sezionali = false;  // the company manages VAT sections
  std::string data_attivazione;     // DataDB of the sections' activation date: 'yyyymmdd' or Null
  std::string data_ultima_stampa;   // DataDB of the last definitive summary print
  bool includi_progressivi = false;
};

class ControlloProgressiviIva {
 public:
  explicit ControlloProgressiviIva(Frame& frame) : f_(frame) {}

  // ControlloProgressiviIVA: resets Stato and Errore and runs the check under its driver
  // (ControlloProgressiviIVA_Massivo). Raises only EndControlloProgressiviIVA, on success.
  void Esegui(bool includi_progressivi);
  CheckPlan Plan(bool includi_progressivi);

  // "#PROGIVA_" and the GUID without its hyphens and braces. Throws when what is left is not
  // made of letters and digits only: the name is pasted into statements.
  static std::string NomeTabella(std::string_view guid);
  // Empties the table when the connection already has it, else creates it.
  static std::string PreparaTabella(std::string_view nome);
  // The whole check as one batch, with %VCG41_PRIMANOTA% still in place of the header table.
  static std::string Batch(const ParametriControlloIva& p, std::string_view nome);

 private:
  // ControlloProgressiviIVA_Massivo once its parameters have passed.
  void Massivo(bool includi_progressivi);
  ParametriControlloIva Parametri(bool includi_progressivi);

  Frame& f_;
};

}  // namespace veriprog::iva
