// The generator's plafond part: VAT codes of the four plafond kinds, activities with and without
// a plafond start date, sections with and without an activity, and registrations that use them
// (exports, internal purchases, imports, intra-EU purchases, credit notes, competence dates
// before the registration date, provisional ones); then the stored monthly plafond totals per
// company and per activity, reckoned here from every VAT line in the database, a few made wrong
// on purpose.
#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "db/bulk_writer.h"
#include "gen/vat_totals.h"

namespace veriprog::gen {
namespace {

// Codes of this part, and their plafond kind.
constexpr std::array<std::pair<const char*, int>, 7> kCodes = {
    {{"PE1", 1}, {"PE5", 5}, {"PE6", 6}, {"PAI", 2}, {"PIM", 3}, {"PIN", 4}, {"P22", 0}}};

using Four = std::array<Cents, 4>;  // exports, internal purchases, imports, intra-EU purchases

int Column(int kind) {
  switch (kind) {
    case 1:
    case 5:
    case 6:
      return 0;
    case 2:
      return 1;
    case 3:
      return 2;
    case 4:
      return 3;
    default:
      return -1;
  }
}

class PlafondGenerator final : public FamilyGenerator {
 public:
  void Masters(LedgerWriter& w) override {
    std::string codes =
        "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_DESCR, CG28_CODPLAFOND) VALUES ";
    for (std::size_t i = 0; i < kCodes.size(); ++i) {
      codes += std::string(i ? ", " : "") + "('" + kCodes[i].first + "', 'Plafond " +
               kCodes[i].first + "', " + std::to_string(kCodes[i].second) + ")";
    }
    Exec(w.conn(), codes);
    // Company 1: in 2024 two activities of kind 0 (101 from March, 102 from January) and one of
    // kind 1 that the totals never read; in 2023 one. Company 2: one activity in 2024 sharing
    // code 1 with company 1, and one in 2025 without a plafond start date. Section P3 has no
    // activity and P4 an empty one: their registrations go to the first kind-0 activity.
    Exec(w.conn(),
         "INSERT INTO CG86_AZIENDECOLL (CG86_IDATTIVITA, CG86_DITTA_CG18, CG86_CODATTIVITA, "
         "CG86_ANNOIVA, CG86_INDTIPO, CG86_DATAINPLAFOND) VALUES "
         "(101, 1, 1, 2024, 0, '2024-03-01'), (102, 1, 2, 2024, 0, '2024-01-01'), "
         "(103, 1, 1, 2023, 0, '2023-06-01'), (104, 1, 1, 2024, 1, '2024-01-01'), "
         "(201, 2, 1, 2024, 0, '2024-01-01'), (202, 2, 1, 2025, 0, NULL)");
    Exec(w.conn(),
         "INSERT INTO CG32_ANADITTAPSEZ VALUES (1, 2024, 'P1', 101), (1, 2024, 'P2', 102), "
         "(1, 2024, 'P4', NULL), (1, 2023, 'P1', 103), (2, 2024, 'P1', 201), (2, 2025, 'P1', 202)");
  }

