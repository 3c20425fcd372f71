#include "cli/operations.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "db/text.h"
#include "veriprog/error.h"
#include "veriprog/operations.h"
#include "veriprog/vat_comparison.h"

namespace veriprog::cli {
namespace {

db::Variant Given(const std::optional<std::string>& value) {
  return value ? db::Variant(*value) : db::Variant();
}

// The command line's entry of a library operation. With --include-stored the VAT check's rows
// are compared per key, one row per key with its differences, as the library compares them.
OperationEntry Entry(const OperationInfo& info) {
  Operation run = [&info](CLSCG_VERIPROG& m, const OperationOptions& o) {
    const bool include = (info.reads & kIncludeStored) != 0 && o.include_stored;
    info.run(m, include);
    if (!include || info.result == nullptr || !m.CPOutput()) return;
    auto& rows = (*m.CPOutput()).*info.result;
    if (!rows || m.Stato() != tsOk) return;
    std::string error;
    rows = CompareVatTotals(*rows, &error);
    if (!rows) throw db::DbError(error);
  };
  return {info.family, info.help, info.rebuild, info.reads, std::move(run), info.result};
}

std::vector<OperationEntry> Entries(bool rebuild) {
  std::vector<OperationEntry> entries;
  for (const OperationInfo& info : Operations()) {
    if (info.rebuild == rebuild) entries.push_back(Entry(info));
  }
  return entries;
}

}  // namespace

const std::vector<OperationEntry>& Checks() {
  static const std::vector<OperationEntry> checks = Entries(false);
  return checks;
}

const std::vector<OperationEntry>& Rebuilds() {
  static const std::vector<OperationEntry> rebuilds = Entries(true);
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
