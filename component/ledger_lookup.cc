#include "component/ledger_lookup.h"

#include "veriprog/services.h"

namespace veriprog {

std::optional<FiscalScope> ReadFiscalYear(const std::shared_ptr<db::Connection>& connection,
                                          std::int64_t ditta, std::int64_t esercizio,
                                          std::int64_t progressivo) {
  try {
    auto reader = outside::OutsideComponents::Defaults().fiscal_year();
    reader->Load(connection, db::Variant(), db::Variant(ditta), db::Variant(esercizio),
                 db::Variant(progressivo));
    if (reader->ErrorIndicator() != 0) return std::nullopt;
    auto date = [](const db::Variant& v) -> std::optional<db::DateTime> {
      if (v.kind() == db::Variant::Kind::kDateTime) return v.AsDateTime();
      return db::DateTime::Parse(v.ToText());
    };
    const auto start = date(reader->DataInizio());
    const auto end = date(reader->DataFine());
    if (!start || !end) return std::nullopt;
    return FiscalScope{ditta, esercizio, progressivo, *start, *end};
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string LedgerTable(TableId id) {
  return outside::OutsideComponents::Defaults().table_names()->TableName(0, static_cast<int>(id));
}

}  // namespace veriprog
