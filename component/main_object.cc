#include "veriprog/main_object.h"

#include "contabili/controllo_progressivi.h"
#include "contabili/ricalcolo_progressivi.h"
#include "fatturato/ricalcolo_fatturato.h"
#include "frame/frame.h"
#include "iva/controllo_iva.h"
#include "iva/plafond.h"
#include "iva/ricalcolo_iva.h"
#include "regimi/agenzie_viaggio.h"
#include "regimi/agricoltura.h"
#include "regimi/regime_margine.h"

namespace veriprog {

CLSCG_VERIPROG::CLSCG_VERIPROG(outside::OutsideComponents outside)
    : frame_((TraceObject(id_, true, "CLSCG_VERIPROG"),
              std::make_unique<Frame>(std::move(outside)))) {}

CLSCG_VERIPROG::~CLSCG_VERIPROG() {
  TraceObject(id_, false, "CLSCG_VERIPROG");
  // Members are released after this line; connections and record sets held by the host stay
  // open, and an open transaction is neither committed nor rolled back.
}

const std::shared_ptr<CLSCG_VERIPROGINPUT>& CLSCG_VERIPROG::CPInput() const {
  return frame_->CPInput;
}
void CLSCG_VERIPROG::SetCPInput(std::shared_ptr<CLSCG_VERIPROGINPUT> input) {
  frame_->CPInput = std::move(input);
}
const std::shared_ptr<CLSCG_VERIPROGOUTPUT>& CLSCG_VERIPROG::CPOutput() const {
  return frame_->CPOutput;
}
void CLSCG_VERIPROG::SetCPOutput(std::shared_ptr<CLSCG_VERIPROGOUTPUT> output) {
  frame_->CPOutput = std::move(output);
}
StatoEnum CLSCG_VERIPROG::Stato() const {
  return frame_->Stato;
}
void CLSCG_VERIPROG::SetStato(StatoEnum stato) {
  frame_->Stato = stato;
}
const std::string& CLSCG_VERIPROG::Errore() const {
  return frame_->Errore;
}
void CLSCG_VERIPROG::SetErrore(std::string errore) {
  frame_->Errore = std::move(errore);
}
void CLSCG_VERIPROG::Advise(std::shared_ptr<VeriprogEvents> sink) {
  frame_->Advise(std::move(sink));
}
void CLSCG_VERIPROG::Unadvise(const VeriprogEvents* sink) {
  frame_->Unadvise(sink);
}
const std::string& CLSCG_VERIPROG::CausaConnessione() const {
  return frame_->CausaConnessione;
}

void CLSCG_VERIPROG::SetLimits(RunLimits limits) {
  frame_->limits = std::move(limits);
}

const RunLimits& CLSCG_VERIPROG::Limits() const {
  return frame_->limits;
}

db::Variant CLSCG_VERIPROG::ValoreDB(db::Variant& Importo) {
  return frame_->ValoreDB(Importo);
}

// The public check only hands over to its driver, which guards every failure itself
// (" in ControlloProgressiviContabiliTmp").
void CLSCG_VERIPROG::ControlloProgressiviContabili() {
  contabili::ControlloProgressivi(*frame_).Esegui();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili() {
  contabili::RicalcoloProgressivi(*frame_).Esegui();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld() {
  contabili::RicalcoloProgressivi(*frame_).EseguiOld();
}

void CLSCG_VERIPROG::AzzeraAggiornaFatturatoImportoIVA() {
  fatturato::RicalcoloFatturatoImportoIva(*frame_).Esegui();
}

void CLSCG_VERIPROG::ControlloProgressiviIVA(bool& IncludiRecordDeiProgressivi) {
  iva::ControlloProgressiviIva(*frame_).Esegui(IncludiRecordDeiProgressivi);
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviIVA() {
  iva::RicalcoloProgressiviIva(*frame_).Esegui();
}

void CLSCG_VERIPROG::ControlloProgressiviPlafond() {
  iva::Plafond(*frame_).Controllo();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviPlafond() {
  iva::Plafond(*frame_).Ricalcolo();
}

void CLSCG_VERIPROG::ControlloProgressiviRegimeMargine() {
  regimi::RegimeMargine(*frame_).Controllo();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviRegimeMargine() {
  regimi::RegimeMargine(*frame_).Ricalcolo();
}

void CLSCG_VERIPROG::ControlloProgressiviAgricoltura() {
  regimi::Agricoltura(*frame_).Controllo();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgricoltura() {
  regimi::Agricoltura(*frame_).Ricalcolo();
}

void CLSCG_VERIPROG::ControlloProgressiviAgenzieViaggio() {
  regimi::AgenzieViaggio(*frame_).Controllo();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgenzieViaggio() {
  regimi::AgenzieViaggio(*frame_).Ricalcolo();
}

}  // namespace veriprog
