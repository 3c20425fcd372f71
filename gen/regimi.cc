// The generator's part for the three special VAT schemes: margin-scheme movements (every
// movement type, regime and flat rate, with activities by section and without), agricultural
// VAT lines (the four agricultural kinds, other kinds, a code missing from the VAT-code table)
// and travel-agency VAT lines (kinds 60..66 and another), credit notes, provisional and
// non-ordinary registrations; then the stored monthly totals of each scheme, reckoned here from
// every such line in the database, a few made wrong on purpose, and stored rows of the kinds a
// rebuild keeps.
#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "db/bulk_writer.h"
#include "gen/vat_totals.h"

namespace veriprog::gen {
namespace {

using Amounts3 = std::array<Cents, 3>;

// A journal group of the margin check: movement type, regime, VAT code and flat rate, with its
// amount, margin, cost adjustment and global margin.
struct MarginGroup {
  Cents importo = 0, margine = 0, costo = 0, globale = 0;
};
using MarginKey = std::tuple<int, int, std::string, std::string>;  // tipomov, regime, code, rate

int MarginKind(int tipomov, int regime, const std::string& rate) {
  if (tipomov == 0) {
    if (regime == 1) return 6;
    if (regime == 2) return 1;
    if (regime == 3) {
      if (rate == "25.00") return 9;
      if (rate == "50.00") return 10;
      if (rate == "60.00") return 11;
    }
    return 0;
  }
  if (tipomov == 1 || tipomov == 2) return regime == 1 ? 7 : regime == 2 ? 2 : 0;
  return tipomov == 3 ? 1 : 0;
}

int TravelKind(int indtipo) {
  constexpr std::array<int, 7> kinds = {5, 6, 7, 1, 2, 3, 4};  // of 60..66
  return indtipo >= 60 && indtipo <= 66 ? kinds[static_cast<std::size_t>(indtipo - 60)] : 0;
}

Date ParseDate(const std::string& d) {
  return Date{std::stoi(d.substr(0, 4)), std::stoi(d.substr(5, 2)), std::stoi(d.substr(8, 2))};
}

std::string Trim(const Opt& text) {
  return TrimSection(text);
}

class SchemesGenerator final : public FamilyGenerator {
 public:
  void Masters(LedgerWriter& w) override {
    Exec(w.conn(),
         "INSERT INTO CG28_TABCODIVA (CG28_CODICE, CG28_DESCR) VALUES ('GA4', 'Agricola 4%'), "
         "('GA10', 'Agricola 10%'), ('T22', 'Agenzie 22%'), ('T10', 'Agenzie 10%'), "
         "('M22', 'Beni usati 22%'), ('M10', 'Beni usati 10%')");
    // Company 1: activities 301 (code 3) and 302 (code 4) in 2024, 303 in 2023; company 2: 401
    // in 2024 and 402 in 2025, both with code 3 as company 1's first one. Sections M3 and V3
    // have no activity: their registrations go to the company's first kind-0 activity.
    Exec(w.conn(),
         "INSERT INTO CG86_AZIENDECOLL (CG86_IDATTIVITA, CG86_DITTA_CG18, CG86_CODATTIVITA, "
         "CG86_ANNOIVA, CG86_INDTIPO) VALUES (301, 1, 3, 2024, 0), (302, 1, 4, 2024, 0), "
         "(303, 1, 3, 2023, 0), (401, 2, 3, 2024, 0), (402, 2, 3, 2025, 0)");
    Exec(w.conn(),
         "INSERT INTO CG32_ANADITTAPSEZ VALUES (1, 2024, 'M1', 301), (1, 2024, 'M2', 302), "
         "(1, 2024, 'V1', 301), (1, 2024, 'V2', 302), (1, 2023, 'M1', 303), "
         "(1, 2023, 'V1', 303), (2, 2024, 'M1', 401), (2, 2024, 'V1', 401), "
         "(2, 2025, 'M1', 402), (2, 2025, 'V1', 402)");
  }

