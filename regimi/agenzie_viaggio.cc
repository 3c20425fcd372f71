#include "regimi/agenzie_viaggio.h"

#include "frame/progressivi_mensili.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::regimi {
namespace {

// --- the check -----------------------------------------------------------------------------------

// The stored kind of a VAT-line kind: 60..62 -> 5..7, 63..66 -> 1..4, any other -> 0.
int TipoAgenzia(const db::Variant& indtipo) {
  switch (NVL(indtipo, 0).ToInteger().value_or(0)) {
    case 60:
      return 5;
    case 61:
      return 6;
    case 62:
      return 7;
    case 63:
      return 1;
    case 64:
      return 2;
    case 65:
      return 3;
    case 66:
      return 4;
    default:
      return 0;
  }
}

std::string MovimentiMese(Frame& f, const Mese& mese) {
  std::string sql =
      " SELECT CG43_INDTIPO, CG43_ALIQIVA1_CG28,"
      " SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPONIBILE,0) ELSE -ISNULL(CG43_IMPONIBILE,0) END) AS TOTALEIMPONIBILE,"
      " SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPOSTA,0) ELSE -ISNULL(CG43_IMPOSTA,0) END) AS TOTALEIMPOSTA,"
      " SUM(CASE WHEN CG41_FLGSEGNOIVA = 0 THEN ISNULL(CG43_IMPOSTAND,0) ELSE -ISNULL(CG43_IMPOSTAND,0) END) AS TOTALEIMPOSTAND,"
      " CG86_CODATTIVITA, CG86_IDATTIVITA"
      " FROM  CG43_MOVIVA WITH(NOLOCK)";
  sql += " INNER JOIN " + f.GetTableName(TableId::kCG41);
  sql += "   ON  CG41_DITTA_CG18 = CG43_DITTA_CG18";
  sql += "   AND CG41_NUMREG = CG43_NUMREG_CG41";
  sql += JoinAttivita(" LEFT OUTER JOIN CG32_ANADITTAPSEZ WITH(NOLOCK)",
                      " LEFT OUTER JOIN CG86_AZIENDECOLL WITH(NOLOCK)");
  sql += " WHERE CG41_DITTA_CG18 = " + Ditta(f);
  sql += "   AND CG41_DATAREGIVA BETWEEN " + mese.primo + " AND " + mese.ultimo;
  sql += "   AND CG41_DATAREGIVA IS NOT NULL";
  sql += "   AND CG41_INDTIPOMOV = 0";
  sql += "   AND CG41_INDPROVREG = 0";
  sql += "   AND CG43_INDTIPO IN (60,61,62,63,64,65,66                       )";
  // The same activities as the stored side and the reset: a rebuild never adds the journal to
  // rows it did not reset.
  if (CodiceAttivitaIndicato(f)) sql += "   AND CG86_CODATTIVITA = " + CodiceAttivita(f);
  sql += " GROUP BY CG43_INDTIPO, CG43_ALIQIVA1_CG28, CG86_CODATTIVITA, CG86_IDATTIVITA";
  sql += " ORDER BY CG43_INDTIPO, CG43_ALIQIVA1_CG28";
  return sql;
}

std::string ProgressiviMese(Frame& f, int mese) {
  std::string sql =
      "SELECT CGL6_INDAGVIAG,"
      "        CGL6_CODICE_CG28,"
      "        CGL6_IMPONIBILE,"
      "        CGL6_IMPOSTA,"
      "        CGL6_IMPOSTAND,"
      "        CGL6_IDATTIVITA_CG86"
      " FROM   CGL6_PROGIVAAGVIAG WITH (NOLOCK)"
      "     INNER JOIN CG86_AZIENDECOLL WITH (NOLOCK)"
      "         ON CGL6_IDATTIVITA_CG86 = CG86_IDATTIVITA"
      " WHERE  CGL6_ANNO = " +
      Anno(f) + " AND    CGL6_MESE = " + SqlNumber(mese) + " AND    CG86_INDTIPO = 0";
  // The company's activities only; without a code every one of them, as the reset deletes.
  sql += " AND    CG86_DITTA_CG18 = " + Ditta(f);
  if (CodiceAttivitaIndicato(f)) sql += " AND    CG86_CODATTIVITA = " + CodiceAttivita(f);
  sql += " AND    CGL6_INDAGVIAG IN (1,2,3,4,5,6,7                     )";
  return sql;
}

void ControllaMese(Frame& f, const Mese& mese, Risultato& r) {
  const int m = mese.numero;
  const std::vector<db::Variant> zero(3, db::Variant(0));
  auto movimenti = db::Recordset::FromResult(f.Connection().Query(MovimentiMese(f, mese)), nullptr);
  for (movimenti.MoveFirst(); !movimenti.eof(); movimenti.MoveNext()) {
    const int kind = TipoAgenzia(movimenti.Get("CG43_INDTIPO"));
    if (kind == 0) continue;
    // The gross amount: taxable, VAT and non-deductible VAT together.
    db::Variant lordo = 0;
    for (const char* campo : {"TOTALEIMPONIBILE", "TOTALEIMPOSTA", "TOTALEIMPOSTAND"}) {
      const auto amount = NVL(movimenti.Get(campo), 0).ToDecimal();
      if (!amount) throw db::ValueError(std::string("importo non numerico in ") + campo);
      lordo = db::Add(lordo, *amount);
    }
    // The activity is part of the key: two activities never share a row.
    r.Somma(m,
            {{"INDAGVIAG", kind},
             {"CODICEIVA", movimenti.Get("CG43_ALIQIVA1_CG28"), true},
             {"IDATTIVITA", NVL(movimenti.Get("CG86_IDATTIVITA"), -1)}},
            zero, {lordo, 0, 0});
  }
  auto progressivi =
      db::Recordset::FromResult(f.Connection().Query(ProgressiviMese(f, m)), nullptr);
  for (progressivi.MoveFirst(); !progressivi.eof(); progressivi.MoveNext()) {
    const auto kind = NVL(progressivi.Get("CGL6_INDAGVIAG"), 0).ToInteger();
    r.Somma(m,
            {{"INDAGVIAG", kind ? db::Variant(*kind) : db::Variant(0)},
             {"CODICEIVA", NVL(progressivi.Get("CGL6_CODICE_CG28"), 0), true},
             {"IDATTIVITA", NVL(progressivi.Get("CGL6_IDATTIVITA_CG86"), 0)}},
            {NVL(progressivi.Get("CGL6_IMPONIBILE"), 0), NVL(progressivi.Get("CGL6_IMPOSTA"), 0),
             NVL(progressivi.Get("CGL6_IMPOSTAND"), 0)},
            zero);
  }
}

// --- the rebuild ---------------------------------------------------------------------------------

void AzzeraProgressiviMensiliAgenzieViaggio(Frame& f) {
  std::string sql = "DELETE FROM CGL6_PROGIVAAGVIAG \r\n";
  sql += "FROM        CGL6_PROGIVAAGVIAG \r\n";
  sql += "INNER JOIN  CG86_AZIENDECOLL WITH (NOLOCK)\r\n";
  sql += "         ON CGL6_IDATTIVITA_CG86 = CG86_IDATTIVITA\r\n";
  sql += "WHERE       CG86_DITTA_CG18 = " + Ditta(f) + "\r\n";
  sql += "        AND CGL6_ANNO = " + Anno(f) + "\r\n";
  sql += "        AND CG86_INDTIPO = 0\r\n";
  // Without a code, every kind-0 activity of the company: the activities the check reads.
  if (CodiceAttivitaIndicato(f))
    sql += "        AND CG86_CODATTIVITA = " + CodiceAttivita(f) + "\r\n";
  sql += "        AND CGL6_INDAGVIAG NOT IN(8, 9, 10, 11)\r\n";
  f.Connection().Execute(sql);
}

void AggiornaProgressiviMensiliAgenzieViaggio(Frame& f) {
  db::Recordset* r =
      RisultatoDaScrivere(f, &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviAgenzieViaggio);
  if (r == nullptr) return;
  const std::string anno = Anno(f);
  ScriviPerAttivita(f, *r, [&] {
    const std::string id = Intero(r->Get("IDATTIVITA"));
    const std::string kind = Intero(r->Get("INDAGVIAG"));
    const std::string mese = Intero(r->Get("MESE"));
    const std::string imponibile = Importo(f, r->Get("IMPONIBILEMOV"));
    const std::string imposta = Importo(f, r->Get("IMPOSTAMOV"));
    const std::string impostand = Importo(f, r->Get("IMPOSTANDMOV"));
    return JoinBetween(
        kCRLF,
        {
            "UPDATE CGL6_PROGIVAAGVIAG",
            "SET    CGL6_IMPONIBILE = ISNULL(CGL6_IMPONIBILE,0) + " + imponibile + ",",
            "       CGL6_IMPOSTA = ISNULL(CGL6_IMPOSTA,0) + " + imposta + ",",
            "       CGL6_IMPOSTAND = ISNULL(CGL6_IMPOSTAND,0) + " + impostand,
            "WHERE  CGL6_IDATTIVITA_CG86 = " + id,
            "   AND CGL6_ANNO = " + anno,
            "   AND CGL6_INDAGVIAG = " + kind,
            "   AND CGL6_MESE = " + mese,
            "   AND CGL6_CODICE_CG28 = '" + SqlText(BFill(r->Get("CODICEIVA"), 4)) + "'",
            "IF @@ROWCOUNT = 0",
            "INSERT INTO CGL6_PROGIVAAGVIAG",
            "            (CGL6_IDATTIVITA_CG86, CGL6_ANNO, CGL6_INDAGVIAG, CGL6_MESE, CGL6_CODICE_CG28,",
            "             CGL6_IMPONIBILE, CGL6_IMPOSTA, CGL6_IMPOSTAND)",
            "VALUES      (" + id + "," + anno + "," + kind + "," + mese + ",'" +
                SqlText(r->Get("CODICEIVA")) + "'," + imponibile + "," + imposta + "," + impostand +
                ")",
        });
  });
}

// --- the check and the rebuild of the travel agencies' totals ------------------------------------

CheckPlan PianoControllo(Frame& f) {
  return PianoControlloMensile(
      f, {
             .routine = "ControlloProgressiviAgenzieViaggio",
             .sincro = "SincroRSControlloProgressiviAgenzieViaggio",
             .events = {&VeriprogEvents::BeginControlloProgressiviAgenzieViaggio,
                        &VeriprogEvents::AvanzamentoControlloProgressiviAgenzieViaggio,
                        &VeriprogEvents::EndControlloProgressiviAgenzieViaggio},
             .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviAgenzieViaggio,
             .numeric = {NumericParam::kDitta, NumericParam::kAnno, NumericParam::kCodiceAttivita},
             .campi = CampiMensili(
                 {db::FieldDef::Numeric("INDAGVIAG", 2, 0), db::FieldDef::Char("CODICEIVA", 4)},
                 {"IMPONIBILE", "IMPOSTA", "IMPOSTAND"}, true),
             .coppie = {{"IMPONIBILEPROGR", "IMPONIBILEMOV"},
                        {"IMPOSTAPROGR", "IMPOSTAMOV"},
                        {"IMPOSTANDPROGR", "IMPOSTANDMOV"}},
             .mese = [&f](const Mese& m, Risultato& r) { ControllaMese(f, m, r); },
             .filtro = {},
         });
}

RebuildPlan PianoRicalcolo(Frame& f) {
  return PianoRicalcoloMensile(
      f, {
             .routine = "AzzeraAggiornaProgressiviAgenzieViaggio",
             .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviAgenzieViaggio,
                        &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviAgenzieViaggio,
                        &VeriprogEvents::EndAzzeraAggiornaProgressiviAgenzieViaggio},
             .azzeramento = "Azzeramento progressivi agenzie di viaggio",
             .azzera = {"AzzeraProgressiviMensiliAgenzieViaggio",
                        [&f] { AzzeraProgressiviMensiliAgenzieViaggio(f); }},
             .calcolo = "Calcolo progressivi agenzie di viaggio",
             .controllo = PianoControllo,
             .aggiorna = {"AggiornaProgressiviMensiliAgenzieViaggio",
                          [&f] { AggiornaProgressiviMensiliAgenzieViaggio(f); }},
         });
}

}  // namespace

Famiglia AgenzieViaggio(Frame& frame) {
  return Famiglia(frame, PianoControllo, PianoRicalcolo);
}

}  // namespace veriprog::regimi
