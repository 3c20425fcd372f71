#include "iva/controllo_iva.h"

#include <cctype>

#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/company.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::iva {
namespace {

// The placeholder of the journal header table in the batch, replaced by its physical name.
constexpr std::string_view kPrimaNota = "%VCG41_PRIMANOTA%";

// The batch is written line by line, every line preceded by a carriage return and line feed.
SqlLines Righe() {
  return SqlLines(kCRLF, LineBreak::kBefore);
}

// A register-type kind of the result: where its lines come from, the register type they take
// and which lines belong to it. Every kind gives one branch per section and one for 'RP'.
struct Tipologia {
  std::string_view nome;        // the kind's name, written before its branches
  std::string_view fonte;       // the common table expression it reads
  std::string_view tipo;        // the register-type expression
  std::string_view condizione;  // "" when every line belongs
  bool per_esigibilita;         // the type depends on TipoEsigibilita, grouped on as well
};

constexpr Tipologia kTipologie[] = {
    {"Acquisti / Vendite / Corrispettivi", "CTE_PROGIVA", "IndicatoreTipoRegistro", "", false},
    {"MonteVentilazioneAcquisti", "CTE_PROGIVA", "4",
     "IndicatoreTipoRegistro = 1 AND IndicatoreVentilazione = 1", false},
    {"AcquistiIntra", "CTE_PROGIVA", "12", "IndicatoreTipoRegistro = 1 AND IsCausaleIntra = 1",
     false},
    {"SospesaAcquisti / SospesaAcquisti_AltreSocieta", "CTE_PROGIVA",
     "CASE WHEN TipoEsigibilita = 1 THEN 6 WHEN TipoEsigibilita = 2 THEN 90 ELSE 6 END",
     "IndicatoreTipoRegistro = 1 AND FatturaInSospensione = 1", true},
    {"SospesaVendite / SospesaVendite_AltreSocieta / SospesaVendite_SplitPayment", "CTE_PROGIVA",
     "CASE WHEN TipoEsigibilita = 1 THEN 7 WHEN TipoEsigibilita = 2 THEN 91 ELSE 88 END",
     "IndicatoreTipoRegistro = 2 AND FatturaInSospensione = 1", true},
    {"SospesaCorrispettivi / SospesaCorrispettivi_AltreSocieta", "CTE_PROGIVA",
     "CASE WHEN TipoEsigibilita = 1 THEN 8 WHEN TipoEsigibilita = 2 THEN 92 ELSE 8 END",
     "IndicatoreTipoRegistro = 3 AND FatturaInSospensione = 1", true},
    {"AutofatturaIntra", "CTE_PROGIVA", "13", "IsTestataAutofattura = 1 AND IsCausaleIntra = 1",
     false},
    {"AutofatturaRSM", "CTE_PROGIVA", "14", "IsTestataAutofattura = 1 AND IsCausaleRSM = 1", false},
    {"VenditeConSubfornitura", "CTE_PROGIVA", "18",
     "IndicatoreTipoRegistro = 2 AND FlagSubFornitura = 1", false},
    {"AcquistiAssociazioniSportiveDilettantistiche", "CTE_PROGIVA", "22",
     "IndicatoreTipoRegistro = 1 AND IndiTipoCG43 = 22", false},
    {"VenditeAssociazioniSportiveDilettantistiche", "CTE_PROGIVA", "35",
     "IndicatoreTipoRegistro = 2 AND IndiTipoCG43 = 35", false},
    {"CorrispettiviAssociazioniSportiveDilettantistiche", "CTE_PROGIVA", "35",
     "IndicatoreTipoRegistro = 3 AND IndiTipoCG43 = 35", false},
    {"AcquistiCompetenzaMesePrecedente", "CTE_PROGIVA", "15",
     "IndicatoreTipoRegistro = 1 AND FlagCausaleDifferita = 1", false},
    {"VenditeCompetenzaMesePrecedente", "CTE_PROGIVA", "16",
     "IndicatoreTipoRegistro = 2 AND FlagCausaleDifferita = 1", false},
    {"AutofattureRSM", "CTE_PROGIVA", "14", "IsCausaleAutofattura = 1", false},
    {"Editoria", "CTE_PROGIVA", "19", "IndicatoreTipoRegistro = 3 AND FatturaEditoria = 1", false},
    {"ExSospesaAcquisti / ExSospesaAcquisti_AltreSocieta", "CTE_PAGSOSP",
     "CASE WHEN TipoEsigibilita = 1 THEN 9 WHEN TipoEsigibilita = 2 THEN 93 ELSE 9 END",
     "IndicatoreTipoRegistro = 1", true},
    {"ExSospesaVendite / ExSospesaVendite_AltreSocieta / ExSospesaVendite_SplitPayment",
     "CTE_PAGSOSP",
     "CASE WHEN TipoEsigibilita = 1 THEN 10 WHEN TipoEsigibilita = 2 THEN 94 ELSE 89 END",
     "IndicatoreTipoRegistro = 2", true},
    {"ExSospesaCorrispettivi / ExSospesaCorrispettivi_AltreSocieta", "CTE_PAGSOSP",
     "CASE WHEN TipoEsigibilita = 1 THEN 11 WHEN TipoEsigibilita = 2 THEN 95 ELSE 11 END",
     "IndicatoreTipoRegistro = 3", true},
    {"ExEditoria", "CTE_PAGEDIT", "20", "IndicatoreTipoRegistro = 3", false},
};

constexpr std::string_view kColonne[][2] = {
    {"ANNO", "DECIMAL(4,0)"},
    {"TIPOREGISTRO", "DECIMAL(2,0)"},
    {"SEZIONALE", "NCHAR(2) COLLATE DATABASE_DEFAULT"},
    {"CODICEIVA", "NCHAR(4) COLLATE DATABASE_DEFAULT"},
    {"TIPOIVA", "DECIMAL(2,0)"},
    {"MESE", "DECIMAL(2,0)"},
    {"IMPONIBILEPROGR", "DECIMAL(17,2)"},
    {"IMPOSTAPROGR", "DECIMAL(17,2)"},
    {"IMPOSTANDPROGR", "DECIMAL(17,2)"},
    {"IMPONIBILEMOV", "DECIMAL(17,2)"},
    {"IMPOSTAMOV", "DECIMAL(17,2)"},
    {"IMPOSTANDMOV", "DECIMAL(17,2)"},
    {"TIPORECORD", "NCHAR(3) COLLATE DATABASE_DEFAULT"},
};

// An amount of a VAT line with the registration's sign: CG41_FLGSEGNOIVA = 0 keeps it.
std::string Segno(std::string_view flag, std::string_view amount) {
  return Concat(
      {"CASE WHEN ", flag, " = 0 THEN ISNULL(", amount, ",0) ELSE -ISNULL(", amount, ",0) END"});
}

// The VAT causal a causal stands for, trimmed: its own code when it names none.
constexpr std::string_view kCausaleIva = "LTRIM(RTRIM(ISNULL(CG33_CAUSALEIVA, CG33_CODICE)))";

// The trimmed VAT causal of the registration's parent, '' when it has none.
constexpr std::string_view kCausalePadre =
    "ISNULL((SELECT LTRIM(RTRIM(ISNULL(CG33_CAUSALEIVA, CG33_CODICE))) FROM VCG41_PRIMANOTA CG41 INNER JOIN CG33_TABCAU WITH (NOLOCK) ON CG33_CODICE = CG41.CG41_CODICE_CG33 WHERE CG41.CG41_DITTA_CG18 = @Ditta AND CG41.CG41_NUMREG = T.CG41_RIFPADRE), '')";

constexpr std::string_view kHaPadre = "LTRIM(RTRIM(ISNULL(CG41_RIFPADRE, ''))) <> ''";

// The year a registration belongs to in the VAT registers.
constexpr std::string_view kAnnoIva = "YEAR(ISNULL(CG41_DATAREGIVA, CG41_DATAREG))";

// Number of lines of the group with a counting VAT code of the given chargeability.
std::string Esigibili(std::string_view flag, std::string_view name) {
  return Concat({"                    SUM(CASE WHEN CG28_TIPOLOGIA = 1 AND CG28_FLGSOSPIMP = ",
                 flag, " THEN 1 ELSE 0 END) AS ", name, ","});
}

void CteProgIva(SqlLines& sql) {
  sql << " ;WITH CTE_PROGIVA AS (";
  sql << "     SELECT *,";
  sql << "            CASE WHEN CG33_FLGFATTDIFF = 0 THEN MONTH(CG41_DATAREGIVA) ELSE MONTH(CG41_DATAREG) END AS Mese,";
  sql << "            CASE WHEN ISNULL(NUM_CODIVA_ESIG_IMM,0) > 0 THEN 0";
  sql << "                 WHEN ISNULL(NUM_CODIVA_ESIG_DIFF_EP,0) > 0 THEN 1";
  sql << "                 WHEN ISNULL(NUM_CODIVA_ESIG_DIFF_AL,0) > 0 THEN 2";
  sql << "                 WHEN ISNULL(NUM_CODIVA_ESIG_DIFF_EP_SP,0) > 0 THEN 3";
  sql << "                 ELSE 0 END AS TipoEsigibilita,";
  sql << "            ISNULL((SELECT TOP 1 1 FROM CGE0_DOCEDITORIA WITH (NOLOCK) WHERE CGE0_DITTA_CG18 = @Ditta AND CGE0_NUMREG_CG41 = CG41_NUMREG), 0) AS FatturaEditoria,";
  sql << "            CASE WHEN ISNULL(CG41_FLGDELETE,0) = 0 THEN 1 ELSE 0 END AS IsTestataAutofattura,";
  sql << "            CASE WHEN ISNULL(CG41_FLGDELETE,0) = 0";
  sql << Concat({"                 THEN CASE WHEN ", kHaPadre});
  sql << Concat({"                           THEN CASE WHEN ", kCausalePadre,
                 " IN ('51','52') THEN 1 ELSE 0 END"});
  sql << "                           ELSE 0 END";
  sql << "                 ELSE CASE WHEN CausaleIvaRiferimento IN ('51','52') THEN 1 ELSE 0 END";
  sql << "            END AS IsCausaleIntra,";
  sql << Concat({"            CASE WHEN ISNULL(CG41_FLGDELETE,0) = 0 AND ", kHaPadre});
  sql << Concat({"                 THEN CASE WHEN ", kCausalePadre,
                 " IN ('41','42','91','92','96','97','93','94') THEN 1 ELSE 0 END"});
  sql << "                 ELSE 0";
  sql << "            END AS IsCausaleRSM,";
  sql << "            CASE WHEN (SELECT CG86_INDVENT";
  sql << "                         FROM CG32_ANADITTAPSEZ WITH (NOLOCK)";
  sql << "                         LEFT OUTER JOIN CG86_AZIENDECOLL WITH (NOLOCK)";
  sql << "                           ON CG86_IDATTIVITA = ISNULL(CG32_IDATTIVITA_CG86,";
  sql << Concat(
      {"                                (SELECT TOP 1 A.CG86_IDATTIVITA FROM CG86_AZIENDECOLL A WITH (NOLOCK) WHERE A.CG86_DITTACOLL_CG18 = CG41_DITTA_CG18 AND A.CG86_ANNOIVA = ",
       kAnnoIva, " AND A.CG86_INDTIPO = 0 ORDER BY A.CG86_IDATTIVITA))"});
  sql << "                        WHERE CG32_DITTA_CG18 = CG41_DITTA_CG18";
  sql << Concat({"                          AND CG32_ANNO = ", kAnnoIva});
  sql << "                          AND CG32_SEZIONALE = CG41_SEZIONALE) = 1";
  sql << "                  AND ISNULL(CG28_ALIQIVAVENT,0) <> 0";
  sql << "                 THEN 1 ELSE 0 END AS IndicatoreVentilazione";
  sql << "       FROM (";
  sql << "             SELECT CG41_DITTA_CG18, CG41_DATAREGIVA, CG41_NUMREG, CG41_DATAREG, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_CODICE_CG33, CG41_FLGDELETE, CG41_RIFPADRE,";
  sql << "                    CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG28_ALIQIVAVENT, CG33_FLGSUBFORNI, CG33_FLGFATTDIFF, CG28_FLGSOSPIMP,";
  sql << Concat({"                    SUM(", Segno("CG41_FLGSEGNOIVA", "CG43_IMPONIBILE"),
                 ") AS TOTALEIMPONIBILE,"});
  sql << Concat({"                    SUM(", Segno("CG41_FLGSEGNOIVA", "CG43_IMPOSTA"),
                 ") AS TOTALEIMPOSTA,"});
  sql << Concat({"                    SUM(", Segno("CG41_FLGSEGNOIVA", "CG43_IMPOSTAND"),
                 ") AS TOTALEIMPOSTAND,"});
  sql << Concat(
      {"                    CASE WHEN ", kCausaleIva, " = '62' AND ",
       "LTRIM(RTRIM(ISNULL(CG41_RIFPADRE, ''))) = '' THEN 1 ELSE 0 END AS IsCausaleAutofattura,"});
  sql << "                    CG41_INDTIPOREG AS IndicatoreTipoRegistro,";
  sql << "                    CG41_SEZIONALE AS Sezionale,";
  sql << "                    CG43_ALIQIVA1_CG28 AS CodiceIVA,";
  sql << "                    CG43_CAUSALEIVA AS TipoIVA,";
  sql << "                    CASE WHEN ISNULL(CG28_FLGSOSPIMP,0) = 0 THEN 0 ELSE 1 END AS FatturaInSospensione,";
  sql << "                    CG33_FLGSUBFORNI AS FlagSubFornitura,";
  sql << "                    CG33_FLGFATTDIFF AS FlagCausaleDifferita,";
  sql << Esigibili("1", "NUM_CODIVA_ESIG_DIFF_EP");
  sql << Esigibili("2", "NUM_CODIVA_ESIG_DIFF_AL");
  sql << Esigibili("3", "NUM_CODIVA_ESIG_DIFF_EP_SP");
  sql << Esigibili("0", "NUM_CODIVA_ESIG_IMM");
  sql << Concat({"                    ", kCausaleIva, " AS CausaleIvaRiferimento,"});
  sql << "                    CG43_INDTIPO AS IndiTipoCG43,";
  sql << "                    'MOV' AS TipoRecord,";
  sql << "                    @Anno AS Anno";
  sql << "               FROM CG43_MOVIVA";
  sql << Concat({"              INNER JOIN ", kPrimaNota,
                 " ON CG41_DITTA_CG18 = CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41"});
  sql << "              INNER JOIN CG33_TABCAU WITH (NOLOCK) ON CG41_CODICE_CG33 = CG33_CODICE";
  sql << "              INNER JOIN CG28_TABCODIVA WITH (NOLOCK) ON CG43_ALIQIVA1_CG28 = CG28_CODICE";
  sql << "              WHERE CG41_DITTA_CG18 = @Ditta";
  sql << "                AND ((CG41_DATAREGIVA BETWEEN @DataInizio AND @DataFine AND CG33_FLGFATTDIFF = 0)";
  sql << "                  OR (CG41_DATAREG BETWEEN @DataInizio AND @DataFine AND CG33_FLGFATTDIFF = 1))";
  sql << "                AND CG41_INDTIPOMOV = 0";
  sql << "                AND CG41_INDPROVREG = 0";
  sql << "              GROUP BY CG41_DITTA_CG18, CG41_NUMREG, CG41_DATAREG, CG41_DATAREGIVA, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_CODICE_CG33, CG41_FLGDELETE, CG41_RIFPADRE,";
  sql << "                       CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG28_ALIQIVAVENT, CG33_FLGSUBFORNI, CG33_FLGFATTDIFF, CG28_FLGSOSPIMP, CG33_CAUSALEIVA, CG33_CODICE, CG43_INDTIPO";
  sql << "            ) T";
  sql << " ) -- CTE_PROGIVA";
}

// Payments of suspended-VAT documents (CTE_PAGSOSP) or of publishing documents (CTE_PAGEDIT):
// dated by the payment registration, under the register type and section of the document.
void CtePagSosp(SqlLines& sql) {
  sql << " , CTE_PAGSOSP AS (";
  sql << "     SELECT 'MOV' AS TipoRecord,";
  sql << "            @Anno AS Anno,";
  sql << "            MONTH(PNPAGINC.CG41_DATAREG) AS Mese,";
  sql << "            PNPAGINC.CG41_INDTIPOREG,";
  sql << "            PNPAGINC.CG41_SEZIONALE,";
  sql << "            CG48_CODICE_CG28 AS CodiceIVA,";
  sql << "            CG48_CAUSALEIVA AS TipoIVA,";
  sql << "            CG49_NUMREG_CG41,";
  sql << Concat({"            SUM(", Segno("PNDOCSOSP.CG41_FLGSEGNOIVA", "CG50_IMPONIBILE"),
                 ") AS TOTALEIMPONIBILE,"});
  sql << Concat({"            SUM(", Segno("PNDOCSOSP.CG41_FLGSEGNOIVA", "CG50_IMPOSTA"),
                 ") AS TOTALEIMPOSTA,"});
  sql << "            ISNULL(CG28_FLGSOSPIMP,0) AS TipoEsigibilita,";
  sql << "            PNDOCSOSP.CG41_INDTIPOREG AS IndicatoreTipoRegistro,";
  sql << "            PNDOCSOSP.CG41_SEZIONALE AS Sezionale";
  sql << "       FROM CG50_MOVPAGSOSP WITH (NOLOCK)";
  sql << "      INNER JOIN CG49_PAGSOSP WITH (NOLOCK) ON CG49_DITTA_CG18 = CG50_DITTA_CG18 AND CG49_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG49_NUMPAG = CG50_NUMPAG_CG49";
  sql << Concat(
      {"      INNER JOIN ", kPrimaNota,
       " PNPAGINC ON PNPAGINC.CG41_DITTA_CG18 = CG49_DITTA_CG18 AND PNPAGINC.CG41_NUMREG = CG49_REGPN_CG41"});
  sql << "      INNER JOIN CG48_MOVSOSP WITH (NOLOCK) ON CG48_DITTA_CG18 = CG50_DITTA_CG18 AND CG48_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG48_PROGRIGA = CG50_PROGRIGA_CG48";
  sql << Concat(
      {"      INNER JOIN ", kPrimaNota,
       " PNDOCSOSP ON PNDOCSOSP.CG41_DITTA_CG18 = CG49_DITTA_CG18 AND PNDOCSOSP.CG41_NUMREG = CG49_NUMREG_CG41"});
  sql << "      INNER JOIN CG28_TABCODIVA WITH (NOLOCK) ON CG28_CODICE = CG50_CODICE_CG28";
  sql << "      WHERE PNPAGINC.CG41_DITTA_CG18 = @Ditta";
  sql << "        AND PNPAGINC.CG41_DATAREG BETWEEN @DataInizio AND @DataFine";
  sql << "        AND PNPAGINC.CG41_INDTIPOMOV = 0";
  sql << "        AND PNPAGINC.CG41_INDPROVREG = 0";
  sql << "      GROUP BY PNPAGINC.CG41_DATAREG, PNPAGINC.CG41_INDTIPOREG, PNPAGINC.CG41_SEZIONALE, CG48_CODICE_CG28, CG48_CAUSALEIVA, CG49_NUMREG_CG41, CG28_FLGSOSPIMP, PNDOCSOSP.CG41_INDTIPOREG, PNDOCSOSP.CG41_SEZIONALE";
  sql << " ) -- CTE_PAGSOSP";
}

void CtePagEdit(SqlLines& sql) {
  sql << " , CTE_PAGEDIT AS (";
  sql << "     SELECT 'MOV' AS TipoRecord,";
  sql << "            @Anno AS Anno,";
  sql << "            MONTH(PNPAGINC.CG41_DATAREG) AS Mese,";
  sql << "            PNPAGINC.CG41_INDTIPOREG,";
  sql << "            PNPAGINC.CG41_SEZIONALE,";
  sql << "            CGE1_CODICE_CG28 AS CodiceIVA,";
  sql << "            CGE1_CAUSALEIVA AS TipoIVA,";
  sql << "            CGE2_NUMREG_CG41,";
  sql << Concat({"            SUM(", Segno("PNDOCORIG.CG41_FLGSEGNOIVA", "CGE3_IMPONIBILE"),
                 ") AS TOTALEIMPONIBILE,"});
  sql << Concat({"            SUM(", Segno("PNDOCORIG.CG41_FLGSEGNOIVA", "CGE3_IMPOSTA"),
                 ") AS TOTALEIMPOSTA,"});
  sql << "            PNDOCORIG.CG41_INDTIPOREG AS IndicatoreTipoRegistro,";
  sql << "            PNDOCORIG.CG41_SEZIONALE AS Sezionale";
  sql << "       FROM CGE3_MOVPAGEDITORIA WITH (NOLOCK)";
  sql << "      INNER JOIN CGE2_PAGEDITORIA WITH (NOLOCK) ON CGE2_DITTA_CG18 = CGE3_DITTA_CG18 AND CGE2_NUMREG_CG41 = CGE3_NUMREG_CG41";
  sql << Concat(
      {"      INNER JOIN ", kPrimaNota,
       " PNPAGINC ON PNPAGINC.CG41_DITTA_CG18 = CGE2_DITTA_CG18 AND PNPAGINC.CG41_NUMREG = CGE2_REGPN_CG41"});
  sql << "      INNER JOIN CGE1_MOVEDITORIA WITH (NOLOCK) ON CGE1_DITTA_CG18 = CGE3_DITTA_CG18 AND CGE1_NUMREG_CG41 = CGE3_NUMREG_CG41 AND CGE1_PROGRIGA = CGE3_PROGRIGA_CGE1";
  sql << Concat(
      {"      INNER JOIN ", kPrimaNota,
       " PNDOCORIG ON PNDOCORIG.CG41_DITTA_CG18 = CGE2_DITTA_CG18 AND PNDOCORIG.CG41_NUMREG = CGE2_NUMREG_CG41"});
  sql << "      WHERE PNPAGINC.CG41_DITTA_CG18 = @Ditta";
  sql << "        AND PNPAGINC.CG41_DATAREG BETWEEN @DataInizio AND @DataFine";
  sql << "        AND PNPAGINC.CG41_INDTIPOMOV = 0";
  sql << "        AND PNPAGINC.CG41_INDPROVREG = 0";
  sql << "      GROUP BY PNPAGINC.CG41_DATAREG, PNPAGINC.CG41_INDTIPOREG, PNPAGINC.CG41_SEZIONALE, CGE1_CODICE_CG28, CGE1_CAUSALEIVA, CGE2_NUMREG_CG41, PNDOCORIG.CG41_INDTIPOREG, PNDOCORIG.CG41_SEZIONALE";
  sql << " ) -- CTE_PAGEDIT";
}

void CteCG59(SqlLines& sql) {
  sql << " , CTE_CG59 AS (";
  sql << "     SELECT CG59_DITTA_CG18,";
  sql << "            CG59_ANNO AS Anno,";
  sql << "            CG59_MESE AS Mese,";
  sql << "            CG59_INDTIPO AS IndicatoreTipoRegistro,";
  sql << "            CG59_SEZIONALE AS Sezionale,";
  sql << "            CG59_ALIQIVA_CG28 AS CodiceIVA,";
  sql << "            CG59_INDCAUSIVA AS TipoIVA,";
  sql << "            CG59_IMPONIBILE AS TOTALEIMPONIBILE,";
  sql << "            CG59_IMPOSTA AS TOTALEIMPOSTA,";
  sql << "            CG59_IMPOSTAND AS TOTALEIMPOSTAND";
  sql << "       FROM CG59_PROGIVAM";
  sql << "      WHERE CG59_DITTA_CG18 = @Ditta";
  sql << "        AND CG59_ANNO = @Anno";
  sql << " ) -- CTE_CG59";
}

// One branch of a kind: per section, or for the summary section 'RP' (all sections, within the
// months of its window).
void Ramo(SqlLines& sql, const Tipologia& k, bool riepilogativo, bool primo) {
  // The first branch names the register-type column; the others give only its expression.
  const bool nome = primo && k.tipo != "IndicatoreTipoRegistro";
  const std::string tipo =
      nome ? Concat({k.tipo, " AS IndicatoreTipoRegistro"}) : std::string(k.tipo);
  sql << Concat({"     SELECT Anno, ", tipo, ", ",
                 riepilogativo ? "'RP' AS Sezionale" : "Sezionale",
                 ", CodiceIVA, TipoIVA, Mese, TipoRecord,"});
  sql << "            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEMOV,";
  sql << "            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAMOV,";
  sql << (k.fonte == "CTE_PROGIVA" ? "            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDMOV,"
                                   : "            0 AS IMPOSTANDMOV,");
  sql << "            0 AS IMPONIBILEPROGR, 0 AS IMPOSTAPROGR, 0 AS IMPOSTANDPROGR";
  sql << Concat({"       FROM ", k.fonte});
  std::string condizione(k.condizione);
  if (riepilogativo) {
    condizione +=
        Concat({condizione.empty() ? "" : " AND ",
                "Mese BETWEEN @MeseAttivazioneSezionali AND @MeseUltimaStampaRiepilogativo"});
  }
  if (!condizione.empty()) sql << Concat({"      WHERE ", condizione});
  sql << Concat({"      GROUP BY Anno, Mese, IndicatoreTipoRegistro, ",
                 riepilogativo ? "" : "Sezionale, ", "CodiceIVA, TipoIVA, TipoRecord",
                 k.per_esigibilita ? ", TipoEsigibilita" : ""});
}

// The batch's variables: the parameters, and the months from which the sections count and up to
// which the summary register is printed.
void Variabili(SqlLines& sql, const ParametriControlloIva& p) {
  sql << " DECLARE @Ditta DECIMAL(5,0)";
  sql << " DECLARE @DataInizio DATETIME";
  sql << " DECLARE @DataFine DATETIME";
  sql << " DECLARE @Anno DECIMAL(4,0)";
  sql << " DECLARE @FlagGestSezIVA BIT";
  sql << " DECLARE @DataAttivazioneSezionali DATETIME";
  sql << " DECLARE @MeseAttivazioneSezionali DECIMAL(2,0)";
  sql << " DECLARE @DataUltimaStampaRiepilogativo DATETIME";
  sql << " DECLARE @MeseUltimaStampaRiepilogativo DECIMAL(2,0)";
  sql << " SET @Ditta = " + p.ditta;
  sql << " SET @DataInizio = '" + p.anno + "0101'";
  sql << " SET @DataFine = '" + p.anno + "1231'";
  sql << " SET @Anno = " + p.anno;
  sql << Concat({" SET @FlagGestSezIVA = ", p.gestione_sezionali ? "1" : "0"});
  sql << " SET @DataAttivazioneSezionali = " + p.data_attivazione;
  sql << " SET @DataUltimaStampaRiepilogativo = " + p.data_ultima_stampa;

  sql << "-- Determino il mese di attivazione dei sezionali IVA";
  sql << " IF @FlagGestSezIVA = 1";
  sql << " BEGIN";
  sql << "     SET @MeseAttivazioneSezionali = MONTH(@DataAttivazioneSezionali)";
  sql << "     IF YEAR(@DataAttivazioneSezionali) < @Anno";
  sql << "         SET @MeseAttivazioneSezionali = 0";
  sql << "     ELSE IF YEAR(@DataAttivazioneSezionali) > @Anno";
  sql << "         SET @MeseAttivazioneSezionali = 13";
  sql << " END";
  sql << " ELSE";
  sql << "     SET @MeseAttivazioneSezionali = 0";
  sql << "-- Determino il mese dell'ultima stampa definitiva del registro riepilogativo";
  sql << " IF @FlagGestSezIVA = 1";
  sql << " BEGIN";
  sql << "     IF @DataUltimaStampaRiepilogativo IS NOT NULL";
  sql << "     BEGIN";
  sql << "         SET @MeseUltimaStampaRiepilogativo = MONTH(@DataUltimaStampaRiepilogativo)";
  sql << "         IF YEAR(@DataUltimaStampaRiepilogativo) < @Anno";
  sql << "             SET @MeseUltimaStampaRiepilogativo = 0";
  sql << "         ELSE IF YEAR(@DataUltimaStampaRiepilogativo) > @Anno";
  sql << "             SET @MeseUltimaStampaRiepilogativo = 13";
  sql << "     END";
  sql << "     ELSE";
  sql << "         SET @MeseUltimaStampaRiepilogativo = 0";
  sql << " END";
  sql << " ELSE";
  sql << "     SET @MeseUltimaStampaRiepilogativo = 13";
}

// The rows into the result table: a branch per register-type kind and section, and the stored
// totals when asked.
void Inserimento(SqlLines& sql, const ParametriControlloIva& p, std::string_view nome) {
  sql << Concat({" INSERT INTO ", nome});
  sql << "        (ANNO, TIPOREGISTRO, SEZIONALE, CODICEIVA, TIPOIVA, MESE, IMPONIBILEPROGR, IMPOSTAPROGR, IMPOSTANDPROGR, IMPONIBILEMOV, IMPOSTAMOV, IMPOSTANDMOV, TIPORECORD)";
  sql << " SELECT DATI.Anno AS ANNO,";
  sql << "        DATI.IndicatoreTipoRegistro AS TIPOREGISTRO,";
  sql << "        DATI.Sezionale AS SEZIONALE,";
  sql << "        DATI.CodiceIVA AS CODICEIVA,";
  sql << "        DATI.TipoIVA AS TIPOIVA,";
  sql << "        DATI.Mese AS MESE,";
  sql << "        DATI.IMPONIBILEPROGR AS IMPONIBILEPROGR,";
  sql << "        DATI.IMPOSTAPROGR AS IMPOSTAPROGR,";
  sql << "        DATI.IMPOSTANDPROGR AS IMPOSTANDPROGR,";
  sql << "        DATI.IMPONIBILEMOV AS IMPONIBILEMOV,";
  sql << "        DATI.IMPOSTAMOV AS IMPOSTAMOV,";
  sql << "        DATI.IMPOSTANDMOV AS IMPOSTANDMOV,";
  sql << "        DATI.TipoRecord AS TIPORECORD";
  sql << " FROM (";
  // UNION ALL: two contributions with equal amounts under one key (register type 14 from both
  // of its sources, type 35 from sales and from receipts) are two amounts, not one.
  bool primo = true;
  for (const Tipologia& k : kTipologie) {
    for (bool riepilogativo : {false, true}) {
      if (!primo) sql << "     UNION ALL";
      if (!riepilogativo) sql << Concat({"     -- ", k.nome});
      Ramo(sql, k, riepilogativo, primo);
      primo = false;
    }
  }
  if (p.includi_progressivi) {
    sql << "     UNION ALL";
    sql << "     SELECT Anno, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA, Mese, 'PGR' AS TipoRecord,";
    sql << "            0 AS IMPONIBILEMOV, 0 AS IMPOSTAMOV, 0 AS IMPOSTANDMOV,";
    sql << "            SUM(ISNULL(TOTALEIMPONIBILE,0)) AS IMPONIBILEPROGR,";
    sql << "            SUM(ISNULL(TOTALEIMPOSTA,0)) AS IMPOSTAPROGR,";
    sql << "            SUM(ISNULL(TOTALEIMPOSTAND,0)) AS IMPOSTANDPROGR";
    sql << "       FROM CTE_CG59";
    sql << "      GROUP BY Anno, Mese, IndicatoreTipoRegistro, Sezionale, CodiceIVA, TipoIVA";
  }
  sql << " ) DATI";
  sql << " ORDER BY Anno, IndicatoreTipoRegistro, Mese, Sezionale, CodiceIVA, TipoIVA, TipoRecord";
}

}  // namespace

