#include "contabili/ricalcolo_progressivi.h"

#include <cstdio>

#include "frame/drivers.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"

namespace veriprog::contabili {
namespace {

// Debit and credit of a line, in the accounting currency and in the line's currency.
constexpr const char* kD = "CASE WHEN CG42_INDDAAV = 1 THEN ISNULL(CG42_IMPTOTALE,0) ELSE 0 END";
constexpr const char* kA = "CASE WHEN CG42_INDDAAV = 2 THEN ISNULL(CG42_IMPTOTALE,0) ELSE 0 END";
constexpr const char* kDV =
    "CASE WHEN CG42_INDDAAV = 1 THEN ISNULL(CG42_IMPTOTALEVAL,0) ELSE 0 END";
constexpr const char* kAV =
    "CASE WHEN CG42_INDDAAV = 2 THEN ISNULL(CG42_IMPTOTALEVAL,0) ELSE 0 END";

constexpr const char* kKeyOrder = " ORDER BY CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA";
constexpr const char* kMonthOrder = " ORDER BY ANNO, MESE, CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA";
constexpr const char* kKeyGroup =
    "ISNULL(CG42_CONTOPAR_CG24, ''), ISNULL(CG42_TIPOCF_CG44, 0), ISNULL(CG42_CLIFORPAR_CG44, 0), ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0))";

// The ON lines that tie a row of the temporary tables to its yearly total of the same key.
void YearlyKeyJoin(SqlLines& sql, const FiscalYearKey& key) {
  sql << FiscalYearCondition(kCG53Year, key, "      ON ", "     AND ")
      << "     AND ISNULL(CG53_CONTO_CG24, '') = CONTOPAR"
      << "     AND ISNULL(CG53_TIPOCF_CG44, 0) = TIPOCF"
      << "     AND ISNULL(CG53_CLIFOR_CG44,0) = CLIFOR"
      << "     AND ISNULL(CG53_CODICE_CG31, 0) = SEDE";
}

// Debit and credit sums named PREFIX + DARE/AVERE (and DAREVAL/AVEREVAL): in the currency
// branch from the lines' currency amounts, in the 'EURO' branch as zeros.
std::string DebitCreditSums(std::string_view sep, const std::string& prefix, bool currency) {
  const std::string d = " SUM(" + std::string(kD) + ") AS " + prefix + "DARE,";
  const std::string a = " SUM(" + std::string(kA) + ") AS " + prefix + "AVERE,";
  if (!currency)
    return JoinLines(sep, {d, a, " 0 AS " + prefix + "DAREVAL, 0 AS " + prefix + "AVEREVAL"});
  return JoinLines(sep, {d, a, " SUM(" + std::string(kDV) + ") AS " + prefix + "DAREVAL,",
                         " SUM(" + std::string(kAV) + ") AS " + prefix + "AVEREVAL"});
}

}  // namespace

// --- the operations ------------------------------------------------------------------------------

RebuildPlan RicalcoloProgressivi::Plan(bool legacy) {
  using R = RicalcoloProgressivi;
  const auto r = Passi(this);
  RebuildPlan plan{.routine = legacy ? "AzzeraAggiornaProgressiviContabiliOld"
                                     : "AzzeraAggiornaProgressiviContabili",
                   .checks = {Check::kConnection, Check::kCompany, Check::kFiscalYear,
                              Check::kFiscalSequence, Check::kCompanyObject},
                   .numeric = {NumericParam::kDitta, NumericParam::kEsercizio,
                               NumericParam::kProgressivo, NumericParam::kCodiceSede},
                   .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviContabili,
                              &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviContabili,
                              &VeriprogEvents::EndAzzeraAggiornaProgressiviContabili},
                   .steps = {}};
  if (legacy) {
    // The zeroed rows are deleted before new ones are written, so that every key keeps one row.
    plan.steps = {
        {"Azzeramento progressivi mensili",
         {r("AzzeraProgressiviMensili", &R::AzzeraProgressiviMensili),
          r("AzzeraProgressiviMensiliValuta", &R::AzzeraProgressiviMensiliValuta)}},
        {"Azzeramento progressivi annuali",
         {r("AzzeraProgressiviAnnuali", &R::AzzeraProgressiviAnnuali),
          r("AzzeraProgressiviAnnualiValuta", &R::AzzeraProgressiviAnnualiValuta),
          r("EliminaProgressiviAzzerati", &R::EliminaProgressiviAzzerati)}},
        {"Calcolo progressivi contabili per anno/mese",
         {r("CalcolaProgressiviContabiliPerMeseAnno", &R::CalcolaProgressiviContabiliPerMeseAnno)}},
    };
  } else {
    plan.steps = {
        {"Azzeramento progressivi mensili",
         {r("AzzeraProgressiviContabiliMensili", &R::AzzeraProgressiviContabiliMensili)}},
        {"Azzeramento progressivi annuali",
         {r("AzzeraProgressiviContabiliAnnuali", &R::AzzeraProgressiviContabiliAnnuali)}},
        {"Calcolo progressivi contabili per anno/mese",
         {r("CalcolaProgressiviContabiliPerMeseAnno_Massivo",
            &R::CalcolaProgressiviContabiliPerMeseAnno_Massivo)}},
    };
  }
  plan.steps.insert(
      plan.steps.end(),
      {
          {"Calcolo bilancio di chiusura/apertura",
           {r("CalcolaBilancioChiusuraApertura", &R::CalcolaBilancioChiusuraApertura)}},
          {"Calcolo rettifiche", {r("CalcolaRettifiche", &R::CalcolaRettifiche)}},
          {"Calcolo progressivi contabili finali",
           {r("CalcolaProgressiviContabiliFinali", &R::CalcolaProgressiviContabiliFinali)}},
          {"Calcolo saldi finali", {r("CalcolaSaldiFinali", &R::CalcolaSaldiFinali)}},
          {"Scrittura progressivi annuali",
           {r("AggiornaProgressiviAnnuali", &R::AggiornaProgressiviAnnuali)}},
          {"Scrittura progressivi mensili",
           {r("AggiornaProgressiviMensili", &R::AggiornaProgressiviMensili)}},
      });
  return plan;
}

