// generate: fills an empty development database with a generated ledger and lists the stored
// totals it made wrong on purpose.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/output.h"
#include "gen/ledger_generator.h"
#include "veriprog/error.h"

namespace veriprog::cli {

void AddGenerateCommand(CLI::App& app, ExitCode& code) {
  struct Options {
    std::string connection;
    gen::GeneratorOptions generator;
    std::string format = "table";
    std::string shape = "standard";
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "generate", "Fill an empty ledger database with a generated journal and its stored totals");
  cmd->add_option("--connection", o->connection, "the database (libpq text, URI or ODBC string)")
      ->required();
  cmd->add_option("--lines", o->generator.lines, "journal lines, about")
      ->check(CLI::Range(10, 100000000));
  cmd->add_option("--seed", o->generator.seed, "random seed; the same seed, the same ledger");
  cmd->add_option("--wrong", o->generator.wrong, "stored totals to make wrong on purpose")
      ->check(CLI::Range(0, 100000));
  cmd->add_option("--customers", o->generator.customers,
                  "customers per company, suppliers half as many (default: by size)")
      ->check(CLI::Range(0, 1000000));
  cmd->add_option("--companies", o->generator.companies,
                  "companies; 3 and above copy companies 1 and 2 under new codes")
      ->check(CLI::Range(2, 1000));
  cmd->add_option("--wrong-months", o->generator.wrong_months,
                  "monthly account totals to make wrong on purpose")
      ->check(CLI::Range(0, 100000));
  cmd->add_option("--shape", o->shape, "the kind of firm (bench/README.md describes each)")
      ->check(CLI::IsMember(gen::ShapeNames()));
  cmd->add_option("--format", o->format, "table or json")->check(CLI::IsMember({"table", "json"}));
  cmd->callback([o, &code] {
    try {
      o->generator.shape = *gen::ShapeNamed(o->shape);
      const auto ledger = gen::GenerateLedger(o->connection, o->generator);
      if (o->format == "json") {
        auto wrong = nlohmann::ordered_json::array();
        for (const auto& w : ledger.wrong) {
          wrong.push_back({{"ditta", w.ditta},
                           {"esercizio", w.anno},
                           {"progressivo", w.progressivo},
                           {"conto", w.conto},
                           {"sede", w.sede},
                           {"valuta", w.valuta},
                           {"added", w.added.ToString()},
                           {"column", w.what},
                           {"account", w.account},
                           {"tipocf", w.tipocf},
                           {"clifor", w.clifor},
                           {"annosol", w.annosol},
                           {"mese", w.mese}});
        }
        auto wrong_stored = nlohmann::ordered_json::array();
        for (const auto& w : ledger.wrong_stored) {
          wrong_stored.push_back({{"family", w.family},
                                  {"ditta", w.ditta},
                                  {"anno", w.anno},
                                  {"key", w.key},
                                  {"what", w.what}});
        }
        std::cout << nlohmann::ordered_json{{"format_version", kJsonFormatVersion},
                                            {"journal_lines", ledger.journal_lines},
                                            {"yearly_totals", ledger.yearly_totals},
                                            {"monthly_totals", ledger.monthly_totals},
                                            {"wrong", wrong},
                                            {"wrong_stored", wrong_stored}}
                         .dump(2)
                  << '\n';
        return;
      }
      std::cout << "journal lines: " << ledger.journal_lines
                << ", yearly totals: " << ledger.yearly_totals
                << ", monthly totals: " << ledger.monthly_totals << '\n';
      for (const auto& fy : ledger.fiscal_years) {
        std::cout << "fiscal year: company " << fy.ditta << ", " << fy.anno << "/" << fy.progressivo
                  << " (" << fy.start << " .. " << fy.end << ")\n";
      }
      std::cout << "stored totals made wrong on purpose:\n";
      for (const auto& w : ledger.wrong) {
        std::cout << "  company " << w.ditta << " " << w.anno << "/" << w.progressivo << "  conto "
                  << w.conto << "  sede " << w.sede << "  " << w.valuta << "  " << w.what;
        if (w.mese != 0)
          std::cout << " of " << w.annosol << "-" << (w.mese < 10 ? "0" : "") << w.mese;
        std::cout << " " << (w.added.is_negative() ? "" : "+") << w.added.ToString() << '\n';
      }
      for (const auto& w : ledger.wrong_stored) {
        std::cout << "  " << w.family << ": company " << w.ditta << " " << w.anno << "  " << w.key
                  << "  " << w.what << '\n';
      }
    } catch (const db::ParameterError& e) {
      std::cerr << e.what() << '\n';  // a database that is not empty: nothing was written
      code = ExitCode::kInvalidParameters;
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      code = ExitCode::kProgramError;
    }
  });
}

}  // namespace veriprog::cli
