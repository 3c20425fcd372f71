#include "regimi/agricoltura.h"

#include "frame/progressivi_mensili.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/recordset.h"

namespace veriprog::regimi {
namespace {

// --- the check -----------------------------------------------------------------------------------

std::string MovimentiMese(Frame& f, const Mese& mese) {
  std::string sql =
      " SELECT CG43_INDTIPO, CG41_SEZIONALE, CG43_ALIQIVA1_CG28,"
      " SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPONIBILE,0) ELSE -ISNULL(CG43_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,"
      " SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPOSTA,0) ELSE -ISNULL(CG43_IMPOSTA,0) END) AS TOTALEIMPOSTA"
      " FROM  CG43_MOVIVA";
  sql += " INNER JOIN " + f.GetTableName(TableId::kCG41);
  sql += "   ON  CG41_DITTA_CG18 = CG43_DITTA_CG18";
  sql += "   AND CG41_NUMREG = CG43_NUMREG_CG41";
  // Lines whose VAT code is not in the VAT-code table do not count.
  sql += " INNER JOIN CG28_TABCODIVA";
  sql += "   ON CG43_ALIQIVA1_CG28 = CG28_CODICE";
  sql += " WHERE CG41_DITTA_CG18 = " + Ditta(f);
  sql += "   AND CG41_DATAREGIVA BETWEEN " + mese.primo + " AND " + mese.ultimo;
  sql += "   AND CG41_DATAREGIVA IS NOT NULL";
  sql += "   AND CG41_INDTIPOMOV = 0";
  sql += "   AND CG41_INDPROVREG = 0";
  sql += "   AND CG43_INDTIPO IN (50,51,55,56                       )";
  sql += " GROUP BY CG43_INDTIPO,CG41_SEZIONALE,CG43_ALIQIVA1_CG28";
  sql += " ORDER BY CG43_INDTIPO,CG41_SEZIONALE,CG43_ALIQIVA1_CG28";
  return sql;
}

std::string ProgressiviMese(Frame& f, int mese) {
  return " SELECT CGA0_INDAGRI,"
         "        CGA0_SEZIONALE,"
         "        CGA0_ALIQIVA,"
         "        CGA0_IMPONIBILE,"
         "        CGA0_IMPOSTA"
         " FROM   CGA0_PROGIVAM"
         " WHERE  CGA0_DITTA_CG18 = " +
         Ditta(f) + " AND    CGA0_ANNO = " + Anno(f) + " AND    CGA0_MESE = " + SqlNumber(mese) +
         " AND CGA0_INDAGRI IN (50,51,55,56                     )";
}

void ControllaMese(Frame& f, const Mese& mese, Risultato& r) {
  const int m = mese.numero;
  const std::vector<db::Variant> zero(2, db::Variant(0));
  auto movimenti = db::Recordset::FromResult(f.Connection().Query(MovimentiMese(f, mese)), nullptr);
  for (movimenti.MoveFirst(); !movimenti.eof(); movimenti.MoveNext()) {
    r.Somma(m,
            {{"INDAGRI", movimenti.Get("CG43_INDTIPO")},
             {"SEZIONALE", movimenti.Get("CG41_SEZIONALE"), true},
             {"CODICEIVA", movimenti.Get("CG43_ALIQIVA1_CG28"), true}},
            zero,
            {NVL(movimenti.Get("TOTALEIMPONIBILE"), 0), NVL(movimenti.Get("TOTALEIMPOSTA"), 0)});
  }
  auto progressivi =
      db::Recordset::FromResult(f.Connection().Query(ProgressiviMese(f, m)), nullptr);
  for (progressivi.MoveFirst(); !progressivi.eof(); progressivi.MoveNext()) {
    r.Somma(m,
            {{"INDAGRI", NVL(progressivi.Get("CGA0_INDAGRI"), 0)},
             {"SEZIONALE", NVL(progressivi.Get("CGA0_SEZIONALE"), 0), true},
             {"CODICEIVA", NVL(progressivi.Get("CGA0_ALIQIVA"), 0), true}},
            {NVL(progressivi.Get("CGA0_IMPONIBILE"), 0), NVL(progressivi.Get("CGA0_IMPOSTA"), 0)},
            zero);
  }
}

// --- the rebuild ---------------------------------------------------------------------------------

void AzzeraProgressiviMensiliAgricoltura(Frame& f) {
  f.Connection().Execute(
      JoinBetween(kCRLF, {" DELETE FROM CGA0_PROGIVAM", " WHERE CGA0_DITTA_CG18 = " + Ditta(f),
                          " AND CGA0_ANNO = " + Anno(f), " AND CGA0_INDAGRI IN (", "50,", "51,",
                          "55,", "56", "                     )"}));
}

void AggiornaProgressiviMensiliAgricoltura(Frame& f) {
  db::Recordset* r =
      RisultatoDaScrivere(f, &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviAgricoltura);
  if (r == nullptr) return;
  ScriviConRecordset(
      f, *r,
      " SELECT * FROM CGA0_PROGIVAM WHERE CGA0_DITTA_CG18 = " + Ditta(f) +
          " AND   CGA0_ANNO = " + Anno(f),
      [&] {
        return "CGA0_MESE = " + Intero(r->Get("MESE")) +
               " AND CGA0_INDAGRI = " + Intero(r->Get("INDAGRI")) + " AND CGA0_SEZIONALE = '" +
               SqlText(r->Get("SEZIONALE")) + "' AND CGA0_ALIQIVA = '" +
               SqlText(r->Get("CODICEIVA")) + "'";
      },
      [&](db::Recordset& p, bool nuova) {
        if (!nuova) {
          p.Set("CGA0_IMPONIBILE",
                db::Add(NVL(p.Get("CGA0_IMPONIBILE"), 0), r->Get("IMPONIBILEMOV")));
          p.Set("CGA0_IMPOSTA", db::Add(NVL(p.Get("CGA0_IMPOSTA"), 0), r->Get("IMPOSTAMOV")));
          return;
        }
        p.Set("CGA0_DITTA_CG18", *WholeNumber(f.CPInput->Ditta));
        p.Set("CGA0_ANNO", *WholeNumber(f.CPInput->Anno));
        p.Set("CGA0_INDAGRI", r->Get("INDAGRI"));
        p.Set("CGA0_MESE", r->Get("MESE"));
        p.Set("CGA0_SEZIONALE", r->Get("SEZIONALE"));
        p.Set("CGA0_ALIQIVA", r->Get("CODICEIVA"));
        p.Set("CGA0_IMPONIBILE", r->Get("IMPONIBILEMOV"));
        p.Set("CGA0_IMPOSTA", r->Get("IMPOSTAMOV"));
      });
}

// --- the check and the rebuild of the agricultural totals ----------------------------------------

CheckPlan PianoControllo(Frame& f) {
  return PianoControlloMensile(
      f, {
             .routine = "ControlloProgressiviAgricoltura",
             .sincro = "SincroRSControlloProgressiviAgricoltura",
             .events = {&VeriprogEvents::BeginControlloProgressiviAgricoltura,
                        &VeriprogEvents::AvanzamentoControlloProgressiviAgricoltura,
                        &VeriprogEvents::EndControlloProgressiviAgricoltura},
             .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviAgricoltura,
             .numeric = {NumericParam::kDitta, NumericParam::kAnno},
             .campi = CampiMensili(
                 {db::FieldDef::Numeric("INDAGRI", 2, 0), db::FieldDef::Char("SEZIONALE", 2),
                  db::FieldDef::Char("CODICEIVA", 4)},
                 {"IMPONIBILE", "IMPOSTA"}, false),
             .coppie = {{"IMPONIBILEPROGR", "IMPONIBILEMOV"}, {"IMPOSTAPROGR", "IMPOSTAMOV"}},
             .mese = [&f](const Mese& m, Risultato& r) { ControllaMese(f, m, r); },
             .filtro = {},
         });
}

RebuildPlan PianoRicalcolo(Frame& f) {
  return PianoRicalcoloMensile(
      f, {
             .routine = "AzzeraAggiornaProgressiviAgricoltura",
             .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviAgricoltura,
                        &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviAgricoltura,
                        &VeriprogEvents::EndAzzeraAggiornaProgressiviAgricoltura},
             .azzeramento = "Azzeramento progressivi agricoltura",
             .azzera = {"AzzeraProgressiviMensiliAgricoltura",
                        [&f] { AzzeraProgressiviMensiliAgricoltura(f); }},
             .calcolo = "Calcolo progressivi agricoltura per mese",
             .controllo = PianoControllo,
             .aggiorna = {"AggiornaProgressiviMensiliAgricoltura",
                          [&f] { AggiornaProgressiviMensiliAgricoltura(f); }},
         });
}

}  // namespace

Famiglia Agricoltura(Frame& frame) {
  return Famiglia(frame, PianoControllo, PianoRicalcolo);
}

}  // namespace veriprog::regimi
