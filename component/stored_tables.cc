#include "component/stored_tables.h"

#include <map>
#include <set>

#include "component/account_months.h"
#include "db/sql_text.h"
#include "db/text.h"

namespace veriprog {
namespace {

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
  t.target = name;
  for (const Column& c : key) {
    t.key.push_back(c.name);
    t.null_as.push_back(c.null_as);
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
  const std::string yearly = " WHERE CG53_DITTA_CG18 = " + db::SqlNumber(s.ditta) +
                             " AND CG53_ANNO_CG19 = " + db::SqlNumber(s.esercizio) +
                             " AND CG53_PROGESER_CG19 = " + db::SqlNumber(s.progressivo);
  const std::string monthly = " WHERE CG52_DITTA_CG18 = " + db::SqlNumber(s.ditta) +
                              " AND CG52_ANNO_CG53 = " + db::SqlNumber(s.esercizio) +
                              " AND CG52_PROGESER_CG53 = " + db::SqlNumber(s.progressivo);
  auto with = [](std::vector<Column> key, Column more) {
    key.push_back(std::move(more));
    return key;
  };
  const std::string cg53 = LedgerTable(TableId::kCG53Read), cg52 = LedgerTable(TableId::kCG52Read);
  const std::string cgv0 = LedgerTable(TableId::kCGV0Read), cgv1 = LedgerTable(TableId::kCGV1);
  std::vector<StoredTable> tables = {
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
  const std::string d = db::SqlNumber(s.ditta), e = db::SqlNumber(s.esercizio),
                    p = db::SqlNumber(s.progressivo);
  tables[0].target = LedgerTable(TableId::kCG53);
  tables[0].scope = {{"CG53_DITTA_CG18", d}, {"CG53_ANNO_CG19", e}, {"CG53_PROGESER_CG19", p}};
  tables[1].target = LedgerTable(TableId::kCGV0);
  tables[1].link = StoredLink::kYearlyTwin;
  tables[2].target = LedgerTable(TableId::kCG52);
  tables[2].scope = {{"CG52_DITTA_CG18", d}, {"CG52_ANNO_CG53", e}, {"CG52_PROGESER_CG53", p}};
  tables[2].link = StoredLink::kYearly;
  tables[3].target = cgv1;
  tables[3].link = StoredLink::kMonthlyTwin;
  return tables;
}

// The activities of the company, whose per-activity totals the VAT families keep.
std::string OfActivities(const std::string& column, const DryRunScope& s) {
  return column + " IN (SELECT CG86_IDATTIVITA FROM CG86_AZIENDECOLL WHERE CG86_DITTA_CG18 = " +
         db::SqlNumber(s.ditta) + ")";
}

// A table's rows of the company and year.
std::string OfCompanyYear(const std::string& table, const std::string& prefix,
                          const DryRunScope& s) {
  return table + " WHERE " + prefix + "_DITTA_CG18 = " + db::SqlNumber(s.ditta) + " AND " + prefix +
         "_ANNO = " + db::SqlNumber(s.anno);
}

// A per-activity table's rows of the year, for the company's activities.
std::string OfActivityYear(const std::string& table, const std::string& prefix,
                           const DryRunScope& s) {
  return table + " WHERE " + prefix + "_ANNO = " + db::SqlNumber(s.anno) + " AND " +
         OfActivities(prefix + "_IDATTIVITA_CG86", s);
}

// The scope columns of a VAT table: the company's (when it has one) and the year's.
std::vector<StoredTable> WithScope(std::vector<StoredTable> tables, const DryRunScope& s) {
  for (StoredTable& t : tables) {
    const std::string prefix = t.name.substr(0, t.name.find('_'));
    if (prefix == "CG68") {
      t.scope = {{"CG68_DITTA_CG18", db::SqlNumber(s.ditta)}};
      continue;
    }
    if (t.key.front() != prefix + "_IDATTIVITA_CG86")
      t.scope.emplace_back(prefix + "_DITTA_CG18", db::SqlNumber(s.ditta));
    t.scope.emplace_back(prefix + "_ANNO", db::SqlNumber(s.anno));
  }
  return tables;
}

std::vector<StoredTable> VatTables(const std::string& family, const DryRunScope& s) {
  const std::string d = db::SqlNumber(s.ditta);
  if (family == "vat") {
    return {Table("CG59_PROGIVAM",
                  {{"CG59_MESE", ""},
                   {"CG59_INDTIPO", ""},
                   {"CG59_SEZIONALE", ""},
                   {"CG59_ALIQIVA_CG28", ""},
                   {"CG59_INDCAUSIVA", ""}},
                  {"CG59_IMPONIBILE", "CG59_IMPOSTA", "CG59_IMPOSTAND"},
                  OfCompanyYear("CG59_PROGIVAM", "CG59", s)),
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
                  OfCompanyYear("CG51_PROGPLAFOND", "CG51", s)),
            Table("CGL4_PROGIVAPLAF", {{"CGL4_IDATTIVITA_CG86", ""}, {"CGL4_MESE", ""}}, activity,
                  OfActivityYear("CGL4_PROGIVAPLAF", "CGL4", s))};
  }
  if (family == "margin") {
    return {Table("CGM3_PROGIVAM",
                  {{"CGM3_MESE", ""}, {"CGM3_INDMARGINE", ""}, {"CGM3_CODICE_CG28", ""}},
                  {"CGM3_IMPONIBILE", "CGM3_IMPOSTA", "CGM3_IMPOSTAND"},
                  OfCompanyYear("CGM3_PROGIVAM", "CGM3", s)),
            Table("CGL3_PROGIVAMARG",
                  {{"CGL3_IDATTIVITA_CG86", ""},
                   {"CGL3_INDMARGINE", ""},
                   {"CGL3_MESE", ""},
                   {"CGL3_CODICE_CG28", ""}},
                  {"CGL3_IMPONIBILE", "CGL3_IMPOSTA", "CGL3_IMPOSTAND"},
                  OfActivityYear("CGL3_PROGIVAMARG", "CGL3", s))};
  }
  if (family == "agriculture") {
    return {Table(
        "CGA0_PROGIVAM",
        {{"CGA0_MESE", ""}, {"CGA0_INDAGRI", ""}, {"CGA0_SEZIONALE", ""}, {"CGA0_ALIQIVA", ""}},
        {"CGA0_IMPONIBILE", "CGA0_IMPOSTA"}, OfCompanyYear("CGA0_PROGIVAM", "CGA0", s))};
  }
  if (family == "travel") {
    return {Table("CGL6_PROGIVAAGVIAG",
                  {{"CGL6_IDATTIVITA_CG86", ""},
                   {"CGL6_INDAGVIAG", ""},
                   {"CGL6_MESE", ""},
                   {"CGL6_CODICE_CG28", ""}},
                  {"CGL6_IMPONIBILE", "CGL6_IMPOSTA", "CGL6_IMPOSTAND"},
                  OfActivityYear("CGL6_PROGIVAAGVIAG", "CGL6", s))};
  }
  return {};
}

}  // namespace

std::string KeyText(const std::vector<db::Variant>& key) {
  std::string text;
  for (const db::Variant& v : key) {
    // Codes compare without their padding, as the database compares them.
    text += v.is_null() ? std::string("\x1e") : std::string(db::TrimRight(v.ToText()));
    text += '\x1f';
  }
  return text;
}

std::string KeyShown(const std::vector<std::pair<std::string, db::Variant>>& key) {
  std::string text;
  for (const auto& [column, value] : key) {
    const auto cut = column.find('_');
    text += (text.empty() ? "" : " ") +
            (cut == std::string::npos ? column : column.substr(cut + 1)) + "=" +
            (value.is_null() ? "NULL" : std::string(db::TrimRight(value.ToText())));
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

namespace {

// The field of a result by its name, as a record set finds it (without case).
std::size_t Field(const std::vector<db::FieldDef>& fields, const std::string& name,
                  const std::string& table) {
  const std::string wanted = db::ToUpperAscii(name);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (db::ToUpperAscii(fields[i].name) == wanted) return i;
  }
  throw db::DbError("the reading of " + table + " gave no column " + name);
}

}  // namespace

std::vector<StoredTable> StoredTablesOf(const std::string& family, const DryRunScope& scope) {
  if (family == "accounts") return AccountTables(scope);
  return WithScope(VatTables(family, scope), scope);
}

TableRows ReadTable(db::Connection& connection, const StoredTable& table) {
  TableRows out;
  std::map<std::string, int> seen;
  std::vector<std::size_t> keys, values;  // of the result's fields, found at its first row
  // Each row taken as it arrives and none kept in a record set: a year's stored totals are read
  // twice by a recorded rebuild, and only this copy of them needs to stay.
  connection.QueryKeeping(table.select, [&](const std::vector<db::FieldDef>& fields,
                                            const std::vector<db::Variant>& row_values) {
    if (keys.empty()) {
      for (const auto& k : table.key)
        keys.push_back(Field(fields, k, table.name));
      for (const auto& v : table.values)
        values.push_back(Field(fields, v, table.name));
    }
    TableRows::Row row;
    row.key.reserve(keys.size());
    row.values.reserve(values.size());
    for (std::size_t i : keys)
      row.key.push_back(row_values[i]);
    for (std::size_t i : values)
      row.values.push_back(row_values[i]);
    std::string text = KeyText(row.key);
    if (const int n = ++seen[text]; n > 1) text += "#" + std::to_string(n);
    out.rows.emplace_back(std::move(text), std::move(row));
    return false;
  });
  return out;
}

TableDiff CompareTables(const StoredTable& table, const TableRows& before, const TableRows& after,
                        bool all_values) {
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
    bool changed = false;
    for (std::size_t i = 0; i < table.values.size(); ++i) {
      const bool same = SameValue(row.values[i], it->second->values[i]);
      changed = changed || !same;
      if (!same || all_values)
        c.values.push_back({table.values[i], row.values[i], it->second->values[i]});
    }
    if (!changed) {
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

}  // namespace veriprog
