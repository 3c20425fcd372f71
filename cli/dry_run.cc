#include "cli/dry_run.h"

#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/account_months.h"
#include "cli/interrupt.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::cli {
namespace {

// Ledger table identifiers of the account totals as the statements that read them name them.
constexpr int kCGV1 = 5, kCG53Read = 57, kCG52Read = 58, kCGV0Read = 59;

// Columns and the SQL that reads them: "ISNULL(X, 0) AS X" for a key column the ledger may
// leave null.
struct Column {
  std::string name;
  std::string null_as;  // "" when the column is read as it is
  std::string Select() const {
    return null_as.empty() ? name : "ISNULL(" + name + ", " + null_as + ") AS " + name;
  }
};

StoredTable Table(const std::string& name, const std::vector<Column>& key,
                  const std::vector<std::string>& values, const std::string& from_where) {
  StoredTable t{name, {}, values, "SELECT "};
  for (const Column& c : key) {
    t.key.push_back(c.name);
    t.select += c.Select() + ", ";
  }
  for (std::size_t i = 0; i < values.size(); ++i)
    t.select += values[i] + (i + 1 < values.size() ? ", " : "");
  t.select += " FROM " + from_where;
  return t;
}

const std::vector<Column> kYearlyKey = {{"CG53_GRUPPO_CG10", ""},
                                        {"CG53_CONTO_CG24", "''"},
                                        {"CG53_TIPOCF_CG44", "0"},
                                        {"CG53_CLIFOR_CG44", "0"},
                                        {"CG53_CODICE_CG31", "0"}};
const std::vector<Column> kMonthlyKey = {{"CG52_GRUPPO_CG10", ""},  {"CG52_CONTO_CG24", "''"},
                                         {"CG52_TIPOCF_CG44", "0"}, {"CG52_CLIFOR_CG44", "0"},
                                         {"CG52_CODICE_CG31", "0"}, {"CG52_ANNOSOL", ""},
                                         {"CG52_MESE", ""}};

std::vector<StoredTable> AccountTables(const DryRunScope& s) {
  const std::string yearly = " WHERE CG53_DITTA_CG18 = " + SqlNumber(s.ditta) +
                             " AND CG53_ANNO_CG19 = " + SqlNumber(s.esercizio) +
                             " AND CG53_PROGESER_CG19 = " + SqlNumber(s.progressivo);
  const std::string monthly = " WHERE CG52_DITTA_CG18 = " + SqlNumber(s.ditta) +
                              " AND CG52_ANNO_CG53 = " + SqlNumber(s.esercizio) +
                              " AND CG52_PROGESER_CG53 = " + SqlNumber(s.progressivo);
  auto with = [](std::vector<Column> key, Column more) {
    key.push_back(std::move(more));
    return key;
  };
  const std::string cg53 = LedgerTable(kCG53Read), cg52 = LedgerTable(kCG52Read);
  const std::string cgv0 = LedgerTable(kCGV0Read), cgv1 = LedgerTable(kCGV1);
  return {
      Table(cg53, kYearlyKey,
            {"CG53_SALDOAPE", "CG53_RETTDARE", "CG53_RETTAVERE", "CG53_SALDOFIN", "CG53_SALDOCHIU",
             "CG53_IMPORTOIVA"},
            cg53 + yearly),
      Table(cgv0, with(kYearlyKey, {"CGV0_CODICE_CG08", ""}),
            {"CGV0_SALDOAPE", "CGV0_RETTDARE", "CGV0_RETTAVERE", "CGV0_SALDOFIN", "CGV0_SALDOCHIU",
             "CGV0_IMPORTOIVA", "CGV0_SALDOAPEEURO", "CGV0_RETTDAREEURO", "CGV0_RETTAVEREEURO",
             "CGV0_SALDOFINEURO", "CGV0_SALDOCHIUEURO", "CGV0_IMPORTOIVAEURO"},
            cgv0 + " INNER JOIN " + cg53 + " ON CGV0_IDPROGA_CG53 = CG53_IDPROGA" + yearly),
      Table(cg52, kMonthlyKey, {"CG52_IMPORTODARE", "CG52_IMPORTOAVERE", "CG52_FATTURATO"},
            cg52 + monthly),
      Table(cgv1, with(kMonthlyKey, {"CGV1_CODICE_CG08", ""}),
            {"CGV1_IMPORTODARE", "CGV1_IMPORTOAVERE", "CGV1_FATTURATO", "CGV1_IMPORTODAREEURO",
             "CGV1_IMPORTOAVEREEURO", "CGV1_FATTURATOEURO"},
            cgv1 + " INNER JOIN " + cg52 + " ON CGV1_IDPROGM_CG52 = CG52_IDPROGM" + monthly),
  };
}

// The activities of the company, whose per-activity totals the VAT families keep.
std::string OfActivities(const std::string& column, const DryRunScope& s) {
  return column + " IN (SELECT CG86_IDATTIVITA FROM CG86_AZIENDECOLL WHERE CG86_DITTA_CG18 = " +
         SqlNumber(s.ditta) + ")";
}

std::vector<StoredTable> VatTables(const std::string& family, const DryRunScope& s) {
  const std::string d = SqlNumber(s.ditta), y = SqlNumber(s.anno);
  if (family == "vat") {
    return {Table("CG59_PROGIVAM",
                  {{"CG59_MESE", ""},
                   {"CG59_INDTIPO", ""},
                   {"CG59_SEZIONALE", ""},
                   {"CG59_ALIQIVA_CG28", ""},
                   {"CG59_INDCAUSIVA", ""}},
                  {"CG59_IMPONIBILE", "CG59_IMPOSTA", "CG59_IMPOSTAND"},
                  "CG59_PROGIVAM WHERE CG59_DITTA_CG18 = " + d + " AND CG59_ANNO = " + y),
            Table("CG68_NUMERDESC", {{"CG68_SEZIONALE", ""}}, {"CG68_DESCSEZ"},
                  "CG68_NUMERDESC WHERE CG68_DITTA_CG18 = " + d)};
  }
  if (family == "plafond") {
    const std::vector<std::string> four = {"PLAFEXPORT", "PLAFACQINT", "PLAFACQIMP",
                                           "PLAFACQINTRA"};
    std::vector<std::string> company, activity;
    for (const auto& f : four) {
      company.push_back("CG51_" + f);
      activity.push_back("CGL4_" + f);
    }
    return {Table("CG51_PROGPLAFOND", {{"CG51_MESE", ""}}, company,
                  "CG51_PROGPLAFOND WHERE CG51_DITTA_CG18 = " + d + " AND CG51_ANNO = " + y),
            Table("CGL4_PROGIVAPLAF", {{"CGL4_IDATTIVITA_CG86", ""}, {"CGL4_MESE", ""}}, activity,
                  "CGL4_PROGIVAPLAF WHERE CGL4_ANNO = " + y + " AND " +
                      OfActivities("CGL4_IDATTIVITA_CG86", s))};
  }
  if (family == "margin") {
    return {Table("CGM3_PROGIVAM",
                  {{"CGM3_MESE", ""}, {"CGM3_INDMARGINE", ""}, {"CGM3_CODICE_CG28", ""}},
                  {"CGM3_IMPONIBILE", "CGM3_IMPOSTA", "CGM3_IMPOSTAND"},
                  "CGM3_PROGIVAM WHERE CGM3_DITTA_CG18 = " + d + " AND CGM3_ANNO = " + y),
            Table("CGL3_PROGIVAMARG",
                  {{"CGL3_IDATTIVITA_CG86", ""},
                   {"CGL3_INDMARGINE", ""},
                   {"CGL3_MESE", ""},
                   {"CGL3_CODICE_CG28", ""}},
                  {"CGL3_IMPONIBILE", "CGL3_IMPOSTA", "CGL3_IMPOSTAND"},
                  "CGL3_PROGIVAMARG WHERE CGL3_ANNO = " + y + " AND " +
                      OfActivities("CGL3_IDATTIVITA_CG86", s))};
  }
  if (family == "agriculture") {
    return {Table(
        "CGA0_PROGIVAM",
        {{"CGA0_MESE", ""}, {"CGA0_INDAGRI", ""}, {"CGA0_SEZIONALE", ""}, {"CGA0_ALIQIVA", ""}},
        {"CGA0_IMPONIBILE", "CGA0_IMPOSTA"},
        "CGA0_PROGIVAM WHERE CGA0_DITTA_CG18 = " + d + " AND CGA0_ANNO = " + y)};
  }
  if (family == "travel") {
    return {Table("CGL6_PROGIVAAGVIAG",
                  {{"CGL6_IDATTIVITA_CG86", ""},
                   {"CGL6_INDAGVIAG", ""},
                   {"CGL6_MESE", ""},
                   {"CGL6_CODICE_CG28", ""}},
                  {"CGL6_IMPONIBILE", "CGL6_IMPOSTA", "CGL6_IMPOSTAND"},
                  "CGL6_PROGIVAAGVIAG WHERE CGL6_ANNO = " + y + " AND " +
                      OfActivities("CGL6_IDATTIVITA_CG86", s))};
  }
  return {};
}

std::string KeyText(const std::vector<db::Variant>& key) {
  std::string text;
  for (const db::Variant& v : key) {
    // Codes compare without their padding, as the database compares them.
    text += v.is_null() ? std::string("\x1e") : std::string(db::TrimRight(v.ToText()));
    text += '\x1f';
  }
  return text;
}

bool SameValue(const db::Variant& a, const db::Variant& b) {
  if (a.is_null() || b.is_null()) return a.is_null() && b.is_null();
  if (a.kind() == db::Variant::Kind::kString && b.kind() == db::Variant::Kind::kString)
    return db::TrimRight(a.AsString()) == db::TrimRight(b.AsString());
  const auto c = db::Compare(a, b, db::TextCompare::kBinary);
  return c && *c == 0;
}

std::optional<std::int64_t> Whole(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return db::Variant(*text).ToWholeNumber();
}

// The scope of the rebuild, when every parameter it needs holds a whole number; nullopt
// otherwise, and the rebuild then refuses its parameters itself.
std::optional<DryRunScope> ScopeOf(const OperationEntry& op, const OperationOptions& o) {
  DryRunScope s;
  const auto ditta = Whole(o.company);
  if (!ditta) return std::nullopt;
  s.ditta = *ditta;
  if (op.reads & kFiscalYear) {
    const auto e = Whole(o.fiscal_year), p = Whole(o.fiscal_seq);
    if (!e || !p) return std::nullopt;
    s.esercizio = *e;
    s.progressivo = *p;
  } else {
    const auto y = Whole(o.year);
    if (!y) return std::nullopt;
    s.anno = *y;
  }
  return s;
}

std::string Family(const OperationEntry& op) {
  return op.name == "accounts-legacy" || op.name == "turnover" ? "accounts" : op.name;
}

nlohmann::ordered_json DiffToJson(const std::vector<TableDiff>& diffs) {
  auto tables = nlohmann::ordered_json::array();
  for (const TableDiff& d : diffs) {
    auto changes = nlohmann::ordered_json::array();
    for (const RowChange& c : d.changes) {
      nlohmann::ordered_json key = nlohmann::ordered_json::object();
      for (const auto& [column, value] : c.key) {
        // Codes without their padding, as the database compares them.
        key[column] = value.kind() == db::Variant::Kind::kString
                          ? nlohmann::ordered_json(std::string(db::TrimRight(value.AsString())))
                          : ValueToJson(value);
      }
      auto values = nlohmann::ordered_json::array();
      for (const ValueChange& v : c.values) {
        values.push_back(
            {{"column", v.column}, {"old", ValueToJson(v.before)}, {"new", ValueToJson(v.after)}});
      }
      changes.push_back({{"change", c.kind}, {"key", key}, {"values", values}});
    }
    tables.push_back({{"table", d.table},
                      {"inserted", d.inserted},
                      {"updated", d.updated},
                      {"deleted", d.deleted},
                      {"unchanged", d.unchanged},
                      {"changes", changes}});
  }
  return tables;
}

// A fabricated record set of texts and counts, printed like any other.
class Rows {
 public:
  explicit Rows(std::vector<db::FieldDef> fields) {
    for (auto& f : fields)
      rs_.AppendField(std::move(f));
    rs_.Open();
  }
  void Add(const std::vector<db::Variant>& values) {
    rs_.AddNew();
    for (std::size_t i = 0; i < values.size(); ++i)
      rs_.Set(i, values[i]);
    rs_.Update();
  }
  db::Recordset& rs() { return rs_; }

