#include "db/postgres/tsql_runner.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>

#include "db/keep_rows.h"
#include "db/postgres/tsql_rewrite.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::pg {
namespace {

std::string SavepointCommand(std::string_view command, std::string_view savepoint) {
  return std::string(command) + std::string(savepoint);
}

// A condition that compares two whole numbers (a row count or a whole-number variable with a
// constant) is decided here: the server would say the same, one round trip later. nullopt for
// anything else.
std::optional<bool> WholeNumberComparison(const std::string& condition) {
  static const std::regex kComparison(
      R"(^\s*(-?)\s*([0-9]{1,18})\s*(=|<>|!=|<=|>=|<|>)\s*(-?)\s*([0-9]{1,18})\s*$)");
  // Parentheses around either side or the whole change nothing; each becomes a blank.
  std::string bare = condition;
  int depth = 0;
  for (char& c : bare) {
    if (c == '(') ++depth;
    if (c == ')' && --depth < 0) return std::nullopt;
    if (c == '(' || c == ')') c = ' ';
  }
  std::smatch m;
  if (depth != 0 || !std::regex_match(bare, m, kComparison)) return std::nullopt;
  const long long a = std::stoll(m[1].str() + m[2].str());
  const long long b = std::stoll(m[4].str() + m[5].str());
  const std::string op = m[3].str();
  if (op == "=") return a == b;
  if (op == "<>" || op == "!=") return a != b;
  if (op == "<=") return a <= b;
  if (op == ">=") return a >= b;
  if (op == "<") return a < b;
  return a > b;
}

std::string QuoteLiteral(std::string_view text) {
  return Quoted(text);
}

long long MillisecondsSince(std::chrono::steady_clock::time_point started) {
  return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - started)
                                    .count());
}

}  // namespace

const std::vector<std::string>& SessionSettings() {
  static const std::vector<std::string> kSettings = {
      "SET DateStyle = ISO, YMD",
      "SET application_name = 'veriprog'",
      // The statements are short and planned once: compiling them costs more than it saves.
      "SET jit = off",
      // Sums per account of a fiscal year are hashed or sorted in memory, and the headers a
      // year's lines join (4 million at 10 million lines: 290 MB) are hashed once rather than
      // probed line by line. The bound is per hash (512 MB) or sort of a statement: a year's
      // yearly totals summed in fourteen columns hold some 5 KiB a key, and at 400,000 keys a
      // larger one let a single grouping take 2 GB of the server's memory, more slowly than
      // the batches it spills in now.
      "SET work_mem = '256MB'",
      "SET hash_mem_multiplier = 2",
      // Temporary tables of a fiscal year stay in this session's memory (before its first use).
      "SET temp_buffers = '512MB'",
  };
  return kSettings;
}

std::unique_ptr<StatementOutcome> StatementChannel::SendUnderSavepoint(const std::string& sql,
                                                                       std::string_view savepoint) {
  Send(SavepointCommand("SAVEPOINT ", savepoint));
  std::unique_ptr<StatementOutcome> outcome;
  try {
    outcome = Send(sql);
  } catch (const DbError&) {
    try {
      Send(SavepointCommand("ROLLBACK TO SAVEPOINT ", savepoint));
      Send(SavepointCommand("RELEASE SAVEPOINT ", savepoint));
    } catch (const DbError&) {
      // The connection is gone or interrupted: the statement's own error says why, and the
      // transaction is undone as a whole.
    }
    throw;
  }
  Send(SavepointCommand("RELEASE SAVEPOINT ", savepoint));
  return outcome;
}

QueryResult StatementChannel::SendKeeping(const std::string& sql, const RowFilter& keep) {
  std::unique_ptr<StatementOutcome> outcome = Send(sql);
  if (!outcome->has_rows()) throw DbError("the statement returned no rows to open a record set on");
  return KeepRows(outcome->ToQueryResult(), keep);
}

TsqlRunner::TsqlRunner(StatementChannel& channel)
    : channel_(channel), timing_(std::getenv("VERIPROG_SQL_TIMES") != nullptr) {}

