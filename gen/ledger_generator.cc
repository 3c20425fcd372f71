#include "gen/ledger_generator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <stdexcept>

#include "db/bulk_writer.h"
#include "gen/held_headers.h"
#include "gen/ledger_writer.h"
#include "gen/packed_totals.h"
#include "veriprog/connection.h"
#include "veriprog/error.h"

namespace veriprog::gen {
namespace {

// --- the ledger in memory ----------------------------------------------------------------------

struct Key {
  std::string conto;
  int tipocf = 0;
  int clifor = 0;
  int sede = 0;
  auto operator<=>(const Key&) const = default;
};

struct Amounts {
  Cents ape = 0, rettd = 0, retta = 0, totd = 0, tota = 0, chiu = 0;
  Cents Final() const { return ape + rettd - retta + totd - tota; }
};

using CurrencyYear = std::pair<Amounts, Amounts>;  // in the currency, in euro

// What a shape of firm changes in the core journal: which accounts and counterparts its lines
// use, how many are in a currency, how many name a branch. The families' registrations keep
// their own habits on every shape.
struct Profile {
  int accounts = 200;            // of the chart's accounts, the ones ordinary lines use
  int lines_per_customer = 200;  // customers by size: one per so many journal lines ...
  int min_customers = 20;        // ... within these bounds
  int max_customers = 20000;
  double customer_lines = 0.25;  // share of the lines on a customer
  double supplier_lines = 0.15;  // and on a supplier
  int currency_every = 5;        // every n-th customer or supplier is kept in a currency
  double foreign_lines = 0.03;   // other registrations in a currency
  double euro_code = 0.3;        // euro lines that name the euro rather than leave it Null
  double line_branch = 0.1;      // lines with a branch of their own
  bool branches = true;          // registrations of a branch, balances on branches
  bool zero_party = true;        // "no customer" written as 0 about half the time, else Null
};

Profile ProfileOf(LedgerShape shape) {
  Profile p;
  switch (shape) {
    case LedgerShape::kStandard:
    case LedgerShape::kManyCompanies:
      break;
    case LedgerShape::kFewAccounts:
      p.accounts = 12;
      p.max_customers = 20;
      break;
    case LedgerShape::kManyParties:
      p.lines_per_customer = 10;
      p.max_customers = 500000;
      p.customer_lines = 0.40;
      p.supplier_lines = 0.25;
      p.currency_every = 4;
      p.foreign_lines = 0.10;
      break;
    case LedgerShape::kSparse:
      p.customer_lines = 0.05;
      p.supplier_lines = 0.03;
      p.currency_every = 0;
      p.foreign_lines = 0;
      p.euro_code = 0;
      p.line_branch = 0;
      p.branches = false;
      p.zero_party = false;
      break;
  }
  return p;
}

struct Monthly {
  Cents d = 0, a = 0;
};
using CurrencyMonth = std::array<Cents, 4>;  // val debit, val credit, eur debit, eur credit

// Whom a total is kept for: an account, with the customer or supplier on it (0 and 0 for none).
struct PartyKey {
  std::string conto;
  int tipocf = 0;
  int clifor = 0;
  auto operator<=>(const PartyKey&) const = default;
};
struct PartyHash {
  std::size_t operator()(const PartyKey& p) const {
    return std::hash<std::string>{}(p.conto) ^
           (static_cast<std::size_t>(p.tipocf) * 0x9e3779b97f4a7c15ull) ^
           (static_cast<std::size_t>(p.clifor) * 0xc2b2ae3d27d4eb4full);
  }
};

// The account totals of one fiscal year while the journal comes in, by packed key.
struct FiscalTotals {
  PackedTable<Amounts> yearly;
  PackedTable<CurrencyYear> yearly_val;
  PackedTable<Monthly> monthly;
  PackedTable<CurrencyMonth> monthly_val;
};
// The same once the journal is in: sorted, keys ranked (gen/packed_totals.h).
struct SortedTotals {
  std::vector<PackedTable<Amounts>::Entry> yearly;
  std::vector<PackedTable<CurrencyYear>::Entry> yearly_val;
  std::vector<PackedTable<Monthly>::Entry> monthly;
  std::vector<PackedTable<CurrencyMonth>::Entry> monthly_val;
};

class Generator final : public LedgerWriter {
 public:
  Generator(db::Connection& conn, const GeneratorOptions& options)
      : conn_(conn),
        options_(Shaped(options)),
        profile_(ProfileOf(options.shape)),
        rng_(options.seed),
        families_(MakeFamilyGenerators()) {}

