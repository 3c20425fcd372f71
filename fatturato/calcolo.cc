// Step 3 of the turnover rebuild: the registrations of the purchase and sales registers, one by
// one, into the working record sets RsFatturato and RsImportoIva. Nothing is written here.
//
// A registration's lines and VAT lines are read for a thousand registrations at a time, each
// line tagged by the server with the registration number it was asked for: every registration
// gets exactly the rows that its own "SELECT * ... WHERE ... = 'number'" would give, in one
// statement instead of two per registration. The causals' register types and the chart of
// accounts are read once for the whole step.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "fatturato/chiavi.h"
#include "fatturato/ricalcolo_fatturato.h"
#include "frame/sql_text.h"
#include "frame/sql_values.h"
#include "frame/tipo_registro.h"
#include "veriprog/error.h"

namespace veriprog::fatturato {
namespace {

// Fields of RsFatturato and RsImportoIva, in the order they are appended.
enum CampoFatturato {
  kFConto,
  kFTipoCF,
  kFCliFor,
  kFAnno,
  kFMese,
  kFFatt,
  kFSede,
  kFValuta,
  kFVal
};
enum CampoIva { kIConto, kITipoCF, kICliFor, kIIva, kISede, kIValuta, kIVal };

// Currency codes are kept whole: the ledger's codes have up to six characters.
constexpr int kValutaSize = 6;

std::shared_ptr<db::Recordset> NuovoRsFatturato() {
  auto rs = std::make_shared<db::Recordset>();
  rs->AppendField(db::FieldDef::Char("CONTOPAR", 10));
  rs->AppendField(db::FieldDef::Numeric("TIPOCF", 1, 0));
  rs->AppendField(db::FieldDef::Numeric("CLIFOR", 6, 0));
  rs->AppendField(db::FieldDef::Numeric("ANNO", 4, 0));
  rs->AppendField(db::FieldDef::Numeric("MESE", 2, 0));
  rs->AppendField(db::FieldDef::Numeric("FATTURATO", 20, 2));
  rs->AppendField(db::FieldDef::Numeric("SEDE", 5, 0));
  rs->AppendField(db::FieldDef::Char("VALUTA", kValutaSize));
  rs->AppendField(db::FieldDef::Numeric("FATTURATOVAL", 20, 2));
  rs->Open();
  return rs;
}

std::shared_ptr<db::Recordset> NuovoRsImportoIva() {
  auto rs = std::make_shared<db::Recordset>();
  rs->AppendField(db::FieldDef::Char("CONTOPAR", 10));
  rs->AppendField(db::FieldDef::Numeric("TIPOCF", 1, 0));
  rs->AppendField(db::FieldDef::Numeric("CLIFOR", 6, 0));
  rs->AppendField(db::FieldDef::Numeric("IMPORTOIVA", 20, 2));
  rs->AppendField(db::FieldDef::Numeric("SEDE", 5, 0));
  rs->AppendField(db::FieldDef::Char("VALUTA", kValutaSize));
  rs->AppendField(db::FieldDef::Numeric("IMPORTOIVAVAL", 20, 2));
  rs->Open();
  return rs;
}

bool Uguale(const db::Variant& value, std::int64_t n) {
  const auto c = db::Compare(value, db::Variant(n), db::TextCompare::kSql);
  return c && *c == 0;
}

// A registration header as step 3 reads it.
struct Testata {
  db::Variant numreg, causale, sede, segno, data;
  long tipo = 0;
};

// The headers of the year, kept from the source statement until their batch is read: the whole
// year at once, so each takes a few bytes. The usual header (a text number, a causal code, a
// whole-number branch and VAT sign, a date without time) is kept packed; any other keeps its
// values whole, as read. At gives a header back as read.
class Testate {
 public:
  void Aggiungi(Testata t) {
    if (auto packed = Pack(t)) {
      packed_.push_back(*packed);
      return;
    }
    Packed whole{};
    whole.numero = static_cast<std::uint32_t>(whole_.size());
    whole.flags = kWhole;
    whole_.push_back(std::move(t));
    packed_.push_back(whole);
  }
  std::size_t size() const { return packed_.size(); }
  Testata At(std::size_t i) const {
    const Packed& p = packed_[i];
    if (p.flags & kWhole) return whole_[p.numero];
    Testata t;
    t.numreg = numeri_.substr(p.numero, p.lunghezza);
    t.causale = causali_[p.causale];
    t.sede = (p.flags & kSedeNull) ? db::Variant::Null() : db::Variant(p.sede);
    t.segno = (p.flags & kSegnoNull) ? db::Variant::Null() : db::Variant(p.segno);
    t.data = db::DateTime::FromDayNumber(p.giorno);
    return t;
  }

