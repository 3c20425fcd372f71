#include "frame/frame.h"

#include <algorithm>

#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"

namespace veriprog {
namespace {

const char* ParamName(NumericParam p) {
  switch (p) {
    case NumericParam::kDitta:
      return "Ditta";
    case NumericParam::kEsercizio:
      return "Esercizio";
    case NumericParam::kProgressivo:
      return "Progressivo";
    case NumericParam::kAnno:
      return "Anno";
    case NumericParam::kCodiceSede:
      return "CodiceSede";
    case NumericParam::kCodiceAttivita:
      return "CodiceAttivita";
    case NumericParam::kIDAttivita:
      return "IDAttivita";
  }
  return "?";
}

const db::Variant& ParamValue(const CLSCG_VERIPROGINPUT& in, NumericParam p) {
  switch (p) {
    case NumericParam::kDitta:
      return in.Ditta;
    case NumericParam::kEsercizio:
      return in.Esercizio;
    case NumericParam::kProgressivo:
      return in.Progressivo;
    case NumericParam::kAnno:
      return in.Anno;
    case NumericParam::kCodiceSede:
      return in.CodiceSede;
    case NumericParam::kCodiceAttivita:
      return in.CodiceAttivita;
    case NumericParam::kIDAttivita:
      return in.IDAttivita;
  }
  return in.Ditta;
}

}  // namespace

Frame::Frame(outside::OutsideComponents outside)
    : CPInput(std::make_shared<CLSCG_VERIPROGINPUT>()),
      CPOutput(std::make_shared<CLSCG_VERIPROGOUTPUT>()),
      outside_(std::move(outside)) {}

void Frame::Fail(std::string_view description, std::string_view routine) {
  Stato = tsProgramError;
  Errore = std::string(description) + " in " + std::string(routine);
}

bool Frame::CheckFails(Check check) {
  if (!CPInput) throw db::ParameterError("CPInput non impostato");
  const CLSCG_VERIPROGINPUT& in = *CPInput;
  auto reject = [this](const char* message) {
    Stato = tsParametriNonValidi;
    Errore = message;
    return true;
  };
  switch (check) {
    case Check::kConnection:
      if (!CreaConnessione()) return reject("Non è stata definita la connessione");
      return false;
    case Check::kCompanyObject:
      CreaClasseDittaBase();
      if (Stato != tsOk) return reject("Errore in creazione classe ditta base");
      return false;
    case Check::kCompany:
      return !IsValorizzato(in.Ditta) && reject("Non è stata definita la ditta");
    case Check::kFiscalYear:
      return !IsValorizzato(in.Esercizio) && reject("Non è stato definito l'esercizio");
    case Check::kFiscalSequence:
      return !IsValorizzato(in.Progressivo) &&
             reject("Non è stato definito il progressivo esercizio");
    case Check::kYear:
      return !IsValorizzato(in.Anno) && reject("Non è stato definito l'anno");
  }
  return false;
}

bool Frame::StartOperation(const std::vector<Check>& checks,
                           const std::vector<NumericParam>& numeric) {
  Stato = tsOk;
  Errore.clear();
  for (Check check : checks) {
    if (CheckFails(check)) return false;
  }
  // Values pasted into statement text without quotes must be numbers: anything else would let
  // a parameter rewrite the statement.
  for (NumericParam p : numeric) {
    const db::Variant& value = ParamValue(*CPInput, p);
    if (IsValorizzato(value) && !WholeNumber(value)) {
      std::string shown = value.ToText();
      if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
      Stato = tsParametriNonValidi;
      Errore = std::string("Il parametro ") + ParamName(p) +
               " deve essere un numero intero (valore: '" + shown + "')";
      return false;
    }
  }
  return true;
}

void Frame::Advise(std::shared_ptr<VeriprogEvents> sink) {
  if (sink) sinks_.push_back(std::move(sink));
}

void Frame::Unadvise(const VeriprogEvents* sink) {
  std::erase_if(sinks_, [&](const auto& s) { return s.get() == sink; });
}

void Frame::Raise(void (VeriprogEvents::*event)()) {
  const auto sinks = sinks_;  // a sink may detach itself while it is called
  for (const auto& s : sinks)
    ((*s).*event)();
}

void Frame::Raise(void (VeriprogEvents::*event)(db::Variant&), db::Variant a) {
  const auto sinks = sinks_;
  for (const auto& s : sinks)
    ((*s).*event)(a);
}

void Frame::Raise(void (VeriprogEvents::*event)(db::Variant&, db::Variant&), db::Variant a,
                  db::Variant b) {
  const auto sinks = sinks_;
  for (const auto& s : sinks)
    ((*s).*event)(a, b);
}

void Frame::CreaClasseDittaBase() {
  Guard("CreaClasseDittaBase", [&] {
    // One company object per main object; a host that moves the same object to another
    // company gets that company's object, never the old one's chart of accounts.
    if (DittaBase && ditta_of_company_object_ == CPInput->Ditta) return;
    DittaBase.reset();
    FabbricaDitta = outside_.company_factory();
    FabbricaDitta->SetConnection(CPInput->GConnect);
    auto base = std::dynamic_pointer_cast<outside::CompanyBase>(
        FabbricaDitta->GetObject(CPInput->Ditta, outside::kDittaBase));
    if (!base) throw db::OutsideError("oggetto ditta base non disponibile");
    for (int kind : outside::kDittaSubObjectKinds) {
      base->SetSubObject(FabbricaDitta->GetObject(CPInput->Ditta, kind));
    }
    DittaBase = std::move(base);
    ditta_of_company_object_ = CPInput->Ditta;
  });
}

bool Frame::DittaPronta() {
  CreaClasseDittaBase();
  return Stato == tsOk;
}

std::shared_ptr<outside::CompanyAccounting> Frame::Contabilita() {
  if (!DittaBase) throw db::OutsideError("oggetto ditta base non creato");
  auto accounting = std::dynamic_pointer_cast<outside::CompanyAccounting>(
      DittaBase->SubObject(outside::kDittaContabilita));
  if (!accounting) throw db::OutsideError("dati contabili della ditta non disponibili");
  return accounting;
}

std::string Frame::Gruppo() {
  const db::Variant group = Contabilita()->GruppoPianoConti();
  auto number = SqlWholeNumber(group);
  if (!number) {
    throw db::OutsideError("gruppo del piano dei conti non valido: '" + group.ToText() + "'");
  }
  return *number;
}

db::Variant Frame::CodicePianoConti() {
  if (!DittaBase) throw db::OutsideError("oggetto ditta base non creato");
  return DittaBase->CodicePianoConti();
}

std::string Frame::GetTableName(TableId table) {
  return GuardValue<std::string>("GetTableName", "", [&] {
    return outside_.table_names()->TableName(CPInput->IndicatoreTipoContabilita,
                                             static_cast<int>(table));
  });
}

db::Variant Frame::DataDB(const db::Variant& value) {
  return GuardValue<db::Variant>("DataDB", db::Variant(), [&]() -> db::Variant {
    const std::string text = value.kind() == db::Variant::Kind::kDateTime
                                 ? value.AsDateTime().ToString()
                                 : value.ToText();
    if (auto sql = outside_.date_formatter()->DatabaseText(text)) return "'" + *sql + "'";
    return "Null";
  });
}

db::Variant Frame::ValoreDB(const db::Variant& amount) {
  return GuardValue<db::Variant>("ValoreDB", db::Variant(), [&]() -> db::Variant {
    const auto number = NVL(amount, 0).ToDecimal();
    if (!number) throw db::ValueError("importo non numerico: '" + amount.ToText() + "'");
    return NVL(outside_.number_formatter()->DatabaseText(*number), 0);
  });
}

std::optional<FiscalYear> Frame::LeggiEsercizio() {
  auto reader = outside_.fiscal_year();
  reader->Load(CPInput->GConnect, CPInput->SConnect, CPInput->Ditta, CPInput->Esercizio,
               CPInput->Progressivo);
  if (reader->ErrorIndicator() != 0) return std::nullopt;
  return FiscalYear{reader->DataInizio(), reader->DataFine()};
}

std::optional<FiscalYear> Frame::EsercizioRichiesto() {
  auto esercizio = LeggiEsercizio();
  if (!esercizio) {
    Stato = tsParametriNonValidi;
    Errore = "Esercizio " + CPInput->Esercizio.ToText() + "/" + CPInput->Progressivo.ToText() +
             " della ditta " + CPInput->Ditta.ToText() + " non trovato";
  }
  return esercizio;
}

std::string Frame::Numero(const db::Variant& value) const {
  auto number = SqlWholeNumber(value);
  if (!number) throw db::ParameterError("valore non numerico: '" + value.ToText() + "'");
  return *number;
}

FiscalYearKey Frame::ChiaveEsercizio(bool with_group) {
  return {Numero(CPInput->Ditta), Numero(CPInput->Esercizio), Numero(CPInput->Progressivo),
          with_group ? Gruppo() : std::string()};
}

bool Frame::SedeIndicata() const {
  return !NVL(CPInput->CodiceSede, "").ToText().empty();
}

std::string Frame::Sede() const {
  return Numero(NVL(CPInput->CodiceSede, 0));
}

}  // namespace veriprog