  GeneratedLedger Run() {
    const std::vector<FiscalYearSpec> years = {
        {1, 1, 2024, 1, {2024, 1, 1}, {2024, 12, 31}, 0.62, true},
        {1, 1, 2023, 1, {2023, 1, 1}, {2023, 12, 31}, 0.05, false},
        // A fiscal year across two calendar years.
        {2, 2, 2024, 1, {2024, 7, 1}, {2025, 6, 30}, 0.33, true},
    };
    // A customer is on about 50 lines a year, a supplier on about 100, unless told otherwise.
    customers_ = options_.customers > 0 ? options_.customers
                                        : static_cast<int>(std::clamp<std::int64_t>(
                                              options_.lines / profile_.lines_per_customer,
                                              profile_.min_customers, profile_.max_customers));
    suppliers_ = std::max(10, customers_ / 2);
    if (options_.companies < 2 || options_.companies > 1000)
      throw std::runtime_error("generator: companies must be between 2 and 1000");
    RefuseHeldLedger();
    conn_.BeginTrans();
    try {
      Fill(years);
      conn_.CommitTrans();
    } catch (...) {
      lines_.reset();  // an unfinished COPY ends before the rollback
      if (conn_.in_transaction()) conn_.RollbackTrans();
      throw;
    }
    db::UpdateStatistics(
        conn_, options_.companies > 2
                   ? std::vector<std::string>{}
                   : std::vector<std::string>{"CG41_PRIMANOTA", "CG42_MOVCONT", "CG53_PROGA",
                                              "CG52_PROGM", "CGV0_PROGAVAL", "CGV1_PROGMVAL"});
    return result_;
  }

  // The generated codes would meet those of a ledger already there half-way through, as a
  // duplicate key; a look at the companies and the journal says so before anything is written.
  void RefuseHeldLedger() {
    for (const char* table : {"CG18_DITTE", "CG19_ESERCIZI", "CG41_PRIMANOTA", "CG42_MOVCONT"}) {
      if (!Query(conn_, std::string("SELECT TOP 1 1 AS HELD FROM ") + table).empty()) {
        throw db::ParameterError(std::string("the database already holds a ledger (") + table +
                                 " has rows): generate fills an empty one only");
      }
    }
  }

  void Fill(const std::vector<FiscalYearSpec>& years) {
    // Lines go in before their headers where the server checks the link at the commit; where it
    // checks every row at once, the lines wait in memory until the headers are in.
    const bool deferred = db::DeferForeignKeys(conn_);
    years_ = years;
    WriteMasters(years);
    for (auto& family : families_)
      family->Masters(*this);
    lines_ = std::make_unique<Rows>(
        conn_, "CG42_MOVCONT",
        std::vector<std::string>{"CG42_DITTA_CG18", "CG42_NUMREG_CG41", "CG42_NUMRIGA",
                                 "CG42_ANNO_CG19", "CG42_PROGESER_CG19", "CG42_DATAREG",
                                 "CG42_CONTOPAR_CG24", "CG42_TIPOCF_CG44", "CG42_CLIFORPAR_CG44",
                                 "CG42_CODICE_CG31", "CG42_CODICE_CG08", "CG42_CODICE_CG33",
                                 "CG42_INDDAAV", "CG42_IMPTOTALE", "CG42_IMPTOTALEVAL",
                                 "CG42_INDTIPOOPER", "CG42_PROGIVA_CG43"},
        deferred);
    for (const auto& fy : years) {
      Journal(fy);
      for (auto& family : families_)
        family->Journal(*this, fy);
    }
    if (deferred) lines_->Finish();
    WriteHeaders();
    if (!deferred) lines_->Finish();
    lines_.reset();
    for (const auto& fy : years) {
      result_.fiscal_years.push_back(
          {fy.ditta, fy.anno, fy.progressivo, fy.start.Text(), fy.end.Text()});
    }
    SortTotals();
    MakeWrong(years);
    WriteTotals(years);
    sorted_.clear();  // written: the families' reckonings get the memory
    // The families reckon their totals from the journal just written: unanalysed inside this
    // transaction, its tables would look empty to the planner, which then joins them by nested
    // loops (hours at a million lines). Each family does the same for the lines it writes itself.
    db::UpdateStatistics(conn_, {"CG41_PRIMANOTA", "CG42_MOVCONT"});
    for (auto& family : families_)
      family->Totals(*this);
    if (options_.companies > 2) {
      CopyCompanies(conn_, options_.companies);
      ListCopies();
    }
  }

 private:
  // A hundred companies of modest size: each pair of them gets a tenth of the lines asked, so
  // that the database holds five times as many and an operation reads a twentieth of them.
  static GeneratorOptions Shaped(GeneratorOptions options) {
    if (options.shape == LedgerShape::kManyCompanies) {
      options.companies = std::max(options.companies, 100);
      options.lines = std::max<std::int64_t>(10, options.lines / 10);
    }
    return options;
  }

  // --- what the families see ----------------------------------------------------------------
  db::Connection& conn() override { return conn_; }
  std::mt19937_64& rng() override { return rng_; }
  const GeneratorOptions& options() const override { return options_; }
  const std::vector<FiscalYearSpec>& years() const override { return years_; }
  int customers() const override { return customers_; }
  int suppliers() const override { return suppliers_; }
  void ReportWrong(WrongStored wrong) override { result_.wrong_stored.push_back(std::move(wrong)); }
  void Link(const std::string& numreg, Opt rifpadre, std::optional<int> flgdelete) override {
    if (headers_.Link(numreg, rifpadre, flgdelete)) return;
    throw std::runtime_error("generator: no registration " + numreg + " to link");
  }