std::string ControlloProgressiviIva::NomeTabella(std::string_view guid) {
  std::string part;
  for (char c : guid) {
    if (c == '-' || c == '{' || c == '}') continue;
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      throw db::DbError("identificativo del server non valido per una tabella temporanea: '" +
                        std::string(guid) + "'");
    }
    part.push_back(c);
  }
  return "#PROGIVA_" + part;
}

std::string ControlloProgressiviIva::PreparaTabella(std::string_view nome) {
  std::string colonne;
  for (const auto& c : kColonne) {
    colonne += Concat({colonne.empty() ? "" : ",\r\n", "         ", c[0], " ", c[1], " NULL"});
  }
  return Concat({" IF OBJECT_ID('TEMPDB..", nome, "', N'U') IS NOT NULL\r\n", " BEGIN\r\n",
                 "     TRUNCATE TABLE ", nome, "\r\n", " END\r\n", " ELSE\r\n", " BEGIN\r\n",
                 "     CREATE TABLE ", nome, "\r\n", "     (\r\n", colonne, "\r\n", "     )\r\n",
                 " END"});
}

std::string ControlloProgressiviIva::Batch(const ParametriControlloIva& p, std::string_view nome) {
  SqlLines sql = Righe();
  Variabili(sql, p);

  sql << "-- Definizione CTE";
  CteProgIva(sql);
  CtePagSosp(sql);
  CtePagEdit(sql);
  if (p.includi_progressivi) CteCG59(sql);

  Inserimento(sql, p, nome);
  return sql.str();
}

