// SqlLines: a statement composed line by line, each line followed by its separator (a carriage
// return, or carriage return and line feed), exactly as the ledger's statements are sent.
#pragma once

#include <string>
#include <string_view>

namespace veriprog {

class SqlLines {
 public:
  explicit SqlLines(std::string_view separator = "\r") : separator_(separator) {}

  SqlLines& operator<<(std::string_view line) {
    text_.append(line);
    text_.append(separator_);
    return *this;
  }
  // Text added without a line break after it.
  SqlLines& Append(std::string_view text) {
    text_.append(text);
    return *this;
  }
  const std::string& str() const { return text_; }

 private:
  std::string separator_;
  std::string text_;
};

}  // namespace veriprog