  // The copies' fiscal years and wrong totals are their sources', under the copy's code.
  void ListCopies() {
    const GeneratedLedger generated = result_;
    for (int ditta = 3; ditta <= options_.companies; ++ditta) {
      const int source = 2 - ditta % 2;
      for (auto fy : generated.fiscal_years) {
        if (fy.ditta != source) continue;
        fy.ditta = ditta;
        result_.fiscal_years.push_back(fy);
      }
      for (auto w : generated.wrong) {
        if (w.ditta != source) continue;
        w.ditta = ditta;
        result_.wrong.push_back(w);
      }
      for (auto w : generated.wrong_stored) {
        if (w.ditta != source) continue;
        w.ditta = ditta;
        static const std::string kActivity = "activity ";
        if (w.key.rfind(kActivity, 0) == 0) {
          const std::size_t end = w.key.find(' ', kActivity.size());
          const int id = std::stoi(w.key.substr(kActivity.size(), end - kActivity.size()));
          w.key = kActivity + std::to_string(CopiedActivity(id, ditta)) +
                  (end == std::string::npos ? "" : w.key.substr(end));
        }
        result_.wrong_stored.push_back(w);
      }
    }
    result_.journal_lines = CountRows(conn_, "CG42_MOVCONT");
    result_.yearly_totals = CountRows(conn_, "CG53_PROGA");
    result_.monthly_totals = CountRows(conn_, "CG52_PROGM");
  }

  std::string AddRegistration(const FiscalYearSpec& fy, Registration reg,
                              const std::vector<Line>& lines) override {
    Cents balance = 0;
    for (const Line& l : lines)
      balance += l.side == 1 ? l.eur : -l.eur;
    if (balance != 0) throw std::runtime_error("generator: a registration that does not balance");
    reg.numreg = NextNumber(fy);
    int n = 0;
    for (const Line& l : lines) {
      WriteLine(fy, reg, ++n, l.party, l.branch, l.currency, l.side, l.eur, l.val, l.tipooper,
                l.progiva);
      ++result_.journal_lines;
    }
    headers_.Add(fy.ditta, fy.anno, fy.progressivo, reg);
    return reg.numreg;
  }

 private:
  void WriteMasters(const std::vector<FiscalYearSpec>& years) {
    Exec(conn_,
         "INSERT INTO CG18_DITTE VALUES (1, 'Alfa Srl', 1, 0, NULL, NULL, 'PDC '), "
         "(2, 'Beta Spa', 2, 1, '2024-07-01', '2025-03-31', 'PDC ')");
    for (const auto& fy : years) {
      Exec(conn_, "INSERT INTO CG19_ESERCIZI VALUES (" + std::to_string(fy.ditta) + ", " +
                      std::to_string(fy.anno) + ", " + std::to_string(fy.progressivo) + ", '" +
                      fy.start.Text() + "', '" + fy.end.Text() + "')");
    }
    Exec(conn_,
         "INSERT INTO CG33_TABCAU (CG33_CODICE, CG33_DESCR, CG33_FLGCOMP) VALUES "
         "('001', 'Operazione ordinaria', 0), ('150', 'Bilancio di chiusura', 0), "
         "('151', 'Bilancio di apertura', 0), ('900', 'Rettifica', 1)");
    Rows chart(conn_, "CG24_TABPDC", {"CG24_GRUPPO_CG10", "CG24_CONTO", "CG24_DESCR"});
    for (int group : {1, 2}) {
      for (const auto& conto : Accounts())
        chart.Row({N(group), S(conto), S("Conto " + conto)});
      for (int n = 1; n <= 20; ++n) {
        char dormant[16];
        std::snprintf(dormant, sizeof dormant, "09%02d", n);
        chart.Row({N(group), S(dormant), S(std::string("Conto dormiente ") + dormant)});
      }
      for (const char* control : {"1401", "2401", "2901"}) {
        chart.Row({N(group), S(control),
                   S(std::string(control) == "1401"   ? "Crediti verso clienti"
                     : std::string(control) == "2401" ? "Debiti verso fornitori"
                                                      : "Patrimonio netto")});
      }
    }
    chart.Finish();
    Rows registry(conn_, "CG16_ANAGGEN");
    Rows clifor(conn_, "CG44_CLIFOR");
    for (int ditta : {1, 2}) {
      for (int tipocf : {1, 2}) {
        const int count = tipocf == 1 ? customers_ : suppliers_;
        for (int n = 1; n <= count; ++n) {
          // Registry codes: company, kind and number, with room for as many as there are.
          const int base = count < 100000 ? 100000 : 1000000;
          const int code = ditta * 10 * base + tipocf * base + n;
          const char* who = tipocf == 1 ? "Cliente" : "Fornitore";
          if (n % 3 == 0) {  // renamed mid-2024: the name valid at the fiscal year's end counts
            registry.Row({N(code), N(1), std::nullopt, S("2024-06-30"),
                          S(std::string("Vecchio ") + who + " " + std::to_string(n))});
            registry.Row({N(code), N(2), S("2024-07-01"), std::nullopt,
                          S(std::string(who) + " " + std::to_string(n))});
          } else {
            registry.Row({N(code), N(1), std::nullopt, std::nullopt,
                          S(std::string(who) + " " + std::to_string(n))});
          }
          const Currency* kept = KeptIn(n);
          const Opt currency = kept ? S(kept->code) : std::nullopt;
          clifor.Row({N(ditta), N(tipocf), N(n), N(code), currency});
        }
      }
    }
    registry.Finish();
    clifor.Finish();
  }