  void Journal(LedgerWriter& w, const FiscalYearSpec& fy) override {
    const auto count = std::max<std::int64_t>(
        24, static_cast<std::int64_t>(static_cast<double>(w.options().lines) * fy.share / 25));
    const int span = fy.end.Days() - fy.start.Days();
    for (std::int64_t i = 0; i < count; ++i) {
      Registration reg;
      reg.date = Date::FromDays(fy.start.Days() + w.Pick(0, span));
      reg.causal = "001";
      reg.dataregiva = reg.date;
      const int when = w.Pick(1, 100);
      if (when <= 15)
        reg.datacomp = Date::FromDays(reg.date.Days() - w.Pick(1, 20));
      else if (when <= 97)
        reg.datacomp = reg.date;  // the rest have no competence date and never count
      const int section = w.Pick(1, 100);
      reg.sezionale = section <= 45 ? "P1" : section <= 75 ? "P2" : section <= 95 ? "P3" : "P4";
      if (w.Chance(0.08)) reg.flgsegnoiva = 1;  // a credit note
      if (w.Chance(0.02)) reg.provreg = 1;
      if (w.Chance(0.01)) reg.tipomov = 1;

      const int kind = w.Pick(1, 100);
      std::vector<VatLine> lines;
      bool sale = true;
      if (kind <= 45) {
        lines.push_back({0, w.Chance(0.7) ? "PE1" : w.Chance(0.5) ? "PE5" : "PE6", Amount(w)});
        if (w.Chance(0.15)) lines.push_back({0, "P22", Amount(w), 0});
        if (w.Chance(0.1)) lines.push_back({0, "PE1", Amount(w)});
      } else {
        sale = false;
        const char* code = kind <= 70 ? "PAI" : kind <= 85 ? "PIM" : "PIN";
        lines.push_back({0, code, Amount(w)});
        if (w.Chance(0.1)) lines.push_back({0, "P22", Amount(w), 0});
      }
      for (VatLine& l : lines) {
        if (std::string(l.code) == "P22") l.tax = l.taxable * 22 / 100;
      }
      vat_.Add(w, fy, std::move(reg), sale, lines);
    }
  }

  void Totals(LedgerWriter& w) override {
    vat_.Flush();
    db::UpdateStatistics(w.conn(), {"CG43_MOVIVA"});
    const Activities activities(w.conn());
    std::map<std::tuple<int, int, int>, Four> company;   // ditta, year, month
    std::map<std::tuple<int, int, int>, Four> activity;  // activity, year, month
    // Every plafond VAT line of the database, by registration facts the activity and the month
    // depend on.
    for (
        const auto& row : Query(
            w.conn(),
            "SELECT r.CG41_DITTA_CG18, r.CG41_SEZIONALE, "
            "YEAR(COALESCE(r.CG41_DATAREGIVA, r.CG41_DATAREG)), "
            "r.CG41_DATACOMP, c.CG28_CODPLAFOND, SUM(CASE WHEN r.CG41_FLGSEGNOIVA = 0 "
            "THEN COALESCE(l.CG43_IMPONIBILE, 0) ELSE -COALESCE(l.CG43_IMPONIBILE, 0) END) "
            "FROM CG43_MOVIVA l JOIN CG41_PRIMANOTA r ON r.CG41_DITTA_CG18 = l.CG43_DITTA_CG18 "
            "AND r.CG41_NUMREG = l.CG43_NUMREG_CG41 JOIN CG28_TABCODIVA c ON c.CG28_CODICE = "
            "l.CG43_ALIQIVA1_CG28 WHERE r.CG41_INDTIPOMOV = 0 AND r.CG41_INDPROVREG = 0 AND "
            "c.CG28_CODPLAFOND <> 0 AND r.CG41_DATACOMP IS NOT NULL GROUP BY r.CG41_DITTA_CG18, "
            "r.CG41_SEZIONALE, YEAR(COALESCE(r.CG41_DATAREGIVA, r.CG41_DATAREG)), r.CG41_DATACOMP, "
            "c.CG28_CODPLAFOND")) {
      const int ditta = ParseInt(row[0]);
      const Activity* a = activities.Of(ditta, ParseInt(row[2]), row[1]);
      const std::string& d = *row[3];
      const Date comp{std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)),
                      std::stoi(d.substr(8, 2))};
      // Only from the activity's plafond start date on.
      if (a == nullptr || !a->plafond_from || comp < *a->plafond_from) continue;
      const int column = Column(ParseInt(row[4]));
      const Cents amount = ParseCents(row[5]);
      Four& c = company[{ditta, comp.y, comp.m}];
      Four& p = activity[{a->id, comp.y, comp.m}];  // a group, even when its kinds sum to 0
      if (column < 0) continue;
      c[static_cast<std::size_t>(column)] += amount;
      p[static_cast<std::size_t>(column)] += amount;
    }

    // Per company every month of every year the company books in has its row, as a rebuild
    // leaves it.
    std::set<std::pair<int, int>> years;
    for (const auto& fy : w.years()) {
      years.insert({fy.ditta, fy.start.y});
      years.insert({fy.ditta, fy.end.y});
    }
    for (const auto& [key, amounts] : company)
      years.insert({std::get<0>(key), std::get<1>(key)});
    for (const auto& [ditta, year] : years) {
      for (int m = 1; m <= 12; ++m)
        company[{ditta, year, m}];
    }

