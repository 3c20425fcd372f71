#include "veriprog/services.h"

#include "db/sql_text.h"
#include "db/text.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::outside {
namespace {

class DevelopmentTableNames final : public TableNameResolver {
 public:
  std::string TableName(int /*accounting_type*/, int table_id) override {
    switch (table_id) {
      case 2:
      case 57:
        return "CG53_PROGA";
      case 3:
      case 58:
        return "CG52_PROGM";
      case 4:
      case 59:
        return "CGV0_PROGAVAL";
      case 5:
        return "CGV1_PROGMVAL";
      case 55:
        return "CG41_PRIMANOTA";
      case 56:
        return "CG42_MOVCONT";
      default:
        throw db::OutsideError("identificativo di tabella sconosciuto: " +
                               std::to_string(table_id));
    }
  }
};

// Accepts the forms dates take in the ledger: 2024-01-31 (with or without time), 20240131 and
// the Italian 31/01/2024.
class DateFormatter final : public DbDateFormatter {
 public:
  std::optional<std::string> DatabaseText(std::string_view text) override {
    text = db::Trim(text);
    if (auto d = db::DateTime::Parse(text)) return d->ToCompactDate();
    if (text.size() == 10 && text[2] == '/' && text[5] == '/') {
      const std::string iso = std::string(text.substr(6, 4)) + "-" +
                              std::string(text.substr(3, 2)) + "-" + std::string(text.substr(0, 2));
      if (auto d = db::DateTime::Parse(iso)) return d->ToCompactDate();
    }
    return std::nullopt;
  }
};

class NumberFormatter final : public DbNumberFormatter {
 public:
  std::string DatabaseText(const db::Decimal& number) override { return number.ToString(); }
};

class DbFiscalYear final : public FiscalYearObject {
 public:
  void Load(std::shared_ptr<db::Connection> connection, const db::Variant& /*connection_string*/,
            const db::Variant& ditta, const db::Variant& esercizio,
            const db::Variant& progressivo) override {
    error_ = 1;
    const auto d = ditta.ToInteger();
    const auto e = esercizio.ToInteger();
    const auto p = progressivo.ToInteger();
    if (!connection || !d || !e || !p) return;
    db::Recordset rs;
    rs.Open("SELECT CG19_DATAINIZIO, CG19_DATAFINE FROM CG19_ESERCIZI WHERE CG19_DITTA_CG18 = " +
                db::SqlNumber(*d) + " AND CG19_ANNO = " + db::SqlNumber(*e) +
                " AND CG19_PROGESER = " + db::SqlNumber(*p),
            connection);
    if (rs.eof()) return;
    start_ = rs.Get("CG19_DATAINIZIO");
    end_ = rs.Get("CG19_DATAFINE");
    error_ = 0;
  }
  int ErrorIndicator() const override { return error_; }
  db::Variant DataInizio() const override { return start_; }
  db::Variant DataFine() const override { return end_; }

 private:
  int error_ = 1;
  db::Variant start_;
  db::Variant end_;
};

}  // namespace

std::unique_ptr<TableNameResolver> MakeDevelopmentTableNames() {
  return std::make_unique<DevelopmentTableNames>();
}
std::unique_ptr<DbDateFormatter> MakeDateFormatter() {
  return std::make_unique<DateFormatter>();
}
std::unique_ptr<DbNumberFormatter> MakeNumberFormatter() {
  return std::make_unique<NumberFormatter>();
}
std::unique_ptr<FiscalYearObject> MakeDbFiscalYear() {
  return std::make_unique<DbFiscalYear>();
}

OutsideComponents OutsideComponents::Defaults() {
  return {MakeDbCompanyFactory, MakeDevelopmentTableNames, MakeDateFormatter, MakeNumberFormatter,
          MakeDbFiscalYear};
}

}  // namespace veriprog::outside
