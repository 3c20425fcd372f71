#include "fatturato/chiavi.h"

#include "db/text.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"

namespace veriprog::fatturato {
namespace {

constexpr char kSeparator = '\x1f';

}  // namespace

Chiave& Chiave::Codice(const db::Variant& value) {
  text_ += db::ToUpperAscii(db::TrimRight(NVL(value, "").ToText()));
  text_ += kSeparator;
  return *this;
}

Chiave& Chiave::Numero(const db::Variant& value) {
  // Whole numbers, the common case, straight to text; other numbers without trailing zeros, so
  // that 5, 5.0 and "5" are one key.
  if (value.kind() == db::Variant::Kind::kInteger) {
    text_ += std::to_string(value.AsInteger());
    text_ += kSeparator;
    return *this;
  }
  const db::Variant v = NVL(value, 0);
  if (auto number = v.ToDecimal()) {
    text_ += number->Normalized().ToString();
  } else {
    text_ += '\'';  // a text that is no number matches only the same text
    text_ += v.ToText();
  }
  text_ += kSeparator;
  return *this;
}

bool IsEuro(const db::Variant& valuta) {
  return db::CompareSqlText(NVL(valuta, "EURO").ToText(), "EURO") == 0;
}

std::string CodiceValuta(const db::Variant& valuta) {
  return std::string(db::TrimRight(NVL(valuta, "EURO").ToText()));
}

db::Variant ContoScritto(const db::Variant& conto) {
  if (conto.kind() != db::Variant::Kind::kString) return conto;
  return std::string(db::TrimRight(conto.AsString()));
}

db::Decimal Importo(const db::Variant& value) {
  if (auto number = NVL(value, 0).ToDecimal()) return *number;
  throw db::ValueError("importo non numerico: '" + value.ToText() + "'");
}

db::Variant NumeroOZero(const db::Variant& value) {
  return NVL(value, 0);
}

}  // namespace veriprog::fatturato