void RicalcoloProgressivi::Esegui() {
  RunRebuild(f_, Plan(false));
}

void RicalcoloProgressivi::EseguiOld() {
  RunRebuild(f_, Plan(true));
}

void RicalcoloProgressivi::RunOne(const std::string& sql) {
  static constexpr StepEvents kEvents{
      &VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviContabili,
      &VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili,
      &VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviContabili};
  veriprog::RunOne(f_, kEvents, sql);
}

std::string RicalcoloProgressivi::BranchFilter(std::string_view prefix,
                                               std::string_view column) const {
  if (!f_.SedeIndicata()) return "";
  return std::string(prefix) + std::string(column) + " = " + f_.Sede();
}

// --- steps 1 and 2: resets ---------------------------------------------------------------------

void RicalcoloProgressivi::AzzeraProgressiviContabiliMensili() {
  const std::string t3 = f_.GetTableName(TableId::kCG52);
  const std::string t5 = f_.GetTableName(TableId::kCGV1);
  const FiscalYearKey key = f_.ChiaveEsercizio(false);
  const std::string pad(29, ' ');
  SqlLines twins;
  twins << " DELETE"
        << " FROM  " + t5 << " WHERE CGV1_IDPROGM_CG52 IN (" << pad + "SELECT CG52_IDPROGM"
        << pad + "FROM " + t3 << FiscalYearCondition(kCG52Year, key, pad + "WHERE ", pad + "AND ");
  if (f_.SedeIndicata()) twins << BranchFilter(pad + "AND ", "CG52_CODICE_CG31");
  twins << pad + ")";
  RunOne(twins.str());
  SqlLines monthly;
  monthly << " DELETE"
          << " FROM " + t3 << FiscalYearCondition(kCG52Year, key, " WHERE ", " AND ");
  if (f_.SedeIndicata()) monthly << BranchFilter(" AND ", "CG52_CODICE_CG31");
  RunOne(monthly.str());
}

void RicalcoloProgressivi::AzzeraProgressiviContabiliAnnuali() {
  const std::string t2 = f_.GetTableName(TableId::kCG53);
  const std::string t4 = f_.GetTableName(TableId::kCGV0);
  const FiscalYearKey key = f_.ChiaveEsercizio(false);
  const std::string pad(30, ' ');
  SqlLines twins;
  twins << " DELETE "
        << " FROM  " + t4 << " WHERE CGV0_IDPROGA_CG53 IN (" << pad + "SELECT CG53_IDPROGA"
        << pad + "FROM " + t2 << FiscalYearCondition(kCG53Year, key, pad + "WHERE ", pad + "AND ");
  if (f_.SedeIndicata()) twins << BranchFilter(std::string(31, ' ') + "AND ", "CG53_CODICE_CG31");
  twins << std::string(29, ' ') + ")";
  RunOne(twins.str());
  SqlLines yearly;
  yearly << " DELETE "
         << " FROM " + t2 << FiscalYearCondition(kCG53Year, key, " WHERE ", " AND ");
  if (f_.SedeIndicata()) yearly << BranchFilter(" AND ", "CG53_CODICE_CG31");
  RunOne(yearly.str());
}

