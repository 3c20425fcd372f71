#include "gen/vat_totals.h"

#include <cstdio>
#include <stdexcept>

namespace veriprog::gen {

Cents ParseCents(const Opt& text) {
  if (!text) return 0;
  const std::string& s = *text;
  std::size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) ++i;
  Cents whole = 0, fraction = 0;
  int places = -1;
  for (; i < s.size(); ++i) {
    if (s[i] == '.' && places < 0) {
      places = 0;
    } else if (s[i] >= '0' && s[i] <= '9' && places < 2) {
      if (places < 0) {
        whole = whole * 10 + (s[i] - '0');
      } else {
        fraction = fraction * 10 + (s[i] - '0');
        ++places;
      }
    } else if (!(s[i] == '0' && places >= 2)) {
      throw std::runtime_error("generator: not an amount in cents: '" + s + "'");
    }
  }
  if (places == 1) fraction *= 10;
  const Cents c = whole * 100 + fraction;
  return negative ? -c : c;
}

int ParseInt(const Opt& text) {
  if (!text) throw std::runtime_error("generator: a null where a number was expected");
  return std::stoi(*text);
}

std::string TrimSection(const Opt& section) {
  if (!section) return "";
  std::string s = *section;
  while (!s.empty() && s.back() == ' ')
    s.pop_back();
  return s;
}

std::string VatRegistrations::Add(LedgerWriter& w, const FiscalYearSpec& fy, Registration reg,
                                  bool sale, const std::vector<VatLine>& lines) {
  Cents net = 0, vat = 0;
  for (const VatLine& l : lines) {
    net += l.taxable;
    vat += l.tax + l.nondeductible;
  }
  // Debit and credit of a sale; a purchase and a credit note each turn them round.
  const bool turned = !sale != (reg.flgsegnoiva != 0);
  const int debit = turned ? 2 : 1;
  const int credit = turned ? 1 : 2;
  const Party party = sale ? Party{S("1401"), 1, w.Pick(1, w.customers())}
                           : Party{S("2401"), 2, w.Pick(1, w.suppliers())};
  char account[8];
  std::snprintf(account, sizeof account, "%s%02d", sale ? "40" : "60", w.Pick(1, 50));
  // The open item, the cost or revenue (on the first VAT line) and the VAT account.
  std::vector<Line> journal = {
      {party, std::nullopt, std::nullopt, debit, net + vat, std::nullopt, 1},
      {Party{S(account), 0, 0}, std::nullopt, std::nullopt, credit, net, std::nullopt, 3, 1},
  };
  if (vat != 0) {
    journal.push_back({Party{S(sale ? "2050" : "1050"), 0, 0}, std::nullopt, std::nullopt, credit,
                       vat, std::nullopt, 2});
  }
  reg.indtiporeg = sale ? 2 : 1;
  const std::string numreg = w.AddRegistration(fy, std::move(reg), journal);
  if (!rows_) {
    rows_ = std::make_unique<Rows>(
        w.conn(), "CG43_MOVIVA",
        std::vector<std::string>{"CG43_DITTA_CG18", "CG43_NUMREG_CG41", "CG43_NUMRIGAIVA",
                                 "CG43_INDTIPO", "CG43_ALIQIVA1_CG28", "CG43_CAUSALEIVA",
                                 "CG43_IMPONIBILE", "CG43_IMPOSTA", "CG43_IMPOSTAND"});
  }
  int n = 0;
  for (const VatLine& l : lines) {
    // Every VAT line has its VAT type: ordinary (1), as the VAT registers read it.
    rows_->Row({N(fy.ditta), S(numreg), N(++n), N(l.kind), S(l.code), N(1), S(Money(l.taxable)),
                S(Money(l.tax)), S(Money(l.nondeductible))});
  }
  return numreg;
}

void VatRegistrations::Flush() {
  if (!rows_) return;
  rows_->Finish();
  rows_.reset();
}

Activities::Activities(db::Connection& conn) {
  for (const auto& row : Query(conn,
                               "SELECT CG86_IDATTIVITA, CG86_DITTA_CG18, CG86_CODATTIVITA, "
                               "CG86_ANNOIVA, CG86_INDTIPO, CG86_DATAINPLAFOND FROM "
                               "CG86_AZIENDECOLL ORDER BY CG86_IDATTIVITA")) {
    Activity a{ParseInt(row[0]), ParseInt(row[1]),
               row[2] ? std::optional<int>(ParseInt(row[2])) : std::nullopt, ParseInt(row[4]),
               std::nullopt};
    if (row[5]) {
      const std::string& d = *row[5];
      a.plafond_from =
          Date{std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)), std::stoi(d.substr(8, 2))};
    }
    by_id_.emplace(a.id, a);
    if (a.kind == 0 && row[3]) first_kind0_.emplace(std::pair{a.ditta, ParseInt(row[3])}, a.id);
  }
  for (const auto& row : Query(conn,
                               "SELECT CG32_DITTA_CG18, CG32_ANNO, CG32_SEZIONALE, "
                               "CG32_IDATTIVITA_CG86 FROM CG32_ANADITTAPSEZ")) {
    sections_[{ParseInt(row[0]), ParseInt(row[1]), TrimSection(row[2])}] =
        row[3] ? std::optional<int>(ParseInt(row[3])) : std::nullopt;
  }
}

const Activity* Activities::Of(int ditta, int year, const Opt& section) const {
  std::optional<int> id;
  if (section) {
    auto s = sections_.find({ditta, year, TrimSection(section)});
    if (s != sections_.end()) id = s->second;
  }
  if (!id) {
    auto f = first_kind0_.find({ditta, year});
    if (f != first_kind0_.end()) id = f->second;
  }
  return id ? Find(*id) : nullptr;
}

const Activity* Activities::Find(int id) const {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : &it->second;
}

}  // namespace veriprog::gen
