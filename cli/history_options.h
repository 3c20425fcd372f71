// The run history as the command line offers it: --history PATH and --no-history on every check,
// rebuild and history command, the file they name, and the lines that tell what it recorded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/html_report.h"
#include "veriprog/history.h"

namespace veriprog::cli {

struct HistoryOptions {
  std::string path;
  bool none = false;
};

// --history PATH (not empty) and --no-history, which exclude each other.
void AddHistoryOptions(CLI::App* cmd, HistoryOptions& h);

// Refuses a value that is empty or only blanks: a note, a key or a path that says nothing.
CLI::Validator NotBlank(const std::string& what);

// A run number as the history lists it: digits only, 1 to the largest the history keeps.
extern const CLI::Validator kRunNumber;

// The file: --history, else $VERIPROG_HISTORY, else history.db in the user's data folder
// ($XDG_DATA_HOME/veriprog, else ~/.local/share/veriprog); "" with --no-history, or where there is
// no such folder to default to (a service account without a home: name one).
std::string HistoryPath(const HistoryOptions& h);

// Opens the history the options name; nullptr when there is none to keep. `refused` is set, and
// the reason printed, when one was named and cannot be used: the command then runs nothing and
// ends with exit 2. A history made new says so once on stderr, so that a mistyped path in a
// night job does not go on unseen into a file of its own.
// `to_read`: an existing history opened only to be read (the listings), so that a user who may
// read it but not write it still can.
std::unique_ptr<history::Store> OpenHistory(const HistoryOptions& h, bool& refused,
                                            bool to_read = false);

// The flagged totals of the last runs of the operation `like` names (this one included), for
// the page's trend; none without a history.
std::vector<ReportUnit::TrendRun> TrendOf(history::Store* store, const history::Run& like);

// "history: run 12; 3 flagged: 1 new, 1 known, 1 acknowledged" on stderr.
void PrintRecorded(const history::Recorded& recorded);

}  // namespace veriprog::cli