 private:
  db::Recordset rs_;
};

std::string KeyShown(const RowChange& c) {
  std::string text;
  for (const auto& [column, value] : c.key) {
    const auto cut = column.find('_');
    text += (text.empty() ? "" : " ") +
            (cut == std::string::npos ? column : column.substr(cut + 1)) + "=" +
            (value.is_null() ? "NULL" : std::string(db::TrimRight(value.ToText())));
  }
  return text;
}

std::string Shown(const db::Variant& v) {
  if (v.kind() == db::Variant::Kind::kDecimal) return v.AsDecimal().ToString();
  return std::string(db::TrimRight(v.ToText()));
}

void PrintChanges(std::ostream& out, const std::vector<TableDiff>& diffs, bool csv) {
  Rows changes({db::FieldDef::VarChar("TABLE"), db::FieldDef::VarChar("CHANGE"),
                db::FieldDef::VarChar("KEY"), db::FieldDef::VarChar("COLUMN"),
                db::FieldDef::VarChar("OLD"), db::FieldDef::VarChar("NEW")});
  for (const TableDiff& d : diffs) {
    for (const RowChange& c : d.changes) {
      for (const ValueChange& v : c.values) {
        changes.Add({d.table, c.kind, KeyShown(c), v.column,
                     v.before.is_empty() ? db::Variant::Null() : db::Variant(Shown(v.before)),
                     v.after.is_empty() ? db::Variant::Null() : db::Variant(Shown(v.after))});
      }
    }
  }
  csv ? PrintCsv(out, changes.rs()) : PrintTable(out, changes.rs());
}

void PrintCounts(std::ostream& out, const std::vector<TableDiff>& diffs) {
  Rows counts({db::FieldDef::VarChar("TABLE"), db::FieldDef::Integer("INSERTED", 8),
               db::FieldDef::Integer("UPDATED", 8), db::FieldDef::Integer("DELETED", 8),
               db::FieldDef::Integer("UNCHANGED", 8)});
  for (const TableDiff& d : diffs)
    counts.Add({d.table, d.inserted, d.updated, d.deleted, d.unchanged});
  PrintTable(out, counts.rs());
}

// Rolls back the dry run's transaction and gives the company's lock back, whatever ended it.
class Undo {
 public:
  explicit Undo(std::shared_ptr<db::Connection> c) : c_(std::move(c)) {}
  void Locked(std::string resource) { resource_ = std::move(resource); }
  ~Undo() {
    try {
      if (c_->in_transaction()) c_->RollbackTrans();
    } catch (const std::exception& e) {
      std::cerr << "rollback failed (" << e.what() << "); the server undoes the transaction "
                << "when the connection closes\n";
    }
    try {
      if (!resource_.empty()) c_->Unlock(resource_, true);
    } catch (...) {
      // The session ends with its connection, and its locks with it.
    }
  }
  Undo(const Undo&) = delete;
  Undo& operator=(const Undo&) = delete;

