// check and rebuild: one subcommand per operation of the main object, each offering the options
// of the parameter fields its operation reads, and nothing else.
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/vat_comparison.h"
#include "component/main_object.h"
#include "db/text.h"

namespace veriprog::cli {
namespace {

struct OperationOptions {
  std::string connection;
  std::optional<std::string> company, fiscal_year, fiscal_seq, year, branch, activity_code,
      activity_id;
  bool by_activity = false;
  bool include_stored = false;
  bool flagged_only = false;
  bool no_transaction = false;
  std::string format = "table";
};

using Operation = std::function<void(CLSCG_VERIPROG&, const OperationOptions&)>;
using ResultOf = std::function<std::shared_ptr<db::Recordset>(CLSCG_VERIPROGOUTPUT&)>;

// The parameter fields an operation reads, beyond the connection and the company.
enum Reads : unsigned {
  kFiscalYear = 1,      // Esercizio, Progressivo
  kBranch = 2,          // CodiceSede
  kYear = 4,            // Anno
  kActivity = 8,        // ElaborazionePerAttivita, CodiceAttivita, IDAttivita
  kIncludeStored = 16,  // the VAT check's IncludiRecordDeiProgressivi
  kActivityCode = 32    // CodiceAttivita alone (travel agencies: always per activity)
};

db::Variant Given(const std::optional<std::string>& value) {
  return value ? db::Variant(*value) : db::Variant();
}

void AddParameterOptions(CLI::App* cmd, OperationOptions& o, bool rebuild, unsigned reads) {
  cmd->add_option("--connection", o.connection,
                  "postgresql:// URI, libpq key=value text or ODBC Driver=...;/DSN=... string "
                  "(default: $VERIPROG_CONNECTION, "
                  "then libpq's environment)");
  cmd->add_option("--company", o.company, "company code (Ditta)");
  if (reads & kFiscalYear) {
    cmd->add_option("--fiscal-year", o.fiscal_year, "fiscal year (Esercizio)");
    cmd->add_option("--fiscal-seq", o.fiscal_seq, "fiscal-year sequence (Progressivo)");
  }
  if (reads & kYear) cmd->add_option("--year", o.year, "calendar year (Anno)");
  if (reads & kBranch) {
    cmd->add_option("--branch", o.branch, "branch code; all branches when omitted (CodiceSede)");
  }
  if (reads & kActivity) {
    cmd->add_flag("--by-activity", o.by_activity, "work per activity (ElaborazionePerAttivita)");
    cmd->add_option("--activity-code", o.activity_code, "activity code (CodiceAttivita)");
    cmd->add_option("--activity-id", o.activity_id, "activity identifier (IDAttivita)");
  }
  if (reads & kActivityCode) {
    cmd->add_option("--activity-code", o.activity_code,
                    "activity code; every activity of the company when omitted (CodiceAttivita)");
  }
  if (reads & kIncludeStored) {
    cmd->add_flag("--include-stored", o.include_stored,
                  "compare with the stored totals: one row per key with its differences");
  }
  if (!rebuild) {
    cmd->add_flag("--flagged-only", o.flagged_only, "print only the rows flagged as different");
    cmd->add_option("--format", o.format, "result as table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
  } else {
    cmd->add_flag("--no-transaction", o.no_transaction,
                  "write without a transaction: a failing step leaves earlier steps' writes");
    cmd->add_option("--format", o.format, "outcome: table (plain text), csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));
  }
}

// Rows flagged as different: a non-blank FLAGSBIL.
bool HasFlaggedRows(db::Recordset& rs) {
  if (!rs.is_open() || !rs.FieldIndex("FLAGSBIL")) return false;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    if (!db::Trim(rs.Get("FLAGSBIL").ToText()).empty()) return true;
  }
  return false;
}

// After Ctrl-C or SIGTERM: what became of the ledger, and 128 + the signal's number.
ExitCode Interrupted(CLSCG_VERIPROG& main, bool in_transaction, bool rebuild, int signal) {
  if (!main.Errore().empty()) std::cerr << main.Errore() << '\n';
  const auto& connection = main.CPInput()->GConnect;
  if (connection && connection->in_transaction()) {
    try {
      connection->RollbackTrans();  // the rebuild's own rollback failed: never leave it open
    } catch (const std::exception& e) {
      std::cerr << "rollback failed (" << e.what() << "); the server undoes the transaction "
                << "when the connection closes\n";
    }
  }
  if (!rebuild) {
    std::cerr << "interrupted: the check stopped; nothing was written\n";
  } else if (main.Stato() == tsOk) {
    std::cerr << "interrupted after the rebuild had finished: its totals are written\n";
  } else if (in_transaction) {
    std::cerr << "interrupted: the rebuild was rolled back; the stored totals are as they were\n";
  } else {
    std::cerr << "interrupted: without a transaction, the steps finished before the interruption "
                 "stay written\n";
  }
  return static_cast<ExitCode>(128 + signal);
}

ExitCode Run(const OperationOptions& o, bool rebuild, const Operation& operation,
             const ResultOf& result_of) {
  CLSCG_VERIPROG main;
  auto& in = *main.CPInput();
  std::string connection = o.connection;
  if (connection.empty()) {
    const char* env = std::getenv("VERIPROG_CONNECTION");
    connection = env != nullptr && *env != '\0' ? env : "postgresql://";  // libpq's defaults
  }
  in.SConnect = connection;
  in.Ditta = Given(o.company);
  in.Esercizio = Given(o.fiscal_year);
  in.Progressivo = Given(o.fiscal_seq);
  in.Anno = Given(o.year);
  in.CodiceSede = Given(o.branch);
  in.ElaborazionePerAttivita = o.by_activity;
  in.CodiceAttivita = Given(o.activity_code);
  in.IDAttivita = Given(o.activity_id);
  in.EseguiTransazione = rebuild && !o.no_transaction;

  {
    auto progress = std::make_shared<ProgressSink>(stderr);
    main.Advise(progress);
    operation(main, o);
    main.Unadvise(progress.get());
  }

  if (const int signal = InterruptSignal())
    return Interrupted(main, rebuild && !o.no_transaction, rebuild, signal);

  std::shared_ptr<db::Recordset> rows = result_of ? result_of(*main.CPOutput()) : nullptr;
  const bool flagged = rows && HasFlaggedRows(*rows);
  if (rows && o.flagged_only && rows->FieldIndex("FLAGSBIL")) {
    // Within the operation's own view (per activity: the company, or the named activity).
    const std::string view = rows->filter();
    rows->Filter((view.empty() ? "" : view + " AND ") + "FLAGSBIL <> ''");
  }
  if (o.format == "json") {
    nlohmann::ordered_json out{{"stato", static_cast<int>(main.Stato())},
                               {"errore", main.Errore()}};
    out["rows"] = rows ? RowsToJson(*rows) : nlohmann::ordered_json::array();
    std::cout << out.dump(2) << '\n';
  } else if (rows && main.Stato() == tsOk) {
    if (o.format == "csv") {
      PrintCsv(std::cout, *rows);
    } else {
      PrintTable(std::cout, *rows);
    }
  }
  if (!main.Errore().empty()) std::cerr << main.Errore() << '\n';
  if (!main.CausaConnessione().empty()) std::cerr << "  (" << main.CausaConnessione() << ")\n";
  switch (main.Stato()) {
    case tsOk:
      return flagged ? ExitCode::kFlagged : ExitCode::kOk;
    case tsParametriNonValidi:
      return ExitCode::kInvalidParameters;
    default:
      return ExitCode::kProgramError;
  }
}

void AddOperation(CLI::App* parent, const char* name, const char* help, bool rebuild,
                  unsigned reads, Operation operation, ResultOf result_of, ExitCode& code) {
  auto options = std::make_shared<OperationOptions>();
  CLI::App* cmd = parent->add_subcommand(name, help);
  AddParameterOptions(cmd, *options, rebuild, reads);
  cmd->callback([options, rebuild, operation = std::move(operation),
                 result_of = std::move(result_of),
                 &code] { code = Run(*options, rebuild, operation, result_of); });
}

}  // namespace

void AddOperationCommands(CLI::App& app, ExitCode& code) {
  constexpr unsigned kAccounts = kFiscalYear | kBranch;
  constexpr unsigned kPerActivity = kYear | kActivity;
  using Out = CLSCG_VERIPROGOUTPUT;
  struct CheckEntry {
    const char* name;
    const char* help;
    unsigned reads;
    Operation run;
    std::shared_ptr<db::Recordset> Out::*result;
  };
  auto call = [](void (CLSCG_VERIPROG::*op)()) -> Operation {
    return [op](CLSCG_VERIPROG& m, const OperationOptions&) { (m.*op)(); };
  };
  const CheckEntry checks[] = {
      {"accounts", "account totals per account, customer/supplier, branch and currency", kAccounts,
       call(&CLSCG_VERIPROG::ControlloProgressiviContabili), &Out::RecSetControlloProgressivi},
      {"vat", "VAT register totals", kYear | kIncludeStored,
       [](CLSCG_VERIPROG& m, const OperationOptions& o) {
         bool include = o.include_stored;
         m.ControlloProgressiviIVA(include);
         // The host compares: with the stored rows, one row per key with its differences.
         auto& rows = m.CPOutput()->RecSetControlloProgressiviIVA;
         if (include && rows && m.Stato() == tsOk) rows = CompareVatTotals(*rows);
       },
       &Out::RecSetControlloProgressiviIVA},
      {"plafond", "export-plafond totals", kPerActivity,
       call(&CLSCG_VERIPROG::ControlloProgressiviPlafond), &Out::RecSetControlloProgressiviPlafond},
      {"margin", "margin-scheme totals", kPerActivity,
       call(&CLSCG_VERIPROG::ControlloProgressiviRegimeMargine),
       &Out::RecSetControlloProgressiviRegimeMargine},
      {"agriculture", "agricultural-scheme totals", kYear,
       call(&CLSCG_VERIPROG::ControlloProgressiviAgricoltura),
       &Out::RecSetControlloProgressiviAgricoltura},
      {"travel", "travel-agency-scheme totals, per activity", kYear | kActivityCode,
       call(&CLSCG_VERIPROG::ControlloProgressiviAgenzieViaggio),
       &Out::RecSetControlloProgressiviAgenzieViaggio},
  };
  CLI::App* check = app.add_subcommand("check", "Compare stored totals with the journal");
  check->require_subcommand(1);
  for (const CheckEntry& e : checks) {
    AddOperation(
        check, e.name, e.help, false, e.reads, e.run,
        [result = e.result](Out& out) { return out.*result; }, code);
  }

  struct RebuildEntry {
    const char* name;
    const char* help;
    unsigned reads;
    void (CLSCG_VERIPROG::*op)();
  };
  static constexpr RebuildEntry kRebuilds[] = {
      {"accounts", "account totals, yearly and monthly, with their currency twins", kAccounts,
       &CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabili},
      {"accounts-legacy", "account totals, the earlier way (zeroing, then writing)", kAccounts,
       &CLSCG_VERIPROG::AzzeraAggiornaProgressiviContabiliOld},
      {"turnover", "turnover and VAT amount per account", kAccounts,
       &CLSCG_VERIPROG::AzzeraAggiornaFatturatoImportoIVA},
      {"vat", "VAT register totals", kYear, &CLSCG_VERIPROG::AzzeraAggiornaProgressiviIVA},
      {"plafond", "export-plafond totals", kPerActivity,
       &CLSCG_VERIPROG::AzzeraAggiornaProgressiviPlafond},
      {"margin", "margin-scheme totals", kPerActivity,
       &CLSCG_VERIPROG::AzzeraAggiornaProgressiviRegimeMargine},
      {"agriculture", "agricultural-scheme totals", kYear,
       &CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgricoltura},
      {"travel", "travel-agency-scheme totals, per activity", kYear | kActivityCode,
       &CLSCG_VERIPROG::AzzeraAggiornaProgressiviAgenzieViaggio},
  };
  CLI::App* rebuild = app.add_subcommand(
      "rebuild", "Reset stored totals and write them again from the journal (in one transaction)");
  rebuild->require_subcommand(1);
  for (const RebuildEntry& e : kRebuilds) {
    AddOperation(rebuild, e.name, e.help, true, e.reads, call(e.op), nullptr, code);
  }
}

}  // namespace veriprog::cli
