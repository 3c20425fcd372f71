#include "component/account_months.h"

#include <cstdio>
#include <set>

#include "db/sql_text.h"
#include "db/text.h"
#include "frame/sql_text.h"
#include "veriprog/error.h"

namespace veriprog {
namespace {

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
    if (k.conto) add(c.conto + " = " + db::Quoted(*k.conto));
    if (k.prefix) add("LEFT(" + c.conto + ", 2) = " + db::Quoted(*k.prefix));
    if (k.tipocf) add(c.tipocf + " = " + db::SqlNumber(*k.tipocf));
    if (k.clifor) add(c.clifor + " = " + db::SqlNumber(*k.clifor));
    if (k.sede) add(c.sede + " = " + db::SqlNumber(*k.sede));
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

std::string CheckCode(const LedgerKey& key) {
  if (key.clifor == 0) return key.conto;
  // RIGHT('00000000' + code, 8), as the check composes it: the last eight digits.
  char digits[32];
  std::snprintf(digits, sizeof digits, "%08lld", static_cast<long long>(key.clifor));
  const std::string padded = digits;
  return key.conto.substr(0, 2) + padded.substr(padded.size() - 8);
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
      LedgerTable(TableId::kCG42) + " INNER JOIN " + LedgerTable(TableId::kCG41) +
      " ON CG41_DITTA_CG18 = CG42_DITTA_CG18 AND CG41_NUMREG = CG42_NUMREG_CG41"
      " INNER JOIN CG33_TABCAU ON CG33_CODICE = CG42_CODICE_CG33"
      " WHERE CG42_DITTA_CG18 = " +
      db::SqlNumber(scope.ditta) + " AND CG42_ANNO_CG19 = " + db::SqlNumber(scope.esercizio) +
      " AND CG42_PROGESER_CG19 = " + db::SqlNumber(scope.progressivo) +
      " AND CG41_INDTIPOMOV = 0 AND CG41_INDPROVREG = 0"
      " AND CG42_CODICE_CG33 <> '150 ' AND CG42_CODICE_CG33 <> '151 ' AND CG33_FLGCOMP = 0"
      " AND CG42_DATAREG BETWEEN '" +
      first.ToCompactDate() + "' AND '" + last.ToCompactDate() + "'" +
      (euro ? "" : " AND ISNULL(CG42_CODICE_CG08, 'EURO') = " + db::Quoted(valuta)) + " AND (" +
      PatternCondition(keys, kJournal) + ") GROUP BY " + kJournal.conto + ", " + kJournal.tipocf +
      ", " + kJournal.clifor + ", " + kJournal.sede + ", YEAR(CG42_DATAREG), MONTH(CG42_DATAREG)";
  db::Recordset moves = Open(connection, journal);
  for (moves.MoveFirst(); !moves.eof(); moves.MoveNext()) {
    const Month month{static_cast<int>(IntOf(moves.Get("ANNO"))),
                      static_cast<int>(IntOf(moves.Get("MESE")))};
    Add(out[KeyOf(moves)].journal[month], moves);
  }

  // The stored monthly totals (their currency twins for a currency).
  const std::string where = " WHERE CG52_DITTA_CG18 = " + db::SqlNumber(scope.ditta) +
                            " AND CG52_ANNO_CG53 = " + db::SqlNumber(scope.esercizio) +
                            " AND CG52_PROGESER_CG53 = " + db::SqlNumber(scope.progressivo) +
                            " AND (" + PatternCondition(keys, kMonthly) + ")";
  const std::string key = "SELECT " + kMonthly.conto + " AS CONTO, " + kMonthly.tipocf +
                          " AS TIPOCF, " + kMonthly.clifor + " AS CLIFOR, " + kMonthly.sede +
                          " AS SEDE, CG52_ANNOSOL AS ANNO, CG52_MESE AS MESE, ";
  const std::string stored =
      euro ? key +
                 "ISNULL(CG52_IMPORTODARE, 0) AS DARE, ISNULL(CG52_IMPORTOAVERE, 0) AS AVERE,"
                 " ISNULL(CG52_IMPORTODARE, 0) AS DAREEURO, ISNULL(CG52_IMPORTOAVERE, 0) AS "
                 "AVEREEURO FROM " +
                 LedgerTable(TableId::kCG52Read) + where
           : key +
                 "ISNULL(CGV1_IMPORTODARE, 0) AS DARE, ISNULL(CGV1_IMPORTOAVERE, 0) AS AVERE,"
                 " ISNULL(CGV1_IMPORTODAREEURO, 0) AS DAREEURO,"
                 " ISNULL(CGV1_IMPORTOAVEREEURO, 0) AS AVEREEURO FROM " +
                 LedgerTable(TableId::kCGV1) + " INNER JOIN " + LedgerTable(TableId::kCG52Read) +
                 " ON CGV1_IDPROGM_CG52 = CG52_IDPROGM" + where +
                 " AND CGV1_CODICE_CG08 = " + db::Quoted(valuta);
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

}  // namespace veriprog