 private:
  enum : std::uint8_t { kWhole = 1, kSedeNull = 2, kSegnoNull = 4 };
  struct Packed {
    std::uint32_t numero;  // offset in numeri_, or the index in whole_
    std::uint8_t lunghezza;
    std::uint8_t flags;
    std::uint16_t causale;  // index in causali_
    std::int32_t sede;
    std::int32_t segno;
    std::int32_t giorno;  // day number of the registration date
  };

  static std::optional<std::int32_t> Int32(const db::Variant& v) {
    if (v.kind() != db::Variant::Kind::kInteger) return std::nullopt;
    const std::int64_t n = v.AsInteger();
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::int32_t>::max())
      return std::nullopt;
    return static_cast<std::int32_t>(n);
  }

  std::optional<Packed> Pack(const Testata& t) {
    Packed p{};
    if (t.numreg.kind() != db::Variant::Kind::kString) return std::nullopt;
    const std::string& numero = t.numreg.AsString();
    if (numero.size() > std::numeric_limits<std::uint8_t>::max() ||
        numeri_.size() + numero.size() > std::numeric_limits<std::uint32_t>::max())
      return std::nullopt;
    if (!t.sede.is_null() && !Int32(t.sede)) return std::nullopt;
    if (!t.segno.is_null() && !Int32(t.segno)) return std::nullopt;
    if (t.data.kind() != db::Variant::Kind::kDateTime || t.data.AsDateTime().has_time())
      return std::nullopt;
    const std::int64_t giorno = t.data.AsDateTime().DayNumber();
    if (giorno < std::numeric_limits<std::int32_t>::min() ||
        giorno > std::numeric_limits<std::int32_t>::max() ||
        db::DateTime::FromDayNumber(giorno) != t.data.AsDateTime())
      return std::nullopt;
    const auto causale = Causale(t.causale);
    if (!causale) return std::nullopt;
    p.numero = static_cast<std::uint32_t>(numeri_.size());
    p.lunghezza = static_cast<std::uint8_t>(numero.size());
    p.causale = *causale;
    if (t.sede.is_null()) {
      p.flags |= kSedeNull;
    } else {
      p.sede = *Int32(t.sede);
    }
    if (t.segno.is_null()) {
      p.flags |= kSegnoNull;
    } else {
      p.segno = *Int32(t.segno);
    }
    p.giorno = static_cast<std::int32_t>(giorno);
    numeri_ += numero;
    return p;
  }
  // Codes and Null are kept once each, byte for byte as read.
  std::optional<std::uint16_t> Causale(const db::Variant& causale) {
    std::string chiave;
    if (causale.kind() == db::Variant::Kind::kString) {
      chiave = "'" + causale.AsString();
    } else if (!causale.is_null()) {
      return std::nullopt;
    }
    auto it = indice_causali_.find(chiave);
    if (it != indice_causali_.end()) return it->second;
    if (causali_.size() > std::numeric_limits<std::uint16_t>::max()) return std::nullopt;
    const auto index = static_cast<std::uint16_t>(causali_.size());
    causali_.push_back(causale);
    indice_causali_.emplace(std::move(chiave), index);
    return index;
  }

