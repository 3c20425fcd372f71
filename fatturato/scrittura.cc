// Steps 4 and 5 of the turnover rebuild: RsFatturato into the monthly totals and their currency
// twins, RsImportoIva into the yearly totals and theirs. The totals of the year are read once,
// and of them only the rows the working rows look for are kept in record sets: a ledger holds
// far more totals than one rebuild changes. A row is found by its key (Null key columns read as the
// ledger reads them), changed or added, and the changed rows are written back together at the end
// of each pass, in the order the rows were changed or added. A pass that stops on a missing row,
// or outside a transaction on an exception, first writes what it had changed, as writing row by
// row would have left it.
#include <functional>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fatturato/chiavi.h"
#include "fatturato/ricalcolo_fatturato.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"

namespace veriprog::fatturato {
namespace {

// A whole number of the key as SQL text: Null as 0.
std::string NumeroSql(const db::Variant& value) {
  const auto number = NVL(value, 0).ToDecimal();
  if (!number) throw db::ValueError("valore non numerico: '" + value.ToText() + "'");
  return number->Normalized().ToString();
}

db::Variant Intero(const std::string& text) {
  return static_cast<std::int64_t>(std::stoll(text));
}

// The stored totals of the year and two ways to find a row: by the whole key, and by account
// and branch (and month) alone for working rows without customer/supplier type. `chiave` and
// `conto` fill a key from a stored row.
class Totali {
 public:
  // A key column: its name, and whether it holds a code (account, currency) or a number.
  struct Colonna {
    const char* name;
    bool codice = false;
  };

  // The keys a writer will look for: whole keys, and account keys of the rows without
  // customer/supplier type.
  struct Cercate {
    std::unordered_set<std::string> chiave, conto;
  };

  // Reads the stored rows. Of the rows of the year only the first of each key looked for is
  // kept: it is the one a search finds, and a row no search finds is neither changed nor
  // written; the others are let go as they arrive.
  void Apri(const std::string& sql, const std::shared_ptr<db::Connection>& connection,
            const std::vector<Colonna>& chiave, const std::vector<Colonna>& conto,
            Cercate cercate) {
    bool posizioni = false;
    auto keep = [&](const std::vector<db::FieldDef>& fields, const std::vector<db::Variant>& v) {
      if (!posizioni) {
        db::RowTable t;
        for (const db::FieldDef& field : fields)
          t.AppendField(field);
        chiave_ = Positions(t, chiave);
        conto_ = Positions(t, conto);
        posizioni = true;
      }
      bool kept = cercate.chiave.erase(KeyOf(v, chiave_).str()) > 0;
      if (!conto_.empty() && cercate.conto.erase(KeyOf(v, conto_).str()) > 0) kept = true;
      return kept;
    };
    rs = db::Recordset::FromResult(connection->QueryKeeping(sql, keep), connection);
    chiave_ = Positions(rs.table(), chiave);
    conto_ = Positions(rs.table(), conto);
    Indicizza();
  }
  std::optional<db::RowId> Trova(const Chiave& key, bool solo_conto) const {
    return solo_conto ? per_conto_.Find(key) : per_chiave_.Find(key);
  }
  // A new row, current in the record set; `set` gives its values before it is indexed, among
  // them the amounts `importi` (written, for Scrivi).
  db::RowId Aggiungi(const std::function<void()>& set,
                     std::initializer_list<std::string_view> importi = {}) {
    rs.AddNew();
    set();
    const db::RowId id = *rs.current_row();
    Indice(id);
    for (std::string_view field : importi)
      scritte_.insert({id, rs.table().RequireField(field)});
    return id;
  }
  const db::Variant& Valore(db::RowId id, std::string_view field) const {
    return rs.table().row(id).values[rs.table().RequireField(field)];
  }
  // Writes a working amount into a stored row. Each working key occurs once, but two of them
  // can find one stored row (one without customer/supplier type finds the first row of its
  // account): the first amount replaces what the reset left, the others are added to it, so
  // that neither is lost.
  void Scrivi(db::RowId id, std::string_view field, const db::Variant& value) {
    const std::size_t column = rs.table().RequireField(field);
    if (!scritte_.insert({id, column}).second) {
      const db::Variant& before = rs.table().row(id).values[column];
      rs.table().SetValue(id, column, Importo(before) + Importo(value));
      return;
    }
    rs.table().SetValue(id, column, value);
  }

