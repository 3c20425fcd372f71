// The history file: its making, its refusal when it is not a sound history, and its records.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "history/sqlite.h"
#include "veriprog/error.h"
#include "veriprog/history.h"

namespace veriprog::history {

namespace {

// The file as SQLite opens it only to read: by a URI, so that a history whose write-ahead log is
// gone (every writer closed it, and it was folded into the file) reads as it stands even where
// this user may not make the log's companion files.
std::string ReadOnlyUri(const std::string& path) {
  std::string uri = "file:";
  for (const unsigned char ch : path) {
    if (std::isalnum(ch) || std::strchr("/-._~", ch) != nullptr) {
      uri += static_cast<char>(ch);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", ch);
      uri += hex;
    }
  }
  std::error_code ec;
  uri += std::filesystem::exists(path + "-wal", ec) ? "?mode=ro" : "?mode=ro&immutable=1";
  return uri;
}

}  // namespace

struct Store::Db {
  Db(const std::string& path, bool read_only)
      : c(read_only ? ReadOnlyUri(path) : path,
          (read_only ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE) |
              SQLITE_OPEN_FULLMUTEX) {}
  sqlite::Connection c;
};

namespace {

namespace fs = std::filesystem;
using sqlite::Statement;

// "VPRH" in the file's header: a history is told from any other SQLite file by it.
constexpr int kApplicationId = 0x56505248;
constexpr int kSchemaVersion = 2;  // 2: findings reopened by moved amounts
// Long enough for another run's write (a change set of some megabytes) to end.
constexpr int kBusyMilliseconds = 30000;

constexpr const char* kSchema = R"sql(
CREATE TABLE runs (
  id           INTEGER PRIMARY KEY,
  parent       INTEGER NOT NULL DEFAULT 0,
  operation    TEXT NOT NULL,
  server       TEXT NOT NULL,
  database     TEXT NOT NULL,
  company      TEXT NOT NULL,
  family       TEXT NOT NULL,
  period       TEXT NOT NULL,
  part         TEXT NOT NULL,
  parameters   TEXT NOT NULL,
  started      TEXT NOT NULL,
  started_at   REAL NOT NULL,
  tool_version TEXT NOT NULL,
  exit_code    INTEGER NOT NULL,
  rows         INTEGER,
  flagged      INTEGER,
  seconds      REAL NOT NULL,
  error        TEXT NOT NULL,
  undone_by    INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX runs_by_scope ON runs (operation, server, database, company, family, period, part, id);
CREATE INDEX runs_by_time ON runs (started_at);
CREATE TABLE findings (
  run     INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  key      TEXT NOT NULL,
  amounts  TEXT NOT NULL,
  reopened INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (run, key)
) WITHOUT ROWID;
CREATE INDEX findings_by_key ON findings (key, run);
CREATE TABLE acknowledged (
  server   TEXT NOT NULL,
  database TEXT NOT NULL,
  key      TEXT NOT NULL,
  amounts  TEXT NOT NULL,
  note     TEXT NOT NULL,
  at       TEXT NOT NULL,
  PRIMARY KEY (server, database, key)
);
CREATE TABLE change_sets (
  run  INTEGER PRIMARY KEY REFERENCES runs (id) ON DELETE CASCADE,
  body TEXT NOT NULL
);
)sql";

std::string UtcNow(double* seconds) {
  const auto now = std::chrono::system_clock::now();
  if (seconds) *seconds = std::chrono::duration<double>(now.time_since_epoch()).count();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

double SecondsOf(const std::string& utc) {
  std::tm tm{};
  if (!strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm)) return 0;
  return static_cast<double>(timegm(&tm));
}

std::uint32_t BigEndian(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i)
    v = (v << 8) | p[i];
  return v;
}

// Reads the file's header and asks SQLite to look it over, without writing a byte: a file that
// is not a sound history is refused as it is.
void Inspect(const std::string& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) throw db::DbError("cannot read the history " + path + ": " + ec.message());
  unsigned char header[100] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(header), sizeof header);
  if (size < sizeof header || !in || std::memcmp(header, "SQLite format 3", 16) != 0) {
    throw db::DbError("the history " + path + (size == 0 ? " is empty" : " is not an SQLite file") +
                      ": refused, left as it is (move it away, or name another with --history)");
  }
  std::uint32_t page = BigEndian(header + 16, 2);
  if (page == 1) page = 65536;
  const std::uint32_t pages = BigEndian(header + 28, 4);
  const bool pages_valid = BigEndian(header + 92, 4) == BigEndian(header + 24, 4);
  if (pages_valid && size < static_cast<std::uintmax_t>(pages) * page) {
    throw db::DbError("the history " + path + " is truncated (" + std::to_string(size) +
                      " bytes of " + std::to_string(static_cast<std::uintmax_t>(pages) * page) +
                      "): refused, left as it is");
  }
  if (BigEndian(header + 68, 4) != static_cast<std::uint32_t>(kApplicationId)) {
    throw db::DbError("the file " + path +
                      " is an SQLite database but not a veriprog history: refused, left as it is");
  }
  sqlite::Connection c(ReadOnlyUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  sqlite3_busy_timeout(c.raw(), kBusyMilliseconds);
  Statement check = c.Prepare("PRAGMA quick_check");
  const std::string verdict = check.Step() ? check.Text(0) : "";
  if (verdict != "ok") {
    throw db::DbError("the history " + path + " is damaged (" + verdict +
                      "): refused, left as it is");
  }
  Statement version = c.Prepare("PRAGMA user_version");
  if (!version.Step() || version.Int(0) > kSchemaVersion) {
    throw db::DbError("the history " + path + " was written by a later version (schema " +
                      std::to_string(version.Int(0)) + "): refused, left as it is");
  }
}

