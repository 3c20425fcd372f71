#include "veriprog/operation_run.h"

#include <chrono>

#include "db/text.h"
#include "veriprog/error.h"
#include "veriprog/vat_comparison.h"

namespace veriprog {
namespace {

db::Variant Given(const std::optional<std::string>& value) {
  return value ? db::Variant(*value) : db::Variant();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void FillInput(CLSCG_VERIPROGINPUT& in, const OperationParameters& p, bool rebuild) {
  in.SConnect = p.connection;
  in.Ditta = Given(p.company);
  in.Esercizio = Given(p.fiscal_year);
  in.Progressivo = Given(p.fiscal_seq);
  in.Anno = Given(p.year);
  in.CodiceSede = Given(p.branch);
  in.ElaborazionePerAttivita = p.by_activity;
  in.CodiceAttivita = Given(p.activity_code);
  in.IDAttivita = Given(p.activity_id);
  in.EseguiTransazione = rebuild && !p.no_transaction;
}

int CommandExitCode(const Outcome& o) {
  if (o.stato == tsOk) return o.flagged > 0 ? 1 : 0;
  return o.stato == tsParametriNonValidi ? 2 : 3;
}

Outcome RunOperation(CLSCG_VERIPROG& main, const OperationInfo& op, bool include_stored) {
  Outcome out;
  const auto start = std::chrono::steady_clock::now();
  include_stored = include_stored && (op.reads & kIncludeStored) != 0;
  try {
    op.run(main, include_stored);
    if (op.result != nullptr && main.CPOutput()) out.rows = (*main.CPOutput()).*op.result;
    if (include_stored && out.rows && main.Stato() == tsOk) {
      std::string error;
      out.rows = CompareVatTotals(*out.rows, &error);
      if (!out.rows) throw db::DbError(error);
      (*main.CPOutput()).*op.result = out.rows;
    }
    if (out.rows && out.rows->is_open()) {
      db::Recordset& rs = *out.rows;
      const auto flag = rs.FieldIndex("FLAGSBIL");
      for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
        ++out.row_count;
        if (flag && !db::Trim(rs.Get(*flag).ToText()).empty()) ++out.flagged;
      }
      out.counted = true;
    }
  } catch (const std::exception& e) {
    // The operations never throw; a sink or the comparison might.
    main.SetStato(tsProgramError);
    main.SetErrore(e.what());
  }
  out.stato = main.Stato();
  out.errore = main.Errore();
  out.causa = main.CausaConnessione();
  out.seconds = SecondsSince(start);
  return out;
}

}  // namespace veriprog
