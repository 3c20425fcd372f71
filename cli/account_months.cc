#include "cli/account_months.h"

#include <cstdio>
#include <set>

#include "db/text.h"
#include "veriprog/error.h"
#include "veriprog/ledger_lookup.h"

namespace veriprog::cli {
namespace {

// Ledger table identifiers, as the table-name resolver knows them.
constexpr int kCGV1 = 5, kCG41 = 55, kCG42 = 56, kCG52Read = 58;

// The columns of a key in a table that holds one.
struct KeyColumns {
  std::string conto, tipocf, clifor, sede;
};
const KeyColumns kJournal{"ISNULL(CG42_CONTOPAR_CG24, '')", "ISNULL(CG42_TIPOCF_CG44, 0)",
                          "ISNULL(CG42_CLIFORPAR_CG44, 0)",
                          "ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0))"};
const KeyColumns kMonthly{"ISNULL(CG52_CONTO_CG24, '')", "ISNULL(CG52_TIPOCF_CG44, 0)",
                          "ISNULL(CG52_CLIFOR_CG44, 0)", "ISNULL(CG52_CODICE_CG31, 0)"};

std::string PatternCondition(const std::vector<KeyPattern>& keys, const KeyColumns& c) {
  std::string any;
  for (const KeyPattern& k : keys) {
    std::string all;
    auto add = [&](const std::string& term) { all += (all.empty() ? "" : " AND ") + term; };
    if (k.conto) add(c.conto + " = " + SqlString(*k.conto));
    if (k.prefix) add("LEFT(" + c.conto + ", 2) = " + SqlString(*k.prefix));
    if (k.tipocf) add(c.tipocf + " = " + SqlNumber(*k.tipocf));
    if (k.clifor) add(c.clifor + " = " + SqlNumber(*k.clifor));
    if (k.sede) add(c.sede + " = " + SqlNumber(*k.sede));
    if (all.empty()) all = "1 = 1";
    any += (any.empty() ? "(" : " OR (") + all + ")";
  }
  return any.empty() ? "1 = 0" : any;
}

std::int64_t IntOf(const db::Variant& v) {
  return v.ToInteger().value_or(0);
}
db::Decimal DecimalOf(const db::Variant& v) {
  return v.ToDecimal().value_or(db::Decimal());
}

LedgerKey KeyOf(const db::Recordset& rs) {
  return {std::string(db::TrimRight(rs.Get("CONTO").ToText())), IntOf(rs.Get("TIPOCF")),
          IntOf(rs.Get("CLIFOR")), IntOf(rs.Get("SEDE"))};
}

void Add(MonthAmounts& m, const db::Recordset& rs) {
  m.dare += DecimalOf(rs.Get("DARE"));
  m.avere += DecimalOf(rs.Get("AVERE"));
  m.dare_euro += DecimalOf(rs.Get("DAREEURO"));
  m.avere_euro += DecimalOf(rs.Get("AVEREEURO"));
}

db::Recordset Open(db::Connection& connection, const std::string& sql) {
  return db::Recordset::FromResult(connection.Query(sql), nullptr);
}

}  // namespace

std::string FiscalScope::Label() const {
  return std::to_string(esercizio) + "/" + std::to_string(progressivo);
}

std::vector<std::pair<int, int>> FiscalScope::Months() const {
  std::vector<std::pair<int, int>> months;
  for (int y = start.year, m = start.month; y < end.year || (y == end.year && m <= end.month);) {
    months.emplace_back(y, m);
    if (++m > 12) {
      m = 1;
      ++y;
    }
  }
  return months;
}

std::optional<FiscalScope> ReadFiscalYear(const std::shared_ptr<db::Connection>& connection,
                                          std::int64_t ditta, std::int64_t esercizio,
                                          std::int64_t progressivo) {
  const auto dates = ReadFiscalYearDates(connection, ditta, esercizio, progressivo);
  if (!dates) return std::nullopt;
  return FiscalScope{ditta, esercizio, progressivo, dates->start, dates->end};
}

std::string LedgerTable(int table_id) {
  return LedgerTableName(table_id);
}

std::string CheckCode(const LedgerKey& key) {
  if (key.clifor == 0) return key.conto;
  // RIGHT('00000000' + code, 8), as the check composes it: the last eight digits.
  char digits[32];
  std::snprintf(digits, sizeof digits, "%08lld", static_cast<long long>(key.clifor));
  const std::string padded = digits;
  return key.conto.substr(0, 2) + padded.substr(padded.size() - 8);
}

std::string SqlNumber(std::int64_t value) {
  return std::to_string(value);
}

std::string SqlString(const std::string& value) {
  return db::Quoted(value);
}

std::map<LedgerKey, KeyMonths> MonthlyTotals(db::Connection& connection, const FiscalScope& scope,
                                             const std::string& valuta,
                                             const std::vector<KeyPattern>& keys) {
  std::map<LedgerKey, KeyMonths> out;
  const bool euro = valuta == "EURO";
  const db::DateTime last{scope.end.year, scope.end.month,
                          db::DateTime::DaysInMonth(scope.end.year, scope.end.month)};
  const db::DateTime first{scope.start.year, scope.start.month, 1};

  // The journal: the rebuild's ordinary movements, month by month.
  const std::string amount = euro ? "CG42_IMPTOTALE" : "CG42_IMPTOTALEVAL";
  const std::string journal =
      "SELECT " + kJournal.conto + " AS CONTO, " + kJournal.tipocf + " AS TIPOCF, " +
      kJournal.clifor + " AS CLIFOR, " + kJournal.sede +
      " AS SEDE, YEAR(CG42_DATAREG) AS ANNO, MONTH(CG42_DATAREG) AS MESE,"
      " SUM(CASE WHEN CG42_INDDAAV = 1 THEN ISNULL(" +
      amount + ", 0) ELSE 0 END) AS DARE, SUM(CASE WHEN CG42_INDDAAV = 2 THEN ISNULL(" + amount +
      ", 0) ELSE 0 END) AS AVERE,"
      " SUM(CASE WHEN CG42_INDDAAV = 1 THEN ISNULL(CG42_IMPTOTALE, 0) ELSE 0 END) AS DAREEURO,"
      " SUM(CASE WHEN CG42_INDDAAV = 2 THEN ISNULL(CG42_IMPTOTALE, 0) ELSE 0 END) AS AVEREEURO"
      " FROM " +
      LedgerTable(kCG42) + " INNER JOIN " + LedgerTable(kCG41) +
      " ON CG41_DITTA_CG18 = CG42_DITTA_CG18 AND CG41_NUMREG = CG42_NUMREG_CG41"
      " INNER JOIN CG33_TABCAU ON CG33_CODICE = CG42_CODICE_CG33"
      " WHERE CG42_DITTA_CG18 = " +
      SqlNumber(scope.ditta) + " AND CG42_ANNO_CG19 = " + SqlNumber(scope.esercizio) +
      " AND CG42_PROGESER_CG19 = " + SqlNumber(scope.progressivo) +
      " AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0"
      " AND CG42_CODICE_CG33 <> '150 ' AND CG42_CODICE_CG33 <> '151 ' AND CG33_FLGCOMP = 0"
      " AND CG42_DATAREG BETWEEN '" +
      first.ToCompactDate() + "' AND '" + last.ToCompactDate() + "'" +
      (euro ? "" : " AND ISNULL(CG42_CODICE_CG08, 'EURO') = " + SqlString(valuta)) + " AND (" +
      PatternCondition(keys, kJournal) + ") GROUP BY " + kJournal.conto + ", " + kJournal.tipocf +
      ", " + kJournal.clifor + ", " + kJournal.sede + ", YEAR(CG42_DATAREG), MONTH(CG42_DATAREG)";
  db::Recordset moves = Open(connection, journal);
  for (moves.MoveFirst(); !moves.eof(); moves.MoveNext()) {
    const Month month{static_cast<int>(IntOf(moves.Get("ANNO"))),
                      static_cast<int>(IntOf(moves.Get("MESE")))};
    Add(out[KeyOf(moves)].journal[month], moves);
  }

  // The stored monthly totals (their currency twins for a currency).
  const std::string where = " WHERE CG52_DITTA_CG18 = " + SqlNumber(scope.ditta) +
                            " AND CG52_ANNO_CG53 = " + SqlNumber(scope.esercizio) +
                            " AND CG52_PROGESER_CG53 = " + SqlNumber(scope.progressivo) + " AND (" +
                            PatternCondition(keys, kMonthly) + ")";
  const std::string key = "SELECT " + kMonthly.conto + " AS CONTO, " + kMonthly.tipocf +
                          " AS TIPOCF, " + kMonthly.clifor + " AS CLIFOR, " + kMonthly.sede +
                          " AS SEDE, CG52_ANNOSOL AS ANNO, CG52_MESE AS MESE, ";
  const std::string stored =
      euro ? key +
                 "ISNULL(CG52_IMPORTODARE, 0) AS DARE, ISNULL(CG52_IMPORTOAVERE, 0) AS AVERE,"
                 " ISNULL(CG52_IMPORTODARE, 0) AS DAREEURO, ISNULL(CG52_IMPORTOAVERE, 0) AS "
                 "AVEREEURO FROM " +
                 LedgerTable(kCG52Read) + where
           : key +
                 "ISNULL(CGV1_IMPORTODARE, 0) AS DARE, ISNULL(CGV1_IMPORTOAVERE, 0) AS AVERE,"
                 " ISNULL(CGV1_IMPORTODAREEURO, 0) AS DAREEURO,"
                 " ISNULL(CGV1_IMPORTOAVEREEURO, 0) AS AVEREEURO FROM " +
                 LedgerTable(kCGV1) + " INNER JOIN " + LedgerTable(kCG52Read) +
                 " ON CGV1_IDPROGM_CG52 = CG52_IDPROGM" + where +
                 " AND CGV1_CODICE_CG08 = " + SqlString(valuta);
  db::Recordset rows = Open(connection, stored);
  for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
    const Month month{static_cast<int>(IntOf(rows.Get("ANNO"))),
                      static_cast<int>(IntOf(rows.Get("MESE")))};
    MonthAmounts& m = out[KeyOf(rows)].stored[month];
    Add(m, rows);
    ++m.stored_rows;
  }
  return out;
}

