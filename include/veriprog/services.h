// The other outside components the operations call: the table-name resolver, the date and
// number formatters for SQL text, and the fiscal-year reader. OutsideComponents bundles a maker
// for each, so that a host or a test can put its own in place; Defaults() serves the development
// database.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "veriprog/company.h"
#include "veriprog/connection.h"
#include "veriprog/decimal.h"
#include "veriprog/variant.h"

namespace veriprog::outside {

// Physical name of a ledger table identifier for a kind of bookkeeping; throws for an unknown one.
class TableNameResolver {
 public:
  virtual ~TableNameResolver() = default;
  virtual std::string TableName(int accounting_type, int table_id) = 0;
};

// A date as SQL text that the database reads the same under any language setting
// ("YYYYMMDD"), or nullopt when the text is no valid date (its error indicator is not 0).
class DbDateFormatter {
 public:
  virtual ~DbDateFormatter() = default;
  virtual std::optional<std::string> DatabaseText(std::string_view text) = 0;
};

// A number as SQL text: a point as decimal separator, no thousands separator.
class DbNumberFormatter {
 public:
  virtual ~DbNumberFormatter() = default;
  virtual std::string DatabaseText(const db::Decimal& number) = 0;
};

// Loads one fiscal year of a company; ErrorIndicator() is 0 when it was found.
class FiscalYearObject {
 public:
  virtual ~FiscalYearObject() = default;
  virtual void Load(std::shared_ptr<db::Connection> connection,
                    const db::Variant& connection_string, const db::Variant& ditta,
                    const db::Variant& esercizio, const db::Variant& progressivo) = 0;
  virtual int ErrorIndicator() const = 0;
  virtual db::Variant DataInizio() const = 0;
  virtual db::Variant DataFine() const = 0;
};

struct OutsideComponents {
  std::function<std::unique_ptr<CompanyFactory>()> company_factory;
  std::function<std::unique_ptr<TableNameResolver>()> table_names;
  std::function<std::unique_ptr<DbDateFormatter>()> date_formatter;
  std::function<std::unique_ptr<DbNumberFormatter>()> number_formatter;
  std::function<std::unique_ptr<FiscalYearObject>()> fiscal_year;

  static OutsideComponents Defaults();
};

std::unique_ptr<TableNameResolver> MakeDevelopmentTableNames();
std::unique_ptr<DbDateFormatter> MakeDateFormatter();
std::unique_ptr<DbNumberFormatter> MakeNumberFormatter();
std::unique_ptr<FiscalYearObject> MakeDbFiscalYear();

}  // namespace veriprog::outside