  static const std::vector<std::string>& Accounts() {
    static const std::vector<std::string> accounts = [] {
      std::vector<std::string> out;
      for (int prefix : {10, 20, 40, 60}) {
        for (int i = 1; i <= 50; ++i) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "%02d%02d", prefix, i);
          out.emplace_back(buf);
        }
      }
      return out;
    }();
    return accounts;
  }

  Party RandomParty() {
    const double r = std::uniform_real_distribution<double>(0, 1)(rng_);
    const double customers = profile_.customer_lines;
    const double parties = customers + profile_.supplier_lines;
    if (r < customers) return {S("1401"), 1, Pick(1, customers_)};
    if (r < parties) return {S("2401"), 2, Pick(1, suppliers_)};
    if (r < parties + 0.001) return {std::nullopt, std::nullopt, std::nullopt};  // no account
    const auto& accounts = Accounts();
    const std::string conto = accounts[static_cast<std::size_t>(Pick(0, profile_.accounts - 1))];
    // No customer/supplier, written as null or as 0: both are the same key.
    return !profile_.zero_party || Chance(0.5) ? Party{S(conto), std::nullopt, std::nullopt}
                                               : Party{S(conto), 0, 0};
  }

  // The currency a customer or supplier is kept in (every n-th one), or none.
  const Currency* KeptIn(int clifor) const {
    const int every = profile_.currency_every;
    if (clifor == 0 || every == 0 || clifor % every != 0) return nullptr;
    return &kCurrencies[clifor % 3];
  }
  const Currency* CurrencyOf(const Party& party) const {
    return party.clifor ? KeptIn(*party.clifor) : nullptr;
  }

  void Journal(const FiscalYearSpec& fy) {
    const std::int64_t target =
        static_cast<std::int64_t>(static_cast<double>(options_.lines) * fy.share);
    std::int64_t written = 0;
    const int span = fy.end.Days() - fy.start.Days();
    // Opening balances at the first day, closing balances at the last.
    written += BalanceRegistration(fy, "151", fy.start, std::max<std::int64_t>(4, target / 20));
    while (written < target * 95 / 100) {
      Registration reg;
      reg.numreg = NextNumber(fy);
      reg.date = Date::FromDays(fy.start.Days() + Pick(0, span));
      const double kind = std::uniform_real_distribution<double>(0, 1)(rng_);
      reg.causal = kind < 0.04 ? "900" : "001";
      if (kind > 0.97)
        reg.provreg = 1;  // provisional: not in the totals
      else if (kind > 0.95)
        reg.tipomov = 1;  // not an ordinary movement: not in the totals
      const int count = Pick(2, 5);
      std::vector<Party> parties;
      for (int i = 0; i < count; ++i)
        parties.push_back(RandomParty());
      // A customer or supplier deals with one branch, its home; other registrations anywhere.
      const int home = !profile_.branches  ? 0
                       : parties[0].clifor ? *parties[0].clifor % 4
                                           : Pick(0, 3);
      if (home != 0) reg.branch = home;
      // Customers and suppliers kept in a currency trade in it; other registrations seldom do.
      const Currency* currency = CurrencyOf(parties[0]);
      if (!currency && Chance(profile_.foreign_lines)) currency = &kCurrencies[Pick(0, 2)];
      Cents sum_eur = 0, sum_val = 0;
      for (int i = 1; i <= count; ++i) {
        const Party& party = parties[static_cast<std::size_t>(i - 1)];
        Cents val = Pick(1, 500000);
        int side = Pick(1, 2);
        if (i == count) {  // the balancing line
          side = sum_eur > 0 ? 2 : 1;
          val = currency ? std::abs(sum_val) : std::abs(sum_eur);
        }
        Cents eur = currency ? ToEuro(val, currency->rate) : val;
        if (i == count && currency) eur = std::abs(sum_eur);
        const Cents sign = side == 1 ? 1 : -1;
        sum_eur += sign * eur;
        sum_val += sign * val;
        std::optional<int> branch;  // mostly the registration's
        if (Chance(profile_.line_branch)) branch = Pick(1, 3);
        std::optional<Cents> line_val;
        if (currency) line_val = val;
        Opt code;
        if (currency)
          code = S(currency->code);
        else if (Chance(profile_.euro_code))
          code = S("EURO");
        WriteLine(fy, reg, i, party, branch, code, side, eur, line_val);
        ++written;
      }
      headers_.Add(fy.ditta, fy.anno, fy.progressivo, reg);
    }
    written += BalanceRegistration(fy, "150", fy.end, std::max<std::int64_t>(4, target / 25));
    result_.journal_lines += written;
  }

