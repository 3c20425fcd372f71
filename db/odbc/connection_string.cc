#include "db/odbc/connection_string.h"

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {
namespace {

bool IsSelectorKey(std::string_view key) {
  const std::string upper = ToUpperAscii(Trim(key));
  return upper == "DRIVER" || upper == "DSN" || upper == "FILEDSN";
}

[[noreturn]] void Bad(const std::string& why) {
  throw DbError("bad ODBC connection string: " + why +
                " (expected Key=Value parts separated by ';', for example "
                "Driver={ODBC Driver 18 for SQL Server};Server=host;Database=ledger;UID=user;"
                "PWD=secret)");
}

}  // namespace

bool IsOdbcConnectionString(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(';', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    const std::size_t eq = part.find('=');
    if (eq != std::string_view::npos && IsSelectorKey(part.substr(0, eq))) return true;
    start = end + 1;
  }
  return false;
}

Attributes ParseConnectionString(std::string_view text) {
  Attributes out;
  std::size_t pos = 0;
  int part = 0;
  auto skip_blanks = [&] {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
      ++pos;
  };
  while (pos < text.size()) {
    skip_blanks();
    if (pos < text.size() && text[pos] == ';') {
      ++pos;
      continue;
    }
    if (pos >= text.size()) break;
    ++part;
    // Parts are never quoted back: a stray fragment may be a piece of a password.
    const std::size_t eq = text.find('=', pos);
    const std::size_t semicolon = text.find(';', pos);
    if (eq == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < eq)) {
      Bad("part " + std::to_string(part) +
          " has no '=' (a value holding ';' must be written in braces: PWD={a;b})");
    }
    const std::string key(Trim(text.substr(pos, eq - pos)));
    if (key.empty()) Bad("part " + std::to_string(part) + " has no key before '='");
    pos = eq + 1;
    skip_blanks();
    std::string value;
    if (pos < text.size() && text[pos] == '{') {
      ++pos;
      bool closed = false;
      while (pos < text.size()) {
        if (text[pos] == '}') {
          if (pos + 1 < text.size() && text[pos + 1] == '}') {
            value.push_back('}');
            pos += 2;
            continue;
          }
          ++pos;
          closed = true;
          break;
        }
        value.push_back(text[pos++]);
      }
      if (!closed) Bad("the value of " + key + " opens '{' and never closes it");
      skip_blanks();
      if (pos < text.size() && text[pos] != ';') {
        Bad("text follows the braced value of " + key + " before the next ';'");
      }
    } else {
      const std::size_t end = std::min(text.find(';', pos), text.size());
      value = std::string(Trim(text.substr(pos, end - pos)));
      pos = end;
    }
    out.emplace_back(key, std::move(value));
  }
  bool selector = false;
  for (const auto& [key, value] : out) {
    if (IsSelectorKey(key)) {
      if (value.empty()) Bad(key + " is empty");
      selector = true;
    }
  }
  if (!selector) Bad("it names no Driver and no DSN");
  return out;
}

std::optional<std::string> Find(const Attributes& attributes, std::string_view key) {
  for (const auto& [k, v] : attributes) {
    if (EqualsIgnoreCase(k, key)) return v;
  }
  return std::nullopt;
}

}  // namespace veriprog::db::odbc