// A history written by an earlier version gains what this one records, in one transaction.
void Upgrade(sqlite::Connection& c) {
  auto version = [&] {
    Statement v = c.Prepare("PRAGMA user_version");
    return v.Step() ? v.Int(0) : 0;
  };
  if (version() >= kSchemaVersion) return;
  sqlite::Transaction t(c);
  if (version() == 1)  // another run may have upgraded it while this one waited
    c.Execute("ALTER TABLE findings ADD COLUMN reopened INTEGER NOT NULL DEFAULT 0");
  c.Execute(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  t.Commit();
}

// Makes the file whole under another name and links it in place: another run never sees a
// history half made, and a file that appeared meanwhile is kept.
void Make(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  std::error_code ec;
  if (!folder.empty()) fs::create_directories(folder, ec);
  const std::string draft = path + "." + std::to_string(getpid()) + ".new";
  fs::remove(draft, ec);
  if (access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) {
    throw db::DbError("cannot make the history " + path + ": the folder " +
                      (folder.empty() ? std::string(".") : folder.string()) +
                      " is not there or not writable (" + std::strerror(errno) + ")");
  }
  {
    sqlite::Connection c(draft, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    c.Execute("PRAGMA journal_mode = WAL");
    sqlite::Transaction t(c);
    c.Execute(kSchema);
    c.Execute(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
    c.Execute(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    t.Commit();
    c.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
  }
  fs::remove(draft + "-wal", ec);
  fs::remove(draft + "-shm", ec);
  bool linked = link(draft.c_str(), path.c_str()) == 0;
  int why = errno;
  if (!linked && why != EEXIST) {
    // A file system without hard links: a rename that never replaces does the same.
    linked = renameat2(AT_FDCWD, draft.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
    why = errno;
  }
  fs::remove(draft, ec);
  if (!linked && why != EEXIST) {
    throw db::DbError("cannot make the history " + path + ": " + std::strerror(why));
  }
}

template <typename F>
auto Guard(std::string* error, F&& body) -> decltype(body()) {
  try {
    if (error) error->clear();
    return body();
  } catch (const std::exception& e) {
    if (error) *error = e.what();
  }
  return decltype(body())();
}

constexpr const char* kRunColumns =
    "id, parent, operation, server, database, company, family, period, part, parameters, "
    "started, tool_version, exit_code, rows, flagged, seconds, error, undone_by, "
    "EXISTS (SELECT 1 FROM change_sets WHERE change_sets.run = runs.id)";

Run ReadRun(const Statement& s, int at = 0) {
  Run r;
  r.id = s.Int(at);
  r.parent = s.Int(at + 1);
  r.operation = s.Text(at + 2);
  r.scope = {s.Text(at + 3), s.Text(at + 4), s.Text(at + 5),
             s.Text(at + 6), s.Text(at + 7), s.Text(at + 8)};
  r.parameters = s.Text(at + 9);
  r.started = s.Text(at + 10);
  r.tool_version = s.Text(at + 11);
  r.exit_code = static_cast<int>(s.Int(at + 12));
  r.rows = s.MaybeInt(at + 13);
  r.flagged = s.MaybeInt(at + 14);
  r.seconds = s.Real(at + 15);
  r.error = s.Text(at + 16);
  r.undone_by = s.Int(at + 17);
  r.has_changes = s.Int(at + 18) != 0;
  return r;
}

// Binds the operation and scope of `like` from `at`: seven parameters.
void BindScope(Statement& s, int at, const Run& like) {
  s.Bind(at, like.operation)
      .Bind(at + 1, like.scope.server)
      .Bind(at + 2, like.scope.database)
      .Bind(at + 3, like.scope.company)
      .Bind(at + 4, like.scope.family)
      .Bind(at + 5, like.scope.period)
      .Bind(at + 6, like.scope.part);
}
constexpr const char* kSameScope =
    "operation = ? AND server = ? AND database = ? AND company = ? AND family = ? AND "
    "period = ? AND part = ?";
// A run that ran to the end: its findings are the ledger's, not a failure's silence.
constexpr const char* kRanThrough = "exit_code IN (0, 1)";

}  // namespace

Store::Store(std::string path, std::unique_ptr<Db> db)
    : path_(std::move(path)), db_(std::move(db)) {}
Store::~Store() = default;

std::unique_ptr<Store> Store::Open(const std::string& path, std::string* error) {
  return Guard(error, [&]() -> std::unique_ptr<Store> {
    if (path.empty()) throw db::ParameterError("the history's path is empty");
    std::error_code ec;
    if (!fs::exists(path, ec)) Make(path);
    Inspect(path);
    if (access(path.c_str(), W_OK) != 0) {
      throw db::DbError("the history " + path +
                        " is not writable by this user: run with --no-history, or see the "
                        "README on a folder shared with group write");
    }
    auto db = std::make_unique<Db>(path, false);
    sqlite3_busy_timeout(db->c.raw(), kBusyMilliseconds);
    db->c.Execute("PRAGMA foreign_keys = ON");
    Upgrade(db->c);
    return std::unique_ptr<Store>(new Store(path, std::move(db)));
  });
}

std::unique_ptr<Store> Store::OpenToRead(const std::string& path, std::string* error) {
  return Guard(error, [&]() -> std::unique_ptr<Store> {
    std::error_code ec;
    if (path.empty() || !fs::exists(path, ec))
      throw db::ParameterError("no history at " + (path.empty() ? std::string("''") : path));
    Inspect(path);
    auto db = std::make_unique<Db>(path, true);
    sqlite3_busy_timeout(db->c.raw(), kBusyMilliseconds);
    Statement version = db->c.Prepare("PRAGMA user_version");
    if (version.Step() && version.Int(0) < kSchemaVersion) {
      throw db::DbError("the history " + path +
                        " was written by an earlier version: open it once with a user who may "
                        "write it");
    }
    return std::unique_ptr<Store>(new Store(path, std::move(db)));
  });
}

namespace {

// One run with its findings and change set, inside the caller's transaction. A key whose
// acknowledgement goes because its amounts moved is marked reopened: news again, once.
std::int64_t Insert(sqlite::Connection& c, const Run& run, const std::vector<Finding>& findings,
                    const std::string& change_set) {
  double at = 0;
  const std::string started = run.started.empty() ? UtcNow(&at) : run.started;
  if (!run.started.empty()) at = SecondsOf(run.started);
  Statement insert = c.Prepare(
      "INSERT INTO runs (parent, operation, server, database, company, family, period, part, "
      "parameters, started, started_at, tool_version, exit_code, rows, flagged, seconds, error) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, run.parent);
  BindScope(insert, 2, run);
  insert.Bind(9, run.parameters.empty() ? std::string_view("{}") : run.parameters)
      .Bind(10, started)
      .Bind(11, at)
      .Bind(12, run.tool_version)
      .Bind(13, static_cast<std::int64_t>(run.exit_code))
      .Bind(14, run.rows)
      .Bind(15, run.flagged)
      .Bind(16, run.seconds)
      .Bind(17, run.error);
  insert.Step();
  const std::int64_t id = c.LastId();
  Statement finding =
      c.Prepare("INSERT OR IGNORE INTO findings (run, key, amounts, reopened) VALUES (?, ?, ?, ?)");
  Statement moved = c.Prepare(
      "DELETE FROM acknowledged WHERE server = ? AND database = ? AND key = ? AND amounts <> ?");
  for (const Finding& f : findings) {
    moved.Bind(1, run.scope.server).Bind(2, run.scope.database).Bind(3, f.key).Bind(4, f.amounts);
    moved.Step();
    moved.Reset();
    const std::int64_t reopened = c.Changes() > 0 ? 1 : 0;
    finding.Bind(1, id).Bind(2, f.key).Bind(3, f.amounts).Bind(4, reopened).Step();
    finding.Reset();
  }
  if (!change_set.empty()) {
    c.Prepare("INSERT INTO change_sets (run, body) VALUES (?, ?)")
        .Bind(1, id)
        .Bind(2, change_set)
        .Step();
  }
  return id;
}

}  // namespace

std::int64_t Store::Record(const Run& run, const std::vector<Finding>& findings,
                           const std::string& change_set, std::string* error) {
  return Guard(error, [&]() -> std::int64_t {
    sqlite::Transaction t(db_->c);
    const std::int64_t id = Insert(db_->c, run, findings, change_set);
    t.Commit();
    return id;
  });
}

std::int64_t Store::RecordBatch(Run parent, const std::vector<BatchUnit>& units,
                                std::string* error) {
  return Guard(error, [&]() -> std::int64_t {
    sqlite::Transaction t(db_->c);
    const std::int64_t id = Insert(db_->c, parent, {}, "");
    for (const BatchUnit& u : units) {
      Run run = u.run;
      run.parent = id;
      Insert(db_->c, run, u.findings, u.change_set);
    }
    t.Commit();
    return id;
  });
}

std::vector<RunFinding> Store::Findings(std::int64_t run_id, std::string* error) {
  return Guard(error, [&]() -> std::vector<RunFinding> {
    sqlite::Connection& c = db_->c;
    Statement get = c.Prepare(std::string("SELECT ") + kRunColumns + " FROM runs WHERE id = ?");
    get.Bind(1, run_id);
    if (!get.Step())
      throw db::ParameterError("no run " + std::to_string(run_id) + " in the history");
    const Run run = ReadRun(get);
    Statement previous = c.Prepare(std::string("SELECT MAX(id) FROM runs WHERE ") + kSameScope +
                                   " AND " + kRanThrough + " AND id < ?");
    BindScope(previous, 1, run);
    previous.Bind(8, run_id);
    const std::int64_t before = previous.Step() ? previous.MaybeInt(0).value_or(0) : 0;
    Statement rows = c.Prepare(
        "SELECT f.key, f.amounts, "
        "  EXISTS (SELECT 1 FROM findings p WHERE p.run = ? AND p.key = f.key), "
        "  (SELECT MIN(o.run) FROM findings o JOIN runs r ON r.id = o.run "
        "    WHERE o.key = f.key AND r.server = ? AND r.database = ? AND r.operation = ?), "
        "  a.note, a.amounts = f.amounts, f.reopened "
        "FROM findings f LEFT JOIN acknowledged a "
        "  ON a.server = ? AND a.database = ? AND a.key = f.key "
        "WHERE f.run = ? ORDER BY f.key");
    rows.Bind(1, before)
        .Bind(2, run.scope.server)
        .Bind(3, run.scope.database)
        .Bind(4, run.operation)
        .Bind(5, run.scope.server)
        .Bind(6, run.scope.database)
        .Bind(7, run_id);
    std::vector<RunFinding> out;
    while (rows.Step()) {
      RunFinding f;
      f.finding = {rows.Text(0), rows.Text(1)};
      f.first_seen = rows.MaybeInt(3).value_or(run_id);
      f.last_seen = run_id;
      const bool acknowledged = rows.MaybeInt(5).value_or(0) != 0;
      f.state = acknowledged       ? FindingState::kAcknowledged
                : rows.Int(2) != 0 ? FindingState::kKnown
                                   : FindingState::kNew;
      if (acknowledged) f.note = rows.Text(4);
      out.push_back(std::move(f));
    }
    return out;
  });
}

int Store::Acknowledge(const std::vector<std::string>& keys, const std::string& note,
                       const Scope* where, std::string* error) {
  return Guard(error, [&]() -> int {
    sqlite::Connection& c = db_->c;
    sqlite::Transaction t(c);
    const bool narrowed = where && (!where->server.empty() || !where->database.empty());
    Statement latest = c.Prepare(
        std::string("SELECT f.amounts, r.server, r.database FROM findings f JOIN runs r ON r.id = "
                    "f.run WHERE f.key = ?") +
        (narrowed ? " AND r.server = ? AND r.database = ?" : "") + " ORDER BY f.run DESC LIMIT 1");
    Statement put = c.Prepare(
        "INSERT OR REPLACE INTO acknowledged (server, database, key, amounts, note, at) "
        "VALUES (?, ?, ?, ?, ?, ?)");
    int n = 0;
    for (const std::string& key : keys) {
      latest.Bind(1, key);
      if (narrowed) latest.Bind(2, where->server).Bind(3, where->database);
      if (!latest.Step()) {
        throw db::ParameterError("no check has flagged the key " + key +
                                 (narrowed ? " on that database" : "") +
                                 ": nothing acknowledged (the key as the check prints it)");
      }
      put.Bind(1, latest.Text(1))
          .Bind(2, latest.Text(2))
          .Bind(3, key)
          .Bind(4, latest.Text(0))
          .Bind(5, note)
          .Bind(6, UtcNow(nullptr))
          .Step();
      put.Reset();
      latest.Reset();
      ++n;
    }
    t.Commit();
    return n;
  });
}

std::optional<Run> Store::Get(std::int64_t run, std::string* error) {
  return Guard(error, [&]() -> std::optional<Run> {
    Statement s = db_->c.Prepare(std::string("SELECT ") + kRunColumns + " FROM runs WHERE id = ?");
    s.Bind(1, run);
    if (!s.Step()) return std::nullopt;
    return ReadRun(s);
  });
}

std::vector<Run> Store::Runs(int limit, std::int64_t parent, std::string* error) {
  return Guard(error, [&]() -> std::vector<Run> {
    Statement s = db_->c.Prepare(
        std::string("SELECT ") + kRunColumns + " FROM runs" +
        (parent > 0 ? " WHERE parent = ? ORDER BY id LIMIT ?" : " ORDER BY id DESC LIMIT ?"));
    int at = 1;
    if (parent > 0) s.Bind(at++, parent);
    s.Bind(at, static_cast<std::int64_t>(limit));
    std::vector<Run> out;
    while (s.Step())
      out.push_back(ReadRun(s));
    return out;
  });
}

std::vector<KeyEvent> Store::KeyStory(const std::string& key, std::string* error) {
  return Guard(error, [&]() -> std::vector<KeyEvent> {
    // "family:company:period:columns": the runs that looked at the key are that scope's checks.
    const auto a = key.find(':'), b = key.find(':', a + 1), e = key.find(':', b + 1);
    if (a == std::string::npos || b == std::string::npos || e == std::string::npos)
      throw db::ParameterError("not a key as a check prints it: " + key);
    const std::string family = key.substr(0, a), company = key.substr(a + 1, b - a - 1),
                      period = key.substr(b + 1, e - b - 1);
    Statement s =
        db_->c.Prepare(std::string("SELECT ") + kRunColumns +
                       ", f.amounts IS NOT NULL, f.amounts, "
                       "  (SELECT note FROM acknowledged a WHERE a.server = runs.server AND "
                       "   a.database = runs.database AND a.key = ?) "
                       "FROM runs LEFT JOIN findings f ON f.run = runs.id AND f.key = ? "
                       "WHERE operation = ? AND family = ? AND company = ? AND period = ? AND " +
                       kRanThrough + " ORDER BY id");
    s.Bind(1, key)
        .Bind(2, key)
        .Bind(3, "check " + family)
        .Bind(4, family)
        .Bind(5, company)
        .Bind(6, period);
    std::vector<KeyEvent> out;
    while (s.Step())
      out.push_back({ReadRun(s), s.Int(19) != 0, s.Text(20), s.Text(21)});
    return out;
  });
}

std::vector<TrendPoint> Store::Trend(const Run& like, int limit, std::string* error) {
  return Guard(error, [&]() -> std::vector<TrendPoint> {
    Statement s =
        db_->c.Prepare(std::string("SELECT id, started, COALESCE(flagged, 0) FROM runs WHERE ") +
                       kSameScope + " AND " + kRanThrough + " ORDER BY id DESC LIMIT ?");
    BindScope(s, 1, like);
    s.Bind(8, static_cast<std::int64_t>(limit));
    std::vector<TrendPoint> out;
    while (s.Step())
      out.insert(out.begin(), TrendPoint{s.Int(0), s.Text(1), s.Int(2)});
    return out;
  });
}

std::optional<double> Store::LastSuccess(const Run& like, std::string* error) {
  return Guard(error, [&]() -> std::optional<double> {
    Statement s = db_->c.Prepare(std::string("SELECT MAX(started_at) FROM runs WHERE ") +
                                 kSameScope + " AND " + kRanThrough);
    BindScope(s, 1, like);
    if (!s.Step() || !s.MaybeInt(0)) return std::nullopt;
    return s.Real(0);
  });
}

std::string Store::ChangeSet(std::int64_t run, std::string* error) {
  return Guard(error, [&]() -> std::string {
    Statement s = db_->c.Prepare("SELECT body FROM change_sets WHERE run = ?");
    s.Bind(1, run);
    return s.Step() ? s.Text(0) : std::string();
  });
}

bool Store::MarkUndone(std::int64_t run, std::int64_t undo_run, std::string* error) {
  return Guard(error, [&]() -> bool {
    Statement s = db_->c.Prepare("UPDATE runs SET undone_by = ? WHERE id = ? AND undone_by = 0");
    s.Bind(1, undo_run).Bind(2, run).Step();
    return db_->c.Changes() == 1;
  });
}

std::int64_t Store::Prune(double days, std::string* error) {
  return Guard(error, [&]() -> std::int64_t {
    if (!(days >= 0)) throw db::ParameterError("--older-than needs a number of days, 0 or more");
    double now = 0;
    UtcNow(&now);
    std::int64_t n = 0;
    {
      sqlite::Transaction t(db_->c);
      Statement s = db_->c.Prepare("DELETE FROM runs WHERE started_at < ?");
      s.Bind(1, now - days * 86400.0).Step();
      n = db_->c.Changes();
      t.Commit();
    }
    // The pages freed go back to the file system, so that the file shrinks; the runs are
    // forgotten even when another run's reading keeps that from happening now.
    if (n > 0) {
      try {
        db_->c.Execute("VACUUM");
      } catch (const std::exception&) {
      }
    }
    return n;
  });
}

}  // namespace veriprog::history
