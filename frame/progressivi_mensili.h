// The shape that the monthly VAT totals share: the plafond totals and the totals of the three
// special schemes (margin, agriculture, travel agencies).
//
// A check walks the twelve months of CPInput.Anno; each month runs its journal and stored
// statements and merges what they say into a fabricated record set, row by key, stored amounts
// beside journal amounts. A balance pass then flags with FLAGSBIL = "Si" the rows whose pairs
// differ. A rebuild deletes the year's totals, runs the family's public check and writes the
// journal figures of its record set back. A scheme brings its fields, its statements and its
// writer; the month loop, the merge, the balance pass and the rebuild's three steps are here.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/drivers.h"
#include "frame/frame.h"
#include "veriprog/field.h"
#include "veriprog/recordset.h"
#include "veriprog/variant.h"

namespace veriprog {

// The month's name as the ledger's users read it ("Gennaio" .. "Dicembre"), whatever the locale
// of the machine; "" outside 1..12.
std::string_view NomeMese(int mese);

// One month of the year being checked: its number and its first and last day as SQL text
// (DataDB; "Null" for a year without such a date, which matches no registration).
struct Mese {
  int numero = 0;
  std::string primo;
  std::string ultimo;
};

// A key field of a result row beside MESE, and its value. Text values stand between quotes in
// the filter that finds the row.
struct Chiave {
  std::string_view campo;
  db::Variant valore;
  bool testo = false;
};

// The result record set of a monthly check: fields MESE and DESCRMESE, the key fields, amount
// pairs (stored, journal) and FLAGSBIL, in the order the scheme gives.
class Risultato {
 public:
  struct Coppia {
    std::string_view progr;  // stored
    std::string_view mov;    // from the journal
  };

  // A fresh record set of `campi`, opened client-side with no source and no connection.
  // `sincro` is the name a failing merge carries.
  Risultato(Frame& frame, std::string_view sincro, const std::vector<db::FieldDef>& campi,
            std::vector<Coppia> coppie);

  const std::shared_ptr<db::Recordset>& rs() const { return rs_; }

  // Adds the amounts (one per pair, stored then journal) to the row of month `mese` and `chiave`,
  // made with the month's name when there is none yet. A failure is recorded under the merge
  // routine's name and the caller goes on; the record set is left without a filter.
  void Somma(int mese, const std::vector<Chiave>& chiave, const std::vector<db::Variant>& progr,
             const std::vector<db::Variant>& mov);

  // FLAGSBIL := "Si" on every row where a stored amount differs from its journal amount (Null
  // read as 0, exact comparison); other rows keep Null.
  void Quadratura();

 private:
  void Aggiungi(int mese, const std::vector<Chiave>& chiave, const std::vector<db::Variant>& progr,
                const std::vector<db::Variant>& mov);

  Frame& f_;
  std::string_view sincro_;
  std::vector<Coppia> coppie_;
  std::shared_ptr<db::Recordset> rs_;
};

// The fields of a monthly result: `chiave`, MESE and DESCRMESE, each amount stored (its name and
// PROGR) then each from the journal (its name and MOV), all numeric(13,2), FLAGSBIL and, for the
// schemes kept per activity, IDATTIVITA.
std::vector<db::FieldDef> CampiMensili(std::vector<db::FieldDef> chiave,
                                       std::initializer_list<std::string_view> importi,
                                       bool per_attivita);

// A monthly check described by what differs between the schemes.
struct ControlloMensile {
  std::string_view routine;  // the public check
  std::string_view sincro;   // its merge routine
  CheckEvents events;
  std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result = nullptr;
  std::vector<NumericParam> numeric;
  std::vector<db::FieldDef> campi;
  std::vector<Risultato::Coppia> coppie;
  // One month: the scheme's statements, merged through the result.
  std::function<void(const Mese&, Risultato&)> mese;
  // The filter the host reads the result through; "" for none.
  std::function<std::string()> filtro;
};

// Checks connection, company object, company and year; then Begin(12) at the start of every
// month and Avanzamento(month) at its end; the balance pass, the filter, End. A month that fails
// ends the check under the check's name, without End; the record set keeps what was merged.
CheckPlan PianoControlloMensile(Frame& frame, ControlloMensile controllo);

// A rebuild described by what differs between the schemes: delete, check, write.
struct RicalcoloMensile {
  std::string_view routine;  // the public rebuild
  RebuildEvents events;
  std::string_view azzeramento;  // description of step 1
  Routine azzera;
  std::string_view calcolo;                  // description of step 2
  CheckPlan (*controllo)(Frame&) = nullptr;  // the family's public check, run under its driver
  Routine aggiorna;                          // step 3, "Scrittura progressivi mensili"
};

// Checks connection, company, year and company object, and the whole-number parameters of the
// family's check; the three steps in one transaction, the first failing one rolls it back.
RebuildPlan PianoRicalcoloMensile(Frame& frame, RicalcoloMensile ricalcolo);

// --- statement pieces --------------------------------------------------------------------------

// The totals are kept per activity of the company: CPInput.ElaborazionePerAttivita.
bool PerAttivita(const Frame& frame);
// CPInput.Ditta and CPInput.Anno as SQL text.
std::string Ditta(const Frame& frame);
std::string Anno(const Frame& frame);
// An activity code was given: NVL(CodiceAttivita, "") is not "".
bool CodiceAttivitaIndicato(const Frame& frame);
// NVL(CodiceAttivita, -1) and NVL(IDAttivita, -1) as SQL text.
std::string CodiceAttivita(const Frame& frame);
std::string IDAttivita(const Frame& frame);
// The filter the host reads a result kept per activity through: the company as a whole
// (IDATTIVITA -1) or the activity it named; "" when the totals are kept per company.
std::string FiltroAttivita(const Frame& frame);
// The delete of the year's totals kept per activity in `tabella`, whose columns start with
// `prefisso`: every kind-0 activity of the company, or the one whose code was given. `testa` is
// the statement's first line; the lines are joined by carriage return and line feed.
std::string AzzeraPerAttivita(const Frame& frame, std::string_view testa, std::string_view tabella,
                              std::string_view prefisso);
// A whole number read from a row (a month, a kind, an activity) as SQL text.
std::string Intero(const db::Variant& value);
// ValoreDB of an amount, as SQL text.
std::string Importo(Frame& frame, const db::Variant& amount);

// The activity of a registration, joined after `head32` and `head86` (each statement writes its
// own): the activity of its VAT section for the year of its VAT date (or of its date), or else
// the company's first kind-0 activity of that VAT year.
std::string JoinAttivita(std::string_view head32, std::string_view head86);

// --- writers -------------------------------------------------------------------------------------

// The check's result the writer takes: nullptr when there is none or it has no rows.
db::Recordset* RisultatoDaScrivere(Frame& frame,
                                   std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result);

// Writes each row of `righe` (from its first, through its filter) into the stored rows that
// `select` reads: `criterio` gives the filter that finds the stored row of the current result
// row, `scrivi` fills a new one (nuova) or adds to the one found; each row is sent at once.
void ScriviConRecordset(Frame& frame, db::Recordset& righe, const std::string& select,
                        const std::function<std::string()>& criterio,
                        const std::function<void(db::Recordset& stored, bool nuova)>& scrivi);

// Sends, for every row of `righe` (filter cleared) with an activity (IDATTIVITA not -1), the
// batch `batch` composes from the current row.
void ScriviPerAttivita(Frame& frame, db::Recordset& righe,
                       const std::function<std::string()>& batch);

}  // namespace veriprog
