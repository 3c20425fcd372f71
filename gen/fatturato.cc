// The turnover and VAT amount family's part of the generated ledger: VAT registrations of the
// purchase and sales registers (invoices, credit notes, receipts, lines in foreign currencies,
// several lines on one VAT line, counter-account lines with and without customer/supplier type
// or a branch of their own, registrations outside the two registers), their VAT lines, and the
// stored turnover (CG52_FATTURATO, CGV1_FATTURATO/EURO) and VAT amounts (CG53_IMPORTOIVA,
// CGV0_IMPORTOIVA/EURO). The stored figures are reckoned here, in whole cents, from everything
// the database holds when the journal is complete, whoever wrote it; a chosen number of them is
// then made wrong on purpose and listed.
#include <algorithm>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "db/bulk_writer.h"
#include "gen/ledger_writer.h"
#include "gen/spool.h"
#include "gen/vat_totals.h"

namespace veriprog::gen {
namespace {

// Causals of this family: register type 1 purchases, 2 sales, 3 receipts, 0 none (an invoice
// booked outside the registers, which the turnover leaves out).
constexpr const char* kPurchase = "FA1";
constexpr const char* kSale = "FV1";
constexpr const char* kPurchaseCredit = "NA1";
constexpr const char* kSaleCredit = "NV1";
constexpr const char* kReceipt = "CO1";
constexpr const char* kOutside = "FX1";

Cents Percent(Cents base, int pct) {
  return (base * pct + 50) / 100;
}

// The rows of one query, as text; throws with the server's message.
class Rowset {
 public:
  Rowset(db::Connection& conn, const std::string& sql) : rows_(Query(conn, sql)) {}
  int rows() const { return static_cast<int>(rows_.size()); }
  bool null(int row, int col) const { return !At(row, col); }
  std::string text(int row, int col) const { return At(row, col).value_or(""); }
  std::int64_t number(int row, int col) const { return std::stoll(text(row, col)); }
  Cents cents(int row, int col) const { return ParseCents(At(row, col)); }

 private:
  const Opt& At(int row, int col) const {
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
  }
  std::vector<std::vector<Opt>> rows_;
};

// A registration number as a literal of the page's bounds.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// --- the reckoning ----------------------------------------------------------------------------

// Keys as the ledger compares them: Null customer/supplier and branch as 0, codes upper-cased
// without trailing blanks.
struct MonthKey {
  std::string conto;
  std::int64_t tipocf, clifor, year, month, sede;
  std::string valuta;
  auto operator<=>(const MonthKey&) const = default;
};
struct YearKey {
  std::string conto;
  std::int64_t tipocf, clifor, sede;
  std::string valuta;
  auto operator<=>(const YearKey&) const = default;
};
struct Pair {
  Cents eur = 0;
  Cents val = 0;
};

struct Header {
  std::string numreg;
  std::int64_t year, month, sede, segno, tipo;
};
struct JournalLine {
  std::int64_t tipooper;
  std::string conto;
  std::int64_t tipocf, clifor;
  std::optional<std::int64_t> sede;
  std::string valuta;
  std::int64_t side;
  Cents eur, val;
  std::optional<std::int64_t> progiva;
};
struct VatLine {
  std::int64_t riga;
  Cents imposta, imposta_val;
};

// The figures of one fiscal year, as the rebuild must leave them.
struct Reckoned {
  std::map<MonthKey, Pair> turnover;  // valuta "EURO": eur only
  std::map<YearKey, Pair> vat;
};

class Reckoner {
 public:
  Reckoner(db::Connection& conn, const FiscalYearSpec& fy) : conn_(conn), fy_(fy) {}