std::vector<MonthSeries> FlaggedAccountCharts(db::Connection& connection, const FiscalScope& scope,
                                              db::Recordset& rows, std::size_t limit) {
  struct Wanted {
    std::string code;
    std::int64_t sede;
    std::string currency;  // the currency whose lines make the row: "EURO" for euro rows
    bool euro_twin;        // a '(EURO)' row: the currency's lines in euro
    std::string title;
  };
  std::vector<Wanted> wanted;
  std::string last_currency = "EURO";
  if (!rows.is_open() || !rows.FieldIndex("FLAGSBIL")) return {};
  for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
    const std::string valuta(db::Trim(rows.Get("VALUTA").ToText()));
    if (valuta != "EURO" && valuta != "(EURO)") last_currency = valuta;
    if (db::Trim(rows.Get("FLAGSBIL").ToText()).empty() || wanted.size() >= limit) continue;
    const std::string code(db::Trim(rows.Get("CONTO").ToText()));
    const bool twin = valuta == "(EURO)";
    std::string title = code + "  branch " + rows.Get("SEDE").ToText() + "  " +
                        (twin ? last_currency + " in euro" : valuta);
    const std::string description(db::Trim(rows.Get("DESCRIZIONE").ToText()));
    if (!description.empty()) title += "  " + description;
    wanted.push_back(
        {code, IntOf(rows.Get("SEDE")), valuta == "EURO" ? "EURO" : last_currency, twin, title});
  }
  std::map<std::string, std::vector<KeyPattern>> patterns;  // by currency
  for (const Wanted& w : wanted) {
    auto& p = patterns[w.currency];
    p.push_back({.conto = w.code, .clifor = 0, .sede = w.sede});
    // A customer or supplier shows as the account's first two characters and its code.
    if (w.code.size() == 10 && w.code.find_first_not_of("0123456789", 2) == std::string::npos)
      p.push_back(
          {.prefix = w.code.substr(0, 2), .clifor = std::stoll(w.code.substr(2)), .sede = w.sede});
  }
  std::map<std::string, std::map<LedgerKey, KeyMonths>> totals;
  for (const auto& [currency, keys] : patterns)
    totals[currency] = MonthlyTotals(connection, scope, currency, keys);

  std::vector<MonthSeries> charts;
  for (const Wanted& w : wanted) {
    MonthSeries chart{w.title, "", {}};
    const bool in_euro = w.currency == "EURO" || w.euro_twin;
    std::optional<Month> parted;
    for (const auto& [year, month] : scope.Months()) {
      MonthSeries::Point point{year, month, {}, {}};
      for (const auto& [key, months] : totals[w.currency]) {
        if (CheckCode(key) != w.code || key.sede != w.sede) continue;
        auto net = [&](const std::map<Month, MonthAmounts>& side) {
          auto it = side.find({year, month});
          if (it == side.end()) return db::Decimal();
          return in_euro ? it->second.dare_euro - it->second.avere_euro
                         : it->second.dare - it->second.avere;
        };
        point.stored += net(months.stored);
        point.journal += net(months.journal);
      }
      if (!parted && point.stored != point.journal) parted = Month{year, month};
      chart.points.push_back(point);
    }
    char when[16] = "";
    if (parted) std::snprintf(when, sizeof when, "%04d-%02d", parted->first, parted->second);
    chart.note = parted ? std::string("stored and journal part in ") + when
                        : "the months agree; the yearly total does not";
    charts.push_back(std::move(chart));
  }
  return charts;
}

}  // namespace veriprog::cli
