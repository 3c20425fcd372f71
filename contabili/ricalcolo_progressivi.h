// The account totals rebuild, in nine steps on the host's connection and, when asked, inside
// one transaction: reset the stored monthly and yearly totals (and their currency twins) of the
// fiscal year, recompute movements, opening and closing balances, adjustments and final
// balances in temporary tables, and write the yearly and monthly totals back.
// The legacy form zeroes the totals of the company's chart group instead of deleting them, and
// computes the months one SELECT pair at a time.
#pragma once

#include <string>
#include <string_view>

#include "frame/drivers.h"
#include "frame/frame.h"
#include "veriprog/date_time.h"

namespace veriprog::contabili {

class RicalcoloProgressivi {
 public:
  explicit RicalcoloProgressivi(Frame& frame) : f_(frame) {}

  void Esegui();     // AzzeraAggiornaProgressiviContabili
  void EseguiOld();  // AzzeraAggiornaProgressiviContabiliOld
  RebuildPlan Plan(bool legacy);

  // Steps 1 and 2.
  void AzzeraProgressiviContabiliMensili();
  void AzzeraProgressiviContabiliAnnuali();
  // Steps 3 to 7.
  void CalcolaProgressiviContabiliPerMeseAnno_Massivo();
  void CalcolaBilancioChiusuraApertura();
  void CalcolaRettifiche();
  void CalcolaProgressiviContabiliFinali();
  void CalcolaSaldiFinali();
  // Steps 8 and 9.
  void AggiornaProgressiviAnnuali();
  void AggiornaProgressiviMensili();

  // The legacy steps.
  void AzzeraProgressiviMensili();
  void AzzeraProgressiviMensiliValuta();
  void AzzeraProgressiviAnnuali();
  void AzzeraProgressiviAnnualiValuta();
  void EliminaProgressiviAzzerati();
  void CalcolaProgressiviContabiliPerMeseAnno();

 private:
  // Runs one statement between BeginProcesso(1) and AvanzamentoProcesso(1)/EndProcesso.
  void RunOne(const std::string& sql);
  // Drops the rebuild's own temporary tables, so that a second rebuild on the same connection
  // starts clean; errors are ignored, the statements that follow report them.
  void EliminaTabelleRicalcolo();

  // The journal part of a branch: joins, the fiscal-year conditions, `conditions`, the
  // currency and branch filters, and the GROUP BY of the key (plus `group_extra` first).
  std::string Journal(std::string_view sep, bool currency, std::string_view extra_from,
                      std::string_view conditions, std::string_view group_extra) const;
  // The key columns of a branch's select list: CONTOPAR .. VALUTA.
  static std::string KeyColumns(std::string_view sep, bool currency);
  // A statement of steps 4 to 6: outer select, 'EURO' branch, currency branch.
  std::string ShapedStatement(std::string_view table, std::string_view outer,
                              std::string_view euro_sums, std::string_view currency_sums,
                              std::string_view conditions) const;
  // The monthly statement around its branches.
  static std::string MonthlyStatement(std::string_view sep, const std::string& branches);
  // The month list of the fiscal year: whole calendar months from its first to its last.
  std::string MonthList(const db::DateTime& start, const db::DateTime& end);
  bool ReadFiscalYear(db::DateTime& start, db::DateTime& end);
  // The fiscal year and chart group of the legacy resets, on one line.
  std::string LegacyCondition(const FiscalYearColumns& columns, std::string_view first,
                              std::string_view and_word);
  // `prefix` + column + " = " + branch when a branch was given, else nothing.
  std::string BranchFilter(std::string_view prefix, std::string_view column) const;

  Frame& f_;
};

}  // namespace veriprog::contabili