  std::vector<Packed> packed_;
  std::string numeri_;  // the registration numbers, one after another
  std::vector<db::Variant> causali_;
  std::unordered_map<std::string, std::uint16_t> indice_causali_;
  std::vector<Testata> whole_;
};

// The rows one statement read for a batch of registrations, by the number each was asked for.
struct Lettura {
  std::shared_ptr<db::RowTable> table;
  std::unordered_map<std::string, std::vector<db::RowId>> righe;

  const std::vector<db::RowId>& Di(const db::Variant& numreg) const {
    static const std::vector<db::RowId> kNone;
    auto it = righe.find(numreg.ToText());
    return it == righe.end() ? kNone : it->second;
  }
  std::size_t Campo(std::string_view name) const { return table->RequireField(name); }
};

// The open item of a registration: account and customer/supplier of its first line of kind 1.
struct Partita {
  db::Variant conto, tipo_cf, cli_for;
};

// Per-currency sums, in the order the currencies first appear.
struct PerValuta {
  std::string chiave;  // compared as the ledger compares codes
  std::string codice;  // as written
  db::Decimal valuta;  // in the currency
  db::Decimal euro;    // in the accounting currency
};

PerValuta& Voce(std::vector<PerValuta>& voci, const db::Variant& valuta) {
  const std::string chiave = Chiave().Codice(valuta).str();
  for (auto& v : voci) {
    if (v.chiave == chiave) return v;
  }
  voci.push_back({chiave, CodiceValuta(valuta), {}, {}});
  return voci.back();
}

// A registration's turnover and VAT amount, in the accounting currency and per currency.
struct Importi {
  db::Decimal fatturato, iva;
  std::vector<PerValuta> fatturato_valuta, iva_valuta;
};

}  // namespace

class RicalcoloFatturatoImportoIva::Calcolo {
 public:
  Calcolo(Frame& frame, db::Recordset& fatturato, db::Recordset& iva, std::size_t per_lettura)
      : f_(frame),
        fatt_(fatturato.table()),
        iva_(iva.table()),
        tipi_(frame),
        per_lettura_(std::max<std::size_t>(per_lettura, 1)) {
    if (f_.SedeIndicata()) sede_scelta_ = Chiave().Numero(f_.Sede()).str();
  }

  void Esegui();

 private:
  std::string SourceStatement();
  Testate LeggiTestate();
  Lettura Leggi(std::string_view head, const std::vector<const Testata*>& testate,
                std::string_view tail);
  // False when the step ends here (Stato says why).
  bool Registrazione(const Testata& t, const Lettura& righe, const Lettura& iva);

  Partita DeterminaContoPartita(const Lettura& righe, const std::vector<db::RowId>& mie,
                                const db::Variant& numreg);
  Importi CalcolaImportoFatturatoIVA(const Lettura& righe, const std::vector<db::RowId>& mie,
                                     const Lettura& iva, const std::vector<db::RowId>& mie_iva,
                                     long tipo_reg, long segno_iva);
  void AggiornaImportoIVAPerContropartite(const Lettura& righe, const std::vector<db::RowId>& mie,
                                          const db::Decimal& importo, const db::Variant& sede,
                                          const std::string& valuta, const db::Decimal& val);

  // The account's turnover flag from the chart; nullopt (Stato and Errore set) when the account
  // is not in the chart of the company's group.
  std::optional<bool> FlagFatturato(const db::Variant& conto);
  void CaricaPianoConti();