  void Journal(LedgerWriter& w, const FiscalYearSpec& fy) override {
    const auto count = std::max<std::int64_t>(
        12, static_cast<std::int64_t>(static_cast<double>(w.options().lines) * fy.share / 100));
    for (std::int64_t i = 0; i < count; ++i) {
      Margin(w, fy);
      Agriculture(w, fy);
      Travel(w, fy);
    }
  }

  void Totals(LedgerWriter& w) override {
    vat_.Flush();
    if (margin_) margin_->Finish();
    margin_.reset();
    db::UpdateStatistics(w.conn(), {"CG43_MOVIVA", "CGM2_MOVBENIUSATI"});
    const Activities activities(w.conn());
    wanted_ = (w.options().wrong + 2) / 3;
    MarginTotals(w, activities);
    AgricultureTotals(w);
    TravelTotals(w, activities);
  }

 private:
  struct MarginRow {
    int ditta;
    int n, tipomov, regime;
    std::string code, rate;
    Cents imponibile, imposta, rettcosto, margine;
  };

  // A registration of the three schemes: its date in the fiscal year, its VAT date (now and then
  // none), now and then provisional, non-ordinary or a credit note.
  static Registration NewRegistration(LedgerWriter& w, const FiscalYearSpec& fy,
                                      const std::string& section) {
    Registration reg;
    reg.date = Date::FromDays(fy.start.Days() + w.Pick(0, fy.end.Days() - fy.start.Days()));
    reg.causal = "001";
    if (!w.Chance(0.02)) reg.dataregiva = reg.date;
    reg.sezionale = section;
    if (w.Chance(0.08)) reg.flgsegnoiva = 1;
    if (w.Chance(0.02)) reg.provreg = 1;
    if (w.Chance(0.01)) reg.tipomov = 1;
    return reg;
  }

  void Margin(LedgerWriter& w, const FiscalYearSpec& fy) {
    const int s = w.Pick(1, 10);
    Registration reg = NewRegistration(w, fy, s <= 5 ? "M1" : s <= 8 ? "M2" : "M3");
    std::vector<MarginRow> rows;
    Cents net = 0, vat = 0;
    for (int n = 1, lines = w.Pick(1, 3); n <= lines; ++n) {
      MarginRow r{fy.ditta,
                  n,
                  w.Pick(0, 3),
                  w.Pick(1, 3),
                  w.Chance(0.6) ? "M22" : "M10",
                  "",
                  w.Pick(100, 500000),
                  0,
                  0,
                  0};
      if (r.regime == 3) {
        constexpr std::array<const char*, 5> rates = {"25.00", "50.00", "60.00", "40.00", ""};
        r.rate = rates[static_cast<std::size_t>(w.Pick(0, 4))];
      }
      r.imposta = r.imponibile * (r.code == "M22" ? 22 : 10) / 100;
      if (r.regime == 1) r.margine = w.Pick(-1000, 50000);
      if (r.regime == 2) r.rettcosto = w.Pick(0, 20000);
      net += r.imponibile;
      vat += r.imposta;
      rows.push_back(r);
    }
    const bool sale = rows.front().tipomov == 0;
    const std::string numreg = vat_.Add(w, fy, std::move(reg), sale, {{0, "M22", net, vat}});
    // The margin movements wait for Totals, held, beside the VAT lines.
    if (!margin_) margin_ = std::make_unique<Rows>(w.conn(), "CGM2_MOVBENIUSATI");
    for (const auto& r : rows) {
      margin_->Row({N(r.ditta), S(numreg), N(r.n), N(r.tipomov), N(r.regime), S(r.code),
                    r.rate.empty() ? Opt() : S(r.rate), S(Money(r.imponibile)), S(Money(r.imposta)),
                    S(Money(r.rettcosto)), S(Money(r.margine))});
    }
  }

