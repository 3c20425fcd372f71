#include <stdexcept>

#include "db/text.h"
#include "veriprog/run_all.h"

namespace veriprog {

std::optional<NumberSet> NumberSet::Parse(const std::string& text, const char* what,
                                          std::string* error) {
  NumberSet set;
  const std::string all(db::Trim(text));
  if (all.empty()) return set;
  auto refuse = [&](const std::string& reason) {
    if (error != nullptr) *error = std::string(what) + ": " + reason;
    return std::nullopt;
  };
  for (std::size_t from = 0; from <= all.size();) {
    std::size_t comma = all.find(',', from);
    if (comma == std::string::npos) comma = all.size();
    const std::string item(db::Trim(std::string_view(all).substr(from, comma - from)));
    auto number = [](const std::string& t) -> std::optional<std::int64_t> {
      if (db::Trim(t).empty()) return std::nullopt;
      return db::Variant(std::string(db::Trim(t))).ToWholeNumber();
    };
    const std::size_t dash = item.find('-', 1);
    const auto lo = number(dash == std::string::npos ? item : item.substr(0, dash));
    const auto hi = dash == std::string::npos ? lo : number(item.substr(dash + 1));
    if (!lo || !hi) return refuse("'" + item + "' is not a whole number or a range like 3-7");
    if (*lo > *hi) return refuse("the range '" + item + "' is empty");
    set.ranges_.emplace_back(*lo, *hi);
    if (dash == std::string::npos) set.singles_.push_back(*lo);
    from = comma + 1;
  }
  return set;
}

bool NumberSet::Contains(std::int64_t n) const {
  if (ranges_.empty()) return true;
  for (const auto& [lo, hi] : ranges_) {
    if (lo <= n && n <= hi) return true;
  }
  return false;
}

const std::vector<RunAllFamily>& RunAllFamilies(bool rebuild) {
  static const std::vector<RunAllFamily> checks = {
      {"accounts", "accounts", true, false},        {"vat", "vat", false, false},
      {"plafond", "plafond", false, false},         {"plafond-activity", "plafond", false, true},
      {"margin", "margin", false, false},           {"margin-activity", "margin", false, true},
      {"agriculture", "agriculture", false, false}, {"travel", "travel", false, false},
  };
  static const std::vector<RunAllFamily> rebuilds = {
      {"accounts", "accounts", true, false},
      {"turnover", "turnover", true, false},
      {"vat", "vat", false, false},
      {"plafond", "plafond", false, false},
      {"plafond-activity", "plafond", false, true},
      {"margin", "margin", false, false},
      {"margin-activity", "margin", false, true},
      {"agriculture", "agriculture", false, false},
      {"travel", "travel", false, false},
  };
  return rebuild ? rebuilds : checks;
}

const OperationInfo* OperationOf(const UnitResult& unit, bool rebuild) {
  for (const RunAllFamily& f : RunAllFamilies(rebuild)) {
    if (f.name == unit.family) return FindOperation(rebuild, f.operation);
  }
  return nullptr;
}

}  // namespace veriprog
