// The run history: one SQLite file that remembers every check and rebuild run through it (what
// ran, where, when, with what result), the keys each check flagged, the differences an operator
// acknowledged and each rebuild's change set. The main object never opens it: the command line
// does, and a host that wants a history opens one here by its path. Safe for several writers at
// once (write-ahead log, a busy wait); a file that is not a sound history is refused untouched.
// Not built for Windows yet.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/findings.h"

namespace veriprog::history {

// Where a run looked. `part` is "branch N", "activity N" or "" for the whole company.
struct Scope {
  std::string server, database;
  std::string company, family, period, part;
};

// The server and the database a connection text names ("" where it names none: the client's
// defaults), never its credentials.
void LocateConnection(std::string_view connection, Scope& scope);

struct Run {
  std::int64_t id = 0;
  std::int64_t parent = 0;  // the run over every company this one belongs to; 0 when alone
  std::string operation;    // "check accounts", "rebuild vat", "check all", "undo"
  Scope scope;
  std::string parameters;  // JSON object of the options given
  std::string started;     // UTC, "2026-12-09T02:10:00Z"; set by Record when empty
  std::string tool_version;
  int exit_code = 0;
  std::optional<std::int64_t> rows, flagged;
  double seconds = 0;
  std::string error;
  bool has_changes = false;    // a change set is stored with it
  std::int64_t undone_by = 0;  // the undo run that took this rebuild back
};

enum class FindingState { kNew, kKnown, kAcknowledged };
const char* StateText(FindingState state);  // "new", "known", "acknowledged"

struct RunFinding {
  Finding finding;
  FindingState state = FindingState::kNew;
  std::int64_t first_seen = 0, last_seen = 0;  // runs of the same scope
  std::string note;                            // the acknowledgement's
};

// One run of a key's scope and what it said of the key.
struct KeyEvent {
  Run run;
  bool flagged = false;
  std::string amounts;
  std::string acknowledged;  // the note, when the key was acknowledged as of now
};

struct TrendPoint {
  std::int64_t run = 0;
  std::string started;
  std::int64_t flagged = 0;
};

// Every member reports failure through `error` (and an empty or zero answer); none throws.
class Store {
 public:
  // Opens the history at `path`, making it (and its folder) when missing. Refuses a file that is
  // truncated, damaged or not a history, leaving it as it is.
  static std::unique_ptr<Store> Open(const std::string& path, std::string* error);
  // Opens an existing history only to read it (an auditor's copy, a file of another user's):
  // the members that write then fail.
  static std::unique_ptr<Store> OpenToRead(const std::string& path, std::string* error);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& path() const { return path_; }

  // Records a run with the keys it flagged and, for a rebuild, its change set (JSON); answers
  // the run's number. An acknowledged key flagged again with other amounts loses its
  // acknowledgement.
  std::int64_t Record(const Run& run, const std::vector<Finding>& findings,
                      const std::string& change_set, std::string* error);
  // A run over every company with its units, in one transaction: all recorded or none. The
  // units' parent is set to the run's number, which is answered.
  struct BatchUnit {
    Run run;
    std::vector<Finding> findings;
    std::string change_set;
  };
  std::int64_t RecordBatch(Run parent, const std::vector<BatchUnit>& units, std::string* error);
  // The findings of a run, each as new (not flagged by the previous run of the same operation
  // and scope), known or acknowledged.
  std::vector<RunFinding> Findings(std::int64_t run, std::string* error);
  // Acknowledges keys as their latest findings stand, in the server and database given (both
  // empty: wherever the key was last flagged); answers how many. A key never flagged is refused.
  int Acknowledge(const std::vector<std::string>& keys, const std::string& note, const Scope* where,
                  std::string* error);

  std::optional<Run> Get(std::int64_t run, std::string* error);
  // The latest runs first; `parent` > 0: the runs of that run over every company, in order.
  std::vector<Run> Runs(int limit, std::int64_t parent, std::string* error);
  std::vector<KeyEvent> KeyStory(const std::string& key, std::string* error);
  // Flagged totals of the scope's runs of that operation, oldest first, at most `limit`.
  std::vector<TrendPoint> Trend(const Run& like, int limit, std::string* error);
  // When the operation last ran to the end (exit 0 or 1) on that scope, in UTC seconds.
  std::optional<double> LastSuccess(const Run& like, std::string* error);
  std::string ChangeSet(std::int64_t run, std::string* error);
  bool MarkUndone(std::int64_t run, std::int64_t undo_run, std::string* error);
  // Forgets runs older than `days` days, with their findings and change sets; answers how many.
  std::int64_t Prune(double days, std::string* error);