// --- steps 3 to 7: calculations ----------------------------------------------------------------

void RicalcoloProgressivi::EliminaTabelleRicalcolo() {
  try {
    f_.Connection().Execute(DropTempTablesBatch(
        {"#PROGRCONTMESEANNO", "#BILCHIUAPE", "#RETTIFICHE", "#PROGRCONTFIN", "#SALDIFIN"}));
  } catch (...) {
  }
}

bool RicalcoloProgressivi::ReadFiscalYear(db::DateTime& start, db::DateTime& end) {
  const auto esercizio = f_.EsercizioRichiesto();
  if (!esercizio) return false;
  if (esercizio->start.kind() != db::Variant::Kind::kDateTime ||
      esercizio->end.kind() != db::Variant::Kind::kDateTime) {
    throw db::OutsideError("date dell'esercizio non valide");
  }
  start = esercizio->start.AsDateTime();
  end = esercizio->end.AsDateTime();
  return true;
}

std::string RicalcoloProgressivi::MonthList(const db::DateTime& start, const db::DateTime& end) {
  std::string list;
  for (int y = start.year; y <= end.year; ++y) {
    f_.Raise(&VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili, 1);
    const int first = y == start.year ? start.month : 1;
    const int last = y == end.year ? end.month : 12;
    for (int m = first; m <= last; ++m) {
      const db::DateTime from{y, m, 1};
      const db::DateTime to{y, m, db::DateTime::DaysInMonth(y, m)};
      if (!list.empty()) list += "\r\n UNION\r\n";
      list += " SELECT " + SqlNumber(y) + " AS ANNO, " + SqlNumber(m) + " AS MESE, " +
              f_.DataDB(from).ToText() + " AS DATAINIZIOMESE, " + f_.DataDB(to).ToText() +
              " AS DATAFINEMESE";
    }
  }
  return list;
}

std::string RicalcoloProgressivi::KeyColumns(std::string_view sep, bool currency) {
  return JoinLines(
      sep, {" ISNULL(CG42_CONTOPAR_CG24, '') AS CONTOPAR,",
            " ISNULL(CG42_TIPOCF_CG44, 0) AS TIPOCF,", " ISNULL(CG42_CLIFORPAR_CG44, 0) AS CLIFOR,",
            " ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0)) AS SEDE,",
            currency ? " CG42_CODICE_CG08 AS VALUTA," : " 'EURO' AS VALUTA,"});
}

std::string RicalcoloProgressivi::Journal(std::string_view sep, bool currency,
                                          std::string_view extra_from, std::string_view conditions,
                                          std::string_view group_extra) const {
  std::string out =
      JoinLines(sep, {" FROM " + f_.GetTableName(TableId::kCG42),
                      "    INNER JOIN " + f_.GetTableName(TableId::kCG41),
                      "            ON CG41_DITTA_CG18 = CG42_DITTA_CG18",
                      "           AND CG41_NUMREG = CG42_NUMREG_CG41", "    INNER JOIN CG33_TABCAU",
                      "            ON CG33_CODICE = CG42_CODICE_CG33"});
  out += extra_from;
  out +=
      JoinLines(sep, FiscalYearCondition(kCG42Year, f_.ChiaveEsercizio(false), " WHERE ", " AND "));
  out += JoinLines(sep, {" AND CG41_INDTIPOMOV = 0", " AND CG41_INDPROVREG = 0"});
  out += conditions;
  if (currency) out += JoinLines(sep, {" AND ISNULL(CG42_CODICE_CG08,'EURO') <> 'EURO'"});
  if (f_.SedeIndicata()) {
    out += BranchFilter(" AND ", "ISNULL(CG42_CODICE_CG31, CG41_CODICE_CG31)");
    out += sep;
  }
  // The key is grouped exactly as it is selected: a null and a 0 customer type are one key.
  out +=
      " GROUP BY " + std::string(group_extra) + kKeyGroup + (currency ? ", CG42_CODICE_CG08" : "");
  out += sep;
  return out;
}

