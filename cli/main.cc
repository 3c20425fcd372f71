// veriprog-cli: checks and rebuilds the running totals of a ledger database from the command line.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  veriprog::cli::WatchInterrupts();
  veriprog::platform::PrepareConsole();
  // Windows hands the arguments over as UTF-16; every part of the tool takes UTF-8.
  const std::vector<std::string> args = veriprog::platform::Utf8Arguments(argc, argv);
  std::vector<const char*> utf8_argv;
  for (const std::string& a : args)
    utf8_argv.push_back(a.c_str());
  CLI::App app{"Checks and rebuilds the running totals of a general-ledger database"};
  app.require_subcommand(1);
  veriprog::cli::ExitCode code = veriprog::cli::ExitCode::kOk;
  veriprog::cli::AddOperationCommands(app, code);
  veriprog::cli::AddExplainCommand(app, code);
  veriprog::cli::AddGenerateCommand(app, code);
  veriprog::cli::AddHistoryCommands(app, code);
  veriprog::cli::AddUndoCommand(app, code);
  veriprog::cli::AddSelftestCommand(app, code);
  veriprog::cli::AddSqlCommands(app, code);
  try {
    app.parse(static_cast<int>(utf8_argv.size()), utf8_argv.data());
  } catch (const CLI::ParseError& e) {
    // --help is an answer; every other parse error is a bad parameter: exit 2, as documented.
    const int printed = app.exit(e);
    return printed == 0 ? 0 : static_cast<int>(veriprog::cli::ExitCode::kInvalidParameters);
  }
  return static_cast<int>(code);
}