  // Adds into the row of the key, or adds the row. With a branch chosen, rows of other branches
  // are left out: they are not this rebuild's to write.
  void AggiungiFatturato(const Partita& p, const db::Variant& anno, const db::Variant& mese,
                         const db::Variant& sede, const std::string& valuta,
                         const db::Decimal& euro, const std::optional<db::Decimal>& val);
  void AggiungiIva(const db::Variant& conto, const db::Variant& tipo_cf, const db::Variant& cli_for,
                   bool solo_conto, const db::Variant& sede, const std::string& valuta,
                   const db::Decimal& euro, const std::optional<db::Decimal>& val);
  bool SedeScelta(const db::Variant& sede) const {
    return !sede_scelta_ || Chiave().Numero(sede).str() == *sede_scelta_;
  }

  Frame& f_;
  db::RowTable& fatt_;
  db::RowTable& iva_;
  IndiceChiavi fatt_per_chiave_;
  IndiceChiavi iva_per_chiave_;
  IndiceChiavi iva_per_conto_;  // account, branch, currency: lines without customer/supplier type
  TipiRegistroCausali tipi_;
  std::size_t per_lettura_;
  std::optional<std::string> sede_scelta_;

  bool piano_letto_ = false;
  std::unordered_map<std::string, bool> piano_;  // account -> makes turnover; first row kept

  // Field positions of the lines and VAT lines, resolved on each batch.
  struct {
    std::size_t tipo_oper, conto, tipo_cf, cli_for, valuta, dare_avere, importo, importo_val,
        prog_iva, sede;
  } r_{};
  struct {
    std::size_t riga, imposta, impostand, imposta_val, impostand_val;
  } v_{};
};

void RicalcoloFatturatoImportoIva::DefinisciRecordsetFatturatoImportoIVA() {
  // Every call starts from empty working record sets: without registrations the writers then
  // find nothing to write, never the figures an earlier call left behind.
  rs_fatturato_ = NuovoRsFatturato();
  rs_importo_iva_ = NuovoRsImportoIva();
  Calcolo(f_, *rs_fatturato_, *rs_importo_iva_, registrazioni_per_lettura).Esegui();
}

std::string RicalcoloFatturatoImportoIva::Calcolo::SourceStatement() {
  const std::string t55 = f_.GetTableName(TableId::kCG41);
  const FiscalYearKey key = f_.ChiaveEsercizio(false);
  std::string sql =
      "SELECT DISTINCT " + t55 + ".*" + " FROM " + t55 + "     INNER JOIN VCG42_MOVCONT" +
      "         ON CG42_DITTA_CG18 = CG41_DITTA_CG18" +
      "         AND CG42_NUMREG_CG41 = CG41_NUMREG" + " WHERE CG41_DITTA_CG18 = " + key.ditta +
      " AND   CG41_ANNO_CG19 = " + key.esercizio +
      " AND   CG41_PROGESER_CG19 = " + key.progressivo + " AND   CG41_INDTIPOREG IN (1 , 2)" +
      " AND   CG41_INDTIPOMOV = 0" + " AND   CG41_INDPROVREG = 0";
  if (f_.SedeIndicata()) {
    // The branch's rows take the turnover and VAT of the registrations of the branch and the
    // VAT of the lines booked to it: both kinds of registration are read, whatever branch
    // their other lines carry.
    const std::string sede = f_.Sede();
    sql += " AND (ISNULL(CG42_CODICE_CG31, CG41_CODICE_CG31) = " + sede +
           " OR ISNULL(CG41_CODICE_CG31, 0) = " + sede + ")";
  }
  return sql;
}

Testate RicalcoloFatturatoImportoIva::Calcolo::LeggiTestate() {
  // The headers are taken as they arrive and packed: the source's rows are not kept.
  Testate out;
  std::optional<std::array<std::size_t, 5>> campi;
  f_.Connection().QueryKeeping(SourceStatement(), [&](const std::vector<db::FieldDef>& fields,
                                                      const std::vector<db::Variant>& v) {
    if (!campi) {
      db::RowTable t;
      for (const db::FieldDef& field : fields)
        t.AppendField(field);
      campi = {t.RequireField("CG41_NUMREG"), t.RequireField("CG41_CODICE_CG33"),
               t.RequireField("CG41_CODICE_CG31"), t.RequireField("CG41_FLGSEGNOIVA"),
               t.RequireField("CG41_DATAREG")};
    }
    const auto& c = *campi;
    out.Aggiungi({v[c[0]], v[c[1]], v[c[2]], v[c[3]], v[c[4]]});
    return false;
  });
  return out;
}

