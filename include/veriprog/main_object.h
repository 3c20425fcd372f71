// CLSCG_VERIPROG: the object a host drives. It owns the parameter and result objects (both
// replaceable by the host), the company object and the transaction flag; it publishes the check
// and rebuild operations and reports their outcome in Stato and Errore. No member throws: every
// failure ends up in Stato/Errore. Progress is reported to the attached event sinks.
// This is the header a host includes: it brings the parameter and result objects, the events and
// the enumerations, which are defined with the frame that fills them.
#pragma once

#include <memory>
#include <string>

#include "veriprog/enums.h"
#include "veriprog/events.h"
#include "veriprog/input_output.h"
#include "veriprog/run_limits.h"
#include "veriprog/services.h"
#include "veriprog/trace.h"
#include "veriprog/variant.h"

namespace veriprog {

class Frame;

class CLSCG_VERIPROG {
 public:
  explicit CLSCG_VERIPROG(
      outside::OutsideComponents outside = outside::OutsideComponents::Defaults());
  ~CLSCG_VERIPROG();
  CLSCG_VERIPROG(const CLSCG_VERIPROG&) = delete;
  CLSCG_VERIPROG& operator=(const CLSCG_VERIPROG&) = delete;

  // 1-4: parameter and result objects, outcome of the last operation.
  // A host may replace either object, or drop it: an operation then reports the missing object
  // through Stato and Errore.
  const std::shared_ptr<CLSCG_VERIPROGINPUT>& CPInput() const;
  void SetCPInput(std::shared_ptr<CLSCG_VERIPROGINPUT> input);
  const std::shared_ptr<CLSCG_VERIPROGOUTPUT>& CPOutput() const;
  void SetCPOutput(std::shared_ptr<CLSCG_VERIPROGOUTPUT> output);
  StatoEnum Stato() const;
  void SetStato(StatoEnum stato);
  const std::string& Errore() const;
  void SetErrore(std::string errore);

  // 5: SQL text of an amount (point, no thousands separator); Empty on failure.
  db::Variant ValoreDB(db::Variant& Importo);

  // 6-19: the operations. Each returns when done; read Stato, Errore and CPOutput.
  void ControlloProgressiviContabili();
  void AzzeraAggiornaProgressiviContabili();
  void AzzeraAggiornaFatturatoImportoIVA();
  void ControlloProgressiviIVA(bool& IncludiRecordDeiProgressivi);
  void AzzeraAggiornaProgressiviIVA();
  void ControlloProgressiviPlafond();
  void AzzeraAggiornaProgressiviPlafond();
  void ControlloProgressiviRegimeMargine();
  void AzzeraAggiornaProgressiviRegimeMargine();
  void ControlloProgressiviAgricoltura();
  void AzzeraAggiornaProgressiviAgricoltura();
  void AzzeraAggiornaProgressiviContabiliOld();
  void ControlloProgressiviAgenzieViaggio();
  void AzzeraAggiornaProgressiviAgenzieViaggio();

  // Event sinks; several may be attached. Events run synchronously, on the caller's thread.
  void Advise(std::shared_ptr<VeriprogEvents> sink);
  void Unadvise(const VeriprogEvents* sink);

  const std::string& GetIDIstanza() { return id_.Get(); }

  // Why the last connection attempt failed, in the database layer's words: the operation
  // reports only "Non è stata definita la connessione", a person wants the reason too. Empty
  // when the connection was made or never tried.
  const std::string& CausaConnessione() const;

  // Bounds on the waits of the operations that follow: the company lock's (and what is said
  // while it is awaited) and each statement's, on the connection opened from SConnect. None by
  // default: an operation waits as long as it takes.
  void SetLimits(RunLimits limits);
  const RunLimits& Limits() const;

 private:
  InstanceId id_;
  std::unique_ptr<Frame> frame_;  // the state and routines every operation works through
};

}  // namespace veriprog
