// The account totals check: eight SELECT ... INTO statements build temporary tables on the
// host's connection from the journal and the stored yearly totals; the last one,
// #CONTROLLOPROGR, holds per account, customer or supplier, branch and currency the balance from
// the journal beside the stored one, and is handed to the host as a client-side record set in
// CPOutput.RecSetControlloProgressivi. Nothing in the ledger is written.
#pragma once

#include <string>
#include <string_view>

#include "frame/drivers.h"
#include "frame/frame.h"

namespace veriprog::contabili {

class ControlloProgressivi {
 public:
  explicit ControlloProgressivi(Frame& frame) : f_(frame) {}

  // The driver (ControlloProgressiviContabiliTmp) with its plan: checks, clean-up, the eight
  // builders with their events, the result record set.
  void Esegui();
  CheckPlan Plan();

  // Drops the check's and the rebuild's temporary tables; errors are ignored.
  void EliminaTabelleTemporanee();
  // Body of a correlated sub-query: a row of `tabella` with the five key values of the outer row.
  static std::string CondizioneEsiste(std::string_view tabella, std::string_view alias,
                                      std::string_view alias_esterno);

  void CreaTmpTableCG42Mov();
  void CreaTmpTableSaldiApe();
  void CreaTmpTableCG53Progr();
  void CreaTmpTableContiMov();
  void CreaTmpTableContiNonMov();
  void CreaTmpTableContiNonProgr();
  void CreaTmpTableContiSaldiApeNonMov();
  void CreaTmpTableControlloProgressivi();

 private:
  // Journal movements or opening balances, per key and currency (builders 1 and 2).
  std::string MovementsStatement(std::string_view table, std::string_view alias, bool opening);

  Frame& f_;
};

}  // namespace veriprog::contabili
