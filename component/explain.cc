#include "veriprog/explain.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>

#include "component/account_months.h"
#include "component/connect.h"
#include "db/sql_text.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog {
namespace {

// The request with its numbers checked.
struct Asked {
  std::int64_t ditta = 0, esercizio = 0, progressivo = 0;
  LedgerKey key;
  bool all_branches = true;
  std::string valuta;
};

class BadParameter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::int64_t Required(const std::optional<std::string>& value, const char* name,
                      const char* missing) {
  if (!value || db::Trim(*value).empty()) throw BadParameter(missing);
  const auto number = db::Variant(*value).ToWholeNumber();
  if (!number) {
    std::string shown = *value;
    if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
    throw BadParameter(std::string("Il parametro ") + name +
                       " deve essere un numero intero (valore: '" + shown + "')");
  }
  return *number;
}

Asked Check(const ExplainRequest& r) {
  Asked a;
  a.ditta = Required(r.ditta, "Ditta", "Non è stata definita la ditta");
  a.esercizio = Required(r.esercizio, "Esercizio", "Non è stato definito l'esercizio");
  a.progressivo =
      Required(r.progressivo, "Progressivo", "Non è stato definito il progressivo esercizio");
  a.key = r.key;
  a.key.conto = std::string(db::Trim(a.key.conto));
  if (a.key.conto.empty()) throw BadParameter("the account code is required");
  if (db::Utf8Length(a.key.conto) > 10)
    throw BadParameter("an account code has at most 10 characters");
  a.all_branches = r.all_branches;
  a.valuta = db::ToUpperAscii(db::Trim(r.valuta));
  if (a.valuta.empty()) a.valuta = "EURO";
  if (db::Utf8Length(a.valuta) > 6) throw BadParameter("a currency code has at most 6 characters");
  return a;
}

db::Decimal Dec(const db::Variant& v) {
  return v.ToDecimal().value_or(db::Decimal());
}

// The key's conditions on the journal and on the yearly totals.
std::string JournalKey(const Asked& a) {
  std::string sql = " AND ISNULL(CG42_CONTOPAR_CG24, '') = " + db::Quoted(a.key.conto) +
                    " AND ISNULL(CG42_TIPOCF_CG44, 0) = " + db::SqlNumber(a.key.tipocf) +
                    " AND ISNULL(CG42_CLIFORPAR_CG44, 0) = " + db::SqlNumber(a.key.clifor);
  if (!a.all_branches) {
    sql +=
        " AND ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0)) = " + db::SqlNumber(a.key.sede);
  }
  if (a.valuta != "EURO") sql += " AND ISNULL(CG42_CODICE_CG08, 'EURO') = " + db::Quoted(a.valuta);
  return sql;
}

std::string JournalFrom(const Asked& a, bool causals_required) {
  return " FROM " + LedgerTable(TableId::kCG42) + " INNER JOIN " + LedgerTable(TableId::kCG41) +
         " ON CG41_DITTA_CG18 = CG42_DITTA_CG18 AND CG41_NUMREG = CG42_NUMREG_CG41" +
         (causals_required ? " INNER JOIN" : " LEFT OUTER JOIN") +
         " CG33_TABCAU ON CG33_CODICE = CG42_CODICE_CG33 WHERE CG42_DITTA_CG18 = " +
         db::SqlNumber(a.ditta) + " AND CG42_ANNO_CG19 = " + db::SqlNumber(a.esercizio) +
         " AND CG42_PROGESER_CG19 = " + db::SqlNumber(a.progressivo) + JournalKey(a);
}

// The yearly figures: the names of the stored columns, stored and journal values.
struct YearFigure {
  std::string name;
  db::Decimal stored, journal;
};

std::vector<YearFigure> YearFigures(db::Connection& c, const Asked& a, int& stored_rows) {
  const bool euro = a.valuta == "EURO";
  // Journal: the rebuild's opening and closing balances, adjustments and movements.
  auto sums = [&](const std::string& amount, const std::string& suffix) {
    const std::string d = "CASE WHEN CG42_INDDAAV = 1 THEN ISNULL(" + amount + ", 0) ELSE 0 END";
    const std::string v = "CASE WHEN CG42_INDDAAV = 2 THEN ISNULL(" + amount + ", 0) ELSE 0 END";
    const std::string ordinary =
        "CG42_CODICE_CG33 <> '150 ' AND CG42_CODICE_CG33 <> '151 ' AND CG33_FLGCOMP = 0";
    return " SUM(CASE WHEN CG42_CODICE_CG33 = '151 ' AND CG33_FLGCOMP = 0 THEN " + d + " - " + v +
           " ELSE 0 END) AS APE" + suffix + ", SUM(CASE WHEN CG33_FLGCOMP = 1 THEN " + d +
           " ELSE 0 END) AS RD" + suffix + ", SUM(CASE WHEN CG33_FLGCOMP = 1 THEN " + v +
           " ELSE 0 END) AS RA" + suffix + ", SUM(CASE WHEN " + ordinary + " THEN " + d +
           " ELSE 0 END) AS TD" + suffix + ", SUM(CASE WHEN " + ordinary + " THEN " + v +
           " ELSE 0 END) AS TA" + suffix + ", SUM(CASE WHEN CG42_CODICE_CG33 = '150 ' AND " +
           "CG33_FLGCOMP = 0 THEN " + d + " - " + v + " ELSE 0 END) AS CHIU" + suffix;
  };
  const std::string journal = "SELECT" + sums(euro ? "CG42_IMPTOTALE" : "CG42_IMPTOTALEVAL", "") +
                              (euro ? "" : "," + sums("CG42_IMPTOTALE", "EURO")) +
                              JournalFrom(a, true) +
                              " AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0";
  db::Recordset j = db::Recordset::FromResult(c.Query(journal), nullptr);
  j.MoveFirst();

  const std::string where =
      " WHERE CG53_DITTA_CG18 = " + db::SqlNumber(a.ditta) +
      " AND CG53_ANNO_CG19 = " + db::SqlNumber(a.esercizio) +
      " AND CG53_PROGESER_CG19 = " + db::SqlNumber(a.progressivo) +
      " AND ISNULL(CG53_CONTO_CG24, '') = " + db::Quoted(a.key.conto) +
      " AND ISNULL(CG53_TIPOCF_CG44, 0) = " + db::SqlNumber(a.key.tipocf) +
      " AND ISNULL(CG53_CLIFOR_CG44, 0) = " + db::SqlNumber(a.key.clifor) +
      (a.all_branches ? "" : " AND ISNULL(CG53_CODICE_CG31, 0) = " + db::SqlNumber(a.key.sede));
  const std::vector<std::string> columns = {"SALDOAPE", "RETTDARE", "RETTAVERE", "SALDOFIN",
                                            "SALDOCHIU"};
  std::string stored = "SELECT ";
  const std::string prefix = euro ? "CG53_" : "CGV0_";
  for (const auto& col : columns) {
    stored += "ISNULL(" + prefix + col + ", 0) AS " + col + ", ";
    if (!euro) stored += "ISNULL(CGV0_" + col + "EURO, 0) AS " + col + "EURO, ";
  }
  stored += "1 AS RIGA FROM ";
  stored += euro ? LedgerTable(TableId::kCG53Read) + where
                 : LedgerTable(TableId::kCGV0Read) + " INNER JOIN " +
                       LedgerTable(TableId::kCG53Read) + " ON CGV0_IDPROGA_CG53 = CG53_IDPROGA" +
                       where + " AND CGV0_CODICE_CG08 = " + db::Quoted(a.valuta);
  db::Recordset s = db::Recordset::FromResult(c.Query(stored), nullptr);

  std::vector<YearFigure> out;
  for (const char* suffix : {"", "EURO"}) {
    if (euro && *suffix != '\0') break;
    auto jv = [&](const char* f) {
      return j.eof() ? db::Decimal() : Dec(j.Get(std::string(f) + suffix));
    };
    const db::Decimal ape = jv("APE"), rd = jv("RD"), ra = jv("RA"), td = jv("TD"), ta = jv("TA");
    const db::Decimal journal_values[] = {ape, rd, ra, ape + rd - ra + td - ta, jv("CHIU")};
    for (std::size_t i = 0; i < columns.size(); ++i) {
      YearFigure f{prefix + columns[i] + suffix, {}, journal_values[i]};
      const std::string column = columns[i] + suffix;
      stored_rows = 0;
      for (s.MoveFirst(); !s.eof(); s.MoveNext()) {
        f.stored += Dec(s.Get(column));
        ++stored_rows;
      }
      out.push_back(std::move(f));
    }
  }
  return out;
}

db::Recordset MonthLines(db::Connection& c, const Asked& a, int year, int month) {
  const db::DateTime first{year, month, 1};
  const db::DateTime last{year, month, db::DateTime::DaysInMonth(year, month)};
  const std::string sql =
      "SELECT CG42_NUMREG_CG41 AS NUMREG, CG42_NUMRIGA AS RIGA, CG42_DATAREG AS DATAREG,"
      " CG42_CODICE_CG33 AS CAUSALE, CASE WHEN CG42_INDDAAV = 1 THEN 'D' ELSE 'A' END AS SEGNO,"
      " CG42_IMPTOTALE AS IMPORTO, CG42_IMPTOTALEVAL AS IMPORTOVAL,"
      " ISNULL(CG42_CODICE_CG08, 'EURO') AS VALUTA,"
      " ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0)) AS SEDE,"
      " CASE WHEN CG41_INDPROVREG <> 0 THEN 'no: provisional registration'"
      " WHEN CG41_INDTIPOMOV <> 0 THEN 'no: not an ordinary movement'"
      " WHEN CG33_CODICE IS NULL THEN 'no: causal not in the causal table'"
      " WHEN CG33_FLGCOMP = 1 THEN 'no: adjustment (yearly only)'"
      " WHEN CG42_CODICE_CG33 = '150 ' THEN 'no: closing balance (yearly only)'"
      " WHEN CG42_CODICE_CG33 = '151 ' THEN 'no: opening balance (yearly only)'"
      " ELSE 'Si' END AS CONTA" +
      JournalFrom(a, false) + " AND CG42_DATAREG BETWEEN '" + first.ToCompactDate() + "' AND '" +
      last.ToCompactDate() + "' ORDER BY CG42_DATAREG, CG42_NUMREG_CG41, CG42_NUMRIGA";
  return db::Recordset::FromResult(c.Query(sql), nullptr);
}

// An amount as the ledger shows it, with its cents.
std::string Money(const db::Decimal& d) {
  const auto cents = d.TryRescale(std::max(2, d.scale()));
  return cents ? cents->ToString() : d.ToString();
}

std::string MonthText(const Month& m) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d", m.first, m.second);
  return buf;
}