  db::Recordset rs;

 private:
  using Campi = std::vector<std::pair<std::size_t, bool>>;  // position, holds a code

  static Campi Positions(const db::RowTable& table, const std::vector<Colonna>& columns) {
    Campi out;
    for (const Colonna& c : columns)
      out.emplace_back(table.RequireField(c.name), c.codice);
    return out;
  }
  static Chiave KeyOf(const std::vector<db::Variant>& values, const Campi& fields) {
    Chiave key;
    for (const auto& [field, codice] : fields) {
      if (codice) {
        key.Codice(values[field]);
      } else {
        key.Numero(values[field]);
      }
    }
    return key;
  }
  void Indice(db::RowId id) {
    const auto& values = rs.table().row(id).values;
    per_chiave_.Add(KeyOf(values, chiave_), id);
    if (!conto_.empty()) per_conto_.Add(KeyOf(values, conto_), id);
  }
  void Indicizza() {
    per_chiave_.Clear();
    per_conto_.Clear();
    for (db::RowId id = 0; id < rs.table().size(); ++id)
      Indice(id);
  }

  Campi chiave_, conto_;
  IndiceChiavi per_chiave_, per_conto_;
  std::set<std::pair<db::RowId, std::size_t>> scritte_;  // (row, column) written in this pass
};

// The key of a working row as a stored row's key reads: account first, then numbers, and the
// currency last when there is one.
Chiave ChiaveLavoro(const db::Recordset& rs, std::initializer_list<const char*> numbers,
                    const char* valuta = nullptr) {
  Chiave key;
  key.Codice(rs.Get("CONTOPAR"));
  for (const char* n : numbers)
    key.Numero(rs.Get(n));
  if (valuta != nullptr) key.Codice(rs.Get(valuta));
  return key;
}

// The keys of the stored rows the working rows in view look for: by account alone for rows
// without customer/supplier type, by the whole key for the others. The cursor ends at EOF.
Totali::Cercate ChiaviCercate(db::Recordset& rs, std::initializer_list<const char*> numbers,
                              std::initializer_list<const char*> senza_tipo) {
  Totali::Cercate out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    if (IsValorizzato(rs.Get("TIPOCF"))) {
      out.chiave.insert(ChiaveLavoro(rs, numbers).str());
    } else {
      out.conto.insert(ChiaveLavoro(rs, senza_tipo).str());
    }
  }
  return out;
}

// The working rows a writer goes through, without filter; none when the step computed none.
// The step's progress begins with their number.
db::Recordset* DaScrivere(Frame& f, const std::shared_ptr<db::Recordset>& rs) {
  if (!rs) return nullptr;
  const bool vuoto = rs->RecordCount() == 0;
  rs->ClearFilter();
  if (vuoto) return nullptr;
  f.Raise(kEventiProcesso.begin, rs->RecordCount());
  return rs.get();
}

// A pass stops on a missing row: what it had changed is written first, as writing row by row
// would have left it.
void Ferma(Frame& f, Totali& totali, std::string errore) {
  totali.rs.UpdateBatch(db::AffectRecords::kAll);
  f.Stato = tsProgramError;
  f.Errore = std::move(errore);
}

// Runs a pass over the working rows; false when it stopped as Ferma says. A pass that ends on an
// exception (a read of a yearly row's id that failed, an amount out of range) outside a
// transaction first writes what it had changed or added before it, as writing row by row would
// have kept it; inside one the rollback takes the whole rebuild back, and nothing more is sent.
bool Passata(Frame& f, Totali& totali, const std::function<bool()>& pass) {
  try {
    return pass();
  } catch (...) {
    if (!f.Connection().in_transaction()) {
      try {
        totali.rs.UpdateBatch(db::AffectRecords::kAll);
      } catch (...) {
        // What could not be written is lost as it would have been row by row; the first
        // failure says why the pass ended.
      }
    }
    throw;
  }
}

// The twins in other currencies of the stored rows a writer's first pass wrote: the twin's
// columns that copy the parent's identifiers (twin column, parent column), its currency column,
// and its amounts (twin column, working column).
struct Gemelli {
  std::vector<std::pair<const char*, const char*>> legami;
  const char* valuta;
  std::vector<std::pair<const char*, const char*>> importi;
  const char* errore;  // when a working row has no parent
};

// The twins the working rows in view look for: those of the parents `padre` finds. The cursor
// ends at EOF.
Totali::Cercate GemelliCercati(db::Recordset& rs, const Totali& padri,
                               const std::function<std::optional<db::RowId>()>& padre,
                               const Gemelli& g) {
  Totali::Cercate out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    const auto id = padre();
    if (!id) break;  // the pass stops here
    Chiave twin;
    for (const auto& legame : g.legami)
      twin.Numero(NVL(padri.Valore(*id, legame.second), 0));
    twin.Codice(CodiceValuta(rs.Get("VALUTA")));
    out.chiave.insert(twin.str());
  }
  return out;
}