  void Agriculture(LedgerWriter& w, const FiscalYearSpec& fy) {
    Registration reg = NewRegistration(w, fy, w.Chance(0.6) ? "G1" : "G2");
    std::vector<VatLine> lines;
    for (int n = 1, count = w.Pick(1, 3); n <= count; ++n) {
      constexpr std::array<int, 6> kinds = {50, 51, 55, 56, 52, 0};
      const int kind = kinds[static_cast<std::size_t>(w.Pick(0, 5))];
      const int c = w.Pick(1, 20);
      const char* code = c <= 12 ? "GA4" : c <= 19 ? "GA10" : "GZZ";  // GZZ: no such code
      const Cents taxable = w.Pick(100, 300000);
      lines.push_back({kind, code, taxable, taxable * (code[2] == '4' ? 4 : 10) / 100});
    }
    vat_.Add(w, fy, std::move(reg), w.Chance(0.7), lines);
  }

  void Travel(LedgerWriter& w, const FiscalYearSpec& fy) {
    const int s = w.Pick(1, 10);
    Registration reg = NewRegistration(w, fy, s <= 5 ? "V1" : s <= 8 ? "V2" : "V3");
    std::vector<VatLine> lines;
    for (int n = 1, count = w.Pick(1, 3); n <= count; ++n) {
      const int kind = w.Chance(0.05) ? 67 : w.Pick(60, 66);
      const char* code = w.Chance(0.7) ? "T22" : "T10";
      const Cents taxable = w.Pick(100, 400000);
      const Cents tax = taxable * (code[1] == '2' ? 22 : 10) / 100;
      lines.push_back({kind, code, taxable, tax, w.Chance(0.2) ? tax / 4 : 0});
    }
    vat_.Add(w, fy, std::move(reg), w.Chance(0.8), lines);
  }

  // --- stored totals --------------------------------------------------------------------------

  // Picks the stored rows to make wrong, changing an amount or leaving the row out; reports each.
  template <typename Key>
  void MakeWrong(LedgerWriter& w, const char* family, std::map<Key, Amounts3>& rows,
                 const std::function<bool(const Key&)>& in_demo_year,
                 const std::function<std::pair<int, std::string>(const Key&)>& describe,
                 const char* column, std::set<Key>& dropped) {
    std::vector<Key> keys;
    for (const auto& [key, amounts] : rows)
      if (in_demo_year(key)) keys.push_back(key);
    std::shuffle(keys.begin(), keys.end(), w.rng());
    for (int i = 0; i < wanted_ && i < static_cast<int>(keys.size()); ++i) {
      const Key& key = keys[static_cast<std::size_t>(i)];
      const auto [ditta, text] = describe(key);
      if (rows[key][0] != 0 && w.Chance(0.3)) {
        dropped.insert(key);
        w.ReportWrong({family, ditta, 2024, text, std::string(column) + " row missing"});
        continue;
      }
      const Cents delta = w.Pick(1, 100000) * (w.Chance(0.5) ? 1 : -1);
      rows[key][0] += delta;
      w.ReportWrong(
          {family, ditta, 2024, text,
           std::string(column) + "_IMPONIBILE" + (delta > 0 ? " +" : " ") + Money(delta)});
    }
  }

