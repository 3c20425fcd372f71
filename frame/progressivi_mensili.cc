#include "frame/progressivi_mensili.h"

#include <array>
#include <utility>

#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/date_time.h"
#include "veriprog/error.h"

namespace veriprog {
namespace {

constexpr std::array<std::string_view, 12> kMesi = {
    "Gennaio", "Febbraio", "Marzo",     "Aprile",  "Maggio",   "Giugno",
    "Luglio",  "Agosto",   "Settembre", "Ottobre", "Novembre", "Dicembre"};

// The first and last day of month `m` of CPInput.Anno as DataDB text.
Mese MeseDi(Frame& f, int m) {
  const auto anno = WholeNumber(f.CPInput->Anno);
  auto day = [&](int d) -> db::Variant {
    if (!anno || *anno < 1 || *anno > 9999) return db::Variant::Null();
    const int y = static_cast<int>(*anno);
    const auto date = db::DateTime::FromParts(y, m, d == 0 ? db::DateTime::DaysInMonth(y, m) : d);
    return date ? db::Variant(*date) : db::Variant::Null();
  };
  return {m, f.DataDB(day(1)).ToText(), f.DataDB(day(0)).ToText()};
}

}  // namespace

std::string_view NomeMese(int mese) {
  return mese >= 1 && mese <= 12 ? kMesi[static_cast<std::size_t>(mese - 1)] : "";
}

std::vector<db::FieldDef> CampiMensili(std::vector<db::FieldDef> chiave,
                                       std::initializer_list<std::string_view> importi,
                                       bool per_attivita) {
  using F = db::FieldDef;
  std::vector<F> campi = std::move(chiave);
  campi.push_back(F::Numeric("MESE", 2, 0));
  campi.push_back(F::Char("DESCRMESE", 20));
  for (std::string_view suffisso : {"PROGR", "MOV"}) {
    for (std::string_view importo : importi)
      campi.push_back(F::Numeric(std::string(importo) + std::string(suffisso), 13, 2));
  }
  campi.push_back(F::Char("FLAGSBIL", 2));
  if (per_attivita) campi.push_back(F::Numeric("IDATTIVITA", 18, 0));
  return campi;
}

// --- the merge and the balance pass ------------------------------------------------------------

Risultato::Risultato(Frame& frame, std::string_view sincro, const std::vector<db::FieldDef>& campi,
                     std::vector<Coppia> coppie)
    : f_(frame),
      sincro_(sincro),
      coppie_(std::move(coppie)),
      rs_(std::make_shared<db::Recordset>()) {
  for (const db::FieldDef& campo : campi)
    rs_->AppendField(campo);
  rs_->Open();
}

void Risultato::Somma(int mese, const std::vector<Chiave>& chiave,
                      const std::vector<db::Variant>& progr, const std::vector<db::Variant>& mov) {
  f_.Guard(sincro_, [&] { Aggiungi(mese, chiave, progr, mov); });
}

void Risultato::Aggiungi(int mese, const std::vector<Chiave>& chiave,
                         const std::vector<db::Variant>& progr,
                         const std::vector<db::Variant>& mov) {
  if (progr.size() != coppie_.size() || mov.size() != coppie_.size())
    throw db::ValueError("importi non corrispondenti ai campi del risultato");
  db::Recordset& rs = *rs_;
  bool trovata = false;
  if (rs.RecordCount() > 0) {
    std::string filtro = "MESE = " + SqlNumber(mese);
    for (const Chiave& c : chiave) {
      filtro += " AND " + std::string(c.campo) + " = ";
      filtro += c.testo ? "'" + SqlText(c.valore) + "'" : c.valore.ToText();
    }
    rs.Filter(filtro);
    trovata = !rs.eof();
  }
  if (trovata) {
    for (std::size_t i = 0; i < coppie_.size(); ++i) {
      rs.Set(coppie_[i].progr, db::Add(NVL(rs.Get(coppie_[i].progr), 0), progr[i]));
      rs.Set(coppie_[i].mov, db::Add(NVL(rs.Get(coppie_[i].mov), 0), mov[i]));
    }
  } else {
    rs.ClearFilter();
    rs.AddNew();
    rs.Set("MESE", mese);
    rs.Set("DESCRMESE", NomeMese(mese));
    for (const Chiave& c : chiave)
      rs.Set(c.campo, c.valore);
    for (std::size_t i = 0; i < coppie_.size(); ++i) {
      rs.Set(coppie_[i].progr, progr[i]);
      rs.Set(coppie_[i].mov, mov[i]);
    }
  }
  rs.Update();
  rs.ClearFilter();
}

void Risultato::Quadratura() {
  db::Recordset& rs = *rs_;
  rs.ClearFilter();
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (const Coppia& c : coppie_) {
      const auto cmp =
          db::Compare(NVL(rs.Get(c.progr), 0), NVL(rs.Get(c.mov), 0), db::TextCompare::kSql);
      if (cmp != 0) {
        rs.Set("FLAGSBIL", "Si");
        break;
      }
    }
  }
  rs.MoveFirst();
}