CheckPlan ControlloProgressiviIva::Plan(bool includi_progressivi) {
  return {
      .routine = "ControlloProgressiviIVA_Massivo",
      .checks = {Check::kConnection, Check::kCompanyObject, Check::kCompany, Check::kYear},
      .numeric = {NumericParam::kDitta, NumericParam::kAnno},
      .events = {.end = &VeriprogEvents::EndControlloProgressiviIVA},
      .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviIVA,
      // The table of an earlier call is not this call's: its name goes with its record set.
      .prepare = [this] { f_.Output().TabTempControlloProgressiviIVA.clear(); },
      // One routine without a name of its own: whatever fails in it fails the check under the
      // driver's name, before the End event.
      .steps = {Routine{"", [this, includi_progressivi] { Massivo(includi_progressivi); }}},
  };
}

void ControlloProgressiviIva::Esegui(bool includi_progressivi) {
  f_.Guard("ControlloProgressiviIVA", [&] {
    f_.Stato = tsOk;
    f_.Errore.clear();
    RunCheck(f_, Plan(includi_progressivi));
  });
}

ParametriControlloIva ControlloProgressiviIva::Parametri(bool includi_progressivi) {
  if (!f_.DittaBase) throw db::OutsideError("oggetto ditta base non creato");
  auto contabilita = std::dynamic_pointer_cast<outside::CompanyAccounting>(
      f_.DittaBase->SubObject(outside::kDittaContabilita));
  auto registri = std::dynamic_pointer_cast<outside::CompanyVatRegisters>(
      f_.DittaBase->SubObject(outside::kDittaRegistriIva));
  if (!contabilita) throw db::OutsideError("dati contabili della ditta non disponibili");
  if (!registri) throw db::OutsideError("registri IVA della ditta non disponibili");

  ParametriControlloIva p;
  p.ditta = f_.Numero(f_.CPInput->Ditta);
  p.anno = f_.Numero(f_.CPInput->Anno);
  p.gestione_sezionali = contabilita->FlagGestioneSezionaliIva().ToInteger() == 1;
  // DataDB records its own failure and gives Empty: the batch must not run on a date it lost.
  auto data = [this](const db::Variant& value) {
    const db::Variant sql = f_.DataDB(value);
    if (f_.Stato != tsOk) throw db::OutsideError(f_.Errore);
    return sql.ToText();
  };
  p.data_attivazione = data(contabilita->DataAttivazioneSezionali());
  p.data_ultima_stampa = data(registri->DataUltimaStampaRiepilogativo());
  p.includi_progressivi = includi_progressivi;
  return p;
}