std::string RicalcoloProgressivi::MonthlyStatement(std::string_view sep,
                                                   const std::string& branches) {
  return JoinLines(
             sep,
             {" SELECT ANNO, MESE, CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA, TOTALEDARE, TOTALEAVERE, TOTALEDAREVAL, TOTALEAVEREVAL",
              "     INTO #PROGRCONTMESEANNO FROM ("}) +
         branches + JoinLines(sep, {" ) AS PROGRCONTMESEANNO", kMonthOrder});
}

void RicalcoloProgressivi::CalcolaProgressiviContabiliPerMeseAnno_Massivo() {
  db::DateTime start, end;
  if (!ReadFiscalYear(start, end)) return;
  EliminaTabelleRicalcolo();
  // The length of the fiscal year in days, read as a date and shown as its month: 12 for a
  // year of 365 days.
  const auto days = end.DayNumber() - start.DayNumber();
  const db::DateTime serial =
      db::DateTime::FromDayNumber(db::DateTime{1899, 12, 30}.DayNumber() + days);
  char mm[8];
  std::snprintf(mm, sizeof mm, "%02d", serial.month);
  f_.Raise(&VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviContabili, std::string(mm));
  const std::string months = MonthList(start, end);
  const std::string cross =
      JoinLines(kCRLF, {"    CROSS JOIN", "        (", "         " + months, "        ) MESI"});
  const std::string conditions =
      JoinLines(kCRLF, {" AND CG42_CODICE_CG33 <> '150 '", " AND CG42_CODICE_CG33 <> '151 '",
                        " AND CG42_DATAREG BETWEEN DATAINIZIOMESE AND DATAFINEMESE",
                        " AND CG33_FLGCOMP = 0"});
  std::string branches;
  for (bool currency : {false, true}) {
    if (currency) branches += " UNION ALL\r\n";
    branches +=
        JoinLines(kCRLF, {" SELECT MESE AS MESE, ANNO AS ANNO,"}) + KeyColumns(kCRLF, currency);
    branches += DebitCreditSums(kCRLF, "TOTALE", currency);
    branches += Journal(kCRLF, currency, cross, conditions, "ANNO, MESE, ");
  }
  f_.Connection().Execute(MonthlyStatement(kCRLF, branches));
  f_.Raise(&VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviContabili);
}

void RicalcoloProgressivi::CalcolaProgressiviContabiliPerMeseAnno() {
  db::DateTime start, end;
  if (!ReadFiscalYear(start, end)) return;
  EliminaTabelleRicalcolo();
  f_.Raise(&VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviContabili, 1);
  std::string branches;
  for (int y = start.year; y <= end.year; ++y) {
    f_.Raise(&VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili, 1);
    const int first = y == start.year ? start.month : 1;
    const int last = y == end.year ? end.month : 12;
    for (int m = first; m <= last; ++m) {
      const std::string between =
          " AND CG42_DATAREG BETWEEN " + f_.DataDB(db::DateTime{y, m, 1}).ToText() + " AND " +
          f_.DataDB(db::DateTime{y, m, db::DateTime::DaysInMonth(y, m)}).ToText();
      const std::string conditions =
          JoinLines(kCR, {" AND CG42_CODICE_CG33 <> '150 '", " AND CG42_CODICE_CG33 <> '151 '",
                          between, " AND CG33_FLGCOMP = 0"});
      for (bool currency : {false, true}) {
        branches += " SELECT " + SqlNumber(m) + " AS MESE, " + SqlNumber(y) + " AS ANNO,\r";
        branches += KeyColumns(kCR, currency);
        branches += DebitCreditSums(kCR, "TOTALE", currency);
        branches += Journal(kCR, currency, "", conditions, "");
        branches += " UNION ALL ";
      }
    }
  }
  branches.resize(branches.size() - std::string(" UNION ALL ").size());
  branches += "\r";
  f_.Connection().Execute(MonthlyStatement(kCR, branches));
  f_.Raise(&VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviContabili);
}

