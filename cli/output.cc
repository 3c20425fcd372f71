#include "cli/output.h"

#include <algorithm>
#include <vector>

#include "db/text.h"

namespace veriprog::cli {
namespace {

using db::FieldType;
using db::Variant;

std::string Cell(const Variant& v) {
  if (v.kind() == Variant::Kind::kDecimal) return v.AsDecimal().ToString();  // keep the scale
  return v.ToText();
}

bool RightAligned(FieldType type) {
  return type == FieldType::kDecimal || type == FieldType::kInteger;
}

std::string CsvQuote(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  return db::Quoted(text, '"');
}

}  // namespace

nlohmann::ordered_json ValueToJson(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull:
      return nullptr;
    case Variant::Kind::kBoolean:
      return v.AsBoolean();
    case Variant::Kind::kInteger:
      return v.AsInteger();
    case Variant::Kind::kDecimal:
      return v.AsDecimal().ToString();
    default:
      return v.ToText();
  }
}

nlohmann::ordered_json RowsToJson(db::Recordset& rs) {
  auto rows = nlohmann::ordered_json::array();
  if (!rs.is_open()) return rows;
  const auto& fields = rs.fields();
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    nlohmann::ordered_json row = nlohmann::ordered_json::object();
    for (std::size_t f = 0; f < fields.size(); ++f)
      row[fields[f].name] = ValueToJson(rs.Get(f));
    rows.push_back(std::move(row));
  }
  return rows;
}

void PrintTable(std::ostream& out, db::Recordset& rs) {
  if (!rs.is_open()) return;
  const auto& fields = rs.fields();
  std::vector<std::vector<std::string>> cells;
  std::vector<std::size_t> width(fields.size());
  for (std::size_t f = 0; f < fields.size(); ++f)
    width[f] = db::Utf8Length(fields[f].name);
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    auto& row = cells.emplace_back();
    for (std::size_t f = 0; f < fields.size(); ++f) {
      row.push_back(Cell(rs.Get(f)));
      width[f] = std::max(width[f], db::Utf8Length(row.back()));
    }
  }
  auto print = [&](const std::vector<std::string>& row, bool header) {
    for (std::size_t f = 0; f < fields.size(); ++f) {
      const std::size_t pad = width[f] - db::Utf8Length(row[f]);
      const bool right = !header && RightAligned(fields[f].type);
      if (f) out << "  ";
      if (right) out << std::string(pad, ' ');
      out << row[f];
      if (!right && f + 1 < fields.size()) out << std::string(pad, ' ');
    }
    out << '\n';
  };
  std::vector<std::string> names;
  for (const auto& field : fields)
    names.push_back(field.name);
  print(names, true);
  for (const auto& row : cells)
    print(row, false);
  out << "(" << cells.size() << (cells.size() == 1 ? " row)" : " rows)") << '\n';
}

void PrintCsv(std::ostream& out, db::Recordset& rs) {
  if (!rs.is_open()) return;
  const auto& fields = rs.fields();
  for (std::size_t f = 0; f < fields.size(); ++f)
    out << (f ? "," : "") << CsvQuote(fields[f].name);
  out << "\r\n";
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < fields.size(); ++f)
      out << (f ? "," : "") << CsvQuote(Cell(rs.Get(f)));
    out << "\r\n";
  }
}

}  // namespace veriprog::cli
