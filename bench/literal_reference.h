// The literal reference of the bench: for the account, turnover and VAT operations, the
// statements the operation's own text sends, translated by hand to PostgreSQL syntax only
// (bench/literal/*.sql), run on a plain libpq connection with the server's default session
// settings. Setting an operation beside it shows what the dialect layer and the client gain over
// the text as it reads; the script also yields totals to set beside the operation's own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/recordset.h"

namespace veriprog::bench {

// A literal script, read from its file with its \set variables put in place.
struct LiteralScript {
  std::string file;                     // the file's name in bench/literal/
  std::vector<std::string> statements;  // in order, each sent on its own
  bool rebuild = false;                 // writes: runs inside a transaction rolled back
  std::string stored_totals;  // for a rebuild, the query that sums what it leaves in the ledger
};

// The script of the operation the bench names `operation`, or nullopt when it has none. Throws
// std::runtime_error when the file cannot be read.
std::optional<LiteralScript> FindLiteral(std::string_view operation);

// One run of a script. `totals`: for a check, the row count and the sum of every numeric column
// of its last statement's result; for a rebuild, the result of its stored-totals query, read
// inside the transaction before the rollback and outside the time.
struct LiteralRun {
  double seconds = 0;
  std::string totals;
  std::string error;  // the server's message when a statement failed
};

// Runs `script` on a connection of its own to `conninfo`, opened before the clock starts.
LiteralRun RunLiteral(const std::string& conninfo, const LiteralScript& script);

// The same totals on the operation's side: of a check's result record set, or of a rebuild's
// stored-totals query run on `conninfo` after the operation committed.
std::string TotalsOf(const db::Recordset& result);
std::string StoredTotals(const std::string& conninfo, const LiteralScript& script);

}  // namespace veriprog::bench
