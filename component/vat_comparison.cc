#include "veriprog/vat_comparison.h"

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/text.h"

namespace veriprog {
namespace {

constexpr const char* kKey[] = {"ANNO",      "TIPOREGISTRO", "SEZIONALE",
                                "CODICEIVA", "TIPOIVA",      "MESE"};
constexpr const char* kProgr[] = {"IMPONIBILEPROGR", "IMPOSTAPROGR", "IMPOSTANDPROGR"};
constexpr const char* kMov[] = {"IMPONIBILEMOV", "IMPOSTAMOV", "IMPOSTANDMOV"};
constexpr const char* kDiff[] = {"DIFFIMPONIBILE", "DIFFIMPOSTA", "DIFFIMPOSTAND"};

struct Totals {
  std::array<db::Variant, 6> key;
  std::array<db::Decimal, 3> progr{};
  std::array<db::Decimal, 3> mov{};
};

// The key as text: codes compare without their padding, as the database compares them.
std::string KeyText(const db::Recordset& rs) {
  std::string out;
  for (const char* field : kKey) {
    const db::Variant& v = rs.Get(field);
    out += v.is_null() ? std::string("\x1e") : std::string(db::TrimRight(v.ToText()));
    out += '\x1f';
  }
  return out;
}

db::Decimal Amount(const db::Recordset& rs, const char* field) {
  return rs.Get(field).ToDecimal().value_or(db::Decimal());
}

std::shared_ptr<db::Recordset> CompareByKey(db::Recordset& rows) {
  std::vector<Totals> keys;
  std::unordered_map<std::string, std::size_t> index;
  if (rows.is_open()) {
    for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
      auto [it, added] = index.try_emplace(KeyText(rows), keys.size());
      if (added) {
        Totals t;
        for (std::size_t i = 0; i < t.key.size(); ++i)
          t.key[i] = rows.Get(kKey[i]);
        keys.push_back(std::move(t));
      }
      Totals& t = keys[it->second];
      const bool stored = db::Trim(rows.Get("TIPORECORD").ToText()) == "PGR";
      for (std::size_t i = 0; i < 3; ++i) {
        if (stored) {
          t.progr[i] += Amount(rows, kProgr[i]);
        } else {
          t.mov[i] += Amount(rows, kMov[i]);
        }
      }
    }
  }

  auto out = std::make_shared<db::Recordset>();
  out->AppendField(db::FieldDef::Numeric("ANNO", 4, 0));
  out->AppendField(db::FieldDef::Numeric("TIPOREGISTRO", 2, 0));
  out->AppendField(db::FieldDef::Char("SEZIONALE", 2));
  out->AppendField(db::FieldDef::Char("CODICEIVA", 4));
  out->AppendField(db::FieldDef::Numeric("TIPOIVA", 2, 0));
  out->AppendField(db::FieldDef::Numeric("MESE", 2, 0));
  for (const auto* group : {kProgr, kMov, kDiff}) {
    for (std::size_t i = 0; i < 3; ++i)
      out->AppendField(db::FieldDef::Numeric(group[i], 17, 2));
  }
  out->AppendField(db::FieldDef::Char("FLAGSBIL", 2));
  out->Open();
  for (const Totals& t : keys) {
    out->AddNew();
    for (std::size_t i = 0; i < t.key.size(); ++i)
      out->Set(kKey[i], t.key[i]);
    bool differs = false;
    for (std::size_t i = 0; i < 3; ++i) {
      out->Set(kProgr[i], t.progr[i]);
      out->Set(kMov[i], t.mov[i]);
      const db::Decimal diff = t.mov[i] - t.progr[i];
      out->Set(kDiff[i], diff.is_zero() ? db::Variant::Null() : db::Variant(diff));
      differs = differs || !diff.is_zero();
    }
    out->Set("FLAGSBIL", differs ? db::Variant("Si") : db::Variant::Null());
    out->Update();
  }
  if (out->RecordCount() > 0) out->MoveFirst();
  return out;
}

}  // namespace

std::shared_ptr<db::Recordset> CompareVatTotals(db::Recordset& rows, std::string* error) {
  try {
    return CompareByKey(rows);
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return nullptr;
  }
}

}  // namespace veriprog