// A writer's second pass: every working row of `rs` (filtered on the other currencies) into the
// twin of the stored row `padre` finds for it, made when there is none. false when a parent is
// missing: the pass has stopped as Ferma says.
bool ScriviGemelli(Frame& f, db::Recordset& rs, const Totali& padri, Totali& valute,
                   const std::function<std::optional<db::RowId>()>& padre, const Gemelli& g) {
  const bool completa = Passata(f, valute, [&] {
    for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
      f.Raise(kEventiProcesso.avanzamento, rs.AbsolutePosition());
      const auto id = padre();
      if (!id) {
        Ferma(f, valute, g.errore);
        return false;
      }
      std::vector<db::Variant> ids;
      Chiave twin;
      for (const auto& legame : g.legami) {
        ids.push_back(NVL(padri.Valore(*id, legame.second), 0));
        twin.Numero(ids.back());
      }
      const std::string valuta = CodiceValuta(rs.Get("VALUTA"));
      twin.Codice(valuta);
      auto vid = valute.Trova(twin, false);
      if (!vid) {
        vid = valute.Aggiungi([&] {
          for (std::size_t i = 0; i < ids.size(); ++i)
            valute.rs.Set(g.legami[i].first, ids[i]);
          valute.rs.Set(g.valuta, valuta);
        });
      }
      for (const auto& [colonna, lavoro] : g.importi)
        valute.Scrivi(*vid, colonna, rs.Get(lavoro));
    }
    return true;
  });
  if (!completa) return false;
  valute.rs.UpdateBatch(db::AffectRecords::kAll);
  return true;
}

// The current working row of RsFatturato as a new monthly row of the year `key`, under the
// yearly row `id_proga`.
void NuovoMensile(db::Recordset& m, const db::Recordset& rs, const FiscalYearKey& key,
                  const db::Variant& id_proga) {
  m.Set("CG52_DITTA_CG18", Intero(key.ditta));
  m.Set("CG52_ANNO_CG53", Intero(key.esercizio));
  m.Set("CG52_PROGESER_CG53", Intero(key.progressivo));
  m.Set("CG52_GRUPPO_CG10", Intero(key.gruppo));
  m.Set("CG52_CONTO_CG24", ContoScritto(rs.Get("CONTOPAR")));
  m.Set("CG52_TIPOCF_CG44", NumeroOZero(rs.Get("TIPOCF")));
  m.Set("CG52_CLIFOR_CG44", NumeroOZero(rs.Get("CLIFOR")));
  m.Set("CG52_ANNOSOL", rs.Get("ANNO"));
  m.Set("CG52_MESE", rs.Get("MESE"));
  m.Set("CG52_IMPORTODARE", db::Variant::Null());
  m.Set("CG52_IMPORTOAVERE", db::Variant::Null());
  m.Set("CG52_FATTURATO", rs.Get("FATTURATO"));
  m.Set("CG52_CODICE_CG31", NumeroOZero(rs.Get("SEDE")));
  m.Set("CG52_IDPROGA_CG53", id_proga);
}

}  // namespace