  Reckoned Run() {
    LoadChart();
    const std::string where =
        " WHERE H.CG41_DITTA_CG18 = " + std::to_string(fy_.ditta) +
        " AND H.CG41_ANNO_CG19 = " + std::to_string(fy_.anno) +
        " AND H.CG41_PROGESER_CG19 = " + std::to_string(fy_.progressivo) +
        " AND H.CG41_INDTIPOREG IN (1, 2) AND H.CG41_INDTIPOMOV = 0 AND H.CG41_INDPROVREG = 0"
        " AND EXISTS (SELECT 1 FROM CG42_MOVCONT X WHERE X.CG42_DITTA_CG18 = H.CG41_DITTA_CG18"
        " AND X.CG42_NUMREG_CG41 = H.CG41_NUMREG)";
    // The registrations first, spooled out of memory as they come, then their lines and VAT
    // lines a page of registrations at a time: a fiscal year of millions of lines is never held
    // whole.
    RowSpool registrations;
    ForEachRow(conn_,
               "SELECT H.CG41_NUMREG, YEAR(H.CG41_DATAREG),"
               " MONTH(H.CG41_DATAREG), COALESCE(H.CG41_CODICE_CG31, 0),"
               " COALESCE(H.CG41_FLGSEGNOIVA, 0), COALESCE(C.CG33_INDTIPOREG, 0)"
               " FROM CG41_PRIMANOTA H LEFT JOIN CG33_TABCAU C ON C.CG33_CODICE = "
               "H.CG41_CODICE_CG33" +
                   where + " ORDER BY H.CG41_NUMREG",
               [&](const std::vector<Opt>& r) {
                 const std::int64_t tipo = std::stoll(r[5].value_or("0"));
                 if (tipo != 1 && tipo != 2) return;
                 registrations.Add(r);
               });
    constexpr std::size_t kPage = 20000;
    std::vector<Header> headers;
    auto reckon = [&] {
      const std::string page = where + " AND H.CG41_NUMREG >= " + Quoted(headers.front().numreg) +
                               " AND H.CG41_NUMREG <= " + Quoted(headers.back().numreg);
      // Read straight into the reckoning's own rows, never held as text.
      auto number = [](const Opt& v) { return std::stoll(v.value_or("0")); };
      auto optional_number = [](const Opt& v) {
        return v ? std::optional(std::stoll(*v)) : std::nullopt;
      };
      std::map<std::string, std::vector<JournalLine>> by_reg;
      ForEachRow(
          conn_,
          "SELECT L.CG42_NUMREG_CG41, COALESCE(L.CG42_INDTIPOOPER, -1),"
          " UPPER(RTRIM(COALESCE(L.CG42_CONTOPAR_CG24, ''))), COALESCE(L.CG42_TIPOCF_CG44, 0),"
          " COALESCE(L.CG42_CLIFORPAR_CG44, 0), L.CG42_CODICE_CG31,"
          " UPPER(RTRIM(COALESCE(L.CG42_CODICE_CG08, 'EURO'))), COALESCE(L.CG42_INDDAAV, 0),"
          " COALESCE(L.CG42_IMPTOTALE, 0),"
          " COALESCE(L.CG42_IMPTOTALEVAL, 0), L.CG42_PROGIVA_CG43"
          " FROM CG42_MOVCONT L JOIN CG41_PRIMANOTA H ON H.CG41_DITTA_CG18 = "
          "L.CG42_DITTA_CG18 AND H.CG41_NUMREG = L.CG42_NUMREG_CG41" +
              page + " ORDER BY L.CG42_NUMREG_CG41, L.CG42_NUMRIGA",
          [&](const std::vector<Opt>& r) {
            by_reg[r[0].value_or("")].push_back({number(r[1]), r[2].value_or(""), number(r[3]),
                                                 number(r[4]), optional_number(r[5]),
                                                 r[6].value_or(""), number(r[7]), ParseCents(r[8]),
                                                 ParseCents(r[9]), optional_number(r[10])});
          });
      std::map<std::string, std::vector<VatLine>> vat_by_reg;
      ForEachRow(conn_,
                 "SELECT V.CG43_NUMREG_CG41, V.CG43_NUMRIGAIVA,"
                 " COALESCE(V.CG43_IMPOSTA, 0) + COALESCE(V.CG43_IMPOSTAND, 0),"
                 " COALESCE(V.CG43_IMPOSTAVAL, 0) + COALESCE(V.CG43_IMPOSTANDVAL, 0)"
                 " FROM CG43_MOVIVA V JOIN CG41_PRIMANOTA H ON H.CG41_DITTA_CG18 = "
                 "V.CG43_DITTA_CG18 AND H.CG41_NUMREG = V.CG43_NUMREG_CG41" +
                     page + " ORDER BY V.CG43_NUMREG_CG41, V.CG43_NUMRIGAIVA",
                 [&](const std::vector<Opt>& r) {
                   vat_by_reg[r[0].value_or("")].push_back(
                       {number(r[1]), ParseCents(r[2]), ParseCents(r[3])});
                 });
      for (const Header& h : headers)
        Registration(h, by_reg[h.numreg], vat_by_reg[h.numreg]);
      headers.clear();
    };
    registrations.ForEach([&](std::span<const Opt> r) {
      headers.push_back({r[0].value_or(""), std::stoll(r[1].value_or("0")),
                         std::stoll(r[2].value_or("0")), std::stoll(r[3].value_or("0")),
                         std::stoll(r[4].value_or("0")), std::stoll(r[5].value_or("0"))});
      if (headers.size() == kPage) reckon();
    });
    if (!headers.empty()) reckon();
    return std::move(out_);
  }

