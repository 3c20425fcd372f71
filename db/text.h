// Text helpers shared by the value types: trimming, UTF-8 lengths and the SQL Server way of
// comparing codes (trailing blanks ignored, ASCII letters compared without case).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veriprog::db {

std::string_view Trim(std::string_view text);       // blanks, tabs and line ends on both sides
std::string_view TrimRight(std::string_view text);  // trailing blanks only, as CHAR padding
std::size_t Utf8Length(std::string_view text);      // characters, not bytes
std::string ToUpperAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The text between `quote` characters, each quote inside doubled: 'l''anno'.
std::string Quoted(std::string_view text, char quote = '\'');
// The same without the enclosing quotes, for text pasted between quotes already written.
std::string DoubledQuotes(std::string_view text, char quote = '\'');

// A whole number written plainly ("-42"), as servers and drivers write integer columns; nullopt
// for anything else, which the caller reads the slow way.
std::optional<std::int64_t> PlainWholeNumber(std::string_view text);

// -1, 0 or 1, ignoring trailing blanks and ASCII case: "150 " equals "150", "eur" equals "EUR".
int CompareSqlText(std::string_view a, std::string_view b);
// Hash that agrees with CompareSqlText(a, b) == 0.
std::size_t HashSqlText(std::string_view text);

}  // namespace veriprog::db
