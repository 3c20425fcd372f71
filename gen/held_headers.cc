#include "gen/held_headers.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

namespace veriprog::gen {

std::string RegistrationNumber(int anno, int progressivo, int sequence) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d/%07d", anno, progressivo, sequence);
  return buf;
}

const std::vector<std::string>& HeldHeaders::HeaderColumns() {
  static const std::vector<std::string> kColumns = {
      "CG41_DITTA_CG18", "CG41_NUMREG",      "CG41_ANNO_CG19",   "CG41_PROGESER_CG19",
      "CG41_DATAREG",    "CG41_CODICE_CG33", "CG41_CODICE_CG31", "CG41_INDTIPOMOV",
      "CG41_INDPROVREG", "CG41_DATAREGIVA",  "CG41_DATACOMP",    "CG41_INDTIPOREG",
      "CG41_SEZIONALE",  "CG41_FLGSEGNOIVA", "CG41_RIFPADRE",    "CG41_FLGDELETE"};
  return kColumns;
}

std::uint32_t HeldHeaders::Text(const Opt& text) {
  if (!text) return kNullText;
  auto [it, added] = text_ids_.try_emplace(*text, static_cast<std::uint32_t>(texts_.size()));
  if (added) texts_.push_back(*text);
  return it->second;
}

std::uint32_t HeldHeaders::Parent(const Opt& text, int anno, int progressivo) {
  if (text) {
    const std::size_t slash = text->rfind('/');
    const int sequence = slash == std::string::npos ? -1 : std::atoi(text->c_str() + slash + 1);
    if (sequence >= 0 && static_cast<std::uint32_t>(sequence) < kSequence - 1 &&
        *text == RegistrationNumber(anno, progressivo, sequence)) {
      return kSequence | static_cast<std::uint32_t>(sequence);
    }
  }
  return Text(text);
}

Opt HeldHeaders::TextOf(const Held& h, std::uint32_t id) const {
  if (id == kNullText) return std::nullopt;
  if ((id & kSequence) != 0) {
    return RegistrationNumber(h.anno, h.progressivo, static_cast<int>(id & ~kSequence));
  }
  return texts_[id];
}

void HeldHeaders::Add(int ditta, int anno, int progressivo, const Registration& reg) {
  const std::size_t slash = reg.numreg.rfind('/');
  const int sequence = slash == std::string::npos ? 0 : std::atoi(reg.numreg.c_str() + slash + 1);
  if (reg.numreg != RegistrationNumber(anno, progressivo, sequence)) {
    throw std::logic_error("generator: registration " + reg.numreg + " is not numbered in turn");
  }
  auto days = [](const std::optional<Date>& d) { return d ? d->Days() : kNone; };
  auto small = [](std::optional<int> v) { return static_cast<std::int8_t>(v ? *v : -1); };
  if (recent_.size() == kRecent) {
    const Held& h = recent_.front();
    older_.Write(std::string_view(reinterpret_cast<const char*>(&h), sizeof h));
    ++spooled_;
    recent_.pop_front();
  }
  recent_.push_back({sequence, reg.date.Days(), days(reg.dataregiva), days(reg.datacomp),
                     reg.branch ? *reg.branch : kNone, Text(reg.causal), Text(reg.sezionale),
                     Parent(reg.rifpadre, anno, progressivo), static_cast<std::int16_t>(ditta),
                     static_cast<std::int16_t>(anno), static_cast<std::int8_t>(progressivo),
                     static_cast<std::int8_t>(reg.tipomov), static_cast<std::int8_t>(reg.provreg),
                     small(reg.indtiporeg), static_cast<std::int8_t>(reg.flgsegnoiva),
                     small(reg.flgdelete)});
}

bool HeldHeaders::Link(const std::string& numreg, const Opt& rifpadre,
                       std::optional<int> flgdelete) {
  // Links come just after their registration: the search from the end is short.
  for (auto it = recent_.rbegin(); it != recent_.rend(); ++it) {
    if (RegistrationNumber(it->anno, it->progressivo, it->sequence) != numreg) continue;
    if (rifpadre) it->rifpadre = Parent(rifpadre, it->anno, it->progressivo);
    it->flgdelete = static_cast<std::int8_t>(flgdelete ? *flgdelete : -1);
    return true;
  }
  return false;
}

void HeldHeaders::ForEach(const std::function<void(std::span<const Opt>)>& row) {
  auto date = [](std::int32_t d) {
    return d == kNone ? std::nullopt : S(Date::FromDays(d).Text());
  };
  auto small = [](std::int8_t v) { return v < 0 ? std::nullopt : N(v); };
  std::vector<Opt> values(HeaderColumns().size());
  auto one = [&](const Held& h) {
    values = {N(h.ditta),
              S(RegistrationNumber(h.anno, h.progressivo, h.sequence)),
              N(h.anno),
              N(h.progressivo),
              date(h.date),
              TextOf(h, h.causal),
              h.branch == kNone ? std::nullopt : N(h.branch),
              N(h.tipomov),
              N(h.provreg),
              date(h.dataregiva),
              date(h.datacomp),
              small(h.indtiporeg),
              TextOf(h, h.sezionale),
              N(h.flgsegnoiva),
              TextOf(h, h.rifpadre),
              small(h.flgdelete)};
    row(values);
  };
  older_.Rewind();
  for (std::size_t n = 0; n < spooled_; ++n) {
    Held h;
    older_.Read(reinterpret_cast<char*>(&h), sizeof h);
    one(h);
  }
  for (const Held& h : recent_)
    one(h);
}

}  // namespace veriprog::gen
