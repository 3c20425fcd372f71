#include "bench/literal_reference.h"

#include <libpq-fe.h>

#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "veriprog/decimal.h"
#include "veriprog/variant.h"

#ifndef VERIPROG_LITERAL_DIR
#error "VERIPROG_LITERAL_DIR names the folder of the literal scripts"
#endif

namespace veriprog::bench {
namespace {

// What each rebuild leaves in the ledger for company 1, fiscal year 2024/1 or calendar year
// 2024, summed: the same query after the operation and inside the script's transaction.
constexpr const char* kAccountTotals =
    "SELECT (SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CG53_SALDOAPE)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CG53_SALDOFIN)), 0) || ' ' || COALESCE(SUM(ABS(CG53_RETTDARE)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CG53_RETTAVERE)), 0) || ' ' || COALESCE(SUM(ABS(CG53_SALDOCHIU)), 0) "
    "FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 "
    "AND CG53_PROGESER_CG19 = 1) AS CG53, "
    "(SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CGV0_SALDOFIN)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CGV0_SALDOFINEURO)), 0) FROM CGV0_PROGAVAL JOIN CG53_PROGA "
    "ON CG53_IDPROGA = CGV0_IDPROGA_CG53 WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 "
    "AND CG53_PROGESER_CG19 = 1) AS CGV0, "
    "(SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CG52_IMPORTODARE)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CG52_IMPORTOAVERE)), 0) FROM CG52_PROGM WHERE CG52_DITTA_CG18 = 1 "
    "AND CG52_ANNO_CG53 = 2024 AND CG52_PROGESER_CG53 = 1) AS CG52, "
    "(SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CGV1_IMPORTODARE)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CGV1_IMPORTOAVEREEURO)), 0) FROM CGV1_PROGMVAL JOIN "
    "CG52_PROGM ON CG52_IDPROGM = CGV1_IDPROGM_CG52 WHERE CG52_DITTA_CG18 = 1 "
    "AND CG52_ANNO_CG53 = 2024 AND CG52_PROGESER_CG53 = 1) AS CGV1";
constexpr const char* kTurnoverTotals =
    "SELECT (SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CG52_FATTURATO)), 0) "
    "FROM CG52_PROGM WHERE CG52_DITTA_CG18 = 1 AND CG52_ANNO_CG53 = 2024 "
    "AND CG52_PROGESER_CG53 = 1) AS CG52, "
    "(SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CGV1_FATTURATO)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CGV1_FATTURATOEURO)), 0) FROM CGV1_PROGMVAL JOIN "
    "CG52_PROGM ON CG52_IDPROGM = CGV1_IDPROGM_CG52 WHERE CG52_DITTA_CG18 = 1 "
    "AND CG52_ANNO_CG53 = 2024 AND CG52_PROGESER_CG53 = 1) AS CGV1, "
    "(SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CG53_IMPORTOIVA)), 0) "
    "FROM CG53_PROGA WHERE CG53_DITTA_CG18 = 1 AND CG53_ANNO_CG19 = 2024 "
    "AND CG53_PROGESER_CG19 = 1) AS CG53, "
    "(SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CGV0_IMPORTOIVA)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CGV0_IMPORTOIVAEURO)), 0) FROM CGV0_PROGAVAL JOIN "
    "CG53_PROGA ON CG53_IDPROGA = CGV0_IDPROGA_CG53 WHERE CG53_DITTA_CG18 = 1 "
    "AND CG53_ANNO_CG19 = 2024 AND CG53_PROGESER_CG19 = 1) AS CGV0";
constexpr const char* kVatTotals =
    "SELECT COUNT(*) || ' ' || COALESCE(SUM(ABS(CG59_IMPONIBILE)), 0) || ' ' || "
    "COALESCE(SUM(ABS(CG59_IMPOSTA)), 0) || ' ' || COALESCE(SUM(ABS(CG59_IMPOSTAND)), 0) || ' ' || "
    "COALESCE(SUM(CG59_INDTIPO * CG59_MESE), 0) AS CG59 "
    "FROM CG59_PROGIVAM WHERE CG59_DITTA_CG18 = 1 AND CG59_ANNO = 2024";

struct Entry {
  const char* operation;
  const char* file;
  const char* stored_totals;  // nullptr for a check
};
constexpr Entry kScripts[] = {
    {"check accounts", "check_accounts.sql", nullptr},
    {"rebuild accounts", "rebuild_accounts.sql", kAccountTotals},
    {"rebuild accounts-legacy", "rebuild_accounts_legacy.sql", kAccountTotals},
    {"rebuild turnover", "rebuild_turnover.sql", kTurnoverTotals},
    {"check vat", "check_vat.sql", nullptr},
    {"rebuild vat", "rebuild_vat.sql", kVatTotals},
};

bool IdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// psql's ":name" for the variables set with \set, outside quotes and comments; "::" casts stay.
std::string Substitute(const std::string& text, const std::map<std::string, std::string>& vars) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':' && (i == 0 || text[i - 1] != ':') && i + 1 < text.size() && text[i + 1] != ':') {
      std::size_t end = i + 1;
      while (end < text.size() && IdentifierChar(text[end]))
        ++end;
      auto it = vars.find(text.substr(i + 1, end - i - 1));
      if (it != vars.end()) {
        out += it->second;
        i = end - 1;
        continue;
      }
    }
    out += c;
  }
  return out;
}

