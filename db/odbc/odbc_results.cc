// Results of the channel as record-set rows, and the table they can be written back to.
#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which build on its types
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <regex>
#include <set>

#include "db/odbc/odbc_connection.h"
#include "db/odbc/odbc_values.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {
FieldDef FieldFromColumn(std::string name, const Column& c) {
  const int size = c.size > 0 && c.size <= 8000 ? static_cast<int>(c.size) : 0;
  switch (c.sql_type) {
    case SQL_CHAR:
    case SQL_WCHAR:
      return FieldDef::Char(std::move(name), std::max(size, 1), c.nullable);
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
      return FieldDef::VarChar(std::move(name), size, c.nullable);
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return FieldDef::Numeric(std::move(name), std::clamp(size, 1, Decimal::kMaxPrecision),
                               std::clamp(c.digits, 0, Decimal::kMaxScale), c.nullable);
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      return FieldDef::Numeric(std::move(name), Decimal::kMaxPrecision, 0, c.nullable);
    case SQL_INTEGER:
      return FieldDef::Integer(std::move(name), 4, c.nullable);
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return FieldDef::Integer(std::move(name), 2, c.nullable);
    case SQL_BIGINT:
      return FieldDef::Integer(std::move(name), 8, c.nullable);
    case SQL_BIT:
      return FieldDef::Boolean(std::move(name), c.nullable);
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return FieldDef::Date(std::move(name), c.nullable);
    default:
      return FieldDef::VarChar(std::move(name), 0, c.nullable);  // long texts, GUIDs and the rest
  }
}

Variant ValueFromText(const FieldDef& field, const Column& column, std::string text) {
  switch (field.type) {
    case FieldType::kBoolean:
      if (text == "1" || text == "t" || text == "true") return true;
      if (text == "0" || text == "f" || text == "false") return false;
      break;
    case FieldType::kInteger: {
      // Whole numbers come written plainly: read them without a detour through decimals.
      if (auto n = PlainWholeNumber(text)) return *n;
      if (auto v = Variant(text).ToInteger()) return *v;
      break;
    }
    case FieldType::kDecimal:
      if (auto d = Decimal::TryParse(text)) return *d;
      if (column.sql_type == SQL_FLOAT || column.sql_type == SQL_REAL ||
          column.sql_type == SQL_DOUBLE) {
        throw DbError("floating-point value " + text + " of field " + field.name +
                      " cannot be read exactly");
      }
      break;
    case FieldType::kDateTime:
      if (auto d = DateTime::Parse(text)) return *d;
      break;
    default:
      return text;
  }
  throw DbError("cannot read '" + text + "' as the value of field " + field.name);
}

namespace {

// The one table of "SELECT * FROM table [WITH (NOLOCK)] [WHERE ...] [ORDER BY ...]", for
// drivers that do not say where result columns come from.
std::optional<std::string> SingleTableOf(std::string_view source) {
  static const std::regex kSelectStar(
      R"(^\s*SELECT\s+\*\s+FROM\s+((?:\[[^\]]+\]|\w+)(?:\.(?:\[[^\]]+\]|\w+))?))"
      R"((?:\s+WITH\s*\(\s*NOLOCK\s*\))?(?:\s+(?:WHERE|ORDER\s+BY)\s[\s\S]*)?\s*;?\s*$)",
      std::regex::icase);
  std::match_results<std::string_view::const_iterator> match;
  if (!std::regex_match(source.begin(), source.end(), match, kSelectStar)) return std::nullopt;
  return match[1].str();
}

std::string Unbracket(std::string_view name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  return std::string(name);
}

}  // namespace

