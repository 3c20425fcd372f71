// veriprog-cli: checks and rebuilds the running totals of a ledger database from the command line.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>

#include "cli/commands.h"
#include "cli/interrupt.h"

int main(int argc, char** argv) {
  veriprog::cli::WatchInterrupts();
  CLI::App app{"Checks and rebuilds the running totals of a general-ledger database"};
  app.require_subcommand(1);
  veriprog::cli::ExitCode code = veriprog::cli::ExitCode::kOk;
  veriprog::cli::AddOperationCommands(app, code);
  veriprog::cli::AddExplainCommand(app, code);
  veriprog::cli::AddGenerateCommand(app, code);
  veriprog::cli::AddSelftestCommand(app, code);
  veriprog::cli::AddSqlCommands(app, code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help is an answer; every other parse error is a bad parameter: exit 2, as documented.
    const int printed = app.exit(e);
    return printed == 0 ? 0 : static_cast<int>(veriprog::cli::ExitCode::kInvalidParameters);
  }
  return static_cast<int>(code);
}