 private:
  std::shared_ptr<db::Connection> c_;
  std::string resource_;
};

}  // namespace

std::vector<StoredTable> StoredTablesOf(const std::string& family, const DryRunScope& scope) {
  if (family == "accounts") return AccountTables(scope);
  return VatTables(family, scope);
}

TableRows ReadTable(db::Connection& connection, const StoredTable& table) {
  TableRows out;
  db::Recordset rs = db::Recordset::FromResult(connection.Query(table.select), nullptr);
  std::map<std::string, int> seen;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    TableRows::Row row;
    for (const auto& k : table.key)
      row.key.push_back(rs.Get(k));
    for (const auto& v : table.values)
      row.values.push_back(rs.Get(v));
    std::string text = KeyText(row.key);
    if (const int n = ++seen[text]; n > 1) text += "#" + std::to_string(n);
    out.rows.emplace_back(std::move(text), std::move(row));
  }
  return out;
}

TableDiff CompareTables(const StoredTable& table, const TableRows& before, const TableRows& after) {
  TableDiff d{table.name};
  std::map<std::string, const TableRows::Row*> later;
  for (const auto& [text, row] : after.rows)
    later.emplace(text, &row);
  auto key_of = [&](const TableRows::Row& row) {
    std::vector<std::pair<std::string, db::Variant>> key;
    for (std::size_t i = 0; i < table.key.size(); ++i)
      key.emplace_back(table.key[i], row.key[i]);
    return key;
  };
  std::set<std::string> matched;
  for (const auto& [text, row] : before.rows) {
    auto it = later.find(text);
    if (it == later.end()) {
      RowChange c{"deleted", key_of(row), {}};
      for (std::size_t i = 0; i < table.values.size(); ++i)
        c.values.push_back({table.values[i], row.values[i], db::Variant()});
      d.changes.push_back(std::move(c));
      ++d.deleted;
      continue;
    }
    matched.insert(text);
    RowChange c{"updated", key_of(row), {}};
    for (std::size_t i = 0; i < table.values.size(); ++i) {
      if (!SameValue(row.values[i], it->second->values[i]))
        c.values.push_back({table.values[i], row.values[i], it->second->values[i]});
    }
    if (c.values.empty()) {
      ++d.unchanged;
    } else {
      d.changes.push_back(std::move(c));
      ++d.updated;
    }
  }
  for (const auto& [text, row] : after.rows) {
    if (matched.count(text)) continue;
    RowChange c{"inserted", key_of(row), {}};
    for (std::size_t i = 0; i < table.values.size(); ++i)
      c.values.push_back({table.values[i], db::Variant(), row.values[i]});
    d.changes.push_back(std::move(c));
    ++d.inserted;
  }
  return d;
}