void ControlloProgressiviIva::Massivo(bool includi_progressivi) {
  db::Connection& conn = f_.Connection();
  std::string guid;
  if (auto id = conn.Execute("SELECT NEWID() AS ID")) {
    db::Recordset rs = db::Recordset::FromResult(std::move(*id), nullptr);
    if (!rs.eof()) guid = NVL(rs.Get("ID"), "").ToText();
  }
  const std::string nome = NomeTabella(guid);
  conn.Execute(PreparaTabella(nome));

  const ParametriControlloIva p = Parametri(includi_progressivi);

  const std::string tabella = f_.GetTableName(TableId::kCG41);
  if (f_.Stato != tsOk) throw db::OutsideError(f_.Errore);
  std::string batch = Batch(p, nome);
  for (std::size_t at = batch.find(kPrimaNota); at != std::string::npos;
       at = batch.find(kPrimaNota, at + tabella.size())) {
    batch.replace(at, kPrimaNota.size(), tabella);
  }
  conn.Execute(batch);

  auto result = std::make_shared<db::Recordset>();
  result->Open(" SELECT * FROM " + nome +
                   " ORDER BY ANNO, TIPOREGISTRO, MESE, SEZIONALE, CODICEIVA, TIPOIVA, TIPORECORD",
               f_.SharedConnection());
  result->Detach();
  f_.Output().RecSetControlloProgressiviIVA = std::move(result);
  f_.Output().TabTempControlloProgressiviIVA = nome;
}

}  // namespace veriprog::iva