// --- step 4: turnover ---------------------------------------------------------------------------

std::optional<db::Variant> RicalcoloFatturatoImportoIva::LeggiIdProgA(const FiscalYearKey& key) {
  const db::Recordset& rs = *rs_fatturato_;
  const bool senza_tipo = !IsValorizzato(rs.Get("TIPOCF"));
  const std::string conto = SqlText(ContoScritto(rs.Get("CONTOPAR")));
  const std::string sede = NumeroSql(rs.Get("SEDE"));
  const std::string t2 = f_.GetTableName(TableId::kCG53);
  auto first = [&](const std::string& sql) -> std::optional<db::Variant> {
    auto result = f_.Connection().Execute(sql);
    if (!result || result->table->size() == 0) return std::nullopt;
    return result->table->row(0).values[result->table->RequireField("CG53_IDPROGA")];
  };
  std::string sql = "SELECT CG53_IDPROGA FROM " + t2 +
                    JoinLines("", FiscalYearCondition(kCG53Year, key, " WHERE ", " AND ")) +
                    " AND CG53_CODICE_CG31 = " + sede + " AND CG53_CONTO_CG24 = '" + conto + "'";
  if (!senza_tipo) {
    sql += " AND CG53_TIPOCF_CG44 = " + NumeroSql(rs.Get("TIPOCF")) +
           " AND CG53_CLIFOR_CG44 = " + NumeroSql(rs.Get("CLIFOR"));
  }
  if (auto id = first(sql)) return id;
  // A yearly row kept with Null in a key column is the same total as one kept with 0 or ''.
  std::string nulls = "SELECT CG53_IDPROGA FROM " + t2 +
                      JoinLines("", FiscalYearCondition(kCG53Year, key, " WHERE ", " AND ")) +
                      " AND ISNULL(CG53_CODICE_CG31, 0) = " + sede +
                      " AND ISNULL(CG53_CONTO_CG24, '') = '" + conto + "'";
  if (!senza_tipo) {
    nulls += " AND ISNULL(CG53_TIPOCF_CG44, 0) = " + NumeroSql(rs.Get("TIPOCF")) +
             " AND ISNULL(CG53_CLIFOR_CG44, 0) = " + NumeroSql(rs.Get("CLIFOR"));
  }
  return first(nulls);
}

