// The turnover and VAT amount rebuild, in five steps on the host's connection and, when asked,
// inside one transaction: set the turnover (monthly totals and their currency twins) and the VAT
// amount (yearly totals and their twins) of the fiscal year to zero; read the year's definitive
// registrations of the purchase and sales registers and work out, registration by registration,
// the turnover of its customer or supplier per month and the VAT amount of the customer or
// supplier and of its counter-accounts; write both back into the totals tables, creating the
// rows that are missing. Other columns of the totals tables are neither read nor changed.
//
// With a branch, only that branch's rows are reset and written, and they end up exactly as a
// rebuild of all branches leaves them: the registrations of the branch and the lines booked to
// it are read whatever branch their other lines carry.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "frame/drivers.h"
#include "frame/frame.h"
#include "veriprog/recordset.h"

namespace veriprog::fatturato {

// The events the steps raise around their own work.
inline constexpr StepEvents kEventiProcesso{
    &VeriprogEvents::BeginProcessoAzzeraAggiornaFatturatoImportoIVA,
    &VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaFatturatoImportoIVA,
    &VeriprogEvents::EndProcessoAzzeraAggiornaFatturatoImportoIVA};

class RicalcoloFatturatoImportoIva {
 public:
  explicit RicalcoloFatturatoImportoIva(Frame& frame) : f_(frame) {}

  void Esegui();  // AzzeraAggiornaFatturatoImportoIVA
  RebuildPlan Plan();

  // Steps 1 and 2.
  void AzzeraFatturato();
  void AzzeraFatturatoValuta();
  void AzzeraImportoIva();
  void AzzeraImportoIvaValuta();
  // Step 3: fills RsFatturato and RsImportoIva; writes nothing.
  void DefinisciRecordsetFatturatoImportoIVA();
  // Steps 4 and 5.
  void AggiornaFatturato();
  void AggiornaImportoIVA();

  // The working record sets of steps 3 to 5 (absent before step 3). RsFatturato: CONTOPAR,
  // TIPOCF, CLIFOR, ANNO, MESE, FATTURATO, SEDE, VALUTA, FATTURATOVAL; RsImportoIva: CONTOPAR,
  // TIPOCF, CLIFOR, IMPORTOIVA, SEDE, VALUTA, IMPORTOIVAVAL. One row per key; rows with
  // VALUTA 'EURO' hold every line in the accounting currency, the others the lines of their
  // currency in both amounts.
  const std::shared_ptr<db::Recordset>& RsFatturato() const { return rs_fatturato_; }
  const std::shared_ptr<db::Recordset>& RsImportoIva() const { return rs_importo_iva_; }

  // Registrations whose lines and VAT lines are read with one statement each: a thousand by
  // default; 1 reads registration by registration. Every registration gets the same rows whatever
  // the number.
  static constexpr std::size_t kRegistrazioniPerLettura = 1000;
  std::size_t registrazioni_per_lettura = kRegistrazioniPerLettura;

 private:
  class Calcolo;

  // The branch condition of the resets: `prefix` + column + " = " + branch; for branch 0 the
  // rows stored without branch belong to it too.
  std::string BranchFilter(std::string_view prefix, std::string_view column) const;
  // A currency reset: the twins of the monthly or yearly rows of the year (and branch), with
  // the sub-select laid out as the ledger always wrote it.
  struct CurrencyResetText {
    TableId twins;
    const char* set;   // " SET ... = 0,     ... = 0"
    const char* link;  // the twin's column holding the parent id
    TableId parents;
    const char* id;  // the parent's id column
    FiscalYearColumns year;
    const char* branch_column;
    int pad, branch_pad, close_pad;  // blanks before the sub-select's fragments
  };
  std::string CurrencyReset(const CurrencyResetText& text);
  // Runs one reset statement inside its progress events.
  void Azzera(const std::function<std::string()>& statement);
  // The yearly row a new monthly row of the current row of RsFatturato belongs to; nullopt
  // when there is none.
  std::optional<db::Variant> LeggiIdProgA(const FiscalYearKey& key);

  Frame& f_;
  std::shared_ptr<db::Recordset> rs_fatturato_;
  std::shared_ptr<db::Recordset> rs_importo_iva_;
};

}  // namespace veriprog::fatturato