 private:
  void LoadChart() {
    Rowset group(conn_, "SELECT CG18_GRUPPO_CG10 FROM CG18_DITTE WHERE CG18_DITTA = " +
                            std::to_string(fy_.ditta));
    if (group.rows() != 1) throw std::runtime_error("generator: company without a chart group");
    Rowset chart(conn_,
                 "SELECT UPPER(RTRIM(CG24_CONTO)), CG24_FLGAGGFATT FROM CG24_TABPDC"
                 " WHERE CG24_GRUPPO_CG10 = " +
                     group.text(0, 0));
    for (int i = 0; i < chart.rows(); ++i)
      chart_[chart.text(i, 0)] = !chart.null(i, 1) && chart.number(i, 1) == 1;
  }

  bool Flagged(const std::string& numreg, const JournalLine& l) const {
    auto it = chart_.find(l.conto);
    if (it == chart_.end()) {
      throw std::runtime_error("generator: account '" + l.conto + "' of registration " + numreg +
                               " is not in the chart of accounts");
    }
    return it->second;
  }

  void Registration(const Header& h, const std::vector<JournalLine>& lines,
                    const std::vector<VatLine>& vat) {
    const JournalLine* open = nullptr;
    for (const auto& l : lines) {
      if (l.tipooper == 1) {
        open = &l;
        break;
      }
    }
    if (open == nullptr) {
      throw std::runtime_error("generator: registration " + h.numreg +
                               " of a VAT register has no open-item line");
    }
    Cents turnover = 0, tax = 0;
    std::vector<std::pair<std::string, Pair>> turnover_cur, tax_cur;  // in order of appearance
    auto entry = [](std::vector<std::pair<std::string, Pair>>& v,
                    const std::string& code) -> Pair& {
      for (auto& [c, p] : v)
        if (c == code) return p;
      v.push_back({code, {}});
      return v.back().second;
    };
    for (const auto& l : lines) {
      if (!Flagged(h.numreg, l)) continue;
      const bool minus = (h.tipo == 1 && l.side == 2) || (h.tipo == 2 && l.side == 1);
      const Cents sign = minus ? -1 : 1;
      turnover += sign * l.eur;
      if (l.valuta != "EURO") {
        Pair& p = entry(turnover_cur, l.valuta);
        p.val += sign * l.val;
        p.eur += sign * l.eur;
      }
      if (!l.progiva) continue;
      for (const auto& v : vat) {
        if (v.riga != *l.progiva) continue;
        tax += v.imposta;
        if (l.valuta != "EURO") {
          Pair& p = entry(tax_cur, l.valuta);
          p.val += v.imposta_val;
          p.eur += v.imposta;
        }
        break;
      }
    }
    if (h.segno != 0) {
      tax = -tax;
      for (auto& [c, p] : tax_cur)
        p = {-p.eur, -p.val};
    }
    const auto tipocf = open->tipocf, clifor = open->clifor;
    if (turnover != 0)
      out_.turnover[{open->conto, tipocf, clifor, h.year, h.month, h.sede, "EURO"}].eur += turnover;
    for (const auto& [code, p] : turnover_cur) {
      if (p.val == 0) continue;
      Pair& t = out_.turnover[{open->conto, tipocf, clifor, h.year, h.month, h.sede, code}];
      t.eur += p.eur;
      t.val += p.val;
    }
    // Every counter-account line on a turnover account takes the registration's whole VAT.
    auto counter = [&](const std::string& code, Cents eur, Cents val) {
      if (eur == 0) return;
      for (const auto& l : lines) {
        if (l.tipooper != 3 || !Flagged(h.numreg, l)) continue;
        Pair& p = out_.vat[{l.conto, l.tipocf, l.clifor, l.sede.value_or(h.sede), code}];
        p.eur += eur;
        p.val += val;
      }
    };
    if (tax != 0) out_.vat[{open->conto, tipocf, clifor, h.sede, "EURO"}].eur += tax;
    counter("EURO", tax, 0);
    for (const auto& [code, p] : tax_cur) {
      if (p.val == 0) continue;
      Pair& own = out_.vat[{open->conto, tipocf, clifor, h.sede, code}];
      own.eur += p.eur;
      own.val += p.val;
      counter(code, p.eur, p.val);
    }
  }

