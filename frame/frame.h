// Frame: the state and the shared routines of the main object that every operation works
// through: Stato/Errore and the error rule, the parameter checks, the progress events, the
// connection and its transaction, the company object, table names and SQL value helpers.
// The main object owns one Frame; the drivers and the operation families receive it by
// reference. Nothing here knows a family: families describe their operations to the drivers.
#pragma once

#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/sql_text.h"
#include "veriprog/company.h"
#include "veriprog/connection.h"
#include "veriprog/enums.h"
#include "veriprog/events.h"
#include "veriprog/input_output.h"
#include "veriprog/run_limits.h"
#include "veriprog/services.h"
#include "veriprog/variant.h"

namespace veriprog {

// The parameter checks of the operation frame, run in the order an operation lists them.
enum class Check { kConnection, kCompanyObject, kCompany, kFiscalYear, kFiscalSequence, kYear };

// Parameters that statements paste without quotes: each must hold a whole number when present.
enum class NumericParam {
  kDitta,
  kEsercizio,
  kProgressivo,
  kAnno,
  kCodiceSede,
  kCodiceAttivita,
  kIDAttivita
};

// A routine of an operation as the drivers run it: its body, guarded under its own name, so that
// a failure reads "<description> in <name>". A routine without a name is a whole operation run
// as a step of another: it guards itself, and whatever escapes it carries the caller's name.
struct Routine {
  std::string_view name;
  std::function<void()> body;
};

// The fiscal year as the fiscal-year reader returns it.
struct FiscalYear {
  db::Variant start;
  db::Variant end;
};

class Frame {
 public:
  explicit Frame(outside::OutsideComponents outside);

  std::shared_ptr<CLSCG_VERIPROGINPUT> CPInput;
  std::shared_ptr<CLSCG_VERIPROGOUTPUT> CPOutput;
  StatoEnum Stato = tsOk;
  std::string Errore;
  bool TransazioneAperta = false;
  std::shared_ptr<outside::CompanyFactory> FabbricaDitta;
  std::shared_ptr<outside::CompanyBase> DittaBase;
  // Why the last connection attempt failed, in the words of the database layer: the operation
  // reports only "Non è stata definita la connessione", a person wants the reason too.
  std::string CausaConnessione;
  // Company locks this frame holds (LedgerLock): a check inside a rebuild takes none.
  int ledger_locks = 0;
  // The host's bounds on waiting: the company lock's and each statement's.
  RunLimits limits;

  // --- error rule --------------------------------------------------------------------------
  // Stato := tsProgramError, Errore := description & " in " & routine.
  void Fail(std::string_view description, std::string_view routine);
  // Runs body; any exception ends it and is recorded by Fail with the routine's name. Never
  // throws.
  template <typename Body>
  void Guard(std::string_view routine, Body&& body) noexcept;
  template <typename R, typename Body>
  R GuardValue(std::string_view routine, R fallback, Body&& body) noexcept;

  // --- operation frame ---------------------------------------------------------------------
  // Resets Stato and Errore, runs the checks in order, then requires whole numbers in the
  // listed parameters that are present. The first failure sets tsParametriNonValidi and its
  // message; returns false then, and nothing has been sent to the database.
  bool StartOperation(const std::vector<Check>& checks,
                      const std::vector<NumericParam>& numeric = {});

  // --- events --------------------------------------------------------------------------------
  void Advise(std::shared_ptr<VeriprogEvents> sink);
  void Unadvise(const VeriprogEvents* sink);
  void Raise(void (VeriprogEvents::*event)());
  void Raise(void (VeriprogEvents::*event)(db::Variant&), db::Variant a);
  void Raise(void (VeriprogEvents::*event)(db::Variant&, db::Variant&), db::Variant a,
             db::Variant b);

  // --- connection and transactions (db_session.cc) -------------------------------------------
  bool CreaConnessione();
  void IniziaTransazione();
  void TerminaTransazione();
  void RollbackTransazione();
  // CPInput.GConnect; throws when there is none.
  db::Connection& Connection() const;
  const std::shared_ptr<db::Connection>& SharedConnection() const;
  // The result object; throws a parameter error when the host has replaced it with nothing.
  CLSCG_VERIPROGOUTPUT& Output() const;

  // --- company, tables, values ---------------------------------------------------------------
  void CreaClasseDittaBase();
  // The company object for the steps that need it: made when missing; false (Stato and Errore
  // set by CreaClasseDittaBase) when it cannot be made.
  bool DittaPronta();
  std::string GetTableName(TableId table);
  db::Variant DataDB(const db::Variant& value);
  db::Variant ValoreDB(const db::Variant& amount);
  // Chart-of-accounts group of the company, as a whole number for SQL text.
  std::string Gruppo();
  // The company's four-character code for DBO.FNCG_CG24_CONTO, as given.
  db::Variant CodicePianoConti();
  // The fiscal year of CPInput; nullopt when the reader reports an error.
  std::optional<FiscalYear> LeggiEsercizio();
  // The same, and when it is missing: tsParametriNonValidi with a message that names it.
  std::optional<FiscalYear> EsercizioRichiesto();
  // A parameter as SQL text: the whole number it holds (checked by StartOperation).
  std::string Numero(const db::Variant& value) const;
  // Company, fiscal year and sequence of CPInput as SQL text, with the chart group when asked.
  FiscalYearKey ChiaveEsercizio(bool with_group);
  // A branch was given (NVL(CodiceSede, "") is not ""), and its number as SQL text.
  bool SedeIndicata() const;
  std::string Sede() const;

 private:
  bool CheckFails(Check check);
  void EndTransaction(std::string_view routine, void (db::Connection::*end)());
  std::shared_ptr<outside::CompanyAccounting> Contabilita();

  outside::OutsideComponents outside_;
  std::vector<std::shared_ptr<VeriprogEvents>> sinks_;
  db::Variant ditta_of_company_object_;
};

template <typename Body>
void Frame::Guard(std::string_view routine, Body&& body) noexcept {
  try {
    body();
  } catch (const std::exception& e) {
    Fail(e.what(), routine);
  } catch (...) {
    Fail("Errore sconosciuto", routine);
  }
}

template <typename R, typename Body>
R Frame::GuardValue(std::string_view routine, R fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    Fail(e.what(), routine);
  } catch (...) {
    Fail("Errore sconosciuto", routine);
  }
  return fallback;
}

}  // namespace veriprog
