// CLSCG_VERIPROG: the object a host drives. It owns the parameter and result objects (both
// replaceable by the host), the company object and the transaction flag; it publishes the check
// and rebuild operations and reports their outcome in Stato and Errore. No member throws: every
// failure ends up in Stato/Errore. Progress is reported to the attached event sinks.
#pragma once

#include <memory>
#include <string>

#include "db/variant.h"
#include "frame/events.h"
#include "frame/frame.h"
#include "frame/input_output.h"
#include "frame/trace.h"
#include "outside/services.h"

namespace veriprog {

class CLSCG_VERIPROG {
 public:
  explicit CLSCG_VERIPROG(
      outside::OutsideComponents outside = outside::OutsideComponents::Defaults());
  ~CLSCG_VERIPROG();
  CLSCG_VERIPROG(const CLSCG_VERIPROG&) = delete;
  CLSCG_VERIPROG& operator=(const CLSCG_VERIPROG&) = delete;

  // 1-4: parameter and result objects, outcome of the last operation.
  const std::shared_ptr<CLSCG_VERIPROGINPUT>& CPInput() const { return frame_.CPInput; }
  void SetCPInput(std::shared_ptr<CLSCG_VERIPROGINPUT> input) { frame_.CPInput = std::move(input); }
  const std::shared_ptr<CLSCG_VERIPROGOUTPUT>& CPOutput() const { return frame_.CPOutput; }
  void SetCPOutput(std::shared_ptr<CLSCG_VERIPROGOUTPUT> output) {
    frame_.CPOutput = std::move(output);
  }
  StatoEnum Stato() const { return frame_.Stato; }
  void SetStato(StatoEnum stato) { frame_.Stato = stato; }
  const std::string& Errore() const { return frame_.Errore; }
  void SetErrore(std::string errore) { frame_.Errore = std::move(errore); }

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
  void Advise(std::shared_ptr<VeriprogEvents> sink) { frame_.Advise(std::move(sink)); }
  void Unadvise(const VeriprogEvents* sink) { frame_.Unadvise(sink); }

  const std::string& GetIDIstanza() { return id_.Get(); }
  // The shared routines, for the operation families and for tests.
  Frame& frame() { return frame_; }

 private:
  // Checks of an operation whose family is not built yet: it says so, it never pretends.
  void NotAvailable(const char* routine, std::initializer_list<Check> checks,
                    std::initializer_list<NumericParam> numeric);

  InstanceId id_;
  Frame frame_;
};

}  // namespace veriprog