  db::Connection& conn_;
  const FiscalYearSpec& fy_;
  std::map<std::string, bool> chart_;
  Reckoned out_;
};

// --- the family's part -------------------------------------------------------------------------

class TurnoverFamily final : public FamilyGenerator {
 public:
  void Masters(LedgerWriter& w) override {
    // Other parts of the generator may know some of these rows already.
    InsertMissing(w.conn(), "CG33_TABCAU",
                  {"CG33_CODICE", "CG33_DESCR", "CG33_INDTIPOREG", "CG33_FLGCOMP"}, 1,
                  {{S("FA1"), S("Fattura di acquisto"), N(1), N(0)},
                   {S("FV1"), S("Fattura di vendita"), N(2), N(0)},
                   {S("NA1"), S("Nota di credito da fornitore"), N(1), N(0)},
                   {S("NV1"), S("Nota di credito a cliente"), N(2), N(0)},
                   {S("CO1"), S("Corrispettivi"), N(3), N(0)},
                   {S("FX1"), S("Fattura fuori registro"), N(0), N(0)}});
    // Sales and purchases make turnover; cash and VAT accounts do not. In every chart group
    // the companies use.
    static const std::vector<std::pair<const char*, const char*>> kAccounts = {
        {"1010", "Cassa"},
        {"4101", "Ricavi di vendita"},
        {"4102", "Ricavi di vendita estero"},
        {"6101", "Acquisti di merci"},
        {"6102", "Acquisti di servizi"},
        {"2611", "IVA a debito"},
        {"1611", "IVA a credito"}};
    std::vector<std::vector<Opt>> chart;
    for (const auto& group :
         Query(w.conn(),
               "SELECT DISTINCT CG18_GRUPPO_CG10 FROM CG18_DITTE ORDER BY CG18_GRUPPO_CG10")) {
      for (const auto& [conto, descr] : kAccounts) {
        const bool turnover = conto[0] == '4' || conto[0] == '6';
        chart.push_back({group[0], S(conto), S(descr), N(turnover ? 1 : 0)});
      }
    }
    InsertMissing(w.conn(), "CG24_TABPDC",
                  {"CG24_GRUPPO_CG10", "CG24_CONTO", "CG24_DESCR", "CG24_FLGAGGFATT"}, 2, chart);
  }

  void Journal(LedgerWriter& w, const FiscalYearSpec& fy) override {
    // A fifth as many lines as the core journal, in registrations of four lines or so.
    const auto target = std::max<std::int64_t>(
        40, static_cast<std::int64_t>(static_cast<double>(w.options().lines) * fy.share / 5));
    const int span = fy.end.Days() - fy.start.Days();
    for (std::int64_t written = 0; written < target;)
      written += Invoice(w, fy, Date::FromDays(fy.start.Days() + w.Pick(0, span)));
  }

