#include "regimi/regime_margine.h"

#include "frame/progressivi_mensili.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::regimi {
namespace {

bool Uguale(const db::Variant& value, int n) {
  return db::Compare(value, n, db::TextCompare::kSql) == 0;
}

// --- the check -----------------------------------------------------------------------------------

// The margin kind of a group of movements (type of movement, regime, flat-rate percentage):
// 6 and 1 sold, 7 and 2 bought or returned, 9/10/11 flat-rate 25/50/60, 0 none of them.
int GetTipoMargine(Frame& f, const db::Variant& tipo_mov, const db::Variant& regime,
                   const db::Variant& perc_forf) {
  return f.GuardValue("GetTipoMargine", 0, [&] {
    const auto perc = NVL(perc_forf, 0).ToDecimal();
    if (!perc)
      throw db::ValueError("percentuale forfettaria non numerica: '" + perc_forf.ToText() + "'");
    const db::Variant forfait = *perc;
    if (Uguale(tipo_mov, 0)) {
      if (Uguale(regime, 1)) return 6;
      if (Uguale(regime, 2)) return 1;
      if (Uguale(regime, 3)) {
        if (Uguale(forfait, 25)) return 9;
        if (Uguale(forfait, 50)) return 10;
        if (Uguale(forfait, 60)) return 11;
      }
      return 0;
    }
    if (Uguale(tipo_mov, 1) || Uguale(tipo_mov, 2)) {
      if (Uguale(regime, 1)) return 7;
      if (Uguale(regime, 2)) return 2;
      return 0;
    }
    return Uguale(tipo_mov, 3) ? 1 : 0;
  });
}

std::string MovimentiMese(Frame& f, const Mese& mese) {
  std::string sql =
      "SELECT CGM2_INDTIPOMOV, CGM2_INDREGIME, CGM2_CODICE_CG28, CGM2_PERCFORF,"
      "        SUM(ISNULL(CGM2_IMPONIBILE,0) + ISNULL(CGM2_IMPOSTA,0)) AS IMPORTO,"
      "        CASE WHEN CGM2_INDREGIME = 1"
      "             THEN SUM(ISNULL(CGM2_MARGINE,0))"
      "             ELSE 0"
      "             END AS MARGINE,"
      "        CASE WHEN CGM2_INDREGIME = 2"
      "        THEN SUM( ISNULL(CGM2_RETTCOSTO,0))"
      "        ELSE 0"
      "        END AS COSTOESPGLOBALE,"
      "        CASE WHEN CGM2_INDREGIME = 2"
      "        THEN"
      "        SUM(ISNULL(CGM2_IMPONIBILE,0) + ISNULL(CGM2_IMPOSTA,0) - ISNULL(CGM2_RETTCOSTO,0))"
      "        ELSE 0"
      "        END AS MARGINEESPGLOBALE";
  if (PerAttivita(f)) sql += " , CG86_CODATTIVITA, CG86_IDATTIVITA";
  sql += " FROM CGM2_MOVBENIUSATI";
  sql += " INNER JOIN " + f.GetTableName(TableId::kCG41);
  sql += "       ON CG41_DITTA_CG18 = CGM2_DITTA_CG18";
  sql += "       AND CG41_NUMREG = CGM2_NUMREG_CG41";
  sql += JoinAttivita(" LEFT OUTER JOIN CG32_ANADITTAPSEZ WITH (NOLOCK)",
                      " LEFT OUTER JOIN CG86_AZIENDECOLL WITH (NOLOCK)");
  sql += " WHERE CG41_DITTA_CG18 = " + Ditta(f);
  sql += " AND CG41_DATAREGIVA BETWEEN " + mese.primo + " AND " + mese.ultimo;
  sql += " AND CG41_DATAREGIVA IS NOT NULL";
  sql += " AND CG41_INDTIPOMOV = 0";
  sql += " AND NOT ( CGM2_INDTIPOMOV = 1 AND CGM2_INDREGIME = 3)";
  if (PerAttivita(f) && CodiceAttivitaIndicato(f))
    sql += " AND CG86_CODATTIVITA = " + CodiceAttivita(f);
  sql += " GROUP BY CGM2_INDTIPOMOV, CGM2_INDREGIME, CGM2_CODICE_CG28, CGM2_PERCFORF";
  if (PerAttivita(f)) sql += " , CG86_CODATTIVITA, CG86_IDATTIVITA";
  return sql;
}

std::string ProgressiviMese(Frame& f, int mese) {
  const std::string m = SqlNumber(mese);
  if (!PerAttivita(f)) {
    return "SELECT CGM3_INDMARGINE,"
           "        CGM3_CODICE_CG28,"
           "        CGM3_IMPONIBILE,"
           "        CGM3_IMPOSTA,"
           "        CGM3_IMPOSTAND"
           " FROM   CGM3_PROGIVAM"
           " WHERE  CGM3_DITTA_CG18 = " +
           Ditta(f) + " AND    CGM3_ANNO = " + Anno(f) + " AND    CGM3_MESE = " + m;
  }
  std::string sql =
      "SELECT CGL3_INDMARGINE,"
      "        CGL3_CODICE_CG28,"
      "        CGL3_IMPONIBILE,"
      "        CGL3_IMPOSTA,"
      "        CGL3_IMPOSTAND,"
      "        CGL3_IDATTIVITA_CG86"
      " FROM   CGL3_PROGIVAMARG WITH (NOLOCK)"
      "     INNER JOIN CG86_AZIENDECOLL WITH (NOLOCK)"
      "         ON CGL3_IDATTIVITA_CG86 = CG86_IDATTIVITA"
      " WHERE  CGL3_ANNO = " +
      Anno(f) + " AND    CGL3_MESE = " + m + " AND    CG86_INDTIPO = 0";
  // The company's activities only: another company's activity is not ours to compare or sum.
  sql += " AND    CG86_DITTA_CG18 = " + Ditta(f);
  if (CodiceAttivitaIndicato(f)) sql += " AND CG86_CODATTIVITA = " + CodiceAttivita(f);
  return sql;
}

void ControllaMese(Frame& f, const Mese& mese, Risultato& r) {
  const int m = mese.numero;
  const std::vector<db::Variant> zero(3, db::Variant(0));
  // A journal figure of (kind, code): per activity for its activity and for all together.
  auto movimento = [&](int kind, const db::Variant& codice, const db::Variant& importo,
                       const db::Variant& attivita) {
    std::vector<Chiave> chiave = {{"INDMARGINE", kind}, {"CODICEIVA", codice, true}};
    const std::vector<db::Variant> mov = {importo, 0, 0};
    if (!PerAttivita(f)) {
      r.Somma(m, chiave, zero, mov);
      return;
    }
    chiave.push_back({"IDATTIVITA", NVL(attivita, -1)});
    r.Somma(m, chiave, zero, mov);
    chiave.back().valore = -1;
    r.Somma(m, chiave, zero, mov);
  };

  auto movimenti = db::Recordset::FromResult(f.Connection().Query(MovimentiMese(f, mese)), nullptr);
  for (movimenti.MoveFirst(); !movimenti.eof(); movimenti.MoveNext()) {
    const int kind =
        GetTipoMargine(f, movimenti.Get("CGM2_INDTIPOMOV"), movimenti.Get("CGM2_INDREGIME"),
                       movimenti.Get("CGM2_PERCFORF"));
    const db::Variant codice = movimenti.Get("CGM2_CODICE_CG28");
    const db::Variant attivita =
        PerAttivita(f) ? movimenti.Get("CG86_IDATTIVITA") : db::Variant::Null();
    movimento(kind, codice, NVL(movimenti.Get("IMPORTO"), 0), attivita);
    auto non_zero = [](const db::Variant& v) { return !Uguale(NVL(v, 0), 0); };
    // Sold under the margin regime: its margin (kind 8); under the global regime: its cost
    // adjustment (3) and global margin (4).
    if (kind == 6 && non_zero(movimenti.Get("MARGINE")))
      movimento(8, codice, movimenti.Get("MARGINE"), attivita);
    if (kind == 1 && non_zero(movimenti.Get("COSTOESPGLOBALE")))
      movimento(3, codice, movimenti.Get("COSTOESPGLOBALE"), attivita);
    if (kind == 1 && non_zero(movimenti.Get("MARGINEESPGLOBALE")))
      movimento(4, codice, movimenti.Get("MARGINEESPGLOBALE"), attivita);
  }

  auto progressivi =
      db::Recordset::FromResult(f.Connection().Query(ProgressiviMese(f, m)), nullptr);
  const char* p = PerAttivita(f) ? "CGL3_" : "CGM3_";
  auto campo = [&](const char* nome) { return NVL(progressivi.Get(std::string(p) + nome), 0); };
  for (progressivi.MoveFirst(); !progressivi.eof(); progressivi.MoveNext()) {
    std::vector<Chiave> chiave = {{"INDMARGINE", campo("INDMARGINE")},
                                  {"CODICEIVA", campo("CODICE_CG28"), true}};
    const std::vector<db::Variant> progr = {campo("IMPONIBILE"), campo("IMPOSTA"),
                                            campo("IMPOSTAND")};
    if (!PerAttivita(f)) {
      r.Somma(m, chiave, progr, zero);
      continue;
    }
    chiave.push_back({"IDATTIVITA", campo("IDATTIVITA_CG86")});
    r.Somma(m, chiave, progr, zero);
    chiave.back().valore = -1;
    r.Somma(m, chiave, progr, zero);
  }
}

// --- the rebuild ---------------------------------------------------------------------------------

void AzzeraProgressiviMensiliRegimeMargine(Frame& f) {
  if (!PerAttivita(f)) {
    f.Connection().Execute("DELETE FROM CGM3_PROGIVAM WHERE CGM3_DITTA_CG18 = " + Ditta(f) +
                           " AND CGM3_ANNO = " + Anno(f) + " AND CGM3_INDMARGINE NOT IN (5,12)");
    return;
  }
  f.Connection().Execute(
      AzzeraPerAttivita(f, " DELETE FROM CGL3_PROGIVAMARG", "CGL3_PROGIVAMARG", "CGL3_"));
}

void AggiornaProgressiviMensiliRegimeMargine(Frame& f) {
  db::Recordset* r =
      RisultatoDaScrivere(f, &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviRegimeMargine);
  if (r == nullptr) return;
  const std::string anno = Anno(f);
  if (!PerAttivita(f)) {
    ScriviConRecordset(
        f, *r,
        "SELECT * FROM CGM3_PROGIVAM WHERE CGM3_DITTA_CG18 = " + Ditta(f) +
            " AND   CGM3_ANNO = " + anno,
        [&] {
          return "CGM3_MESE = " + Intero(r->Get("MESE")) +
                 " AND CGM3_INDMARGINE = " + Intero(r->Get("INDMARGINE")) +
                 " AND CGM3_CODICE_CG28 = '" + SqlText(r->Get("CODICEIVA")) + "'";
        },
        [&](db::Recordset& p, bool nuova) {
          if (!nuova) {
            // Only the taxable amount grows: the journal side brings no VAT.
            p.Set("CGM3_IMPONIBILE",
                  db::Add(NVL(p.Get("CGM3_IMPONIBILE"), 0), r->Get("IMPONIBILEMOV")));
            return;
          }
          p.Set("CGM3_DITTA_CG18", *WholeNumber(f.CPInput->Ditta));
          p.Set("CGM3_ANNO", *WholeNumber(f.CPInput->Anno));
          p.Set("CGM3_INDMARGINE", r->Get("INDMARGINE"));
          p.Set("CGM3_MESE", r->Get("MESE"));
          p.Set("CGM3_CODICE_CG28", r->Get("CODICEIVA"));
          p.Set("CGM3_IMPONIBILE", r->Get("IMPONIBILEMOV"));
          p.Set("CGM3_IMPOSTA", r->Get("IMPOSTAMOV"));
          p.Set("CGM3_IMPOSTAND", r->Get("IMPOSTANDMOV"));
        });
    return;
  }
  ScriviPerAttivita(f, *r, [&] {
    const std::string id = Intero(r->Get("IDATTIVITA"));
    const std::string kind = Intero(r->Get("INDMARGINE"));
    const std::string mese = Intero(r->Get("MESE"));
    const std::string imponibile = Importo(f, r->Get("IMPONIBILEMOV"));
    const std::string imposta = Importo(f, r->Get("IMPOSTAMOV"));
    const std::string impostand = Importo(f, r->Get("IMPOSTANDMOV"));
    const std::string update =
        "UPDATE CGL3_PROGIVAMARG\r\n SET CGL3_IMPONIBILE = ISNULL(CGL3_IMPONIBILE,0) + " +
        imponibile + ",     CGL3_IMPOSTA = ISNULL(CGL3_IMPOSTA,0) + " + imposta +
        ",     CGL3_IMPOSTAND = ISNULL(CGL3_IMPOSTAND,0) + " + impostand +
        " WHERE CGL3_IDATTIVITA_CG86 = " + id + " AND CGL3_ANNO = " + anno +
        " AND CGL3_INDMARGINE = " + kind + "\r\n AND CGL3_MESE = " + mese +
        "\r\n AND CGL3_CODICE_CG28 = '" + SqlText(BFill(r->Get("CODICEIVA"), 4)) + "' ";
    const std::string insert =
        " INSERT INTO CGL3_PROGIVAMARG"
        "         (CGL3_IDATTIVITA_CG86, CGL3_ANNO, CGL3_INDMARGINE, CGL3_MESE, CGL3_CODICE_CG28,"
        "         CGL3_IMPONIBILE, CGL3_IMPOSTA, CGL3_IMPOSTAND)"
        " VALUES (" +
        id + "," + anno + "," + kind + ",\r\n" + mese + ",\r\n'" + SqlText(r->Get("CODICEIVA")) +
        "'," + imponibile + "," + imposta + "," + impostand + "        )";
    // One batch: each clause starts with its own blank; the only line breaks are those inside
    // the clauses.
    return update + " IF @@ROWCOUNT = 0" + insert;
  });
}

// --- the check and the rebuild of the margin-scheme totals ---------------------------------------

CheckPlan PianoControllo(Frame& f) {
  return PianoControlloMensile(
      f, {
             .routine = "ControlloProgressiviRegimeMargine",
             .sincro = "SincroRSControlloProgressiviRegimeMargine",
             .events = {&VeriprogEvents::BeginControlloProgressiviRegimeMargine,
                        &VeriprogEvents::AvanzamentoControlloProgressiviRegimeMargine,
                        &VeriprogEvents::EndControlloProgressiviRegimeMargine},
             .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviRegimeMargine,
             .numeric = {NumericParam::kDitta, NumericParam::kAnno, NumericParam::kCodiceAttivita,
                         NumericParam::kIDAttivita},
             .campi = CampiMensili(
                 {db::FieldDef::Numeric("INDMARGINE", 2, 0), db::FieldDef::Char("CODICEIVA", 4)},
                 {"IMPONIBILE", "IMPOSTA", "IMPOSTAND"}, true),
             .coppie = {{"IMPONIBILEPROGR", "IMPONIBILEMOV"},
                        {"IMPOSTAPROGR", "IMPOSTAMOV"},
                        {"IMPOSTANDPROGR", "IMPOSTANDMOV"}},
             .mese = [&f](const Mese& m, Risultato& r) { ControllaMese(f, m, r); },
             .filtro = [&f] { return FiltroAttivita(f); },
         });
}

RebuildPlan PianoRicalcolo(Frame& f) {
  return PianoRicalcoloMensile(
      f, {
             .routine = "AzzeraAggiornaProgressiviRegimeMargine",
             .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviRegimeMargine,
                        &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviRegimeMargine,
                        &VeriprogEvents::EndAzzeraAggiornaProgressiviRegimeMargine},
             .azzeramento = "Azzeramento progressivi regime del margine",
             .azzera = {"AzzeraProgressiviMensiliRegimeMargine",
                        [&f] { AzzeraProgressiviMensiliRegimeMargine(f); }},
             .calcolo = "Calcolo progressivi regime del margine per mese",
             .controllo = PianoControllo,
             .aggiorna = {"AggiornaProgressiviMensiliRegimeMargine",
                          [&f] { AggiornaProgressiviMensiliRegimeMargine(f); }},
         });
}

}  // namespace

Famiglia RegimeMargine(Frame& frame) {
  return Famiglia(frame, PianoControllo, PianoRicalcolo);
}

}  // namespace veriprog::regimi