// A fabricated record set for printing.
db::Recordset Fabricated(std::vector<db::FieldDef> fields) {
  db::Recordset rs;
  for (auto& f : fields)
    rs.AppendField(std::move(f));
  rs.Open();
  return rs;
}

using StoredJournal = std::pair<MonthAmounts, MonthAmounts>;

// The months of the fiscal year, and any stored month outside it: stored and journal, every key
// the request picks added together.
std::map<Month, StoredJournal> MonthsOf(const FiscalScope& scope,
                                        const std::map<LedgerKey, KeyMonths>& totals) {
  std::map<Month, StoredJournal> months;
  for (const auto& m : scope.Months())
    months[m];
  for (const auto& [key, km] : totals) {
    for (const auto& [m, v] : km.stored) {
      auto& s = months[m].first;
      s.dare += v.dare, s.avere += v.avere, s.dare_euro += v.dare_euro;
      s.avere_euro += v.avere_euro, s.stored_rows += v.stored_rows;
    }
    for (const auto& [m, v] : km.journal) {
      auto& j = months[m].second;
      j.dare += v.dare, j.avere += v.avere, j.dare_euro += v.dare_euro;
      j.avere_euro += v.avere_euro;
    }
  }
  return months;
}

db::Variant Diff(const db::Decimal& mov, const db::Decimal& progr) {
  return mov == progr ? db::Variant::Null() : db::Variant(mov - progr);
}