void TsqlRunner::Atomically(const std::function<void()>& work) {
  if (!in_transaction_) {
    work();
    return;
  }
  channel_.Send(SavepointCommand("SAVEPOINT ", TsqlRunner::kSavepointName));
  try {
    work();
  } catch (...) {  // whatever ended the work (a reader of rows may give up), it undoes itself
    try {
      channel_.Send(SavepointCommand("ROLLBACK TO SAVEPOINT ", kSavepointName));
      channel_.Send(SavepointCommand("RELEASE SAVEPOINT ", kSavepointName));
    } catch (const DbError&) {
      // The connection is gone or interrupted: the statement's own error says why, and the
      // transaction is undone as a whole.
    }
    throw;
  }
  channel_.Send(SavepointCommand("RELEASE SAVEPOINT ", kSavepointName));
}

std::unique_ptr<StatementOutcome> TsqlRunner::Send(const std::string& sql) {
  if (!in_transaction_) return channel_.Send(sql);
  return channel_.SendUnderSavepoint(sql, kSavepointName);
}

std::optional<std::string> TsqlRunner::Scalar(const std::string& sql) {
  return Send(sql)->FirstValue();
}

std::optional<QueryResult> TsqlRunner::Execute(std::string_view batch,
                                               std::int64_t* rows_affected) {
  const auto nodes = tsql::ParseScript(tsql::Lex(batch));
  RunState state;
  Run(nodes, state);
  if (rows_affected != nullptr) *rows_affected = state.row_count;
  return std::move(state.first_result);
}

QueryResult TsqlRunner::QueryKeeping(std::string_view batch, const RowFilter& keep) {
  const auto nodes = tsql::ParseScript(tsql::Lex(batch));
  const bool single = nodes.size() == 1 && nodes[0].kind == tsql::Node::Kind::kStatement;
  std::optional<tsql::Translation> translation;
  if (single) {
    RunState state;
    translation = tsql::TranslateStatement(nodes[0].tokens, Lookup(state));
  }
  // A statement that fills a temporary table is one to run as every other.
  if (!translation || !translation->filled_temp_tables.empty()) {
    std::optional<QueryResult> result = Execute(batch, nullptr);
    if (!result) throw DbError("the statement returned no rows to open a record set on");
    return KeepRows(std::move(*result), keep);
  }
  PrepareTablesUsedBy(translation->sql);
  const auto started = std::chrono::steady_clock::now();
  QueryResult out;
  Atomically([&] { out = channel_.SendKeeping(translation->sql, keep); });
  if (timing_) {
    std::fprintf(stderr, "[sql %6lld ms] %s\n", MillisecondsSince(started),
                 translation->sql.c_str());
  }
  return out;
}

tsql::VariableLookup TsqlRunner::Lookup(const RunState& state) {
  return [&state](const std::string& name) -> std::optional<std::string> {
    if (name == "@@ROWCOUNT") return std::to_string(state.row_count);
    auto it = state.variables.find(name);
    if (it == state.variables.end()) return std::nullopt;
    const Variable& v = it->second;
    return "CAST(" + (v.value ? QuoteLiteral(*v.value) : std::string("NULL")) + " AS " + v.type +
           ")";
  };
}

void TsqlRunner::Run(const std::vector<tsql::Node>& nodes, RunState& state) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (i + 1 < nodes.size() && RunUpdateOrInsert(nodes[i], nodes[i + 1], state)) {
      ++i;
      continue;
    }
    RunNode(nodes[i], state);
  }
}

