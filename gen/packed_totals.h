// The account totals the core generator works out while the journal streams, kept small: a ledger
// of ten million lines has some two million monthly totals. A key is packed in 64 bits (the party,
// its branch, the calendar month, the currency) and sits beside its figures in one open table,
// with no node or text per total; the parties (account, customer/supplier type and code) and the
// currencies are numbered once each. When the journal is in, each table is sorted into the order
// the keys have as the ledger compares them, the order the totals are numbered and written in.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace veriprog::gen {

// Bits of a packed key, from the top: party 24, branch 12, month 16 (year * 12 + month - 1; 0 in
// a yearly key), currency 12 (0 for the euro figures, else the currency's number + 1).
struct PackedKey {
  static constexpr int kPartyShift = 40, kBranchShift = 28, kMonthShift = 12;
  static constexpr std::uint64_t kMonthMask = 0xffffull << kMonthShift;
  static constexpr std::uint64_t kCurrencyMask = 0xfffull;

  static std::uint64_t Make(std::uint32_t party, int branch, int year = 0, int month = 0,
                            std::uint32_t currency = 0) {
    const int ym = year == 0 ? 0 : year * 12 + month - 1;
    if (party >= (1u << 24) - 1 || branch < 0 || branch > 0xfff || ym < 0 || ym > 0xffff ||
        currency > 0xfff) {
      throw std::runtime_error("generator: an account total's key out of the generator's range");
    }
    return static_cast<std::uint64_t>(party) << kPartyShift |
           static_cast<std::uint64_t>(branch) << kBranchShift |
           static_cast<std::uint64_t>(ym) << kMonthShift | currency;
  }
  static std::uint32_t Party(std::uint64_t k) {
    return static_cast<std::uint32_t>(k >> kPartyShift);
  }
  static int Branch(std::uint64_t k) { return static_cast<int>((k >> kBranchShift) & 0xfff); }
  static int Year(std::uint64_t k) { return static_cast<int>((k >> kMonthShift) & 0xffff) / 12; }
  static int Month(std::uint64_t k) {
    return static_cast<int>((k >> kMonthShift) & 0xffff) % 12 + 1;
  }
  static std::uint32_t Currency(std::uint64_t k) {
    return static_cast<std::uint32_t>(k & kCurrencyMask);
  }
  // The yearly euro key a monthly or currency key belongs to.
  static std::uint64_t Yearly(std::uint64_t k) { return k & ~(kMonthMask | kCurrencyMask); }
  static std::uint64_t Euro(std::uint64_t k) { return k & ~kCurrencyMask; }
};

// Things numbered as they first come, and ranked in their own order once all are in.
template <typename Thing, typename Hash = std::hash<Thing>>
class Numbering {
 public:
  std::uint32_t Id(const Thing& thing) {
    auto [it, added] = ids_.try_emplace(thing, static_cast<std::uint32_t>(things_.size()));
    if (added) things_.push_back(thing);
    return it->second;
  }
  // Ranks every id by its thing's order; ByRank gives the thing of a rank afterwards.
  std::vector<std::uint32_t> Rank() {
    std::vector<std::uint32_t> order(things_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
      order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return things_[a] < things_[b]; });
    std::vector<std::uint32_t> rank(order.size());
    std::vector<Thing> ranked(order.size());
    for (std::uint32_t r = 0; r < order.size(); ++r) {
      rank[order[r]] = r;
      ranked[r] = things_[order[r]];
    }
    things_ = std::move(ranked);
    ids_.clear();
    return rank;
  }
  const Thing& ByRank(std::uint32_t rank) const { return things_[rank]; }

 private:
  std::unordered_map<Thing, std::uint32_t, Hash> ids_;
  std::vector<Thing> things_;
};

// Figures by packed key: open addressing, each key beside its figures.
template <typename Value>
class PackedTable {
 public:
  struct Entry {
    std::uint64_t key;
    Value value;
  };

  Value& operator[](std::uint64_t key) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
      Entry& e = slots_[i];
      if (e.key == key) return e.value;
      if (e.key == kEmpty) {
        e.key = key;
        ++count_;
        return e.value;
      }
    }
  }

  // Every entry, its key rewritten by `order` (which must keep keys apart), sorted by the
  // rewritten keys; the table is left empty.
  std::vector<Entry> Sorted(const std::function<std::uint64_t(std::uint64_t)>& order) {
    std::vector<Entry> out = std::move(slots_);
    std::size_t n = 0;
    for (Entry& e : out) {
      if (e.key == kEmpty) continue;
      out[n++] = {order(e.key), e.value};
    }
    out.resize(n);
    out.shrink_to_fit();
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    slots_.clear();
    count_ = 0;
    return out;
  }

 private:
  static constexpr std::uint64_t kEmpty = ~0ull;  // no party has the top number

  static std::size_t Hash(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    return static_cast<std::size_t>(k);
  }

  void Grow() {
    std::vector<Entry> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, Entry{kEmpty, Value{}});
    count_ = 0;
    for (const Entry& e : old) {
      if (e.key != kEmpty) (*this)[e.key] = e.value;
    }
  }

  std::vector<Entry> slots_;
  std::size_t count_ = 0;
};

}  // namespace veriprog::gen