  void MarginTotals(LedgerWriter& w, const Activities& activities) {
    // Every margin movement of the database, by the facts its month, its activity and its
    // group depend on.
    std::map<std::tuple<int, int, int, MarginKey>, MarginGroup> per_company;   // ditta, y, m
    std::map<std::tuple<int, int, int, MarginKey>, MarginGroup> per_activity;  // activity, y, m
    for (
        const auto& row : Query(
            w.conn(),
            "SELECT r.CG41_DITTA_CG18, r.CG41_SEZIONALE, "
            "YEAR(COALESCE(r.CG41_DATAREGIVA, r.CG41_DATAREG)), "
            "r.CG41_DATAREGIVA, m.CGM2_INDTIPOMOV, m.CGM2_INDREGIME, m.CGM2_CODICE_CG28, "
            "CAST(m.CGM2_PERCFORF AS NUMERIC(5, 2)), "
            "SUM(COALESCE(m.CGM2_IMPONIBILE, 0) + COALESCE(m.CGM2_IMPOSTA, 0)), "
            "SUM(COALESCE(m.CGM2_MARGINE, 0)), SUM(COALESCE(m.CGM2_RETTCOSTO, 0)) "
            "FROM CGM2_MOVBENIUSATI m JOIN CG41_PRIMANOTA r ON r.CG41_DITTA_CG18 = "
            "m.CGM2_DITTA_CG18 AND r.CG41_NUMREG = m.CGM2_NUMREG_CG41 "
            "WHERE r.CG41_DATAREGIVA IS NOT NULL AND r.CG41_INDTIPOMOV = 0 "
            "AND NOT (m.CGM2_INDTIPOMOV = 1 AND m.CGM2_INDREGIME = 3) "
            "GROUP BY r.CG41_DITTA_CG18, r.CG41_SEZIONALE, YEAR(COALESCE(r.CG41_DATAREGIVA, r.CG41_DATAREG)), "
            "r.CG41_DATAREGIVA, m.CGM2_INDTIPOMOV, m.CGM2_INDREGIME, m.CGM2_CODICE_CG28, "
            "CAST(m.CGM2_PERCFORF AS NUMERIC(5, 2))")) {
      const int ditta = ParseInt(row[0]);
      const Date d = ParseDate(*row[3]);
      const int regime = row[5] ? ParseInt(row[5]) : -1;
      const MarginKey key{row[4] ? ParseInt(row[4]) : -1, regime, Trim(row[6]),
                          row[7].value_or("")};
      const Cents importo = ParseCents(row[8]);
      MarginGroup g{importo, regime == 1 ? ParseCents(row[9]) : 0,
                    regime == 2 ? ParseCents(row[10]) : 0,
                    regime == 2 ? importo - ParseCents(row[10]) : 0};
      auto add = [&g](MarginGroup& to) {
        to.importo += g.importo;
        to.margine += g.margine;
        to.costo += g.costo;
        to.globale += g.globale;
      };
      add(per_company[{ditta, d.y, d.m, key}]);
      const Activity* a = activities.Of(ditta, ParseInt(row[2]), row[1]);
      if (a != nullptr) add(per_activity[{a->id, d.y, d.m, key}]);
    }
    // The check's rows of each group: its kind, and the margin, cost and global margin rows.
    using Row = std::tuple<int, int, int, int, std::string>;  // owner, year, month, kind, code
    auto rows_of = [](const auto& groups) {
      std::map<Row, Amounts3> out;
      for (const auto& [k, g] : groups) {
        const auto& [owner, y, m, key] = k;
        const auto& [tipomov, regime, code, rate] = key;
        const int kind = MarginKind(tipomov, regime, rate);
        out[{owner, y, m, kind, code}][0] += g.importo;
        if (kind == 6 && g.margine != 0) out[{owner, y, m, 8, code}][0] += g.margine;
        if (kind == 1 && g.costo != 0) out[{owner, y, m, 3, code}][0] += g.costo;
        if (kind == 1 && g.globale != 0) out[{owner, y, m, 4, code}][0] += g.globale;
      }
      return out;
    };
    auto company = rows_of(per_company);
    auto activity = rows_of(per_activity);
    auto describe = [](const char* who) {
      return [who](const Row& r) {
        return std::pair{std::get<0>(r),
                         std::string(who) + "month " + std::to_string(std::get<2>(r)) + " kind " +
                             std::to_string(std::get<3>(r)) + " code " + std::get<4>(r)};
      };
    };
    std::set<Row> dropped_company, dropped_activity;
    auto in_2024 = [](const Row& r) { return std::get<1>(r) == 2024; };
    MakeWrong<Row>(w, "margin", company, in_2024, describe(""), "CGM3", dropped_company);
    MakeWrong<Row>(
        w, "margin", activity, in_2024,
        [&](const Row& r) {
          return std::pair{activities.Find(std::get<0>(r))->ditta,
                           "activity " + std::to_string(std::get<0>(r)) + " month " +
                               std::to_string(std::get<2>(r)) + " kind " +
                               std::to_string(std::get<3>(r)) + " code " + std::get<4>(r)};
        },
        "CGL3", dropped_activity);
    Rows stored(w.conn(), "CGM3_PROGIVAM");
    for (const auto& [r, a] : company) {
      if (dropped_company.contains(r)) continue;
      const auto& [ditta, y, m, kind, code] = r;
      stored.Row({N(ditta), N(y), N(m), N(kind), S(code), S(Money(a[0])), S("0.00"), S("0.00")});
    }
    stored.Finish();
    Rows per_act(w.conn(), "CGL3_PROGIVAMARG");
    for (const auto& [r, a] : activity) {
      if (dropped_activity.contains(r)) continue;
      const auto& [id, y, m, kind, code] = r;
      per_act.Row({N(id), N(y), N(kind), N(m), S(code), S(Money(a[0])), S("0.00"), S("0.00")});
    }
    per_act.Finish();
  }