// The months as rows; `parted` gets the first that differs and `flagged` counts them.
db::Recordset MonthTable(const std::map<Month, StoredJournal>& months, bool euro,
                         std::optional<Month>& parted, std::int64_t& flagged) {
  std::vector<db::FieldDef> fields = {db::FieldDef::Integer("ANNO"),
                                      db::FieldDef::Integer("MESE"),
                                      db::FieldDef::Numeric("DAREPROGR", 19, 2),
                                      db::FieldDef::Numeric("AVEREPROGR", 19, 2),
                                      db::FieldDef::Numeric("DAREMOV", 19, 2),
                                      db::FieldDef::Numeric("AVEREMOV", 19, 2),
                                      db::FieldDef::Numeric("DIFFDARE", 19, 2),
                                      db::FieldDef::Numeric("DIFFAVERE", 19, 2)};
  if (!euro) {
    for (const char* f : {"DAREPROGREURO", "AVEREPROGREURO", "DAREMOVEURO", "AVEREMOVEURO"})
      fields.push_back(db::FieldDef::Numeric(f, 19, 2));
  }
  fields.push_back(db::FieldDef::Char("FLAGSBIL", 2));
  db::Recordset table = Fabricated(fields);
  for (const auto& [m, sj] : months) {
    const auto& [s, j] = sj;
    const bool differs = s.dare != j.dare || s.avere != j.avere ||
                         (!euro && (s.dare_euro != j.dare_euro || s.avere_euro != j.avere_euro));
    if (differs) {
      ++flagged;
      if (!parted) parted = m;
    }
    auto stored = [&](const db::Decimal& d) {
      return s.stored_rows ? db::Variant(d) : db::Variant::Null();
    };
    table.AddNew();
    table.Set("ANNO", m.first);
    table.Set("MESE", m.second);
    table.Set("DAREPROGR", stored(s.dare));
    table.Set("AVEREPROGR", stored(s.avere));
    table.Set("DAREMOV", j.dare);
    table.Set("AVEREMOV", j.avere);
    table.Set("DIFFDARE", Diff(j.dare, s.dare));
    table.Set("DIFFAVERE", Diff(j.avere, s.avere));
    if (!euro) {
      table.Set("DAREPROGREURO", stored(s.dare_euro));
      table.Set("AVEREPROGREURO", stored(s.avere_euro));
      table.Set("DAREMOVEURO", j.dare_euro);
      table.Set("AVEREMOVEURO", j.avere_euro);
    }
    table.Set("FLAGSBIL", differs ? "Si" : "");
    table.Update();
  }
  return table;
}

