#include "cli/operations.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/vat_comparison.h"
#include "db/text.h"

namespace veriprog::cli {
namespace {

db::Variant Given(const std::optional<std::string>& value) {
  return value ? db::Variant(*value) : db::Variant();
}

Operation Call(void (CLSCG_VERIPROG::*op)()) {
  return [op](CLSCG_VERIPROG& m, const OperationOptions&) { (m.*op)(); };
}

constexpr unsigned kAccounts = kFiscalYear | kBranch;
constexpr unsigned kPerActivity = kYear | kActivity;
using Out = CLSCG_VERIPROGOUTPUT;

}  // namespace

const std::vector<OperationEntry>& Checks() {
  static const std::vector<OperationEntry> checks = {
      {"accounts", "account totals per account, customer/supplier, branch and currency", false,
       kAccounts, Call(&CLSCG_VERIPROG::ControlloProgressiviContabili),
       &Out::RecSetControlloProgressivi},
      {"vat", "VAT register totals", false, kYear | kIncludeStored,
       [](CLSCG_VERIPROG& m, const OperationOptions& o) {
         bool include = o.include_stored;
         m.ControlloProgressiviIVA(include);
         // The host compares: with the stored rows, one row per key with its differences.
         auto& rows = m.CPOutput()->RecSetControlloProgressiviIVA;
         if (include && rows && m.Stato() == tsOk) rows = CompareVatTotals(*rows);
       },
       &Out::RecSetControlloProgressiviIVA},
      {"plafond", "export-plafond totals", false, kPerActivity,
       Call(&CLSCG_VERIPROG::ControlloProgressiviPlafond), &Out::RecSetControlloProgressiviPlafond},
      {"margin", "margin-scheme totals", false, kPerActivity,
       Call(&CLSCG_VERIPROG::ControlloProgressiviRegimeMargine),
       &Out::RecSetControlloProgressiviRegimeMargine},
      {"agriculture", "agricultural-scheme totals", false, kYear,
       Call(&CLSCG_VERIPROG::ControlloProgressiviAgricoltura),
       &Out::RecSetControlloProgressiviAgricoltura},
      {"travel", "travel-agency-scheme totals, per activity", false, kYear | kActivityCode,
       Call(&CLSCG_VERIPROG::ControlloProgressiviAgenzieViaggio),
       &Out::RecSetControlloProgressiviAgenzieViaggio},
  };
  return checks;
}

const std::vector<OperationEntry>& Rebuilds() {
  static const std::vector<OperationEntry> rebuilds = {
      {"accounts", "account totals, yearly and monthly, with their currency twins", true, kAccounts,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili)},
      {"accounts-legacy", "account totals, the earlier way (zeroing, then writing)", true,
       kAccounts, Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld)},
      {"turnover", "turnover and VAT amount per account", true, kAccounts,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaFatturatoImportoIVA)},
      {"vat", "VAT register totals", true, kYear,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviIVA)},
      {"plafond", "export-plafond totals", true, kPerActivity,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviPlafond)},
      {"margin", "margin-scheme totals", true, kPerActivity,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviRegimeMargine)},
      {"agriculture", "agricultural-scheme totals", true, kYear,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgricoltura)},
      {"travel", "travel-agency-scheme totals, per activity", true, kYear | kActivityCode,
       Call(&CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgenzieViaggio)},
  };
  return rebuilds;
}

