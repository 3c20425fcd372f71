#include "tests/support/rows.h"

#include <algorithm>
#include <sstream>

#include "db/text.h"

namespace veriprog::testing {

std::string Righe(db::Recordset& rs) {
  std::string out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < rs.fields().size(); ++f) {
      if (f > 0) out += '|';
      out += db::Trim(rs.Get(f).ToText());
    }
    out += '\n';
  }
  return out;
}

std::string Righe(db::Connection& conn, const std::string& sql) {
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return Righe(rs);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

std::string Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const auto& l : lines)
    out += l + "\n";
  return out;
}

}  // namespace veriprog::testing