Lettura RicalcoloFatturatoImportoIva::Calcolo::Leggi(std::string_view head,
                                                     const std::vector<const Testata*>& testate,
                                                     std::string_view tail) {
  std::string sql(head);
  for (std::size_t i = 0; i < testate.size(); ++i) {
    sql += i == 0 ? "('" : ", ('";
    sql += SqlText(testate[i]->numreg);
    sql += "')";
  }
  sql += tail;
  auto result = f_.Connection().Execute(sql);
  if (!result) throw db::DbError("la lettura delle righe non ha restituito un recordset");
  Lettura out{std::move(result->table), {}};
  const std::size_t tag = out.Campo("VERIPROG_NUMREG");
  for (db::RowId id = 0; id < out.table->size(); ++id) {
    out.righe[out.table->row(id).values[tag].ToText()].push_back(id);
  }
  return out;
}

void RicalcoloFatturatoImportoIva::Calcolo::Esegui() {
  const Testate testate = LeggiTestate();
  if (testate.size() == 0) return;

  const std::string ditta = f_.Numero(f_.CPInput->Ditta);
  const std::string righe_head = "SELECT K.NUMREG AS VERIPROG_NUMREG, L.* FROM " +
                                 f_.GetTableName(TableId::kCG42) + " L INNER JOIN (VALUES ";
  const std::string righe_tail =
      ") AS K (NUMREG) ON L.CG42_NUMREG_CG41 = K.NUMREG WHERE L.CG42_DITTA_CG18 = " + ditta;
  const std::string iva_head =
      "SELECT K.NUMREG AS VERIPROG_NUMREG, V.* FROM CG43_MOVIVA V INNER JOIN (VALUES ";
  const std::string iva_tail =
      ") AS K (NUMREG) ON V.CG43_NUMREG_CG41 = K.NUMREG WHERE V.CG43_DITTA_CG18 = " + ditta;

  f_.Raise(kEventiProcesso.begin, static_cast<std::int64_t>(testate.size()));
  for (std::size_t start = 0; start < testate.size(); start += per_lettura_) {
    const std::size_t end = std::min(testate.size(), start + per_lettura_);
    // Registrations whose causal is of another register read nothing and add nothing.
    std::vector<Testata> lotto;
    lotto.reserve(end - start);
    std::vector<const Testata*> da_leggere;
    for (std::size_t i = start; i < end; ++i) {
      Testata& t = lotto.emplace_back(testate.At(i));
      t.tipo = tipi_(t.causale);
      if (f_.Stato != tsOk) return;
      if (t.tipo == 1 || t.tipo == 2) da_leggere.push_back(&t);
    }
    Lettura righe, iva;
    if (!da_leggere.empty()) {
      righe = Leggi(righe_head, da_leggere, righe_tail);
      iva = Leggi(iva_head, da_leggere, iva_tail);
      r_ = {righe.Campo("CG42_INDTIPOOPER"),  righe.Campo("CG42_CONTOPAR_CG24"),
            righe.Campo("CG42_TIPOCF_CG44"),  righe.Campo("CG42_CLIFORPAR_CG44"),
            righe.Campo("CG42_CODICE_CG08"),  righe.Campo("CG42_INDDAAV"),
            righe.Campo("CG42_IMPTOTALE"),    righe.Campo("CG42_IMPTOTALEVAL"),
            righe.Campo("CG42_PROGIVA_CG43"), righe.Campo("CG42_CODICE_CG31")};
      v_ = {iva.Campo("CG43_NUMRIGAIVA"), iva.Campo("CG43_IMPOSTA"), iva.Campo("CG43_IMPOSTAND"),
            iva.Campo("CG43_IMPOSTAVAL"), iva.Campo("CG43_IMPOSTANDVAL")};
    }
    for (std::size_t i = start; i < end; ++i) {
      f_.Raise(kEventiProcesso.avanzamento, static_cast<std::int64_t>(i + 1));
      const Testata& t = lotto[i - start];
      if (t.tipo != 1 && t.tipo != 2) continue;
      if (!Registrazione(t, righe, iva)) return;
    }
  }
  f_.Raise(kEventiProcesso.end);
}