  // Opening or closing balances: many keys, some in a currency, evened out on equity.
  std::int64_t BalanceRegistration(const FiscalYearSpec& fy, const std::string& causal, Date date,
                                   std::int64_t lines) {
    Registration reg{.numreg = NextNumber(fy), .date = date, .causal = causal};
    Cents sum = 0;
    int n = 1;
    for (; n < lines; ++n) {
      Party party;
      if (n <= 20) {  // dormant accounts: an opening balance and nothing else
        char buf[16];
        std::snprintf(buf, sizeof buf, "09%02d", n);
        party = {S(buf), 0, 0};
      } else {
        party = RandomParty();
      }
      const int side = Pick(1, 2);
      const Cents eur = Pick(1, 2000000);
      const Currency* currency = CurrencyOf(party);
      std::optional<Cents> val;
      Opt code;
      if (currency) {
        val = eur * 10000 / currency->rate;
        code = S(currency->code);
      }
      std::optional<int> branch;
      if (profile_.branches && !Chance(0.8)) branch = Pick(1, 3);
      WriteLine(fy, reg, n, party, branch, code, side, eur, val);
      sum += side == 1 ? eur : -eur;
    }
    WriteLine(fy, reg, n, Party{S("2901"), 0, 0}, std::nullopt, std::nullopt, sum > 0 ? 2 : 1,
              std::abs(sum), std::nullopt);
    headers_.Add(fy.ditta, fy.anno, fy.progressivo, reg);
    return n;
  }

  std::string NextNumber(const FiscalYearSpec& fy) {
    return RegistrationNumber(fy.anno, fy.progressivo, ++sequence_);
  }

  void WriteLine(const FiscalYearSpec& fy, const Registration& reg, int numriga, const Party& party,
                 std::optional<int> branch, const Opt& currency, int side, Cents eur,
                 std::optional<Cents> val, std::optional<int> tipooper = std::nullopt,
                 std::optional<int> progiva = std::nullopt) {
    lines_->Row({N(fy.ditta), S(reg.numreg), N(numriga), N(fy.anno), N(fy.progressivo),
                 S(reg.date.Text()), party.conto, party.tipocf ? N(*party.tipocf) : std::nullopt,
                 party.clifor ? N(*party.clifor) : std::nullopt, branch ? N(*branch) : std::nullopt,
                 currency, S(reg.causal), N(side), S(Money(eur)),
                 val ? S(Money(*val)) : std::nullopt, tipooper ? N(*tipooper) : std::nullopt,
                 progiva ? N(*progiva) : std::nullopt});
    if (reg.tipomov != 0 || reg.provreg != 0) return;

    // The totals this line makes, worked out here and not by the component.
    const std::uint32_t who =
        parties_.Id({party.conto.value_or(""), party.tipocf.value_or(0), party.clifor.value_or(0)});
    const int sede = branch.value_or(reg.branch.value_or(0));
    const bool foreign = currency && *currency != "EURO";
    const std::uint32_t code = foreign ? currencies_.Id(*currency) + 1 : 0;
    FiscalTotals& totals = totals_[{fy.ditta, fy.anno, fy.progressivo}];
    auto apply = [&](Amounts& a, Cents amount) {
      const Cents d = side == 1 ? amount : 0;
      const Cents c = side == 2 ? amount : 0;
      if (reg.causal == "151")
        a.ape += d - c;
      else if (reg.causal == "150")
        a.chiu += d - c;
      else if (reg.causal == "900") {
        a.rettd += d;
        a.retta += c;
      } else {
        a.totd += d;
        a.tota += c;
      }
    };
    apply(totals.yearly[PackedKey::Make(who, sede)], eur);
    if (foreign) {
      auto& pair = totals.yearly_val[PackedKey::Make(who, sede, 0, 0, code)];
      apply(pair.first, *val);
      apply(pair.second, eur);
    }
    // Every movement outside the balances and the adjustments is in the monthly totals, the
    // families' causals as much as the ordinary one.
    if (reg.causal != "150" && reg.causal != "151" && reg.causal != "900") {
      auto& month = totals.monthly[PackedKey::Make(who, sede, reg.date.y, reg.date.m)];
      (side == 1 ? month.d : month.a) += eur;
      if (foreign) {
        auto& c = totals.monthly_val[PackedKey::Make(who, sede, reg.date.y, reg.date.m, code)];
        c[side == 1 ? 0 : 1] += *val;
        c[side == 1 ? 2 : 3] += eur;
      }
    }
  }

