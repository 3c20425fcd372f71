// Bulk rows over ODBC: INSERT ... VALUES (?, ...), (?, ...) with a block of rows a statement,
// every value bound as a parameter of its column's type (text as UTF-16 through the channel).
// A block stays within what SQL Server takes in one statement: 2,100 parameters, 1,000 rows.
// PostgreSQL gets a block as one parameter instead: a JSON array of the rows.
#include <cstdio>
#include <cstring>
#include <map>

#include "db/bulk_writer.h"
#include "db/odbc/odbc_connection.h"
#include "db/odbc/odbc_values.h"
#include "db/postgres/tsql_rewrite.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {
namespace {

constexpr std::size_t kMaxParameters = 2000;
constexpr std::size_t kMaxRows = 1000;
constexpr std::size_t kJsonRows = 20000;
constexpr std::size_t kJsonBytes = 4 << 20;

// A value as a JSON string.
void AppendJson(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.push_back(ch);
    }
  }
  out.push_back('"');
}

class InsertWriter final : public BulkWriter {
 public:
  InsertWriter(OdbcConnection& owner, BulkTable table, BulkMode mode)
      : owner_(owner), table_(std::move(table)), mode_(mode) {
    const bool postgres = owner_.dialect() == Dialect::kPostgres;
    name_ = postgres && !table_.table.empty() && table_.table[0] == '#'
                ? tsql::TempTableName(table_.table)
                : table_.table;
    std::string list;
    for (std::size_t i = 0; i < table_.columns.size(); ++i)
      list += (i == 0 ? "" : ", ") + table_.columns[i];
    // The columns' types, from an empty result of the table.
    for (auto& result : owner_.RunNative("SELECT " + (list.empty() ? "*" : list) + " FROM " +
                                         name_ + " WHERE 1 = 0")) {
      if (!result.has_rows) continue;
      columns_ = std::move(result.columns);
      break;
    }
    if (columns_.empty()) throw DbError("the table " + table_.table + " gave no columns");
    if (list.empty()) {
      for (std::size_t i = 0; i < columns_.size(); ++i)
        list += (i == 0 ? "" : ", ") + columns_[i].name;
    }
    for (const Column& c : columns_) {
      FieldDef field = FieldFromColumn(c.name, c);
      field.name.clear();  // only the type is bound; a name would be copied with every value
      // Dates go as ISO text that the statement casts: the PostgreSQL driver spells the type of
      // a bound timestamp wrongly in a statement of many rows.
      if (field.type == FieldType::kDateTime) field = FieldDef::VarChar("", 30);
      fields_.push_back(std::move(field));
      placeholders_.push_back(c.sql_type == 0 || !IsDate(c) ? "?"
                              : postgres                    ? "CAST(? AS TIMESTAMP)"
                                                            : "CAST(? AS DATETIME2)");
    }
    head_ = "INSERT INTO " + name_ + " (" + list + ") VALUES ";
    if (!table_.identity.empty() && !postgres) {
      head_ = "SET IDENTITY_INSERT " + name_ + " ON; " + head_;
      tail_ = "; SET IDENTITY_INSERT " + name_ + " OFF";
    }
    block_ = std::max<std::size_t>(1, std::min(kMaxRows, kMaxParameters / columns_.size()));
    if (postgres) {
      // The PostgreSQL driver spends far more on each bound parameter than the server does on a
      // row: a block goes as one parameter, a JSON array of rows the server reads into the
      // table's own types (exactly: every value is a JSON string).
      json_ = true;
      block_ = kJsonRows;
      head_ = "INSERT INTO " + name_ + " (" + list + ") SELECT " + list +
              " FROM json_populate_recordset(NULL::" + name_ + ", CAST(? AS json))";
    }
  }

  void Row(std::span<const std::optional<std::string>> values) override {
    if (values.size() != columns_.size()) {
      throw DbError("a row of " + std::to_string(values.size()) + " values for the " +
                    std::to_string(columns_.size()) + " columns of " + table_.table);
    }
    // Held compactly as text until sent: a flag, a length and the bytes of each value.
    for (const auto& v : values) {
      held_.push_back(v ? '\1' : '\0');
      if (!v) continue;
      const auto length = static_cast<std::uint32_t>(v->size());
      held_.append(reinterpret_cast<const char*>(&length), sizeof length);
      held_ += *v;
    }
    ++held_rows_;
    if (mode_ == BulkMode::kStream && (held_rows_ >= block_ || held_.size() >= kJsonBytes)) Send();
  }