bool RicalcoloFatturatoImportoIva::Calcolo::Registrazione(const Testata& t, const Lettura& righe,
                                                          const Lettura& iva) {
  const auto& mie = righe.Di(t.numreg);
  const Partita partita = DeterminaContoPartita(righe, mie, t.numreg);
  if (f_.Stato != tsOk) return false;
  const auto segno = NVL(t.segno, 0).ToInteger();
  if (!segno) throw db::ValueError("segno IVA non valido: '" + t.segno.ToText() + "'");
  const Importi importi =
      CalcolaImportoFatturatoIVA(righe, mie, iva, iva.Di(t.numreg), t.tipo, *segno);
  if (f_.Stato != tsOk) return false;

  // The registration's own branch, also when it has no turnover: its VAT is booked there.
  const db::Variant sede = NumeroOZero(t.sede);
  if (t.data.kind() != db::Variant::Kind::kDateTime) {
    throw db::ValueError("data di registrazione non valida: '" + t.data.ToText() + "'");
  }
  const db::Variant anno = t.data.AsDateTime().year;
  const db::Variant mese = t.data.AsDateTime().month;

  if (!importi.fatturato.is_zero()) {
    AggiungiFatturato(partita, anno, mese, sede, "EURO", importi.fatturato, std::nullopt);
  }
  for (const PerValuta& v : importi.fatturato_valuta) {
    if (!v.valuta.is_zero())
      AggiungiFatturato(partita, anno, mese, sede, v.codice, v.euro, v.valuta);
  }
  if (!importi.iva.is_zero()) {
    AggiungiIva(partita.conto, partita.tipo_cf, partita.cli_for, false, sede, "EURO", importi.iva,
                std::nullopt);
  }
  AggiornaImportoIVAPerContropartite(righe, mie, importi.iva, sede, "EURO", db::Decimal());
  if (f_.Stato != tsOk) return false;
  for (const PerValuta& v : importi.iva_valuta) {
    if (v.valuta.is_zero()) continue;
    AggiungiIva(partita.conto, partita.tipo_cf, partita.cli_for, false, sede, v.codice, v.euro,
                v.valuta);
    AggiornaImportoIVAPerContropartite(righe, mie, v.euro, sede, v.codice, v.valuta);
    if (f_.Stato != tsOk) return false;
  }
  return true;
}

Partita RicalcoloFatturatoImportoIva::Calcolo::DeterminaContoPartita(
    const Lettura& righe, const std::vector<db::RowId>& mie, const db::Variant& numreg) {
  return f_.GuardValue<Partita>("DeterminaContoPartita", {}, [&]() -> Partita {
    for (db::RowId id : mie) {
      const auto& v = righe.table->row(id).values;
      if (Uguale(v[r_.tipo_oper], 1)) return {v[r_.conto], v[r_.tipo_cf], v[r_.cli_for]};
    }
    f_.Stato = tsParametriNonValidi;
    f_.Errore = "Non è possibile determinare la partita per la registrazione " + numreg.ToText();
    return {db::Variant::Null(), db::Variant::Null(), db::Variant::Null()};
  });
}