  void Totals(LedgerWriter& w) override {
    WriteVatLines();
    db::UpdateStatistics(w.conn(), {"CG43_MOVIVA"});
    std::vector<Reckoned> reckoned;
    for (const auto& fy : w.years())
      reckoned.push_back(Reckoner(w.conn(), fy).Run());
    MakeWrong(w, reckoned);
    for (std::size_t i = 0; i < reckoned.size(); ++i)
      Store(w.conn(), w.years()[i], reckoned[i]);
  }

 private:
  struct Vat {
    int ditta;
    int riga;
    Cents imponibile, imposta, impostand;
    std::optional<Cents> imposta_val, impostand_val;
  };

  // One registration; returns its number of lines.
  int Invoice(LedgerWriter& w, const FiscalYearSpec& fy, Date date) {
    const double kind = std::uniform_real_distribution<double>(0, 1)(w.rng());
    const bool receipt = kind >= 0.86 && kind < 0.91;
    const bool sale = kind < 0.52 || kind >= 0.86;
    const bool credit = (kind >= 0.45 && kind < 0.52) || (kind >= 0.80 && kind < 0.86);
    Registration reg{.date = date};
    reg.causal = receipt                       ? kReceipt
                 : kind >= 0.91 && kind < 0.94 ? kOutside
                 : sale                        ? (credit ? kSaleCredit : kSale)
                                               : (credit ? kPurchaseCredit : kPurchase);
    reg.provreg = kind >= 0.94 && kind < 0.97 ? 1 : 0;  // provisional: left out
    reg.tipomov = kind >= 0.97 ? 1 : 0;                 // not an ordinary movement: left out
    reg.dataregiva = date;
    reg.indtiporeg = receipt ? 3 : sale ? 2 : 1;
    reg.sezionale = "01";
    reg.flgsegnoiva = credit ? 1 : 0;

    // The open item: a customer or supplier, now and then a cash sale on a plain account.
    Party open;
    if (receipt || (sale && w.Chance(0.05))) {
      open = w.Chance(0.5) ? Party{S("1010"), std::nullopt, std::nullopt} : Party{S("1010"), 0, 0};
    } else if (sale) {
      open = {S("1401"), 1, w.Pick(1, w.customers())};
    } else {
      open = {S("2401"), 2, w.Pick(1, w.suppliers())};
    }
    const int code = open.clifor.value_or(0);
    // Every fifth customer or supplier is kept in a currency, as in the core journal.
    const Currency* rate = code != 0 && code % 5 == 0 ? &kCurrencies[code % 3] : nullptr;
    if (!rate && !receipt && w.Chance(0.02)) rate = &kCurrencies[w.Pick(0, 2)];
    const int home = code != 0 ? code % 4 : w.Pick(0, 3);
    if (home != 0) reg.branch = home;

    // Sales book revenue and VAT on the credit side, purchases cost and VAT on the debit side;
    // credit notes the other way round.
    const int revenue_side = (sale != credit) ? 2 : 1;
    const int open_side = 3 - revenue_side;
    // Lines in the accounting currency carry no currency, or 'EURO' written out.
    const Opt currency = rate ? S(rate->code) : w.Chance(0.3) ? S("EURO") : std::nullopt;
    auto euro = [&](Cents val) { return rate ? ToEuro(val, rate->rate) : val; };

    std::vector<Line> lines = {Line{open, std::nullopt, currency, open_side, 0, std::nullopt}};
    std::vector<std::pair<int, std::optional<int>>> kinds = {{1, std::nullopt}};
    std::vector<Vat> vats;
    Cents open_eur = 0, open_val = 0;
    auto add = [&](Party party, std::optional<int> branch, int side, Cents val, int tipooper,
                   std::optional<int> progiva) {
      const Cents eur = euro(val);
      lines.push_back({std::move(party), branch, currency, side, eur,
                       rate ? std::optional<Cents>(val) : std::nullopt});
      kinds.push_back({tipooper, progiva});
      const Cents sign = side == revenue_side ? 1 : -1;
      open_eur += sign * eur;
      open_val += sign * val;
    };
    const char* account = sale ? (rate ? "4102" : "4101") : (w.Chance(0.5) ? "6101" : "6102");
    const int pcts[] = {22, 10, 4};
    const int count = w.Pick(1, 3);
    Cents tax_val = 0;
    Cents base_total = 0;
    for (int k = 1; k <= count; ++k) {
      const Cents base = w.Pick(1000, 300000);
      base_total += base;
      Cents imposta = Percent(base, pcts[k - 1]);
      const Cents impostand = !sale && w.Chance(0.2) ? imposta / 2 : 0;
      imposta -= impostand;
      // Counter-account lines without customer/supplier, written as Null or as 0.
      const Party counter =
          w.Chance(0.5) ? Party{S(account), std::nullopt, std::nullopt} : Party{S(account), 0, 0};
      const std::optional<int> branch =
          w.Chance(0.1) ? std::optional<int>(w.Pick(1, 3)) : std::nullopt;
      if (w.Chance(0.1)) {  // two lines on one VAT line
        add(counter, branch, revenue_side, base / 3, 3, k);
        add(counter, branch, revenue_side, base - base / 3, 3, k);
      } else {
        add(counter, branch, revenue_side, base, 3, k);
      }
      vats.push_back({fy.ditta, k, euro(base), euro(imposta), euro(impostand),
                      rate ? std::optional<Cents>(imposta) : std::nullopt,
                      rate ? std::optional<Cents>(impostand) : std::nullopt});
      tax_val += imposta + impostand;
    }
    // A return inside a sales invoice lowers its turnover, now and then to nothing at all.
    if (sale && !credit && !rate && w.Chance(0.04)) {
      const Cents back = w.Chance(0.3) ? base_total : base_total / 4;
      add(Party{S(account), 0, 0}, std::nullopt, open_side, back, 3, std::nullopt);
    }
    // The VAT account line: what the VAT lines say, in the line's currency and in euro.
    Cents tax_eur = 0;
    for (const Vat& v : vats)
      tax_eur += v.imposta + v.impostand;
    lines.push_back({Party{S(sale ? "2611" : "1611"), 0, 0}, std::nullopt, currency, revenue_side,
                     tax_eur, rate ? std::optional<Cents>(tax_val) : std::nullopt});
    kinds.push_back({2, std::nullopt});
    open_eur += tax_eur;
    open_val += tax_val;
    lines[0].eur = open_eur;
    if (rate) lines[0].val = open_val;

    for (std::size_t i = 0; i < kinds.size(); ++i) {
      lines[i].tipooper = kinds[i].first;
      lines[i].progiva = kinds[i].second;
    }
    const std::string numreg = w.AddRegistration(fy, reg, lines);
    // The VAT lines of the registrations written through the core wait for Totals, held.
    if (!vat_) {
      vat_ = std::make_unique<Rows>(
          w.conn(), "CG43_MOVIVA",
          std::vector<std::string>{"CG43_DITTA_CG18", "CG43_NUMREG_CG41", "CG43_NUMRIGAIVA",
                                   "CG43_IMPONIBILE", "CG43_IMPOSTA", "CG43_IMPOSTAND",
                                   "CG43_IMPOSTAVAL", "CG43_IMPOSTANDVAL"});
    }
    auto money = [](const std::optional<Cents>& c) { return c ? S(Money(*c)) : std::nullopt; };
    for (const Vat& v : vats) {
      vat_->Row({N(v.ditta), S(numreg), N(v.riga), S(Money(v.imponibile)), S(Money(v.imposta)),
                 S(Money(v.impostand)), money(v.imposta_val), money(v.impostand_val)});
    }
    return static_cast<int>(lines.size());
  }