// --- the two plans -------------------------------------------------------------------------------

CheckPlan PianoControlloMensile(Frame& f, ControlloMensile controllo) {
  auto c = std::make_shared<const ControlloMensile>(std::move(controllo));
  // Made once the parameters have passed; the months merge into it.
  auto risultato = std::make_shared<std::unique_ptr<Risultato>>();
  CheckPlan plan{
      .routine = c->routine,
      .checks = {Check::kConnection, Check::kCompanyObject, Check::kCompany, Check::kYear},
      .numeric = c->numeric,
      .events = c->events,
      .result = c->result,
      .prepare =
          [&f, c, risultato] {
            *risultato = std::make_unique<Risultato>(f, c->sincro, c->campi, c->coppie);
            f.Output().*(c->result) = (*risultato)->rs();
          },
      .steps = {},
      .begin_each_step = true,
      .finish =
          [c, risultato] {
            (*risultato)->Quadratura();
            if (!c->filtro) return;
            const std::string filtro = c->filtro();
            if (!filtro.empty()) (*risultato)->rs()->Filter(filtro);
          },
  };
  // A month is no routine of its own: its failure is the check's, and ends the check there
  // (no Avanzamento for that month, no balance pass, no End). A failing merge only records
  // itself, and the months go on.
  for (int m = 1; m <= 12; ++m) {
    plan.steps.push_back(
        Routine{"", [&f, c, risultato, m] { c->mese(MeseDi(f, m), **risultato); }});
  }
  return plan;
}

RebuildPlan PianoRicalcoloMensile(Frame& f, RicalcoloMensile r) {
  const auto controllo = r.controllo;
  return {
      .routine = r.routine,
      .checks = {Check::kConnection, Check::kCompany, Check::kYear, Check::kCompanyObject},
      // The rebuild pastes what its check pastes.
      .numeric = controllo(f).numeric,
      .events = r.events,
      .steps = {{r.azzeramento, {std::move(r.azzera)}},
                // The public check: it guards itself.
                {r.calcolo, {Routine{"", [&f, controllo] { RunCheck(f, controllo(f)); }}}},
                {"Scrittura progressivi mensili", {std::move(r.aggiorna)}}},
  };
}

// --- statement pieces ----------------------------------------------------------------------------

bool PerAttivita(const Frame& f) {
  return f.CPInput->ElaborazionePerAttivita;
}

std::string Ditta(const Frame& f) {
  return f.Numero(f.CPInput->Ditta);
}

std::string Anno(const Frame& f) {
  return f.Numero(f.CPInput->Anno);
}

bool CodiceAttivitaIndicato(const Frame& f) {
  return !NVL(f.CPInput->CodiceAttivita, "").ToText().empty();
}

std::string CodiceAttivita(const Frame& f) {
  return f.Numero(NVL(f.CPInput->CodiceAttivita, -1));
}

std::string IDAttivita(const Frame& f) {
  return f.Numero(NVL(f.CPInput->IDAttivita, -1));
}

std::string FiltroAttivita(const Frame& f) {
  if (!PerAttivita(f)) return "";
  return "IDATTIVITA = " + (CodiceAttivitaIndicato(f) ? IDAttivita(f) : "-1");
}