  void Finish() override {
    if (finished_) return;
    finished_ = true;
    Send();
    if (!table_.identity.empty() && owner_.dialect() == Dialect::kPostgres) {
      owner_.RunNative("SELECT setval(pg_get_serial_sequence('" + name_ + "', '" +
                       Lower(table_.identity) + "'), (SELECT COALESCE(MAX(" + table_.identity +
                       "), 0) + 1 FROM " + name_ + "), false)");
    }
  }

 private:
  static bool IsDate(const Column& c) {
    return FieldFromColumn(c.name, c).type == FieldType::kDateTime;
  }

  static std::string Lower(std::string text) {
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
  }

  // Every held row, a block a statement.
  void Send() {
    if (json_) {
      SendJson();
      return;
    }
    std::size_t offset = 0;
    while (held_rows_ > 0) {
      const std::size_t rows = std::min(block_, held_rows_);
      params_.clear();
      for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < columns_.size(); ++c) {
          const bool value = held_[offset++] != '\0';
          if (!value) {
            params_.push_back(Parameter{Variant::Null(), fields_[c]});
            continue;
          }
          std::uint32_t length = 0;
          std::memcpy(&length, held_.data() + offset, sizeof length);
          offset += sizeof length;
          const std::string text(held_, offset, length);
          offset += length;
          params_.push_back(Parameter{ValueFromText(fields_[c], columns_[c], text), fields_[c]});
        }
      }
      try {
        owner_.RunNative(Statement(rows), params_);
      } catch (const DbError& e) {
        throw DbError("cannot write rows into " + table_.table + ": " + e.what());
      }
      held_rows_ -= rows;
    }
    held_.clear();
  }

  // The held rows as JSON arrays of objects, a block a statement.
  void SendJson() {
    std::size_t offset = 0;
    std::string json;
    while (held_rows_ > 0) {
      json = "[";
      std::size_t rows = 0;
      for (; rows < block_ && rows < held_rows_ && json.size() < kJsonBytes; ++rows) {
        json += rows == 0 ? "{" : ",{";
        for (std::size_t c = 0; c < columns_.size(); ++c) {
          if (c > 0) json.push_back(',');
          AppendJson(json, columns_[c].name);
          json.push_back(':');
          if (held_[offset++] == '\0') {
            json += "null";
            continue;
          }
          std::uint32_t length = 0;
          std::memcpy(&length, held_.data() + offset, sizeof length);
          offset += sizeof length;
          AppendJson(json, std::string_view(held_).substr(offset, length));
          offset += length;
        }
        json.push_back('}');
      }
      json.push_back(']');
      held_rows_ -= rows;
      params_.assign(1, Parameter{Variant(std::move(json)), FieldDef::VarChar("", 0)});
      try {
        owner_.RunNative(head_, params_);
      } catch (const DbError& e) {
        throw DbError("cannot write rows into " + table_.table + ": " + e.what());
      }
    }
    held_.clear();
    params_.clear();
  }

  const std::string& Statement(std::size_t rows) {
    auto [it, added] = statements_.try_emplace(rows);
    if (!added) return it->second;
    std::string one = "(";
    for (std::size_t c = 0; c < columns_.size(); ++c)
      one += (c == 0 ? "" : ", ") + placeholders_[c];
    one += ")";
    std::string& sql = it->second;
    sql = head_;
    for (std::size_t r = 0; r < rows; ++r)
      sql += (r == 0 ? "" : ", ") + one;
    sql += tail_;
    return sql;
  }

  OdbcConnection& owner_;
  BulkTable table_;
  BulkMode mode_;
  std::string name_;
  std::vector<Column> columns_;
  std::vector<FieldDef> fields_;
  std::vector<std::string> placeholders_;  // of each column in the statement
  std::string head_, tail_;
  std::size_t block_ = 1;
  std::map<std::size_t, std::string> statements_;  // by rows in the statement
  std::string held_;
  std::size_t held_rows_ = 0;
  std::vector<Parameter> params_;
  bool finished_ = false;
  bool json_ = false;  // PostgreSQL: a block is one JSON parameter
};

}  // namespace

std::unique_ptr<BulkWriter> OdbcConnection::OpenBulkWriter(BulkTable table, BulkMode mode) {
  return std::make_unique<InsertWriter>(*this, std::move(table), mode);
}

}  // namespace veriprog::db::odbc