  void WriteVatLines() {
    if (!vat_) return;
    vat_->Finish();
    vat_.reset();
  }

  // As many figures as asked, among the fiscal years that may be wrong, each changed by a few
  // euro and listed.
  static void MakeWrong(LedgerWriter& w, std::vector<Reckoned>& reckoned) {
    struct Target {
      const FiscalYearSpec* fy;
      Pair* pair;
      std::string key;
      const char* column;
      bool on_val;
    };
    auto party = [](const std::string& conto, std::int64_t tipocf, std::int64_t clifor,
                    std::int64_t sede) {
      return "conto " + conto + " " + std::to_string(tipocf) + "/" + std::to_string(clifor) +
             " sede " + std::to_string(sede);
    };
    std::vector<Target> targets;
    for (std::size_t i = 0; i < reckoned.size(); ++i) {
      const FiscalYearSpec& fy = w.years()[i];
      if (!fy.may_be_wrong) continue;
      for (auto& [k, p] : reckoned[i].turnover) {
        char month[16];
        std::snprintf(month, sizeof month, "%04lld-%02lld", static_cast<long long>(k.year),
                      static_cast<long long>(k.month));
        const std::string key =
            party(k.conto, k.tipocf, k.clifor, k.sede) + " " + month + " " + k.valuta;
        if (k.valuta == "EURO") {
          targets.push_back({&fy, &p, key, "CG52_FATTURATO", false});
        } else {
          const bool on_val = w.Chance(0.5);
          targets.push_back(
              {&fy, &p, key, on_val ? "CGV1_FATTURATO" : "CGV1_FATTURATOEURO", on_val});
        }
      }
      for (auto& [k, p] : reckoned[i].vat) {
        const std::string key = party(k.conto, k.tipocf, k.clifor, k.sede) + " " + k.valuta;
        if (k.valuta == "EURO") {
          targets.push_back({&fy, &p, key, "CG53_IMPORTOIVA", false});
        } else {
          const bool on_val = w.Chance(0.5);
          targets.push_back(
              {&fy, &p, key, on_val ? "CGV0_IMPORTOIVA" : "CGV0_IMPORTOIVAEURO", on_val});
        }
      }
    }
    std::shuffle(targets.begin(), targets.end(), w.rng());
    const int wanted = std::min<int>(w.options().wrong, static_cast<int>(targets.size()));
    for (int i = 0; i < wanted; ++i) {
      const Target& t = targets[static_cast<std::size_t>(i)];
      const Cents delta = w.Pick(1, 10000) * (w.Chance(0.5) ? 1 : -1);
      (t.on_val ? t.pair->val : t.pair->eur) += delta;
      w.ReportWrong({"turnover", t.fy->ditta, t.fy->anno, t.key,
                     std::string(t.column) + " " + (delta > 0 ? "+" : "") + Money(delta)});
    }
  }

