// explain accounts: the command, its options and its outputs (tables for people, JSON for
// programs); the explanation itself is the library's.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/operations.h"
#include "cli/output.h"
#include "db/text.h"
#include "veriprog/explain.h"

namespace veriprog::cli {
namespace {

struct ExplainOptions {
  std::string connection;
  std::optional<std::string> company, fiscal_year, fiscal_seq, account, customer, branch;
  std::string currency = "EURO";
  std::string format = "table";
};

class BadOption : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::int64_t Whole(const std::string& text, const char* missing, const char* name) {
  if (db::Trim(text).empty()) throw BadOption(missing);
  const auto number = db::Variant(text).ToWholeNumber();
  if (!number) {
    std::string shown = text;
    if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
    throw BadOption(std::string("Il parametro ") + name +
                    " deve essere un numero intero (valore: '" + shown + "')");
  }
  return *number;
}

// The options as the library asks for them; the library checks the company and fiscal year.
ExplainRequest RequestOf(const ExplainOptions& o) {
  ExplainRequest r{o.company, o.fiscal_year, o.fiscal_seq};
  if (!o.account) throw BadOption("--account: the account code is required");
  r.key.conto = std::string(db::Trim(*o.account));
  if (db::Utf8Length(r.key.conto) > 10)
    throw BadOption("--account: an account code has at most 10 characters");
  if (o.customer) {
    const auto colon = o.customer->find(':');
    if (colon == std::string::npos)
      throw BadOption("--customer: give the kind and the code as T:C (1:123 a customer)");
    r.key.tipocf = Whole(o.customer->substr(0, colon), "--customer: kind missing", "TipoCF");
    r.key.clifor = Whole(o.customer->substr(colon + 1), "--customer: code missing", "CliFor");
  }
  if (o.branch && !db::Trim(*o.branch).empty()) {
    r.key.sede = Whole(*o.branch, "", "CodiceSede");
    r.all_branches = false;
  }
  r.valuta = db::ToUpperAscii(db::Trim(o.currency));
  if (r.valuta.empty()) r.valuta = "EURO";
  if (db::Utf8Length(r.valuta) > 6)
    throw BadOption("--currency: a currency code has at most 6 characters");
  return r;
}

std::string MonthText(const Month& m) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d", m.first, m.second);
  return buf;
}

int Explain(const ExplainOptions& o) {
  const std::int64_t start = NowNs();
  auto finish = [&](int code, std::optional<std::int64_t> rows = std::nullopt,
                    std::optional<std::int64_t> flagged = std::nullopt) {
    PrintSummary("explain accounts", rows, flagged, SecondsSince(start), code);
    return code;
  };
  ExplainRequest a;
  try {
    a = RequestOf(o);
  } catch (const BadOption& e) {
    std::cerr << e.what() << '\n';
    return finish(static_cast<int>(ExitCode::kInvalidParameters));
  }
  a.connection = ConnectionString(o.connection);
  try {
    ExplainResult explained = ExplainAccount(nullptr, a);
    if (explained.stato != tsOk) {
      std::cerr << explained.errore << '\n';
      if (!explained.causa.empty()) std::cerr << "  (" << explained.causa << ")\n";
      if (const int signal = InterruptSignal()) {
        std::cerr << "interrupted: nothing was written\n";
        return finish(128 + signal);
      }
      return finish(static_cast<int>(explained.stato == tsParametriNonValidi
                                         ? ExitCode::kInvalidParameters
                                         : ExitCode::kProgramError));
    }
    Explanation& x = *explained.explanation;
    const FiscalScope* scope = &x.scope;
    const bool euro = a.valuta == "EURO";
    std::string key_text = "account " + a.key.conto;
    if (o.customer)
      key_text += ", customer/supplier " + std::to_string(a.key.tipocf) + ":" +
                  std::to_string(a.key.clifor);
    key_text += a.all_branches ? ", every branch" : ", branch " + std::to_string(a.key.sede);
    key_text += ", " + a.valuta;
    const std::string where = "company " + std::to_string(scope->ditta) + ", fiscal year " +
                              scope->Label() + " (" + scope->start.ToString() + " .. " +
                              scope->end.ToString() + ")";
    if (o.format == "json") {
      nlohmann::ordered_json out{
          {"format_version", kJsonFormatVersion},
          {"operation", "explain accounts"},
          {"key",
           {{"ditta", scope->ditta},
            {"esercizio", scope->esercizio},
            {"progressivo", scope->progressivo},
            {"conto", a.key.conto},
            {"tipocf", a.key.tipocf},
            {"clifor", a.key.clifor},
            {"sede",
             a.all_branches ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(a.key.sede)},
            {"valuta", a.valuta}}},
          {"months", RowsToJson(x.months)},
          {"first_difference", nullptr},
          {"months_agree", !x.first_difference.has_value()},
          {"year_agrees", x.year_agrees},
          {"year", RowsToJson(x.year)},
          {"lines", x.lines ? RowsToJson(*x.lines) : nlohmann::ordered_json::array()},
          {"verdict", x.verdict}};
      if (x.first_difference) {
        out["first_difference"] = {{"anno", x.first_difference->first},
                                   {"mese", x.first_difference->second}};
      }
      std::cout << out.dump(2) << '\n';
    } else {
      std::cout << "Explain: " << key_text << "\n         " << where << "\n\nMonths (stored "
                << (euro ? "CG52" : "CGV1") << " against the journal's ordinary movements):\n";
      PrintTable(std::cout, x.months);
      std::cout
          << "\nYear (stored " << (euro ? "CG53" : "CGV0")
          << " against the journal; SALDOFIN = SALDOAPE + RETTDARE - RETTAVERE + movements):\n";
      PrintTable(std::cout, x.year);
      std::cout << "\n" << x.verdict << "\n";
      if (x.lines) {
        std::cout << "\nJournal lines of " << MonthText(*x.first_difference)
                  << " (CONTA: whether the monthly total counts the line):\n";
        PrintTable(std::cout, *x.lines);
      }
    }
    const std::int64_t rows = x.months.RecordCount() + x.year.RecordCount();
    return finish(static_cast<int>(x.flagged ? ExitCode::kFlagged : ExitCode::kOk), rows,
                  x.flagged);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    if (const int signal = InterruptSignal()) {
      std::cerr << "interrupted: nothing was written\n";
      return finish(128 + signal);
    }
    return finish(static_cast<int>(ExitCode::kProgramError));
  }
}

}  // namespace