void RicalcoloFatturatoImportoIva::AggiornaFatturato() {
  if (!f_.DittaPronta()) return;
  db::Recordset* righe = DaScrivere(f_, rs_fatturato_);
  if (righe == nullptr) return;
  db::Recordset& rs = *righe;
  const FiscalYearKey key = f_.ChiaveEsercizio(true);
  const std::string t58 = f_.GetTableName(TableId::kCG52Read);

  Totali mensili;
  mensili.Apri(
      "SELECT * FROM " + t58 +
          JoinLines("", FiscalYearCondition(kCG52Year, key, " WHERE ", " AND   ")),
      f_.SharedConnection(),
      {{"CG52_CONTO_CG24", true},
       {"CG52_TIPOCF_CG44"},
       {"CG52_CLIFOR_CG44"},
       {"CG52_ANNOSOL"},
       {"CG52_MESE"},
       {"CG52_CODICE_CG31"}},
      {{"CG52_CONTO_CG24", true}, {"CG52_ANNOSOL"}, {"CG52_MESE"}, {"CG52_CODICE_CG31"}},
      ChiaviCercate(rs, {"TIPOCF", "CLIFOR", "ANNO", "MESE", "SEDE"}, {"ANNO", "MESE", "SEDE"}));
  auto mensile = [&]() {
    const bool senza_tipo = !IsValorizzato(rs.Get("TIPOCF"));
    return mensili.Trova(senza_tipo
                             ? ChiaveLavoro(rs, {"ANNO", "MESE", "SEDE"})
                             : ChiaveLavoro(rs, {"TIPOCF", "CLIFOR", "ANNO", "MESE", "SEDE"}),
                         senza_tipo);
  };

  // First pass: the accounting currency.
  rs.Filter("VALUTA = 'EURO'");
  const bool completa = Passata(f_, mensili, [&] {
    for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
      f_.Raise(kEventiProcesso.avanzamento, rs.AbsolutePosition());
      if (auto id = mensile()) {
        mensili.Scrivi(*id, "CG52_FATTURATO", rs.Get("FATTURATO"));
        continue;
      }
      const auto id_proga = LeggiIdProgA(key);
      if (!id_proga) {
        Ferma(f_, mensili, "Errore in lettura CG53_IDPROGA\r\nin AggiornaFatturato");
        return false;
      }
      mensili.Aggiungi([&] { NuovoMensile(mensili.rs, rs, key, *id_proga); }, {"CG52_FATTURATO"});
    }
    return true;
  });
  if (!completa) return;
  mensili.rs.UpdateBatch(db::AffectRecords::kAll);
  // The rows added above carry the identifiers the database gave them: the write-back reads
  // them back, so the monthly totals need not be read a second time.

  // Second pass: the other currencies, into the twins of the monthly rows.
  rs.Filter("VALUTA <> 'EURO'");
  const Gemelli gemelli{
      .legami = {{"CGV1_IDPROGA_CGV0", "CG52_IDPROGA_CG53"}, {"CGV1_IDPROGM_CG52", "CG52_IDPROGM"}},
      .valuta = "CGV1_CODICE_CG08",
      .importi = {{"CGV1_FATTURATO", "FATTURATOVAL"}, {"CGV1_FATTURATOEURO", "FATTURATO"}},
      .errore = "Esiste progressivo in valuta senza progressivo EURO\r\nin AggiornaFatturato"};
  const std::string pad(29, ' ');
  Totali valute;
  valute.Apri(
      "SELECT * FROM " + f_.GetTableName(TableId::kCGV1) + " WHERE CGV1_IDPROGM_CG52 IN (" + pad +
          "SELECT CG52_IDPROGM" + pad + "FROM " + t58 +
          JoinLines("", FiscalYearCondition(kCG52Year, key, pad + "WHERE ", pad + "AND   ")) +
          std::string(23, ' ') + ")",
      f_.SharedConnection(),
      {{"CGV1_IDPROGA_CGV0"}, {"CGV1_IDPROGM_CG52"}, {"CGV1_CODICE_CG08", true}}, {},
      GemelliCercati(rs, mensili, mensile, gemelli));
  if (!ScriviGemelli(f_, rs, mensili, valute, mensile, gemelli)) return;
  f_.Raise(kEventiProcesso.end);
  rs.ClearFilter();
}

// --- step 5: VAT amount -------------------------------------------------------------------------