  void WriteHeaders() {
    // Streamed: the journal's lines are in or held by now, and the connection is free.
    Rows headers(conn_, "CG41_PRIMANOTA", HeldHeaders::HeaderColumns(), true);
    headers_.ForEach([&](std::span<const Opt> row) { headers.Row(row); });
    headers.Finish();
  }

  static std::string CheckCode(const Key& k) {
    if (k.clifor == 0) return k.conto;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08d", k.clifor);
    return k.conto.substr(0, 2) + buf;
  }

  // The journal is in: every total in the order the keys have as the ledger compares them.
  void SortTotals() {
    const std::vector<std::uint32_t> party_rank = parties_.Rank();
    const std::vector<std::uint32_t> currency_rank = currencies_.Rank();
    auto ranked = [&](std::uint64_t k) {
      constexpr std::uint64_t kBelowParty = (1ull << PackedKey::kPartyShift) - 1;
      const std::uint32_t c = PackedKey::Currency(k);
      return static_cast<std::uint64_t>(party_rank[PackedKey::Party(k)]) << PackedKey::kPartyShift |
             (k & kBelowParty & ~PackedKey::kCurrencyMask) |
             (c == 0 ? 0 : currency_rank[c - 1] + 1);
    };
    for (auto& [year, t] : totals_) {
      SortedTotals& out = sorted_[year];
      out.yearly = t.yearly.Sorted(ranked);
      out.yearly_val = t.yearly_val.Sorted(ranked);
      out.monthly = t.monthly.Sorted(ranked);
      out.monthly_val = t.monthly_val.Sorted(ranked);
    }
    totals_.clear();
  }

  // The key of a sorted total, as the ledger holds it.
  Key KeyOf(std::uint64_t ranked) const {
    const PartyKey& p = parties_.ByRank(PackedKey::Party(ranked));
    return {p.conto, p.tipocf, p.clifor, PackedKey::Branch(ranked)};
  }
  const std::string& CurrencyOf(std::uint64_t ranked) const {
    return currencies_.ByRank(PackedKey::Currency(ranked) - 1);
  }
  SortedTotals& Sorted(const FiscalYearSpec& fy) {
    return sorted_[{fy.ditta, fy.anno, fy.progressivo}];
  }

  // The currency totals that go with a sorted euro total `key`, from `next` on.
  template <typename Entry>
  static std::span<const Entry> CurrenciesOf(const std::vector<Entry>& val, std::size_t& next,
                                             std::uint64_t key) {
    const std::size_t first = next;
    while (next < val.size() && PackedKey::Euro(val[next].key) == key)
      ++next;
    return std::span<const Entry>(val.data() + first, next - first);
  }

  // Which figure of a key was made wrong: the euro row's, a currency row's, its euro twin's.
  enum Figure { kEuroRow = 0, kCurrencyRow = 1, kEuroTwin = 2 };

  void MakeWrong(const std::vector<FiscalYearSpec>& years) {
    struct Target {
      std::size_t fy;     // in years
      std::uint64_t key;  // sorted; with its currency for a currency row
      bool euro_twin;
    };
    std::vector<Target> targets;
    for (std::size_t i = 0; i < years.size(); ++i) {
      if (!years[i].may_be_wrong) continue;
      const SortedTotals& t = Sorted(years[i]);
      std::size_t next = 0;
      for (const auto& [key, amounts] : t.yearly) {
        targets.push_back({i, key, false});
        for (const auto& c : CurrenciesOf(t.yearly_val, next, key)) {
          targets.push_back({i, c.key, false});
          targets.push_back({i, c.key, true});
        }
      }
    }
    std::shuffle(targets.begin(), targets.end(), rng_);
    const int wanted = std::min<int>(options_.wrong, static_cast<int>(targets.size()));
    Touched touched;  // one change per key: the list stays exact
    for (const auto& t : targets) {
      if (static_cast<int>(result_.wrong.size()) >= wanted) break;
      const FiscalYearSpec& fy = years[t.fy];
      if (!touched.insert({fy.ditta, fy.anno, PackedKey::Euro(t.key)}).second) continue;
      Cents delta = Pick(1, 10000) * (Chance(0.5) ? 1 : -1);
      std::string valuta = "EURO", what = "CG53_SALDOFIN";
      if (PackedKey::Currency(t.key) == 0) {
        wrong_final_[{fy.ditta, fy.anno, t.key, kEuroRow}] = delta;
      } else if (!t.euro_twin) {
        valuta = CurrencyOf(t.key);
        what = "CGV0_SALDOFIN";
        wrong_final_[{fy.ditta, fy.anno, t.key, kCurrencyRow}] = delta;
      } else {
        valuta = "(EURO)";
        what = "CGV0_SALDOFINEURO";
        wrong_final_[{fy.ditta, fy.anno, t.key, kEuroTwin}] = delta;
      }
      const Key key = KeyOf(t.key);
      result_.wrong.push_back({fy.ditta, fy.anno, fy.progressivo, CheckCode(key), key.sede, valuta,
                               *db::Decimal::FromUnscaled(delta, 2), what, key.conto, key.tipocf,
                               key.clifor});
    }
    if (options_.wrong_months > 0) MakeWrongMonths(years, touched);
  }