std::string RicalcoloProgressivi::ShapedStatement(std::string_view table, std::string_view outer,
                                                  std::string_view euro_sums,
                                                  std::string_view currency_sums,
                                                  std::string_view conditions) const {
  std::string sql = JoinLines(kCR, {" SELECT CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA,"});
  sql += outer;
  sql += JoinLines(kCR, {"     INTO #" + std::string(table) + " FROM ("});
  for (bool currency : {false, true}) {
    if (currency) sql += JoinLines(kCR, {" UNION ALL"});
    sql += JoinLines(kCR, {" SELECT"}) + KeyColumns(kCR, currency);
    sql += currency ? currency_sums : euro_sums;
    sql += Journal(kCR, currency, "", conditions, "");
  }
  sql += JoinLines(kCR, {" ) AS " + std::string(table), kKeyOrder});
  return sql;
}

void RicalcoloProgressivi::CalcolaBilancioChiusuraApertura() {
  auto balance = [](const char* causal, const char* d, const char* a, const char* name) {
    return std::string(" SUM(CASE WHEN CG42_CODICE_CG33 = '") + causal + "' THEN " + d + " - " + a +
           " ELSE 0 END) AS " + name;
  };
  const std::string euro = JoinLines(kCR, {balance("150 ", kD, kA, "BILANCIOCHIUSURA,"),
                                           balance("151 ", kD, kA, "BILANCIOAPERTURA,"),
                                           " 0 AS BILANCIOCHIUSURAVAL, 0 AS BILANCIOAPERTURAVAL"});
  const std::string currency = JoinLines(kCR, {balance("150 ", kD, kA, "BILANCIOCHIUSURA,"),
                                               balance("151 ", kD, kA, "BILANCIOAPERTURA,"),
                                               balance("150 ", kDV, kAV, "BILANCIOCHIUSURAVAL,"),
                                               balance("151 ", kDV, kAV, "BILANCIOAPERTURAVAL")});
  const std::string outer = JoinLines(
      kCR,
      {" BILANCIOCHIUSURA, BILANCIOAPERTURA, BILANCIOCHIUSURAVAL, BILANCIOAPERTURAVAL,",
       " 0 AS RETTIFICADARE, 0 AS RETTIFICAAVERE, 0 AS RETTIFICADAREVAL, 0 AS RETTIFICAAVEREVAL,",
       " 0 AS TOTALEDARE, 0 AS TOTALEAVERE, 0 AS TOTALEDAREVAL, 0 AS TOTALEAVEREVAL"});
  const std::string conditions =
      JoinLines(kCR, {" AND (   CG42_CODICE_CG33 = '150 '", "      OR CG42_CODICE_CG33 = '151 ')",
                      " AND CG33_FLGCOMP = 0"});
  RunOne(ShapedStatement("BILCHIUAPE", outer, euro, currency, conditions));
}

void RicalcoloProgressivi::CalcolaRettifiche() {
  const std::string euro = DebitCreditSums(kCR, "RETTIFICA", false);
  const std::string currency = DebitCreditSums(kCR, "RETTIFICA", true);
  const std::string outer = JoinLines(
      kCR,
      {" 0 AS BILANCIOCHIUSURA, 0 AS BILANCIOAPERTURA, 0 AS BILANCIOCHIUSURAVAL, 0 AS BILANCIOAPERTURAVAL,",
       " RETTIFICADARE, RETTIFICAAVERE, RETTIFICADAREVAL, RETTIFICAAVEREVAL,",
       " 0 AS TOTALEDARE, 0 AS TOTALEAVERE, 0 AS TOTALEDAREVAL, 0 AS TOTALEAVEREVAL"});
  RunOne(ShapedStatement("RETTIFICHE", outer, euro, currency,
                         JoinLines(kCR, {" AND CG33_FLGCOMP = 1"})));
}

void RicalcoloProgressivi::CalcolaProgressiviContabiliFinali() {
  const std::string euro = DebitCreditSums(kCR, "TOTALE", false);
  const std::string currency = DebitCreditSums(kCR, "TOTALE", true);
  const std::string outer = JoinLines(
      kCR,
      {" 0 AS BILANCIOCHIUSURA, 0 AS BILANCIOAPERTURA, 0 AS BILANCIOCHIUSURAVAL, 0 AS BILANCIOAPERTURAVAL,",
       " 0 AS RETTIFICADARE, 0 AS RETTIFICAAVERE, 0 AS RETTIFICADAREVAL, 0 AS RETTIFICAAVEREVAL,",
       " TOTALEDARE, TOTALEAVERE, TOTALEDAREVAL, TOTALEAVEREVAL"});
  const std::string conditions =
      JoinLines(kCR, {" AND CG42_CODICE_CG33 <> '150 '", " AND CG42_CODICE_CG33 <> '151 '",
                      " AND CG33_FLGCOMP = 0"});
  RunOne(ShapedStatement("PROGRCONTFIN", outer, euro, currency, conditions));
}