 private:
  struct Db;
  Store(std::string path, std::unique_ptr<Db> db);
  std::string path_;
  std::unique_ptr<Db> db_;
};

// The rows of a check's record set with two more columns, KEY and FINDING ("new", "known",
// "acknowledged"; blank on rows not flagged), in the record set's view; the copy is detached.
std::shared_ptr<db::Recordset> WithFindings(db::Recordset& rows, const OperationInfo& op,
                                            const OperationParameters& p,
                                            const std::vector<RunFinding>& findings);

}  // namespace veriprog::history

namespace veriprog::history {

// The run of `op` with those parameters as the history records it: operation ("check
// accounts"), scope, parameters as JSON (never the connection's credentials), this library's
// version. Started, result and counts are the caller's to fill.
Run RunOf(const OperationInfo& op, const OperationParameters& p);

// This library's version, as every run records it.
const char* ToolVersion();

// What recording an operation's run answers: its number in the history and its findings, each
// new, known or acknowledged.
struct Recorded {
  std::int64_t run = 0;
  std::vector<RunFinding> findings;
  std::string error;  // the history could not record it (the operation's own result stands)
};

// Records one check or rebuild with its outcome and exit code (0 ok, 1 flagged, 2 invalid
// parameters, 3 error), the flagged keys of a check's rows and a rebuild's change set (JSON).
// `only`, when given, are the findings to keep instead of the rows' (a recheck's confirmed ones:
// a difference gone on the second look was a posting in flight, not a finding).
Recorded RecordOperation(Store& store, const OperationInfo& op, const OperationParameters& p,
                         const Outcome& outcome, int exit_code, const std::string& change_set = "",
                         std::int64_t parent = 0, const std::vector<Finding>* only = nullptr);

}  // namespace veriprog::history

#include "veriprog/run_all.h"

namespace veriprog::history {

// Records a run over every company: one run for it ("check all", "rebuild all") and one for each
// unit that ran, part of it, with the unit's findings (RunAllOptions::keep_findings) and change
// set. Answers the run over every company's number, or 0 and `error`.
std::int64_t RecordRunAll(Store& store, const RunAllOptions& options, const RunAllResult& result,
                          int exit_code, std::string* error);

}  // namespace veriprog::history

#include "veriprog/change_set.h"

namespace veriprog::history {

struct UndoneUnit {
  std::int64_t run = 0;  // the rebuild taken back
  UndoResult result;
  std::int64_t undo_run = 0;  // the history's record of the undo, once it is done
};

struct UndoRunResult {
  // tsParametriNonValidi, nothing written: no such run, a run without a change set, one already
  // undone, or a connection to another server or database than the run's.
  StatoEnum stato = tsOk;
  std::string errore;
  std::vector<UndoneUnit> units;  // in the order taken back; the last one may have refused
  bool complete = false;          // every rebuild of the run taken back
  // The totals were written back (or the refusal stands) but the history could not record it.
  std::string history_error;
};

// Takes back the rebuild `run` recorded, or every rebuild of a run over every company, the last
// first: each one's change set written back by UndoChanges on main (its SConnect and limits), each
// one recorded as an "undo" run and its rebuild marked undone. The first refusal stops it, and
// the rebuilds already taken back stay so (each was its own transaction). Never throws.
UndoRunResult UndoRun(Store& store, CLSCG_VERIPROG& main, std::int64_t run);

}  // namespace veriprog::history

namespace veriprog::history {

// What the history remembers as record sets, printed or walked like a check's rows (texts).
// Runs: RUN, STARTED, OPERATION, COMPANY, PERIOD, PART, SERVER, DATABASE, ROWS, FLAGGED, EXIT,
// CHANGES ("kept", "undone by N", Null without a change set), PART_OF, ERROR.
db::Recordset RunRows(const std::vector<Run>& runs);
// Findings: KEY, FINDING, FIRST_SEEN, AMOUNTS, NOTE.
db::Recordset FindingRows(const std::vector<RunFinding>& findings);
// A key's story: RUN, STARTED, SERVER, DATABASE, FLAGGED ("Si"), AMOUNTS, ACKNOWLEDGED.
db::Recordset KeyStoryRows(const std::vector<KeyEvent>& story);

}  // namespace veriprog::history
