#include "db/sql_text.h"

namespace veriprog::db {
namespace {

template <typename Lines>
std::string Joined(std::string_view separator, const Lines& lines) {
  std::string out;
  for (const auto& line : lines) {
    out.append(line);
    out.append(separator);
  }
  return out;
}

}  // namespace

SqlLines& SqlLines::operator<<(std::string_view line) {
  if (place_ == LineBreak::kBefore || (place_ == LineBreak::kBetween && !empty_))
    text_.append(separator_);
  text_.append(line);
  if (place_ == LineBreak::kAfter) text_.append(separator_);
  empty_ = false;
  return *this;
}

std::string JoinLines(std::string_view separator, std::initializer_list<std::string_view> lines) {
  return Joined(separator, lines);
}

std::string JoinLines(std::string_view separator, const std::vector<std::string>& lines) {
  return Joined(separator, lines);
}

std::string JoinBetween(std::string_view separator, const std::vector<std::string>& lines) {
  SqlLines out(separator, LineBreak::kBetween);
  out << lines;
  return out.str();
}

std::string Concat(std::initializer_list<std::string_view> pieces) {
  return Joined("", pieces);
}

std::string SqlText(const Variant& value) {
  return DoubledQuotes(value.ToText());
}

std::string SqlNumber(std::int64_t number) {
  return std::to_string(number);
}

std::optional<std::string> SqlWholeNumber(const Variant& value) {
  const auto number = value.ToWholeNumber();
  if (!number) return std::nullopt;
  return SqlNumber(*number);
}

}  // namespace veriprog::db
