// The subcommands of veriprog-cli. Each Add... registers its commands; the command that runs
// stores its exit code in `code`.
#pragma once

#include <CLI/CLI.hpp>

namespace veriprog::cli {

// 0 success with no row flagged, 1 success with flagged rows, 2 invalid parameters,
// 3 program or database error.
// kRefused: a plan that was not applied (the journal or the totals moved since it was made),
// rolled back.
enum class ExitCode {
  kOk = 0,
  kFlagged = 1,
  kInvalidParameters = 2,
  kProgramError = 3,
  kRefused = 4
};

// Every JSON answer carries it; it grows when a field changes meaning or goes away, never when
// one is added.
inline constexpr int kJsonFormatVersion = 1;

// `sql` runs a T-SQL batch through the database layer; `translate` prints its PostgreSQL text.
void AddSqlCommands(CLI::App& app, ExitCode& code);
// `check <family>` and `rebuild <family>`: the operations of the main object; `check all` and
// `rebuild all` over many companies at once.
void AddOperationCommands(CLI::App& app, ExitCode& code);
void AddAllCommand(CLI::App* parent, bool rebuild, ExitCode& code);
// `explain accounts`: one key of the account totals, month by month beside the journal.
void AddExplainCommand(CLI::App& app, ExitCode& code);
// `generate` fills a development database with a generated ledger.
void AddGenerateCommand(CLI::App& app, ExitCode& code);
// `history` (and `history prune`) and `ack`: the run history, read, kept small, acknowledged.
void AddHistoryCommands(CLI::App& app, ExitCode& code);
// `undo RUN`: a recorded rebuild taken back.
void AddUndoCommand(CLI::App& app, ExitCode& code);
// `selftest`: the acceptance kit, on a scratch database of the user's own server.
void AddSelftestCommand(CLI::App& app, ExitCode& code);

}  // namespace veriprog::cli
