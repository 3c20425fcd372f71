// The ledger part of the SQL-text kit every family composes its statements with (the generic
// part, lines, quoting and whole numbers, is db/sql_text.h): the batch that drops temporary tables,
// the identifiers of the ledger tables whose physical names the table-name resolver gives, and the
// condition that places a row of a totals table in a company's fiscal year. The texts they produce
// are part of what a SQL Server ledger receives: blanks and separators matter.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "db/sql_text.h"

namespace veriprog {

// The generic kit, under the names the families write their statements with.
using db::Concat;
using db::JoinBetween;
using db::JoinLines;
using db::kCR;
using db::kCRLF;
using db::LineBreak;
using db::SqlLines;
using db::SqlNumber;
using db::SqlText;
using db::SqlWholeNumber;

// The batch that drops temporary tables when they exist: per table
// "IF OBJECT_ID(N'tempdb..#T', N'U') IS NOT NULL" CR "  DROP TABLE #T ;" CR, one more CR between
// two tables.
std::string DropTempTablesBatch(std::initializer_list<std::string_view> tables);

// Ledger tables reached through GetTableName. The account totals have two identifiers each: one
// for the statements that write them, one for those that read or join them.
enum class TableId : int {
  kCG53 = 2,       // yearly account totals, written
  kCG52 = 3,       // monthly account totals, written
  kCGV0 = 4,       // yearly totals per currency, written
  kCGV1 = 5,       // monthly totals per currency
  kCG41 = 55,      // registration headers
  kCG42 = 56,      // journal lines
  kCG53Read = 57,  // yearly account totals, read
  kCG52Read = 58,  // monthly account totals, read
  kCGV0Read = 59,  // yearly totals per currency, read
};

// The columns that place a row in a company's fiscal year, and its chart group where the table
// has one ("" where it has none).
struct FiscalYearColumns {
  std::string_view ditta, anno, progressivo, gruppo;
};
inline constexpr FiscalYearColumns kCG42Year{"CG42_DITTA_CG18", "CG42_ANNO_CG19",
                                             "CG42_PROGESER_CG19", ""};
inline constexpr FiscalYearColumns kCG52Year{"CG52_DITTA_CG18", "CG52_ANNO_CG53",
                                             "CG52_PROGESER_CG53", "CG52_GRUPPO_CG10"};
inline constexpr FiscalYearColumns kCG53Year{"CG53_DITTA_CG18", "CG53_ANNO_CG19",
                                             "CG53_PROGESER_CG19", "CG53_GRUPPO_CG10"};

// Company, fiscal year, sequence and (when asked for) chart group as SQL text.
struct FiscalYearKey {
  std::string ditta, esercizio, progressivo, gruppo;
};

// The key as condition lines: `first` + "DITTA = d", then `and_word` + "ANNO = e",
// `and_word` + "PROGESER = p" and, when both the table and the key have a group,
// `and_word` + "GRUPPO = g". For " WHERE " and " AND " the lines read
// " WHERE CG52_DITTA_CG18 = 1", " AND CG52_ANNO_CG53 = 2024", ...
std::vector<std::string> FiscalYearCondition(const FiscalYearColumns& columns,
                                             const FiscalYearKey& key, std::string_view first,
                                             std::string_view and_word);

}  // namespace veriprog