    // Some made wrong on purpose: a figure changed, a month stored with nothing booked, a
    // month booked and not stored. Only 2024, the year the demo checks; one change per row.
    std::vector<std::tuple<bool, int, int, int>> targets;  // per activity?, id, year, month
    for (const auto& [key, amounts] : company) {
      if (std::get<1>(key) == 2024)
        targets.push_back({false, std::get<0>(key), 2024, std::get<2>(key)});
    }
    for (const auto& [key, amounts] : activity) {
      if (std::get<1>(key) == 2024)
        targets.push_back({true, std::get<0>(key), 2024, std::get<2>(key)});
    }
    std::shuffle(targets.begin(), targets.end(), w.rng());
    std::map<std::tuple<bool, int, int, int>, Four> changed;
    std::set<std::tuple<bool, int, int, int>> dropped;
    const char* columns[2][4] = {
        {"CG51_PLAFEXPORT", "CG51_PLAFACQINT", "CG51_PLAFACQIMP", "CG51_PLAFACQINTRA"},
        {"CGL4_PLAFEXPORT", "CGL4_PLAFACQINT", "CGL4_PLAFACQIMP", "CGL4_PLAFACQINTRA"}};
    for (int i = 0; i < w.options().wrong && i < static_cast<int>(targets.size()); ++i) {
      const auto& t = targets[static_cast<std::size_t>(i)];
      const auto [per_activity, id, year, month] = t;
      const Four& right = per_activity ? activity[{id, year, month}] : company[{id, year, month}];
      const int ditta = per_activity ? activities.Find(id)->ditta : id;
      const std::string key = (per_activity ? "activity " + std::to_string(id) + " " : "") +
                              "month " + std::to_string(month);
      if (per_activity && right != Four{} && w.Chance(0.3)) {
        dropped.insert(t);
        w.ReportWrong({"plafond", ditta, year, key, "CGL4_PROGIVAPLAF row missing"});
        continue;
      }
      const int column = w.Pick(0, 3);
      const Cents delta = w.Pick(1, 100000) * (w.Chance(0.5) ? 1 : -1);
      Four wrong = right;
      wrong[static_cast<std::size_t>(column)] += delta;
      changed[t] = wrong;
      w.ReportWrong(
          {"plafond", ditta, year, key,
           std::string(columns[per_activity][column]) + (delta > 0 ? " +" : " ") + Money(delta)});
    }

    Rows per_company(w.conn(), "CG51_PROGPLAFOND");
    for (const auto& [key, right] : company) {
      const auto [ditta, year, month] = key;
      auto it = changed.find({false, ditta, year, month});
      const Four& a = it == changed.end() ? right : it->second;
      per_company.Row({N(ditta), N(year), N(month), S(Money(a[0])), S(Money(a[1])), S(Money(a[2])),
                       S(Money(a[3]))});
    }
    per_company.Finish();
    Rows per_activity(w.conn(), "CGL4_PROGIVAPLAF");
    for (const auto& [key, right] : activity) {
      const auto [id, year, month] = key;
      if (dropped.contains({true, id, year, month})) continue;
      auto it = changed.find({true, id, year, month});
      const Four& a = it == changed.end() ? right : it->second;
      per_activity.Row({N(id), N(year), N(month), S(Money(a[0])), S(Money(a[1])), S(Money(a[2])),
                        S(Money(a[3]))});
    }
    // The kind-1 activity's row: no check reads it and no rebuild touches it.
    per_activity.Row({N(104), N(2024), N(3), S("123.00"), S("0.00"), S("0.00"), S("0.00")});
    per_activity.Finish();
  }

 private:
  static Cents Amount(LedgerWriter& w) { return w.Pick(100, 2000000); }

  VatRegistrations vat_;
};

}  // namespace

std::unique_ptr<FamilyGenerator> MakePlafondGenerator() {
  return std::make_unique<PlafondGenerator>();
}

}  // namespace veriprog::gen
