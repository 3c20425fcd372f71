// The generic part of the SQL-text kit: a statement written line by line with its separator,
// quoting (quotes doubled) and whole numbers as SQL text. It knows nothing of ledgers. The texts
// it produces are sent unchanged to a SQL Server: blanks and separators matter.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/text.h"
#include "veriprog/variant.h"

namespace veriprog::db {

inline constexpr std::string_view kCR = "\r";
inline constexpr std::string_view kCRLF = "\r\n";

// Where a statement's separator stands: after every line, before every line, or only between
// two lines.
enum class LineBreak { kAfter, kBefore, kBetween };

// A statement composed line by line.
class SqlLines {
 public:
  explicit SqlLines(std::string_view separator = kCR, LineBreak place = LineBreak::kAfter)
      : separator_(separator), place_(place) {}

  SqlLines& operator<<(std::string_view line);
  SqlLines& operator<<(const std::vector<std::string>& lines) {
    for (const auto& line : lines)
      *this << line;
    return *this;
  }
  // Text added to the current line, without a separator.
  SqlLines& Append(std::string_view text) {
    text_.append(text);
    return *this;
  }
  const std::string& str() const { return text_; }

 private:
  std::string separator_;
  LineBreak place_;
  bool empty_ = true;
  std::string text_;
};

// The lines, each followed by `separator`.
std::string JoinLines(std::string_view separator, std::initializer_list<std::string_view> lines);
std::string JoinLines(std::string_view separator, const std::vector<std::string>& lines);
// The lines with `separator` between two of them, none after the last.
std::string JoinBetween(std::string_view separator, const std::vector<std::string>& lines);
// The pieces one after the other.
std::string Concat(std::initializer_list<std::string_view> pieces);

// Quoting is db/text.h's Quoted and DoubledQuotes; this is a value's text with every quote
// doubled, ready to stand between quotes.
std::string SqlText(const Variant& value);

// A whole number as SQL text: digits, a minus before them when negative.
std::string SqlNumber(std::int64_t number);
// The whole number a value holds (12, "12", 12.0) as SQL text, or nullopt when it holds none:
// what may be pasted unquoted.
std::optional<std::string> SqlWholeNumber(const Variant& value);

}  // namespace veriprog::db