  void AgricultureTotals(LedgerWriter& w) {
    using Row = std::tuple<int, int, int, int, std::string, std::string>;  // ditta y m kind s code
    std::map<Row, Amounts3> rows;
    for (const auto& row :
         Query(w.conn(),
               "SELECT r.CG41_DITTA_CG18, r.CG41_DATAREGIVA, l.CG43_INDTIPO, "
               "r.CG41_SEZIONALE, l.CG43_ALIQIVA1_CG28, "
               "SUM(CASE WHEN r.CG41_FLGSEGNOIVA = 0 THEN 1 ELSE -1 END * "
               "COALESCE(l.CG43_IMPONIBILE, 0)), "
               "SUM(CASE WHEN r.CG41_FLGSEGNOIVA = 0 THEN 1 ELSE -1 END * "
               "COALESCE(l.CG43_IMPOSTA, 0)) "
               "FROM CG43_MOVIVA l JOIN CG41_PRIMANOTA r ON r.CG41_DITTA_CG18 = l.CG43_DITTA_CG18 "
               "AND r.CG41_NUMREG = l.CG43_NUMREG_CG41 "
               "WHERE EXISTS (SELECT 1 FROM CG28_TABCODIVA c WHERE c.CG28_CODICE = "
               "l.CG43_ALIQIVA1_CG28) AND r.CG41_DATAREGIVA IS NOT NULL AND r.CG41_INDTIPOMOV = 0 "
               "AND r.CG41_INDPROVREG = 0 AND l.CG43_INDTIPO IN (50, 51, 55, 56) "
               "GROUP BY r.CG41_DITTA_CG18, r.CG41_DATAREGIVA, l.CG43_INDTIPO, r.CG41_SEZIONALE, "
               "l.CG43_ALIQIVA1_CG28")) {
      if (!row[3]) continue;  // a stored total needs its section
      const Date d = ParseDate(*row[1]);
      auto& a = rows[{ParseInt(row[0]), d.y, d.m, ParseInt(row[2]), Trim(row[3]), Trim(row[4])}];
      a[0] += ParseCents(row[5]);
      a[1] += ParseCents(row[6]);
    }
    std::set<Row> dropped;
    MakeWrong<Row>(
        w, "agriculture", rows, [](const Row& r) { return std::get<1>(r) == 2024; },
        [](const Row& r) {
          return std::pair{std::get<0>(r), "month " + std::to_string(std::get<2>(r)) + " kind " +
                                               std::to_string(std::get<3>(r)) + " section " +
                                               std::get<4>(r) + " code " + std::get<5>(r)};
        },
        "CGA0", dropped);
    Rows stored(w.conn(), "CGA0_PROGIVAM");
    for (const auto& [r, a] : rows) {
      if (dropped.contains(r)) continue;
      const auto& [ditta, y, m, kind, section, code] = r;
      stored.Row(
          {N(ditta), N(y), N(m), N(kind), S(section), S(code), S(Money(a[0])), S(Money(a[1]))});
    }
    // A kind outside the scheme: never compared, never deleted.
    stored.Row({N(1), N(2024), N(3), N(52), S("G1"), S("GA4"), S("123.45"), S("4.94")});
    stored.Finish();
  }