  // Writes the figures into the stored rows of their keys (Null key columns read as 0 and '').
  // Every key must have its row already: the core journal's totals made them, as they would be
  // for a ledger kept in step; a key without one is a fault of the generator.
  static void Store(db::Connection& conn, const FiscalYearSpec& fy, const Reckoned& r) {
    Exec(conn,
         "CREATE TABLE #GEN_FATTURATO (CONTO varchar(10), TIPOCF bigint, CLIFOR bigint,"
         " ANNO bigint, MESE bigint, SEDE bigint, VALUTA varchar(6), EUR numeric(17,2),"
         " VAL numeric(17,2))");
    Rows rows(conn, "#GEN_FATTURATO",
              {"CONTO", "TIPOCF", "CLIFOR", "ANNO", "MESE", "SEDE", "VALUTA", "EUR", "VAL"});
    for (const auto& [k, p] : r.turnover) {
      rows.Row({S(k.conto), N(k.tipocf), N(k.clifor), N(k.year), N(k.month), N(k.sede), S(k.valuta),
                S(Money(p.eur)), S(Money(p.val))});
    }
    for (const auto& [k, p] : r.vat) {
      rows.Row({S(k.conto), N(k.tipocf), N(k.clifor), std::nullopt, std::nullopt, N(k.sede),
                S(k.valuta), S(Money(p.eur)), S(Money(p.val))});
    }
    rows.Finish();
    db::UpdateStatistics(conn, {"#GEN_FATTURATO"});
    auto fiscal = [&](const char* table) {
      const std::string t(table);
      const std::string anno = t == "CG52" ? "CG52_ANNO_CG53" : "CG53_ANNO_CG19";
      const std::string prog = t == "CG52" ? "CG52_PROGESER_CG53" : "CG53_PROGESER_CG19";
      return " AND " + t + "_DITTA_CG18 = " + std::to_string(fy.ditta) + " AND " + anno + " = " +
             std::to_string(fy.anno) + " AND " + prog + " = " + std::to_string(fy.progressivo) +
             " AND " + t + "_GRUPPO_CG10 = " + std::to_string(fy.gruppo);
    };
    auto key = [](const char* t) {
      const std::string p(t);
      return " AND UPPER(RTRIM(COALESCE(" + p + "_CONTO_CG24, ''))) = G.CONTO AND COALESCE(" + p +
             "_TIPOCF_CG44, 0) = G.TIPOCF AND COALESCE(" + p + "_CLIFOR_CG44, 0) = G.CLIFOR" +
             " AND COALESCE(" + p + "_CODICE_CG31, 0) = G.SEDE";
    };
    const std::string month = " AND CG52_ANNOSOL = G.ANNO AND CG52_MESE = G.MESE";
    struct Update {
      const char* what;
      std::string where;  // the figures of this update
      std::string sql;
    };
    const Update updates[] = {
        {"monthly total", "G.ANNO IS NOT NULL AND G.VALUTA = 'EURO'",
         "UPDATE CG52_PROGM SET CG52_FATTURATO = G.EUR FROM #GEN_FATTURATO G WHERE "
         "G.ANNO IS NOT NULL AND G.VALUTA = 'EURO'" +
             fiscal("CG52") + key("CG52") + month},
        {"monthly currency total", "G.ANNO IS NOT NULL AND G.VALUTA <> 'EURO'",
         "UPDATE CGV1_PROGMVAL SET CGV1_FATTURATO = G.VAL, CGV1_FATTURATOEURO = G.EUR"
         " FROM #GEN_FATTURATO G, CG52_PROGM WHERE G.ANNO IS NOT NULL AND G.VALUTA <> 'EURO'"
         " AND CGV1_IDPROGM_CG52 = CG52_IDPROGM AND UPPER(RTRIM(CGV1_CODICE_CG08)) = G.VALUTA" +
             fiscal("CG52") + key("CG52") + month},
        {"yearly total", "G.ANNO IS NULL AND G.VALUTA = 'EURO'",
         "UPDATE CG53_PROGA SET CG53_IMPORTOIVA = G.EUR FROM #GEN_FATTURATO G WHERE "
         "G.ANNO IS NULL AND G.VALUTA = 'EURO'" +
             fiscal("CG53") + key("CG53")},
        {"yearly currency total", "G.ANNO IS NULL AND G.VALUTA <> 'EURO'",
         "UPDATE CGV0_PROGAVAL SET CGV0_IMPORTOIVA = G.VAL, CGV0_IMPORTOIVAEURO = G.EUR"
         " FROM #GEN_FATTURATO G, CG53_PROGA WHERE G.ANNO IS NULL AND G.VALUTA <> 'EURO'"
         " AND CGV0_IDPROGA_CG53 = CG53_IDPROGA AND UPPER(RTRIM(CGV0_CODICE_CG08)) = G.VALUTA" +
             fiscal("CG53") + key("CG53")},
    };
    for (const Update& u : updates) {
      Rowset wanted(conn, "SELECT COUNT(*) FROM #GEN_FATTURATO G WHERE " + u.where);
      std::int64_t done = 0;
      conn.Execute(u.sql, &done);
      if (done != wanted.number(0, 0)) {
        throw std::runtime_error("generator: " + wanted.text(0, 0) +
                                 " turnover or VAT figures of " + std::to_string(fy.ditta) + " " +
                                 std::to_string(fy.anno) + " but " + std::to_string(done) +
                                 " stored rows of the " + u.what);
      }
    }
    Exec(conn, "DROP TABLE #GEN_FATTURATO");
  }

  std::unique_ptr<Rows> vat_;
};

}  // namespace

std::unique_ptr<FamilyGenerator> MakeTurnoverFamily() {
  return std::make_unique<TurnoverFamily>();
}

}  // namespace veriprog::gen