  // Keys (company, year, sorted euro key) with a total made wrong.
  using Touched = std::set<std::tuple<int, int, std::uint64_t>>;

  // Monthly euro totals made wrong: the debit or the credit of one month of a key whose other
  // totals are all right, so that the months part in exactly that month and the year agrees.
  void MakeWrongMonths(const std::vector<FiscalYearSpec>& years, Touched& touched) {
    std::vector<std::pair<std::size_t, std::uint64_t>> targets;  // fiscal year, sorted month key
    for (std::size_t i = 0; i < years.size(); ++i) {
      if (!years[i].may_be_wrong) continue;
      for (const auto& month : Sorted(years[i]).monthly)
        targets.emplace_back(i, month.key);
    }
    std::shuffle(targets.begin(), targets.end(), rng_);
    int made = 0;
    for (const auto& [i, mk] : targets) {
      if (made >= options_.wrong_months) break;
      const FiscalYearSpec& fy = years[i];
      if (!touched.insert({fy.ditta, fy.anno, PackedKey::Yearly(mk)}).second) continue;
      ++made;
      const Cents delta = Pick(1, 10000) * (Chance(0.5) ? 1 : -1);
      const bool debit = Chance(0.5);
      wrong_month_[{fy.ditta, fy.anno, mk}] = {debit ? delta : 0, debit ? 0 : delta};
      const Key key = KeyOf(mk);
      result_.wrong.push_back({fy.ditta, fy.anno, fy.progressivo, CheckCode(key), key.sede, "EURO",
                               *db::Decimal::FromUnscaled(delta, 2),
                               debit ? "CG52_IMPORTODARE" : "CG52_IMPORTOAVERE", key.conto,
                               key.tipocf, key.clifor, PackedKey::Year(mk), PackedKey::Month(mk)});
    }
  }

  Cents Wrong(const FiscalYearSpec& fy, std::uint64_t key, Figure which) const {
    auto it = wrong_final_.find({fy.ditta, fy.anno, key, which});
    return it == wrong_final_.end() ? 0 : it->second;
  }

  // Stored key columns: 0 written as null now and then, as older data has it.
  Opt MaybeNull(int value) { return value == 0 && Chance(0.3) ? std::nullopt : N(value); }

  void WriteTotals(const std::vector<FiscalYearSpec>& years) {
    Rows yearly(conn_, "CG53_PROGA",
                {"CG53_IDPROGA", "CG53_DITTA_CG18", "CG53_ANNO_CG19", "CG53_PROGESER_CG19",
                 "CG53_GRUPPO_CG10", "CG53_CONTO_CG24", "CG53_TIPOCF_CG44", "CG53_CLIFOR_CG44",
                 "CG53_CODICE_CG31", "CG53_SALDOAPE", "CG53_RETTDARE", "CG53_RETTAVERE",
                 "CG53_SALDOFIN", "CG53_SALDOCHIU", "CG53_IMPORTOIVA"},
                false, "CG53_IDPROGA");
    Rows yearly_val(conn_, "CGV0_PROGAVAL");
    std::map<YearKey, int> first_ids;  // a fiscal year's yearly totals are numbered from here on
    int id = 0;
    for (const auto& fy : years) {
      const SortedTotals& t = Sorted(fy);
      first_ids[{fy.ditta, fy.anno, fy.progressivo}] = id;
      std::size_t next = 0;
      for (const auto& [key, a] : t.yearly) {
        ++id;
        const Key k = KeyOf(key);
        yearly.Row({N(id), N(fy.ditta), N(fy.anno), N(fy.progressivo), N(fy.gruppo), S(k.conto),
                    MaybeNull(k.tipocf), MaybeNull(k.clifor), MaybeNull(k.sede), S(Money(a.ape)),
                    S(Money(a.rettd)), S(Money(a.retta)),
                    S(Money(a.Final() + Wrong(fy, key, kEuroRow))), S(Money(a.chiu)), S("0.00")});
        for (const auto& [ckey, pair] : CurrenciesOf(t.yearly_val, next, key)) {
          const Amounts& v = pair.first;
          const Amounts& e = pair.second;
          yearly_val.Row({N(id), S(CurrencyOf(ckey)), S(Money(v.ape)), S(Money(v.rettd)),
                          S(Money(v.retta)), S(Money(v.Final() + Wrong(fy, ckey, kCurrencyRow))),
                          S("0.00"), S(Money(v.chiu)), S(Money(e.ape)), S(Money(e.rettd)),
                          S(Money(e.retta)), S(Money(e.Final() + Wrong(fy, ckey, kEuroTwin))),
                          S("0.00"), S(Money(e.chiu))});
        }
      }
    }
    result_.yearly_totals = id;
    yearly.Finish();
    yearly_val.Finish();

    Rows monthly(conn_, "CG52_PROGM",
                 {"CG52_IDPROGM", "CG52_IDPROGA_CG53", "CG52_DITTA_CG18", "CG52_ANNO_CG53",
                  "CG52_PROGESER_CG53", "CG52_GRUPPO_CG10", "CG52_CONTO_CG24", "CG52_TIPOCF_CG44",
                  "CG52_CLIFOR_CG44", "CG52_CODICE_CG31", "CG52_ANNOSOL", "CG52_MESE",
                  "CG52_IMPORTODARE", "CG52_IMPORTOAVERE", "CG52_FATTURATO"},
                 false, "CG52_IDPROGM");
    Rows monthly_val(conn_, "CGV1_PROGMVAL");
    int mid = 0;
    for (const auto& fy : years) {
      const SortedTotals& t = Sorted(fy);
      const int first_id = first_ids.at({fy.ditta, fy.anno, fy.progressivo});
      std::size_t next = 0;
      for (const auto& [mk, month] : t.monthly) {
        // The yearly total of the same key, which every month's line made too.
        const std::uint64_t yearly_key = PackedKey::Yearly(mk);
        const auto year =
            std::lower_bound(t.yearly.begin(), t.yearly.end(), yearly_key,
                             [](const auto& e, std::uint64_t k) { return e.key < k; });
        if (year == t.yearly.end() || year->key != yearly_key)
          throw std::logic_error("generator: a monthly total without its yearly one");
        const int yid = first_id + static_cast<int>(year - t.yearly.begin()) + 1;
        ++mid;
        auto wrong = wrong_month_.find({fy.ditta, fy.anno, mk});
        const auto [wd, wa] =
            wrong == wrong_month_.end() ? std::pair<Cents, Cents>{0, 0} : wrong->second;
        const Key k = KeyOf(mk);
        monthly.Row({N(mid), N(yid), N(fy.ditta), N(fy.anno), N(fy.progressivo), N(fy.gruppo),
                     S(k.conto), MaybeNull(k.tipocf), MaybeNull(k.clifor), MaybeNull(k.sede),
                     N(PackedKey::Year(mk)), N(PackedKey::Month(mk)), S(Money(month.d + wd)),
                     S(Money(month.a + wa)), S("0.00")});
        for (const auto& [ckey, c] : CurrenciesOf(t.monthly_val, next, mk)) {
          monthly_val.Row({N(yid), N(mid), S(CurrencyOf(ckey)), S(Money(c[0])), S(Money(c[1])),
                           S("0.00"), S(Money(c[2])), S(Money(c[3])), S("0.00")});
        }
      }
    }
    result_.monthly_totals = mid;
    monthly.Finish();
    monthly_val.Finish();
  }