namespace {

std::vector<tsql::Token> Significant(const std::vector<tsql::Token>& tokens) {
  std::vector<tsql::Token> out;
  for (const auto& t : tokens) {
    if (t.significant()) out.push_back(t);
  }
  return out;
}

// The condition is exactly @@ROWCOUNT = 0.
bool NoRowCounted(const std::vector<tsql::Token>& condition) {
  const auto t = Significant(condition);
  return t.size() == 3 && t[0].kind == tsql::TokenKind::kVariable && t[0].Upper() == "@@ROWCOUNT" &&
         t[1].IsSymbol("=") && t[2].kind == tsql::TokenKind::kNumber && t[2].text == "0";
}

// A translated statement that begins with `verb` and holds no ';', no RETURNING and no WITH of
// its own at its top level.
bool PlainStatement(const std::vector<tsql::Token>& tokens, std::string_view verb) {
  const auto t = Significant(tokens);
  if (t.empty() || !t[0].IsWord(verb)) return false;
  for (const auto& token : t) {
    if (token.IsSymbol(";") || token.IsWord("RETURNING") || token.IsWord("WITH")) return false;
  }
  return true;
}

// "INSERT INTO t (columns) VALUES (values)" as "INSERT INTO t (columns) SELECT values WHERE
// <condition>"; nullopt unless the statement ends with one row of values.
std::optional<std::string> InsertSelect(const std::vector<tsql::Token>& tokens,
                                        std::string_view condition) {
  int depth = 0;
  std::size_t values = tokens.size();
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].IsSymbol("(")) ++depth;
    if (tokens[i].IsSymbol(")")) --depth;
    if (depth == 0 && tokens[i].IsWord("VALUES")) {
      if (values != tokens.size()) return std::nullopt;  // a second VALUES
      values = i;
    }
  }
  if (values == tokens.size()) return std::nullopt;
  // After VALUES: one parenthesised row, and nothing significant after it.
  std::size_t open = values + 1;
  while (open < tokens.size() && !tokens[open].significant())
    ++open;
  if (open == tokens.size() || !tokens[open].IsSymbol("(")) return std::nullopt;
  std::size_t close = open;
  depth = 0;
  for (; close < tokens.size(); ++close) {
    if (tokens[close].IsSymbol("(")) ++depth;
    if (tokens[close].IsSymbol(")") && --depth == 0) break;
  }
  if (close == tokens.size()) return std::nullopt;
  for (std::size_t i = close + 1; i < tokens.size(); ++i) {
    if (tokens[i].significant()) return std::nullopt;
  }
  const std::vector<tsql::Token> head(tokens.begin(), tokens.begin() + values);
  const std::vector<tsql::Token> row(tokens.begin() + open + 1, tokens.begin() + close);
  for (const auto& t : row) {
    if (t.IsWord("DEFAULT")) return std::nullopt;  // a column default has no SELECT form
  }
  return tsql::Join(head) + "SELECT " + tsql::Join(row) + " WHERE " + std::string(condition);
}

// The names a statement reads, in lower case: every word of letters, digits and underscores.
std::set<std::string> NamesIn(std::string_view sql) {
  std::set<std::string> out;
  std::string word;
  for (std::size_t i = 0; i <= sql.size(); ++i) {
    const char c = i < sql.size() ? sql[i] : ' ';
    if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') {
      word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    } else if (!word.empty()) {
      out.insert(std::move(word));
      word.clear();
    }
  }
  return out;
}

}  // namespace

void TsqlRunner::WatchUnanalysedTables() {
  // The tables of the ledger's schemas that no ANALYZE (nor autovacuum) has seen, and the views
  // that read them. Catalogs only: nothing here waits on a lock another session holds.
  static const char* kUnanalysed =
      "WITH t AS (SELECT oid, relname FROM pg_class WHERE relkind = 'r' AND reltuples < 0 AND "
      "relnamespace::regnamespace::text = ANY (current_schemas(false))) "
      "SELECT relname, relname FROM t UNION SELECT v.relname, t.relname FROM t "
      "JOIN pg_depend d ON d.refobjid = t.oid AND d.refclassid = 'pg_class'::regclass "
      "AND d.classid = 'pg_rewrite'::regclass JOIN pg_rewrite r ON r.oid = d.objid "
      "JOIN pg_class v ON v.oid = r.ev_class AND v.relkind = 'v'";
  try {
    QueryResult found = channel_.Send(kUnanalysed)->ToQueryResult();
    for (db::RowId id = 0; id < found.table->size(); ++id) {
      const auto& row = found.table->row(id).values;
      unanalysed_[row[0].ToText()] = row[1].ToText();
    }
  } catch (const DbError&) {
    // Catalogs out of reach: planned as the server stands.
  }
}

