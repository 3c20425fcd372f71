// ack, history and history prune: what the run history remembers, read and kept small from the
// command line. undo lives beside them (cli/undo_command.cc).
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/history_options.h"
#include "cli/operations.h"
#include "cli/output.h"

namespace veriprog::cli {
namespace {

// The tables of one answer: in JSON one object of them all, otherwise one after another with a
// blank line between.
void Print(const std::vector<std::pair<const char*, db::Recordset*>>& tables,
           const std::string& format) {
  nlohmann::ordered_json out{{"format_version", kJsonFormatVersion}};
  bool first = true;
  for (const auto& [what, rs] : tables) {
    rs->MoveFirst();
    if (format == "json") {
      out[what] = RowsToJson(*rs);
      continue;
    }
    if (!first) std::cout << '\n';
    first = false;
    if (format == "csv") {
      PrintCsv(std::cout, *rs);
    } else {
      PrintTable(std::cout, *rs);
    }
  }
  if (format == "json") std::cout << out.dump(2) << '\n';
}

struct HistoryCommand {
  HistoryOptions history;
  int limit = 20;
  std::string key;
  std::int64_t run = 0;
  std::string format = "table";
  double older_than = -1;
  HistoryOptions prune_history;  // prune's own --history / --no-history, when given after it
};

int ListRuns(history::Store& store, const HistoryCommand& o) {
  std::string error;
  std::vector<history::Run> runs;
  if (o.run > 0) {
    if (auto r = store.Get(o.run, &error)) runs.push_back(*r);
    if (error.empty() && runs.empty())
      error = "no run " + std::to_string(o.run) + " in the history";
  } else {
    runs = store.Runs(o.limit, 0, &error);
  }
  if (!error.empty()) {
    std::cerr << error << '\n';
    return static_cast<int>(ExitCode::kInvalidParameters);
  }
  db::Recordset t = history::RunRows(runs);
  if (o.run == 0) {
    Print({{"runs", &t}}, o.format);
  } else {
    // One run: its findings too, and for a run over every company, its units.
    db::Recordset f = history::FindingRows(store.Findings(o.run, &error));
    db::Recordset units = history::RunRows(store.Runs(1000000, o.run, &error));
    std::vector<std::pair<const char*, db::Recordset*>> tables = {{"runs", &t}};
    if (f.RecordCount() > 0) tables.emplace_back("findings", &f);
    if (units.RecordCount() > 0) tables.emplace_back("units", &units);
    Print(tables, o.format);
  }
  return 0;
}

int KeyStory(history::Store& store, const HistoryCommand& o) {
  std::string error;
  const auto story = store.KeyStory(o.key, &error);
  if (!error.empty()) {
    std::cerr << error << '\n';
    return static_cast<int>(ExitCode::kInvalidParameters);
  }
  db::Recordset t = history::KeyStoryRows(story);
  std::int64_t first = 0, last = 0;
  for (const history::KeyEvent& e : story) {
    if (e.flagged) {
      if (first == 0) first = e.run.id;
      last = e.run.id;
    }
  }
  Print({{"runs", &t}}, o.format);
  if (first > 0) {
    std::cerr << "first seen in run " << first << ", last seen in run " << last << '\n';
  } else {
    std::cerr << "no recorded check flagged " << o.key << '\n';
  }
  return 0;
}

struct AckCommand {
  HistoryOptions history;
  std::vector<std::string> keys;
  std::string note, connection;
};

}  // namespace

void AddHistoryCommands(CLI::App& app, ExitCode& code) {
  auto h = std::make_shared<HistoryCommand>();
  CLI::App* cmd = app.add_subcommand(
      "history", "The run history: the latest runs, one run's findings, or one key's story");
  AddHistoryOptions(cmd, h->history);
  cmd->add_option("--limit", h->limit, "runs to list, the latest first")
      ->check(CLI::Range(1, 1000000));
  cmd->add_option("--run", h->run, "one run, with its findings and its units")->check(kRunNumber);
  cmd->add_option("--key", h->key, "one key as a check prints it: every run of its scope")
      ->check(NotBlank("the key"));
  cmd->add_option("--format", h->format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  CLI::App* prune = cmd->add_subcommand("prune", "Forget runs older than some days");
  prune->add_option("--older-than", h->older_than, "days")
      ->required()
      ->check(CLI::Range(0.0, 100000.0));
  AddHistoryOptions(prune, h->prune_history);
  cmd->callback([h, cmd, &code] {
    if (!cmd->get_subcommands().empty()) return;
    bool refused = false;
    auto store = OpenHistory(h->history, refused, true);
    if (!store) {
      if (!refused) std::cerr << "no run history: --no-history, or no folder to keep one in\n";
      code = ExitCode::kInvalidParameters;
      return;
    }
    code = static_cast<ExitCode>(h->key.empty() ? ListRuns(*store, *h) : KeyStory(*store, *h));
  });
  prune->callback([h, &code] {
    const HistoryOptions& which =
        h->prune_history.none || !h->prune_history.path.empty() ? h->prune_history : h->history;
    bool refused = false;
    auto store = OpenHistory(which, refused);
    if (!store) {
      if (!refused) std::cerr << "no run history: --no-history, or no folder to keep one in\n";
      code = ExitCode::kInvalidParameters;
      return;
    }
    std::string error;
    const std::int64_t n = store->Prune(h->older_than, &error);
    if (!error.empty()) {
      std::cerr << error << '\n';
      code = ExitCode::kProgramError;
      return;
    }
    std::cerr << "history: " << n << " runs older than " << h->older_than << " days forgotten\n";
  });

  auto a = std::make_shared<AckCommand>();
  CLI::App* ack = app.add_subcommand(
      "ack", "Acknowledge known differences: --new-only hides them until their amounts change");
  AddHistoryOptions(ack, a->history);
  ack->add_option("key", a->keys, "keys as the check prints them (--keys, --new-only)")
      ->required()
      ->check(NotBlank("a key"));
  ack->add_option("--note", a->note, "why the difference is accepted")
      ->required()
      ->check(NotBlank("the note"));
  ack->add_option("--connection", a->connection,
                  "only the key's findings on this database (default: wherever it was last "
                  "flagged)");
  ack->callback([a, &code] {
    bool refused = false;
    auto store = OpenHistory(a->history, refused);
    if (!store) {
      if (!refused) std::cerr << "no run history: --no-history, or no folder to keep one in\n";
      code = ExitCode::kInvalidParameters;
      return;
    }
    history::Scope where;
    if (!a->connection.empty()) history::LocateConnection(a->connection, where);
    std::string error;
    const int n =
        store->Acknowledge(a->keys, a->note, a->connection.empty() ? nullptr : &where, &error);
    if (!error.empty()) {
      std::cerr << error << '\n';
      code = ExitCode::kInvalidParameters;
      return;
    }
    std::cerr << "history: " << n << (n == 1 ? " key" : " keys") << " acknowledged\n";
  });
}

}  // namespace veriprog::cli
