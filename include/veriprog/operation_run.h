// One operation run on a main object the way every host runs it: the parameter object filled
// from plain values, the operation run by its entry in the operation table, and what it left
// (Stato, Errore, a check's rows and how many of them are flagged) gathered in one value.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "veriprog/main_object.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"

namespace veriprog {

// The parameter fields as texts, as a host or a command line takes them (nullopt: Empty).
struct OperationParameters {
  std::string connection;  // SConnect
  std::optional<std::string> company, fiscal_year, fiscal_seq, year, branch, activity_code,
      activity_id;
  bool by_activity = false;
  // The VAT check: with the stored totals, compared per key (veriprog/vat_comparison.h).
  bool include_stored = false;
  bool no_transaction = false;  // a rebuild writes without a transaction
  // Seconds to wait for the company's lock, and that each statement may run; nullopt: no limit.
  std::optional<double> lock_timeout, statement_timeout;
};

// Fills the parameter object; a rebuild runs in a transaction unless told not to. GConnect is
// left as it is.
void FillInput(CLSCG_VERIPROGINPUT& in, const OperationParameters& p, bool rebuild);

// What one operation left behind.
struct Outcome {
  StatoEnum stato = tsOk;
  std::string errore;                   // Errore
  std::string causa;                    // CausaConnessione: why the connection could not be made
  std::shared_ptr<db::Recordset> rows;  // a check's rows, in the operation's own view
  std::int64_t row_count = 0;           // rows in that view
  std::int64_t flagged = 0;             // of them, flagged as different (FLAGSBIL not blank)
  // Whether the rows were there to count: not where the connection or the operation failed
  // before the check gave its rows, so that "none counted" never reads as "none flagged".
  bool counted = false;
  double seconds = 0;
};

// Runs `op` on main, whose parameter object is filled, and counts its rows. With
// `include_stored`, the VAT check's rows are its comparison per key. Never throws; the events go
// to main's sinks.
Outcome RunOperation(CLSCG_VERIPROG& main, const OperationInfo& op, bool include_stored = false);

// The exit code an outcome ends a command with, as every host and the run history tell it: 0 ok,
// 1 rows flagged, 2 invalid parameters, 3 program or database error.
int CommandExitCode(const Outcome& outcome);

}  // namespace veriprog