// The yearly figures as rows; `differs` gets those that differ.
db::Recordset YearTable(const std::vector<YearFigure>& year, int stored_rows,
                        std::vector<const YearFigure*>& differs) {
  db::Recordset table =
      Fabricated({db::FieldDef::VarChar("VOCE"), db::FieldDef::Numeric("PROGR", 19, 2),
                  db::FieldDef::Numeric("MOV", 19, 2), db::FieldDef::Numeric("DIFF", 19, 2),
                  db::FieldDef::Char("FLAGSBIL", 2)});
  for (const YearFigure& f : year) {
    const bool different = f.stored != f.journal;
    if (different) differs.push_back(&f);
    table.AddNew();
    table.Set("VOCE", f.name);
    table.Set("PROGR", stored_rows ? db::Variant(f.stored) : db::Variant::Null());
    table.Set("MOV", f.journal);
    table.Set("DIFF", Diff(f.journal, f.stored));
    table.Set("FLAGSBIL", different ? "Si" : "");
    table.Update();
  }
  return table;
}

// One sentence for people: where stored and journal part, or that they agree.
std::string Verdict(const std::optional<Month>& parted, const StoredJournal* month, bool euro,
                    const std::vector<const YearFigure*>& year_differs, int stored_rows) {
  if (parted) {
    const auto& [s, j] = *month;
    std::string verdict = "stored and journal part in " + MonthText(*parted) + ": debit stored " +
                          Money(s.dare) + ", journal " + Money(j.dare) + "; credit stored " +
                          Money(s.avere) + ", journal " + Money(j.avere);
    if (!euro) {
      verdict += "; in euro: debit stored " + Money(s.dare_euro) + ", journal " +
                 Money(j.dare_euro) + "; credit stored " + Money(s.avere_euro) + ", journal " +
                 Money(j.avere_euro);
    }
    if (!s.stored_rows) verdict += " (no stored row for the month)";
    return verdict;
  }
  if (year_differs.empty()) return "stored and journal agree, month by month and for the year";
  std::string verdict = "the months agree; the year does not:";
  for (const YearFigure* f : year_differs) {
    verdict +=
        " " + f->name + " stored " + Money(f->stored) + ", journal " + Money(f->journal) + ";";
  }
  verdict.pop_back();
  if (!stored_rows) verdict += " (no stored yearly row)";
  return verdict;
}