// The statements of a script: split at each semicolon outside quotes, comments and $$ bodies;
// lines starting with a backslash are psql's: \set NAME VALUE is kept for Substitute.
std::vector<std::string> Split(const std::string& script,
                               std::map<std::string, std::string>& vars) {
  std::vector<std::string> statements;
  std::string current;
  enum class In { kCode, kQuote, kIdentifier, kComment, kDollar } in = In::kCode;
  auto flush = [&] {
    const auto first = current.find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
      // A statement of comments alone is no statement.
      std::istringstream lines(current);
      std::string line;
      bool code = false;
      while (std::getline(lines, line)) {
        const auto f = line.find_first_not_of(" \t\r");
        if (f != std::string::npos && line.compare(f, 2, "--") != 0) code = true;
      }
      if (code) statements.push_back(current);
    }
    current.clear();
  };
  for (std::size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    const bool line_start = i == 0 || script[i - 1] == '\n';
    switch (in) {
      case In::kCode:
        if (line_start && c == '\\') {
          const auto end = script.find('\n', i);
          std::istringstream meta(script.substr(i + 1, end - i - 1));
          std::string command, name, value;
          meta >> command >> name >> value;
          if (command == "set") vars[name] = value;
          i = end == std::string::npos ? script.size() : end;
          continue;
        }
        if (c == ';') {
          flush();
          continue;
        }
        if (c == '\'') in = In::kQuote;
        if (c == '"') in = In::kIdentifier;
        if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') in = In::kComment;
        if (c == '$' && i + 1 < script.size() && script[i + 1] == '$') {
          in = In::kDollar;
          current += "$$";
          ++i;
          continue;
        }
        break;
      case In::kQuote:
        if (c == '\'') in = In::kCode;  // a doubled quote leaves and enters again
        break;
      case In::kIdentifier:
        if (c == '"') in = In::kCode;
        break;
      case In::kComment:
        if (c == '\n') in = In::kCode;
        break;
      case In::kDollar:
        if (c == '$' && i + 1 < script.size() && script[i + 1] == '$') {
          in = In::kCode;
          current += "$$";
          ++i;
          continue;
        }
        break;
    }
    current += c;
  }
  flush();
  for (auto& s : statements)
    s = Substitute(s, vars);
  return statements;
}