DryRunResult DryRun(const OperationEntry& op, const OperationOptions& o, bool show_progress) {
  DryRunResult result;
  Outcome& outcome = result.outcome;
  CLSCG_VERIPROG main;
  auto& in = *main.CPInput();
  FillInput(in, o, true);
  std::shared_ptr<db::Connection> connection;
  try {
    connection = db::Connect(in.SConnect.ToText());
  } catch (const std::exception& e) {
    result.connect_error = e.what();
    outcome.stato = tsParametriNonValidi;
    outcome.errore = "Non è stata definita la connessione";
    outcome.causa = e.what();
    return result;
  }
  // The transaction is the dry run's own: the rebuild runs inside it, neither beginning nor
  // ending one, and everything it wrote goes with the rollback.
  in.GConnect = connection;
  in.EseguiTransazione = false;

  const auto scope = ScopeOf(op, o);
  std::vector<StoredTable> tables;
  if (scope) tables = StoredTablesOf(Family(op), *scope);
  std::vector<TableRows> before;
  Undo undo(connection);
  try {
    if (scope) {
      // The company's lock, as a rebuild takes it, held from before the first reading to after
      // the rollback: no other rebuild changes the tables in between.
      const std::string resource = "veriprog ditta " + std::to_string(scope->ditta);
      connection->Lock(resource, true);
      undo.Locked(resource);
    }
    connection->BeginTrans();
    for (const StoredTable& t : tables)
      before.push_back(ReadTable(*connection, t));
    auto progress = std::make_shared<ProgressSink>(stderr);
    if (show_progress) main.Advise(progress);
    outcome = RunOperation(main, op, o);
    main.Unadvise(progress.get());
    if (outcome.stato == tsOk && !connection->interrupted()) {
      for (std::size_t i = 0; i < tables.size(); ++i) {
        result.diffs.push_back(
            CompareTables(tables[i], before[i], ReadTable(*connection, tables[i])));
      }
    }
  } catch (const std::exception& e) {
    if (outcome.stato == tsOk) {
      outcome.stato = tsProgramError;
      outcome.errore = e.what();
    }
  }
  return result;
}

