// Rewrites one T-SQL statement (or expression) into PostgreSQL text with the same meaning:
// temp tables, lock hints, ISNULL, TOP, SELECT ... INTO, joined DELETE, OUTER APPLY, national
// types and literals, NULL ordering, OBJECT_ID, @variables. Functions that PostgreSQL lacks
// (NEWID, YEAR, MONTH, dbo.CRV_GETDATE, text +) are SQL objects of the development schema and
// pass through unchanged. What cannot be translated is a DbError naming the construct.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/postgres/tsql_lexer.h"

namespace veriprog::db::tsql {

// SQL literal standing for a variable ("@DITTA", "@@ROWCOUNT"), or nullopt when unknown.
using VariableLookup = std::function<std::optional<std::string>(const std::string& upper_name)>;

struct Translation {
  std::string sql;
  // Temporary tables the statement creates or fills; their statistics are refreshed afterwards,
  // since autovacuum never analyses temporary tables and later joins depend on them.
  std::vector<std::string> filled_temp_tables;
  // For a temporary table made by SELECT ... INTO ... ORDER BY plain columns: those columns.
  // The table is indexed on them, so that correlated look-ups into it (EXISTS under OR, which
  // PostgreSQL cannot turn into a join) do not scan it once per outer row.
  std::vector<std::string> index_columns;
};

// "a, b, c": the columns of an index.
std::string ColumnList(const std::vector<std::string>& columns);

Translation TranslateStatement(std::vector<Token> tokens, const VariableLookup& variables);
std::string TranslateExpression(std::vector<Token> tokens, const VariableLookup& variables);
// A T-SQL type (DECIMAL(5,0), DATETIME, NVARCHAR(40), BIT) as a PostgreSQL type.
std::string TranslateType(std::vector<Token> tokens);

// The name a temporary table #name has on PostgreSQL: pg_temp."#NAME", so that #a and #A are one
// table and a permanent table of the same name is never reached.
std::string TempTableName(std::string_view tsql_name);

}  // namespace veriprog::db::tsql