std::string Upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Per numeric column its sum and the sum of its magnitudes (the balances of a whole ledger add
// up to nothing), by upper-case name.
struct Sums {
  db::Decimal sum, magnitude;
  void Add(const db::Decimal& value) {
    sum += value;
    magnitude += value < db::Decimal() ? -value : value;
  }
};

// Row count and per-column sums, numbers without trailing zeros.
std::string Render(long long rows, const std::map<std::string, Sums>& sums) {
  std::string out = "rows " + std::to_string(rows);
  for (const auto& [name, s] : sums)
    out += ", " + name + " " + db::Variant(s.sum).ToText() + " |" +
           db::Variant(s.magnitude).ToText() + "|";
  return out;
}

// Whether a result column holds numbers: numeric and the integer types.
bool NumericType(Oid type) {
  constexpr Oid kInt8 = 20, kInt2 = 21, kInt4 = 23, kNumeric = 1700;
  return type == kInt8 || type == kInt2 || type == kInt4 || type == kNumeric;
}

std::string ResultTotals(const PGresult* r) {
  std::map<std::string, Sums> sums;
  const int rows = PQntuples(r);
  for (int f = 0; f < PQnfields(r); ++f) {
    if (NumericType(PQftype(r, f))) {
      Sums& s = sums[Upper(PQfname(r, f))];
      for (int i = 0; i < rows; ++i)
        if (!PQgetisnull(r, i, f)) s.Add(db::Decimal::Parse(PQgetvalue(r, i, f)));
    }
  }
  return Render(rows, sums);
}

// A stored-totals query's one row of text columns, as "NAME values; ...".
std::string StoredRow(const PGresult* r) {
  std::string out;
  for (int f = 0; f < PQnfields(r); ++f) {
    if (!out.empty()) out += "; ";
    out += Upper(PQfname(r, f)) + " " + (PQntuples(r) == 1 ? PQgetvalue(r, 0, f) : "?");
  }
  return out;
}

using Connection = std::unique_ptr<PGconn, decltype(&PQfinish)>;
using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Connection Open(const std::string& conninfo) {
  Connection c(PQconnectdb(conninfo.c_str()), &PQfinish);
  if (PQstatus(c.get()) != CONNECTION_OK)
    throw std::runtime_error(std::string("literal reference: ") + PQerrorMessage(c.get()));
  // The scripts' DROP TABLE IF EXISTS tell of every table they do not find: not worth a line.
  PQsetNoticeProcessor(
      c.get(), [](void*, const char*) {}, nullptr);
  return c;
}

// Sends one statement; the server's message on failure, "" on success.
std::string Send(PGconn* c, const std::string& sql, Result* keep = nullptr) {
  Result r(PQexec(c, sql.c_str()), &PQclear);
  const auto status = PQresultStatus(r.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) return PQresultErrorMessage(r.get());
  if (keep != nullptr) *keep = std::move(r);
  return "";
}

}  // namespace

std::optional<LiteralScript> FindLiteral(std::string_view operation) {
  for (const Entry& e : kScripts) {
    if (operation != e.operation) continue;
    const std::string path = std::string(VERIPROG_LITERAL_DIR) + "/" + e.file;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("literal reference: cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    std::map<std::string, std::string> vars;
    LiteralScript script;
    script.file = e.file;
    script.statements = Split(text.str(), vars);
    script.rebuild = e.stored_totals != nullptr;
    if (e.stored_totals != nullptr) script.stored_totals = e.stored_totals;
    return script;
  }
  return std::nullopt;
}

LiteralRun RunLiteral(const std::string& conninfo, const LiteralScript& script) {
  LiteralRun run;
  Connection c = Open(conninfo);
  Result last(nullptr, &PQclear);
  const auto start = std::chrono::steady_clock::now();
  // A rebuild's script writes the stored totals: inside a transaction that is rolled back, the
  // ledger stays as the operation left it, and the next run of the operation meets it unchanged.
  if (script.rebuild) run.error = Send(c.get(), "BEGIN");
  for (std::size_t i = 0; i < script.statements.size() && run.error.empty(); ++i) {
    run.error = Send(c.get(), script.statements[i], &last);
    if (!run.error.empty())
      run.error = script.file + ", statement " + std::to_string(i + 1) + ": " + run.error;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (run.error.empty()) {
    if (script.rebuild) {
      Result totals(nullptr, &PQclear);
      run.error = Send(c.get(), script.stored_totals, &totals);
      if (run.error.empty()) run.totals = StoredRow(totals.get());
    } else if (last) {
      run.totals = ResultTotals(last.get());
    }
  }
  if (script.rebuild) Send(c.get(), "ROLLBACK");
  return run;
}

std::string TotalsOf(const db::Recordset& result) {
  db::Recordset r = result.Clone();
  r.ClearFilter();
  std::map<std::string, Sums> sums;
  const auto& fields = r.fields();
  for (const auto& f : fields)
    if (f.type == db::FieldType::kDecimal || f.type == db::FieldType::kInteger)
      sums[Upper(f.name)] = Sums{};
  long long rows = 0;
  for (r.MoveFirst(); !r.eof(); r.MoveNext()) {
    ++rows;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      auto it = sums.find(Upper(fields[i].name));
      if (it == sums.end()) continue;
      if (auto value = r.Get(i).ToDecimal(); value && !r.Get(i).is_null()) it->second.Add(*value);
    }
  }
  return Render(rows, sums);
}

std::string StoredTotals(const std::string& conninfo, const LiteralScript& script) {
  Connection c = Open(conninfo);
  Result totals(nullptr, &PQclear);
  const std::string error = Send(c.get(), script.stored_totals, &totals);
  return error.empty() ? StoredRow(totals.get()) : "failed: " + error;
}

}  // namespace veriprog::bench