void RicalcoloProgressivi::CalcolaSaldiFinali() {
  static constexpr const char* kColumns[] = {
      "BILANCIOCHIUSURA", "BILANCIOAPERTURA", "BILANCIOCHIUSURAVAL", "BILANCIOAPERTURAVAL",
      "RETTIFICADARE",    "RETTIFICAAVERE",   "RETTIFICADAREVAL",    "RETTIFICAAVEREVAL",
      "TOTALEDARE",       "TOTALEAVERE",      "TOTALEDAREVAL",       "TOTALEAVEREVAL"};
  std::string shared = "CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA";
  for (const char* c : kColumns)
    shared += std::string(", ") + c;
  SqlLines sql;
  sql << " SELECT CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA,";
  for (const char* c : kColumns)
    sql << std::string("        SUM(") + c + ") AS " + c + ",";
  sql << "        SUM(BILANCIOAPERTURA + (RETTIFICADARE - RETTIFICAAVERE) + (TOTALEDARE - TOTALEAVERE)) AS SALDOFINALE,";
  sql << "        SUM(BILANCIOAPERTURAVAL + (RETTIFICADAREVAL - RETTIFICAAVEREVAL) + (TOTALEDAREVAL - TOTALEAVEREVAL)) As SALDOFINALEVAL";
  sql << "     INTO #SALDIFIN FROM (";
  sql << " SELECT " + shared + " FROM #BILCHIUAPE";
  sql << " UNION ALL";
  sql << " SELECT " + shared + " FROM #RETTIFICHE";
  sql << " UNION ALL";
  sql << " SELECT " + shared + " FROM #PROGRCONTFIN";
  sql << " ) AS SALDIFIN";
  sql << " GROUP BY CONTOPAR, TIPOCF, CLIFOR, SEDE, VALUTA";
  sql << kKeyOrder;
  RunOne(sql.str());
}

// --- steps 8 and 9: writers --------------------------------------------------------------------

// The writers ask for the company object first; without it the rebuild ends and rolls back.

void RicalcoloProgressivi::AggiornaProgressiviAnnuali() {
  if (!f_.DittaPronta()) return;
  const FiscalYearKey key = f_.ChiaveEsercizio(true);
  const auto& [ditta, esercizio, progressivo, gruppo] = key;
  const std::string i = "         ";
  SqlLines yearly;
  yearly
      << " INSERT INTO " + f_.GetTableName(TableId::kCG53) +
             " (CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19, CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_TIPOCF_CG44, CG53_CLIFOR_CG44, CG53_SALDOAPE, CG53_RETTDARE, CG53_RETTAVERE, CG53_SALDOFIN, CG53_IMPORTOIVA, CG53_SALDOCHIU, CG53_CODICE_CG31)";
  yearly << "  SELECT " + ditta + "," << i + esercizio + "," << i + progressivo + ","
         << i + gruppo + ",";
  for (const char* c : {"CONTOPAR,", "TIPOCF,", "CLIFOR,", "BILANCIOAPERTURA,", "RETTIFICADARE,",
                        "RETTIFICAAVERE,", "SALDOFINALE,", "0,", "BILANCIOCHIUSURA,", "SEDE"}) {
    yearly << i + c;
  }
  yearly << "  FROM   #SALDIFIN"
         << "  WHERE  VALUTA = 'EURO'" << kKeyOrder;
  f_.Raise(&VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviContabili, 2);
  f_.Connection().Execute(yearly.str());
  f_.Raise(&VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili, 1);

  SqlLines twins;
  twins
      << " INSERT INTO " + f_.GetTableName(TableId::kCGV0) +
             " (CGV0_IDPROGA_CG53, CGV0_CODICE_CG08, CGV0_SALDOAPE, CGV0_RETTDARE, CGV0_RETTAVERE, CGV0_SALDOFIN, CGV0_IMPORTOIVA, CGV0_SALDOCHIU, CGV0_SALDOAPEEURO, CGV0_RETTDAREEURO, CGV0_RETTAVEREEURO, CGV0_SALDOFINEURO, CGV0_IMPORTOIVAEURO, CGV0_SALDOCHIUEURO)";
  twins << "  SELECT CG53_IDPROGA,";
  for (const char* c :
       {"VALUTA,", "BILANCIOAPERTURAVAL,", "RETTIFICADAREVAL,", "RETTIFICAAVEREVAL,",
        "SALDOFINALEVAL,", "0,", "BILANCIOCHIUSURAVAL,", "BILANCIOAPERTURA,", "RETTIFICADARE,",
        "RETTIFICAAVERE,", "SALDOFINALE,", "0,", "BILANCIOCHIUSURA"}) {
    twins << i + c;
  }
  twins << "  FROM    #SALDIFIN"
        << "  INNER  JOIN " + f_.GetTableName(TableId::kCG53Read);
  YearlyKeyJoin(twins, key);
  twins << "  WHERE   VALUTA <> 'EURO'" << kKeyOrder;
  f_.Connection().Execute(twins.str());
  f_.Raise(&VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili, 2);
  f_.Raise(&VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviContabili);
}

