// Two things a tool beside the operations reads of the ledger's registry, through the same outside
// components the operations use: the dates of a company's fiscal year and the physical name of a
// ledger table. Nothing here throws.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "veriprog/connection.h"
#include "veriprog/date_time.h"

namespace veriprog {

struct FiscalYearDates {
  db::DateTime start, end;
};

// The first and last day of the fiscal year, or nullopt when the registry does not know it.
std::optional<FiscalYearDates> ReadFiscalYearDates(
    const std::shared_ptr<db::Connection>& connection, std::int64_t ditta, std::int64_t esercizio,
    std::int64_t progressivo);

// The physical name of a ledger table identifier, as every operation resolves it.
std::string LedgerTableName(int table_id);

}  // namespace veriprog
