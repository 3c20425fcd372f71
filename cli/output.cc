#include "cli/output.h"

#include <algorithm>
#include <string_view>
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

bool Text(FieldType type) {
  return type == FieldType::kChar || type == FieldType::kVarChar;
}

std::string CsvQuote(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  return db::Quoted(text, '"');
}

// A signed amount and nothing else ("-12.50"): a spreadsheet reads it as the number it is.
bool PlainAmount(std::string_view text) {
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  const auto point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view cents = point == std::string_view::npos ? "" : text.substr(point + 1);
  auto digits = [](std::string_view d) {
    return !d.empty() && d.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return digits(whole) && (point == std::string_view::npos || digits(cents));
}

// A spreadsheet takes a cell that begins with one of these for a formula: a description like
// "=cmd|' /c calc'!A1" would run. The apostrophe keeps it text; number columns stay numbers, and
// so do amounts in a text column (a dry run's old and new values).
std::string CsvText(const std::string& text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos &&
      !PlainAmount(text))
    return CsvQuote("'" + text);
  return CsvQuote(text);
}

// Control characters (C0, DEL, C1) as \xNN, so that a description cannot move the cursor,
// recolour or hide lines of the terminal it is printed on.
std::string Visible(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  auto escaped = [&](unsigned code) {
    constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[code >> 4];
    out += kHex[code & 0xf];
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      escaped(c);
    } else if (c == 0xc2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      escaped(static_cast<unsigned char>(text[++i]));  // U+0080..U+009F in UTF-8
    } else {
      out += text[i];
    }
  }
  return out;
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
    width[f] = db::Utf8Length(Visible(fields[f].name));
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    auto& row = cells.emplace_back();
    for (std::size_t f = 0; f < fields.size(); ++f) {
      row.push_back(Visible(Cell(rs.Get(f))));
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
    names.push_back(Visible(field.name));
  print(names, true);
  for (const auto& row : cells)
    print(row, false);
  out << "(" << cells.size() << (cells.size() == 1 ? " row)" : " rows)") << '\n';
}

void PrintCsv(std::ostream& out, db::Recordset& rs) {
  if (!rs.is_open()) return;
  const auto& fields = rs.fields();
  for (std::size_t f = 0; f < fields.size(); ++f)
    out << (f ? "," : "") << CsvText(fields[f].name);
  out << "\r\n";
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < fields.size(); ++f)
      out << (f ? "," : "") << (Text(fields[f].type) ? CsvText : CsvQuote)(Cell(rs.Get(f)));
    out << "\r\n";
  }
}

}  // namespace veriprog::cli
