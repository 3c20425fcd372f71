#include "db/text.h"

#include <charconv>
#include <system_error>

namespace veriprog::db {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return text;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string DoubledQuotes(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  return out;
}

std::string Quoted(std::string_view text, char quote) {
  return quote + DoubledQuotes(text, quote) + quote;
}

int CompareSqlText(std::string_view a, std::string_view b) {
  a = TrimRight(a);
  b = TrimRight(b);
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(Lower(a[i]));
    const auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::size_t HashSqlText(std::string_view text) {
  text = TrimRight(text);
  std::size_t h = 1469598103934665603ULL;  // FNV-1a
  for (char c : text) {
    h ^= static_cast<unsigned char>(Lower(c));
    h *= 1099511628211ULL;
  }
  return h;
}

std::optional<std::int64_t> PlainWholeNumber(std::string_view text) {
  std::int64_t n = 0;
  const char* end = text.data() + text.size();
  if (const auto [at, error] = std::from_chars(text.data(), end, n);
      error == std::errc() && at == end) {
    return n;
  }
  return std::nullopt;
}

}  // namespace veriprog::db
