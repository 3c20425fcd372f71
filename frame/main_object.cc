#include "frame/main_object.h"

#include "contabili/controllo_progressivi.h"
#include "contabili/ricalcolo_progressivi.h"

namespace veriprog {
namespace {

using C = Check;
using P = NumericParam;

// Parameters pasted into the statements of each family.
constexpr auto kAccountParams = {P::kDitta, P::kEsercizio, P::kProgressivo, P::kCodiceSede};
constexpr auto kYearParams = {P::kDitta, P::kAnno};
constexpr auto kActivityParams = {P::kDitta, P::kAnno, P::kCodiceAttivita, P::kIDAttivita};

}  // namespace

CLSCG_VERIPROG::CLSCG_VERIPROG(outside::OutsideComponents outside)
    : frame_((TraceObject(id_, true, "CLSCG_VERIPROG"), std::move(outside))) {}

CLSCG_VERIPROG::~CLSCG_VERIPROG() {
  TraceObject(id_, false, "CLSCG_VERIPROG");
  // Members are released after this line; connections and record sets held by the host stay
  // open, and an open transaction is neither committed nor rolled back.
}

db::Variant CLSCG_VERIPROG::ValoreDB(db::Variant& Importo) {
  return frame_.ValoreDB(Importo);
}

void CLSCG_VERIPROG::NotAvailable(const char* routine, std::initializer_list<Check> checks,
                                  std::initializer_list<NumericParam> numeric) {
  frame_.Guard(routine, [&] {
    if (!frame_.StartOperation(checks, numeric)) return;
    frame_.Fail("Operazione non ancora disponibile in questa versione", routine);
  });
}

void CLSCG_VERIPROG::ControlloProgressiviContabili() {
  frame_.Guard("ControlloProgressiviContabili",
               [&] { contabili::ControlloProgressivi(frame_).Esegui(); });
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili() {
  contabili::RicalcoloProgressivi(frame_).Esegui();
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld() {
  contabili::RicalcoloProgressivi(frame_).EseguiOld();
}

void CLSCG_VERIPROG::AzzeraAggiornaFatturatoImportoIVA() {
  NotAvailable("AzzeraAggiornaFatturatoImportoIVA",
               {C::kConnection, C::kCompany, C::kFiscalYear, C::kFiscalSequence, C::kCompanyObject},
               kAccountParams);
}

void CLSCG_VERIPROG::ControlloProgressiviIVA(bool& /*IncludiRecordDeiProgressivi*/) {
  NotAvailable("ControlloProgressiviIVA_Massivo",
               {C::kConnection, C::kCompanyObject, C::kCompany, C::kYear}, kYearParams);
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviIVA() {
  NotAvailable("AzzeraAggiornaProgressiviIVA",
               {C::kConnection, C::kCompany, C::kYear, C::kCompanyObject}, kYearParams);
}

void CLSCG_VERIPROG::ControlloProgressiviPlafond() {
  NotAvailable("ControlloProgressiviPlafond",
               {C::kConnection, C::kCompanyObject, C::kCompany, C::kYear}, kActivityParams);
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviPlafond() {
  NotAvailable("AzzeraAggiornaProgressiviPlafond",
               {C::kConnection, C::kCompany, C::kYear, C::kCompanyObject}, kActivityParams);
}

void CLSCG_VERIPROG::ControlloProgressiviRegimeMargine() {
  NotAvailable("ControlloProgressiviRegimeMargine",
               {C::kConnection, C::kCompanyObject, C::kCompany, C::kYear}, kActivityParams);
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviRegimeMargine() {
  NotAvailable("AzzeraAggiornaProgressiviRegimeMargine",
               {C::kConnection, C::kCompany, C::kYear, C::kCompanyObject}, kActivityParams);
}

void CLSCG_VERIPROG::ControlloProgressiviAgricoltura() {
  NotAvailable("ControlloProgressiviAgricoltura",
               {C::kConnection, C::kCompanyObject, C::kCompany, C::kYear}, kYearParams);
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgricoltura() {
  NotAvailable("AzzeraAggiornaProgressiviAgricoltura",
               {C::kConnection, C::kCompany, C::kYear, C::kCompanyObject}, kYearParams);
}

void CLSCG_VERIPROG::ControlloProgressiviAgenzieViaggio() {
  NotAvailable("ControlloProgressiviAgenzieViaggio",
               {C::kConnection, C::kCompanyObject, C::kCompany, C::kYear}, kActivityParams);
}

void CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgenzieViaggio() {
  NotAvailable("AzzeraAggiornaProgressiviAgenzieViaggio",
               {C::kConnection, C::kCompany, C::kYear, C::kCompanyObject}, kActivityParams);
}

}  // namespace veriprog