void RicalcoloFatturatoImportoIva::Calcolo::CaricaPianoConti() {
  if (piano_letto_) return;
  auto chart =
      f_.Connection().Execute("SELECT * FROM CG24_TABPDC WHERE CG24_GRUPPO_CG10 = " + f_.Gruppo());
  piano_letto_ = true;
  if (!chart) return;
  const db::RowTable& t = *chart->table;
  const std::size_t conto = t.RequireField("CG24_CONTO");
  const std::size_t flag = t.RequireField("CG24_FLGAGGFATT");
  for (db::RowId id = 0; id < t.size(); ++id) {
    const auto& v = t.row(id).values;
    piano_.try_emplace(Chiave().Codice(v[conto]).str(), Uguale(v[flag], 1));
  }
}

std::optional<bool> RicalcoloFatturatoImportoIva::Calcolo::FlagFatturato(const db::Variant& conto) {
  auto it = piano_.find(Chiave().Codice(conto).str());
  if (it != piano_.end()) return it->second;
  f_.Stato = tsParametriNonValidi;
  f_.Errore = "Errore in recupero flag aggiornamento fatturato per il conto " + conto.ToText();
  return std::nullopt;
}

Importi RicalcoloFatturatoImportoIva::Calcolo::CalcolaImportoFatturatoIVA(
    const Lettura& righe, const std::vector<db::RowId>& mie, const Lettura& iva,
    const std::vector<db::RowId>& mie_iva, long tipo_reg, long segno_iva) {
  return f_.GuardValue<Importi>("CalcolaImportoFatturatoIVA", {}, [&]() -> Importi {
    Importi out;
    CaricaPianoConti();
    if (piano_.empty()) return out;
    for (db::RowId id : mie) {
      const auto& r = righe.table->row(id).values;
      const auto flag = FlagFatturato(r[r_.conto]);
      if (!flag) return {};
      if (!*flag) continue;
      const db::Variant& valuta = r[r_.valuta];
      const bool euro = IsEuro(valuta);
      // Purchases count on the debit side, sales on the credit side; a line without side counts
      // as the register's own side.
      const bool meno = (tipo_reg == 1 && Uguale(NVL(r[r_.dare_avere], 0), 2)) ||
                        (tipo_reg == 2 && Uguale(NVL(r[r_.dare_avere], 0), 1));
      const db::Decimal importo = Importo(r[r_.importo]);
      out.fatturato += meno ? -importo : importo;
      if (!euro) {
        PerValuta& v = Voce(out.fatturato_valuta, valuta);
        const db::Decimal val = Importo(r[r_.importo_val]);
        v.valuta += meno ? -val : val;
        v.euro += meno ? -importo : importo;
      }
      // VAT counts whatever the side: the line's VAT line, as often as lines refer to it.
      if (!IsValorizzato(r[r_.prog_iva]) || mie_iva.empty()) continue;
      for (db::RowId vid : mie_iva) {
        const auto& l = iva.table->row(vid).values;
        const auto c = db::Compare(l[v_.riga], r[r_.prog_iva], db::TextCompare::kSql);
        if (!c || *c != 0) continue;
        const db::Decimal imposta = Importo(l[v_.imposta]) + Importo(l[v_.impostand]);
        out.iva += imposta;
        if (!euro) {
          PerValuta& v = Voce(out.iva_valuta, valuta);
          v.valuta += Importo(l[v_.imposta_val]) + Importo(l[v_.impostand_val]);
          v.euro += imposta;
        }
        break;
      }
    }
    // A registration with the VAT sign set (a credit note) reverses its VAT, never its turnover.
    if (segno_iva != 0) {
      out.iva = -out.iva;
      for (PerValuta& v : out.iva_valuta) {
        v.valuta = -v.valuta;
        v.euro = -v.euro;
      }
    }
    return out;
  });
}

