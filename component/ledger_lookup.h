// What the services read of the ledger's registry, through the same outside components the
// operations use: a company's fiscal year and the physical name of a ledger table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "frame/sql_text.h"
#include "veriprog/connection.h"
#include "veriprog/explain.h"

namespace veriprog {

// The company's fiscal year with its first and last day, or nullopt when the fiscal-year reader
// does not know it. Never throws.
std::optional<FiscalScope> ReadFiscalYear(const std::shared_ptr<db::Connection>& connection,
                                          std::int64_t ditta, std::int64_t esercizio,
                                          std::int64_t progressivo);

// The physical name of a ledger table, as every operation resolves it.
std::string LedgerTable(TableId id);

}  // namespace veriprog