bool TsqlRunner::RunUpdateOrInsert(const tsql::Node& update, const tsql::Node& condition,
                                   RunState& state) {
  if (update.kind != tsql::Node::Kind::kStatement || condition.kind != tsql::Node::Kind::kIf ||
      condition.children.size() != 1 ||
      condition.children[0].kind != tsql::Node::Kind::kStatement ||
      !NoRowCounted(condition.tokens)) {
    return false;
  }
  const auto& insert = condition.children[0];
  const auto significant_update = Significant(update.tokens);
  const auto significant_insert = Significant(insert.tokens);
  if (significant_update.empty() || !significant_update[0].IsWord("UPDATE") ||
      significant_insert.empty() || !significant_insert[0].IsWord("INSERT")) {
    return false;
  }
  const tsql::VariableLookup lookup = Lookup(state);
  const auto updating = tsql::TranslateStatement(update.tokens, lookup);
  const auto inserting = tsql::TranslateStatement(insert.tokens, lookup);
  if (!updating.filled_temp_tables.empty() || !inserting.filled_temp_tables.empty()) return false;
  const auto update_tokens = tsql::Lex(updating.sql);
  const auto insert_tokens = tsql::Lex(inserting.sql);
  if (!PlainStatement(update_tokens, "UPDATE") || !PlainStatement(insert_tokens, "INSERT")) {
    return false;
  }
  const auto insert_select =
      InsertSelect(insert_tokens, "NOT EXISTS (SELECT 1 FROM veriprog_updated)");
  if (!insert_select) return false;

  // One statement: the insert sees the update's outcome, not its rows, and both counts come
  // back, so that @@ROWCOUNT reads as it would after the two statements.
  const std::string sql = "WITH veriprog_updated AS (" + updating.sql +
                          " RETURNING 1), veriprog_inserted AS (" + *insert_select +
                          " RETURNING 1) SELECT (SELECT COUNT(*) FROM veriprog_updated), "
                          "(SELECT COUNT(*) FROM veriprog_inserted)";
  PrepareTablesUsedBy(sql);
  const auto started = std::chrono::steady_clock::now();
  auto outcome = Send(sql);
  if (timing_) {
    std::fprintf(stderr, "[sql %6lld ms] %s\n", MillisecondsSince(started), sql.c_str());
  }
  QueryResult counts = outcome->ToQueryResult();
  const auto& row = counts.table->row(0).values;
  const std::int64_t updated = row[0].AsInteger();
  const std::int64_t inserted = row[1].AsInteger();
  state.row_count = updated > 0 ? updated : inserted;
  return true;
}

void TsqlRunner::RunNode(const tsql::Node& node, RunState& state) {
  const tsql::VariableLookup lookup = Lookup(state);
  switch (node.kind) {
    case tsql::Node::Kind::kStatement: {
      const auto translation = tsql::TranslateStatement(node.tokens, lookup);
      PrepareTablesUsedBy(translation.sql);
      const auto started = std::chrono::steady_clock::now();
      auto outcome = Send(translation.sql);
      if (timing_) {
        std::fprintf(stderr, "[sql %6lld ms] %s\n", MillisecondsSince(started),
                     translation.sql.c_str());
      }
      state.row_count = outcome->count();
      if (outcome->has_rows() && !state.first_result) {
        state.first_result = outcome->ToQueryResult();
      }
      NoteFilled(translation);
      break;
    }
    case tsql::Node::Kind::kDeclare:
      for (const auto& [name, type] : node.declarations) {
        state.variables[name] = Variable{tsql::TranslateType(type), std::nullopt};
      }
      break;
    case tsql::Node::Kind::kSet: {
      auto it = state.variables.find(node.variable);
      if (it == state.variables.end()) {
        throw DbError("T-SQL: variable " + node.variable + " is not declared");
      }
      it->second.value = Scalar("SELECT CAST((" + tsql::TranslateExpression(node.tokens, lookup) +
                                ") AS " + it->second.type + ")");
      state.row_count = 1;
      break;
    }
    case tsql::Node::Kind::kIf: {
      const std::string condition = tsql::TranslateExpression(node.tokens, lookup);
      const auto decided = WholeNumberComparison(condition);
      const bool holds =
          decided ? *decided
                  : Scalar("SELECT CASE WHEN (" + condition + ") THEN 1 ELSE 0 END") == "1";
      if (holds) {
        RunNode(node.children[0], state);
      } else if (node.children.size() > 1) {
        RunNode(node.children[1], state);
      }
      break;
    }
    case tsql::Node::Kind::kBlock:
      Run(node.children, state);
      break;
    case tsql::Node::Kind::kNoOp:
      break;
  }
}

void TsqlRunner::NoteFilled(const tsql::Translation& translation) {
  // Index and statistics wait until a later statement reads the table: a result table that is
  // only fetched needs neither.
  for (const auto& temp : translation.filled_temp_tables) {
    unprepared_[temp] = translation.index_columns;
  }
}

void TsqlRunner::PrepareTablesUsedBy(const std::string& sql) {
  PrepareTempTablesUsedBy(sql);
  PrepareStoredTablesUsedBy(sql);
}

