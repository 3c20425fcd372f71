// Registration headers waiting for their journal lines to be in (or, where the server checks
// links row by row, to go in before them), kept small: a ledger of ten million lines has three
// million of them. Numbers (a parent's too) are kept as their running part, repeated texts once;
// all but the last few thousand wait packed in a spool, out of memory.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "gen/ledger_writer.h"
#include "gen/spool.h"

namespace veriprog::gen {

// The registration number of a fiscal year's `sequence`-th registration.
std::string RegistrationNumber(int anno, int progressivo, int sequence);

class HeldHeaders {
 public:
  // Keeps the header of a registration numbered by RegistrationNumber; throws std::logic_error
  // for any other number.
  void Add(int ditta, int anno, int progressivo, const Registration& reg);
  // Sets the parent (nullopt keeps the one it has) and the deleted mark of a registration added
  // lately (among the last kRecent); false when none of them has that number.
  bool Link(const std::string& numreg, const Opt& rifpadre, std::optional<int> flgdelete);
  // Every header in the order added, as the values of HeaderColumns(); once, and no more are
  // added afterwards.
  void ForEach(const std::function<void(std::span<const Opt>)>& row);
  static const std::vector<std::string>& HeaderColumns();

 private:
  static constexpr std::size_t kRecent = 4096;
  static constexpr std::int32_t kNone = INT32_MIN;
  static constexpr std::uint32_t kNullText = UINT32_MAX;
  static constexpr std::uint32_t kSequence = 0x80000000u;  // a number of the same fiscal year
  struct Held {
    std::int32_t sequence, date, dataregiva, datacomp, branch;
    std::uint32_t causal, sezionale, rifpadre;
    std::int16_t ditta, anno;
    std::int8_t progressivo, tipomov, provreg, indtiporeg, flgsegnoiva, flgdelete;
  };
  std::uint32_t Text(const Opt& text);
  std::uint32_t Parent(const Opt& text, int anno, int progressivo);
  Opt TextOf(const Held& h, std::uint32_t id) const;

  std::deque<Held> recent_;  // the last ones added, which a link may still change
  Spool older_;
  std::size_t spooled_ = 0;
  std::vector<std::string> texts_;
  std::map<std::string, std::uint32_t> text_ids_;
};

}  // namespace veriprog::gen