std::optional<Explanation> Explain(const std::shared_ptr<db::Connection>& connection,
                                   const Asked& a) {
  const auto scope = ReadFiscalYear(connection, a.ditta, a.esercizio, a.progressivo);
  if (!scope) return std::nullopt;
  const bool euro = a.valuta == "EURO";
  KeyPattern pattern{.conto = a.key.conto, .tipocf = a.key.tipocf, .clifor = a.key.clifor};
  if (!a.all_branches) pattern.sede = a.key.sede;
  const auto months = MonthsOf(*scope, MonthlyTotals(*connection, *scope, a.valuta, {pattern}));

  Explanation x;
  x.scope = *scope;
  x.months = MonthTable(months, euro, x.first_difference, x.flagged);
  int stored_rows = 0;
  const std::vector<YearFigure> year = YearFigures(*connection, a, stored_rows);
  std::vector<const YearFigure*> year_differs;
  x.year = YearTable(year, stored_rows, year_differs);
  x.flagged += static_cast<std::int64_t>(year_differs.size());
  x.year_agrees = year_differs.empty();
  const auto& parted = x.first_difference;
  if (parted) x.lines = MonthLines(*connection, a, parted->first, parted->second);
  x.verdict =
      Verdict(parted, parted ? &months.at(*parted) : nullptr, euro, year_differs, stored_rows);
  return x;
}

}  // namespace

ExplainResult ExplainAccount(const std::shared_ptr<db::Connection>& connection,
                             ExplainRequest request) {
  ExplainResult result;
  try {
    const Asked a = Check(request);
    std::shared_ptr<db::Connection> c = connection;
    Refusal refused;
    if (!c && !(c = ConnectOrRefuse(request.connection, refused))) {
      result.stato = refused.stato;
      result.errore = refused.errore;
      result.causa = refused.causa;
      return result;
    }
    result.explanation = Explain(c, a);
    if (!result.explanation) {
      result.stato = tsParametriNonValidi;
      result.errore = "Esercizio " + std::to_string(a.esercizio) + "/" +
                      std::to_string(a.progressivo) + " della ditta " + std::to_string(a.ditta) +
                      " non trovato";
    }
  } catch (const BadParameter& e) {
    result.stato = tsParametriNonValidi;
    result.errore = e.what();
  } catch (const std::exception& e) {
    result.stato = tsProgramError;
    result.errore = e.what();
  }
  return result;
}

}  // namespace veriprog
