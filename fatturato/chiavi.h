// Keys of the turnover and VAT-amount rows, compared as the ledger compares them: accounts and
// currencies without trailing blanks and without case, a Null account as '', a Null
// customer/supplier type or code, year, month or branch as 0. The working record sets and the
// stored totals are found through these keys, so that a total stored with Null in a key column
// is the same total as one stored with 0.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "veriprog/decimal.h"
#include "veriprog/row_table.h"
#include "veriprog/variant.h"

namespace veriprog::fatturato {

class Chiave {
 public:
  Chiave& Codice(const db::Variant& value);  // account, currency
  Chiave& Numero(const db::Variant& value);  // customer/supplier, year, month, branch, ids
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// The accounting currency: "EURO" (trailing blanks and case aside), or no currency at all.
bool IsEuro(const db::Variant& valuta);
// A currency as a key of the per-currency sums and as written: NVL "EURO", no trailing blanks.
std::string CodiceValuta(const db::Variant& valuta);
// An account as written to a totals table: no trailing blanks (the working record sets pad it).
db::Variant ContoScritto(const db::Variant& conto);
// An amount as the ledger reads it: Null as 0; anything that is not a number is an error.
db::Decimal Importo(const db::Variant& value);
// A whole number the ledger keeps (customer type, branch, year): Null as 0.
db::Variant NumeroOZero(const db::Variant& value);

// Row ids by key, keeping the first row of each key: the row a filter on that key finds first.
class IndiceChiavi {
 public:
  void Add(const Chiave& key, db::RowId row) { rows_.try_emplace(key.str(), row); }
  std::optional<db::RowId> Find(const Chiave& key) const {
    auto it = rows_.find(key.str());
    if (it == rows_.end()) return std::nullopt;
    return it->second;
  }
  void Clear() { rows_.clear(); }

 private:
  std::unordered_map<std::string, db::RowId> rows_;
};

}  // namespace veriprog::fatturato