  using YearKey = std::tuple<int, int, int>;

  db::Connection& conn_;
  GeneratorOptions options_;
  Profile profile_;
  std::mt19937_64 rng_;
  std::vector<std::unique_ptr<FamilyGenerator>> families_;
  std::vector<FiscalYearSpec> years_;
  int customers_ = 20;
  int suppliers_ = 10;
  int sequence_ = 0;
  std::unique_ptr<Rows> lines_;
  HeldHeaders headers_;
  Numbering<PartyKey, PartyHash> parties_;
  Numbering<std::string> currencies_;
  std::map<YearKey, FiscalTotals> totals_;  // while the journal comes in
  std::map<YearKey, SortedTotals> sorted_;  // once it is in
  // By company, year, sorted key and figure; by company, year and sorted month key (debit, credit).
  std::map<std::tuple<int, int, std::uint64_t, Figure>, Cents> wrong_final_;
  std::map<std::tuple<int, int, std::uint64_t>, std::pair<Cents, Cents>> wrong_month_;
  GeneratedLedger result_;
};

}  // namespace

namespace {
constexpr std::pair<LedgerShape, const char*> kShapes[] = {
    {LedgerShape::kStandard, "standard"},
    {LedgerShape::kFewAccounts, "few-accounts"},
    {LedgerShape::kManyParties, "many-parties"},
    {LedgerShape::kManyCompanies, "many-companies"},
    {LedgerShape::kSparse, "sparse"},
};
}  // namespace

std::optional<LedgerShape> ShapeNamed(std::string_view name) {
  for (const auto& [shape, shape_name] : kShapes) {
    if (name == shape_name) return shape;
  }
  return std::nullopt;
}

std::vector<std::string> ShapeNames() {
  std::vector<std::string> names;
  for (const auto& [shape, name] : kShapes)
    names.emplace_back(name);
  return names;
}

const char* ShapeName(LedgerShape shape) {
  for (const auto& [s, name] : kShapes) {
    if (s == shape) return name;
  }
  return "standard";
}

GeneratedLedger GenerateLedger(db::Connection& connection, const GeneratorOptions& options) {
  return Generator(connection, options).Run();
}

GeneratedLedger GenerateLedger(const std::string& connection_string,
                               const GeneratorOptions& options) {
  const auto connection = db::Connect(connection_string);
  return GenerateLedger(*connection, options);
}

}  // namespace veriprog::gen