std::string AzzeraPerAttivita(const Frame& f, std::string_view testa, std::string_view tabella,
                              std::string_view prefisso) {
  const std::string p(prefisso);
  std::vector<std::string> sql = {std::string(testa),
                                  " FROM " + std::string(tabella),
                                  "     INNER JOIN CG86_AZIENDECOLL WITH (NOLOCK)",
                                  "         ON " + p + "IDATTIVITA_CG86 = CG86_IDATTIVITA",
                                  " WHERE CG86_DITTA_CG18 = " + Ditta(f),
                                  " AND " + p + "ANNO = " + Anno(f),
                                  " AND CG86_INDTIPO = 0"};
  if (CodiceAttivitaIndicato(f)) sql.push_back(" AND CG86_CODATTIVITA = " + CodiceAttivita(f));
  return JoinBetween(kCRLF, sql);
}

std::string Intero(const db::Variant& value) {
  auto number = SqlWholeNumber(value);
  if (!number) throw db::ValueError("valore non intero: '" + value.ToText() + "'");
  return *number;
}

std::string Importo(Frame& f, const db::Variant& amount) {
  return f.ValoreDB(amount).ToText();
}

std::string JoinAttivita(std::string_view head32, std::string_view head86) {
  std::string s(head32);
  s += "     ON CG32_DITTA_CG18 = CG41_DITTA_CG18";
  s += "     AND CG32_ANNO = YEAR(ISNULL(CG41_DATAREGIVA, CG41_DATAREG))";
  s += "     AND CG32_SEZIONALE = CG41_SEZIONALE";
  s += head86;
  s += "     ON CG86_IDATTIVITA = CASE WHEN CG32_IDATTIVITA_CG86 IS NOT NULL";
  s += "                               THEN CG32_IDATTIVITA_CG86";
  s += "                               ELSE ( SELECT TOP 1 A.CG86_IDATTIVITA";
  s += "                                      FROM CG86_AZIENDECOLL A WITH (NOLOCK)";
  s += "                                      WHERE A.CG86_DITTA_CG18 = CG41_DITTA_CG18";
  s +=
      "                                      AND A.CG86_ANNOIVA = YEAR(ISNULL(CG41_DATAREGIVA, CG41_DATAREG))";
  s += "                                      AND A.CG86_INDTIPO = 0";
  s += "                                    )";
  s += "                          END";
  return s;
}

// --- writers -------------------------------------------------------------------------------------

db::Recordset* RisultatoDaScrivere(Frame& f,
                                   std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result) {
  const std::shared_ptr<db::Recordset>& rs = f.Output().*result;
  // Counted without the check's filter: a filter on an activity the host named wrongly must
  // not make the rebuild write nothing after it deleted the totals.
  if (!rs || !rs->is_open() || rs->table().size() == 0) return nullptr;
  return rs.get();
}

void ScriviConRecordset(Frame& f, db::Recordset& righe, const std::string& select,
                        const std::function<std::string()>& criterio,
                        const std::function<void(db::Recordset&, bool)>& scrivi) {
  db::Recordset stored;
  stored.Open(select, f.SharedConnection());
  for (righe.MoveFirst(); !righe.eof(); righe.MoveNext()) {
    stored.ClearFilter();
    stored.Filter(criterio());
    const bool nuova = stored.eof();
    if (nuova) stored.AddNew();
    scrivi(stored, nuova);
    stored.Update();
    stored.UpdateBatch(db::AffectRecords::kCurrent);
    stored.ClearFilter();
  }
}

void ScriviPerAttivita(Frame& f, db::Recordset& righe, const std::function<std::string()>& batch) {
  righe.ClearFilter();
  for (righe.MoveFirst(); !righe.eof(); righe.MoveNext()) {
    // The rows of all activities together (-1) are the host's view, not a stored total.
    if (db::Compare(NVL(righe.Get("IDATTIVITA"), -1), -1, db::TextCompare::kSql) == 0) continue;
    f.Connection().Execute(batch());
  }
}

}  // namespace veriprog