void RicalcoloProgressivi::AggiornaProgressiviMensili() {
  if (!f_.DittaPronta()) return;
  const FiscalYearKey key = f_.ChiaveEsercizio(true);
  const auto& [ditta, esercizio, progressivo, gruppo] = key;
  const std::string i = "         ";
  SqlLines monthly;
  monthly
      << " INSERT INTO " + f_.GetTableName(TableId::kCG52) +
             " (CG52_DITTA_CG18, CG52_ANNO_CG53, CG52_PROGESER_CG53, CG52_GRUPPO_CG10, CG52_CONTO_CG24, CG52_TIPOCF_CG44, CG52_CLIFOR_CG44, CG52_ANNOSOL, CG52_MESE, CG52_IMPORTODARE, CG52_IMPORTOAVERE, CG52_FATTURATO, CG52_CODICE_CG31, CG52_IDPROGA_CG53)";
  monthly << "  SELECT " + ditta + "," << i + esercizio + "," << i + progressivo + ","
          << i + gruppo + ",";
  for (const char* c : {"CONTOPAR,", "TIPOCF,", "CLIFOR,", "ANNO,", "MESE,", "TOTALEDARE,",
                        "TOTALEAVERE,", "0,", "SEDE,", "CG53_IDPROGA"}) {
    monthly << i + c;
  }
  monthly << "  FROM   #PROGRCONTMESEANNO"
          << "  INNER  JOIN " + f_.GetTableName(TableId::kCG53Read);
  YearlyKeyJoin(monthly, key);
  monthly << "  WHERE  VALUTA = 'EURO'" << kMonthOrder;
  f_.Raise(&VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviContabili, 2);
  f_.Connection().Execute(monthly.str());
  f_.Raise(&VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili, 1);

  SqlLines twins;
  twins
      << " INSERT INTO " + f_.GetTableName(TableId::kCGV1) +
             " (CGV1_IDPROGA_CGV0, CGV1_IDPROGM_CG52, CGV1_CODICE_CG08, CGV1_IMPORTODARE, CGV1_IMPORTOAVERE, CGV1_FATTURATO, CGV1_IMPORTODAREEURO, CGV1_IMPORTOAVEREEURO, CGV1_FATTURATOEURO)";
  twins << "  SELECT CG52_IDPROGA_CG53,";
  for (const char* c : {"CG52_IDPROGM,", "VALUTA,", "TOTALEDAREVAL,", "TOTALEAVEREVAL,", "0,",
                        "TOTALEDARE,", "TOTALEAVERE,", "0"}) {
    twins << i + c;
  }
  twins << "  FROM   #PROGRCONTMESEANNO"
        << "  INNER  JOIN " + f_.GetTableName(TableId::kCG52Read)
        << FiscalYearCondition(kCG52Year, key, "      ON ", "     AND ")
        << "     AND ISNULL(CG52_CONTO_CG24, '') = CONTOPAR"
        << "     AND ISNULL(CG52_TIPOCF_CG44, 0) = TIPOCF"
        << "     AND ISNULL(CG52_CLIFOR_CG44,0) = CLIFOR"
        << "     AND CG52_ANNOSOL = ANNO"
        << "     AND CG52_MESE = MESE"
        << "     AND ISNULL(CG52_CODICE_CG31, 0) = SEDE"
        << "  WHERE  VALUTA <> 'EURO'" << kMonthOrder;
  f_.Connection().Execute(twins.str());
  f_.Raise(&VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili, 2);
  f_.Raise(&VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviContabili);
}

// --- the legacy resets -------------------------------------------------------------------------

