#include "iva/ricalcolo_iva.h"

#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "iva/controllo_iva.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::iva {
namespace {

constexpr StepEvents kPassi{&VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviIVA,
                            &VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviIVA,
                            &VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviIVA};

// A key column of a check row, which a stored total cannot do without.
const db::Variant& Chiave(const db::Recordset& r, const char* campo) {
  const db::Variant& v = r.Get(campo);
  if (!v.has_value()) {
    throw db::ValueError(std::string("riga del controllo senza ") + campo + " (tipo registro " +
                         r.Get("TIPOREGISTRO").ToText() + ", mese " + r.Get("MESE").ToText() +
                         ", sezionale '" + r.Get("SEZIONALE").ToText() + "', codice IVA '" +
                         r.Get("CODICEIVA").ToText() + "'): non si può scrivere nei progressivi");
  }
  return v;
}

// Step 1: the delete.
void AzzeraProgressiviMensiliIVA(Frame& f) {
  const std::string sql =
      " DELETE FROM CG59_PROGIVAM\r\n WHERE CG59_DITTA_CG18 = " + f.Numero(f.CPInput->Ditta) +
      "\r\n AND CG59_ANNO = " + f.Numero(f.CPInput->Anno) +
      "\r\n AND CG59_INDTIPO <> 5\r\n AND CG59_INDTIPO <> 17";
  RunOne(f, kPassi, sql);
}

// The description of the summary section 'RP' for the company; a failure (the row is there
// already) is ignored.
void InserisciSezionaleRiepilogativo(Frame& f) {
  if (!f.CreaConnessione()) {
    f.Stato = tsParametriNonValidi;
    f.Errore = "Non è stata definita la connessione";
    return;
  }
  try {
    f.Connection().Execute(
        "INSERT INTO CG68_NUMERDESC(CG68_DITTA_CG18,CG68_SEZIONALE,CG68_DESCSEZ) VALUES (" +
        f.Numero(f.CPInput->Ditta) + ",'RP','Sezionale riepilogativo')");
  } catch (...) {
    // Most often the description is there already.
  }
}

// Step 3: the check's 'MOV' rows into CG59_PROGIVAM, one row per key.
void AggiornaProgressiviMensiliIVA(Frame& f) {
  const std::shared_ptr<db::Recordset> r = f.Output().RecSetControlloProgressiviIVA;
  if (!r || !r->is_open() || r->RecordCount() == 0) return;
  InserisciSezionaleRiepilogativo(f);

  const std::string ditta = f.Numero(f.CPInput->Ditta);
  const std::string anno = f.Numero(f.CPInput->Anno);
  r->Filter("TIPORECORD = 'MOV'");
  if (r->RecordCount() > 0) {
    f.Raise(kPassi.begin, r->RecordCount());
    db::Recordset p;
    p.Open("SELECT * FROM CG59_PROGIVAM WHERE CG59_DITTA_CG18 = " + ditta +
               " AND   CG59_ANNO = " + anno,
           f.SharedConnection());
    for (r->MoveFirst(); !r->eof(); r->MoveNext()) {
      f.Raise(kPassi.avanzamento, r->AbsolutePosition());
      const db::Variant& tipo = Chiave(*r, "TIPOREGISTRO");
      const db::Variant& mese = Chiave(*r, "MESE");
      const db::Variant& sezionale = Chiave(*r, "SEZIONALE");
      const db::Variant& codice = Chiave(*r, "CODICEIVA");
      const db::Variant& tipo_iva = Chiave(*r, "TIPOIVA");
      p.ClearFilter();
      p.Filter("CG59_INDTIPO = " + tipo.ToText() + " AND CG59_MESE = " + mese.ToText() +
               " AND CG59_SEZIONALE = '" + SqlText(BFill(sezionale, 2)) + "'" +
               " AND CG59_ALIQIVA_CG28 = '" + SqlText(BFill(codice, 4)) + "'" +
               " AND CG59_INDCAUSIVA = " + tipo_iva.ToText());
      if (p.eof()) {
        p.AddNew();
        p.Set("CG59_DITTA_CG18", db::Variant(ditta).ToInteger().value());
        p.Set("CG59_ANNO", db::Variant(anno).ToInteger().value());
        p.Set("CG59_INDTIPO", tipo);
        p.Set("CG59_MESE", mese);
        p.Set("CG59_SEZIONALE", sezionale);
        p.Set("CG59_ALIQIVA_CG28", codice);
        p.Set("CG59_INDCAUSIVA", tipo_iva);
        p.Set("CG59_IMPONIBILE", r->Get("IMPONIBILEMOV"));
        p.Set("CG59_IMPOSTA", r->Get("IMPOSTAMOV"));
        p.Set("CG59_IMPOSTAND", r->Get("IMPOSTANDMOV"));
      } else {
        // Several journal rows of one key (the two sources of register type 14, say) add up.
        for (const auto& [stored, journal] : {std::pair{"CG59_IMPONIBILE", "IMPONIBILEMOV"},
                                              {"CG59_IMPOSTA", "IMPOSTAMOV"},
                                              {"CG59_IMPOSTAND", "IMPOSTANDMOV"}}) {
          p.Set(stored, db::Add(r->Get(journal), NVL(p.Get(stored), 0)));
        }
      }
      p.Update();
      p.UpdateBatch(db::AffectRecords::kCurrent);
      p.ClearFilter();
    }
    f.Raise(kPassi.end);
  }
  r->ClearFilter();
}

RebuildPlan Piano(Frame& f) {
  auto r = [&f](std::string_view name, void (*step)(Frame&)) {
    return Routine{name, [&f, step] { step(f); }};
  };
  return {
      .routine = "AzzeraAggiornaProgressiviIVA",
      .checks = {Check::kConnection, Check::kCompany, Check::kYear, Check::kCompanyObject},
      .numeric = {NumericParam::kDitta, NumericParam::kAnno},
      .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviIVA,
                 &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviIVA,
                 &VeriprogEvents::EndAzzeraAggiornaProgressiviIVA},
      .steps = {{"Azzeramento progressivi mensili",
                 {r("AzzeraProgressiviMensiliIVA", AzzeraProgressiviMensiliIVA)}},
                // The public check with the stored rows: it guards itself and raises its own End.
                {"Calcolo progressivi IVA per mese",
                 {Routine{"", [&f] { ControlloProgressiviIva(f).Esegui(true); }}}},
                {"Scrittura progressivi mensili",
                 {r("AggiornaProgressiviMensiliIVA", AggiornaProgressiviMensiliIVA)}}},
  };
}

}  // namespace

void RicalcoloProgressiviIva::Esegui() {
  RunRebuild(f_, Piano(f_));
}

}  // namespace veriprog::iva