void RicalcoloFatturatoImportoIva::Calcolo::AggiornaImportoIVAPerContropartite(
    const Lettura& righe, const std::vector<db::RowId>& mie, const db::Decimal& importo,
    const db::Variant& sede, const std::string& valuta, const db::Decimal& val) {
  f_.Guard("AggiornaImportoIVAPerContropartite", [&] {
    CaricaPianoConti();
    if (piano_.empty() || mie.empty()) return;
    for (db::RowId id : mie) {
      const auto& r = righe.table->row(id).values;
      if (!Uguale(r[r_.tipo_oper], 3)) continue;
      const auto flag = FlagFatturato(r[r_.conto]);
      if (!flag) return;
      // Every counter-account line on a turnover account takes the registration's whole VAT.
      if (!*flag || importo.is_zero()) continue;
      const db::Variant sede_riga = NVL(r[r_.sede], NumeroOZero(sede));
      AggiungiIva(r[r_.conto], r[r_.tipo_cf], r[r_.cli_for], !IsValorizzato(r[r_.tipo_cf]),
                  sede_riga, valuta, importo,
                  IsEuro(valuta) ? std::nullopt : std::optional<db::Decimal>(val));
    }
  });
}

void RicalcoloFatturatoImportoIva::Calcolo::AggiungiFatturato(
    const Partita& p, const db::Variant& anno, const db::Variant& mese, const db::Variant& sede,
    const std::string& valuta, const db::Decimal& euro, const std::optional<db::Decimal>& val) {
  if (!SedeScelta(sede)) return;
  Chiave key;
  key.Codice(p.conto).Numero(p.tipo_cf).Numero(p.cli_for).Numero(anno).Numero(mese).Numero(sede);
  key.Codice(valuta);
  if (auto id = fatt_per_chiave_.Find(key)) {
    fatt_.SetValue(*id, kFFatt, Importo(fatt_.row(*id).values[kFFatt]) + euro);
    if (val) fatt_.SetValue(*id, kFVal, Importo(fatt_.row(*id).values[kFVal]) + *val);
    return;
  }
  const db::RowId id = fatt_.AddRow();
  const db::Variant values[] = {p.conto, p.tipo_cf, p.cli_for,
                                anno,    mese,      euro,
                                sede,    valuta,    val ? db::Variant(*val) : db::Variant::Null()};
  for (std::size_t f = 0; f < std::size(values); ++f)
    fatt_.SetValue(id, f, values[f]);
  fatt_per_chiave_.Add(key, id);
}

void RicalcoloFatturatoImportoIva::Calcolo::AggiungiIva(
    const db::Variant& conto, const db::Variant& tipo_cf, const db::Variant& cli_for,
    bool solo_conto, const db::Variant& sede, const std::string& valuta, const db::Decimal& euro,
    const std::optional<db::Decimal>& val) {
  if (!SedeScelta(sede)) return;
  Chiave key;
  key.Codice(conto).Numero(tipo_cf).Numero(cli_for).Numero(sede).Codice(valuta);
  Chiave per_conto;
  per_conto.Codice(conto).Numero(sede).Codice(valuta);
  if (auto id = solo_conto ? iva_per_conto_.Find(per_conto) : iva_per_chiave_.Find(key)) {
    iva_.SetValue(*id, kIIva, Importo(iva_.row(*id).values[kIIva]) + euro);
    if (val) iva_.SetValue(*id, kIVal, Importo(iva_.row(*id).values[kIVal]) + *val);
    return;
  }
  const db::RowId id = iva_.AddRow();
  const db::Variant values[] = {
      conto, tipo_cf, cli_for, euro, sede, valuta, val ? db::Variant(*val) : db::Variant::Null()};
  for (std::size_t f = 0; f < std::size(values); ++f)
    iva_.SetValue(id, f, values[f]);
  iva_per_chiave_.Add(key, id);
  iva_per_conto_.Add(per_conto, id);
}

}  // namespace veriprog::fatturato
