#include "iva/plafond.h"

#include "frame/progressivi_mensili.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/recordset.h"

namespace veriprog::iva {
namespace {

// The month's sums per plafond kind of the VAT code (CG28_CODPLAFOND): 1, 5, 6 exports;
// 2 internal purchases; 3 imports; 4 intra-EU purchases. Only the taxable amount counts, with the
// registration's VAT sign.
const std::string& Totali() {
  static const std::string totali = [] {
    const std::string a =
        " CASE WHEN CG43_IMPONIBILE IS NULL THEN"
        "    0"
        " ELSE"
        "    CASE WHEN CG41_FLGSEGNOIVA = 0 THEN"
        "       CG43_IMPONIBILE"
        "    ELSE"
        "       -CG43_IMPONIBILE"
        "    END"
        " END";
    return "SELECT SUM(    CASE WHEN CG28_CODPLAFOND = 1 OR CG28_CODPLAFOND = 5 OR CG28_CODPLAFOND = 6 THEN" +
           a + " ELSE 0 END) AS TOT_ESPORTAZIONI," + " SUM(    CASE WHEN CG28_CODPLAFOND = 2 THEN" +
           a + " ELSE 0 END) AS TOT_ACQUISTIINTERNI," +
           " SUM(    CASE WHEN CG28_CODPLAFOND = 3 THEN" + a + " ELSE 0 END) AS TOT_IMPORTAZIONI," +
           " SUM(    CASE WHEN CG28_CODPLAFOND = 4 THEN" + a + " ELSE 0 END) AS TOT_ACQUISTIINTRA";
  }();
  return totali;
}

std::vector<Chiave> Attivita(const db::Variant& id) {
  return {{"IDATTIVITA", NVL(id, -1)}};
}

// The four amounts of a row, Null read as 0.
std::vector<db::Variant> Quattro(const db::Recordset& rs, const char* a, const char* b,
                                 const char* c, const char* d) {
  return {NVL(rs.Get(a), 0), NVL(rs.Get(b), 0), NVL(rs.Get(c), 0), NVL(rs.Get(d), 0)};
}

// --- the check -----------------------------------------------------------------------------------

// The month's journal totals per plafond kind: one row per company, or per activity.
std::string MovimentiMese(Frame& f, const Mese& mese) {
  std::string sql = Totali();
  // Each group carries its own activity: the activity is part of the group, not looked up by
  // the code the host gave.
  if (PerAttivita(f)) sql += " , CG86_CODATTIVITA, CG86_IDATTIVITA";
  sql += " FROM CG43_MOVIVA";
  sql += " INNER JOIN " + f.GetTableName(TableId::kCG41);
  sql += " ON CG41_DITTA_CG18 = CG43_DITTA_CG18";
  sql += " AND CG41_NUMREG = CG43_NUMREG_CG41";
  sql += " INNER JOIN CG28_TABCODIVA";
  sql += " ON CG43_ALIQIVA1_CG28 = CG28_CODICE";
  sql += JoinAttivita(" LEFT OUTER JOIN CG32_ANADITTAPSEZ WITH (NOLOCK)",
                      " LEFT OUTER JOIN CG86_AZIENDECOLL WITH (NOLOCK)");
  sql += " WHERE CG41_DITTA_CG18 = " + Ditta(f);
  sql += " AND CG41_DATACOMP BETWEEN " + mese.primo + " AND " + mese.ultimo;
  sql += " AND CG41_DATACOMP >= CG86_DATAINPLAFOND";
  sql += " AND CG41_DATACOMP IS NOT NULL";
  sql += " AND CG41_INDTIPOMOV = 0";
  sql += " AND CG41_INDPROVREG = 0";
  sql += " AND CG28_CODPLAFOND <> 0";
  if (PerAttivita(f) && CodiceAttivitaIndicato(f))
    sql += " AND CG86_CODATTIVITA = " + CodiceAttivita(f);
  if (PerAttivita(f)) sql += " GROUP BY CG86_CODATTIVITA, CG86_IDATTIVITA";
  return sql;
}

// The month's stored totals, per company or per activity of the company.
std::string ProgressiviMese(Frame& f, int mese) {
  const std::string m = SqlNumber(mese);
  if (!PerAttivita(f)) {
    return "SELECT CG51_PLAFEXPORT,"
           "        CG51_PLAFACQINT,"
           "        CG51_PLAFACQIMP,"
           "        CG51_PLAFACQINTRA"
           " FROM   CG51_PROGPLAFOND"
           " WHERE  CG51_DITTA_CG18 = " +
           Ditta(f) + " AND    CG51_ANNO = " + Anno(f) + " AND    CG51_MESE = " + m;
  }
  std::string sql =
      "SELECT CGL4_PLAFEXPORT,"
      "        CGL4_PLAFACQINT,"
      "        CGL4_PLAFACQIMP,"
      "        CGL4_PLAFACQINTRA,"
      "        CGL4_IDATTIVITA_CG86"
      " FROM   CGL4_PROGIVAPLAF WITH (NOLOCK)"
      "     INNER JOIN CG86_AZIENDECOLL WITH (NOLOCK)"
      "         ON CGL4_IDATTIVITA_CG86 = CG86_IDATTIVITA"
      " WHERE  CGL4_ANNO = " +
      Anno(f) + " AND    CGL4_MESE = " + m + " AND    CG86_INDTIPO = 0";
  // The company's activities only: another company's activity of the same code is not ours.
  sql += " AND    CG86_DITTA_CG18 = " + Ditta(f);
  if (CodiceAttivitaIndicato(f)) sql += " AND    CG86_CODATTIVITA = " + CodiceAttivita(f);
  return sql;
}

void ControllaMese(Frame& f, const Mese& mese, Risultato& r) {
  const int m = mese.numero;
  const std::vector<db::Variant> zero(4, db::Variant(0));
  const std::vector<Chiave> tutte = Attivita(-1);

  auto movimenti = db::Recordset::FromResult(f.Connection().Query(MovimentiMese(f, mese)), nullptr);
  if (movimenti.RecordCount() == 0) {
    // Only per activity: the month still has its row, for the company or the named activity.
    r.Somma(m, CodiceAttivitaIndicato(f) ? Attivita(f.CPInput->IDAttivita) : tutte, zero, zero);
  }
  for (movimenti.MoveFirst(); !movimenti.eof(); movimenti.MoveNext()) {
    const auto totali = Quattro(movimenti, "TOT_ESPORTAZIONI", "TOT_ACQUISTIINTERNI",
                                "TOT_IMPORTAZIONI", "TOT_ACQUISTIINTRA");
    if (PerAttivita(f)) r.Somma(m, Attivita(movimenti.Get("CG86_IDATTIVITA")), zero, totali);
    r.Somma(m, tutte, zero, totali);
  }

  auto progressivi =
      db::Recordset::FromResult(f.Connection().Query(ProgressiviMese(f, m)), nullptr);
  for (progressivi.MoveFirst(); !progressivi.eof(); progressivi.MoveNext()) {
    if (PerAttivita(f)) {
      const auto p = Quattro(progressivi, "CGL4_PLAFEXPORT", "CGL4_PLAFACQINT", "CGL4_PLAFACQIMP",
                             "CGL4_PLAFACQINTRA");
      r.Somma(m, Attivita(progressivi.Get("CGL4_IDATTIVITA_CG86")), p, zero);
      r.Somma(m, tutte, p, zero);
    } else {
      r.Somma(m, tutte,
              Quattro(progressivi, "CG51_PLAFEXPORT", "CG51_PLAFACQINT", "CG51_PLAFACQIMP",
                      "CG51_PLAFACQINTRA"),
              zero);
    }
  }
}

// --- the rebuild ---------------------------------------------------------------------------------

void AzzeraProgressiviMensiliPlafond(Frame& f) {
  if (PerAttivita(f)) {
    f.Connection().Execute(
        AzzeraPerAttivita(f, " DELETE CGL4_PROGIVAPLAF", "CGL4_PROGIVAPLAF", "CGL4_"));
    return;
  }
  f.Connection().Execute(
      JoinBetween(kCRLF, {" DELETE FROM CG51_PROGPLAFOND", " WHERE CG51_DITTA_CG18 = " + Ditta(f),
                          " AND CG51_ANNO = " + Anno(f)}));
}

void AggiornaProgressiviMensiliPlafond(Frame& f) {
  db::Recordset* r =
      RisultatoDaScrivere(f, &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviPlafond);
  if (r == nullptr) return;
  const std::string anno = Anno(f);
  if (!PerAttivita(f)) {
    const std::string ditta = Ditta(f);
    const std::pair<const char*, const char*> colonne[] = {{"CG51_PLAFEXPORT", "EXPORTMOV"},
                                                           {"CG51_PLAFACQINT", "ACQINTERNIMOV"},
                                                           {"CG51_PLAFACQIMP", "IMPORTAZIONIMOV"},
                                                           {"CG51_PLAFACQINTRA", "ACQINTRAMOV"}};
    ScriviConRecordset(
        f, *r,
        "SELECT * FROM CG51_PROGPLAFOND WHERE CG51_DITTA_CG18 = " + ditta +
            " AND   CG51_ANNO = " + anno,
        [&] { return "CG51_MESE = " + Intero(r->Get("MESE")); },
        [&](db::Recordset& p, bool nuova) {
          if (nuova) {
            p.Set("CG51_DITTA_CG18", *WholeNumber(f.CPInput->Ditta));
            p.Set("CG51_ANNO", *WholeNumber(f.CPInput->Anno));
            p.Set("CG51_MESE", r->Get("MESE"));
          }
          for (const auto& [stored, mov] : colonne) {
            p.Set(stored, nuova ? r->Get(mov) : db::Add(NVL(p.Get(stored), 0), r->Get(mov)));
          }
        });
    return;
  }
  ScriviPerAttivita(f, *r, [&] {
    const std::string id = Intero(r->Get("IDATTIVITA"));
    const std::string mese = Intero(r->Get("MESE"));
    const std::string exp = Importo(f, r->Get("EXPORTMOV"));
    const std::string acqint = Importo(f, r->Get("ACQINTERNIMOV"));
    const std::string imp = Importo(f, r->Get("IMPORTAZIONIMOV"));
    const std::string intra = Importo(f, r->Get("ACQINTRAMOV"));
    return JoinBetween(
        kCRLF, {
                   "UPDATE CGL4_PROGIVAPLAF",
                   " SET CGL4_PLAFEXPORT = ISNULL(CGL4_PLAFEXPORT,0) + " + exp + ",",
                   "     CGL4_PLAFACQINT = ISNULL(CGL4_PLAFACQINT,0) + " + acqint + ",",
                   "     CGL4_PLAFACQIMP = ISNULL(CGL4_PLAFACQIMP,0) + " + imp + ",",
                   "     CGL4_PLAFACQINTRA = ISNULL(CGL4_PLAFACQINTRA,0) + " + intra,
                   " WHERE CGL4_IDATTIVITA_CG86 = " + id,
                   " AND CGL4_MESE = " + mese,
                   " AND CGL4_ANNO = " + anno,
                   " IF @@ROWCOUNT = 0",
                   " INSERT INTO CGL4_PROGIVAPLAF",
                   "         (CGL4_IDATTIVITA_CG86, CGL4_ANNO, CGL4_MESE, CGL4_PLAFEXPORT,",
                   "         CGL4_PLAFACQINT, CGL4_PLAFACQIMP, CGL4_PLAFACQINTRA)",
                   " VALUES (" + id + "," + anno + "," + mese + "," + exp + "," + acqint + "," +
                       imp + "," + intra + ")",
               });
  });
}

// --- the check and the rebuild of the plafond totals ---------------------------------------------

CheckPlan PianoControllo(Frame& f) {
  return PianoControlloMensile(
      f, {
             .routine = "ControlloProgressiviPlafond",
             .sincro = "SincroRSControlloProgressiviPlafond",
             .events = {&VeriprogEvents::BeginControlloProgressiviPlafond,
                        &VeriprogEvents::AvanzamentoControlloProgressiviPlafond,
                        &VeriprogEvents::EndControlloProgressiviPlafond},
             .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviPlafond,
             .numeric = {NumericParam::kDitta, NumericParam::kAnno, NumericParam::kCodiceAttivita,
                         NumericParam::kIDAttivita},
             .campi = CampiMensili({}, {"EXPORT", "ACQINTERNI", "IMPORTAZIONI", "ACQINTRA"}, true),
             .coppie = {{"EXPORTPROGR", "EXPORTMOV"},
                        {"ACQINTERNIPROGR", "ACQINTERNIMOV"},
                        {"IMPORTAZIONIPROGR", "IMPORTAZIONIMOV"},
                        {"ACQINTRAPROGR", "ACQINTRAMOV"}},
             .mese = [&f](const Mese& m, Risultato& r) { ControllaMese(f, m, r); },
             .filtro = [&f] { return FiltroAttivita(f); },
         });
}

RebuildPlan PianoRicalcolo(Frame& f) {
  return PianoRicalcoloMensile(
      f, {
             .routine = "AzzeraAggiornaProgressiviPlafond",
             .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviPlafond,
                        &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviPlafond,
                        &VeriprogEvents::EndAzzeraAggiornaProgressiviPlafond},
             .azzeramento = "Azzeramento progressivi mensili",
             .azzera = {"AzzeraProgressiviMensiliPlafond",
                        [&f] { AzzeraProgressiviMensiliPlafond(f); }},
             .calcolo = "Calcolo progressivi plafond per mese",
             .controllo = PianoControllo,
             .aggiorna = {"AggiornaProgressiviMensiliPlafond",
                          [&f] { AggiornaProgressiviMensiliPlafond(f); }},
         });
}

}  // namespace

Famiglia Plafond(Frame& frame) {
  return Famiglia(frame, PianoControllo, PianoRicalcolo);
}

}  // namespace veriprog::iva
