// The monthly charts of an account check's flagged keys, for the HTML page.
#include <cstdio>
#include <map>

#include "component/account_months.h"
#include "db/text.h"
#include "veriprog/explain.h"

namespace veriprog {
namespace {

std::int64_t IntOf(const db::Variant& v) {
  return v.ToInteger().value_or(0);
}

std::vector<MonthSeries> Charts(db::Connection& connection, const FiscalScope& scope,
                                db::Recordset& rows, std::size_t limit) {
  struct Wanted {
    std::string code;
    std::int64_t sede;
    std::string currency;  // the currency whose lines make the row: "EURO" for euro rows
    bool euro_twin;        // a '(EURO)' row: the currency's lines in euro
    std::string title;
  };
  std::vector<Wanted> wanted;
  std::string last_currency = "EURO";
  if (!rows.is_open() || !rows.FieldIndex("FLAGSBIL")) return {};
  for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
    const std::string valuta(db::Trim(rows.Get("VALUTA").ToText()));
    if (valuta != "EURO" && valuta != "(EURO)") last_currency = valuta;
    if (db::Trim(rows.Get("FLAGSBIL").ToText()).empty() || wanted.size() >= limit) continue;
    const std::string code(db::Trim(rows.Get("CONTO").ToText()));
    const bool twin = valuta == "(EURO)";
    std::string title = code + "  branch " + rows.Get("SEDE").ToText() + "  " +
                        (twin ? last_currency + " in euro" : valuta);
    const std::string description(db::Trim(rows.Get("DESCRIZIONE").ToText()));
    if (!description.empty()) title += "  " + description;
    wanted.push_back(
        {code, IntOf(rows.Get("SEDE")), valuta == "EURO" ? "EURO" : last_currency, twin, title});
  }
  std::map<std::string, std::vector<KeyPattern>> patterns;  // by currency
  for (const Wanted& w : wanted) {
    auto& p = patterns[w.currency];
    p.push_back({.conto = w.code, .clifor = 0, .sede = w.sede});
    // A customer or supplier shows as the account's first two characters and its code.
    if (w.code.size() == 10 && w.code.find_first_not_of("0123456789", 2) == std::string::npos)
      p.push_back(
          {.prefix = w.code.substr(0, 2), .clifor = std::stoll(w.code.substr(2)), .sede = w.sede});
  }
  std::map<std::string, std::map<LedgerKey, KeyMonths>> totals;
  for (const auto& [currency, keys] : patterns)
    totals[currency] = MonthlyTotals(connection, scope, currency, keys);

  std::vector<MonthSeries> charts;
  for (const Wanted& w : wanted) {
    MonthSeries chart{w.title, "", {}};
    const bool in_euro = w.currency == "EURO" || w.euro_twin;
    std::optional<Month> parted;
    for (const auto& [year, month] : scope.Months()) {
      MonthSeries::Point point{year, month, {}, {}};
      for (const auto& [key, months] : totals[w.currency]) {
        if (CheckCode(key) != w.code || key.sede != w.sede) continue;
        auto net = [&](const std::map<Month, MonthAmounts>& side) {
          auto it = side.find({year, month});
          if (it == side.end()) return db::Decimal();
          return in_euro ? it->second.dare_euro - it->second.avere_euro
                         : it->second.dare - it->second.avere;
        };
        point.stored += net(months.stored);
        point.journal += net(months.journal);
      }
      if (!parted && point.stored != point.journal) parted = Month{year, month};
      chart.points.push_back(point);
    }
    char when[16] = "";
    if (parted) std::snprintf(when, sizeof when, "%04d-%02d", parted->first, parted->second);
    chart.note = parted ? std::string("stored and journal part in ") + when
                        : "the months agree; the yearly total does not";
    charts.push_back(std::move(chart));
  }
  return charts;
}

}  // namespace

std::vector<MonthSeries> FlaggedAccountCharts(db::Connection& connection, const FiscalScope& scope,
                                              db::Recordset& rows, std::size_t limit,
                                              std::string* error) {
  try {
    return Charts(connection, scope, rows, limit);
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return {};
  }
}

std::vector<MonthSeries> FlaggedAccountCharts(const CLSCG_VERIPROG& main, db::Recordset& rows,
                                              std::size_t limit, std::string* error) {
  try {
    const auto& in = main.CPInput();
    if (!in || !in->GConnect) return {};
    const auto d = in->Ditta.ToWholeNumber(), e = in->Esercizio.ToWholeNumber(),
               p = in->Progressivo.ToWholeNumber();
    if (!d || !e || !p) return {};
    const auto scope = ReadFiscalYear(in->GConnect, *d, *e, *p);
    if (!scope) return {};
    return Charts(*in->GConnect, *scope, rows, limit);
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return {};
  }
}

}  // namespace veriprog
