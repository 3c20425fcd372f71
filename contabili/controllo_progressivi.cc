#include "contabili/controllo_progressivi.h"

#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/recordset.h"

namespace veriprog::contabili {
namespace {

constexpr const char* kOrderBy =
    " ORDER BY CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44, CG41_CODICE_CG31, PROGR";

// The first line of the builders that copy working rows of one table.
constexpr const char* kWorkingRowHead =
    " SELECT CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44, CG41_CODICE_CG31, CG42_CODICE_CG08, PROGR,        TOTALEDARE, TOTALEAVERE, SALDO, TOTALEDAREVAL, TOTALEAVEREVAL, SALDOVAL,";

// The working-row select of table `x` with alias `a`: its four lines.
void WorkingRow(
    SqlLines& sql, std::string_view x, std::string_view a,
    std::string_view second_line = "        CG41_CODICE_CG31, CG42_CODICE_CG08, PROGR,") {
  sql << std::string(" SELECT CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44,") +
             std::string(second_line);
  sql << "        TOTALEDARE, TOTALEAVERE, SALDO, TOTALEDAREVAL, TOTALEAVEREVAL, SALDOVAL,";
  sql << "        SALDOPROGR, SALDOPROGRVAL";
  sql << " FROM " + std::string(x) + " AS " + std::string(a);
}

}  // namespace

CheckPlan ControlloProgressivi::Plan() {
  using C = ControlloProgressivi;
  const auto r = Passi(this);
  return {
      .routine = "ControlloProgressiviContabiliTmp",
      .checks = {Check::kConnection, Check::kCompanyObject, Check::kCompany, Check::kFiscalYear,
                 Check::kFiscalSequence},
      .numeric = {NumericParam::kDitta, NumericParam::kEsercizio, NumericParam::kProgressivo,
                  NumericParam::kCodiceSede},
      .events = {&VeriprogEvents::BeginControlloProgressiviContabili,
                 &VeriprogEvents::AvanzamentoControlloProgressiviContabili,
                 &VeriprogEvents::EndControlloProgressiviContabili},
      .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressivi,
      .prepare = [this] { EliminaTabelleTemporanee(); },
      .steps = {r("CreaTmpTableCG42Mov", &C::CreaTmpTableCG42Mov),
                r("CreaTmpTableSaldiApe", &C::CreaTmpTableSaldiApe),
                r("CreaTmpTableCG53Progr", &C::CreaTmpTableCG53Progr),
                r("CreaTmpTableContiMov", &C::CreaTmpTableContiMov),
                r("CreaTmpTableContiNonMov", &C::CreaTmpTableContiNonMov),
                r("CreaTmpTableContiNonProgr", &C::CreaTmpTableContiNonProgr),
                r("CreaTmpTableContiSaldiApeNonMov", &C::CreaTmpTableContiSaldiApeNonMov),
                r("CreaTmpTableControlloProgressivi", &C::CreaTmpTableControlloProgressivi)},
      .finish =
          [this] {
            // A fiscal year that does not exist leaves no result table: its message is the
            // answer, and no rows stand beside it. A step that failed (a statement timeout, a
            // session the server ended) left none either, and its reason is the one to keep.
            if (f_.Stato != tsOk) return;
            auto result = std::make_shared<db::Recordset>();
            f_.Output().RecSetControlloProgressivi = result;
            result->Open(" SELECT * FROM #CONTROLLOPROGR", f_.SharedConnection());
          },
  };
}

void ControlloProgressivi::Esegui() {
  RunCheck(f_, Plan());
}

void ControlloProgressivi::EliminaTabelleTemporanee() {
  try {
    f_.Connection().Execute(DropTempTablesBatch(
        {"#CG42MOV", "#CG53PROGR", "#SALDIAPE", "#CONTIMOV", "#CONTINONMOV", "#CONTINONPROGR",
         "#CONTISALDIAPENONMOV", "#CONTROLLOPROGR", "#PROGRCONTMESEANNO", "#BILCHIUAPE",
         "#RETTIFICHE", "#PROGRCONTFIN", "#SALDIFIN"}));
  } catch (...) {
    // Tables that cannot be dropped make the builders fail, which they report themselves.
  }
}

std::string ControlloProgressivi::CondizioneEsiste(std::string_view tabella, std::string_view alias,
                                                   std::string_view alias_esterno) {
  const std::string a(alias);
  const std::string e(alias_esterno);
  std::string out = " SELECT TOP 1 1\r FROM " + std::string(tabella) + " AS " + a + "\r";
  out += " WHERE " + a + ".CG42_CONTOPAR_CG24 = " + e + ".CG42_CONTOPAR_CG24\r";
  for (const char* column :
       {"CG42_TIPOCF_CG44", "CG42_CLIFORPAR_CG44", "CG41_CODICE_CG31", "CG42_CODICE_CG08"}) {
    out += "   AND " + a + "." + column + " = " + e + "." + column + "\r";
  }
  return out;
}

std::string ControlloProgressivi::MovementsStatement(std::string_view table, std::string_view alias,
                                                     bool opening) {
  const FiscalYearKey year = f_.ChiaveEsercizio(false);
  const std::string t55 = f_.GetTableName(TableId::kCG41);
  const std::string t56 = f_.GetTableName(TableId::kCG42);
  const std::string key =
      " SELECT ISNULL(CG42_CONTOPAR_CG24, '') AS CG42_CONTOPAR_CG24, ISNULL(CG42_TIPOCF_CG44, 0) AS CG42_TIPOCF_CG44, ISNULL(CG42_CLIFORPAR_CG44, 0) AS CG42_CLIFORPAR_CG44,";
  const std::string branch = "ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0))";
  const std::string group_by =
      " GROUP BY ISNULL(CG42_CONTOPAR_CG24, ''), ISNULL(CG42_TIPOCF_CG44, 0), ISNULL(CG42_CLIFORPAR_CG44, 0), ISNULL(CG42_CODICE_CG31, ISNULL(CG41_CODICE_CG31, 0))";

  // The journal part shared by both branches, after the select list.
  auto journal = [&](SqlLines& sql, bool currency) {
    sql << " FROM " + t56 + " INNER JOIN " + t55;
    sql << " ON  CG41_DITTA_CG18 = CG42_DITTA_CG18";
    sql << " AND CG42_NUMREG_CG41 = CG41_NUMREG";
    sql << FiscalYearCondition(kCG42Year, year, " WHERE ", " AND ");
    if (opening) {
      sql << " AND CG42_CODICE_CG33 = '151 '";
    } else {
      sql << " AND CG42_CODICE_CG33 <> '150 '";
      sql << " AND CG42_CODICE_CG33 <> '151 '";
    }
    sql << " AND CG41_INDTIPOMOV = 0";
    sql << " AND CG41_INDPROVREG = 0";
    if (currency) sql << " AND ISNULL(CG42_CODICE_CG08,'EURO') <> 'EURO'";
    if (f_.SedeIndicata()) sql << " AND ISNULL(CG42_CODICE_CG31, CG41_CODICE_CG31) = " + f_.Sede();
  };

  SqlLines sql;
  sql << " SELECT  *";
  sql << "     INTO " + std::string(table) + " FROM (";
  // Accounting currency: every line.
  sql << key;
  sql << "        " + branch + " AS CG41_CODICE_CG31, 'EURO' AS CG42_CODICE_CG08, '0' AS PROGR,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALE ELSE 0 END) AS TOTALEDARE,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALE ELSE 0 END) AS TOTALEAVERE,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALE ELSE 0 END) - SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALE ELSE 0 END) AS SALDO,";
  sql << "        0 AS TOTALEDAREVAL, 0 AS TOTALEAVEREVAL, 0 AS SALDOVAL,";
  sql << "        0 AS SALDOPROGR, 0 AS SALDOPROGRVAL";
  journal(sql, false);
  sql << group_by;
  // Each foreign currency: its lines in both currencies.
  if (opening) {
    sql << " UNION ALL ";
    sql << key;
  } else {
    sql << " UNION ALL " + key;
  }
  sql << "        " + branch +
             " AS CG41_CODICE_CG31, ISNULL(CG42_CODICE_CG08, 'EURO') AS CG42_CODICE_CG08, ISNULL(CG42_CODICE_CG08, '0') AS PROGR,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALE ELSE 0 END) AS TOTALEDARE,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALE ELSE 0 END) AS TOTALEAVERE,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALE ELSE 0 END) - SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALE ELSE 0 END) AS SALDO,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALEVAL ELSE 0 END) AS TOTALEDAREVAL,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALEVAL ELSE 0 END) AS TOTALEAVEREVAL,";
  sql << "        SUM(CASE WHEN CG42_INDDAAV = 1 THEN CG42_IMPTOTALEVAL ELSE 0 END) - SUM(CASE WHEN CG42_INDDAAV = 2 THEN CG42_IMPTOTALEVAL ELSE 0 END) AS SALDOVAL,";
  sql << "        0 AS SALDOPROGR, 0 AS SALDOPROGRVAL";
  journal(sql, true);
  sql << group_by + " , ISNULL(CG42_CODICE_CG08, 'EURO'), ISNULL(CG42_CODICE_CG08, '0')";
  sql << " ) AS " + std::string(alias);
  sql << kOrderBy;
  return sql.str();
}

void ControlloProgressivi::CreaTmpTableCG42Mov() {
  f_.Connection().Execute(MovementsStatement("#CG42MOV", "CG42MOV", false));
}

void ControlloProgressivi::CreaTmpTableSaldiApe() {
  f_.Connection().Execute(MovementsStatement("#SALDIAPE", "SALDIAPE", true));
}

void ControlloProgressivi::CreaTmpTableCG53Progr() {
  const std::string t57 = f_.GetTableName(TableId::kCG53Read);
  const std::string t59 = f_.GetTableName(TableId::kCGV0Read);
  const std::string key =
      " SELECT ISNULL(CG53_CONTO_CG24, '') AS CG42_CONTOPAR_CG24, ISNULL(CG53_TIPOCF_CG44, 0) AS CG42_TIPOCF_CG44, ISNULL(CG53_CLIFOR_CG44, 0) AS CG42_CLIFORPAR_CG44,";
  const std::string zeros =
      "        0 AS TOTALEDARE, 0 AS TOTALEAVERE, 0 AS SALDO, 0 AS TOTALEDAREVAL, 0 AS TOTALEAVEREVAL, 0 AS SALDOVAL,";
  auto where = [&](SqlLines& sql) {
    sql << FiscalYearCondition(kCG53Year, f_.ChiaveEsercizio(true), " WHERE ", " AND ");
    if (f_.SedeIndicata()) sql << " AND CG53_CODICE_CG31 = " + f_.Sede();
  };
  SqlLines sql;
  sql << " SELECT  *";
  sql << "     INTO #CG53PROGR FROM (";
  sql << key;
  sql << "        ISNULL(CG53_CODICE_CG31, 0) AS CG41_CODICE_CG31, 'EURO' AS CG42_CODICE_CG08, '0' AS PROGR,";
  sql << zeros;
  sql << "        CG53_SALDOFIN AS SALDOPROGR, 0 AS SALDOPROGRVAL";
  sql << " FROM " + t57;
  where(sql);
  sql << " UNION ALL";
  sql << key;
  sql << "        ISNULL(CG53_CODICE_CG31, 0) AS CG41_CODICE_CG31, ISNULL(CGV0_CODICE_CG08, 'EURO') AS CG42_CODICE_CG08, ISNULL(CGV0_CODICE_CG08, '0') AS PROGR,";
  sql << zeros;
  sql << "        CGV0_SALDOFINEURO AS SALDOPROGR, CGV0_SALDOFIN AS SALDOPROGRVAL";
  sql << " FROM " + t57;
  sql << "     LEFT OUTER JOIN " + t59;
  sql << "         ON CGV0_IDPROGA_CG53 = CG53_IDPROGA";
  where(sql);
  sql << " ) AS CG53PROGR";
  sql << kOrderBy;
  f_.Connection().Execute(sql.str());
}

void ControlloProgressivi::CreaTmpTableContiMov() {
  SqlLines sql;
  sql << " SELECT  CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44, CG41_CODICE_CG31, CG42_CODICE_CG08, PROGR,";
  sql << "         SUM(ISNULL(TOTALEDARE,0)) AS TOTALEDARE, SUM(ISNULL(TOTALEAVERE,0)) AS TOTALEAVERE, SUM(ISNULL(SALDO,0)) AS SALDO,";
  sql << "         SUM(ISNULL(TOTALEDAREVAL,0)) AS TOTALEDAREVAL, SUM(ISNULL(TOTALEAVEREVAL,0)) AS TOTALEAVEREVAL, SUM(ISNULL(SALDOVAL,0)) AS SALDOVAL,";
  sql << "         SUM(ISNULL(SALDOPROGR,0)) AS SALDOPROGR, SUM(ISNULL(SALDOPROGRVAL,0)) AS SALDOPROGRVAL";
  sql << " INTO #CONTIMOV FROM (";
  WorkingRow(sql, "#CG42MOV", "CG42MOV");
  sql << " UNION ALL ";
  WorkingRow(sql, "#SALDIAPE", "SALDIAPE");
  sql << " WHERE EXISTS (" + CondizioneEsiste("#CG42MOV", "CG42MOV_2", "SALDIAPE") + ")";
  sql << " UNION ALL ";
  WorkingRow(sql, "#CG53PROGR", "CG53PROGR");
  sql << " WHERE EXISTS (" + CondizioneEsiste("#CG42MOV", "CG42MOV_2", "CG53PROGR") + ")";
  sql << " ) AS CONTIMOV";
  sql << " GROUP BY CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44, CG41_CODICE_CG31, CG42_CODICE_CG08, PROGR";
  sql << kOrderBy;
  f_.Connection().Execute(sql.str());
}

void ControlloProgressivi::CreaTmpTableContiNonMov() {
  const std::string sub = CondizioneEsiste("#SALDIAPE", "SALDIAPE", "CG53PROGR");
  SqlLines sql;
  sql << kWorkingRowHead;
  sql << "        SALDOPROGR, SALDOPROGRVAL";
  sql << " INTO #CONTINONMOV";
  sql << " FROM #CG53PROGR AS CG53PROGR";
  sql << " WHERE (SALDOPROGR <> 0 OR SALDOPROGRVAL <> 0)";
  sql << " AND NOT EXISTS (" + CondizioneEsiste("#CONTIMOV", "CONTIMOV", "CG53PROGR") + ")";
  sql << " AND NOT EXISTS (" + CondizioneEsiste("#CG42MOV", "CG42MOV_2", "CG53PROGR") + ")";
  sql << " AND (NOT EXISTS (" + sub + ")";
  sql << "      OR  EXISTS (";
  sql << sub +
             "                     AND (ISNULL(SALDIAPE.SALDO,0) <> ISNULL(CG53PROGR.SALDOPROGR,0)";
  sql << "                          OR ISNULL(SALDIAPE.SALDOVAL,0) <> ISNULL(CG53PROGR.SALDOPROGRVAL,0))";
  sql << "                 )";
  sql << "     )";
  sql << kOrderBy;
  f_.Connection().Execute(sql.str());
}

void ControlloProgressivi::CreaTmpTableContiNonProgr() {
  SqlLines sql;
  sql << kWorkingRowHead;
  sql << "        0 AS SALDOPROGR, 0 AS SALDOPROGRVAL";
  sql << " INTO #CONTINONPROGR";
  sql << " FROM #SALDIAPE AS SALDIAPE";
  sql << " WHERE NOT EXISTS (" + CondizioneEsiste("#CG42MOV", "CG42MOV_2", "SALDIAPE") + ")";
  sql << " AND NOT EXISTS (" + CondizioneEsiste("#CG53PROGR", "CG53PROGR", "SALDIAPE") + ")";
  sql << kOrderBy;
  f_.Connection().Execute(sql.str());
}

void ControlloProgressivi::CreaTmpTableContiSaldiApeNonMov() {
  SqlLines sql;
  sql << kWorkingRowHead;
  sql << "        SALDOPROGR, SALDOPROGRVAL";
  sql << " INTO #CONTISALDIAPENONMOV";
  sql << " FROM #SALDIAPE AS SALDIAPE";
  sql << " WHERE EXISTS (" + CondizioneEsiste("#CONTINONMOV", "CONTINONMOV", "SALDIAPE") + ")";
  sql << kOrderBy;
  f_.Connection().Execute(sql.str());
}

void ControlloProgressivi::CreaTmpTableControlloProgressivi() {
  const auto esercizio = f_.EsercizioRichiesto();
  if (!esercizio) return;
  const std::string ditta = f_.Numero(f_.CPInput->Ditta);
  const std::string gruppo = f_.Gruppo();
  const std::string data_rif = f_.DataDB(esercizio->end).ToText();
  const std::string sm =
      "CASE WHEN CG42_CODICE_CG08 = 'EURO' OR CG42_CODICE_CG08 = '(EURO)' THEN SUM(ISNULL(SALDO,0)) ELSE SUM(ISNULL(SALDOVAL,0)) END";
  const std::string sp =
      "CASE WHEN CG42_CODICE_CG08 = 'EURO' OR CG42_CODICE_CG08 = '(EURO)' THEN SUM(ISNULL(SALDOPROGR,0)) ELSE SUM(ISNULL(SALDOPROGRVAL,0)) END";
  const std::string code =
      "CASE WHEN CG42_CLIFORPAR_CG44 = 0 THEN CG42_CONTOPAR_CG24 ELSE LEFT(CG42_CONTOPAR_CG24,2) + RIGHT('00000000' + CAST(CG42_CLIFORPAR_CG44 AS VARCHAR),8) END";
  const char* tables[][2] = {{"#CONTIMOV", "CONTIMOV"},
                             {"#CONTINONMOV", "CONTINONMOV"},
                             {"#CONTINONPROGR", "CONTINONPROGR"},
                             {"#CONTISALDIAPENONMOV", "CONTISALDIAPENONMOV"}};
  SqlLines sql;
  sql << " SELECT  CAST(" + code + " AS CHAR(10)) AS CONTO,";
  sql << "         CAST(CASE CG42_CODICE_CG08 WHEN 'EURO' THEN '' WHEN '(EURO)' THEN '. . ' ELSE '. ' END + " +
             code + " AS CHAR(14)) AS CONTOGRID,";
  sql << "         CAST(CASE WHEN CG42_CLIFORPAR_CG44 = 0";
  sql << "                   THEN CG24_DESCR";
  sql << "                   ELSE VCG16.CG16_RAGSOANAG END AS NVARCHAR(40)) AS DESCRIZIONE,";
  sql << "         CAST(" + sm + " AS DECIMAL(17,2)) AS SALDOFINALEMOV,";
  sql << "         CAST(" + sp + " AS DECIMAL(17,2)) AS SALDOFINALEPROGR,";
  sql << "         CAST(CASE WHEN (" + sm + " - " + sp + ") <> 0 THEN (" + sm + " - " + sp +
             ") ELSE NULL END AS DECIMAL(17,2)) AS DIFFSALDO,";
  sql << "         CAST(CASE WHEN (" + sm + " - " + sp +
             ") <> 0 THEN 'Si' ELSE '' END AS CHAR(2)) AS FLAGSBIL,";
  sql << "         CAST(CG41_CODICE_CG31 AS DECIMAL(5)) AS SEDE,";
  sql << "         CAST(CG42_CODICE_CG08 AS CHAR(6)) AS VALUTA,";
  sql << "         CAST(NEWID() AS VARCHAR(36)) AS ID";
  sql << " INTO #CONTROLLOPROGR FROM (";
  bool first = true;
  for (const auto& t : tables) {
    if (!first) sql << " UNION ALL ";
    first = false;
    WorkingRow(sql, t[0], t[1]);
  }
  // The same keys again, foreign-currency rows only, as their movements in euro.
  for (const auto& t : tables) {
    sql << " UNION ALL ";
    WorkingRow(sql, t[0], t[1],
               "        CG41_CODICE_CG31, '(EURO)' AS CG42_CODICE_CG08, PROGR + 'Z' AS PROGR,");
    sql << " WHERE   CG42_CODICE_CG08 <> 'EURO'";
  }
  sql << " ) AS CONTROLLOPROGR";
  sql << " OUTER APPLY DBO.FNCG_CG24_CONTO(" + gruppo + ", CG42_CONTOPAR_CG24, " + ditta + ", '" +
             SqlText(BFill(f_.CodicePianoConti(), 4)) + "')";
  sql << " LEFT OUTER JOIN VCG16_ANAGRALLADATA AS VCG16 WITH(NOLOCK)";
  sql << "   ON VCG16.CG44_DITTA_CG18 = " + ditta;
  sql << "  AND VCG16.CG44_TIPOCF = CG42_TIPOCF_CG44";
  sql << "  AND VCG16.CG44_CLIFOR = CG42_CLIFORPAR_CG44";
  sql << "  AND ISNULL(" + data_rif + ", dbo.CRV_GETDATE())";
  sql << "      BETWEEN ISNULL(VCG16.DATAINIZIOVALIDITA,ISNULL(" + data_rif +
             ", dbo.CRV_GETDATE()))";
  sql << "          AND ISNULL(VCG16.DATAFINEVALIDITA,ISNULL(" + data_rif + ", dbo.CRV_GETDATE()))";
  sql << " GROUP BY CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44, CG41_CODICE_CG31, CG42_CODICE_CG08, PROGR, CG24_DESCR, CG16_RAGSOANAG";
  sql << kOrderBy;
  f_.Connection().Execute(sql.str());
}

}  // namespace veriprog::contabili