void AddExplainCommand(CLI::App& app, ExitCode& code) {
  CLI::App* explain =
      app.add_subcommand("explain", "Lay open why stored totals and the journal differ");
  explain->require_subcommand(1);
  auto o = std::make_shared<ExplainOptions>();
  CLI::App* accounts = explain->add_subcommand(
      "accounts",
      "One key of the account totals: stored monthly totals beside the journal's, the first month "
      "where they part, its journal lines, and the yearly figures");
  accounts->add_option("--connection", o->connection,
                       "postgresql:// URI, libpq key=value text or ODBC Driver=...;/DSN=... string "
                       "(default: $VERIPROG_CONNECTION, then libpq's environment)");
  accounts->add_option("--company", o->company, "company code (Ditta)");
  accounts->add_option("--fiscal-year", o->fiscal_year, "fiscal year (Esercizio)");
  accounts->add_option("--fiscal-seq", o->fiscal_seq, "fiscal-year sequence (Progressivo)");
  accounts->add_option("--account", o->account, "account code as the journal holds it (1401)");
  accounts->add_option("--customer", o->customer,
                       "customer or supplier as KIND:CODE (1:123 customer 123, 2:45 supplier 45); "
                       "none when omitted");
  accounts->add_option("--branch", o->branch, "branch code; every branch together when omitted");
  accounts->add_option("--currency", o->currency,
                       "EURO (the default) or a currency code: its amounts and their euro twins");
  accounts->add_option("--format", o->format, "table or json")
      ->check(CLI::IsMember({"table", "json"}));
  accounts->callback([o, &code] { code = static_cast<ExitCode>(Explain(*o)); });
}

}  // namespace veriprog::cli