void RicalcoloFatturatoImportoIva::AggiornaImportoIVA() {
  if (!f_.DittaPronta()) return;
  if (!f_.CreaConnessione()) {
    f_.Stato = tsParametriNonValidi;
    f_.Errore = "Non è stata definita la connessione";
    return;
  }
  db::Recordset* righe = DaScrivere(f_, rs_importo_iva_);
  if (righe == nullptr) return;
  db::Recordset& rs = *righe;
  const FiscalYearKey key = f_.ChiaveEsercizio(true);
  const std::string t57 = f_.GetTableName(TableId::kCG53Read);

  Totali annuali;
  annuali.Apri(
      "SELECT * FROM " + t57 +
          JoinLines("", FiscalYearCondition(kCG53Year, key, " WHERE ", " AND   ")),
      f_.SharedConnection(),
      {{"CG53_CONTO_CG24", true}, {"CG53_TIPOCF_CG44"}, {"CG53_CLIFOR_CG44"}, {"CG53_CODICE_CG31"}},
      {{"CG53_CONTO_CG24", true}, {"CG53_CODICE_CG31"}},
      ChiaviCercate(rs, {"TIPOCF", "CLIFOR", "SEDE"}, {"SEDE"}));
  auto annuale = [&]() {
    const bool senza_tipo = !IsValorizzato(rs.Get("TIPOCF"));
    return annuali.Trova(
        senza_tipo ? ChiaveLavoro(rs, {"SEDE"}) : ChiaveLavoro(rs, {"TIPOCF", "CLIFOR", "SEDE"}),
        senza_tipo);
  };

  // First pass: the accounting currency; a missing yearly row is created.
  rs.Filter("VALUTA = 'EURO'");
  Passata(f_, annuali, [&] {
    for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
      f_.Raise(kEventiProcesso.avanzamento, rs.AbsolutePosition());
      if (auto id = annuale()) {
        annuali.Scrivi(*id, "CG53_IMPORTOIVA", rs.Get("IMPORTOIVA"));
        continue;
      }
      annuali.Aggiungi(
          [&] {
            db::Recordset& a = annuali.rs;
            a.Set("CG53_DITTA_CG18", Intero(key.ditta));
            a.Set("CG53_ANNO_CG19", Intero(key.esercizio));
            a.Set("CG53_PROGESER_CG19", Intero(key.progressivo));
            a.Set("CG53_GRUPPO_CG10", Intero(key.gruppo));
            a.Set("CG53_CONTO_CG24", ContoScritto(rs.Get("CONTOPAR")));
            a.Set("CG53_TIPOCF_CG44", NumeroOZero(rs.Get("TIPOCF")));
            a.Set("CG53_CLIFOR_CG44", NumeroOZero(rs.Get("CLIFOR")));
            a.Set("CG53_IMPORTOIVA", rs.Get("IMPORTOIVA"));
            a.Set("CG53_CODICE_CG31", NumeroOZero(rs.Get("SEDE")));
          },
          {"CG53_IMPORTOIVA"});
    }
    return true;
  });
  annuali.rs.UpdateBatch(db::AffectRecords::kAll);
  // As above: the new yearly rows already carry their CG53_IDPROGA.

  // Second pass: the other currencies, into the twins of the yearly rows.
  rs.Filter("VALUTA <> 'EURO'");
  const Gemelli gemelli{
      .legami = {{"CGV0_IDPROGA_CG53", "CG53_IDPROGA"}},
      .valuta = "CGV0_CODICE_CG08",
      .importi = {{"CGV0_IMPORTOIVA", "IMPORTOIVAVAL"}, {"CGV0_IMPORTOIVAEURO", "IMPORTOIVA"}},
      .errore = "Esiste progressivo in valuta senza progressivo EURO\r\n in AggiornaImportoIVA"};
  const std::string pad(30, ' ');
  Totali valute;
  valute.Apri(
      "SELECT * FROM " + f_.GetTableName(TableId::kCGV0Read) + " WHERE CGV0_IDPROGA_CG53 IN (" +
          pad + "SELECT CG53_IDPROGA" + pad + "FROM " + t57 +
          JoinLines("", FiscalYearCondition(kCG53Year, key, pad + "WHERE ", pad + "AND   ")) +
          std::string(28, ' ') + ")",
      f_.SharedConnection(), {{"CGV0_IDPROGA_CG53"}, {"CGV0_CODICE_CG08", true}}, {},
      GemelliCercati(rs, annuali, annuale, gemelli));
  if (!ScriviGemelli(f_, rs, annuali, valute, annuale, gemelli)) return;
  f_.Raise(kEventiProcesso.end);
  rs.ClearFilter();
}

}  // namespace veriprog::fatturato
