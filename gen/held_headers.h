// Registration headers waiting for their journal lines to be in (or, where the server checks
// links row by row, to go in before them), kept small: a ledger of ten million lines has three
// million of them. Numbers are kept as their running part, repeated texts once.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "gen/ledger_writer.h"

namespace veriprog::gen {

// The registration number of a fiscal year's `sequence`-th registration.
std::string RegistrationNumber(int anno, int progressivo, int sequence);

class HeldHeaders {
 public:
  // Keeps the header of a registration numbered by RegistrationNumber; throws std::logic_error
  // for any other number.
  void Add(int ditta, int anno, int progressivo, const Registration& reg);
  // Sets the parent (nullopt keeps the one it has) and the deleted mark of a registration added
  // lately; false when none of the last ones has that number.
  bool Link(const std::string& numreg, const Opt& rifpadre, std::optional<int> flgdelete);
  // Every header in the order added, as the values of HeaderColumns().
  void ForEach(const std::function<void(std::span<const Opt>)>& row) const;
  static const std::vector<std::string>& HeaderColumns();

 private:
  static constexpr std::int32_t kNone = INT32_MIN;
  static constexpr std::uint32_t kNullText = UINT32_MAX;
  struct Held {
    std::int32_t sequence, date, dataregiva, datacomp, branch;
    std::uint32_t causal, sezionale, rifpadre;
    std::int16_t ditta, anno;
    std::int8_t progressivo, tipomov, provreg, indtiporeg, flgsegnoiva, flgdelete;
  };
  std::uint32_t Text(const Opt& text);
  Opt TextOf(std::uint32_t id) const;

  std::deque<Held> held_;  // grows without moving what it holds
  std::vector<std::string> texts_;
  std::map<std::string, std::uint32_t> text_ids_;
};

}  // namespace veriprog::gen