int RunDryRun(const OperationEntry& op, const OperationOptions& o) {
  const std::int64_t start = NowNs();
  const std::string title = op.Title() + " --dry-run";
  auto finish = [&](int code, std::optional<std::int64_t> rows = std::nullopt,
                    std::optional<std::int64_t> flagged = std::nullopt) {
    PrintSummary(title, rows, flagged, SecondsSince(start), code);
    return code;
  };
  if (o.no_transaction) {
    std::cerr << "--dry-run runs in a transaction that it rolls back: --no-transaction does not "
                 "go with it\n";
    return finish(static_cast<int>(ExitCode::kInvalidParameters));
  }
  const DryRunResult result = DryRun(op, o, true);
  const Outcome& outcome = result.outcome;
  const std::vector<TableDiff>& diffs = result.diffs;
  if (const int signal = InterruptSignal()) {
    if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
    std::cerr << "interrupted: the dry run was rolled back; nothing was written\n";
    return finish(128 + signal);
  }
  if (outcome.stato != tsOk) {
    if (!outcome.errore.empty()) std::cerr << outcome.errore << '\n';
    if (!outcome.causa.empty()) std::cerr << "  (" << outcome.causa << ")\n";
    return finish(static_cast<int>(outcome.stato == tsParametriNonValidi
                                       ? ExitCode::kInvalidParameters
                                       : ExitCode::kProgramError));
  }
  std::int64_t rows = 0, changed = 0;
  for (const TableDiff& d : diffs) {
    rows += d.inserted + d.updated + d.deleted + d.unchanged;
    changed += d.inserted + d.updated + d.deleted;
  }
  if (o.format == "json") {
    std::cout << nlohmann::ordered_json{{"format_version", kJsonFormatVersion},
                                        {"operation", op.Title()},
                                        {"dry_run", true},
                                        {"stato", static_cast<int>(outcome.stato)},
                                        {"errore", outcome.errore},
                                        {"tables", DiffToJson(diffs)}}
                     .dump(2)
              << '\n';
  } else if (o.format == "csv") {
    PrintChanges(std::cout, diffs, true);
  } else {
    std::cout << "Dry run of " << op.Title() << ": rolled back, nothing was written.\n\n";
    PrintCounts(std::cout, diffs);
    if (changed > 0) {
      std::cout << '\n';
      PrintChanges(std::cout, diffs, false);
    }
  }
  std::cerr << "dry run: " << changed << (changed == 1 ? " row" : " rows")
            << " would change; rolled back, nothing was written\n";
  return finish(static_cast<int>(changed > 0 ? ExitCode::kFlagged : ExitCode::kOk), rows, changed);
}

}  // namespace veriprog::cli