// The legacy resets write their conditions on one line: " WHERE ... AND ... AND ...".
std::string RicalcoloProgressivi::LegacyCondition(const FiscalYearColumns& columns,
                                                  std::string_view first,
                                                  std::string_view and_word) {
  return JoinLines("", FiscalYearCondition(columns, f_.ChiaveEsercizio(true), first, and_word));
}

void RicalcoloProgressivi::AzzeraProgressiviMensili() {
  RunOne("UPDATE " + f_.GetTableName(TableId::kCG52) +
         " SET CG52_IMPORTODARE = 0, CG52_IMPORTOAVERE = 0" +
         LegacyCondition(kCG52Year, " WHERE ", " AND ") +
         BranchFilter(" AND ", "CG52_CODICE_CG31"));
}

void RicalcoloProgressivi::AzzeraProgressiviAnnuali() {
  RunOne(
      "UPDATE " + f_.GetTableName(TableId::kCG53) + " SET CG53_SALDOAPE = 0, CG53_SALDOFIN = 0," +
      "     CG53_RETTDARE = 0, CG53_RETTAVERE = 0" +
      LegacyCondition(kCG53Year, " WHERE ", " AND ") + BranchFilter(" AND ", "CG53_CODICE_CG31"));
}

void RicalcoloProgressivi::AzzeraProgressiviMensiliValuta() {
  const std::string pad(29, ' ');
  RunOne(
      "UPDATE " + f_.GetTableName(TableId::kCGV1) +
      " SET CGV1_IMPORTODARE = 0,     CGV1_IMPORTOAVERE = 0,     CGV1_IMPORTODAREEURO = 0,     CGV1_IMPORTOAVEREEURO = 0" +
      " WHERE CGV1_IDPROGM_CG52 IN (" + pad + "SELECT CG52_IDPROGM" + pad + "FROM " +
      f_.GetTableName(TableId::kCG52) + LegacyCondition(kCG52Year, pad + "WHERE ", pad + "AND ") +
      BranchFilter(std::string(24, ' ') + "AND ", "CG52_CODICE_CG31") + std::string(23, ' ') + ")");
}

void RicalcoloProgressivi::AzzeraProgressiviAnnualiValuta() {
  const std::string pad(30, ' ');
  RunOne(
      "UPDATE " + f_.GetTableName(TableId::kCGV0) +
      " SET CGV0_SALDOAPE = 0,     CGV0_SALDOFIN = 0,     CGV0_RETTDARE = 0,     CGV0_RETTAVERE = 0,     CGV0_SALDOAPEEURO = 0,     CGV0_SALDOFINEURO = 0,     CGV0_RETTDAREEURO = 0,     CGV0_RETTAVEREEURO = 0" +
      " WHERE CGV0_IDPROGA_CG53 IN (" + pad + "SELECT CG53_IDPROGA" + pad + "FROM " +
      f_.GetTableName(TableId::kCG53) + LegacyCondition(kCG53Year, pad + "WHERE ", pad + "AND ") +
      BranchFilter(pad + "AND ", "CG53_CODICE_CG31") + std::string(28, ' ') + ")");
}

// The legacy writers insert a new row for every key; the zeroed rows of the same group go first,
// twins before their parents, so that each key ends with exactly one row.
void RicalcoloProgressivi::EliminaProgressiviAzzerati() {
  const std::string where_m =
      LegacyCondition(kCG52Year, " WHERE ", " AND ") + BranchFilter(" AND ", "CG52_CODICE_CG31");
  const std::string where_a =
      LegacyCondition(kCG53Year, " WHERE ", " AND ") + BranchFilter(" AND ", "CG53_CODICE_CG31");
  const std::string t52 = f_.GetTableName(TableId::kCG52);
  const std::string t53 = f_.GetTableName(TableId::kCG53);
  RunOne(" DELETE FROM " + f_.GetTableName(TableId::kCGV1) +
         " WHERE CGV1_IDPROGM_CG52 IN (SELECT CG52_IDPROGM FROM " + t52 + where_m + ")");
  RunOne(" DELETE FROM " + t52 + where_m);
  RunOne(" DELETE FROM " + f_.GetTableName(TableId::kCGV0) +
         " WHERE CGV0_IDPROGA_CG53 IN (SELECT CG53_IDPROGA FROM " + t53 + where_a + ")");
  RunOne(" DELETE FROM " + t53 + where_a);
}

}  // namespace veriprog::contabili