const OperationEntry* FindOperation(bool rebuild, std::string_view name) {
  for (const OperationEntry& e : rebuild ? Rebuilds() : Checks()) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

std::string ConnectionString(const std::string& given) {
  if (!given.empty()) return given;
  const char* env = std::getenv("VERIPROG_CONNECTION");
  return env != nullptr && *env != '\0' ? env : "postgresql://";  // libpq's defaults
}

void FillInput(CLSCG_VERIPROGINPUT& in, const OperationOptions& o, bool rebuild) {
  in.SConnect = ConnectionString(o.connection);
  in.Ditta = Given(o.company);
  in.Esercizio = Given(o.fiscal_year);
  in.Progressivo = Given(o.fiscal_seq);
  in.Anno = Given(o.year);
  in.CodiceSede = Given(o.branch);
  in.ElaborazionePerAttivita = o.by_activity;
  in.CodiceAttivita = Given(o.activity_code);
  in.IDAttivita = Given(o.activity_id);
  in.EseguiTransazione = rebuild && !o.no_transaction;
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double SecondsSince(std::int64_t start_ns) {
  return static_cast<double>(NowNs() - start_ns) / 1e9;
}

Outcome RunOperation(CLSCG_VERIPROG& main, const OperationEntry& op, const OperationOptions& o) {
  Outcome out;
  const std::int64_t start = NowNs();
  try {
    op.run(main, o);
    if (op.result != nullptr && main.CPOutput()) out.rows = (*main.CPOutput()).*op.result;
    if (out.rows && out.rows->is_open()) {
      db::Recordset& rs = *out.rows;
      const auto flag = rs.FieldIndex("FLAGSBIL");
      for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
        ++out.row_count;
        if (flag && !db::Trim(rs.Get(*flag).ToText()).empty()) ++out.flagged;
      }
    }
  } catch (const std::exception& e) {
    // The operations never throw; a sink or the host's own comparison might.
    main.SetStato(tsProgramError);
    main.SetErrore(e.what());
  }
  out.stato = main.Stato();
  out.errore = main.Errore();
  out.causa = main.CausaConnessione();
  out.seconds = SecondsSince(start);
  return out;
}

ExitCode ExitCodeOf(const Outcome& outcome) {
  switch (outcome.stato) {
    case tsOk:
      return outcome.flagged > 0 ? ExitCode::kFlagged : ExitCode::kOk;
    case tsParametriNonValidi:
      return ExitCode::kInvalidParameters;
    default:
      return ExitCode::kProgramError;
  }
}

std::string OutcomeText(ExitCode code) {
  switch (code) {
    case ExitCode::kOk:
      return "ok";
    case ExitCode::kFlagged:
      return "flagged";
    case ExitCode::kInvalidParameters:
      return "invalid parameters";
    case ExitCode::kProgramError:
      return "error";
  }
  return "interrupted";
}

int ReportInterruption(CLSCG_VERIPROG& main, bool wrote, bool in_transaction, bool finished,
                       std::string_view what, int signal) {
  if (!main.Errore().empty()) std::cerr << main.Errore() << '\n';
  const auto& connection = main.CPInput()->GConnect;
  if (connection && connection->in_transaction()) {
    try {
      connection->RollbackTrans();  // the operation's own rollback failed: never leave it open
    } catch (const std::exception& e) {
      std::cerr << "rollback failed (" << e.what() << "); the server undoes the transaction "
                << "when the connection closes\n";
    }
  }
  if (!wrote) {
    std::cerr << "interrupted: " << what << " stopped; nothing was written\n";
  } else if (finished) {
    std::cerr << "interrupted after " << what << " had finished: its totals are written\n";
  } else if (in_transaction) {
    std::cerr << "interrupted: " << what
              << " was rolled back; the stored totals are as they were\n";
  } else {
    std::cerr << "interrupted: without a transaction, the steps finished before the interruption "
                 "stay written\n";
  }
  return 128 + signal;
}

void PrintSummary(std::string_view operation, std::optional<std::int64_t> rows,
                  std::optional<std::int64_t> flagged, double seconds, int exit_code) {
  auto count = [](const std::optional<std::int64_t>& n) {
    return n ? std::to_string(*n) : std::string("-");
  };
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.3f", seconds);
  std::cerr << "summary: " << operation << " rows=" << count(rows) << " flagged=" << count(flagged)
            << " elapsed=" << elapsed << "s exit=" << exit_code << std::endl;
}

}  // namespace veriprog::cli