  void TravelTotals(LedgerWriter& w, const Activities& activities) {
    using Row = std::tuple<int, int, int, int, std::string>;  // activity y m kind code
    std::map<Row, Amounts3> rows;
    for (
        const auto& row : Query(
            w.conn(),
            "SELECT r.CG41_DITTA_CG18, r.CG41_SEZIONALE, "
            "YEAR(COALESCE(r.CG41_DATAREGIVA, r.CG41_DATAREG)), "
            "r.CG41_DATAREGIVA, l.CG43_INDTIPO, l.CG43_ALIQIVA1_CG28, "
            "SUM(CASE WHEN r.CG41_FLGSEGNOIVA = 0 THEN 1 ELSE -1 END * "
            "(COALESCE(l.CG43_IMPONIBILE, 0) + COALESCE(l.CG43_IMPOSTA, 0) + "
            "COALESCE(l.CG43_IMPOSTAND, 0))) "
            "FROM CG43_MOVIVA l JOIN CG41_PRIMANOTA r ON r.CG41_DITTA_CG18 = l.CG43_DITTA_CG18 "
            "AND r.CG41_NUMREG = l.CG43_NUMREG_CG41 WHERE r.CG41_DATAREGIVA IS NOT NULL "
            "AND r.CG41_INDTIPOMOV = 0 AND r.CG41_INDPROVREG = 0 "
            "AND l.CG43_INDTIPO BETWEEN 60 AND 66 GROUP BY r.CG41_DITTA_CG18, r.CG41_SEZIONALE, "
            "YEAR(COALESCE(r.CG41_DATAREGIVA, r.CG41_DATAREG)), r.CG41_DATAREGIVA, l.CG43_INDTIPO, "
            "l.CG43_ALIQIVA1_CG28")) {
      const Activity* a = activities.Of(ParseInt(row[0]), ParseInt(row[2]), row[1]);
      if (a == nullptr || a->kind != 0) continue;  // no stored total without its activity
      const Date d = ParseDate(*row[3]);
      rows[{a->id, d.y, d.m, TravelKind(ParseInt(row[4])), Trim(row[5])}][0] += ParseCents(row[6]);
    }
    std::set<Row> dropped;
    MakeWrong<Row>(
        w, "travel", rows, [](const Row& r) { return std::get<1>(r) == 2024; },
        [&](const Row& r) {
          return std::pair{activities.Find(std::get<0>(r))->ditta,
                           "activity " + std::to_string(std::get<0>(r)) + " month " +
                               std::to_string(std::get<2>(r)) + " kind " +
                               std::to_string(std::get<3>(r)) + " code " + std::get<4>(r)};
        },
        "CGL6", dropped);
    Rows stored(w.conn(), "CGL6_PROGIVAAGVIAG");
    for (const auto& [r, a] : rows) {
      if (dropped.contains(r)) continue;
      const auto& [id, y, m, kind, code] = r;
      stored.Row({N(id), N(y), N(kind), N(m), S(code), S(Money(a[0])), S("0.00"), S("0.00")});
    }
    // Kinds 8 to 11: never shown by the check, never deleted by the rebuild.
    stored.Row({N(301), N(2024), N(9), N(4), S("T22"), S("55.55"), S("0.00"), S("0.00")});
    stored.Finish();
  }

  VatRegistrations vat_;
  std::unique_ptr<Rows> margin_;
  int wanted_ = 0;
};

}  // namespace

std::unique_ptr<FamilyGenerator> MakeSchemesGenerator() {
  return std::make_unique<SchemesGenerator>();
}

}  // namespace veriprog::gen