void TsqlRunner::PrepareStoredTablesUsedBy(const std::string& sql) {
  if (unanalysed_.empty()) return;
  std::set<std::string> tables;
  for (const std::string& name : NamesIn(sql)) {
    auto it = unanalysed_.find(name);
    if (it != unanalysed_.end()) tables.insert(it->second);
  }
  for (const std::string& table : tables) {
    const auto started = std::chrono::steady_clock::now();
    PrepareStoredTable(table);
    if (timing_) {
      std::fprintf(stderr, "[sql %6lld ms] (statistics of %s)\n", MillisecondsSince(started),
                   table.c_str());
    }
    std::erase_if(unanalysed_, [&](const auto& entry) { return entry.second == table; });
  }
}

void TsqlRunner::PrepareStoredTable(const std::string& table) {
  const std::string name = Quoted(table, '"');
  // Another run may have analysed it since this session began. A table under a megabyte is left
  // as it is: the planner's guess for a table without statistics is a small one, and right there.
  // (Its size waits for a lock as the statement about to read it would.)
  // One round trip for the table's state and the two settings put back afterwards.
  const QueryResult state =
      channel_
          .Send(
              "SELECT CASE WHEN reltuples < 0 AND pg_relation_size(oid) >= 1048576 THEN 1 "
              "ELSE 0 END, current_setting('default_statistics_target'), "
              "current_setting('lock_timeout') FROM pg_class WHERE oid = to_regclass(" +
              Quoted(name) + ")")
          ->ToQueryResult();
  if (state.table->size() == 0 || state.table->row(0).values[0].ToText() != "1") return;
  const std::string target = state.table->row(0).values[1].ToText();
  const std::string timeout = state.table->row(0).values[2].ToText();
  // A tenth of the usual sample, a tenth of the time: enough to plan on. Autovacuum's own
  // analyse refines it later.
  const auto sample = [&](const char* value, bool local) {
    channel_.Send("SELECT set_config('default_statistics_target', " + Quoted(value) + ", " +
                  (local ? "true" : "false") + ")");
  };
  if (in_transaction_) {
    // ANALYZE keeps its lock to the end of the transaction: taken only if free, and under a
    // savepoint, so that a refusal undoes nothing else.
    try {
      Atomically([&] {
        sample("10", true);
        channel_.Send("LOCK TABLE " + name + " IN SHARE UPDATE EXCLUSIVE MODE NOWAIT");
        channel_.Send("ANALYZE " + name);
        sample(target.c_str(), true);
      });
    } catch (const DbError&) {
      // Held by another run, or not ours to analyse: planned as it stands.
    }
    return;
  }
  // Alone, ANALYZE holds its lock only while it works: it waits for it a moment at most.
  channel_.Send("SET lock_timeout = 50");
  sample("10", false);
  try {
    channel_.Send("ANALYZE " + name);
  } catch (const DbError&) {
    // As above.
  }
  sample(target.c_str(), false);
  channel_.Send("SELECT set_config('lock_timeout', " + Quoted(timeout) + ", false)");
}

void TsqlRunner::PrepareTempTablesUsedBy(const std::string& sql) {
  if (unprepared_.empty()) return;
  // Reading a whole table in one pass needs no plan: SELECT * FROM #t [ORDER BY ...].
  static const std::regex kWholeTable(
      R"(^\s*SELECT\s+\*\s+FROM\s+pg_temp\."[^"]+"\s*(ORDER\s+BY\s.*)?$)", std::regex::icase);
  const bool whole_table = std::regex_match(sql, kWholeTable);
  for (auto it = unprepared_.begin(); it != unprepared_.end();) {
    if (sql.find(it->first) == std::string::npos) {
      ++it;
      continue;
    }
    const bool dropping = sql.find("DROP TABLE") != std::string::npos;
    if (!whole_table && !dropping) {
      const auto started = std::chrono::steady_clock::now();
      try {
        PrepareTempTable(it->first, it->second);
      } catch (const DbError&) {
        // Gone with a rolled-back transaction: nothing to prepare.
      }
      if (timing_) {
        std::fprintf(stderr, "[sql %6lld ms] (index or statistics of %s)\n",
                     MillisecondsSince(started), it->first.c_str());
      }
    }
    it = unprepared_.erase(it);
  }
}

void TsqlRunner::PrepareTempTable(const std::string& temp,
                                  const std::vector<std::string>& index_columns) {
  if (!index_columns.empty()) {
    try {
      // Building the index also counts the rows, which is what the planner needs most.
      Send("CREATE INDEX ON " + temp + " (" + tsql::ColumnList(index_columns) + ")");
      return;
    } catch (const DbError&) {
      // The order was on columns of the source, not of the table: statistics instead.
    }
  }
  Send("ANALYZE " + temp);
}

}  // namespace veriprog::db::pg