QueryResult OdbcConnection::ToQueryResult(Result result, std::string_view source,
                                          const RowFilter* keep) {
  std::vector<FieldDef> fields;
  std::set<std::string> names;
  for (const Column& c : result.columns) {
    // PostgreSQL folds unquoted names to lower case; the component reads them in upper case.
    const std::string base = dialect_ == Dialect::kPostgres ? ToUpperAscii(c.name) : c.name;
    std::string name = base;
    for (int n = 2; names.contains(ToUpperAscii(name)); ++n)
      name = base + "_" + std::to_string(n);
    names.insert(ToUpperAscii(name));
    fields.push_back(FieldFromColumn(std::move(name), c));
  }
  auto target = TargetOf(result, source);
  std::vector<std::vector<Variant>> rows;
  if (keep == nullptr) rows.reserve(result.rows.size());
  for (auto& cells : result.rows) {
    auto& values = rows.emplace_back();
    values.reserve(cells.size());
    for (std::size_t f = 0; f < cells.size() && f < fields.size(); ++f) {
      values.push_back(cells[f] ? ValueFromText(fields[f], result.columns[f], std::move(*cells[f]))
                                : Variant::Null());
    }
    if (keep != nullptr) {
      std::vector<std::optional<std::string>>().swap(cells);  // seen: its text goes now
      if (!(*keep)(fields, values)) rows.pop_back();
    }
  }
  // A decimal column keeps every digit its values have, whatever the driver guessed for sums
  // and literals.
  for (std::size_t f = 0; f < fields.size(); ++f) {
    FieldDef& field = fields[f];
    if (field.type != FieldType::kDecimal) continue;
    int integer_digits = field.precision - field.scale;
    for (const auto& values : rows) {
      if (values[f].kind() != Variant::Kind::kDecimal) continue;
      field.scale = std::max(field.scale, values[f].AsDecimal().scale());
      integer_digits = std::max(integer_digits, values[f].AsDecimal().integer_digits());
    }
    field.precision =
        std::min(Decimal::kMaxPrecision, std::max(field.precision, integer_digits + field.scale));
  }
  auto table = std::make_shared<RowTable>();
  for (auto& field : fields)
    table->AppendField(std::move(field));
  for (auto& values : rows)
    table->AppendLoadedRow(std::move(values));
  return QueryResult{std::move(table), std::move(target)};
}

std::shared_ptr<const WriteTarget> OdbcConnection::TargetOf(const Result& result,
                                                            std::string_view source) {
  if (result.columns.empty()) return nullptr;
  std::string schema, table;
  std::vector<std::string> columns;
  const Column& first = result.columns[0];
  if (!first.base_table.empty()) {
    for (const Column& c : result.columns) {
      if (c.base_table != first.base_table || c.base_schema != first.base_schema ||
          c.base_column.empty()) {
        return nullptr;  // a join, or a computed column
      }
      columns.push_back(c.base_column);
    }
    schema = first.base_schema;
    table = first.base_table;
  } else {
    auto named = SingleTableOf(source);
    if (!named) return nullptr;
    const std::size_t dot = named->find('.');
    if (dot != std::string::npos && named->front() != '[') {
      schema = Unbracket(named->substr(0, dot));
      table = Unbracket(named->substr(dot + 1));
    } else if (auto close = named->find("]."); close != std::string::npos) {
      schema = Unbracket(named->substr(0, close + 1));
      table = Unbracket(named->substr(close + 2));
    } else {
      table = Unbracket(*named);
    }
    for (const Column& c : result.columns)
      columns.push_back(c.name);
  }
  if (table.empty() || table[0] == '#') return nullptr;  // temporary tables have no key
  const std::string sql_name = (schema.empty() ? "" : QuoteName(schema) + ".") + QuoteName(table);
  auto it = tables_.find(sql_name);
  if (it == tables_.end()) {
    it = tables_.emplace(sql_name, TableInfo{channel_->PrimaryKey(schema, table), ""}).first;
  }
  TableInfo& info = it->second;
  if (info.key.empty()) return nullptr;
  auto target = std::make_shared<WriteTarget>();
  target->table = sql_name;
  for (std::size_t f = 0; f < columns.size(); ++f) {
    if (result.columns[f].auto_unique) info.identity = columns[f];
    const bool in_key = std::any_of(info.key.begin(), info.key.end(), [&](const std::string& k) {
      return EqualsIgnoreCase(k, columns[f]);
    });
    if (in_key) target->key_fields.push_back(f);
  }
  if (target->key_fields.size() != info.key.size()) return nullptr;  // key not selected
  target->columns = std::move(columns);
  return target;
}

}  // namespace veriprog::db::odbc
